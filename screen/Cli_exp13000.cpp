// The screen's construction and its event wiring, and the unit's entry
// CriaTela with the single-instance globals.
#include "Cli_exp13000.h"

#include "ComponentFactory.h"
#include "Glyphs.h"
#include "framework/Consiste.h"
#include "rtl/Exceptions.h"
#include "ui/Application.h"
#include "ui/Screen.h"

#include <QFontMetrics>

TfrmConfSepExp* frmConfSepExp = nullptr;
bool boIdCriado = false;

TfrmConfSepExp::TfrmConfSepExp(TComponent* owner) : TfrmRotiGeral(owner)
{
    SetName(QStringLiteral("frmConfSepExp"));
    SetFormStyle(TFormStyle::fsMDIChild);
    SetCaption(QStringLiteral("Conferência de Separação da Rastreabilidade"));
    SetBorderIcons(TBorderIcon::biSystemMenu | TBorderIcon::biMinimize | TBorderIcon::biMaximize);
    SetClientWidth(1196);
    SetClientHeight(624);
    HostWindow()->setWindowIcon(QIcon(QPixmap::fromImage(MakePicture(PictureKind::BarCode).Image())));
    lblCodTela->SetCaption(QStringLiteral("EXP13000"));
    lblCodTela->SetAutoSize(false);
    lblCodTela->SetWidth(51);
    FitCaption(lblCodTela);

    CreateToolBar();
    CreatePictures();
    CreateFilterPanel();
    CreateGrids();
    CreateDataSets();
    CreateBranchQuery();
    CreateConnections();
    FillCatalogues();
    WireEvents();
    sbtConfirma->SetEnabled(false);
}

void TfrmConfSepExp::CreateConnections()
{
    netConfRastr = Make<TNetConnection>(this, "netConfRastr");
    netConfRastr->SetServerName(QStringLiteral("exp13000.rdmConfRastr"));
    netConfRastr->SetServerGUID(QStringLiteral("{A6EFEC57-5263-4980-A6D9-9FC09FF4622A}"));
    netConfRastr->SetThrowException(false);
    netEstoque = Make<TNetConnection>(this, "netEstoque");
    netEstoque->SetServerName(QStringLiteral("Est00000.rdmEstoque"));
    netEstoque->SetThrowException(false);
}

void TfrmConfSepExp::WireEvents()
{
    OnActivate = closure(this, &TfrmConfSepExp::FormActivate);
    OnKeyPress = nullptr;  // keys reach the focused control as typed

    panFiltro->OnEnter = closure(this, &TfrmConfSepExp::panFiltroEnter);
    panFiltro->OnExit = closure(this, &TfrmConfSepExp::panFiltroExit);
    medCdFilial->OnChange = closure(this, &TfrmConfSepExp::medCdFilialChange);
    medCdFilial->OnExit = closure(this, &TfrmConfSepExp::medCdFilialExit);
    medNrExpedicao->OnExit = closure(this, &TfrmConfSepExp::medNrExpedicaoExit);
    medNrPedido->OnExit = closure(this, &TfrmConfSepExp::medNrPedidoExit);

    const struct {
        TBtnPesquisa* button;
        TCustomEdit* edit;
        const char* title;
        TDataSource* source;
        const char* emptyError;
        TBeforePesqEvent before;
        TNotifyEvent after;
    } lookups[] = {
        {btnFilial, medCdFilial, "Filial", dtsFilial, "Não há filial cadastrada.",
         closure(this, &TfrmConfSepExp::btnFilialBeforePesq), closure(this, &TfrmConfSepExp::btnFilialAfterPesq)},
        {btnNrExpedicao, medNrExpedicao, "Expedição", dtsNrExpedicao, "Não há expedição cadastrado",
         closure(this, &TfrmConfSepExp::btnNrExpedicaoBeforePesq),
         closure(this, &TfrmConfSepExp::btnNrExpedicaoAfterPesq)},
        {btnNrPedido, medNrPedido, "Expedição", dtsNrPedido, "Não há pedido cadastrado",
         closure(this, &TfrmConfSepExp::btnNrPedidoBeforePesq), closure(this, &TfrmConfSepExp::btnNrPedidoAfterPesq)},
    };
    for (const auto& l : lookups) {
        l.button->SetAssociate(l.edit);
        l.button->SetTitle(QString::fromUtf8(l.title));
        l.button->SetDataSource(l.source);
        l.button->SetEmptyError(QString::fromUtf8(l.emptyError));
        l.button->OnBeforePesq = l.before;
        l.button->OnAfterPesq = l.after;
    }

    dbgNotaFiscal->SetDataSource(dtsNotaFiscal);
    dbgItemProduto->SetDataSource(dtsItemProduto);
    dbgIUMProd->SetDataSource(dtsIUMProd);
    dbgNotaFiscal->OnDrawColumnCell = closure(this, &TfrmConfSepExp::dbgNotaFiscalDrawColumnCell);
    dbgNotaFiscal->OnDblClick = closure(this, &TfrmConfSepExp::dbgNotaFiscalDblClick);
    dbgNotaFiscal->OnEnter = closure(this, &TfrmConfSepExp::dbgNotaFiscalEnter);
    dbgNotaFiscal->OnExit = closure(this, &TfrmConfSepExp::dbgNotaFiscalExit);
    dbgItemProduto->OnEnter = closure(this, &TfrmConfSepExp::dbgItemProdutoEnter);
    dbgIUMProd->OnDrawColumnCell = closure(this, &TfrmConfSepExp::dbgIUMProdDrawColumnCell);
    dbgIUMProd->OnEnter = closure(this, &TfrmConfSepExp::dbgIUMProdEnter);

    sbtConfirma->OnClick = closure(this, &TfrmConfSepExp::sbtConfirmaClick);
    sbtExcluir->OnClick = closure(this, &TfrmConfSepExp::sbtExcluirClick);
    sbtProcurar->OnClick = closure(this, &TfrmConfSepExp::sbtProcurarClick);
    sbtVerificar->OnClick = closure(this, &TfrmConfSepExp::sbtVerificarClick);

    netConfRastr->BeforeConnect = closure(this, &TfrmConfSepExp::netConfRastrBeforeConnect);
    netEstoque->BeforeConnect = closure(this, &TfrmConfSepExp::netEstoqueBeforeConnect);

    cdsNotaFiscal->AfterScroll = closure(this, &TfrmConfSepExp::cdsNotaFiscalAfterScroll);
    cdsItemProduto->AfterScroll = closure(this, &TfrmConfSepExp::cdsItemProdutoAfterScroll);
    cdsItemProdCheck->AfterScroll = closure(this, &TfrmConfSepExp::cdsItemProdutoAfterScroll);
    cdsIUMProd->AfterDelete = closure(this, &TfrmConfSepExp::cdsIUMProdAfterDelete);
    cdsNotaFiscalNRINSJURCLIE->OnGetText = closure(this, &TfrmConfSepExp::cdsNotaFiscalNRINSJURCLIEGetText);
    cdsNrExpedicaoIDSTATUSSEP->OnGetText = closure(this, &TfrmConfSepExp::cdsNrExpedicaoIDSTATUSSEPGetText);
    cdsIUMProdCDIUMPROD->OnGetText = closure(this, &TfrmConfSepExp::cdsIUMProdCDIUMPRODGetText);
    dtsNotaFiscal->OnStateChange = closure(this, &TfrmConfSepExp::dtsNotaFiscalStateChange);
}

// The screen code keeps its designed width; a font that would clip it is
// made smaller until the whole code shows.
void TfrmConfSepExp::FitCaption(TLabel* label)
{
    TFont& font = label->Font();
    while (font.Size() > 6 && QFontMetrics(font.ToQFont()).horizontalAdvance(label->Caption()) > label->Width())
        font.SetSize(font.Size() - 1);
}

void TfrmConfSepExp::SetColumnVisible(TDBGrid* grid, const QString& fieldName, bool visible)
{
    const int index = Consiste::IndiceCol(grid, fieldName);
    if (index < 0)
        throw Exception(QStringLiteral("%1: não há coluna para o campo %2.").arg(grid->Name(), fieldName));
    grid->Columns().Items(index)->SetVisible(visible);
}

namespace Cli_exp13000 {

void CriaTela()
{
    Screen->SetCursor(crHourGlass);
    try {
        if (!boIdCriado) {
            Application->CreateForm(frmConfSepExp);
            boIdCriado = true;
        }
        frmConfSepExp->SetWindowState(TWindowState::wsNormal);
        frmConfSepExp->Show();
    } catch (...) {
        Screen->SetCursor(crDefault);
        throw;
    }
    Screen->SetCursor(crDefault);
}

} // namespace Cli_exp13000
