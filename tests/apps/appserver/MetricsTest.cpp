// The server's metrics as a site's Prometheus reads them: a scripted
// session against the real server with TLS and accounts (a load, readings,
// a refusal, a confirmation, a deletion, a wrong password), then one scrape
// over HTTPS whose counts must tell that session, and which Prometheus's own
// checker (promtool check metrics) accepts.
#include "ServerData.h"
#include "ServerSession.h"
#include "ServerSite.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const QString branch = QStringLiteral("0001");

// GET `path` from the metrics port over HTTPS trusting `authority`; the
// status and the body.
std::pair<int, QByteArray> Get(quint16 port, const QString& authority, const QString& path = QStringLiteral("/metrics"))
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(port).arg(path)));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setCaCertificates(QSslCertificate::fromPath(authority));
    request.setSslConfiguration(tls);
    request.setTransferTimeout(10000);
    QNetworkReply* reply = manager.get(request);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const QByteArray body = reply->readAll();
    delete reply;
    return {status, body};
}

// The value of one series (name and labels exactly as served), or -1 when
// the scrape has no such line.
double Sample(const QByteArray& scrape, const QString& series)
{
    const QByteArray prefix = series.toUtf8() + ' ';
    for (const QByteArray& line : scrape.split('\n'))
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).toDouble();
    return -1;
}

QString Call(const char* method, const char* outcome)
{
    return QStringLiteral("appserver_calls_total{module=\"%1\",method=\"%2\",outcome=\"%3\"}")
        .arg(Remote::ConfRastr, QString::fromLatin1(method), QString::fromLatin1(outcome));
}

class Metrics : public ::testing::Test {
protected:
    TServerSite site;
    TAppServerProcess server{TAppServerProcess::TOptions{1, true, 4, site.ServerArguments(), QString(), {}, true}};

    std::unique_ptr<TNetConnection> Station(const QString& secret)
    {
        auto net = Connect(server);
        net->SetSecurity(TNetConnection::TSecurity{true, site.Certificate(), QStringLiteral("maria"), secret});
        return net;
    }
};

TEST_F(Metrics, AScrapeTellsTheSessionAndPromtoolAcceptsIt)
{
    QStringList ready, notReady;
    QList<TOpenItem> open;
    {
        TDatabase data(TDbConfig{server.DatabasePath()});
        SplitInvoices(data, branch, ready, notReady);
        open = OpenItems(data, branch);
    }
    ASSERT_GE(open.size(), 2);
    ASSERT_FALSE(ready.isEmpty());
    TDbView db(server);

    auto net = Station(TServerSite::Password);
    GetDados(*net, branch);
    const QString first = IumScan(open[0].Gtin14, QStringLiteral("METRICA1"));
    for (const auto& [item, scan] : {std::pair{open[0], first},
                                     std::pair{open[1], IumScan(open[1].Gtin14, QStringLiteral("METRICA2"))}})
        ASSERT_EQ(Refusal(net->AppServer().Call(Remote::SetLeituraIUM, {branch, item.Invoice, scan})), QString());
    EXPECT_NE(Refusal(net->AppServer().Call(Remote::SetLeituraIUM, {branch, open[0].Invoice, first})), QString())
        << "an IUM read twice";
    ASSERT_EQ(Refusal(net->AppServer().Call(Remote::SetConfRastrOK, {branch, ready[0]})), QString());
    const QVariantList reading = db.Rows(QStringLiteral("SELECT L.NRLANCTONF, MIN(L.CDIUMPROD) FROM LEITURAIUM L JOIN "
                                                        "NOTAFISCAL NF ON NF.CDFILIAL = L.CDFILIAL AND NF.NRLANCTONF = "
                                                        "L.NRLANCTONF WHERE L.CDFILIAL = ? AND NF.IDCONFRASTR = 'N' "
                                                        "GROUP BY L.NRLANCTONF ORDER BY L.NRLANCTONF"),
                                         {branch})
                                     .value(0);
    ASSERT_EQ(Refusal(net->AppServer().Call(
                  Remote::DeleteIUMProd,
                  {QVariant::fromValue(ReadingsDelta(branch, {{reading.value(0).toString(), reading.value(1).toString()}}))})),
              QString());
    auto wrong = Station(QStringLiteral("senha-errada"));
    EXPECT_THROW(wrong->Open(), Exception);

    const auto [status, scrape] = Get(server.MetricsPort(), site.Certificate());
    ASSERT_EQ(status, 200) << scrape.toStdString();
    EXPECT_EQ(Sample(scrape, Call("GetDados", "result")), 1);
    EXPECT_EQ(Sample(scrape, Call("setLeituraIUM", "result")), 2);
    EXPECT_EQ(Sample(scrape, Call("setLeituraIUM", "refused")), 1);
    EXPECT_EQ(Sample(scrape, Call("setConfRastrOK", "result")), 1);
    EXPECT_EQ(Sample(scrape, Call("deleteIUMProd", "result")), 1);
    EXPECT_EQ(Sample(scrape, QStringLiteral("appserver_readings_stored_total")), 2);
    EXPECT_EQ(Sample(scrape, QStringLiteral("appserver_readings_refused_total")), 1);
    EXPECT_EQ(Sample(scrape, QStringLiteral("appserver_readings_deleted_total")), 1);
    EXPECT_EQ(Sample(scrape, QStringLiteral("appserver_confirmations_total")), 1);
    EXPECT_EQ(Sample(scrape, QStringLiteral("appserver_logins_total{outcome=\"failed\"}")), 1);
    EXPECT_EQ(Sample(scrape, QStringLiteral("appserver_logins_total{outcome=\"succeeded\"}")), 1);
    EXPECT_EQ(Sample(scrape, QStringLiteral("appserver_call_duration_seconds_count{module=\"%1\",method=\"setLeituraIUM\"}")
                                 .arg(Remote::ConfRastr)),
              3);
    EXPECT_EQ(Sample(scrape, QStringLiteral("appserver_call_duration_seconds_bucket{module=\"%1\",method=\"GetDados\",le=\"+Inf\"}")
                                 .arg(Remote::ConfRastr)),
              1);
    EXPECT_GT(Sample(scrape, QStringLiteral("appserver_notices_published_total")), 0) << "each change publishes";
    EXPECT_GT(Sample(scrape, QStringLiteral("process_resident_memory_bytes")), 1 << 20);
    EXPECT_GT(Sample(scrape, QStringLiteral("process_open_fds")), 3);
    EXPECT_GE(Sample(scrape, QStringLiteral("appserver_sqlite_wal_bytes")), 0);

    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("scrape.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(scrape);
    file.close();
    QProcess promtool;
    promtool.setStandardInputFile(file.fileName());
    promtool.start(QStringLiteral("promtool"), {QStringLiteral("check"), QStringLiteral("metrics")});
    ASSERT_TRUE(promtool.waitForStarted(10000)) << "promtool (Debian's prometheus package) is missing";
    ASSERT_TRUE(promtool.waitForFinished(30000));
    EXPECT_EQ(promtool.exitCode(), 0) << promtool.readAll().toStdString();
}

// Only GET /metrics is served.
TEST_F(Metrics, OtherPathsAreNotServed)
{
    EXPECT_EQ(Get(server.MetricsPort(), site.Certificate(), QStringLiteral("/")).first, 404);
    EXPECT_EQ(Get(server.MetricsPort(), site.Certificate(), QStringLiteral("/metrics/../x")).first, 404);
}

} // namespace
