// Change notices and presence between stations, against the real server
// process: on SQLite every station on one server; on PostgreSQL (the pg
// variant) the stations that make changes on one server and those that hear
// them on another over the same database, so notices cross servers. And a
// client that never subscribes sees the protocol it always saw, byte for
// byte, while others change the same branch.
#include "ServerData.h"
#include "ServerSession.h"
#include "WaitFor.h"
#include "netconn/NoticeChannel.h"
#include "rpc/Frame.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace {

const QString Branch = QStringLiteral("0001");
constexpr int Second = 1000;


// A station that hears the branch's notices on its own channel.
struct TEar {
    TEar(const TAppServerProcess& server, const QString& user, const QString& station)
    {
        channel.SetServer(server.Host(), server.Port(), {});
        channel.SetStation({user, station});
        channel.Listen([this](const Rpc::TNotice& n) { heard << n; });
        channel.Follow(Branch);
    }
    // The first notice of `event` heard from another station, if any.
    std::optional<Rpc::TNotice> First(const QString& event) const
    {
        for (const Rpc::TNotice& n : heard)
            if (n.Event == event && !channel.FromHere(n))
                return n;
        return std::nullopt;
    }
    TNoticeChannel channel;
    QList<Rpc::TNotice> heard;
};

class Notices : public ::testing::Test {
public:
    static void SetUpTestSuite()
    {
        here = new TAppServerProcess();
        if (here->Postgres()) {
            TAppServerProcess::TOptions options;
            options.Database = here->DatabasePath();
            there = new TAppServerProcess(options);
        }
        TDatabase db(TDbConfig{here->DatabasePath()});
        open = OpenItems(db, Branch);
        SplitInvoices(db, Branch, ready, notReady);
    }
    static void TearDownTestSuite()
    {
        delete there;
        delete here;
        there = here = nullptr;
    }
    // Where the hearing stations connect: the other server when there is one.
    static const TAppServerProcess& Far() { return there ? *there : *here; }

    // A connection that makes changes as station EST-A of "ana".
    static std::unique_ptr<TNetConnection> Maker()
    {
        auto net = Connect(*here);
        net->SetStation({QStringLiteral("ana"), QStringLiteral("EST-A")});
        return net;
    }

    static inline TAppServerProcess* here = nullptr;
    static inline TAppServerProcess* there = nullptr;
    static inline QList<TOpenItem> open;
    static inline QStringList ready, notReady;
};

TEST_F(Notices, ReadingsDeletionsAndConfirmationsReachAnotherStationWithinASecond)
{
    ASSERT_FALSE(open.isEmpty());
    ASSERT_FALSE(ready.isEmpty());
    TEar ear(Far(), QStringLiteral("bia"), QStringLiteral("EST-B"));
    ASSERT_TRUE(WaitFor([&] { return ear.channel.Open(); }, 10 * Second)) << ear.channel.Status().toStdString();
    auto net = Maker();
    const TOpenItem& item = open.first();

    // A refused scan changes nothing and so is never heard.
    EXPECT_FALSE(Refusal(net->AppServer().Call(Remote::SetLeituraIUM, {Branch, item.Invoice, QStringLiteral("0112345")})).isEmpty());
    const QString scan = IumScan(item.Gtin14, QStringLiteral("AVISO%1").arg(QDateTime::currentMSecsSinceEpoch()));
    const QVariantList stored =
        Consiste::CheckResultServ(net->AppServer().Call(Remote::SetLeituraIUM, {Branch, item.Invoice, scan}), true, 0).toList();
    ASSERT_TRUE(WaitFor([&] { return ear.First(Rpc::Notice::Reading).has_value(); }));
    const Rpc::TNotice reading = *ear.First(Rpc::Notice::Reading);
    EXPECT_EQ(ear.heard.first().Event, Rpc::Notice::Reading) << "the refused scan published nothing";
    EXPECT_EQ(reading.Branch, Branch);
    EXPECT_EQ(reading.Invoice, item.Invoice);
    EXPECT_EQ(reading.Product, stored.value(0).toString());
    EXPECT_EQ(reading.Count, stored.value(1).toDouble());
    EXPECT_EQ(reading.User, QStringLiteral("ana"));
    EXPECT_EQ(reading.Station, QStringLiteral("EST-A"));

    TDataPacketBuilder delta({{"CDFILIAL", TFieldType::ftString, 4},
                              {"NRLANCTONF", TFieldType::ftString, 10},
                              {"CDIUMPROD", TFieldType::ftString, 80},
                              {"CDPRODUTO", TFieldType::ftString, 10}});
    const QString storedCode = scan.startsWith(QLatin1String("]d2")) ? scan.mid(3) : scan;  // as the server keeps it
    for (const QString& value : {Branch, item.Invoice, storedCode, reading.Product})
        delta.AddString(value);
    delta.EndRow();
    Consiste::CheckResultServ(net->AppServer().Call(Remote::DeleteIUMProd, {QVariant::fromValue(delta.Build())}), true, 0);
    ASSERT_TRUE(WaitFor([&] { return ear.First(Rpc::Notice::Deletion).has_value(); }));
    const Rpc::TNotice deletion = *ear.First(Rpc::Notice::Deletion);
    EXPECT_EQ(deletion.Invoice, item.Invoice);
    EXPECT_EQ(deletion.Product, reading.Product);
    EXPECT_EQ(deletion.Count, *reading.Count - 1);
    EXPECT_EQ(deletion.Station, QStringLiteral("EST-A"));

    Consiste::CheckResultServ(net->AppServer().Call(Remote::SetConfRastrOK, {Branch, ready.first()}), true, 0);
    ASSERT_TRUE(WaitFor([&] { return ear.First(Rpc::Notice::Confirmation).has_value(); }));
    const Rpc::TNotice confirmation = *ear.First(Rpc::Notice::Confirmation);
    EXPECT_EQ(confirmation.Invoice, ready.first());
    EXPECT_EQ(confirmation.User, QStringLiteral("ana"));
    EXPECT_FALSE(confirmation.Count.has_value());
}

TEST_F(Notices, StationsOnOneInvoiceSeeEachOtherUntilAConnectionEnds)
{
    ASSERT_GE(open.size(), 2);
    const QString invoice = open.last().Invoice;
    TEar first(*here, QStringLiteral("ana"), QStringLiteral("EST-A"));
    first.channel.SetReading(invoice);
    ASSERT_TRUE(WaitFor([&] { return first.channel.Open(); }, 10 * Second));
    auto second = std::make_unique<TEar>(Far(), QStringLiteral("bia"), QStringLiteral("EST-B"));
    second->channel.SetReading(invoice);

    // The later one finds the earlier in its subscription's answer, the
    // earlier hears of the later.
    ASSERT_TRUE(WaitFor([&] { return second->First(Rpc::Notice::Present).has_value(); }, 3 * Second));
    EXPECT_EQ(second->First(Rpc::Notice::Present)->Station, QStringLiteral("EST-A"));
    EXPECT_EQ(second->First(Rpc::Notice::Present)->Invoice, invoice);
    ASSERT_TRUE(WaitFor([&] { return first.First(Rpc::Notice::Present).has_value(); }));
    EXPECT_EQ(first.First(Rpc::Notice::Present)->User, QStringLiteral("bia"));

    // Its connection gone, the second is absent at once: no stale "who".
    second.reset();
    ASSERT_TRUE(WaitFor([&] { return first.First(Rpc::Notice::Absent).has_value(); }));
    EXPECT_EQ(first.First(Rpc::Notice::Absent)->Station, QStringLiteral("EST-B"));

    // Leaving the reading window is an absence too.
    TEar third(Far(), QStringLiteral("caio"), QStringLiteral("EST-C"));
    third.channel.SetReading(invoice);
    ASSERT_TRUE(WaitFor([&] {
        return std::any_of(first.heard.cbegin(), first.heard.cend(),
                           [](const Rpc::TNotice& n) { return n.Event == Rpc::Notice::Present && n.Station == QLatin1String("EST-C"); });
    }));
    third.channel.SetReading(QString());
    EXPECT_TRUE(WaitFor([&] {
        return std::any_of(first.heard.cbegin(), first.heard.cend(),
                           [](const Rpc::TNotice& n) { return n.Event == Rpc::Notice::Absent && n.Station == QLatin1String("EST-C"); });
    }));
}

// Subscribing needs the feature, and a station that says who it is.
TEST_F(Notices, SubscriptionsAreRefusedWithoutTheFeatureOrWithABadName)
{
    auto plain = Connect(*here);
    EXPECT_EQ(Refusal(plain->AppServer().Call(Remote::AssinaAvisos, {Branch, QStringLiteral("ana"), QStringLiteral("EST-A"), QString()})),
              QStringLiteral("Esta conexão não combinou o recurso de avisos (\"notices\")."));
    struct TCase {
        const char* name;
        QString user, station, refusal;
    };
    for (const TCase& c : {TCase{"empty station", QStringLiteral("ana"), QStringLiteral("  "), QStringLiteral("O nome da estação não pode ser vazio.")},
                           TCase{"long station", QStringLiteral("ana"), QString(65, u'x'), QStringLiteral("O nome da estação passa de 64 caracteres.")},
                           TCase{"control in user", QStringLiteral("a\nna"), QStringLiteral("EST-A"),
                                 QStringLiteral("O nome da pessoa usuária tem caracteres de controle.")}}) {
        auto net = Maker();
        EXPECT_EQ(Refusal(net->AppServer().Call(Remote::AssinaAvisos, {Branch, c.user, c.station, QString()})), c.refusal) << c.name;
    }
}

// Everything a raw client receives for a hello and two calls, with a pause
// between them during which `meanwhile` runs.
QByteArray Exchange(const TAppServerProcess& server, const Rpc::THello& hello, const QString& invoice,
                    const std::function<void()>& meanwhile)
{
    QTcpSocket socket;
    socket.connectToHost(server.Host(), server.Port());
    if (!socket.waitForConnected(5 * Second))
        return "no connection";
    const Rpc::TRpcLimits limits;
    socket.write(Rpc::EncodeFrame(hello, limits));
    QByteArray received;
    const auto call = [&](quint64 id) {
        socket.write(Rpc::EncodeFrame(Rpc::TCall{id, Remote::GetItensIUM, {Branch, invoice}, {}}, limits,
                                      hello.Features.value_or(Rpc::TFeatures{})));
        socket.flush();
    };
    call(1);
    meanwhile();
    WaitFor([&] { return false; }, 300);  // what would come, comes
    call(2);
    WaitFor([&] { return false; }, 300);
    received = socket.readAll();
    return received;
}

TEST_F(Notices, AClientThatDoesNotSubscribeReceivesTheSameBytesWhileOthersChangeTheBranch)
{
    ASSERT_GE(open.size(), 2);
    const QString quietInvoice = open.first().Invoice;
    TOpenItem busy = open.last();
    ASSERT_NE(busy.Invoice, quietInvoice);
    TEar ear(*here, QStringLiteral("bia"), QStringLiteral("EST-B"));  // someone does subscribe
    ASSERT_TRUE(WaitFor([&] { return ear.channel.Open(); }, 10 * Second));
    auto net = Maker();
    int serial = 0;
    const auto changeTheBranch = [&] {
        const QString scan = IumScan(busy.Gtin14, QStringLiteral("BYTE%1-%2").arg(QDateTime::currentMSecsSinceEpoch()).arg(++serial));
        EXPECT_TRUE(Refusal(net->AppServer().Call(Remote::SetLeituraIUM, {Branch, busy.Invoice, scan})).isEmpty());
    };
    const Rpc::TFeatures compact{true, false, false};
    const Rpc::TFeatures offered{true, false, true};
    struct TCase {
        const char* name;
        std::optional<Rpc::TFeatures> features;
    };
    for (const TCase& c : {TCase{"base protocol", std::nullopt}, TCase{"compact", compact},
                           TCase{"notices offered, no subscription", offered}}) {
        const Rpc::THello hello{Rpc::ProtocolVersion, Remote::ConfRastr, QString(), c.features};
        const QByteArray quiet = Exchange(*here, hello, quietInvoice, [] {});
        const int before = int(ear.heard.size());
        const QByteArray busyRun = Exchange(*here, hello, quietInvoice, changeTheBranch);
        EXPECT_TRUE(WaitFor([&] { return ear.heard.size() > before; })) << c.name << ": a notice went out meanwhile";
        EXPECT_GT(quiet.size(), 100) << c.name;
        EXPECT_EQ(busyRun.toHex().toStdString(), quiet.toHex().toStdString()) << c.name;
    }
}

TEST_F(Notices, AChannelCutOffConnectsAgainAndSaysItMayHaveMissedNotices)
{
    TAppServerProcess::TOptions options;
    options.Database = here->DatabasePath();
    TAppServerProcess own(options);
    TEar ear(own, QStringLiteral("bia"), QStringLiteral("EST-B"));
    ASSERT_TRUE(WaitFor([&] { return ear.channel.Open(); }, 10 * Second));
    const quint16 port = own.Port();
    own.Stop();
    ASSERT_TRUE(WaitFor([&] { return !ear.channel.Open(); }, 5 * Second));
    EXPECT_FALSE(ear.channel.Status().isEmpty()) << "it says it was cut off";
    own.Start(port);
    ASSERT_TRUE(WaitFor([&] { return ear.channel.Open(); }, 10 * Second)) << ear.channel.Status().toStdString();
    EXPECT_TRUE(WaitFor([&] { return ear.First(Rpc::Notice::Missed).has_value(); }));
    EXPECT_TRUE(ear.channel.Status().isEmpty());
}

// A station hears its site through the next server of its ring once its own
// is gone, as its calls go on there.
TEST_F(Notices, AChannelWhoseServerIsGoneHearsTheSiteThroughItsOtherServer)
{
    ASSERT_FALSE(open.isEmpty());
    TAppServerProcess::TOptions options;
    options.Database = here->DatabasePath();
    TAppServerProcess doomed(options);
    TEar ear(doomed, QStringLiteral("bia"), QStringLiteral("EST-B"));
    ear.channel.SetAlternates({{here->Host(), here->Port()}});
    ASSERT_TRUE(WaitFor([&] { return ear.channel.Open(); }, 10 * Second)) << ear.channel.Status().toStdString();
    doomed.Kill();
    ASSERT_TRUE(WaitFor([&] { return !ear.channel.Open(); }, 5 * Second));
    ASSERT_TRUE(WaitFor([&] { return ear.channel.Open(); }, 10 * Second)) << ear.channel.Status().toStdString();
    EXPECT_TRUE(ear.First(Rpc::Notice::Missed).has_value());

    const TOpenItem& item = open.last();
    const QString scan = IumScan(item.Gtin14, QStringLiteral("RING%1").arg(QDateTime::currentMSecsSinceEpoch()));
    Consiste::CheckResultServ(Maker()->AppServer().Call(Remote::SetLeituraIUM, {Branch, item.Invoice, scan}), true, 0);
    ASSERT_TRUE(WaitFor([&] { return ear.First(Rpc::Notice::Reading).has_value(); }));
    EXPECT_EQ(ear.First(Rpc::Notice::Reading)->Invoice, item.Invoice);
}

// A server that dies says nothing: the stations of the others forget its
// stations once it has stopped announcing them.
TEST_F(Notices, TheStationsOfAServerThatDiedAreForgotten)
{
    if (!there)
        GTEST_SKIP() << "one server alone on SQLite";
    ASSERT_FALSE(open.isEmpty());
    const QString invoice = open.first().Invoice;
    TEar first(*here, QStringLiteral("ana"), QStringLiteral("EST-A"));
    first.channel.SetReading(invoice);
    TAppServerProcess::TOptions options;
    options.Database = here->DatabasePath();
    TAppServerProcess doomed(options);
    TEar second(doomed, QStringLiteral("bia"), QStringLiteral("EST-B"));
    second.channel.SetReading(invoice);
    ASSERT_TRUE(WaitFor([&] { return first.First(Rpc::Notice::Present).has_value(); }, 10 * Second));
    doomed.Kill();
    // Announced every 5 s, forgotten 15 s after the last: within 21 s.
    EXPECT_TRUE(WaitFor([&] { return first.First(Rpc::Notice::Absent).has_value(); }, 21 * Second));
    EXPECT_EQ(first.First(Rpc::Notice::Absent)->Station, QStringLiteral("EST-B"));
}

} // namespace
