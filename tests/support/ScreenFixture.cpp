#include "ScreenFixture.h"

#include "PacketRows.h"

#include "rpc/Envelope.h"
#include "server/PacketLayouts.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

const QList<QPair<QString, QString>> ScreenTest::Branches = {
    {"0001", "MATRIZ PORTO ALEGRE"}, {"0002", "FILIAL CAXIAS DO SUL"}, {"0012", "FILIAL PELOTAS"}};

namespace {

// Writes table FILIAL with `branches` into a new SQLite file at `path`.
void WriteBranchDatabase(const QString& path, const QList<QPair<QString, QString>>& branches)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("screen-test-setup"));
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        QSqlQuery q(db);
        ASSERT_TRUE(q.exec("CREATE TABLE FILIAL (CDFILIAL VARCHAR(4) NOT NULL PRIMARY KEY, NMFILIAL VARCHAR(30))"));
        ASSERT_TRUE(q.prepare("INSERT INTO FILIAL VALUES (?, ?)"));
        for (const auto& [code, name] : branches) {
            q.bindValue(0, code);
            q.bindValue(1, name);
            ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("screen-test-setup"));
}

} // namespace

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
    ASSERT_TRUE(databaseDir.isValid());
    const QString path = databaseDir.filePath(QStringLiteral("host.sqlite"));
    WriteBranchDatabase(path, Branches);
    Varneth::SetDatabasePath(path);
    database = std::make_unique<TdtmDBGeral>();
    database->Open();

    server.OnCall = [this](const Rpc::TCall& call) -> std::optional<Rpc::TMessage> {
        if (call.Method == Remote::UtilizaAlmoxarifado)
            return Rpc::TResult{call.Id, usesWarehouses, {}};
        if (call.Method == Remote::UtilizaLocalEstoque)
            return Rpc::TResult{call.Id, usesLocations, {}};
        if (auto answer = AnswerWorkList(call))
            return answer;
        return Rpc::TResult{call.Id, Rpc::Success(), {}};
    };
    boIdCriado = false;
}

std::optional<Rpc::TMessage> ScreenTest::AnswerWorkList(const Rpc::TCall& call) const
{
    if (call.Method == Remote::GetDados) {
        const QVariantList refs = writeBack.isEmpty() ? QVariantList{call.Args.value(1), call.Args.value(2)}
                                                      : QVariantList{writeBack.value(0), writeBack.value(1)};
        if (getDadosFails)
            return Rpc::TResult{call.Id, Rpc::Failure(QStringLiteral("Banco de dados indisponível.")), refs};
        const QVariantList packets = {QVariant::fromValue(PacketOf(Layout::Invoices(), invoices)),
                                      QVariant::fromValue(PacketOf(Layout::Items(), items)),
                                      QVariant::fromValue(PacketOf(Layout::Readings(), readings))};
        return Rpc::TResult{call.Id, Rpc::Success(packets), refs};
    }
    return std::nullopt;
}

void ScreenTest::TearDown()
{
    CloseScreen();
    database.reset();
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

TfrmConfSepExp* ScreenTest::OpenFilled()
{
    TfrmConfSepExp* f = OpenScreen();
    f->depInicial->SetDate(DateTimeFromQDate(orderFrom));
    f->depFinal->SetDate(DateTimeFromQDate(orderTo));
    f->depSaidaInicial->SetDate(DateTimeFromQDate(outFrom));
    f->depSaidaFim->SetDate(DateTimeFromQDate(outTo));
    return f;
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

QList<Rpc::TCall> ScreenTest::CallsOf(const QString& method) const
{
    QList<Rpc::TCall> calls;
    for (const Rpc::TCall& call : server.Calls)
        if (call.Method == method)
            calls << call;
    return calls;
}

QStringList ScreenTest::EnabledToolButtons(TfrmConfSepExp* f)
{
    QStringList on;
    for (TButtonFlat* b : {f->sbtIncluir, f->sbtAlterar, f->sbtExcluir, f->sbtProcurar, f->sbtVerificar,
                           f->sbtCancelar, f->sbtConfirmar, f->sbtImprimir})
        if (b->Enabled())
            on << b->Name();
    return on;
}
