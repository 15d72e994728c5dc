// The host killed with scans waiting in the station's queue: started again,
// it says how many wait, and the invoice's reading sends them, each stored
// once. Each host is a process of its own (this program again, running one
// of the two steps below) against the real server.
#include "AppServerProcess.h"
#include "HostFixture.h"

#include "codbarium/Codbarium.h"
#include "codbarium/IumReadingForm.h"
#include "codbarium/ScanQueue.h"
#include "framework/StatusNote.h"
#include "framework/Varneth.h"
#include "netconn/NetConnection.h"
#include "server/RemoteNames.h"
#include "WaitFor.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

#include <cstdio>

namespace {

const QString Branch = QStringLiteral("0001");

// What the parent tells each step.
QString Given(const char* name) { return qEnvironmentVariable(name); }

void Say(const QString& line)
{
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

// The connection the screen gives the reading, to the host's server.
void Connect(TNetConnection& net)
{
    net.SetServerName(Remote::ConfRastr);
    net.SetHost(Varneth::WebURL());
    net.SetPort(Varneth::WebPort());
    net.SetTimeout(30);
}

class HostQueue : public HostTest {
protected:
    // Queues a reading answer that runs `script` on the reading window.
    void ExpectReading(std::function<void(TfrmLeituraIUM*)> script)
    {
        dialogs.ExpectReading([script](const TReadingRequest& request) {
            if (auto* form = dynamic_cast<TfrmLeituraIUM*>(request.Context))
                script(form);
            else
                ADD_FAILURE() << "the reading request carries no reading screen";
            return QVariant();
        });
    }
};

// Step 1: the reading opens, the server goes out of reach, the scans are
// typed and wait; then the host waits to be killed.
TEST_F(HostQueue, DISABLED_QueueStep)
{
    auto host = StartHost({QStringLiteral("--server"), Given("EXP_HOST_QUEUE_SERVER")});
    TNetConnection net;
    Connect(net);
    ExpectReading([&](TfrmLeituraIUM* form) {
        Activate(form->HostWindow());
        form->SetRetryDelays(60000, 60000);
        net.Close();
        net.SetPort(1);  // the cart enters the dead zone
        for (const QString& scan : Given("EXP_HOST_QUEUE_SCANS").split(u' ')) {
            QTest::keyClicks(form->edtCodigoIUM->Widget(), scan);
            QTest::keyClick(form->edtCodigoIUM->Widget(), Qt::Key_Return);
        }
        Say(QStringLiteral("waiting %1").arg(form->Pending()));
        for (;;)
            QThread::sleep(1);  // until killed
    });
    Codbarium::CriaLeituraIUM(Branch, Given("EXP_HOST_QUEUE_INVOICE"), &net);
}

// Step 2: the host starts again and the invoice's reading is opened.
TEST_F(HostQueue, DISABLED_SendStep)
{
    auto host = StartHost({QStringLiteral("--server"), Given("EXP_HOST_QUEUE_SERVER")});
    Say(QStringLiteral("note: ") + StatusNote::Text());
    TNetConnection net;
    Connect(net);
    ExpectReading([&](TfrmLeituraIUM* form) {
        EXPECT_TRUE(WaitFor([&] { return form->Pending() == 0 && form->Accepted() > 0; }, 20000));
        Say(QStringLiteral("sent: ") + form->lblPendentes->Caption());
        form->Close();
    });
    Codbarium::CriaLeituraIUM(Branch, Given("EXP_HOST_QUEUE_INVOICE"), &net);
}

// An IUM-controlled item of an unconfirmed invoice with three units unread.
bool OpenItem(const QString& database, QString& invoice, QString& gtin14)
{
    bool found = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("item"));
        db.setDatabaseName(database);
        QSqlQuery query(db);
        found = db.open()
                && query.exec(QStringLiteral(
                    "SELECT IT.NRLANCTONF, PR.CDGTIN FROM ITEMNOTA IT"
                    "  JOIN PRODUTO PR ON PR.CDPRODUTO = IT.CDPRODUTO"
                    "  JOIN NOTAFISCAL NF ON NF.CDFILIAL = IT.CDFILIAL AND NF.NRLANCTONF = IT.NRLANCTONF"
                    " WHERE IT.CDFILIAL = '0001' AND NF.IDCONFRASTR = 'N' AND PR.IDCONTROLAIUM = 'S'"
                    "   AND IT.QTITEMPROD - (SELECT COUNT(*) FROM LEITURAIUM L WHERE L.CDFILIAL = IT.CDFILIAL"
                    "       AND L.NRLANCTONF = IT.NRLANCTONF AND L.CDPRODUTO = IT.CDPRODUTO) >= 3"
                    " ORDER BY IT.NRLANCTONF, IT.CDPRODUTO"))
                && query.next();
        if (found) {
            invoice = query.value(0).toString();
            gtin14 = query.value(1).toString().rightJustified(14, u'0');
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("item"));
    return found;
}

// How many times each of `codes` (without the symbology identifier) is stored.
QList<int> Stored(const QString& database, const QStringList& codes)
{
    QList<int> counts;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("stored"));
        db.setDatabaseName(database);
        if (db.open())
            for (const QString& code : codes) {
                QSqlQuery query(db);
                query.prepare(QStringLiteral("SELECT COUNT(*) FROM LEITURAIUM WHERE CDIUMPROD = ?"));
                query.addBindValue(code);
                counts << (query.exec() && query.next() ? query.value(0).toInt() : -1);
            }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("stored"));
    return counts;
}

TEST_F(HostQueue, KilledWithScansWaitingItSaysSoWhenStartedAgainAndTheyReachTheServerOnce)
{
    TAppServerProcess server;
    QString invoice, gtin14;
    ASSERT_TRUE(OpenItem(server.DatabasePath(), invoice, gtin14));
    QStringList scans, codes;
    for (int i = 0; i < 3; ++i) {
        codes << QStringLiteral("01") + gtin14 + QStringLiteral("21MORTO%1").arg(i);
        scans << QStringLiteral("]d2") + codes.last();
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("EXP_TEST_DATA_HOME"), Path(QStringLiteral("data")));
    environment.insert(QStringLiteral("EXP_HOST_QUEUE_SERVER"), QStringLiteral("%1:%2").arg(server.Host()).arg(server.Port()));
    environment.insert(QStringLiteral("EXP_HOST_QUEUE_INVOICE"), invoice);
    environment.insert(QStringLiteral("EXP_HOST_QUEUE_SCANS"), scans.join(u' '));
    const auto step = [&](QProcess& host, const char* name) {
        host.setProcessEnvironment(environment);
        host.start(QCoreApplication::applicationFilePath(),
                   {QStringLiteral("--gtest_filter=HostQueue.DISABLED_%1").arg(QLatin1String(name)),
                    QStringLiteral("--gtest_also_run_disabled_tests")});
        return host.waitForStarted();
    };
    const auto lineFrom = [](QProcess& host, const QString& start) {
        QDeadlineTimer deadline(60000);
        while (!deadline.hasExpired()) {
            while (host.canReadLine()) {
                const QString line = QString::fromUtf8(host.readLine()).trimmed();
                if (line.startsWith(start))
                    return line;
            }
            if (host.state() == QProcess::NotRunning || !host.waitForReadyRead(int(deadline.remainingTime())))
                break;
        }
        return QString();
    };

    QProcess first;
    ASSERT_TRUE(step(first, "QueueStep"));
    EXPECT_EQ(lineFrom(first, QStringLiteral("waiting ")), QStringLiteral("waiting 3"))
        << first.readAllStandardError().toStdString();
    first.kill();  // SIGKILL: no clean-up of any kind
    first.waitForFinished();
    EXPECT_EQ(Stored(server.DatabasePath(), codes), (QList<int>{0, 0, 0})) << "nothing reached the server";

    QProcess second;
    ASSERT_TRUE(step(second, "SendStep"));
    const QString note = lineFrom(second, QStringLiteral("note: "));
    EXPECT_EQ(note, QStringLiteral("note: 3 leituras aguardando o servidor nesta estação (nota %1): serão enviadas quando a "
                                   "leitura dessa nota for aberta.")
                        .arg(invoice));
    EXPECT_EQ(lineFrom(second, QStringLiteral("sent: ")), QStringLiteral("sent: 3 leituras enviadas: 3 aceitas, 0 recusadas"));
    ASSERT_TRUE(second.waitForFinished(30000));
    const QByteArray output = second.readAll();
    EXPECT_EQ(second.exitCode(), 0) << output.toStdString() << second.readAllStandardError().toStdString();
    EXPECT_EQ(Stored(server.DatabasePath(), codes), (QList<int>{1, 1, 1})) << "each once";

    TScanQueue queue;
    queue.Open(Path(QStringLiteral("data/exp13000/leituras-pendentes.db")));
    EXPECT_TRUE(queue.All().isEmpty());
}

} // namespace
