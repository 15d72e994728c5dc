#include "FakeAppServer.h"
#include "netconn/CheckResultServ.h"
#include "netconn/Lib00200.h"
#include "netconn/NetConnection.h"
#include "rpc/Envelope.h"
#include "rtl/Exceptions.h"

#include <QTcpServer>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// A connection whose BeforeConnect points it at the fake server, counting opens.
struct TClient {
    TFakeAppServer& server;
    TNetConnection net;
    int opens = 0;

    explicit TClient(TFakeAppServer& fake, const QString& module = QStringLiteral("exp13000.rdmConfRastr"))
        : server(fake)
    {
        net.SetServerName(module);
        net.BeforeConnect = TNotifyEvent::Of([this](TObject*) {
            ++opens;
            net.SetHost(QStringLiteral("127.0.0.1"));
            net.SetPort(server.Port());
        });
    }
};

Rpc::TResult Reply(const Rpc::TCall& call, QVariant value, QVariantList refs = {})
{
    return Rpc::TResult{call.Id, std::move(value), std::move(refs)};
}

// A call whose connection broke before its reply is sent once more, by
// itself, with the same request identifier, when the server agreed
// "request-id"; without that agreement it is not (the call may have run).
struct TLostCase {
    const char* Name;
    bool Agreed;
    int Dropped;     // calls the server drops
    int Calls;       // calls it sees
    bool Answered;
};

class LostCall : public ::testing::TestWithParam<TLostCase> {};

TEST_P(LostCall, IsSentOnceMoreAsTheSameRequest)
{
    TFakeAppServer fake;
    fake.RequestIds = GetParam().Agreed;
    fake.DropCalls = GetParam().Dropped;
    fake.OnCall = [](const Rpc::TCall& call) { return Reply(call, Rpc::Success(QStringLiteral("feito"))); };
    TClient client(fake);
    try {
        EXPECT_EQ(Consiste::CheckResultServ(client.net.AppServer().Call(QStringLiteral("setLeituraIUM"), {QStringLiteral("x")}),
                                            true, 0),
                  QVariant(QStringLiteral("feito")));
        EXPECT_TRUE(GetParam().Answered);
    } catch (const EConnectionError& e) {
        EXPECT_FALSE(GetParam().Answered) << e.Message().toStdString();
        EXPECT_EQ(e.Message().startsWith(QStringLiteral("A chamada de setLeituraIUM não foi concluída: A conexão")),
                  GetParam().Calls == 2)
            << e.Message().toStdString();
    }
    ASSERT_EQ(fake.Calls.size(), GetParam().Calls);
    EXPECT_EQ(fake.Calls.first().RequestId.isEmpty(), !GetParam().Agreed);
    EXPECT_EQ(fake.Calls.last().RequestId, fake.Calls.first().RequestId);
    EXPECT_EQ(client.net.LastRequestId(), fake.Calls.first().RequestId);
}

INSTANTIATE_TEST_SUITE_P(
    Retry, LostCall,
    ::testing::Values(TLostCase{"AnsweredTheSecondTime", true, 1, 2, true}, TLostCase{"LostTwice", true, 2, 2, false},
                      TLostCase{"NotAgreed", false, 1, 1, false}),
    [](const ::testing::TestParamInfo<TLostCase>& info) { return std::string(info.param.Name); });

// The site's servers make a ring: an open that finds the first unreachable
// goes on to the next, and a lost call tries the next one first.
TEST(NetConnection, AnUnreachableServerIsPassedForTheSitesNext)
{
    quint16 dead = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        dead = probe.serverPort();
    }
    TFakeAppServer first, second;
    for (TFakeAppServer* fake : {&first, &second}) {
        fake->RequestIds = true;
        fake->OnCall = [](const Rpc::TCall& call) { return Reply(call, Rpc::Success()); };
    }
    TNetConnection net;
    net.SetServerName(QStringLiteral("exp13000.rdmConfRastr"));
    net.SetPort(dead);
    net.SetAlternates({{QStringLiteral("127.0.0.1"), first.Port()}, {QStringLiteral("127.0.0.1"), second.Port()}});
    net.AppServer().Call(QStringLiteral("GetDados"));
    EXPECT_EQ(net.Current().Port, first.Port());

    first.DropCalls = 1;
    net.AppServer().Call(QStringLiteral("setConfRastrOK"));
    EXPECT_EQ(net.Current().Port, second.Port()) << "the lost call went on to the next server";
    ASSERT_EQ(second.Calls.size(), 1);
    EXPECT_EQ(second.Calls[0].RequestId, first.Calls.last().RequestId);

    second.DropClients();
    first.DropCalls = 0;
    net.SetAlternates({});
    try {
        net.AppServer().Call(QStringLiteral("GetDados"));
        FAIL() << "no server of the ring is left";
    } catch (const EConnectionError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1.").arg(dead));
    }
}

// A server that predates features refuses the hello that offers them; the
// connection greets it again as the base protocol does and works with it.
TEST(NetConnection, AServerWithoutFeaturesIsGreetedAgainInTheBaseProtocol)
{
    TFakeAppServer fake;
    fake.BaseProtocolOnly = true;
    fake.OnCall = [](const Rpc::TCall& call) -> std::optional<Rpc::TMessage> {
        return Reply(call, Rpc::Success(call.Args.at(0)));
    };
    TClient client(fake);
    client.net.SetCompression(TNetConnection::TCompression::Always);
    TDataPacketBuilder rows({{QStringLiteral("CDIUMPROD"), TFieldType::ftString, 100}});
    for (const char* code : {"A", "B", "A", "A"}) {
        rows.AddString(QString::fromLatin1(code));
        rows.EndRow();
    }
    const TDataPacket delta = rows.Build();
    const QVariant echoed = Consiste::CheckResultServ(client.net.AppServer().Call(QStringLiteral("deleteIUMProd"), {delta}), true, 0);
    EXPECT_TRUE(echoed.value<TDataPacket>() == delta) << "and came back whole";
    EXPECT_EQ(fake.Hellos, 2);
    EXPECT_EQ(client.opens, 1) << "one open, two greetings";
    EXPECT_EQ(client.net.Features(), Rpc::TFeatures{});
}

TEST(NetConnection, ByReferenceArgumentsTakeTheServersValues)
{
    TFakeAppServer fake;
    fake.OnCall = [](const Rpc::TCall& call) -> std::optional<Rpc::TMessage> {
        // The server rewrites both filters and answers with an envelope.
        return Reply(call, Rpc::Success(QStringLiteral("ok")),
                     {QStringLiteral("0000000007"), call.Args[2].toString() + QStringLiteral("-x")});
    };
    TClient client(fake);
    QString branch = QStringLiteral("0001");
    QString expedition = QStringLiteral("T");
    QString order = QStringLiteral("T");
    const QVariant result = client.net.AppServer().Call(
        QStringLiteral("GetDados"), {branch, ByRef(expedition), ByRef(order), TDateTime(45000), TDateTime(0)});

    EXPECT_EQ(Consiste::CheckResultServ(result, true, 0), QVariant(QStringLiteral("ok")));
    EXPECT_EQ(expedition, QStringLiteral("0000000007"));
    EXPECT_EQ(order, QStringLiteral("T-x"));
    EXPECT_EQ(branch, QStringLiteral("0001"));
    ASSERT_EQ(fake.Calls.size(), 1);
    EXPECT_EQ(fake.Calls[0].ByRef, (QList<int>{1, 2}));
    EXPECT_EQ(fake.Calls[0].Args[3].value<TDateTime>().Val, 45000.0);
    EXPECT_EQ(client.opens, 1) << "a call on a closed connection opens it, running BeforeConnect";
}

TEST(NetConnection, ByReferenceValueOfTheWrongKindIsAServerError)
{
    TFakeAppServer fake;
    fake.OnCall = [](const Rpc::TCall& call) -> std::optional<Rpc::TMessage> { return Reply(call, QVariant(), {1.5}); };
    TClient client(fake);
    QString filter = QStringLiteral("T");
    EXPECT_THROW(client.net.AppServer().Call(QStringLiteral("m"), {ByRef(filter)}), EServerError);
    EXPECT_EQ(filter, QStringLiteral("T"));
}

TEST(NetConnection, FaultRaisesServerErrorAndKeepsTheConnection)
{
    TFakeAppServer fake;
    fake.OnCall = [](const Rpc::TCall& call) -> std::optional<Rpc::TMessage> {
        if (call.Method == QLatin1String("Nope"))
            return Rpc::TFault{call.Id, Rpc::Fault::Method, QStringLiteral("Método desconhecido: Nope.")};
        return Reply(call, true);
    };
    TClient client(fake);
    try {
        client.net.AppServer().Call(QStringLiteral("Nope"));
        FAIL() << "no error";
    } catch (const EServerError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Método desconhecido: Nope."));
    }
    EXPECT_TRUE(client.net.Connected());
    EXPECT_EQ(client.net.AppServer().Call(QStringLiteral("Yes")), QVariant(true));
    EXPECT_EQ(client.opens, 1);
}

TEST(NetConnection, UnknownModuleIsRefusedAtOpen)
{
    TFakeAppServer fake;
    TClient client(fake, QStringLiteral("Xyz.rdmNada"));
    EXPECT_THROW(client.net.SetConnected(true), EServerError);
    EXPECT_FALSE(client.net.Connected());
}

TEST(NetConnection, UnreachableServerNamesHostAndPort)
{
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();  // nobody listens there now

    TNetConnection net;
    net.SetServerName(QStringLiteral("exp13000.rdmConfRastr"));
    net.SetHost(QStringLiteral("127.0.0.1"));
    net.SetPort(port);
    try {
        net.Open();
        FAIL() << "connected to nothing";
    } catch (const EConnectionError& e) {
        EXPECT_EQ(e.Message(),
                  QStringLiteral("Não foi possível conectar ao servidor de aplicação em 127.0.0.1:%1.").arg(port));
    }
    EXPECT_FALSE(net.Connected());
}

TEST(NetConnection, ClosingAClosedConnectionDoesNothing)
{
    TNetConnection net;
    int opens = 0;
    net.BeforeConnect = TNotifyEvent::Of([&](TObject*) { ++opens; });
    net.Close();
    net.SetConnected(false);
    EXPECT_FALSE(net.Connected());
    EXPECT_EQ(opens, 0);
}

TEST(NetConnection, AfterDisconnectRunsOnceForAnOpenConnection)
{
    TFakeAppServer server;
    TClient client(server);
    int disconnects = 0;
    client.net.AfterDisconnect = TNotifyEvent::Of([&](TObject*) { ++disconnects; });
    client.net.Close();
    EXPECT_EQ(disconnects, 0) << "nothing was open";
    client.net.SetConnected(true);
    client.net.SetConnected(false);
    client.net.Close();
    EXPECT_EQ(disconnects, 1);
    EXPECT_FALSE(client.net.Connected());
}

TEST(NetConnection, TimeOutDropsTheConnectionAndTheNextCallReconnects)
{
    TFakeAppServer fake;
    fake.OnCall = [](const Rpc::TCall& call) -> std::optional<Rpc::TMessage> {
        if (call.Method == QLatin1String("Slow"))
            return std::nullopt;  // never answers
        return Reply(call, QStringLiteral("fast"));
    };
    TClient client(fake);
    client.net.SetTimeout(1);
    try {
        client.net.AppServer().Call(QStringLiteral("Slow"));
        FAIL() << "no time-out";
    } catch (const EConnectionError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("O servidor de aplicação não respondeu em 1 s."));
    }
    EXPECT_FALSE(client.net.Connected());
    EXPECT_EQ(client.net.AppServer().Call(QStringLiteral("Fast")), QVariant(QStringLiteral("fast")));
    EXPECT_EQ(client.opens, 2);
}

TEST(NetConnection, ConnectionLostDuringACallIsAConnectionError)
{
    TFakeAppServer fake;
    fake.CloseOnCall = true;
    TClient client(fake);
    EXPECT_THROW(client.net.AppServer().Call(QStringLiteral("GetDados")), EConnectionError);
    EXPECT_FALSE(client.net.Connected());
    fake.CloseOnCall = false;
    fake.OnCall = [](const Rpc::TCall& call) -> std::optional<Rpc::TMessage> { return Reply(call, 1.0); };
    EXPECT_EQ(client.net.AppServer().Call(QStringLiteral("GetDados")), QVariant(1.0));
}

// A connection the server dropped while it was idle is noticed before the
// call is sent: the call goes out once, on a fresh connection.
TEST(NetConnection, IdleConnectionDroppedByTheServerReopensOnTheNextCall)
{
    TFakeAppServer fake;
    fake.OnCall = [](const Rpc::TCall& call) -> std::optional<Rpc::TMessage> { return Reply(call, call.Method); };
    TClient client(fake);
    EXPECT_EQ(client.net.AppServer().Call(QStringLiteral("a")), QVariant(QStringLiteral("a")));
    fake.DropClients();
    EXPECT_EQ(client.net.AppServer().Call(QStringLiteral("b")), QVariant(QStringLiteral("b")));
    EXPECT_EQ(client.opens, 2);
    EXPECT_EQ(fake.Calls.size(), 2);
}

// Bytes nobody asked for make the idle connection untrustworthy: the next
// call goes out on a fresh one.
TEST(NetConnection, UnaskedDataOnAnIdleConnectionMakesTheNextCallReconnect)
{
    TFakeAppServer fake;
    fake.OnCall = [](const Rpc::TCall& call) -> std::optional<Rpc::TMessage> { return Reply(call, call.Method); };
    TClient client(fake);
    client.net.AppServer().Call(QStringLiteral("a"));
    fake.Push(Rpc::EncodeFrame(Rpc::TResult{99, QStringLiteral("stale"), {}}, {}));
    // Loopback delivery may lag behind the write on a busy machine; give the
    // bytes time to reach the client's socket (a stale frame read as the
    // reply would fail the call instead of reconnecting).
    QThread::msleep(200);
    EXPECT_EQ(client.net.AppServer().Call(QStringLiteral("b")), QVariant(QStringLiteral("b")));
    EXPECT_EQ(client.opens, 2);
}

// The wait runs timers (and paints), and a call made from one of them on the
// same connection is refused rather than interleaved.
TEST(NetConnection, WaitRunsTimersAndRefusesANestedCall)
{
    TFakeAppServer fake;
    fake.DelayMs = 300;
    fake.OnCall = [](const Rpc::TCall& call) -> std::optional<Rpc::TMessage> { return Reply(call, 2.0); };
    TClient client(fake);
    client.net.Open();
    bool timerRan = false;
    QString nestedError;
    QTimer::singleShot(50, [&] {
        timerRan = true;
        try {
            client.net.AppServer().Call(QStringLiteral("nested"));
        } catch (const EConnectionError& e) {
            nestedError = e.Message();
        }
    });
    EXPECT_EQ(client.net.AppServer().Call(QStringLiteral("outer")), QVariant(2.0));
    EXPECT_TRUE(timerRan);
    EXPECT_EQ(nestedError, QStringLiteral("Já há uma chamada em andamento nesta conexão com o servidor de aplicação."));
    EXPECT_EQ(fake.Calls.size(), 1);
}

TEST(NetConnection, ThrowExceptionRaisesRefusalsAtTheCall)
{
    TFakeAppServer fake;
    fake.OnCall = [](const Rpc::TCall& call) -> std::optional<Rpc::TMessage> {
        return Reply(call, Rpc::Failure(QStringLiteral("A nota fiscal 1 não existe.")));
    };
    TClient client(fake);
    const QVariant raw = client.net.AppServer().Call(QStringLiteral("setConfRastrOK"));
    EXPECT_THROW(Consiste::CheckResultServ(raw, true, 0), EServerError);
    client.net.SetThrowException(true);
    try {
        client.net.AppServer().Call(QStringLiteral("setConfRastrOK"));
        FAIL() << "no error";
    } catch (const EServerError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("A nota fiscal 1 não existe."));
    }
}

struct TCheckCase {
    const char* name;
    QVariant result;
    bool raises;
    QVariant payload;
};

class CheckResultServ : public ::testing::TestWithParam<TCheckCase> {};

TEST_P(CheckResultServ, UnpacksOrRaises)
{
    const TCheckCase& c = GetParam();
    if (c.raises) {
        EXPECT_THROW(Consiste::CheckResultServ(c.result, true, 0), EServerError);
    } else {
        EXPECT_EQ(Consiste::CheckResultServ(c.result, true, 0), c.payload);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Results, CheckResultServ,
    ::testing::Values(TCheckCase{"successWithPayload", Rpc::Success(QStringLiteral("p")), false, QStringLiteral("p")},
                      TCheckCase{"successWithoutPayload", Rpc::Success(), false, QVariant()},
                      TCheckCase{"refusal", Rpc::Failure(QStringLiteral("não")), true, QVariant()},
                      TCheckCase{"bareValue", QVariant(true), true, QVariant()},
                      TCheckCase{"threeItems", QVariant(QVariantList{true, 1.0, 2.0}), true, QVariant()},
                      TCheckCase{"refusalWithoutText", QVariant(QVariantList{false, 1.0}), true, QVariant()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CheckResultServ, RefusalMessageIsTheServers)
{
    try {
        Consiste::CheckResultServ(Rpc::Failure(QStringLiteral("Tipo de lista inválido: X")), true, 0);
        FAIL() << "no error";
    } catch (const EServerError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Tipo de lista inválido: X"));
    }
    EXPECT_FALSE(Consiste::CheckResultServ(Rpc::Failure(QStringLiteral("x")), false, 0).isValid());
}

TEST(Lib00200, AsksTheStockModuleAndChecksTheAnswer)
{
    TFakeAppServer fake(QStringLiteral("Est00000.rdmEstoque"));
    fake.OnCall = [](const Rpc::TCall& call) -> std::optional<Rpc::TMessage> {
        if (call.Args[0].toString() == QLatin1String("bad"))
            return Reply(call, QStringLiteral("S"));
        return Reply(call, call.Method == QLatin1String("Utiliza_Almoxarifado"));
    };
    TClient client(fake, QStringLiteral("Est00000.rdmEstoque"));
    EXPECT_TRUE(Lib00200::Utiliza_Almoxarifado(&client.net, QStringLiteral("0001")));
    EXPECT_FALSE(Lib00200::Utiliza_LocalEstoque(&client.net, QStringLiteral("0001")));
    EXPECT_THROW(Lib00200::Utiliza_LocalEstoque(&client.net, QStringLiteral("bad")), EServerError);
    EXPECT_EQ(fake.Calls[0].Args, QVariantList{QStringLiteral("0001")});
}

// A reply of several megabytes tells, as it arrives, how much of the length
// its frame announced is in; a small one tells nothing.
TEST(NetConnection, ALongReplyReportsHowMuchOfItHasArrived)
{
    TFakeAppServer fake;
    const QString big(6'000'000, u'x');
    fake.OnCall = [&big](const Rpc::TCall& call) -> std::optional<Rpc::TMessage> {
        return Reply(call, call.Method == QLatin1String("big") ? QVariant(big) : QVariant(true));
    };
    QList<std::pair<qint64, qint64>> reports;
    TNetConnection::SetReceiveProgress([&reports](qint64 received, qint64 total) { reports.append({received, total}); });
    struct TUnbind {
        ~TUnbind() { TNetConnection::SetReceiveProgress(nullptr); }
    } unbind;
    TClient client(fake);
    EXPECT_EQ(client.net.AppServer().Call(QStringLiteral("small")), QVariant(true));
    EXPECT_TRUE(reports.isEmpty());

    EXPECT_EQ(client.net.AppServer().Call(QStringLiteral("big")).toString().size(), big.size());
    ASSERT_GE(reports.size(), 2) << "the share is reported as the reply comes in";
    const qint64 total = reports.first().second;
    EXPECT_GT(total, qint64(big.size()));
    EXPECT_LT(total, qint64(big.size()) + 100);
    for (int i = 1; i < reports.size(); ++i) {
        EXPECT_EQ(reports[i].second, total);
        EXPECT_GT(reports[i].first, reports[i - 1].first);
    }
    EXPECT_EQ(reports.last().first, total);
    EXPECT_LE(reports.size(), 101) << "at most once a hundredth, and once complete";
}

} // namespace

namespace {

struct TLoopbackCase {
    const char* name;
    const char* host;
    bool loopback;
};

class LoopbackHost : public ::testing::TestWithParam<TLoopbackCase> {};

// Only "localhost" among names: no name is looked up, so none of these asks
// a name server.
TEST_P(LoopbackHost, IsTheMachineItself)
{
    EXPECT_EQ(IsLoopbackHost(QString::fromLatin1(GetParam().host)), GetParam().loopback);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, LoopbackHost,
    ::testing::Values(TLoopbackCase{"v4", "127.0.0.1", true}, TLoopbackCase{"anyOf127", "127.45.6.7", true},
                      TLoopbackCase{"v6", "::1", true}, TLoopbackCase{"localhostName", "localhost", true},
                      TLoopbackCase{"unspecifiedV4", "0.0.0.0", false}, TLoopbackCase{"unspecifiedV6", "::", false},
                      TLoopbackCase{"privateV4", "10.1.2.3", false}, TLoopbackCase{"documentationV4", "192.0.2.10", false},
                      TLoopbackCase{"documentationV6", "2001:db8::5", false}, TLoopbackCase{"empty", "", false},
                      TLoopbackCase{"localhostUpperCase", "LocalHost", true},
                      TLoopbackCase{"localhostRooted", "localhost.", true},
                      TLoopbackCase{"mappedV4", "::ffff:127.0.0.1", true},
                      TLoopbackCase{"subdomainOfLocalhost", "app.localhost", false},
                      TLoopbackCase{"localhostPrefix", "localhost.example.com", false},
                      TLoopbackCase{"siteName", "app.filial.local", false}),
    [](const auto& info) { return std::string(info.param.name); });

// A name that resolves to loopback only is this machine: the password goes
// in the hello without TLS.
TEST(NetConnection, ACredentialedConnectionWithoutTlsReachesLocalhost)
{
    TFakeAppServer server;
    TNetConnection net;
    net.SetServerName(QStringLiteral("exp13000.rdmConfRastr"));
    net.SetHost(QStringLiteral("localhost"));
    net.SetPort(server.Port());
    net.SetSecurity({false, QString(), QStringLiteral("maria"), QStringLiteral("segredo123")});
    EXPECT_NO_THROW(net.Open());
    EXPECT_EQ(server.Hellos, 1);
}

} // namespace
