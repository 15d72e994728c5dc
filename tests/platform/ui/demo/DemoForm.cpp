#include "DemoForm.h"

namespace {

TBitmap Glyph(TColor color)
{
    // Two pictures side by side: the button as shown and as shown disabled.
    TBitmap b;
    b.SetSize(32, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x) {
            const bool inside = (x % 16) >= 3 && (x % 16) <= 12 && y >= 3 && y <= 12;
            b.SetPixel(x, y, !inside ? clFuchsia : (x < 16 ? color : clGray));
        }
    return b;
}

TDataPacket Invoices()
{
    TDataPacketBuilder b({{"IDSITSEPNF", TFieldType::ftString, 1},
                          {"NRLANCTONF", TFieldType::ftString, 10},
                          {"NMFANTCLIE", TFieldType::ftString, 40},
                          {"VLTOTAL", TFieldType::ftFloat, 0}});
    const char* clients[] = {"Mercado Central", "Atacado Sul", "Distribuidora Norte", "Loja do Porto"};
    for (int i = 0; i < 4; ++i) {
        b.AddString("P");
        b.AddString(QStringLiteral("%1").arg(1234 + i, 10, 10, QChar(u'0')));
        b.AddString(QString::fromUtf8(clients[i]));
        b.AddNumber(1500.5 * (i + 1));
        b.EndRow();
    }
    return b.Build();
}

TDataPacket Items()
{
    TDataPacketBuilder b({{"CDARVPROD", TFieldType::ftString, 10},
                          {"NMPRODUTO", TFieldType::ftString, 40},
                          {"QTITEMPROD", TFieldType::ftFloat, 0}});
    const char* names[] = {"Parafuso sextavado", "Porca M8", "Arruela lisa"};
    for (int i = 0; i < 3; ++i) {
        b.AddString(QStringLiteral("%1").arg(101001 + i * 37));
        b.AddString(QString::fromUtf8(names[i]));
        b.AddNumber(10 * (i + 1));
        b.EndRow();
    }
    return b.Build();
}

} // namespace

template <class T>
T* TDemoForm::Make(TWinControl* parent, const char* name)
{
    T* c = new T(this);
    c->SetName(QString::fromLatin1(name));
    c->SetParent(parent);
    return c;
}

TDemoForm::TDemoForm(TComponent* owner) : TForm(owner)
{
    SetCaption("Demonstração dos controles");
    SetClientWidth(760);
    SetClientHeight(520);

    panTools = Make<TPanel>(this, "panTools");
    panTools->SetAlign(TAlign::alTop);
    panTools->SetHeight(28);
    panTools->SetBevelOuter(TBevelCut::bvLowered);
    const struct {
        const char* name;
        const char* hint;
        TColor color;
        bool enabled;
    } tools[] = {{"sbtIncluir", "Incluir", clGreen, false},   {"sbtExcluir", "Excluir", clRed, true},
                 {"sbtProcurar", "Procurar", clBlue, true},  {"sbtVerificar", "Atualizar", clTeal, true},
                 {"sbtImprimir", "Imprimir", clPurple, false}};
    int left = 4;
    for (const auto& t : tools) {
        TSpeedButton* b = Make<TSpeedButton>(panTools, t.name);
        b->SetBounds(left, 4, 21, 21);
        b->SetHint(QString::fromUtf8(t.hint));
        b->SetShowHint(true);
        b->Glyph().Assign(Glyph(t.color));
        b->SetNumGlyphs(2);
        b->SetEnabled(t.enabled);
        buttons << b;
        left += 21;
    }
    imgCodBarra = Make<TImage>(panTools, "imgCodBarra");
    imgCodBarra->SetAutoSize(true);
    imgCodBarra->SetVisible(false);
    TBitmap& code = imgCodBarra->Picture().Bitmap();
    code.SetSize(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            code.SetPixel(x, y, (y >= 2 && y <= 13 && (x == 2 || x == 4 || x == 5 || x == 8 || x == 11 || x == 12))
                                    ? clBlack
                                    : clOlive);
    imgLogo = Make<TImage>(panTools, "imgLogo");
    imgLogo->SetAutoSize(true);
    imgLogo->Picture().Bitmap().Assign(code);
    imgLogo->SetLeft(200);
    imgLogo->SetTop(6);

    panFilter = Make<TPanel>(this, "panFilter");
    panFilter->SetAlign(TAlign::alTop);
    panFilter->SetHeight(120);
    panFilter->SetBorderWidth(2);
    grpBranch = Make<TGroupBox>(panFilter, "grpBranch");
    grpBranch->SetCaption("Filial ");
    grpBranch->Font().SetStyle(TFontStyle::fsBold);
    grpBranch->SetAlign(TAlign::alTop);
    grpBranch->SetHeight(56);
    lblBranch = Make<TLabel>(grpBranch, "lblBranch");
    lblBranch->SetCaption("Filial");
    lblBranch->SetBounds(10, 26, 40, 16);
    lblBranch->Font().SetStyle(TFontStyle::fsBold);
    medBranch = Make<TMaskEdit>(grpBranch, "medBranch");
    medBranch->SetEditMask("9999;0; ");
    medBranch->SetMaxLength(4);
    medBranch->SetBounds(60, 22, 48, 24);
    medBranch->SetColor(clInfoBk);
    medBranch->SetText("0001");
    edtBranchName = Make<TEdit>(grpBranch, "edtBranchName");
    edtBranchName->SetBounds(116, 22, 400, 24);
    edtBranchName->SetText("Matriz - Porto Alegre");
    edtBranchName->SetEnabled(false);
    edtBranchName->SetTabStop(false);
    edtBranchName->SetColor(clBtnFace);

    grpNumbers = Make<TGroupBox>(panFilter, "grpNumbers");
    grpNumbers->SetCaption("Lançamentos ");
    grpNumbers->Font().SetStyle(TFontStyle::fsBold);
    grpNumbers->SetAlign(TAlign::alClient);
    lblExpedition = Make<TLabel>(grpNumbers, "lblExpedition");
    lblExpedition->SetCaption("Nr. Expedição");
    lblExpedition->SetBounds(10, 26, 90, 16);
    lblExpedition->Font().SetStyle(TFontStyle::fsBold);
    medExpedition = Make<TMaskEdit>(grpNumbers, "medExpedition");
    medExpedition->SetEditMask("9999999999;0; ");
    medExpedition->SetBounds(120, 22, 95, 24);
    lblDocument = Make<TLabel>(grpNumbers, "lblDocument");
    lblDocument->SetCaption("CNPJ");
    lblDocument->SetBounds(235, 26, 40, 16);
    lblDocument->Font().SetStyle(TFontStyle::fsBold);
    medDocument = Make<TMaskEdit>(grpNumbers, "medDocument");
    medDocument->SetEditMask("99.999.999/9999-99;0;_");
    medDocument->SetBounds(280, 22, 150, 24);
    medDocument->SetText("12345678000195");

    cdsInvoices = new TClientDataSet(this);
    cdsInvoices->SetName("cdsInvoices");
    dtsInvoices = new TDataSource(this);
    dtsInvoices->SetDataSet(cdsInvoices);
    cdsItems = new TClientDataSet(this);
    cdsItems->SetName("cdsItems");
    dtsItems = new TDataSource(this);
    dtsItems->SetDataSet(cdsItems);

    panGrid = Make<TPanel>(this, "panGrid");
    panGrid->SetAlign(TAlign::alClient);
    panGrid->SetBevelOuter(TBevelCut::bvNone);
    panGrid->SetBevelInner(TBevelCut::bvLowered);
    panGrid->SetBorderWidth(2);
    const TDBGridOptions options = TDBGridOption::dgTitles | TDBGridOption::dgColumnResize |
                                   TDBGridOption::dgColLines | TDBGridOption::dgRowLines | TDBGridOption::dgTabs |
                                   TDBGridOption::dgAlwaysShowSelection;
    dbgInvoices = Make<TDBGrid>(panGrid, "dbgInvoices");
    dbgInvoices->SetAlign(TAlign::alClient);
    dbgInvoices->SetOptions(options | TDBGridOption::dgRowSelect);
    dbgInvoices->SetBorderStyle(TBorderStyle::bsNone);
    dbgInvoices->SetColor(clInfoBk);
    dbgInvoices->SetDataSource(dtsInvoices);
    const struct {
        const char* field;
        const char* title;
        int width;
    } invoiceColumns[] = {{"IDSITSEPNF", "IUM", 32}, {"NRLANCTONF", "N° Nota", 90},
                          {"NMFANTCLIE", "Cliente", 300}, {"VLTOTAL", "Valor", 100}};
    for (const auto& c : invoiceColumns) {
        TColumn* column = dbgInvoices->Columns().Add();
        column->SetFieldName(c.field);
        column->Title().SetCaption(QString::fromUtf8(c.title));
        column->SetWidth(c.width);
    }
    dbgInvoices->OnDrawColumnCell = closure(this, &TDemoForm::dbgInvoicesDrawColumnCell);
    splitter = Make<TSplitter>(panGrid, "Splitter1");
    splitter->SetAlign(TAlign::alBottom);
    splitter->SetHeight(3);
    dbgItems = Make<TDBGrid>(panGrid, "dbgItems");
    dbgItems->SetAlign(TAlign::alBottom);
    dbgItems->SetHeight(130);
    dbgItems->SetOptions(options);
    dbgItems->SetBorderStyle(TBorderStyle::bsNone);
    dbgItems->SetColor(clInfoBk);
    dbgItems->SetDataSource(dtsItems);

    cdsInvoices->SetData(Invoices());
    static_cast<TFloatField*>(cdsInvoices->FieldByName("VLTOTAL"))->SetDisplayFormat("#,##0.00");
    cdsItems->SetData(Items());
    cdsItems->FieldByName("CDARVPROD")->SetEditMask("999.999;0;_");
    cdsItems->FieldByName("CDARVPROD")->SetDisplayLabel("Cod. Produto");
    cdsItems->FieldByName("NMPRODUTO")->SetDisplayLabel("Nome");
    cdsItems->FieldByName("QTITEMPROD")->SetDisplayLabel("Qt. a Expedir");
    static_cast<TFloatField*>(cdsItems->FieldByName("QTITEMPROD"))->SetDisplayFormat("0.000");
    dbgItems->Invalidate();
    cdsInvoices->SetRecNo(2);
}

void TDemoForm::dbgInvoicesDrawColumnCell(TObject*, const TRect& rect, int, TColumn* column, TGridDrawState)
{
    if (cdsInvoices->IsEmpty() || column->FieldName() != "IDSITSEPNF")
        return;
    TBitmap bitmap;
    bitmap.Assign(imgCodBarra->Picture().Bitmap());
    TCanvas* canvas = dbgInvoices->Canvas();
    canvas->FillRect(rect);
    canvas->BrushCopy(Bounds(rect.Left + 10, rect.Top, bitmap.Width(), rect.Height()), bitmap,
                      Bounds(0, 0, bitmap.Width(), rect.Height()), clOlive);
}
