// A site's security against the real server: TLS with a certificate made at
// test time, user accounts checked in the hello, the delay and back-off of
// wrong passwords, calls refused before authentication, the user in the
// audit, and the command lines and accounts files the server refuses.
#include "ServerSession.h"
#include "ServerSite.h"
#include "WaitFor.h"
#include "netconn/NoticeChannel.h"
#include "rpc/Frame.h"
#include "rpc/Messages.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <csignal>
#include <unistd.h>

namespace {

const QString password = TServerSite::Password;

// A TLS client that writes frames by hand: several messages at once, or a
// hello the real client would not send.
class TRawTlsClient {
public:
    TRawTlsClient(quint16 port, const QString& authority)
    {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.addCaCertificates(QSslCertificate::fromPath(authority));
        socket_.setSslConfiguration(configuration);
        socket_.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
        socket_.waitForEncrypted(10000);
    }
    bool Encrypted() const { return socket_.isEncrypted(); }
    void Send(const QByteArray& bytes) { socket_.write(bytes); }
    // The next message; nothing when the server closed the connection first.
    std::optional<Rpc::TMessage> Next()
    {
        for (;;) {
            if (reader_.ReadFrom(socket_))
                return Rpc::DecodeMessage(reader_.TakeFrame(), {});
            if (socket_.state() != QAbstractSocket::ConnectedState || !socket_.waitForReadyRead(15000))
                return std::nullopt;
        }
    }
    // Whether a message has arrived, without waiting for one.
    bool Answered()
    {
        socket_.waitForReadyRead(0);
        return socket_.bytesAvailable() > 0;
    }
    bool ClosedByServer()
    {
        while (socket_.state() == QAbstractSocket::ConnectedState && socket_.waitForReadyRead(10000))
            socket_.readAll();
        return socket_.state() != QAbstractSocket::ConnectedState;
    }

private:
    QSslSocket socket_;
    Rpc::TFrameReader reader_{Rpc::TRpcLimits().MaxFrameSize};
};

QByteArray Hello(std::optional<Rpc::TCredentials> credentials)
{
    return Rpc::EncodeFrame(Rpc::THello{1, Remote::ConfRastr, QString(), Rpc::TFeatures{}, std::move(credentials)}, {});
}

QByteArray ConfirmCall(const QString& invoice)
{
    return Rpc::EncodeFrame(Rpc::TCall{1, Remote::SetConfRastrOK, {QStringLiteral("0001"), invoice}, {}}, {});
}

TNetConnection::TSecurity SiteSecurity(const TServerSite& site, const QString& user, const QString& secret)
{
    return TNetConnection::TSecurity{true, site.Certificate(), user, secret};
}

class Security : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        secure = new TSiteServer;
        site = &secure->Site;
        server = &secure->Server;
    }
    static void TearDownTestSuite() { delete secure; }

    static std::unique_ptr<TNetConnection> Station(const QString& user = QStringLiteral("maria"),
                                                   const QString& secret = password)
    {
        auto net = Connect(*server);
        net->SetSecurity(SiteSecurity(*site, user, secret));
        return net;
    }
    // The invoices of branch 0001 a confirmation would accept: every item
    // complete, none with both quantities 0.
    static QStringList ReadyInvoices()
    {
        auto net = Station();
        const TDataPacket items = GetDados(*net, QStringLiteral("0001")).Items;
        QMap<QString, bool> ready;
        for (int r = 0; r < items.RowCount(); ++r) {
            const bool complete = items.String(r, Col(items, "IDSTATUSSEPSNCM")) != QLatin1String("N")
                                  && (items.Number(r, Col(items, "QTITEMPROD")) != 0
                                      || items.Number(r, Col(items, "QTRESPRODPED")) != 0);
            const QString invoice = items.String(r, Col(items, "NRLANCTONF"));
            ready[invoice] = ready.value(invoice, true) && complete;
        }
        QStringList invoices;
        for (auto it = ready.cbegin(); it != ready.cend(); ++it)
            if (it.value())
                invoices.append(it.key());
        if (invoices.size() < 2)
            throw std::runtime_error("the demo data has fewer than two ready invoices");
        return invoices;
    }
    static QString Confirmation(const QString& invoice)
    {
        return TDbView(*server)
            .Value(QStringLiteral("SELECT IDCONFRASTR FROM NOTAFISCAL WHERE CDFILIAL = '0001' AND NRLANCTONF = ?"), {invoice})
            .toString();
    }

    static inline TSiteServer* secure = nullptr;
    static inline TServerSite* site = nullptr;
    static inline TAppServerProcess* server = nullptr;
};

// A deletion, a reading and a confirmation over TLS, each audited with the
// user who made it.
TEST_F(Security, RightPasswordOverTlsIsServedAndTheAuditNamesTheUser)
{
    auto net = Station();
    TWorkListReply list = GetDados(*net, QStringLiteral("0001"));
    ASSERT_GT(list.Readings.RowCount(), 0);
    EXPECT_TRUE(net->Features().Compact);

    // One reading deleted, and stored again from the same code.
    const TDataPacket reading = list.Readings.Select({0});
    const QString invoice = reading.String(0, Col(reading, "NRLANCTONF"));
    const QString code = reading.String(0, Col(reading, "CDIUMPROD"));
    EXPECT_EQ(Refusal(net->AppServer().Call(Remote::DeleteIUMProd, {QVariant::fromValue(reading)})), QString());
    EXPECT_EQ(Refusal(net->AppServer().Call(Remote::SetLeituraIUM, {QStringLiteral("0001"), invoice, code})), QString());

    auto other = Station(QStringLiteral("joao"));
    const QString confirmed = ReadyInvoices().last();
    EXPECT_EQ(Refusal(other->AppServer().Call(Remote::SetConfRastrOK, {QStringLiteral("0001"), confirmed})), QString());

    const QList<QVariantList> audit = TDbView(*server).Rows(
        QStringLiteral("SELECT IDEVENTO, NRLANCTONF, CDUSUARIO FROM AUDITORIA ORDER BY NRSEQAUDIT"));
    const QList<QVariantList> expected = {{QStringLiteral("E"), invoice, QStringLiteral("maria")},
                                          {QStringLiteral("L"), invoice, QStringLiteral("maria")},
                                          {QStringLiteral("C"), confirmed, QStringLiteral("joao")}};
    ASSERT_EQ(audit.size(), expected.size());
    for (qsizetype i = 0; i < audit.size(); ++i)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(audit[i][c].toString(), expected[i][c].toString()) << "audit row " << i << " column " << c;
}

// The first wrong password waits the base delay; the next from the same
// address twice that, while connected stations go on being served. A call sent
// behind a wrong hello is never run.
TEST_F(Security, WrongPasswordIsRefusedAfterADelayThatGrows)
{
    // Successes forget the failures before them: these come first.
    const QString invoice = ReadyInvoices().first();
    auto good = Station();
    good->Open();
    QElapsedTimer clock;
    clock.start();
    auto wrong = Station(QStringLiteral("maria"), QStringLiteral("senha-errada"));
    try {
        wrong->Open();
        FAIL() << "a wrong password was accepted";
    } catch (const EServerError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Usuário ou senha inválidos."));
    }
    EXPECT_GE(clock.elapsed(), 1000);

    TRawTlsClient raw(server->Port(), site->Certificate());
    ASSERT_TRUE(raw.Encrypted());
    clock.restart();
    raw.Send(Hello(Rpc::TCredentials{QStringLiteral("ninguem"), password}) + ConfirmCall(invoice));

    EXPECT_GT(GetDados(*good, QStringLiteral("0001")).Invoices.RowCount(), 0);
    EXPECT_FALSE(raw.Answered()) << "a station's call waited for a wrong password's delay";

    const auto reply = raw.Next();
    ASSERT_TRUE(reply.has_value());
    const auto* fault = std::get_if<Rpc::TFault>(&*reply);
    ASSERT_NE(fault, nullptr);
    EXPECT_EQ(fault->Code, Rpc::Fault::Auth);
    EXPECT_GE(clock.elapsed(), 2000);
    EXPECT_TRUE(raw.ClosedByServer());
    EXPECT_EQ(Confirmation(invoice), QStringLiteral("N"));

    const QString log = server->Log();
    EXPECT_TRUE(log.contains(QStringLiteral("usuário ou senha inválidos para ninguem"))) << log.toStdString();
    EXPECT_FALSE(log.contains(password)) << "a password reached the log";
}

// Without credentials the hello is refused at once, and the call sent behind
// it is not run.
TEST_F(Security, CallWithoutAuthenticationIsRefused)
{
    const QString invoice = ReadyInvoices().first();
    TRawTlsClient raw(server->Port(), site->Certificate());
    ASSERT_TRUE(raw.Encrypted());
    raw.Send(Hello(std::nullopt) + ConfirmCall(invoice));
    const auto reply = raw.Next();
    ASSERT_TRUE(reply.has_value());
    const auto* fault = std::get_if<Rpc::TFault>(&*reply);
    ASSERT_NE(fault, nullptr);
    EXPECT_EQ(fault->Code, Rpc::Fault::Auth);
    EXPECT_TRUE(fault->Message.contains(QStringLiteral("exige usuário e senha"))) << fault->Message.toStdString();
    EXPECT_TRUE(raw.ClosedByServer());
    EXPECT_EQ(Confirmation(invoice), QStringLiteral("N"));
}

// The link is TLS only, with a certificate the station must trust.
TEST_F(Security, PlainLinksAndUntrustedCertificatesAreRefused)
{
    auto plain = Station();
    plain->SetSecurity(TNetConnection::TSecurity{false, QString(), QStringLiteral("maria"), password});
    EXPECT_THROW(plain->Open(), EConnectionError);

    auto untrusted = Station();
    untrusted->SetSecurity(TNetConnection::TSecurity{true, QString(), QStringLiteral("maria"), password});
    try {
        untrusted->Open();
        FAIL() << "a certificate of no trusted authority was accepted";
    } catch (const EConnectionError& e) {
        EXPECT_TRUE(e.Message().contains(QStringLiteral("não é de uma autoridade confiável"))) << e.Message().toStdString();
    }
}

// The notices' own connection logs in over TLS as the calls' do, and hears
// another station's confirmation with the user who made it; with a wrong
// password it hears nothing and says why.
TEST_F(Security, NoticesReachAStationOverTlsAndAWrongPasswordSaysWhy)
{
    auto listen = [](TNoticeChannel& channel, QList<Rpc::TNotice>& heard, const QString& secret) {
        channel.SetServer(server->Host(), server->Port(), SiteSecurity(*site, QStringLiteral("joao"), secret));
        channel.SetStation({QStringLiteral("joao"), QStringLiteral("EST-J")});
        channel.Listen([&heard](const Rpc::TNotice& n) { heard << n; });
        channel.Follow(QStringLiteral("0001"));
    };
    TNoticeChannel channel;
    QList<Rpc::TNotice> heard;
    listen(channel, heard, password);
    ASSERT_TRUE(WaitFor([&] { return channel.Open(); }, 10000)) << channel.Status().toStdString();

    const QString invoice = ReadyInvoices().first();
    EXPECT_EQ(Refusal(Station()->AppServer().Call(Remote::SetConfRastrOK, {QStringLiteral("0001"), invoice})), QString());
    const auto confirmation = [&]() -> const Rpc::TNotice* {
        for (const Rpc::TNotice& n : heard)
            if (n.Event == Rpc::Notice::Confirmation)
                return &n;
        return nullptr;
    };
    ASSERT_TRUE(WaitFor([&] { return confirmation() != nullptr; }));
    EXPECT_EQ(confirmation()->Invoice, invoice);
    EXPECT_EQ(confirmation()->User, QStringLiteral("maria"));

    TNoticeChannel wrong;
    QList<Rpc::TNotice> unheard;
    listen(wrong, unheard, QStringLiteral("senha-errada"));
    ASSERT_TRUE(WaitFor([&] { return wrong.Status().contains(QStringLiteral("Usuário ou senha inválidos")); }, 10000))
        << wrong.Status().toStdString();
    EXPECT_FALSE(wrong.Open());
    EXPECT_TRUE(unheard.isEmpty());
}

// On loopback without accounts the server trusts its callers: credentials a
// station sends anyway are not needed, and the audit records an empty user.
TEST(LoopbackWithoutAccounts, ServesAnyHelloAndAuditsAnEmptyUser)
{
    TAppServerProcess server;
    auto net = Connect(server);
    net->SetSecurity(TNetConnection::TSecurity{false, QString(), QStringLiteral("maria"), QStringLiteral("qualquer")});
    const TWorkListReply list = GetDados(*net, QStringLiteral("0001"));
    ASSERT_GT(list.Readings.RowCount(), 0);
    EXPECT_EQ(Refusal(net->AppServer().Call(Remote::DeleteIUMProd, {QVariant::fromValue(list.Readings.Select({0}))})),
              QString());
    const QList<QVariantList> audit = TDbView(server).Rows(QStringLiteral("SELECT CDUSUARIO FROM AUDITORIA"));
    ASSERT_EQ(audit.size(), 1);
    EXPECT_EQ(audit[0][0].toString(), QString());
}

// A site renews its certificate without a stop: after SIGHUP new connections
// get the new pair and one already open goes on. A key that is not the
// certificate's is refused at start, and at SIGHUP leaves the pair in use.
TEST(TlsRenewal, SighupServesTheNewPairAndKeepsTheOneInUseWhenANewOneDoesNotFit)
{
    TSiteServer secure;
    const TServerSite& site = secure.Site;
    const quint16 port = secure.Server.Port();
    QTemporaryDir renewal;
    const QString oldCertificate = renewal.filePath(QStringLiteral("old.crt"));
    const QString oldKey = renewal.filePath(QStringLiteral("old.key"));
    ASSERT_TRUE(QFile::copy(site.Certificate(), oldCertificate));
    ASSERT_TRUE(QFile::copy(site.Key(), oldKey));
    TRawTlsClient open(port, oldCertificate);
    ASSERT_TRUE(open.Encrypted());
    open.Send(Hello(Rpc::TCredentials{QStringLiteral("maria"), password}));
    const auto welcome = open.Next();
    ASSERT_TRUE(welcome && std::holds_alternative<Rpc::TWelcome>(*welcome));

    const auto reread = [&](const QString& line) {
        ::kill(pid_t(secure.Server.Pid()), SIGHUP);
        return WaitFor([&] { return secure.Server.Log().contains(line); }, 10000);
    };
    TServerSite::MakeCertificate(site.Certificate(), site.Key());
    ASSERT_TRUE(reread(QStringLiteral("SIGHUP: certificado TLS relido de ") + site.Certificate()))
        << secure.Server.Log().toStdString();
    EXPECT_TRUE(TRawTlsClient(port, site.Certificate()).Encrypted());
    EXPECT_FALSE(TRawTlsClient(port, oldCertificate).Encrypted()) << "the old certificate is still served";
    open.Send(ConfirmCall(QStringLiteral("9999999999")));
    const auto answer = open.Next();
    EXPECT_TRUE(answer && std::holds_alternative<Rpc::TResult>(*answer)) << "the open connection was cut off";

    QString output;
    EXPECT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--database"), renewal.filePath(QStringLiteral("db.sqlite")),
                                          QStringLiteral("--create"), QStringLiteral("--tls-cert"), site.Certificate(),
                                          QStringLiteral("--tls-key"), oldKey},
                                         &output),
              1);
    EXPECT_TRUE(output.contains(QStringLiteral("não é a do certificado"))) << output.toStdString();
    ASSERT_TRUE(QFile::remove(site.Key()) && QFile::copy(oldKey, site.Key()));
    ASSERT_TRUE(reread(QStringLiteral("SIGHUP: o certificado TLS em uso continua: A chave privada %1 não é a do "
                                      "certificado")
                           .arg(site.Key())))
        << secure.Server.Log().toStdString();
    EXPECT_TRUE(TRawTlsClient(port, site.Certificate()).Encrypted()) << "the pair in use was dropped";
}

struct TRefusedStart {
    const char* name;
    QStringList arguments;  // after --database, with "SITE/" for the site's folder
    QByteArray accounts;    // written to SITE/bad before the start; empty: none
    int code;
    const char* message;
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;  // of SITE/bad
    const char* copy = nullptr;  // a file of the site copied to SITE/bad instead
    bool stranger = false;       // SITE/bad given to another user (run as root only)
};

class RefusedStart : public ::testing::TestWithParam<TRefusedStart> {
protected:
    static void SetUpTestSuite() { site = new TServerSite; }
    static void TearDownTestSuite() { delete site; }
    static TServerSite* site;
};

TServerSite* RefusedStart::site = nullptr;

TEST_P(RefusedStart, SaysWhyAndDoesNotListen)
{
    const TRefusedStart& c = GetParam();
    if (c.stranger && ::geteuid() != 0)
        GTEST_SKIP() << "only root gives a file to another user";
    const QString badFile = site->File(QStringLiteral("bad"));
    QFile::remove(badFile);  // a new file, of this process's user
    if (!c.accounts.isEmpty() || c.copy) {
        QFile source(c.copy ? site->File(QString::fromLatin1(c.copy)) : QString());
        ASSERT_TRUE(!c.copy || source.open(QIODevice::ReadOnly));
        QFile bad(badFile);
        ASSERT_TRUE(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
        bad.write(c.copy ? source.readAll() : c.accounts);
        ASSERT_TRUE(bad.setPermissions(c.permissions));
    }
    if (c.stranger) {
        ASSERT_EQ(::chown(QFile::encodeName(badFile).constData(), 65534, 65534), 0);
    }
    QStringList arguments = {QStringLiteral("--database"), site->File(QStringLiteral("db.sqlite")), QStringLiteral("--create")};
    for (const QString& argument : c.arguments)
        arguments += QString(argument).replace(QStringLiteral("SITE"), site->Folder());
    QString output;
    EXPECT_EQ(TAppServerProcess::RunOnce(arguments, &output), c.code) << output.toStdString();
    EXPECT_TRUE(output.contains(QString::fromUtf8(c.message).replace(QStringLiteral("SITE"), site->Folder())))
        << output.toStdString();
    EXPECT_FALSE(output.contains(QStringLiteral("ouvindo em"))) << output.toStdString();
}

const QByteArray goodLine = "maria:pbkdf2-sha256:200000:AAAAAAAAAAAAAAAAAAAAAA==:"
                            "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedStart,
    ::testing::Values(
        TRefusedStart{"anyAddressBare", {QStringLiteral("--listen"), QStringLiteral("0.0.0.0:0")}, {}, 2,
                      "Para atender em 0.0.0.0, fora da interface local, o servidor exige TLS"},
        TRefusedStart{"anyAddressAccountsOnly",
                      {QStringLiteral("--listen"), QStringLiteral(":::0"), QStringLiteral("--accounts"), QStringLiteral("SITE/accounts")},
                      {}, 2, "exige TLS (--tls-cert e --tls-key) e contas de usuário"},
        TRefusedStart{"anyAddressTlsOnly",
                      {QStringLiteral("--listen"), QStringLiteral("0.0.0.0:0"), QStringLiteral("--tls-cert"),
                       QStringLiteral("SITE/server.crt"), QStringLiteral("--tls-key"), QStringLiteral("SITE/server.key")},
                      {}, 2, "exige TLS (--tls-cert e --tls-key) e contas de usuário"},
        TRefusedStart{"certificateWithoutKey", {QStringLiteral("--tls-cert"), QStringLiteral("SITE/server.crt")}, {}, 2,
                      "--tls-cert e --tls-key vão juntos"},
        TRefusedStart{"keyIsNoCertificate",
                      {QStringLiteral("--tls-cert"), QStringLiteral("SITE/server.key"), QStringLiteral("--tls-key"),
                       QStringLiteral("SITE/server.key")},
                      {}, 1, "não contém um certificado no formato PEM"},
        TRefusedStart{"accountsMissing", {QStringLiteral("--accounts"), QStringLiteral("SITE/none")}, {}, 1,
                      "Não foi possível ler o arquivo de contas"},
        TRefusedStart{"accountsEmpty", {QStringLiteral("--accounts"), QStringLiteral("SITE/bad")}, "# nobody yet\n\n", 1,
                      "não tem nenhum usuário"},
        TRefusedStart{"accountsFieldMissing", {QStringLiteral("--accounts"), QStringLiteral("SITE/bad")},
                      "maria:pbkdf2-sha256:200000:AAAAAAAAAAAAAAAAAAAAAA==\n", 1,
                      "linha 1: esperava-se NOME:pbkdf2-sha256:ITERAÇÕES:SAL:CHAVE"},
        TRefusedStart{"accountsBadName", {QStringLiteral("--accounts"), QStringLiteral("SITE/bad")},
                      "mar ia:pbkdf2-sha256:200000:AAAAAAAAAAAAAAAAAAAAAA==:AAAA\n", 1, "linha 1: nome de usuário inválido"},
        TRefusedStart{"accountsOtherAlgorithm", {QStringLiteral("--accounts"), QStringLiteral("SITE/bad")},
                      "maria:md5:200000:AAAAAAAAAAAAAAAAAAAAAA==:AAAA\n", 1, "linha 1: algoritmo desconhecido"},
        TRefusedStart{"accountsFewIterations", {QStringLiteral("--accounts"), QStringLiteral("SITE/bad")},
                      "# ok\nmaria:pbkdf2-sha256:10:AAAAAAAAAAAAAAAAAAAAAA==:AAAA\n", 1, "linha 2: número de iterações inválido"},
        TRefusedStart{"accountsTooManyIterations", {QStringLiteral("--accounts"), QStringLiteral("SITE/bad")},
                      QByteArray(goodLine).replace(":200000:", ":2000001:"), 1,
                      "linha 1: número de iterações inválido (de 1000 a 2000000)"},
        TRefusedStart{"accountsShortSalt", {QStringLiteral("--accounts"), QStringLiteral("SITE/bad")},
                      "maria:pbkdf2-sha256:200000:AAAA:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=\n", 1, "linha 1: sal inválido"},
        TRefusedStart{"accountsBadKey", {QStringLiteral("--accounts"), QStringLiteral("SITE/bad")},
                      "maria:pbkdf2-sha256:200000:AAAAAAAAAAAAAAAAAAAAAA==:não-é-base64\n", 1, "linha 1: chave inválida"},
        TRefusedStart{"accountsWritableByOthers", {QStringLiteral("--accounts"), QStringLiteral("SITE/bad")}, goodLine, 1,
                      "tem permissões 0660, que dão acesso a outros usuários além do dono; corrija com chmod 600",
                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::WriteGroup},
        TRefusedStart{"accountsReadableByOthers", {QStringLiteral("--accounts"), QStringLiteral("SITE/bad")}, goodLine, 1,
                      "O arquivo de contas SITE/bad tem permissões 0604", QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther},
        TRefusedStart{"accountsOfAnotherUser", {QStringLiteral("--accounts"), QStringLiteral("SITE/bad")}, goodLine, 1,
                      "pertence ao usuário nobody; deve pertencer ao usuário do servidor (root) ou ao root: chown root",
                      QFile::ReadOwner | QFile::WriteOwner, nullptr, true},
        TRefusedStart{"accountsBadBranches", {QStringLiteral("--accounts"), QStringLiteral("SITE/bad")},
                      goodLine.trimmed() + ":0001;0002\n", 1, "linha 1: lista de filiais inválida: '0001;0002'"},
        TRefusedStart{"keyReadableByOthers",
                      {QStringLiteral("--tls-cert"), QStringLiteral("SITE/server.crt"), QStringLiteral("--tls-key"),
                       QStringLiteral("SITE/bad")},
                      {}, 1, "A chave privada SITE/bad tem permissões 0644, que dão acesso a outros usuários além do dono; corrija com chmod 600 SITE/bad.",
                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther, "server.key"},
        TRefusedStart{"keyOfAnotherUser",
                      {QStringLiteral("--tls-cert"), QStringLiteral("SITE/server.crt"), QStringLiteral("--tls-key"),
                       QStringLiteral("SITE/bad")},
                      {}, 1, "A chave privada SITE/bad pertence ao usuário nobody", QFile::ReadOwner | QFile::WriteOwner,
                      "server.key", true},
        TRefusedStart{"accountsRepeatedUser", {QStringLiteral("--accounts"), QStringLiteral("SITE/bad")}, goodLine + goodLine,
                      1, "linha 2: usuário maria repetido"}),
    [](const auto& info) { return std::string(info.param.name); });

// --add-user makes a file only its owner reads, replaces a user's password
// without touching the others, and refuses a short password.
TEST(AddUser, KeepsTheFilePrivateAndReplacesOnlyThatUser)
{
    QTemporaryDir dir;
    const QString accounts = dir.filePath(QStringLiteral("accounts"));
    ASSERT_EQ(TServerSite::AddUser(accounts, QStringLiteral("maria"), password), 0);
    ASSERT_EQ(TServerSite::AddUser(accounts, QStringLiteral("joao"), password), 0);
    EXPECT_EQ(QFile::permissions(accounts) & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());
    const auto lines = [&] {
        QFile file(accounts);
        file.open(QIODevice::ReadOnly);
        return file.readAll().split('\n');
    };
    const QList<QByteArray> before = lines();
    ASSERT_EQ(before.size(), 3);  // two lines and the last newline
    EXPECT_FALSE(before[0].contains(password.toUtf8()));

    ASSERT_EQ(TServerSite::AddUser(accounts, QStringLiteral("maria"), QStringLiteral("outra-senha-longa")), 0);
    const QList<QByteArray> after = lines();
    ASSERT_EQ(after.size(), 3);
    EXPECT_TRUE(after[0].startsWith("maria:pbkdf2-sha256:600000:"));
    EXPECT_NE(after[0], before[0]) << "a new salt and key";
    EXPECT_EQ(after[1], before[1]);

    QString output;
    EXPECT_EQ(TServerSite::AddUser(accounts, QStringLiteral("ana"), QStringLiteral("curta"), &output), 1);
    EXPECT_TRUE(output.contains(QStringLiteral("pelo menos 8 caracteres"))) << output.toStdString();
    EXPECT_EQ(lines(), after);
}

// The branches of each user: required for a new user, listed, changed
// without a password, kept when a password is set again.
TEST(AccountCommands, GiveListAndChangeEachUsersBranches)
{
    QTemporaryDir dir;
    const QString accounts = dir.filePath(QStringLiteral("accounts"));
    const auto run = [&](const QStringList& arguments, QString& output) {
        return TAppServerProcess::RunOnce(arguments + QStringList{QStringLiteral("--accounts"), accounts}, &output);
    };
    const auto lines = [&] {
        QFile file(accounts);
        file.open(QIODevice::ReadOnly);
        return file.readAll().split('\n');
    };
    QString output;
    EXPECT_EQ(TServerSite::AddUser(accounts, QStringLiteral("ana"), password, &output, QString()), 1);
    EXPECT_TRUE(output.contains(QStringLiteral("Informe as filiais em que ana pode trabalhar: --branches 0001,0003")))
        << output.toStdString();
    EXPECT_FALSE(QFile::exists(accounts));

    ASSERT_EQ(TServerSite::AddUser(accounts, QStringLiteral("ana"), password, &output, QStringLiteral("0003,0001")), 0)
        << output.toStdString();
    ASSERT_EQ(TServerSite::AddUser(accounts, QStringLiteral("maria"), password, &output), 0) << output.toStdString();
    ASSERT_EQ(run({QStringLiteral("--list-users")}, output), 0) << output.toStdString();
    EXPECT_EQ(output, QStringLiteral("ana 0001,0003\nmaria todas\n"));

    const QList<QByteArray> before = lines();
    ASSERT_EQ(run({QStringLiteral("--set-branches"), QStringLiteral("ana"), QStringLiteral("--branches"), QStringLiteral("0002")},
                  output),
              0)
        << output.toStdString();
    const QList<QByteArray> after = lines();
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after[0], before[0].left(before[0].lastIndexOf(':')) + ":0002") << "the same key, other branches";
    EXPECT_EQ(after[1], before[1]);

    ASSERT_EQ(TServerSite::AddUser(accounts, QStringLiteral("ana"), QStringLiteral("outra-senha-longa"), &output, QString()), 0)
        << output.toStdString();
    EXPECT_TRUE(lines()[0].endsWith(":0002")) << "a new password keeps the branches";
    EXPECT_NE(lines()[0], after[0]);

    EXPECT_EQ(run({QStringLiteral("--set-branches"), QStringLiteral("ninguem"), QStringLiteral("--branches"), QStringLiteral("*")},
                  output),
              1);
    EXPECT_TRUE(output.contains(QStringLiteral("não tem o usuário ninguem"))) << output.toStdString();
    EXPECT_EQ(run({QStringLiteral("--set-branches"), QStringLiteral("ana"), QStringLiteral("--branches"), QStringLiteral("01")},
                  output),
              2);
    EXPECT_TRUE(output.contains(QStringLiteral("--branches: lista de filiais inválida: '01'"))) << output.toStdString();
    EXPECT_EQ(run({QStringLiteral("--set-branches"), QStringLiteral("ana")}, output), 2);
    EXPECT_TRUE(output.contains(QStringLiteral("--set-branches exige as filiais"))) << output.toStdString();
    EXPECT_TRUE(lines()[0].endsWith(":0002"));

    // A file of the form before branches lists its users with every branch.
    QFile old(accounts);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly | QIODevice::Truncate));
    old.write(goodLine);
    old.close();
    ASSERT_EQ(run({QStringLiteral("--list-users")}, output), 0) << output.toStdString();
    EXPECT_EQ(output, QStringLiteral("maria todas\n"));
}

} // namespace
