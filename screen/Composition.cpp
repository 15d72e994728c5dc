// The visual composition: tool bar, filter panel and grids, in tab order.
#include "Cli_exp13000.h"

#include "ComponentFactory.h"
#include "Glyphs.h"

namespace {

struct ToolButton {
    TButtonFlat* TfrmConfSepExp::*member;
    const char* name;
    int left;
    const char* hint;
    GlyphKind glyph;
};

const ToolButton toolButtons[] = {
    {&TfrmConfSepExp::sbtIncluir, "sbtIncluir", 4, "Incluir", GlyphKind::Insert},
    {&TfrmConfSepExp::sbtAlterar, "sbtAlterar", 25, "Alterar", GlyphKind::Edit},
    {&TfrmConfSepExp::sbtExcluir, "sbtExcluir", 46, "Excluir", GlyphKind::Delete},
    {&TfrmConfSepExp::sbtProcurar, "sbtProcurar", 67, "Procurar", GlyphKind::Search},
    {&TfrmConfSepExp::sbtVerificar, "sbtVerificar", 88, "Atualizar", GlyphKind::Refresh},
    {&TfrmConfSepExp::sbtCancelar, "sbtCancelar", 124, "Cancelar", GlyphKind::Cancel},
    {&TfrmConfSepExp::sbtConfirmar, "sbtConfirmar", 145, "Confirmar", GlyphKind::Confirm},
    {&TfrmConfSepExp::sbtImprimir, "sbtImprimir", 181, "Imprimir", GlyphKind::Print},
};

void bold(TControl* control) { control->Font().SetStyle(TFontStyle::fsBold); }

TLabel* caption(TComponent* owner, TWinControl* parent, const char* name, const QString& text, int left, int top)
{
    auto* label = Make<TLabel>(owner, parent, name);
    label->SetCaption(text);
    label->SetBounds(left, top, label->Width(), label->Height());
    bold(label);
    return label;
}

TPanel* row(TComponent* owner, TWinControl* parent, const char* name, int height)
{
    auto* panel = Make<TPanel>(owner, parent, name);
    panel->SetAlign(TAlign::alTop);
    panel->SetHeight(height);
    panel->SetBevelOuter(TBevelCut::bvNone);
    return panel;
}

TGroupBox* group(TComponent* owner, TWinControl* parent, const char* name, const QString& text, int width)
{
    auto* box = Make<TGroupBox>(owner, parent, name);
    box->SetCaption(text);
    box->SetAlign(TAlign::alLeft);
    box->SetWidth(width);
    bold(box);
    return box;
}

TMaskEdit* maskEdit(TComponent* owner, TWinControl* parent, const char* name, const QString& mask, int maxLength,
                    int left, int top, int width, TColor color)
{
    auto* edit = Make<TMaskEdit>(owner, parent, name);
    edit->SetEditMask(mask);
    edit->SetMaxLength(maxLength);
    edit->SetBounds(left, top, width, 21);
    edit->SetColor(color);
    return edit;
}

TDateEditPlus* dateEdit(TComponent* owner, TWinControl* parent, const char* name, int left, int top)
{
    auto* edit = Make<TDateEditPlus>(owner, parent, name);
    edit->SetBounds(left, top, 112, 21);
    edit->SetColor(clInfoBk);
    return edit;
}

// `what` completes the button's name for assistive technology ("Pesquisar
// filial"), as three buttons share the hint.
TBtnPesquisa* lookupButton(TComponent* owner, TWinControl* parent, const char* name, int left, int top,
                           const QString& what)
{
    auto* button = Make<TBtnPesquisa>(owner, parent, name);
    button->SetBounds(left, top, 21, 21);
    button->SetHint(QStringLiteral("Pesquisar"));
    button->SetShowHint(true);
    button->SetAccessibleName(QStringLiteral("Pesquisar ") + what);
    return button;
}

// A field as assistive technology tells it: named by its caption, described
// by what the caption leaves out.
void describe(TLabel* caption, TWinControl* field, const QString& description)
{
    caption->SetFocusControl(field);
    field->SetAccessibleDescription(description);
}

TDBGrid* grid(TComponent* owner, TWinControl* parent, const char* name, TDBGridOptions extra)
{
    auto* g = Make<TDBGrid>(owner, parent, name);
    g->SetBorderStyle(TBorderStyle::bsNone);
    g->SetColor(clInfoBk);
    g->SetReadOnly(true);
    g->SetOptions(TDBGridOption::dgTitles | TDBGridOption::dgColumnResize | TDBGridOption::dgColLines |
                  TDBGridOption::dgRowLines | TDBGridOption::dgTabs | TDBGridOption::dgAlwaysShowSelection | extra);
    return g;
}

// A declared column; width 0 keeps the field's display width, an empty title the field's label.
void column(TDBGrid* g, const char* field, int width = 0, const char* title = nullptr)
{
    TColumn* c = g->Columns().Add();
    c->SetFieldName(QLatin1String(field));
    if (width > 0)
        c->SetWidth(width);
    if (title)
        c->Title().SetCaption(QString::fromUtf8(title));
}

TSplitter* splitter(TComponent* owner, TWinControl* parent, const char* name)
{
    auto* s = Make<TSplitter>(owner, parent, name);
    s->SetAlign(TAlign::alBottom);
    s->SetHeight(3);
    return s;
}

} // namespace

void TfrmConfSepExp::CreateToolBar()
{
    panBotoeshorizontal = Make<TPanel>(this, this, "panBotoeshorizontal");
    panBotoeshorizontal->SetAlign(TAlign::alTop);
    panBotoeshorizontal->SetHeight(28);
    panBotoeshorizontal->SetBevelOuter(TBevelCut::bvLowered);
    for (const ToolButton& b : toolButtons) {
        auto* button = Make<TButtonFlat>(this, panBotoeshorizontal, b.name);
        button->SetBounds(b.left, 4, 21, 21);
        button->SetHint(QString::fromUtf8(b.hint));
        button->SetShowHint(true);
        button->SetFlat(true);
        button->Glyph().Assign(MakeGlyph(b.glyph));
        button->SetNumGlyphs(2);
        button->SetEnabled(false);
        this->*b.member = button;
    }
}

void TfrmConfSepExp::CreateFilterPanel()
{
    panPadrao = Make<TPanel>(this, grbDadosRel, "panPadrao");
    panPadrao->SetAlign(TAlign::alClient);
    panPadrao->SetBevelOuter(TBevelCut::bvNone);

    panFiltro = Make<TPanel>(this, panPadrao, "panFiltro");
    panFiltro->SetAlign(TAlign::alTop);
    panFiltro->SetHeight(169);
    panFiltro->SetBorderWidth(2);

    Panel1 = row(this, panFiltro, "Panel1", 32);
    lblFilial = caption(this, Panel1, "lblFilial", QStringLiteral("Filial"), 8, 9);
    medCdFilial = maskEdit(this, Panel1, "medCdFilial", QStringLiteral("9999;0; "), 4, 52, 5, 40, clInfoBk);
    btnFilial = lookupButton(this, Panel1, "btnFilial", 94, 5, QStringLiteral("filial"));
    edtNmFilial = Make<TEdit>(this, Panel1, "edtNmFilial");
    edtNmFilial->SetBounds(118, 5, 616, 21);
    edtNmFilial->SetReadOnly(true);
    edtNmFilial->SetEnabled(false);
    edtNmFilial->SetTabStop(false);
    edtNmFilial->SetColor(clBtnFace);
    edtNmFilial->SetAccessibleName(QStringLiteral("Nome da filial"));
    describe(lblFilial, medCdFilial, QStringLiteral("Código da filial, até 4 dígitos"));

    Panel2 = row(this, panFiltro, "Panel2", 64);
    GroupBox1 = group(this, Panel2, "GroupBox1", QStringLiteral("Data do Pedido  "), 387);
    Label1 = caption(this, GroupBox1, "Label1", QStringLiteral(" Inicial"), 8, 18);
    depInicial = dateEdit(this, GroupBox1, "depInicial", 8, 34);
    Label2 = caption(this, GroupBox1, "Label2", QStringLiteral("Final"), 200, 18);
    depFinal = dateEdit(this, GroupBox1, "depFinal", 200, 34);
    GroupBox2 = group(this, Panel2, "GroupBox2", QStringLiteral("Data de Saída "), 395);
    Label3 = caption(this, GroupBox2, "Label3", QStringLiteral(" Inicial"), 8, 18);
    depSaidaInicial = dateEdit(this, GroupBox2, "depSaidaInicial", 8, 34);
    Label4 = caption(this, GroupBox2, "Label4", QStringLiteral("Final"), 200, 18);
    depSaidaFim = dateEdit(this, GroupBox2, "depSaidaFim", 200, 34);
    // The two pairs share their captions: the description says which date.
    describe(Label1, depInicial, QStringLiteral("Data do pedido inicial, no formato dd/mm/aaaa"));
    describe(Label2, depFinal, QStringLiteral("Data do pedido final, no formato dd/mm/aaaa"));
    describe(Label3, depSaidaInicial, QStringLiteral("Data de saída inicial, no formato dd/mm/aaaa"));
    describe(Label4, depSaidaFim, QStringLiteral("Data de saída final, no formato dd/mm/aaaa"));

    Panel3 = row(this, panFiltro, "Panel3", 55);
    GroupBox3 = group(this, Panel3, "GroupBox3", QStringLiteral("Lançamentos "), 782);
    // Below the box's top line as the dates' captions are, the fields right
    // under them, within the row's fixed height.
    lblExpedicao = caption(this, GroupBox3, "lblExpedicao", QStringLiteral("Nr. Expedição"), 8, 18);
    medNrExpedicao = maskEdit(this, GroupBox3, "medNrExpedicao", QStringLiteral("9999999999;0; "), 10, 8, 32, 85,
                              clWindow);
    btnNrExpedicao = lookupButton(this, GroupBox3, "btnNrExpedicao", 95, 32, QStringLiteral("expedição"));
    Label5 = caption(this, GroupBox3, "Label5", QStringLiteral("Nr. Pedido"), 200, 18);
    medNrPedido = maskEdit(this, GroupBox3, "medNrPedido", QStringLiteral("9999999999;0; "), 10, 200, 32, 85, clWindow);
    btnNrPedido = lookupButton(this, GroupBox3, "btnNrPedido", 287, 32, QStringLiteral("pedido"));
    describe(lblExpedicao, medNrExpedicao, QStringLiteral("Número da expedição, até 10 dígitos"));
    describe(Label5, medNrPedido, QStringLiteral("Número do pedido, até 10 dígitos"));
}

void TfrmConfSepExp::CreateGrids()
{
    panGrid = Make<TPanel>(this, panPadrao, "panGrid");
    panGrid->SetAlign(TAlign::alClient);
    panGrid->SetBevelOuter(TBevelCut::bvNone);
    panGrid->SetBevelInner(TBevelCut::bvLowered);
    panGrid->SetBorderWidth(2);

    // Declared top to bottom, which is also the tab order: the invoice grid
    // takes what the two bottom-aligned grids and their splitters leave.
    dbgNotaFiscal = grid(this, panGrid, "dbgNotaFiscal", TDBGridOption::dgRowSelect);
    dbgNotaFiscal->SetAlign(TAlign::alClient);
    Splitter1 = splitter(this, panGrid, "Splitter1");
    dbgItemProduto = grid(this, panGrid, "dbgItemProduto", {});
    dbgItemProduto->SetHeight(125);
    dbgItemProduto->SetAlign(TAlign::alBottom);
    Splitter2 = splitter(this, panGrid, "Splitter2");
    dbgIUMProd = grid(this, panGrid, "dbgIUMProd", {});
    dbgIUMProd->SetHeight(148);
    dbgIUMProd->SetAlign(TAlign::alBottom);
    dbgNotaFiscal->SetAccessibleName(QStringLiteral("Notas fiscais"));
    dbgItemProduto->SetAccessibleName(QStringLiteral("Itens da nota fiscal"));
    dbgIUMProd->SetAccessibleName(QStringLiteral("IUMs lidos do item"));

    column(dbgNotaFiscal, "IDSITSEPNF", 32);
    column(dbgNotaFiscal, "NRLANCTONF");
    column(dbgNotaFiscal, "DTENTRSAID");
    column(dbgNotaFiscal, "NRINSJURCLIE", 155, "Nr. Inscrição");
    column(dbgNotaFiscal, "NMFANTCLIE", 372);

    column(dbgItemProduto, "CDARVPROD");
    column(dbgItemProduto, "NMPRODUTO");
    column(dbgItemProduto, "SGUNIDADE");
    column(dbgItemProduto, "QTITEMPROD", 83);
    column(dbgItemProduto, "QTRESPRODPED", 97);

    column(dbgIUMProd, "CDALMOXARIFE", 300);
    column(dbgIUMProd, "CDLOCALESTOQ", 200);
    column(dbgIUMProd, "NRLOTEESTQ", 90);
    column(dbgIUMProd, "NRSUBLOTE", 67);
    column(dbgIUMProd, "DTVALILOTE", 97);
    column(dbgIUMProd, "CDIUMPROD", 550, "Codigo IUM");
}
