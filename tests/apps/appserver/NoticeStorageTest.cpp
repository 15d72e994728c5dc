// How the server's connections commit, and how the notices a change
// publishes leave them: on SQLite handed over at the commit, on PostgreSQL
// heard by a listener through NOTIFY; never for a change rolled back. Built
// for both databases like the other server tests.
#include "ServerSession.h"
#include "WaitFor.h"
#include "storage/Checkpointer.h"
#include "storage/Database.h"
#include "storage/PgListener.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>

#include <gtest/gtest.h>

namespace {

class NoticeStorage : public ::testing::Test {
public:
    static void SetUpTestSuite()
    {
        TAppServerProcess::TOptions options;
        options.Demo = false;
        server = new TAppServerProcess(options);
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }

    // The server's own configuration of a worker's connection, with the
    // notices it hands over kept in `heard`.
    TDbConfig ServerConfig()
    {
        TDbConfig config{server->DatabasePath()};
        config.BackgroundCheckpoints = std::make_shared<TWalActivity>();
        config.Notices = [this](const QByteArray& payload) { heard << payload; };
        return config;
    }

    // Runs the events until `heard` has `count` notices, for at most `ms`.
    void WaitForHeard(int count, int ms = 1000)
    {
        QDeadlineTimer deadline(ms);
        while (heard.size() < count && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }

    static inline TAppServerProcess* server = nullptr;
    QList<QByteArray> heard;
};

TEST_F(NoticeStorage, SqliteCommitsDurablyAndLeavesCheckpointsToTheCheckpointer)
{
    if (server->Postgres())
        GTEST_SKIP() << "SQLite's settings";
    TDatabase db(ServerConfig());
    TSql synchronous(db, QStringLiteral("PRAGMA synchronous"));
    synchronous.Exec();
    ASSERT_TRUE(synchronous.Next());
    EXPECT_EQ(synchronous.Number(0), 2) << "synchronous=FULL: a commit survives a power cut";
    TSql autocheckpoint(db, QStringLiteral("PRAGMA wal_autocheckpoint"));
    autocheckpoint.Exec();
    ASSERT_TRUE(autocheckpoint.Next());
    EXPECT_EQ(autocheckpoint.Number(0), 0) << "no writer checkpoints on its own";
    TSql journal(db, QStringLiteral("PRAGMA journal_mode"));
    journal.Exec();
    ASSERT_TRUE(journal.Next());
    EXPECT_EQ(journal.Text(0), QStringLiteral("wal"));
}

// Whether the SQLite file at `path` itself, its WAL ignored (immutable=1),
// holds the request `id`.
bool InTheFileItself(const QString& path, const QString& id)
{
    const QString name = QStringLiteral("immutable-") + id;
    bool found = false;
    {
        QSqlDatabase file = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        file.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_OPEN_READONLY"));
        file.setDatabaseName(QStringLiteral("file:%1?immutable=1").arg(path));
        if (file.open()) {
            QSqlQuery query(file);
            query.prepare(QStringLiteral("SELECT COUNT(*) FROM REQUISICAO WHERE IDREQUISICAO = ?"));
            query.addBindValue(id);
            found = query.exec() && query.next() && query.value(0).toInt() == 1;
        }
    }
    QSqlDatabase::removeDatabase(name);
    return found;
}

// What the server's connections commit, which leave checkpoints to the
// server's checkpointer, reaches the database file itself within a few of its
// turns. Without them the WAL would hold every change for as long as the
// server runs, growing with each.
TEST_F(NoticeStorage, TheServersCheckpointerCopiesCommitsIntoTheDatabaseFile)
{
    if (server->Postgres())
        GTEST_SKIP() << "SQLite's WAL";
    TDatabase db(ServerConfig());
    const QString id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        TScopedTransaction transaction(db, TScopedTransaction::TKind::Write);
        TSql insert(db, QStringLiteral("INSERT INTO REQUISICAO (CDUSUARIO, IDREQUISICAO, NMMETODO, DTREQUISICAO)"
                                       " VALUES ('', :IDREQUISICAO, 'teste', :DTREQUISICAO)"));
        insert.Bind(QStringLiteral(":IDREQUISICAO"), id)
            .Bind(QStringLiteral(":DTREQUISICAO"), QDateTime::currentDateTime())
            .Exec();
        transaction.Commit();
    }
    EXPECT_TRUE(WaitFor([&] { return InTheFileItself(server->DatabasePath(), id); }, 5000))
        << "the commit is still in the WAL alone";
}

TEST_F(NoticeStorage, OnlyACommittedChangeIsHeardInTheOrderOfItsNotices)
{
    TDatabase db(ServerConfig());
    std::unique_ptr<TPgListener> listener;
    if (server->Postgres()) {
        listener = std::make_unique<TPgListener>(
            server->DatabasePath(),
            TPgListener::THandlers{[this](const QByteArray& payload) { heard << payload; }, {}, [](const QString&) {}});
        listener->Start();
        ASSERT_TRUE(WaitFor([&] { return listener->Listening(); }, 10000)) << "the listener never listened";
    }
    {
        TScopedTransaction rolledBack(db, TScopedTransaction::TKind::Write);
        db.Publish("desfeita");
    }
    {
        TScopedTransaction committed(db, TScopedTransaction::TKind::Write);
        db.Publish("primeira");
        db.Publish("segunda");
        if (!server->Postgres()) {
            EXPECT_TRUE(heard.isEmpty()) << "nothing is heard before the commit";
        }
        committed.Commit();
    }
    WaitForHeard(2);
    EXPECT_EQ(heard, (QList<QByteArray>{"primeira", "segunda"}));
    WaitForHeard(3, 300);
    EXPECT_EQ(heard.size(), 2) << "the rolled-back notice never arrives";
}

} // namespace
