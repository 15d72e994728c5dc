#include "ScreenFixture.h"

#include "rpc/Envelope.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

void ScreenTest::SetUp()
{
    host = TForm::Create<TForm>(Application);
    host->SetName(QStringLiteral("frmHost"));
    host->SetFormStyle(TFormStyle::fsMDIForm);
    host->SetClientWidth(1300);
    host->SetClientHeight(760);
    Application->SetMainForm(host);
    Activate(host->Widget());

    savedSettings = Varneth::Settings();
    Varneth::SetWebURL(QStringLiteral("127.0.0.1"));
    Varneth::SetWebPort(server.Port());
    Varneth::SetFiliProc(QStringLiteral("0001"));
    Varneth::SetNomeFiliProc(QStringLiteral("Matriz Porto Alegre"));
    Varneth::SetModuFili(false);
    Varneth::SetProductMask(QStringLiteral("99.99.9999;0; "));

    server.OnCall = [this](const Rpc::TCall& call) -> std::optional<Rpc::TMessage> {
        if (call.Method == Remote::UtilizaAlmoxarifado)
            return Rpc::TResult{call.Id, usesWarehouses, {}};
        if (call.Method == Remote::UtilizaLocalEstoque)
            return Rpc::TResult{call.Id, usesLocations, {}};
        return Rpc::TResult{call.Id, Rpc::Success(), {}};
    };
    boIdCriado = false;
}

void ScreenTest::TearDown()
{
    CloseScreen();
    Varneth::SetSettings(savedSettings);
    Application->SetMainForm(nullptr);
    delete host;
}

TfrmConfSepExp* ScreenTest::OpenScreen()
{
    Cli_exp13000::CriaTela();
    Application->ProcessMessages();
    return frmConfSepExp;
}

void ScreenTest::CloseScreen()
{
    if (!boIdCriado)
        return;
    frmConfSepExp->Close();
    Application->ProcessMessages();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QStringList ScreenTest::StockQuestions() const
{
    QStringList asked;
    for (const Rpc::TCall& call : server.Calls)
        if (call.Method == Remote::UtilizaAlmoxarifado || call.Method == Remote::UtilizaLocalEstoque)
            asked << QStringLiteral("%1(%2)").arg(call.Method, call.Args.value(0).toString());
    return asked;
}
