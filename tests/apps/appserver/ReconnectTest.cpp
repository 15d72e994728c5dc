// The PostgreSQL server restarted under a running application server: a
// change whose link is lost before its commit runs again on a new
// connection and is recorded once, the server keeps running and every
// worker serves the next calls on a new connection. The restart stops the cluster every pg test shares, so these
// cases run alone (RUN_SERIAL).
#include "ServerSession.h"

#include <QDir>
#include <QFileInfo>
#include <QThread>
#include <algorithm>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const QString branch = QStringLiteral("0001");

// Restarts the cluster of scripts/with-postgres (data in PGHOST/data), as
// the user that owns it; fast mode ends every session at once.
void RestartCluster()
{
    const QString host = qEnvironmentVariable("PGHOST");
    const QString data = host + QStringLiteral("/data");
    QStringList bins = QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    std::sort(bins.begin(), bins.end(), [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
    ASSERT_FALSE(bins.isEmpty());
    const QString pgCtl = QStringLiteral("/usr/lib/postgresql/%1/bin/pg_ctl").arg(bins.last());
    QStringList command = {pgCtl, QStringLiteral("-D"), data, QStringLiteral("-l"), host + QStringLiteral("/server.log"),
                           QStringLiteral("-m"), QStringLiteral("fast"), QStringLiteral("-w"), QStringLiteral("restart")};
    const QString owner = QFileInfo(data).owner();
    if (geteuid() == 0 && owner != QLatin1String("root"))
        command = QStringList{QStringLiteral("runuser"), QStringLiteral("-u"), owner, QStringLiteral("--")} + command;
    QProcess pgctl;
    pgctl.setProcessChannelMode(QProcess::MergedChannels);
    pgctl.start(command.takeFirst(), command);
    ASSERT_TRUE(pgctl.waitForFinished(60000));
    ASSERT_EQ(pgctl.exitCode(), 0) << pgctl.readAll().toStdString();
}

TEST(Reconnect, AChangeInFlightRunsAgainOnANewConnectionAndTheNextCallsSucceed)
{
    TAppServerProcess server;  // four workers, each with its connection
    auto net = Connect(server);
    std::optional<TDbView> db(std::in_place, server);
    // Every worker opens its connection before the restart.
    for (int i = 0; i < 8; ++i)
        GetDados(*net, branch);

    const QString invoice = db->Value(QStringLiteral(
        "SELECT NF.NRLANCTONF FROM NOTAFISCAL NF WHERE NF.CDFILIAL = ? AND NF.IDCONFRASTR = 'N'"
        "   AND EXISTS (SELECT 1 FROM LEITURAIUM L WHERE L.CDFILIAL = NF.CDFILIAL AND L.NRLANCTONF = NF.NRLANCTONF)"
        " ORDER BY NF.NRLANCTONF"), {branch}).toString();
    ASSERT_FALSE(invoice.isEmpty());
    const QVariantList reading = db->Rows(QStringLiteral("SELECT CDIUMPROD FROM LEITURAIUM WHERE CDFILIAL = ? AND NRLANCTONF = ?"
                                                         " ORDER BY CDIUMPROD"), {branch, invoice}).value(0);
    TDataPacketBuilder builder({{QStringLiteral("CDFILIAL"), TFieldType::ftString, 4},
                                {QStringLiteral("NRLANCTONF"), TFieldType::ftString, 10},
                                {QStringLiteral("CDIUMPROD"), TFieldType::ftString, 100}});
    builder.AddString(branch);
    builder.AddString(invoice);
    builder.AddString(reading.value(0).toString());
    builder.EndRow();
    const TDataPacket delta = builder.Build();
    const qint64 readings = db->Count(QStringLiteral("LEITURAIUM"));
    const qint64 audits = db->Count(QStringLiteral("AUDITORIA"));

    // The deletion stops half-way, at the reading another session holds.
    const QString lockerName = QStringLiteral("locker");
    {
        QSqlDatabase locker = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), lockerName);
        const QString path = server.DatabasePath();
        locker.setDatabaseName(path.mid(path.lastIndexOf(u'/') + 1));
        ASSERT_TRUE(locker.open() && locker.transaction()) << locker.lastError().text().toStdString();
        QSqlQuery hold(locker);
        hold.prepare(QStringLiteral("SELECT 1 FROM LEITURAIUM WHERE CDFILIAL = ? AND NRLANCTONF = ? AND CDIUMPROD = ? FOR UPDATE"));
        hold.addBindValue(branch);
        hold.addBindValue(invoice);
        hold.addBindValue(reading.value(0));
        ASSERT_TRUE(hold.exec() && hold.next()) << hold.lastError().text().toStdString();
    }
    QString inFlight;
    QThread* caller = QThread::create([&] {
        auto own = Connect(server);
        try {
            inFlight = Refusal(own->AppServer().Call(Remote::DeleteIUMProd, {QVariant::fromValue(delta)}));
            inFlight.prepend(QStringLiteral("answered: "));
        } catch (const Exception& e) {
            inFlight = e.Message();
        }
    });
    caller->start();
    ASSERT_TRUE(SomeSessionWaitsForALock(*db)) << "the deletion never waited";

    // The waiting deletion loses its connection; the server opens another
    // and runs it again, which waits for the locker again, until the locker
    // lets go.
    db->Value(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE wait_event_type = 'Lock'"));
    ASSERT_TRUE(SomeSessionWaitsForALock(*db)) << "the deletion was not run again";
    QSqlDatabase::database(lockerName, false).rollback();
    caller->wait();
    delete caller;
    QSqlDatabase::removeDatabase(lockerName);
    EXPECT_EQ(inFlight, QStringLiteral("answered: "));
    EXPECT_EQ(db->Count(QStringLiteral("LEITURAIUM")), readings - 1);
    EXPECT_EQ(db->Count(QStringLiteral("AUDITORIA")), audits + 1) << "recorded once";

    // The whole cluster restarts under the idle workers; every worker serves
    // again, and the deletion, done, is refused.
    db.reset();
    RestartCluster();
    ASSERT_TRUE(server.Running());
    for (int i = 0; i < 8; ++i)
        EXPECT_NO_THROW(GetDados(*net, branch));
    db.emplace(server);
    EXPECT_TRUE(Refusal(net->AppServer().Call(Remote::DeleteIUMProd, {QVariant::fromValue(delta)})).contains(QStringLiteral("já foi excluída")));
    EXPECT_EQ(db->Count(QStringLiteral("LEITURAIUM")), readings - 1);
}

} // namespace
