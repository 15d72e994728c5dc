// appserver --health, as a site's tools call it: yes (exit 0) from a server
// whose commit of the heartbeat completed within the bound, no (exit 1) when
// that commit waited longer or no server answers; a bad address is a bad
// command line. (No while the database itself is stopped, or while commits
// wait for a synchronous standby that is gone: tests/peer/failover.py.)
#include "ServerSession.h"
#include "storage/Database.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <thread>

namespace {

// The bound the health check states for its commit.
constexpr int boundMs = 2000;

TEST(Health, AServerThatCommitsSaysYesAndOneThatIsGoneNo)
{
    TAppServerProcess server;
    const QString address = QStringLiteral("127.0.0.1:%1").arg(server.Port());
    const TDbView db(server);
    const QVariant before = db.Value(QStringLiteral("SELECT DTBATIMENTO FROM BATIMENTO"));
    QString output;
    EXPECT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--health"), address}, &output), 0) << output.toStdString();
    const QRegularExpression yes(QStringLiteral("^appserver: %1: sim: O servidor de aplicação alcança o banco de dados e "
                                                "grava nele: um commit completou em \\d+ ms \\(limite: 2000 ms\\)\\.\n$")
                                     .arg(QRegularExpression::escape(address)));
    EXPECT_TRUE(yes.match(output).hasMatch()) << output.toStdString();
    EXPECT_EQ(db.Count(QStringLiteral("BATIMENTO")), 1);
    EXPECT_NE(db.Value(QStringLiteral("SELECT DTBATIMENTO FROM BATIMENTO")), before) << "the heartbeat was committed";
    EXPECT_EQ(db.Count(QStringLiteral("REQUISICAO")), 0);

    server.Stop();
    EXPECT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--health"), address}, &output), 1);
    EXPECT_TRUE(output.startsWith(QStringLiteral("appserver: %1: não: Não foi possível conectar").arg(address)))
        << output.toStdString();

    EXPECT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--health"), QStringLiteral("servidor")}, &output), 2);
    EXPECT_TRUE(output.contains(QStringLiteral("Endereço inválido em --health: servidor"))) << output.toStdString();
}

// A commit that waits (here for another transaction holding the heartbeat
// row, as it would for a standby or a stalled disk) answers no once it took
// longer than the bound, though the write itself went through in the end;
// and yes again once commits complete.
TEST(Health, ACommitThatWaitsPastTheBoundSaysNo)
{
    TAppServerProcess server;
    const QString address = QStringLiteral("127.0.0.1:%1").arg(server.Port());
    std::atomic<bool> holding{false};
    std::thread holder([&] {
        TDatabase db(TDbConfig{server.DatabasePath()});
        TScopedTransaction hold(db, TScopedTransaction::TKind::Write);
        db.Execute(QStringLiteral("UPDATE BATIMENTO SET DTBATIMENTO = DTBATIMENTO"));
        holding = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(boundMs + 1000));
        hold.Commit();
    });
    while (!holding)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    QString output;
    const int code = TAppServerProcess::RunOnce({QStringLiteral("--health"), address}, &output);
    holder.join();
    EXPECT_EQ(code, 1) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("não: O servidor de aplicação grava no banco de dados, mas um commit "
                                               "levou")))
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("acima do limite de 2000 ms: os commits estão esperando")))
        << output.toStdString();

    EXPECT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--health"), address}, &output), 0) << output.toStdString();
}

} // namespace
