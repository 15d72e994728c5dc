// appserver --health, as a site's tools call it: yes (exit 0) from a server
// that reaches its database and may write there, leaving nothing behind; no
// (exit 1) when no server answers; a bad address is a bad command line.
// (No while the database itself is stopped: tests/peer/failover.py.)
#include "ServerSession.h"

#include <gtest/gtest.h>

namespace {

TEST(Health, AServerThatWritesSaysYesAndOneThatIsGoneNo)
{
    TAppServerProcess server;
    const QString address = QStringLiteral("127.0.0.1:%1").arg(server.Port());
    QString output;
    EXPECT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--health"), address}, &output), 0) << output.toStdString();
    EXPECT_EQ(output, QStringLiteral("appserver: %1: sim: O servidor de aplicação alcança o banco de dados e pode gravar "
                                     "nele.\n")
                          .arg(address));
    EXPECT_EQ(TDbView(server).Count(QStringLiteral("REQUISICAO")), 0) << "the probe is rolled back";

    server.Stop();
    EXPECT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--health"), address}, &output), 1);
    EXPECT_TRUE(output.startsWith(QStringLiteral("appserver: %1: não: Não foi possível conectar").arg(address)))
        << output.toStdString();

    EXPECT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--health"), QStringLiteral("servidor")}, &output), 2);
    EXPECT_TRUE(output.contains(QStringLiteral("Endereço inválido em --health: servidor"))) << output.toStdString();
}

} // namespace
