// The outbox of traceability events with the real server, on SQLite and on
// PostgreSQL: a confirmation's event written once as a document epcis2.js
// accepts, also when the server dies between the commit and the file, when
// two servers share the database, and after a folder that could not be
// written becomes writable (epcis/Outbox.h, its promises).
#include "EpcisValidator.h"
#include "ServerData.h"
#include "ServerSession.h"
#include "epcis/Outbox.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <gtest/gtest.h>

namespace {

const QString branch = QStringLiteral("0001");
const QString prefix = QStringLiteral("https://rastreio.example.com.br/");

QStringList OutboxArgs(const QString& folder)
{
    return {QStringLiteral("--epcis-outbox"), folder, QStringLiteral("--epcis-prefix"), prefix};
}

// Waits up to 20 s for `folder` to hold `count` documents.
QStringList Documents(const QString& folder, int count)
{
    const QDeadlineTimer deadline(20000);
    QStringList files;
    do {
        files = QDir(folder).entryList({QStringLiteral("*.jsonld")}, QDir::Files, QDir::Name);
        if (files.size() >= count)
            break;
        QThread::msleep(50);
    } while (!deadline.hasExpired());
    return files;
}

QJsonObject Event(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll())[QStringLiteral("epcisBody")][QStringLiteral("eventList")][0].toObject();
}

// The invoice's readings as Digital Link URIs, as the database holds them.
QSet<QString> Readings(const TDbView& db, const QString& invoice)
{
    QSet<QString> uris;
    for (const QVariantList& row : db.Rows(QStringLiteral("SELECT CDGTIN, NRSERIE FROM LEITURAIUM WHERE CDFILIAL = ? AND NRLANCTONF = ?"),
                                           {branch, invoice}))
        uris.insert(QStringLiteral("https://id.gs1.org/01/%1/21/%2").arg(row[0].toString().rightJustified(14, u'0'),
                                                                          row[1].toString()));
    return uris;
}

QSet<QString> EpcList(const QJsonObject& event)
{
    QSet<QString> epcs;
    for (const QJsonValue& epc : event[QStringLiteral("epcList")].toArray())
        epcs.insert(epc.toString());
    return epcs;
}

class EpcisOutbox : public ::testing::Test {
public:
    void SetUp() override
    {
        ASSERT_TRUE(outbox.isValid());
    }
    // A server of the database of `first` (or a new one) writing into the outbox.
    std::unique_ptr<TAppServerProcess> Server(const QStringList& environment = {}, const TAppServerProcess* first = nullptr)
    {
        TAppServerProcess::TOptions options;
        options.ExtraArgs = OutboxArgs(outbox.path());
        options.Environment = environment;
        if (first)
            options.Database = first->DatabasePath();
        auto server = std::make_unique<TAppServerProcess>(options);
        return server;
    }
    QStringList Ready(const TAppServerProcess& server)
    {
        TDatabase data(TDbConfig{server.DatabasePath()});
        QStringList ready, notReady;
        SplitInvoices(data, branch, ready, notReady);
        return ready;
    }
    static QVariant Confirm(TNetConnection& net, const QString& invoice)
    {
        return net.AppServer().Call(Remote::SetConfRastrOK, {branch, invoice});
    }

    QTemporaryDir outbox;
};

TEST_F(EpcisOutbox, AConfirmationGivesOneValidDocumentOfExactlyItsReadings)
{
    const auto server = Server();
    const QString invoice = Ready(*server).first();
    auto net = Connect(*server);
    ASSERT_EQ(Refusal(Confirm(*net, invoice)), QString());
    const QStringList files = Documents(outbox.path(), 1);
    ASSERT_EQ(files, QStringList{OutboxFileName(branch, invoice)});
    const QString path = QDir(outbox.path()).filePath(files.first());
    const TEpcisCheck check = CheckEpcisDocument(path);
    EXPECT_TRUE(check.Valid) << check.Errors.join(u'\n').toStdString();
    ASSERT_EQ(check.Events.size(), 1);
    EXPECT_EQ(check.Events[0].EventId, check.Events[0].Hash) << "epcis2.js computes another event hash";
    const QJsonObject event = Event(path);
    TDbView db(*server);
    EXPECT_EQ(EpcList(event), Readings(db, invoice));
    EXPECT_EQ(event[QStringLiteral("bizStep")].toString(), QStringLiteral("shipping"));
    EXPECT_EQ(event[QStringLiteral("disposition")].toString(), QStringLiteral("in_transit"));
    EXPECT_EQ(db.Value(QStringLiteral("SELECT COUNT(*) FROM EPCISSAIDA WHERE DTGRAVACAO IS NULL")).toInt(), 0);

    // The same invoice exported on demand: the same event identity.
    const QString exported = outbox.filePath(QStringLiteral("export.json"));
    QString output;
    ASSERT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--export-epcis"), exported, QStringLiteral("--branch"), branch,
                                          QStringLiteral("--invoice"), invoice, QStringLiteral("--epcis-prefix"), prefix,
                                          QStringLiteral("--database"), server->DatabasePath()},
                                         &output),
              0)
        << output.toStdString();
    EXPECT_EQ(Event(exported)[QStringLiteral("eventID")], event[QStringLiteral("eventID")]);
}

TEST_F(EpcisOutbox, KilledBetweenCommitAndFileTheEventIsWrittenOnceAfterRestart)
{
    auto dying = Server({QStringLiteral("EXP13000_TEST_KILL_AFTER_COMMIT=1")});
    const QString invoice = Ready(*dying).first();
    {
        auto net = Connect(*dying);
        EXPECT_THROW(Confirm(*net, invoice), Exception);  // the reply never comes
    }
    dying->Kill();
    TDbView db(*dying);
    ASSERT_EQ(db.Value(QStringLiteral("SELECT IDCONFRASTR FROM NOTAFISCAL WHERE CDFILIAL = ? AND NRLANCTONF = ?"),
                       {branch, invoice})
                  .toString(),
              QStringLiteral("S"));
    EXPECT_TRUE(QDir(outbox.path()).entryList({QStringLiteral("*.jsonld")}, QDir::Files).isEmpty());
    const auto again = Server({}, dying.get());
    EXPECT_EQ(Documents(outbox.path(), 1), QStringList{OutboxFileName(branch, invoice)});
    QThread::msleep(3 * TOutboxWriter::IntervalMs);  // turns that must write nothing more
    EXPECT_EQ(QDir(outbox.path()).entryList(QDir::Files).size(), 1) << "a temporary file or a second document";
    EXPECT_EQ(db.Value(QStringLiteral("SELECT COUNT(*) FROM EPCISSAIDA WHERE DTGRAVACAO IS NOT NULL")).toInt(), 1);
}

TEST_F(EpcisOutbox, AnUnwritableFolderLetsTheConfirmationSucceedAndTheEventWait)
{
    // A file where the folder should be: no one can write in it, root included.
    const QString folder = outbox.filePath(QStringLiteral("saida"));
    {
        QFile blocker(folder);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    TAppServerProcess::TOptions options;
    options.ExtraArgs = OutboxArgs(folder);
    TAppServerProcess server(options);
    const QString invoice = Ready(server).first();
    auto net = Connect(server);
    EXPECT_EQ(Refusal(Confirm(*net, invoice)), QString());
    TDbView db(server);
    const QDeadlineTimer deadline(20000);
    while (!server.Log().contains(QStringLiteral("epcis: o evento da nota fiscal %1 da filial %2 aguarda: ").arg(invoice, branch))
           && !deadline.hasExpired())
        QThread::msleep(50);
    EXPECT_TRUE(server.Log().contains(QStringLiteral("não foi possível criar o arquivo"))) << server.Log().toStdString();
    EXPECT_EQ(db.Value(QStringLiteral("SELECT COUNT(*) FROM EPCISSAIDA WHERE DTGRAVACAO IS NULL AND DSERRO IS NOT NULL")).toInt(), 1);
    ASSERT_TRUE(QFile::remove(folder));
    ASSERT_TRUE(QDir().mkpath(folder));
    EXPECT_EQ(Documents(folder, 1), QStringList{OutboxFileName(branch, invoice)});
}

TEST_F(EpcisOutbox, TwoServersOnOneDatabaseWriteEachEventOnce)
{
    const auto first = Server();
    if (!first->Postgres())
        GTEST_SKIP() << "SQLite has one server per database";
    const auto second = Server({}, first.get());
    const QStringList ready = Ready(*first);
    ASSERT_GE(ready.size(), 6);
    auto a = Connect(*first);
    auto b = Connect(*second);
    for (int i = 0; i < 6; ++i)
        ASSERT_EQ(Refusal(Confirm(i % 2 ? *a : *b, ready[i])), QString());
    EXPECT_EQ(Documents(outbox.path(), 6).size(), 6);
    QThread::msleep(3 * TOutboxWriter::IntervalMs);
    EXPECT_EQ(QDir(outbox.path()).entryList(QDir::Files).size(), 6);
    TDbView db(*first);
    EXPECT_EQ(db.Value(QStringLiteral("SELECT COUNT(*) FROM EPCISSAIDA WHERE DTGRAVACAO IS NOT NULL")).toInt(), 6);
}

struct TExportCase {
    const char* Name;
    QStringList Arguments;  // after --export-epcis FILE --database DB
    int Code;
    const char* Says;
};

class EpcisExport : public ::testing::TestWithParam<TExportCase> {};

TEST_P(EpcisExport, ARangeThatCannotBeWrittenIsSaidAndLeavesTheFileAlone)
{
    static const TAppServerProcess server;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("eventos.jsonld"));
    {
        QFile before(file);
        ASSERT_TRUE(before.open(QIODevice::WriteOnly));
        before.write("antes");
    }
    QString output;
    EXPECT_EQ(TAppServerProcess::RunOnce(QStringList{QStringLiteral("--export-epcis"), file, QStringLiteral("--database"),
                                                     server.DatabasePath()}
                                             + GetParam().Arguments,
                                         &output),
              GetParam().Code);
    EXPECT_TRUE(output.contains(QString::fromUtf8(GetParam().Says))) << output.toStdString();
    QFile after(file);
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), QByteArray("antes"));
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, EpcisExport,
    testing::Values(
        TExportCase{"NothingInTheRange",
                    {QStringLiteral("--branch"), branch, QStringLiteral("--from"), QStringLiteral("01/01/2001"),
                     QStringLiteral("--to"), QStringLiteral("2001-01-31"), QStringLiteral("--epcis-prefix"), prefix},
                    1, "Não há conferências de rastreio da filial 0001 de 01/01/2001 a 31/01/2001."},
        TExportCase{"BranchWithoutGlnNorPrefix", {QStringLiteral("--branch"), branch}, 1,
                    "não tem GLN e o servidor não tem prefixo de identificadores (--epcis-prefix)."},
        TExportCase{"NoBranch", {}, 2, "--export-epcis exige a filial (--branch 0001)."},
        TExportCase{"BadDate", {QStringLiteral("--branch"), branch, QStringLiteral("--from"), QStringLiteral("31/02/2026")},
                    2, "Data inválida em --from: 31/02/2026"},
        TExportCase{"BadPrefix", {QStringLiteral("--branch"), branch, QStringLiteral("--epcis-prefix"), QStringLiteral("rastreio")},
                    2, "Prefixo inválido em --epcis-prefix: rastreio"}),
    [](const testing::TestParamInfo<TExportCase>& info) { return std::string(info.param.Name); });

TEST_F(EpcisOutbox, AContinuationTheServerDidNotMakeIsRefused)
{
    const auto server = Server();
    auto net = Connect(*server);
    EXPECT_EQ(Refusal(net->AppServer().Call(Remote::GetEventosRastreio,
                                            {branch, TDateTime(), TDateTime(), QStringLiteral("X|1|2|3|4")})),
              QStringLiteral("Continuação inválida da exportação de eventos de rastreio."));
}

} // namespace
