// The server under bad input, concurrent clients, a client that vanishes
// mid-call and a restart under a connected client.
#include "ServerSession.h"
#include "rpc/Envelope.h"
#include "rpc/Frame.h"
#include "rpc/Messages.h"

#include <QCborStreamWriter>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QThread>
#include <QtEndian>
#include <atomic>
#include <functional>
#include <cstdio>
#include <memory>
#include <vector>
#include <sys/resource.h>
#include <unistd.h>
#include <gtest/gtest.h>

namespace {

// A client that speaks the wire format by hand, blocking, to send what the
// real client never would.
class TRawClient {
public:
    explicit TRawClient(quint16 port)
    {
        socket_.connectToHost(QStringLiteral("127.0.0.1"), port);
        socket_.waitForConnected(5000);
    }
    bool Connected() const { return socket_.state() == QAbstractSocket::ConnectedState; }
    void Send(const QByteArray& bytes)
    {
        socket_.write(bytes);
        socket_.waitForBytesWritten(5000);
    }
    void Hello(const QString& module = Remote::ConfRastr, const QString& id = QString(), quint64 version = 1)
    {
        Send(Rpc::EncodeFrame(Rpc::THello{version, module, id, std::nullopt}, {}));
    }
    // The next message; nothing when the server closed the connection first.
    std::optional<Rpc::TMessage> Next()
    {
        const std::optional<QByteArray> payload = NextPayload();
        return payload ? std::optional(Rpc::DecodeMessage(*payload, {})) : std::nullopt;
    }
    std::optional<QByteArray> NextPayload()
    {
        Rpc::TFrameReader reader(Rpc::TRpcLimits().MaxFrameSize);
        for (;;) {
            if (reader.ReadFrom(socket_))
                return reader.TakeFrame();
            if (socket_.state() != QAbstractSocket::ConnectedState || !socket_.waitForReadyRead(10000))
                return reader.ReadFrom(socket_) ? std::optional(reader.TakeFrame()) : std::nullopt;
        }
    }
    // True when the server closes the connection (within 10 s).
    bool ClosedByServer()
    {
        while (socket_.state() == QAbstractSocket::ConnectedState) {
            if (!socket_.waitForReadyRead(10000))
                break;
            socket_.readAll();
        }
        return socket_.state() != QAbstractSocket::ConnectedState;
    }
    void Abort() { socket_.abort(); }

private:
    QTcpSocket socket_;
};

QByteArray Frame(const QByteArray& payload)
{
    QByteArray header(4, '\0');
    qToBigEndian(quint32(payload.size()), header.data());
    return header + payload;
}

QByteArray Length(quint32 length)
{
    QByteArray header(4, '\0');
    qToBigEndian(length, header.data());
    return header;
}

QByteArray CallFrame(const QString& method, const QVariantList& args)
{
    return Rpc::EncodeFrame(Rpc::TCall{1, method, args, {}}, {});
}

// A call of GetDados with the one argument `argument` writes, by hand.
QByteArray HandWrittenCall(const std::function<void(QCborStreamWriter&)>& argument)
{
    QByteArray payload;
    {
        QCborStreamWriter w(&payload);
        w.startArray(5);
        w.append(QStringLiteral("call"));
        w.append(quint64(1));
        w.append(QStringLiteral("GetDados"));
        w.startArray(1);
        argument(w);
        w.endArray();
        w.startArray(0);
        w.endArray();
        w.endArray();
    }
    return Frame(payload);
}

// A call whose single argument is nested `depth` arrays deep.
QByteArray DeepCall(int depth)
{
    return HandWrittenCall([depth](QCborStreamWriter& w) {
        for (int i = 0; i < depth; ++i)
            w.startArray(1);
        w.append(nullptr);
        for (int i = 0; i < depth; ++i)
            w.endArray();
    });
}

// A deletion whose delta holds one reading with the code `ium`, in a string
// field of `size` characters.
QByteArray DeletionCall(const QString& ium, int size = 100)
{
    TDataPacketBuilder delta({{QStringLiteral("CDFILIAL"), TFieldType::ftString, 4},
                              {QStringLiteral("NRLANCTONF"), TFieldType::ftString, 10},
                              {QStringLiteral("CDIUMPROD"), TFieldType::ftString, size}});
    delta.AddString(QStringLiteral("0001"));
    delta.AddString(QStringLiteral("0000000001"));
    delta.AddString(ium);
    delta.EndRow();
    return CallFrame(QStringLiteral("deleteIUMProd"), {QVariant::fromValue(delta.Build())});
}

const QVariantList getDadosArgs = {QStringLiteral("0001"), QStringLiteral("T"), QStringLiteral("T"),
                                   QVariant::fromValue(TDateTime()), QVariant::fromValue(TDateTime()),
                                   QVariant::fromValue(TDateTime()), QVariant::fromValue(TDateTime())};

class Resilience : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new TAppServerProcess(); }
    static void TearDownTestSuite() { delete server; }

    // Another client is served normally.
    static void ExpectOthersServed()
    {
        ASSERT_TRUE(server->Running());
        auto net = Connect(*server);
        EXPECT_GT(GetDados(*net, QStringLiteral("0001")).Invoices.RowCount(), 0);
    }

    static TAppServerProcess* server;
};

TAppServerProcess* Resilience::server = nullptr;

struct TBadInput {
    const char* name;
    bool hello;           // handshake first
    QByteArray bytes;
    QString faultCode;    // expected fault ("" for none)
    bool closes;          // the server closes the connection afterwards
    const char* mentions; // text the fault's message contains
};

class BadInput : public Resilience, public ::testing::WithParamInterface<TBadInput> {};

TEST_P(BadInput, IsAnsweredWithoutDisturbingOthers)
{
    const TBadInput& c = GetParam();
    TRawClient raw(server->Port());
    ASSERT_TRUE(raw.Connected());
    if (c.hello) {
        raw.Hello();
        ASSERT_TRUE(std::holds_alternative<Rpc::TWelcome>(*raw.Next()));
    }
    raw.Send(c.bytes);
    if (!c.faultCode.isEmpty()) {
        const auto reply = raw.Next();
        ASSERT_TRUE(reply.has_value());
        const auto* fault = std::get_if<Rpc::TFault>(&*reply);
        ASSERT_NE(fault, nullptr);
        EXPECT_EQ(fault->Code, c.faultCode);
        EXPECT_TRUE(fault->Message.contains(QString::fromUtf8(c.mentions))) << fault->Message.toStdString();
    }
    if (c.closes) {
        EXPECT_TRUE(raw.ClosedByServer());
    } else {
        // The same connection goes on serving.
        raw.Send(CallFrame(QStringLiteral("GetDados"), getDadosArgs));
        const auto reply = raw.Next();
        ASSERT_TRUE(reply.has_value());
        EXPECT_TRUE(std::holds_alternative<Rpc::TResult>(*reply));
    }
    ExpectOthersServed();
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BadInput,
    ::testing::Values(
        TBadInput{"garbage", false, "GET / HTTP/1.1\r\nHost: x\r\n\r\n", Rpc::Fault::Frame, true, "excede o limite"},
        TBadInput{"hugeLength", true, Length(0xFFFFFFFFu) + "abc", Rpc::Fault::Frame, true, "excede o limite"},
        TBadInput{"overRequestLimit", true, Length((1u << 20) + 1), Rpc::Fault::Frame, true, "excede o limite de 1048576 bytes"},
        TBadInput{"longText", true, CallFrame(QStringLiteral("GetDados"), {QString(4097, u'x')}), Rpc::Fault::Frame, true,
                  "texto maior que o limite de 4096 bytes"},
        // Texts inside a packet argument are request texts too.
        TBadInput{"longTextInPacket", true, DeletionCall(QString(900 * 1024, u'x')), Rpc::Fault::Frame, true,
                  "texto maior que o limite de 4096 bytes"},
        TBadInput{"textInPacketOneByteOver", true, DeletionCall(QString(4095, u'x') + QString(u'é')),
                  Rpc::Fault::Frame, true, "texto maior que o limite de 4096 bytes"},
        TBadInput{"fieldSizeOverLimit", true, DeletionCall(QStringLiteral("x"), 4097), Rpc::Fault::Frame, true,
                  "tamanho 4097 do campo 'CDIUMPROD' acima do limite"},
        TBadInput{"longestTextInPacket", true, DeletionCall(QString(4096, u'x'), 4096), QString(), false, ""},
        TBadInput{"zeroLength", true, Length(0), Rpc::Fault::Frame, true, "vazio"},
        TBadInput{"malformedCbor", true, Frame(QByteArray::fromHex("ffffff")), Rpc::Fault::Frame, true, "malformada"},
        TBadInput{"tooDeep", true, DeepCall(200), Rpc::Fault::Frame, true, "aninhamento"},
        TBadInput{"callBeforeHello", false, CallFrame(QStringLiteral("GetDados"), getDadosArgs), Rpc::Fault::Sequence,
                  true, "hello"},
        TBadInput{"secondHello", true, Rpc::EncodeFrame(Rpc::THello{1, Remote::ConfRastr, QString(), std::nullopt}, {}),
                  Rpc::Fault::Sequence, true, "chamada"},
        TBadInput{"unknownModule", false, Rpc::EncodeFrame(Rpc::THello{1, QStringLiteral("Foo.rdmBar"), QString(), std::nullopt}, {}),
                  Rpc::Fault::Module, true, "Foo.rdmBar"},
        TBadInput{"wrongIdentifier", false,
                  Rpc::EncodeFrame(Rpc::THello{1, Remote::ConfRastr, QStringLiteral("{00000000-0000-0000-0000-000000000000}"), std::nullopt}, {}),
                  Rpc::Fault::Identifier, true, "identificador"},
        TBadInput{"unsupportedVersion", false, Rpc::EncodeFrame(Rpc::THello{9, Remote::ConfRastr, QString(), std::nullopt}, {}),
                  Rpc::Fault::Version, true, "Versão 9"},
        TBadInput{"unknownMethod", true, CallFrame(QStringLiteral("DropEverything"), {}), Rpc::Fault::Method, false,
                  "exp13000.rdmConfRastr.DropEverything"},
        TBadInput{"wrongArgumentCount", true, CallFrame(QStringLiteral("GetDados"), {QStringLiteral("0001")}),
                  Rpc::Fault::Arguments, false, "GetDados: esperados 7, recebidos 1"},
        TBadInput{"wrongArgumentKind", true,
                  CallFrame(QStringLiteral("setConfRastrOK"), {QStringLiteral("0001"), 12.0}), Rpc::Fault::Arguments,
                  false, "Argumento 2 inválido na chamada de exp13000.rdmConfRastr.setConfRastrOK: esperado texto, recebido número"}),
    [](const auto& info) { return std::string(info.param.name); });

// A client of the base protocol (a hello of four items) gets the base
// welcome and plain packets, byte for byte what it has always read; clients
// that agree on the compact form, and on compression, get the same work list
// in fewer bytes.
TEST_F(Resilience, ClientsOldAndNewGetTheSameWorkList)
{
    TRawClient raw(server->Port());
    raw.Hello();
    const std::optional<QByteArray> welcome = raw.NextPayload();
    ASSERT_TRUE(welcome.has_value());
    EXPECT_EQ(quint8(welcome->at(0)), 0x84) << "a welcome of four items";
    raw.Send(CallFrame(Remote::GetDados, getDadosArgs));
    const std::optional<QByteArray> reply = raw.NextPayload();
    ASSERT_TRUE(reply.has_value());
    const Rpc::TMessage message = Rpc::DecodeMessage(*reply, {});
    EXPECT_EQ(Rpc::EncodeFrame(message, {}).mid(4), *reply) << "every packet in the plain form";
    const QVariantList plain = Consiste::CheckResultServ(std::get<Rpc::TResult>(message).Value, true, 0).toList();
    ASSERT_EQ(plain.size(), 3);

    for (const auto compression : {TNetConnection::TCompression::Auto, TNetConnection::TCompression::Always}) {
        auto net = Connect(*server);
        net->SetCompression(compression);
        const TWorkListReply list = GetDados(*net, QStringLiteral("0001"));
        const bool compressed = compression == TNetConnection::TCompression::Always;
        EXPECT_EQ(net->Features(), (Rpc::TFeatures{.Compact = true, .Zstd = compressed, .RequestId = true}))
            << "no compression on loopback unless asked";
        EXPECT_TRUE(list.Invoices == plain[0].value<TDataPacket>());
        EXPECT_TRUE(list.Items == plain[1].value<TDataPacket>());
        EXPECT_TRUE(list.Readings == plain[2].value<TDataPacket>());
        EXPECT_LT(net->BytesReceived(), reply->size() / (compressed ? 4 : 2) * 1.5);
    }
}

TEST_F(Resilience, TruncatedFrameHoldsOnlyItsOwnConnection)
{
    TRawClient raw(server->Port());
    raw.Hello();
    ASSERT_TRUE(raw.Next().has_value());
    raw.Send(Length(100) + QByteArray(10, 'x'));
    ExpectOthersServed();
    raw.Abort();
    ExpectOthersServed();
}

TEST_F(Resilience, ClientVanishingMidCallDoesNotDisturbTheServer)
{
    for (int i = 0; i < 3; ++i) {
        TRawClient raw(server->Port());
        raw.Hello();
        ASSERT_TRUE(raw.Next().has_value());
        raw.Send(CallFrame(QStringLiteral("GetDados"), getDadosArgs));
        raw.Abort();  // gone before the reply: the server writes into a closed socket
    }
    ExpectOthersServed();
    ExpectOthersServed();
}

TEST_F(Resilience, LogsOneLinePerCall)
{
    auto net = Connect(*server);
    GetDados(*net, QStringLiteral("0002"));
    net->AppServer().Call(Remote::SetConfRastrOK, {QStringLiteral("0002"), QStringLiteral("9999999999")});
    const QString log = server->Log();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("exp13000\\.rdmConfRastr\\.GetDados \\d+ ms \\d+ linha\\(s\\)")).match(log).hasMatch());
    EXPECT_TRUE(log.contains(QStringLiteral("exp13000.rdmConfRastr.setConfRastrOK")));
    EXPECT_TRUE(log.contains(QStringLiteral("recusado: A nota fiscal 9999999999 da filial 0002 não existe.")));
}

// The next message is a fault of `code` whose message mentions `mentions`.
void ExpectFault(TRawClient& raw, const QString& code, const QString& mentions = QString())
{
    const auto reply = raw.Next();
    ASSERT_TRUE(reply.has_value());
    const auto* fault = std::get_if<Rpc::TFault>(&*reply);
    ASSERT_NE(fault, nullptr);
    EXPECT_EQ(fault->Code, code);
    EXPECT_TRUE(fault->Message.contains(mentions)) << fault->Message.toStdString();
}

// The server's peak resident memory, in bytes (VmHWM).
qint64 PeakMemory(const TAppServerProcess& server)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(server.Pid()));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

// A call of `bytes` (within a few) whose one argument is an array of nulls,
// the value that costs most to decode per byte of frame: more than the
// decoding bound allows, so the server refuses it as malformed.
QByteArray MaximalCall(qint64 bytes)
{
    return HandWrittenCall([items = bytes - 32](QCborStreamWriter& w) {
        w.startArray(quint64(items));
        for (qint64 i = 0; i < items; ++i)
            w.append(nullptr);
        w.endArray();
    });
}

// A request of the largest size, alone and then eight at once: the server
// answers each (its decoded form would pass the decoding bound) and its peak
// memory grows by at most MemoryMultiple times the bytes it was sent at once.
TEST(Memory, MaximalRequestsCostABoundedMultipleOfTheirSize)
{
    constexpr qint64 MemoryMultiple = 64;
    TAppServerProcess server;
    const QByteArray call = MaximalCall((1 << 20) - 64);
    ASSERT_LE(call.size(), (1 << 20) + 4);

    auto send = [&](int clients) {
        std::vector<std::unique_ptr<TRawClient>> raws;
        for (int i = 0; i < clients; ++i) {
            raws.push_back(std::make_unique<TRawClient>(server.Port()));
            raws.back()->Hello();
            ASSERT_TRUE(raws.back()->Next().has_value());
        }
        for (auto& raw : raws)
            raw->Send(call);
        for (auto& raw : raws)
            ExpectFault(*raw, Rpc::Fault::Frame, QStringLiteral("memória"));
    };
    const qint64 before = PeakMemory(server);
    ASSERT_GT(before, 0);
    send(1);
    const qint64 one = PeakMemory(server) - before;
    send(8);
    const qint64 eight = PeakMemory(server) - before;
    std::printf("peak growth: one request of %lld bytes: %lld bytes; eight at once: %lld bytes\n",
                qlonglong(call.size()), qlonglong(one), qlonglong(eight));
    EXPECT_LE(one, MemoryMultiple * call.size());
    EXPECT_LE(eight, MemoryMultiple * 8 * call.size());
}

// Requests beyond the process's budget are refused as "busy" before they
// are read, while the requests already admitted and other clients are served.
TEST(Memory, RequestsBeyondTheBudgetAreRefusedWhileOthersAreServed)
{
    TAppServerProcess server(TAppServerProcess::TOptions{1, true, 4, {QStringLiteral("--request-budget"), QStringLiteral("2000000")}, {}});
    const QByteArray call = MaximalCall(900000);
    std::vector<std::unique_ptr<TRawClient>> holders;
    for (int i = 0; i < 2; ++i) {
        holders.push_back(std::make_unique<TRawClient>(server.Port()));
        holders.back()->Hello();
        ASSERT_TRUE(holders.back()->Next().has_value());
        holders.back()->Send(call.left(1000));  // announced whole, held half-read
    }
    TRawClient late(server.Port());
    late.Hello();
    ASSERT_TRUE(late.Next().has_value());
    late.Send(call.left(1000));
    ExpectFault(late, Rpc::Fault::Busy, QStringLiteral("sem memória livre"));
    EXPECT_TRUE(late.ClosedByServer());

    auto net = Connect(server);
    EXPECT_GT(GetDados(*net, QStringLiteral("0001")).Invoices.RowCount(), 0) << "small calls still fit";
    for (auto& holder : holders) {
        holder->Send(call.mid(1000));
        ExpectFault(*holder, Rpc::Fault::Frame, QStringLiteral("memória"));
    }
    // Answered, they gave their share back.
    TRawClient again(server.Port());
    again.Hello();
    ASSERT_TRUE(again.Next().has_value());
    again.Send(call);
    ExpectFault(again, Rpc::Fault::Frame, QStringLiteral("memória"));
}

// One connection over the cap is refused as busy; one that never says hello,
// and one idle between calls, are closed; the client's next call reconnects.
TEST(Connections, CapHelloDeadlineAndIdleTimeOut)
{
    TAppServerProcess server(TAppServerProcess::TOptions{
        1, true, 4,
        {QStringLiteral("--max-connections"), QStringLiteral("3"), QStringLiteral("--hello-timeout"), QStringLiteral("1"),
         QStringLiteral("--idle-timeout"), QStringLiteral("2")},
        {}});
    std::vector<std::unique_ptr<TRawClient>> silent;
    for (int i = 0; i < 3; ++i)
        silent.push_back(std::make_unique<TRawClient>(server.Port()));
    QThread::msleep(200);
    TRawClient over(server.Port());
    ExpectFault(over, Rpc::Fault::Busy, QStringLiteral("limite de 3 conexões"));
    EXPECT_TRUE(over.ClosedByServer());
    for (auto& raw : silent)
        EXPECT_TRUE(raw->ClosedByServer()) << "no hello within the deadline";

    auto net = Connect(server);
    const int invoices = GetDados(*net, QStringLiteral("0001")).Invoices.RowCount();
    QThread::msleep(3000);
    EXPECT_EQ(GetDados(*net, QStringLiteral("0001")).Invoices.RowCount(), invoices) << "reconnected after the idle close";
    const QString log = server.Log();
    EXPECT_TRUE(log.contains(QStringLiteral("sem apresentação em 1000 ms"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("ociosa por mais de 2000 ms"))) << log.toStdString();
}

// CPU time the process has used, in clock ticks.
qint64 CpuTicks(const TAppServerProcess& server)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(server.Pid()));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.value(11).toLongLong() + fields.value(12).toLongLong();  // utime, stime
}

// Out of file descriptors the server does not spin on accept(); once
// sockets close it serves again.
TEST(Connections, OutOfDescriptorsNoBusyLoopAndServiceComesBack)
{
    TAppServerProcess server(TAppServerProcess::TOptions{1, true, 1, {}, {}});
    {
        auto warm = Connect(server);  // the worker opens its database first
        GetDados(*warm, QStringLiteral("0001"));
    }
    QThread::msleep(200);
    const qint64 open = QDir(QStringLiteral("/proc/%1/fd").arg(server.Pid())).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size();
    ASSERT_GT(open, 0);
    const rlimit low{rlim_t(open + 2), rlim_t(open + 2)};
    rlimit previous{};
    ASSERT_EQ(::prlimit(pid_t(server.Pid()), RLIMIT_NOFILE, &low, &previous), 0);

    std::vector<std::unique_ptr<TRawClient>> raws;
    for (int i = 0; i < 8; ++i)
        raws.push_back(std::make_unique<TRawClient>(server.Port()));
    QThread::msleep(300);
    const qint64 before = CpuTicks(server);
    QThread::msleep(2000);
    const qint64 used = CpuTicks(server) - before;
    EXPECT_LT(used, sysconf(_SC_CLK_TCK) / 4) << "CPU ticks in 2 s: " << used;
    EXPECT_TRUE(server.Log().contains(QStringLiteral("falha ao aceitar conexão"))) << server.Log().toStdString();

    raws.clear();
    QThread::msleep(1500);
    auto net = Connect(server);
    EXPECT_GT(GetDados(*net, QStringLiteral("0001")).Invoices.RowCount(), 0);
    ::prlimit(pid_t(server.Pid()), RLIMIT_NOFILE, &previous, nullptr);
}

// A client's value is quoted cut in the refusal and in the log, and what it
// holds cannot start a log line of its own.
TEST_F(Resilience, ClientValuesAreQuotedCutAndCannotForgeLogLines)
{
    auto net = Connect(*server);
    const QString longInvoice = QString(4000, u'9');
    const QString refusal = Refusal(net->AppServer().Call(Remote::SetConfRastrOK, {QStringLiteral("0002"), longInvoice}));
    EXPECT_LT(refusal.size(), 300) << refusal.toStdString();
    EXPECT_TRUE(refusal.contains(QStringLiteral("nota fiscal ") + QString(Rpc::QuotedLength, u'9')
                                 + QStringLiteral("… (cortado: mais 3900 caracteres) da filial 0002")))
        << refusal.toStdString();

    const QString forged = QStringLiteral("1\nFORJADA 0 ms");
    Refusal(net->AppServer().Call(Remote::SetConfRastrOK, {QStringLiteral("0002"), forged}));
    TRawClient raw(server->Port());
    raw.Hello();
    ASSERT_TRUE(raw.Next().has_value());
    raw.Send(CallFrame(QStringLiteral("x\r\ny") + QString(3000, u'z'), {}));
    const auto fault = raw.Next();
    ASSERT_TRUE(fault.has_value());
    ASSERT_TRUE(std::holds_alternative<Rpc::TFault>(*fault));
    EXPECT_LT(std::get<Rpc::TFault>(*fault).Message.size(), 300);

    const QStringList lines = server->Log().split(u'\n');
    EXPECT_TRUE(server->Log().contains(QStringLiteral("nota fiscal 1\\nFORJADA 0 ms da filial")));
    EXPECT_TRUE(server->Log().contains(QStringLiteral("x\\r\\nyzzz")));
    for (const QString& line : lines) {
        EXPECT_FALSE(line.startsWith(QStringLiteral("FORJADA")));
        EXPECT_LT(line.size(), 1200) << line.left(100).toStdString();
    }
}

// A failure inside a method reaches the client as a Portuguese message; the
// database's own text goes to the log only.
TEST(InternalFault, TellsTheClientInPortugueseAndLogsTheDetails)
{
    TAppServerProcess server;
    TDbView(server).Exec(QStringLiteral("DROP TABLE LEITURAIUM"));
    auto net = Connect(server);
    try {
        GetDados(*net, QStringLiteral("0001"));
        ADD_FAILURE() << "GetDados worked without its table";
    } catch (const Exception& e) {
        const QString message = e.Message();
        EXPECT_TRUE(message.contains(QStringLiteral("Erro interno do servidor de aplicação em exp13000.rdmConfRastr.GetDados. "
                                                    "A operação não foi concluída; os detalhes estão no registro do servidor.")))
            << message.toStdString();
        EXPECT_FALSE(message.contains(QStringLiteral("LEITURAIUM"), Qt::CaseInsensitive)) << message.toStdString();
    }
    const QString log = server.Log();
    const qsizetype at = log.indexOf(QStringLiteral("os detalhes estão no registro do servidor. "));
    ASSERT_GE(at, 0) << log.toStdString();
    EXPECT_TRUE(log.mid(at, 300).contains(QStringLiteral("leituraium"), Qt::CaseInsensitive)) << log.toStdString();
}

// Four clients read the work list while four delete readings, each from its
// own invoice: every call succeeds, every deletion is kept, every read is
// consistent (the items' reading counts add up to the readings sent).
TEST(Concurrency, ReadersAndDeletersLoseNothing)
{
    TAppServerProcess server;
    TDbView db(server);
    auto setup = Connect(server);
    const TWorkListReply list = GetDados(*setup, QStringLiteral("0001"));
    const TDataPacket& readings = list.Readings;

    // Four invoices with at least 10 readings each, one per deleter.
    QList<std::vector<int>> work;
    QString current;
    std::vector<int> rows;
    for (int r = 0; r <= readings.RowCount(); ++r) {
        const QString nf = r < readings.RowCount() ? readings.String(r, Col(readings, "NRLANCTONF")) : QString();
        if (nf != current) {
            if (rows.size() >= 10 && work.size() < 4)
                work.append(std::vector<int>(rows.begin(), rows.begin() + 10));
            rows.clear();
            current = nf;
        }
        rows.push_back(r);
    }
    ASSERT_EQ(work.size(), 4);
    const qint64 before = db.Count(QStringLiteral("LEITURAIUM"));

    std::atomic<int> errors{0}, inconsistent{0}, deleted{0}, reads{0};
    QList<QThread*> threads;
    for (int t = 0; t < 8; ++t) {
        threads.append(QThread::create([&, t] {
            auto net = Connect(server);
            try {
                if (t < 4) {
                    for (int i = 0; i < 8; ++i) {
                        const TWorkListReply reply = GetDados(*net, QStringLiteral("0001"));
                        double sum = 0;
                        for (int r = 0; r < reply.Items.RowCount(); ++r)
                            sum += reply.Items.Number(r, Col(reply.Items, "QTRESPRODPED"));
                        if (sum != reply.Readings.RowCount())
                            ++inconsistent;
                        ++reads;
                    }
                } else {
                    for (int row : work[t - 4]) {
                        const QVariant result = net->AppServer().Call(
                            Remote::DeleteIUMProd, {QVariant::fromValue(readings.Select({row}))});
                        Consiste::CheckResultServ(result, true, 0);
                        ++deleted;
                    }
                }
            } catch (const Exception& e) {
                ADD_FAILURE() << e.Message().toStdString();
                ++errors;
            }
        }));
    }
    for (QThread* thread : threads)
        thread->start();
    for (QThread* thread : threads) {
        thread->wait();
        delete thread;
    }
    EXPECT_EQ(errors, 0);
    EXPECT_EQ(inconsistent, 0);
    EXPECT_EQ(reads, 32);
    EXPECT_EQ(deleted, 40);
    EXPECT_EQ(db.Count(QStringLiteral("LEITURAIUM")), before - 40);
    EXPECT_EQ(db.Value(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA WHERE IDEVENTO = 'E'")).toInt(), 40);
}

TEST(Restart, NextCallReconnectsAndSucceeds)
{
    TAppServerProcess server;
    TNetConnection net;
    int opens = 0;
    net.SetServerName(Remote::ConfRastr);
    net.BeforeConnect = TNotifyEvent::Of([&](TObject*) {
        ++opens;
        net.SetHost(server.Host());
        net.SetPort(server.Port());
    });
    const int invoices = GetDados(net, QStringLiteral("0001")).Invoices.RowCount();
    const quint16 port = server.Port();

    EXPECT_EQ(server.Stop(), 0) << "SIGTERM ends the server cleanly";
    EXPECT_TRUE(server.Log().contains(QStringLiteral("appserver: encerrado")));
    server.Start(port);

    EXPECT_EQ(GetDados(net, QStringLiteral("0001")).Invoices.RowCount(), invoices);
    EXPECT_EQ(opens, 2);
}

struct TBadCommandLine {
    const char* name;
    QStringList arguments;
    const char* message;
};

class CommandLine : public ::testing::TestWithParam<TBadCommandLine> {};

TEST_P(CommandLine, IsRefusedWithAMessage)
{
    QString output;
    EXPECT_EQ(TAppServerProcess::RunOnce(GetParam().arguments, &output), 2);
    EXPECT_TRUE(output.contains(QString::fromUtf8(GetParam().message))) << output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CommandLine,
    ::testing::Values(TBadCommandLine{"badListen", {QStringLiteral("--listen"), QStringLiteral("localhost")}, "--listen"},
                      TBadCommandLine{"badPort", {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:70000")}, "--listen"},
                      TBadCommandLine{"zeroThreads", {QStringLiteral("--threads"), QStringLiteral("0")}, "threads"},
                      TBadCommandLine{"badScale", {QStringLiteral("--init-demo"), QStringLiteral("--scale"), QStringLiteral("x")}, "Escala"},
                      TBadCommandLine{"unknownOption", {QStringLiteral("--bogus")}, "bogus"},
                      TBadCommandLine{"rolesOnSqlite", {QStringLiteral("--create-roles"), QStringLiteral("--database"),
                                                        QStringLiteral("x.sqlite")}, "exige o banco PostgreSQL"},
                      TBadCommandLine{"upperCaseRole", {QStringLiteral("--create-roles"), QStringLiteral("--database"),
                                                        QStringLiteral("postgresql:///x"), QStringLiteral("--server-role"),
                                                        QStringLiteral("Servidor")}, "--server-role: 'Servidor'"},
                      TBadCommandLine{"postgresOwnRole", {QStringLiteral("--create-roles"), QStringLiteral("--database"),
                                                          QStringLiteral("postgresql:///x"), QStringLiteral("--station-role"),
                                                          QStringLiteral("pg_read_all_data")}, "--station-role"},
                      TBadCommandLine{"roleWithoutCreateRoles", {QStringLiteral("--station-role"), QStringLiteral("estacao")},
                                      "só valem com --create-roles"}),
    [](const auto& info) { return std::string(info.param.name); });

// A mistyped path is refused, and creates nothing, unless a new database is
// asked for.
TEST(MissingDatabase, IsRefusedUnlessAskedToCreate)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("nao-existe.sqlite"));
    QString output;
    EXPECT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"),
                                          QStringLiteral("--database"), path}, &output), 1);
    EXPECT_TRUE(output.contains(QStringLiteral("appserver: o banco de dados %1 não existe.").arg(path))) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("--create"))) << output.toStdString();
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST(InitDemo, RefusesADatabaseThatHasData)
{
    TAppServerProcess server;
    server.Stop();
    QString output;
    EXPECT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--init-demo"), QStringLiteral("--database"), server.DatabasePath()}, &output), 1);
    EXPECT_TRUE(output.contains(QStringLiteral("já tem notas fiscais"))) << output.toStdString();
}

} // namespace
