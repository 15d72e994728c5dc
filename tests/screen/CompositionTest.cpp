// The screen as composed: controls, texts, masks, sizes, colours, tab order,
// grid columns, pictures and message catalogues.
#include "ScreenFixture.h"

#include "ui/Application.h"

#include <QFontMetrics>

namespace {

template <class T>
T* find(TForm* form, const char* name)
{
    auto* c = dynamic_cast<T*>(form->FindComponent(QLatin1String(name)));
    EXPECT_NE(c, nullptr) << name << " is missing or of another kind";
    return c;
}

bool bold(TControl* c) { return c->Font().HasStyle(TFontStyle::fsBold); }

class Composition : public ScreenTest {};

TEST_F(Composition, WindowAndInheritedParts)
{
    TfrmConfSepExp* f = OpenScreen();
    EXPECT_EQ(f->Caption(), "Conferência de Separação da Rastreabilidade");
    EXPECT_EQ(f->FormStyle(), TFormStyle::fsMDIChild);
    EXPECT_EQ(f->ClientWidth(), 1196);
    EXPECT_EQ(f->ClientHeight(), 624);
    EXPECT_EQ(f->BorderIcons(), TBorderIcon::biSystemMenu | TBorderIcon::biMinimize | TBorderIcon::biMaximize);
    EXPECT_FALSE(f->HostWindow()->windowIcon().isNull());
    EXPECT_EQ(f->lblCodTela->Caption(), "EXP13000");
    EXPECT_EQ(f->lblCodTela->Width(), 51);
    EXPECT_LE(QFontMetrics(f->lblCodTela->Font().ToQFont()).horizontalAdvance("EXP13000"), 51) << "not clipped";
    EXPECT_FALSE(f->sbtConfirma->Enabled());
    EXPECT_FALSE(f->OnKeyPress) << "the base form's key-press handler is cleared";
    EXPECT_EQ(f->panBotoeshorizontal->Height(), 28);
    EXPECT_EQ(f->panBotoeshorizontal->BevelOuter(), TBevelCut::bvLowered);
    EXPECT_EQ(f->panFiltro->Height(), 169);
    EXPECT_EQ(f->panFiltro->BorderWidth(), 2);
}

struct ToolButtonCase {
    const char* name;
    int left;
    const char* hint;
};

class ToolBar : public ScreenTest, public testing::WithParamInterface<ToolButtonCase> {};

TEST_P(ToolBar, ButtonPlaceHintAndDisabledAtStart)
{
    TfrmConfSepExp* f = OpenScreen();
    auto* b = find<TButtonFlat>(f, GetParam().name);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->Parent(), f->panBotoeshorizontal);
    EXPECT_EQ(b->Left(), GetParam().left);
    EXPECT_EQ(b->Top(), 4);
    EXPECT_EQ(b->Width(), 21);
    EXPECT_EQ(b->Height(), 21);
    EXPECT_EQ(b->Hint(), QString::fromUtf8(GetParam().hint));
    EXPECT_TRUE(b->ShowHint());
    EXPECT_EQ(b->NumGlyphs(), 2);
    EXPECT_EQ(b->Glyph().Width(), 32);
    EXPECT_FALSE(b->Enabled());
}

INSTANTIATE_TEST_SUITE_P(Table, ToolBar,
                         testing::Values(ToolButtonCase{"sbtIncluir", 4, "Incluir"},
                                         ToolButtonCase{"sbtAlterar", 25, "Alterar"},
                                         ToolButtonCase{"sbtExcluir", 46, "Excluir"},
                                         ToolButtonCase{"sbtProcurar", 67, "Procurar"},
                                         ToolButtonCase{"sbtVerificar", 88, "Atualizar"},
                                         ToolButtonCase{"sbtCancelar", 124, "Cancelar"},
                                         ToolButtonCase{"sbtConfirmar", 145, "Confirmar"},
                                         ToolButtonCase{"sbtImprimir", 181, "Imprimir"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Composition, CaptionsAreBoldAndExact)
{
    TfrmConfSepExp* f = OpenScreen();
    const std::pair<TLabel*, const char*> labels[] = {
        {f->lblFilial, "Filial"}, {f->Label1, " Inicial"}, {f->Label2, "Final"},
        {f->Label3, " Inicial"},  {f->Label4, "Final"},    {f->lblExpedicao, "Nr. Expedição"},
        {f->Label5, "Nr. Pedido"},
    };
    for (const auto& [label, text] : labels) {
        EXPECT_EQ(label->Caption(), QString::fromUtf8(text)) << label->Name().toStdString();
        EXPECT_TRUE(bold(label)) << label->Name().toStdString();
    }
    const std::tuple<TGroupBox*, const char*, int> boxes[] = {
        {f->GroupBox1, "Data do Pedido  ", 387}, {f->GroupBox2, "Data de Saída ", 395}, {f->GroupBox3, "Lançamentos ", 782}};
    for (const auto& [box, text, width] : boxes) {
        EXPECT_EQ(box->Caption(), QString::fromUtf8(text));
        EXPECT_EQ(box->Width(), width);
        EXPECT_EQ(box->Align(), TAlign::alLeft);
        EXPECT_TRUE(bold(box));
    }
    EXPECT_EQ(f->Panel1->Height(), 32);
    EXPECT_EQ(f->Panel2->Height(), 64);
    EXPECT_EQ(f->Panel3->Height(), 55);
}

TEST_F(Composition, EditsMasksLengthsWidthsAndColours)
{
    TfrmConfSepExp* f = OpenScreen();
    const std::tuple<TMaskEdit*, const char*, int, int, TColor> edits[] = {
        {f->medCdFilial, "9999;0; ", 4, 40, clInfoBk},
        {f->medNrExpedicao, "9999999999;0; ", 10, 85, clWindow},
        {f->medNrPedido, "9999999999;0; ", 10, 85, clWindow},
    };
    for (const auto& [edit, mask, length, width, colour] : edits) {
        EXPECT_EQ(edit->EditMask(), QString::fromUtf8(mask)) << edit->Name().toStdString();
        EXPECT_EQ(edit->MaxLength(), length);
        EXPECT_EQ(edit->Width(), width);
        EXPECT_EQ(edit->Color(), colour);
    }
    for (TDateEditPlus* d : {f->depInicial, f->depFinal, f->depSaidaInicial, f->depSaidaFim}) {
        EXPECT_EQ(d->Width(), 112) << d->Name().toStdString();
        EXPECT_EQ(d->Color(), clInfoBk);
    }
    EXPECT_EQ(f->edtNmFilial->Width(), 616);
    EXPECT_FALSE(f->edtNmFilial->Enabled());
    EXPECT_FALSE(f->edtNmFilial->TabStop());
    EXPECT_TRUE(f->edtNmFilial->ReadOnly());
    EXPECT_EQ(f->edtNmFilial->Color(), clBtnFace);
}

TEST_F(Composition, UntouchedEditsReadEmpty)
{
    TfrmConfSepExp* f = OpenScreen();
    EXPECT_EQ(f->medNrExpedicao->Text(), "");
    EXPECT_EQ(f->medNrPedido->Text(), "");
}

TEST_F(Composition, LookupButtonsAreBoundToTheirEditsListsAndTexts)
{
    TfrmConfSepExp* f = OpenScreen();
    const std::tuple<TBtnPesquisa*, TCustomEdit*, const char*, TDataSource*, const char*> lookups[] = {
        {f->btnFilial, f->medCdFilial, "Filial", f->dtsFilial, "Não há filial cadastrada."},
        {f->btnNrExpedicao, f->medNrExpedicao, "Expedição", f->dtsNrExpedicao, "Não há expedição cadastrado"},
        {f->btnNrPedido, f->medNrPedido, "Expedição", f->dtsNrPedido, "Não há pedido cadastrado"},
    };
    for (const auto& [button, edit, title, source, empty] : lookups) {
        EXPECT_EQ(button->Associate(), edit);
        EXPECT_EQ(button->Title(), QString::fromUtf8(title));
        EXPECT_EQ(button->DataSource(), source);
        EXPECT_EQ(button->EmptyError(), QString::fromUtf8(empty));
        EXPECT_EQ(button->Hint(), "Pesquisar");
    }
}

TEST_F(Composition, TabOrderRunsThroughTheFilterRowsThenTheGrids)
{
    TfrmConfSepExp* f = OpenFilled();  // leaving the filter loads the work list
    QStringList order;
    TWinControl* c = f->medCdFilial;
    for (int i = 0; i < 10; ++i) {
        order << c->Name();
        f->SelectNext(c, true);
        c = f->ActiveControl();
    }
    EXPECT_EQ(order, (QStringList{"medCdFilial", "depInicial", "depFinal", "depSaidaInicial", "depSaidaFim",
                                  "medNrExpedicao", "medNrPedido", "dbgNotaFiscal", "dbgItemProduto", "dbgIUMProd"}));
}

struct ColumnCase {
    const char* field;
    int width;  // 0: the field's own
    const char* title;
};

void expectColumns(TDBGrid* grid, const std::vector<ColumnCase>& expected)
{
    ASSERT_EQ(grid->Columns().Count(), int(expected.size())) << grid->Name().toStdString();
    for (int i = 0; i < int(expected.size()); ++i) {
        TColumn* c = grid->Columns().Items(i);
        EXPECT_EQ(c->FieldName(), QLatin1String(expected[i].field));
        EXPECT_EQ(c->Title().Caption(), QString::fromUtf8(expected[i].title)) << expected[i].field;
        EXPECT_TRUE(c->Visible()) << expected[i].field;
        if (expected[i].width > 0) {
            EXPECT_EQ(c->Width(), expected[i].width) << expected[i].field;
        }
    }
}

TEST_F(Composition, GridsColumnsTitlesAndWidths)
{
    usesWarehouses = true;
    usesLocations = true;
    TfrmConfSepExp* f = OpenScreen();
    expectColumns(f->dbgNotaFiscal, {{"IDSITSEPNF", 32, "IUM"},
                                     {"NRLANCTONF", 0, "N° Nota"},
                                     {"DTENTRSAID", 0, "Data Saída"},
                                     {"NRINSJURCLIE", 155, "Nr. Inscrição"},
                                     {"NMFANTCLIE", 372, "Cliente"}});
    expectColumns(f->dbgItemProduto, {{"CDARVPROD", 0, "Cod. Produto"},
                                      {"NMPRODUTO", 0, "Nome"},
                                      {"SGUNIDADE", 0, "UN"},
                                      {"QTITEMPROD", 83, "Qt. a Expedir"},
                                      {"QTRESPRODPED", 97, "Qt. Lida"}});
    expectColumns(f->dbgIUMProd, {{"CDALMOXARIFE", 300, "Almoxarifado"},
                                  {"CDLOCALESTOQ", 200, "Local Estoque"},
                                  {"NRLOTEESTQ", 90, "Lote"},
                                  {"NRSUBLOTE", 67, "Sub-Lote"},
                                  {"DTVALILOTE", 97, "Data Validade"},
                                  {"CDIUMPROD", 550, "Codigo IUM"}});
    for (TDBGrid* g : {f->dbgNotaFiscal, f->dbgItemProduto, f->dbgIUMProd}) {
        EXPECT_EQ(g->Color(), clInfoBk);
        EXPECT_EQ(g->BorderStyle(), TBorderStyle::bsNone);
        EXPECT_TRUE(g->ReadOnly());
        const TDBGridOptions o = g->Options();
        EXPECT_FALSE(o.testFlag(TDBGridOption::dgIndicator));
        EXPECT_FALSE(o.testFlag(TDBGridOption::dgEditing));
        for (TDBGridOption on : {TDBGridOption::dgTitles, TDBGridOption::dgColumnResize, TDBGridOption::dgColLines,
                                 TDBGridOption::dgRowLines, TDBGridOption::dgTabs, TDBGridOption::dgAlwaysShowSelection})
            EXPECT_TRUE(o.testFlag(on)) << g->Name().toStdString();
        EXPECT_EQ(o.testFlag(TDBGridOption::dgRowSelect), g == f->dbgNotaFiscal);
    }
}

TEST_F(Composition, InvoiceGridTakesWhatTheLowerGridsLeave)
{
    TfrmConfSepExp* f = OpenScreen();
    Application->ProcessMessages();
    EXPECT_EQ(f->dbgItemProduto->Height(), 125);
    EXPECT_EQ(f->dbgIUMProd->Height(), 148);
    EXPECT_EQ(f->Splitter1->Height(), 3);
    const int gridsTop = f->dbgNotaFiscal->Top();
    EXPECT_LT(gridsTop, f->Splitter1->Top());
    EXPECT_LT(f->Splitter1->Top(), f->dbgItemProduto->Top());
    EXPECT_LT(f->dbgItemProduto->Top(), f->Splitter2->Top());
    EXPECT_LT(f->Splitter2->Top(), f->dbgIUMProd->Top());
    const int invoiceHeight = f->dbgNotaFiscal->Height();
    EXPECT_GT(invoiceHeight, 50);

    f->Splitter1->MoveBy(-20);  // the item grid grows into the invoice grid
    Application->ProcessMessages();
    EXPECT_EQ(f->dbgItemProduto->Height(), 145);
    EXPECT_EQ(f->dbgNotaFiscal->Height(), invoiceHeight - 20);
}

TEST_F(Composition, HiddenPicturesAndTheBarcode)
{
    TfrmConfSepExp* f = OpenScreen();
    for (const char* name : {"imgAmarelo", "imgVerde", "imgAzul", "imgVermelho", "imgCodBarra", "imgCodBarraOK",
                             "imgCinza", "imgUncheck", "imgCheck", "imgDescheck"}) {
        auto* image = find<TImage>(f, name);
        ASSERT_NE(image, nullptr);
        EXPECT_FALSE(image->Visible()) << name;
        EXPECT_EQ(image->Parent(), f->panBotoeshorizontal);
        EXPECT_FALSE(image->Picture().Bitmap().Empty()) << name;
    }
    const TBitmap& bars = f->imgCodBarra->Picture().Bitmap();
    ASSERT_EQ(bars.Width(), 16);
    ASSERT_EQ(bars.Height(), 16);
    int olive = 0, black = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const TColor c = bars.Pixel(x, y);
            olive += c == clOlive;
            black += c == clBlack;
        }
    EXPECT_EQ(olive + black, 256) << "black bars on olive, nothing else";
    EXPECT_GT(black, 30);
}

TEST_F(Composition, CataloguesHoldEveryEntryInOrder)
{
    TfrmConfSepExp* f = OpenScreen();
    QStringList keys;
    for (const QString& line : f->msgPadrao->Messages())
        keys << line.left(line.indexOf(u'|'));
    EXPECT_EQ(keys, (QStringList{
        "DIR_INVALIDO", "DIR_INVALIDO", "ARQUIVO_N_EXIT", "ARQUIVO_VAZIO", "IMP_ERRO", "P", "S", "NAO_EXITE_PROD",
        "ARQUIVO_INF", "CANCELA_EXP", "GERAR_EXP", "Form_Fora_PAdr", "Not_Almox_Cad", "Almoxarifado",
        "Not_Local_Cad", "Lote_N_Cad", "N_Lote_Exist", "Lote", "Almox_N_Cad", "Local_N_Cad", "Local",
        "SubLote_N_Cad", "Qt_Ver>Qt_Disp", "Qt_Ver<0", "Mens_Erro_rep", "Almox_J_Cad", "Local_J_Cad",
        "Lote_J_almox", "Lote_J_almox_Local", "Jote_J_Cad", "Almox_Deve", "Local_Deve", "Lote_Deve", "SubLote",
        "CONF_N_CAD", "ARQUIVO_PAREXP_INF", "DIRETORIO_N_EXIT", "DADOS_TRANSP_INF", "QTDE_DIFER", "NrExp_Inf",
        "NrExp_NCad", "INFO_COD_FILIAL", "COD_NAO_CAD_FILIAL", "PE", "AN", "CO", "Sucesso", "NA", "N_Reser",
        "DataExp", "CL", "PerAdic", "VolSemCol", "Cap_Volume", "NF_Mar", "EN", "CONF_RASTR", "DTINI_DEV",
        "DTFIN_DEV", "DTFIN_MAIOR", "DTSAIDAINI_DEV ", "DTAINDAFIN_DEV ", "DTSADAFIM_MAIOR ", "NrPed_NCad"}));
    EXPECT_EQ(f->msgPadrao->Messages()[0], f->msgPadrao->Messages()[1]);

    const std::pair<const char*, const char*> used[] = {
        {"INFO_COD_FILIAL", "Filial deve ser informada."},
        {"COD_NAO_CAD_FILIAL", "Filial não cadastrada."},
        {"NrExp_NCad", "Nr Expedição não cadastrado."},
        {"NrPed_NCad", "Numero de pedido não cadastrado"},
        {"DTINI_DEV", "Data inicial do pedido deve ser informada."},
        {"DTFIN_DEV", "Data final do pedido deve ser informada."},
        {"DTFIN_MAIOR", "Data final do pedido deve ser maior ou igual à inicial."},
        {"DTSAIDAINI_DEV", "Data inicial da nota de saída deve ser informada."},
        {"DTAINDAFIN_DEV", "Data final do pedido deve ser informada."},
        {"DTSADAFIM_MAIOR", "Data final do pedido deve ser maior ou igual à inicial."},
        {"PE", "Pendente"},
        {"AN", "Em Andamento"},
        {"CO", "Concluída"},
        {"CONF_RASTR", "Confirma que a nota está pronta para rastreio?"},
        {"Sucesso", "Conferência de rastreio efetivada com sucesso!"},
    };
    for (const auto& [key, text] : used)
        EXPECT_EQ(f->msgPadrao->Msg(QLatin1String(key)), QString::fromUtf8(text)) << key;

    EXPECT_EQ(f->msgMensagensPadroes->Messages(), (QStringList{"Excl|Confirma exclusão?", "Canc|Cancelar operação?"}));
}

} // namespace
