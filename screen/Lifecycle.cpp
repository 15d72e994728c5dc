// Creation, activation, the Ctrl+Enter shortcut, close, and the two server
// connections.
#include "Cli_exp13000.h"

#include "framework/Consiste.h"
#include "framework/Varneth.h"
#include "netconn/Lib00200.h"

void TfrmConfSepExp::FormCreate(TObject* Sender)
{
    TfrmRotiGeral::FormCreate(Sender);
    netConfRastr->SetConnected(true);
    netEstoque->SetConnected(true);
    boPrimeiraAtivacao = true;
    cdsItemProdutoCDARVPROD->SetEditMask(Varneth::DBPict(0));
    // The branch edit is still empty here: the questions are asked for no
    // branch, and each load asks them again for the branch chosen.
    SetColumnVisible(dbgIUMProd, QStringLiteral("CDALMOXARIFE"),
                     Lib00200::Utiliza_Almoxarifado(netEstoque, medCdFilial->Text()));
    SetColumnVisible(dbgIUMProd, QStringLiteral("CDLOCALESTOQ"),
                     Lib00200::Utiliza_LocalEstoque(netEstoque, medCdFilial->Text()));
    cdsIUMProdCDALMOXARIFE->SetVisible(Lib00200::Utiliza_Almoxarifado(netEstoque, medCdFilial->Text()));
    cdsIUMProdCDLOCALESTOQ->SetVisible(Lib00200::Utiliza_LocalEstoque(netEstoque, medCdFilial->Text()));
}

void TfrmConfSepExp::netConfRastrBeforeConnect(TObject*)
{
    netConfRastr->SetHost(Varneth::WebURL());
    netConfRastr->SetPort(Varneth::WebPort());
}

void TfrmConfSepExp::netEstoqueBeforeConnect(TObject*)
{
    netEstoque->SetHost(Varneth::WebURL());
    netEstoque->SetPort(Varneth::WebPort());
}

void TfrmConfSepExp::FormActivate(TObject*)
{
    Repaint();
    if (!boPrimeiraAtivacao)
        return;
    medCdFilial->SetText(Varneth::FiliProc());  // runs medCdFilialChange
    edtNmFilial->SetText(Varneth::NomeFiliProc());
    lblFilial->SetEnabled(!Varneth::ModuFili());
    medCdFilial->SetEnabled(!Varneth::ModuFili());
    btnFilial->SetEnabled(!Varneth::ModuFili());
    if (Varneth::ModuFili())
        medNrExpedicao->SetFocus();
    else
        medCdFilial->SetFocus();
    boPrimeiraAtivacao = false;
}

void TfrmConfSepExp::FormKeyDown(TObject*, TKey& Key, TShiftState Shift)
{
    if (Key == Keys::Return && Shift.testFlag(TShiftFlag::ssCtrl)) {
        Key = 0;
        sbtConfirmar->Click();
    }
}

void TfrmConfSepExp::FormClose(TObject* Sender, TCloseAction& Action)
{
    boIdCriado = false;
    StopFollowingChanges();
    netEstoque->Close();
    netConfRastr->Close();
    TfrmRotiGeral::FormClose(Sender, Action);
}
