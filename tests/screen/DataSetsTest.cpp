// The screen's data sets: every field's kind, size, label, visibility,
// display width and format; the data sources and the branch query.
#include "ScreenFixture.h"

#include "data/PacketCodec.h"

namespace {

struct FieldCase {
    const char* dataSet;
    const char* field;
    TFieldType type;
    int size;  // strings only
    const char* label;
    bool visible;
    int displayWidth;  // 0: not checked
};

constexpr auto S = TFieldType::ftString;
constexpr auto F = TFieldType::ftFloat;
constexpr auto D = TFieldType::ftDateTime;

const FieldCase fieldCases[] = {
    {"cdsNotaFiscal", "CDFILIAL", S, 4, "CDFILIAL", false, 0},
    {"cdsNotaFiscal", "NREXPEDICAO", S, 10, "NREXPEDICAO", false, 0},
    {"cdsNotaFiscal", "NRLANCTONF", S, 10, "N° Nota", true, 0},
    {"cdsNotaFiscal", "DTENTRSAID", D, 0, "Data Saída", true, 0},
    {"cdsNotaFiscal", "CDCLIENTE", S, 21, "Cliente", false, 0},
    {"cdsNotaFiscal", "NMRAZSOCCLIE", S, 150, "Razão Social", false, 0},
    {"cdsNotaFiscal", "NMFANTCLIE", S, 150, "Cliente", false, 0},
    {"cdsNotaFiscal", "NMFILIAL", S, 30, "Filial Dest.", false, 0},
    {"cdsNotaFiscal", "NRINSJURCLIE", S, 20, "Cliente", true, 0},
    {"cdsNotaFiscal", "IDTPIJURCLIE", S, 1, "IDTPIJURCLIE", false, 0},
    {"cdsNotaFiscal", "CDFILIEMIT", S, 4, "CDFILIEMIT", false, 0},
    {"cdsNotaFiscal", "CDTIPOOPER", S, 2, "CDTIPOOPER", false, 0},
    {"cdsNotaFiscal", "IDENTRSAIDOP", S, 1, "IDENTRSAIDOP", false, 0},
    {"cdsNotaFiscal", "IDSITSEPNF", S, 1, "IUM", false, 0},
    {"cdsNotaFiscal", "QTVOLNF", F, 0, "QTVOLNF", false, 0},
    {"cdsItemProduto", "CDFILIAL", S, 4, "CDFILIAL", false, 0},
    {"cdsItemProduto", "NREXPEDICAO", S, 10, "NREXPEDICAO", false, 0},
    {"cdsItemProduto", "NRLANCTONF", S, 10, "NRLANCTONF", false, 0},
    {"cdsItemProduto", "CDPRODUTO", S, 10, "CDPRODUTO", false, 0},
    {"cdsItemProduto", "CDARVPROD", S, 20, "Cod. Produto", true, 0},
    {"cdsItemProduto", "NMPRODUTO", S, 50, "Nome", true, 0},
    {"cdsItemProduto", "SGUNIDADE", S, 10, "UN", true, 0},
    {"cdsItemProduto", "QTITEMPROD", F, 0, "Qt. a Expedir", true, 0},
    {"cdsItemProduto", "QTRESPRODPED", F, 0, "Qt. Lida", true, 0},
    {"cdsItemProduto", "IDSTATUSSEPSNCM", S, 1, "IDSTATUSSEPSNCM", true, 0},
    {"cdsItemProduto", "IDCOLETA", S, 1, "Coleta", false, 0},
    {"cdsItemProduto", "NRITEMPED", S, 1, "NRITEMPED", true, 0},
    {"cdsIUMProd", "CDFILIAL", S, 4, "CDFILIAL", false, 0},
    {"cdsIUMProd", "NREXPEDICAO", S, 10, "NREXPEDICAO", false, 0},
    {"cdsIUMProd", "NRLANCTONF", S, 10, "NRLANCTONF", false, 0},
    {"cdsIUMProd", "CDALMOXARIFE", S, 6, "Almoxarifado", true, 6},
    {"cdsIUMProd", "CDLOCALESTOQ", S, 6, "Local Estoque", true, 6},
    {"cdsIUMProd", "NRLOTEESTQ", S, 20, "Lote", true, 0},
    {"cdsIUMProd", "NRSUBLOTE", S, 4, "Sub-Lote", true, 0},
    {"cdsIUMProd", "CDIUMPROD", S, 100, "CDIUMPROD", true, 0},
    {"cdsIUMProd", "DTVALILOTE", D, 0, "Data Validade", true, 0},
    {"cdsIUMProd", "DSALMOXARIFE", S, 30, "DSALMOXARIFE", true, 0},
    {"cdsIUMProd", "DSLOCALESTOQ", S, 30, "DSLOCALESTOQ", true, 0},
    {"cdsIUMProd", "CDPRODUTO", S, 10, "CDPRODUTO", false, 0},
    {"cdsItemProdCheck", "NRITEMPED", S, 1, "NRITEMPED", true, 0},
    {"cdsItemProdCheck", "IDSTATUSSEPSNCM", S, 1, "IDSTATUSSEPSNCM", true, 0},
    {"cdsItemProdCheck", "CDFILIAL", S, 4, "CDFILIAL", false, 0},
    {"cdsItemProdCheck", "NREXPEDICAO", S, 10, "NREXPEDICAO", false, 0},
    {"cdsItemProdCheck", "NRLANCTONF", S, 10, "NRLANCTONF", false, 0},
    {"cdsItemProdCheck", "CDPRODUTO", S, 10, "CDPRODUTO", false, 0},
    {"cdsItemProdCheck", "CDARVPROD", S, 20, "Cod. Produto", true, 0},
    {"cdsItemProdCheck", "NMPRODUTO", S, 50, "Nome", true, 0},
    {"cdsItemProdCheck", "SGUNIDADE", S, 10, "UN", true, 0},
    {"cdsItemProdCheck", "QTITEMPROD", F, 0, "Qt. a Expedir", true, 0},
    {"cdsItemProdCheck", "QTRESPRODPED", F, 0, "Qt. Coletada", true, 0},
    {"cdsItemProdCheck", "IDCOLETA", S, 1, "Coleta", false, 0},
    {"cdsNrExpedicao", "CDFILIAL", S, 4, "CDFILIAL", false, 0},
    {"cdsNrExpedicao", "NREXPEDICAO", S, 10, "Nr Expedição", true, 10},
    {"cdsNrExpedicao", "DTEXPEDICAO", D, 0, "Data Saída", true, 0},
    {"cdsNrExpedicao", "IDSTATUSSEP", S, 2, "Sit. Separação", true, 15},
    {"cdsNrPedido", "NRPEDIDO", S, 20, "Nr. Pedido", true, 0},
    {"cdsNrPedido", "CDFILIAL", S, 4, "Filial", false, 0},
    {"cdsValidacoesIUM", "IDERRO", S, 1, "IDERRO", true, 0},
    {"cdsValidacoesIUM", "DSDETALHE", S, 32, "DSDETALHE", true, 0},
    {"cdsValidacoesIUM", "NRSEQITPROD", S, 4, "NRSEQITPROD", true, 0},
    {"cdsValidacoesIUM", "CDFILIAL", S, 4, "CDFILIAL", false, 0},
    {"cdsValidacoesIUM", "NRLANCTONF", S, 10, "NRLANCTONF", false, 0},
};

// Field order per data set, as declared.
QStringList fieldNames(TDataSet* ds)
{
    QStringList names;
    for (int i = 0; i < ds->FieldCount(); ++i)
        names << ds->Fields(i)->FieldName();
    return names;
}

class DataSets : public ScreenTest {};

TEST_F(DataSets, EveryFieldAsDeclared)
{
    usesWarehouses = usesLocations = true;
    TfrmConfSepExp* f = OpenScreen();
    QMap<QString, QStringList> declared;
    for (const FieldCase& c : fieldCases) {
        SCOPED_TRACE(std::string(c.dataSet) + "." + c.field);
        auto* ds = dynamic_cast<TClientDataSet*>(f->FindComponent(QLatin1String(c.dataSet)));
        ASSERT_NE(ds, nullptr);
        TField* field = ds->FindField(QLatin1String(c.field));
        ASSERT_NE(field, nullptr);
        declared[c.dataSet] << c.field;
        EXPECT_EQ(field->Name(), QLatin1String(c.dataSet) + QLatin1String(c.field));
        EXPECT_EQ(field->DataType(), c.type);
        if (c.type == S) {
            EXPECT_EQ(field->Size(), c.size);
        }
        EXPECT_EQ(field->DisplayLabel(), QString::fromUtf8(c.label));
        EXPECT_EQ(field->Visible(), c.visible);
        if (c.displayWidth) {
            EXPECT_EQ(field->DisplayWidth(), c.displayWidth);
        }
        if (c.type == F && ds != f->cdsNotaFiscal) {
            EXPECT_EQ(static_cast<TFloatField*>(field)->DisplayFormat(), "###,##0.000");
        }
        EXPECT_FALSE(ds->Active()) << "data sets start closed";
        EXPECT_FALSE(ds->Filtered());
    }
    for (auto it = declared.cbegin(); it != declared.cend(); ++it) {
        auto* ds = dynamic_cast<TDataSet*>(f->FindComponent(it.key()));
        EXPECT_EQ(fieldNames(ds), it.value()) << it.key().toStdString() << ": no other field, in this order";
    }
    EXPECT_TRUE(f->cdsValidacoesIUMIDERRO->FixedChar());
}

TEST_F(DataSets, SourcesAndEvents)
{
    TfrmConfSepExp* f = OpenScreen();
    EXPECT_EQ(f->dtsNotaFiscal->DataSet(), f->cdsNotaFiscal);
    EXPECT_EQ(f->dtsItemProduto->DataSet(), f->cdsItemProduto);
    EXPECT_EQ(f->dtsIUMProd->DataSet(), f->cdsIUMProd);
    EXPECT_EQ(f->dtsNrExpedicao->DataSet(), f->cdsNrExpedicao);
    EXPECT_EQ(f->dtsNrPedido->DataSet(), f->cdsNrPedido);
    EXPECT_EQ(f->dtsFilial->DataSet(), f->qryFilial);
    EXPECT_EQ(f->dbgNotaFiscal->DataSource(), f->dtsNotaFiscal);
    EXPECT_EQ(f->dbgItemProduto->DataSource(), f->dtsItemProduto);
    EXPECT_EQ(f->dbgIUMProd->DataSource(), f->dtsIUMProd);

    EXPECT_TRUE(f->cdsNotaFiscal->AfterScroll == closure(f, &TfrmConfSepExp::cdsNotaFiscalAfterScroll));
    EXPECT_TRUE(f->cdsItemProduto->AfterScroll == closure(f, &TfrmConfSepExp::cdsItemProdutoAfterScroll));
    EXPECT_TRUE(f->cdsItemProdCheck->AfterScroll == closure(f, &TfrmConfSepExp::cdsItemProdutoAfterScroll));
    EXPECT_TRUE(f->cdsIUMProd->AfterDelete == closure(f, &TfrmConfSepExp::cdsIUMProdAfterDelete));
    EXPECT_TRUE(f->cdsNotaFiscalNRINSJURCLIE->OnGetText ==
                closure(f, &TfrmConfSepExp::cdsNotaFiscalNRINSJURCLIEGetText));
    EXPECT_TRUE(f->cdsNrExpedicaoIDSTATUSSEP->OnGetText ==
                closure(f, &TfrmConfSepExp::cdsNrExpedicaoIDSTATUSSEPGetText));
    EXPECT_TRUE(f->cdsIUMProdCDIUMPROD->OnGetText == closure(f, &TfrmConfSepExp::cdsIUMProdCDIUMPRODGetText));
    EXPECT_TRUE(f->dtsNotaFiscal->OnStateChange == closure(f, &TfrmConfSepExp::dtsNotaFiscalStateChange));
}

TEST_F(DataSets, InvoiceGridShowsHiddenFieldsOnlyThroughDeclaredColumns)
{
    TfrmConfSepExp* f = OpenScreen();
    QStringList shown;
    for (int i = 0; i < f->dbgNotaFiscal->ColumnCount(); ++i)
        shown << f->dbgNotaFiscal->ColumnAt(i)->FieldName();
    EXPECT_EQ(shown, (QStringList{"IDSITSEPNF", "NRLANCTONF", "DTENTRSAID", "NRINSJURCLIE", "NMFANTCLIE"}));
    EXPECT_FALSE(f->cdsNotaFiscalIDSITSEPNF->Visible());
    EXPECT_FALSE(f->cdsNotaFiscalNMFANTCLIE->Visible());
}

TEST_F(DataSets, BranchQueryTextsSettingsAndFields)
{
    TfrmConfSepExp* f = OpenScreen();
    TADOIBQuery* q = f->qryFilial;
    EXPECT_FALSE(q->Active());
    const QStringList generic = {"SELECT", "   FI.CDFILIAL, FI.NMFILIAL", "FROM", "   FILIAL FI", "WHERE",
                                 "   FI.CDFILIAL = NVL(:P_CDFILIAL,FI.CDFILIAL) ", "ORDER BY", "   CDFILIAL", " ", " "};
    EXPECT_EQ(q->SQL, generic);
    QStringList oracle = generic;
    oracle[5] = "   FI.CDFILIAL = NVL(:P_CDFILIAL,FI.CDFILIAL)";
    EXPECT_EQ(q->SQL_ORACLE, oracle);
    QStringList mssql = generic;
    mssql[5] = "   FI.CDFILIAL = ISNULL(:P_CDFILIAL,FI.CDFILIAL)";
    EXPECT_EQ(q->SQL_MSSQL, mssql);
    EXPECT_EQ(q->SQL_IB, (QStringList{"SELECT", "   FI.CDFILIAL, FI.NMFILIAL", "FROM", "   FILIAL FI,",
                                      "   PARAM(:P_CDFILIAL)P_CDFILIAL", "WHERE",
                                      "   FI.CDFILIAL = NVLSTR(P_CDFILIAL.PARAM ,FI.CDFILIAL) ", "ORDER BY",
                                      "   CDFILIAL", " ", " "}));
    EXPECT_EQ(q->CursorLocation(), TCursorLocation::clUseClient);
    EXPECT_EQ(q->CursorType(), TCursorType::ctKeyset);
    EXPECT_EQ(q->LockType(), TLockType::ltReadOnly);
    EXPECT_EQ(q->CacheSize(), 1);
    EXPECT_EQ(q->MaxRecords(), 0);
    EXPECT_FALSE(q->Prepared());
    EXPECT_FALSE(q->EnableBCD());
    EXPECT_TRUE(q->ParamCheck());
    EXPECT_FALSE(q->CachedUpdates());
    EXPECT_TRUE(q->AutoCalcFields());
    EXPECT_EQ(q->ParamByName("P_CDFILIAL")->DataType(), TFieldType::ftString);
    EXPECT_EQ(fieldNames(q), (QStringList{"CDFILIAL", "NMFILIAL"}));
    EXPECT_EQ(f->qryFilialCDFILIAL->Size(), 4);
    EXPECT_EQ(f->qryFilialCDFILIAL->DisplayLabel(), "Código");
    EXPECT_TRUE(f->qryFilialCDFILIAL->Required());
    EXPECT_EQ(f->qryFilialNMFILIAL->Size(), 30);
    EXPECT_EQ(f->qryFilialNMFILIAL->DisplayLabel(), "Nome");
}

} // namespace
