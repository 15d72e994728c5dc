// The data sets: the work list (invoices, items, IUM readings), the working
// copy of the items, the two lookup lists and the validation set, with their
// fields and data sources. Handlers are attached in WireEvents.
#include "Cli_exp13000.h"

#include "ComponentFactory.h"
#include "framework/DtmDBGeral.h"
#include "server/KnownQueries.h"

namespace {

// A field named after its data set and column; `size` 0 keeps the string
// default of 20; an empty label keeps the column name.
template <class F>
F* field(TDataSet* ds, const char* column, const char* label, bool visible, int size = 0)
{
    auto* f = new F(ds);
    f->SetName(ds->Name() + QLatin1String(column));
    f->SetFieldName(QLatin1String(column));
    if (label)
        f->SetDisplayLabel(QString::fromUtf8(label));
    f->SetVisible(visible);
    if (size > 0)
        f->SetSize(size);
    return f;
}

TStringField* str(TDataSet* ds, const char* column, int size, const char* label, bool visible)
{
    return field<TStringField>(ds, column, label, visible, size);
}

TFloatField* quantity(TDataSet* ds, const char* column, const char* label)
{
    auto* f = field<TFloatField>(ds, column, label, true);
    f->SetDisplayFormat(QStringLiteral("###,##0.000"));
    return f;
}

TDataSource* source(TComponent* owner, const char* name, TDataSet* ds)
{
    auto* s = Make<TDataSource>(owner, name);
    s->SetDataSet(ds);
    return s;
}

constexpr bool shown = true;
constexpr bool hidden = false;

} // namespace

void TfrmConfSepExp::CreateDataSets()
{
    cdsNotaFiscal = Make<TClientDataSet>(this, "cdsNotaFiscal");
    cdsNotaFiscalCDFILIAL = str(cdsNotaFiscal, "CDFILIAL", 4, nullptr, hidden);
    cdsNotaFiscalNREXPEDICAO = str(cdsNotaFiscal, "NREXPEDICAO", 10, nullptr, hidden);
    cdsNotaFiscalNRLANCTONF = str(cdsNotaFiscal, "NRLANCTONF", 10, "N° Nota", shown);
    cdsNotaFiscalDTENTRSAID = field<TDateTimeField>(cdsNotaFiscal, "DTENTRSAID", "Data Saída", shown);
    cdsNotaFiscalCDCLIENTE = str(cdsNotaFiscal, "CDCLIENTE", 21, "Cliente", hidden);
    cdsNotaFiscalNMRAZSOCCLIE = str(cdsNotaFiscal, "NMRAZSOCCLIE", 150, "Razão Social", hidden);
    cdsNotaFiscalNMFANTCLIE = str(cdsNotaFiscal, "NMFANTCLIE", 150, "Cliente", hidden);
    cdsNotaFiscalNMFILIAL = str(cdsNotaFiscal, "NMFILIAL", 30, "Filial Dest.", hidden);
    cdsNotaFiscalNRINSJURCLIE = str(cdsNotaFiscal, "NRINSJURCLIE", 0, "Cliente", shown);
    cdsNotaFiscalIDTPIJURCLIE = str(cdsNotaFiscal, "IDTPIJURCLIE", 1, nullptr, hidden);
    cdsNotaFiscalCDFILIEMIT = str(cdsNotaFiscal, "CDFILIEMIT", 4, nullptr, hidden);
    cdsNotaFiscalCDTIPOOPER = str(cdsNotaFiscal, "CDTIPOOPER", 2, nullptr, hidden);
    cdsNotaFiscalIDENTRSAIDOP = str(cdsNotaFiscal, "IDENTRSAIDOP", 1, nullptr, hidden);
    cdsNotaFiscalIDSITSEPNF = str(cdsNotaFiscal, "IDSITSEPNF", 1, "IUM", hidden);
    cdsNotaFiscalQTVOLNF = field<TFloatField>(cdsNotaFiscal, "QTVOLNF", nullptr, hidden);
    dtsNotaFiscal = source(this, "dtsNotaFiscal", cdsNotaFiscal);

    cdsItemProduto = Make<TClientDataSet>(this, "cdsItemProduto");
    cdsItemProdutoCDFILIAL = str(cdsItemProduto, "CDFILIAL", 4, nullptr, hidden);
    cdsItemProdutoNREXPEDICAO = str(cdsItemProduto, "NREXPEDICAO", 10, nullptr, hidden);
    cdsItemProdutoNRLANCTONF = str(cdsItemProduto, "NRLANCTONF", 10, nullptr, hidden);
    cdsItemProdutoCDPRODUTO = str(cdsItemProduto, "CDPRODUTO", 10, nullptr, hidden);
    cdsItemProdutoCDARVPROD = str(cdsItemProduto, "CDARVPROD", 0, "Cod. Produto", shown);
    cdsItemProdutoNMPRODUTO = str(cdsItemProduto, "NMPRODUTO", 50, "Nome", shown);
    cdsItemProdutoSGUNIDADE = str(cdsItemProduto, "SGUNIDADE", 10, "UN", shown);
    cdsItemProdutoQTITEMPROD = quantity(cdsItemProduto, "QTITEMPROD", "Qt. a Expedir");
    cdsItemProdutoQTRESPRODPED = quantity(cdsItemProduto, "QTRESPRODPED", "Qt. Lida");
    cdsItemProdutoIDSTATUSSEPSNCM = str(cdsItemProduto, "IDSTATUSSEPSNCM", 1, nullptr, shown);
    cdsItemProdutoIDCOLETA = str(cdsItemProduto, "IDCOLETA", 1, "Coleta", hidden);
    cdsItemProdutoNRITEMPED = str(cdsItemProduto, "NRITEMPED", 1, nullptr, shown);
    dtsItemProduto = source(this, "dtsItemProduto", cdsItemProduto);

    cdsIUMProd = Make<TClientDataSet>(this, "cdsIUMProd");
    cdsIUMProdCDFILIAL = str(cdsIUMProd, "CDFILIAL", 4, nullptr, hidden);
    cdsIUMProdNREXPEDICAO = str(cdsIUMProd, "NREXPEDICAO", 10, nullptr, hidden);
    cdsIUMProdNRLANCTONF = str(cdsIUMProd, "NRLANCTONF", 10, nullptr, hidden);
    cdsIUMProdCDALMOXARIFE = str(cdsIUMProd, "CDALMOXARIFE", 6, "Almoxarifado", shown);
    cdsIUMProdCDALMOXARIFE->SetDisplayWidth(6);
    cdsIUMProdCDLOCALESTOQ = str(cdsIUMProd, "CDLOCALESTOQ", 6, "Local Estoque", shown);
    cdsIUMProdCDLOCALESTOQ->SetDisplayWidth(6);
    cdsIUMProdNRLOTEESTQ = str(cdsIUMProd, "NRLOTEESTQ", 0, "Lote", shown);
    cdsIUMProdNRSUBLOTE = str(cdsIUMProd, "NRSUBLOTE", 4, "Sub-Lote", shown);
    cdsIUMProdCDIUMPROD = str(cdsIUMProd, "CDIUMPROD", 100, nullptr, shown);
    cdsIUMProdDTVALILOTE = field<TDateTimeField>(cdsIUMProd, "DTVALILOTE", "Data Validade", shown);
    cdsIUMProdDSALMOXARIFE = str(cdsIUMProd, "DSALMOXARIFE", 30, nullptr, shown);
    cdsIUMProdDSLOCALESTOQ = str(cdsIUMProd, "DSLOCALESTOQ", 30, nullptr, shown);
    cdsIUMProdCDPRODUTO = str(cdsIUMProd, "CDPRODUTO", 10, nullptr, hidden);
    dtsIUMProd = source(this, "dtsIUMProd", cdsIUMProd);

    cdsItemProdCheck = Make<TClientDataSet>(this, "cdsItemProdCheck");
    cdsItemProdCheckNRITEMPED = str(cdsItemProdCheck, "NRITEMPED", 1, nullptr, shown);
    cdsItemProdCheckIDSTATUSSEPSNCM = str(cdsItemProdCheck, "IDSTATUSSEPSNCM", 1, nullptr, shown);
    cdsItemProdCheckCDFILIAL = str(cdsItemProdCheck, "CDFILIAL", 4, nullptr, hidden);
    cdsItemProdCheckNREXPEDICAO = str(cdsItemProdCheck, "NREXPEDICAO", 10, nullptr, hidden);
    cdsItemProdCheckNRLANCTONF = str(cdsItemProdCheck, "NRLANCTONF", 10, nullptr, hidden);
    cdsItemProdCheckCDPRODUTO = str(cdsItemProdCheck, "CDPRODUTO", 10, nullptr, hidden);
    cdsItemProdCheckCDARVPROD = str(cdsItemProdCheck, "CDARVPROD", 0, "Cod. Produto", shown);
    cdsItemProdCheckNMPRODUTO = str(cdsItemProdCheck, "NMPRODUTO", 50, "Nome", shown);
    cdsItemProdCheckSGUNIDADE = str(cdsItemProdCheck, "SGUNIDADE", 10, "UN", shown);
    cdsItemProdCheckQTITEMPROD = quantity(cdsItemProdCheck, "QTITEMPROD", "Qt. a Expedir");
    cdsItemProdCheckQTRESPRODPED = quantity(cdsItemProdCheck, "QTRESPRODPED", "Qt. Coletada");
    cdsItemProdCheckIDCOLETA = str(cdsItemProdCheck, "IDCOLETA", 1, "Coleta", hidden);

    cdsNrExpedicao = Make<TClientDataSet>(this, "cdsNrExpedicao");
    cdsNrExpedicaoCDFILIAL = str(cdsNrExpedicao, "CDFILIAL", 4, nullptr, hidden);
    cdsNrExpedicaoNREXPEDICAO = str(cdsNrExpedicao, "NREXPEDICAO", 10, "Nr Expedição", shown);
    cdsNrExpedicaoNREXPEDICAO->SetDisplayWidth(10);
    cdsNrExpedicaoDTEXPEDICAO = field<TDateTimeField>(cdsNrExpedicao, "DTEXPEDICAO", "Data Saída", shown);
    cdsNrExpedicaoIDSTATUSSEP = str(cdsNrExpedicao, "IDSTATUSSEP", 2, "Sit. Separação", shown);
    cdsNrExpedicaoIDSTATUSSEP->SetDisplayWidth(15);
    dtsNrExpedicao = source(this, "dtsNrExpedicao", cdsNrExpedicao);

    cdsNrPedido = Make<TClientDataSet>(this, "cdsNrPedido");
    cdsNrPedidoNRPEDIDO = str(cdsNrPedido, "NRPEDIDO", 0, "Nr. Pedido", shown);
    cdsNrPedidoCDFILIAL = str(cdsNrPedido, "CDFILIAL", 4, "Filial", hidden);
    dtsNrPedido = source(this, "dtsNrPedido", cdsNrPedido);

    cdsValidacoesIUM = Make<TClientDataSet>(this, "cdsValidacoesIUM");
    cdsValidacoesIUMIDERRO = str(cdsValidacoesIUM, "IDERRO", 1, nullptr, shown);
    cdsValidacoesIUMIDERRO->SetFixedChar(true);
    cdsValidacoesIUMDSDETALHE = str(cdsValidacoesIUM, "DSDETALHE", 32, nullptr, shown);
    cdsValidacoesIUMNRSEQITPROD = str(cdsValidacoesIUM, "NRSEQITPROD", 4, nullptr, shown);
    cdsValidacoesIUMCDFILIAL = str(cdsValidacoesIUM, "CDFILIAL", 4, nullptr, hidden);
    cdsValidacoesIUMNRLANCTONF = str(cdsValidacoesIUM, "NRLANCTONF", 10, nullptr, hidden);
}

void TfrmConfSepExp::CreateBranchQuery()
{
    qryFilial = Make<TADOIBQuery>(this, "qryFilial");
    // The host's shared data module; without one (a host that has no local
    // database) the branch checks report the database error when they run.
    if (dtmDBGeral) {
        qryFilial->SetConnection(dtmDBGeral->adcGeral());
        qryFilial->SetDatabase(dtmDBGeral->dtbGeral);
        qryFilial->SetTransaction(dtmDBGeral->ibtGeral);
    }
    qryFilial->SetCursorLocation(TCursorLocation::clUseClient);
    qryFilial->SetCursorType(TCursorType::ctKeyset);
    qryFilial->SetLockType(TLockType::ltReadOnly);
    qryFilial->SetCacheSize(1);
    qryFilial->SetMaxRecords(0);
    qryFilial->SetPrepared(false);
    qryFilial->SetEnableBCD(false);
    qryFilial->SetParamCheck(true);
    qryFilial->SetCachedUpdates(false);
    qryFilial->SetAutoCalcFields(true);

    const QStringList generic = KnownQueries::BranchQuery();
    QStringList oracle = generic;
    oracle[5] = "   FI.CDFILIAL = NVL(:P_CDFILIAL,FI.CDFILIAL)";
    QStringList mssql = generic;
    mssql[5] = "   FI.CDFILIAL = ISNULL(:P_CDFILIAL,FI.CDFILIAL)";
    const QStringList interbase = {
        "SELECT",
        "   FI.CDFILIAL, FI.NMFILIAL",
        "FROM",
        "   FILIAL FI,",
        "   PARAM(:P_CDFILIAL)P_CDFILIAL",
        "WHERE",
        "   FI.CDFILIAL = NVLSTR(P_CDFILIAL.PARAM ,FI.CDFILIAL) ",
        "ORDER BY",
        "   CDFILIAL",
        " ",
        " ",
    };
    qryFilial->SQL = generic;
    qryFilial->SQL_ORACLE = oracle;
    qryFilial->SQL_MSSQL = mssql;
    qryFilial->SQL_IB = interbase;
    qryFilial->ParamByName(QStringLiteral("P_CDFILIAL"))->SetDataType(TFieldType::ftString);

    qryFilialCDFILIAL = new TADOIBStringField(qryFilial);
    qryFilialCDFILIAL->SetName(QStringLiteral("qryFilialCDFILIAL"));
    qryFilialCDFILIAL->SetFieldName(QStringLiteral("CDFILIAL"));
    qryFilialCDFILIAL->SetSize(4);
    qryFilialCDFILIAL->SetDisplayLabel(QStringLiteral("Código"));
    qryFilialCDFILIAL->SetRequired(true);
    qryFilialNMFILIAL = new TADOIBStringField(qryFilial);
    qryFilialNMFILIAL->SetName(QStringLiteral("qryFilialNMFILIAL"));
    qryFilialNMFILIAL->SetFieldName(QStringLiteral("NMFILIAL"));
    qryFilialNMFILIAL->SetSize(30);
    qryFilialNMFILIAL->SetDisplayLabel(QStringLiteral("Nome"));
    dtsFilial = source(this, "dtsFilial", qryFilial);
}
