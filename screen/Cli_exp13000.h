#pragma once
// TfrmConfSepExp: the screen "Conferência de Separação da Rastreabilidade"
// (EXP13000). Warehouse staff choose a branch, two date ranges and optionally
// an expedition or an order; leaving the filter panel loads the work list
// (invoices, their items and the IUM readings of each item) from the
// application server; the grids below follow the selected invoice and item.
//
// Every component is a public member named as the user-interface designer
// named it, and carries that name as its Name. The screen owns all of them;
// the application owns the screen, and the base form releases it on close.
//
// Handlers are grouped by subsystem, one family per source file:
//   Composition.cpp, DataSets.cpp, Catalogues.cpp, Pictures.cpp  the parts
//   Lifecycle.cpp              creation, activation, keys, close, connections
//   Toolbar.cpp                tool-button states and the search button
//   filter/                    branch, expedition/order and date checks
//   worklist/                  loading, master-detail navigation, presentation
//   actions/                   IUM reading and refresh, readiness, deletion, confirmation
//
// Failures travel as exceptions to the dispatch boundary, which shows them
// through the host's standard error display.
#include "framework/ADOIBQuery.h"
#include "framework/BtnPesquisa.h"
#include "framework/ButtonFlat.h"
#include "framework/DateEditPlus.h"
#include "netconn/NetConnection.h"
#include "framework/RotiGeral.h"
#include "framework/Vrn_msg.h"

#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "ui/DBGrid.h"
#include "ui/ExtCtrls.h"
#include "ui/MaskEdit.h"
#include "ui/Panels.h"
#include "ui/StdCtrls.h"

#include <QSet>

class TfrmConfSepExp : public TfrmRotiGeral {
public:
    explicit TfrmConfSepExp(TComponent* owner);
    // Stops hearing the notice channel, however the screen goes.
    ~TfrmConfSepExp() override;

    // --- tool bar
    TPanel* panBotoeshorizontal;
    TButtonFlat* sbtIncluir;
    TButtonFlat* sbtAlterar;
    TButtonFlat* sbtExcluir;
    TButtonFlat* sbtProcurar;
    TButtonFlat* sbtVerificar;
    TButtonFlat* sbtCancelar;
    TButtonFlat* sbtConfirmar;
    TButtonFlat* sbtImprimir;
    TImage* imgAmarelo;
    TImage* imgVerde;
    TImage* imgAzul;
    TImage* imgVermelho;
    TImage* imgCodBarra;
    TImage* imgCodBarraOK;
    TImage* imgCinza;
    TImage* imgUncheck;
    TImage* imgCheck;
    TImage* imgDescheck;

    // --- filter panel
    TPanel* panPadrao;
    TPanel* panFiltro;
    TPanel* Panel1;
    TLabel* lblFilial;
    TMaskEdit* medCdFilial;
    TBtnPesquisa* btnFilial;
    TEdit* edtNmFilial;
    TPanel* Panel2;
    TGroupBox* GroupBox1;
    TLabel* Label1;
    TDateEditPlus* depInicial;
    TLabel* Label2;
    TDateEditPlus* depFinal;
    TGroupBox* GroupBox2;
    TLabel* Label3;
    TDateEditPlus* depSaidaInicial;
    TLabel* Label4;
    TDateEditPlus* depSaidaFim;
    TPanel* Panel3;
    TGroupBox* GroupBox3;
    TLabel* lblExpedicao;
    TMaskEdit* medNrExpedicao;
    TBtnPesquisa* btnNrExpedicao;
    TLabel* Label5;
    TMaskEdit* medNrPedido;
    TBtnPesquisa* btnNrPedido;

    // --- grids
    TPanel* panGrid;
    TDBGrid* dbgNotaFiscal;
    TSplitter* Splitter1;
    TDBGrid* dbgItemProduto;
    TSplitter* Splitter2;
    TDBGrid* dbgIUMProd;

    // --- server connections and the second catalogue
    TNetConnection* netConfRastr;
    TNetConnection* netEstoque;
    TMessages* msgMensagensPadroes;

    // --- branch query
    TADOIBQuery* qryFilial;
    TADOIBStringField* qryFilialCDFILIAL;
    TADOIBStringField* qryFilialNMFILIAL;
    TDataSource* dtsFilial;

    // --- invoices
    TClientDataSet* cdsNotaFiscal;
    TStringField* cdsNotaFiscalCDFILIAL;
    TStringField* cdsNotaFiscalNREXPEDICAO;
    TStringField* cdsNotaFiscalNRLANCTONF;
    TDateTimeField* cdsNotaFiscalDTENTRSAID;
    TStringField* cdsNotaFiscalCDCLIENTE;
    TStringField* cdsNotaFiscalNMRAZSOCCLIE;
    TStringField* cdsNotaFiscalNMFANTCLIE;
    TStringField* cdsNotaFiscalNMFILIAL;
    TStringField* cdsNotaFiscalNRINSJURCLIE;
    TStringField* cdsNotaFiscalIDTPIJURCLIE;
    TStringField* cdsNotaFiscalCDFILIEMIT;
    TStringField* cdsNotaFiscalCDTIPOOPER;
    TStringField* cdsNotaFiscalIDENTRSAIDOP;
    TStringField* cdsNotaFiscalIDSITSEPNF;
    TFloatField* cdsNotaFiscalQTVOLNF;
    TDataSource* dtsNotaFiscal;

    // --- items
    TClientDataSet* cdsItemProduto;
    TStringField* cdsItemProdutoCDFILIAL;
    TStringField* cdsItemProdutoNREXPEDICAO;
    TStringField* cdsItemProdutoNRLANCTONF;
    TStringField* cdsItemProdutoCDPRODUTO;
    TStringField* cdsItemProdutoCDARVPROD;
    TStringField* cdsItemProdutoNMPRODUTO;
    TStringField* cdsItemProdutoSGUNIDADE;
    TFloatField* cdsItemProdutoQTITEMPROD;
    TFloatField* cdsItemProdutoQTRESPRODPED;
    TStringField* cdsItemProdutoIDSTATUSSEPSNCM;
    TStringField* cdsItemProdutoIDCOLETA;
    TStringField* cdsItemProdutoNRITEMPED;
    TDataSource* dtsItemProduto;

    // --- IUM readings
    TClientDataSet* cdsIUMProd;
    TStringField* cdsIUMProdCDFILIAL;
    TStringField* cdsIUMProdNREXPEDICAO;
    TStringField* cdsIUMProdNRLANCTONF;
    TStringField* cdsIUMProdCDALMOXARIFE;
    TStringField* cdsIUMProdCDLOCALESTOQ;
    TStringField* cdsIUMProdNRLOTEESTQ;
    TStringField* cdsIUMProdNRSUBLOTE;
    TStringField* cdsIUMProdCDIUMPROD;
    TDateTimeField* cdsIUMProdDTVALILOTE;
    TStringField* cdsIUMProdDSALMOXARIFE;
    TStringField* cdsIUMProdDSLOCALESTOQ;
    TStringField* cdsIUMProdCDPRODUTO;
    TDataSource* dtsIUMProd;

    // --- working copy of the items for the confirmation check
    TClientDataSet* cdsItemProdCheck;
    TStringField* cdsItemProdCheckNRITEMPED;
    TStringField* cdsItemProdCheckIDSTATUSSEPSNCM;
    TStringField* cdsItemProdCheckCDFILIAL;
    TStringField* cdsItemProdCheckNREXPEDICAO;
    TStringField* cdsItemProdCheckNRLANCTONF;
    TStringField* cdsItemProdCheckCDPRODUTO;
    TStringField* cdsItemProdCheckCDARVPROD;
    TStringField* cdsItemProdCheckNMPRODUTO;
    TStringField* cdsItemProdCheckSGUNIDADE;
    TFloatField* cdsItemProdCheckQTITEMPROD;
    TFloatField* cdsItemProdCheckQTRESPRODPED;
    TStringField* cdsItemProdCheckIDCOLETA;

    // --- lookup lists
    TClientDataSet* cdsNrExpedicao;
    TStringField* cdsNrExpedicaoCDFILIAL;
    TStringField* cdsNrExpedicaoNREXPEDICAO;
    TDateTimeField* cdsNrExpedicaoDTEXPEDICAO;
    TStringField* cdsNrExpedicaoIDSTATUSSEP;
    TDataSource* dtsNrExpedicao;
    TClientDataSet* cdsNrPedido;
    TStringField* cdsNrPedidoNRPEDIDO;
    TStringField* cdsNrPedidoCDFILIAL;
    TDataSource* dtsNrPedido;

    // --- carried by the composition, used by no operation of this screen
    TClientDataSet* cdsValidacoesIUM;
    TStringField* cdsValidacoesIUMIDERRO;
    TStringField* cdsValidacoesIUMDSDETALHE;
    TStringField* cdsValidacoesIUMNRSEQITPROD;
    TStringField* cdsValidacoesIUMCDFILIAL;
    TStringField* cdsValidacoesIUMNRLANCTONF;

    // --- life cycle (Lifecycle.cpp)
    void FormCreate(TObject* Sender) override;
    void FormActivate(TObject* Sender);
    void FormClose(TObject* Sender, TCloseAction& Action) override;
    void FormKeyDown(TObject* Sender, TKey& Key, TShiftState Shift) override;
    void netConfRastrBeforeConnect(TObject* Sender);
    void netEstoqueBeforeConnect(TObject* Sender);

    // --- tool bar (Toolbar.cpp)
    void dtsNotaFiscalStateChange(TObject* Sender);
    void panFiltroEnter(TObject* Sender);
    void dbgNotaFiscalEnter(TObject* Sender);
    void dbgItemProdutoEnter(TObject* Sender);
    void dbgIUMProdEnter(TObject* Sender);
    void sbtProcurarClick(TObject* Sender);

    // --- branch (filter/BranchSelection.cpp)
    void medCdFilialChange(TObject* Sender);
    void medCdFilialExit(TObject* Sender);
    void btnFilialBeforePesq(TObject* Sender, bool& Continue);
    void btnFilialAfterPesq(TObject* Sender);

    // --- expedition and order (filter/NumberLookup.cpp)
    void medNrExpedicaoExit(TObject* Sender);
    void btnNrExpedicaoBeforePesq(TObject* Sender, bool& Continue);
    void btnNrExpedicaoAfterPesq(TObject* Sender);
    void medNrPedidoExit(TObject* Sender);
    void btnNrPedidoBeforePesq(TObject* Sender, bool& Continue);
    void btnNrPedidoAfterPesq(TObject* Sender);

    // --- work list (worklist/)
    void panFiltroExit(TObject* Sender);
    void cdsNotaFiscalAfterScroll(TDataSet* DataSet);
    void cdsItemProdutoAfterScroll(TDataSet* DataSet);
    void dbgNotaFiscalDrawColumnCell(TObject* Sender, const TRect& Rect, int DataCol, TColumn* Column,
                                     TGridDrawState State);
    void dbgIUMProdDrawColumnCell(TObject* Sender, const TRect& Rect, int DataCol, TColumn* Column,
                                  TGridDrawState State);
    void cdsNotaFiscalNRINSJURCLIEGetText(TField* Sender, QString& Text, bool DisplayText);
    void cdsNrExpedicaoIDSTATUSSEPGetText(TField* Sender, QString& Text, bool DisplayText);
    void cdsIUMProdCDIUMPRODGetText(TField* Sender, QString& Text, bool DisplayText);

    // --- check actions (actions/)
    void dbgNotaFiscalDblClick(TObject* Sender);
    void dbgNotaFiscalExit(TObject* Sender);
    void sbtVerificarClick(TObject* Sender);
    void sbtExcluirClick(TObject* Sender);
    void cdsIUMProdAfterDelete(TDataSet* DataSet);
    void sbtConfirmaClick(TObject* Sender);

private:
    // Construction, one part each.
    void CreateToolBar();
    void CreatePictures();
    void CreateFilterPanel();
    void CreateGrids();
    void CreateDataSets();
    void CreateBranchQuery();
    void CreateConnections();
    void FillCatalogues();
    void WireEvents();
    static void FitCaption(TLabel* label);
    // Shows or hides the grid column bound to `fieldName`.
    void SetColumnVisible(TDBGrid* grid, const QString& fieldName, bool visible);

    // Tool-button states.
    void Botoes();
    // Checks of the filter. The load runs them in order; the filter's tests
    // run each one by itself through TFilterChecks.
    friend class TFilterChecks;
    void Vd_Filial();
    void Vd_NrExpedicao();
    void Vd_NrPedido();
    void vd_datas();
    // Whether the current invoice may be confirmed.
    void habilitaConfirma();
    // GetDados with the branch, the two filter members by reference and the
    // four dates; its three packets, checked whole first, go into the
    // invoice, item and reading data sets, in that order.
    void LoadWorkList();

    // Changes by others (worklist/ChangeNotices.cpp). The work list stays
    // as loaded; the host's status bar counts its invoices that other
    // stations changed since the load and each such row carries a mark.
    // FollowChanges starts the count anew after a load; the host's notice
    // channel (netconn/NoticeChannel.h), when there is one, brings them.
    // ForgetChanges drops the count and its status line when the list it
    // counts is closed; until the next load a notice counts nothing.
    void FollowChanges();
    void ForgetChanges();
    void StopFollowingChanges();
    void ChangeHeard(const Rpc::TNotice& notice);
    void ShowChanges();

    // Reads the members below for the screen's tests.
    friend class TScreenMembers;

    QSet<QString> invoicesLoaded_;   // NRLANCTONF of the work list as loaded
    QSet<QString> invoicesChanged_;  // those changed by others since
    bool changesMissed_ = false;     // notices were lost since the load
    int changeListener_ = 0;         // the notice channel's listener; 0 none

    bool boPrimeiraAtivacao = false;
    QString sNrExpedicaoFiltro;
    QString sNrPedidoFiltro;
    QString sNrLanctoAtual;
};

// The single instance and whether it exists (unit Cli_exp13000).
extern TfrmConfSepExp* frmConfSepExp;
extern bool boIdCriado;

namespace Cli_exp13000 {
// Creates the screen once, or brings the existing one back in normal state.
void CriaTela();
} // namespace Cli_exp13000
