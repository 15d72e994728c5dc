// The host's login to the application server: the password asked at start
// through the dialog service (or taken from the password file, without
// asking), and the screens' connections logging in with it over TLS; a
// password never sent in clear beyond this machine.
#include "HostFixture.h"

#include "ServerSite.h"
#include "framework/Varneth.h"
#include "netconn/NetConnection.h"
#include "rtl/Exceptions.h"
#include "server/RemoteNames.h"

#include <QFile>
#include <QTcpServer>

namespace {

class ServerLoginTest : public HostTest {
protected:
    static void SetUpTestSuite()
    {
        secure = new TSiteServer;
        site = &secure->Site;
        server = &secure->Server;
    }
    static void TearDownTestSuite()
    {
        delete secure;
        TNetConnection::SetDefaultSecurity({});
    }

    void WriteSettings(const QByteArray& login)
    {
        QFile config(Path(QStringLiteral("host.ini")));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("[server]\nhost=127.0.0.1\nport=" + QByteArray::number(server->Port()) + "\ntls=true\nca_file="
                     + site->Certificate().toUtf8() + "\n" + login + "[database]\npath=db.sqlite\n");
    }
    // A connection as a screen makes one, opened.
    static void Open()
    {
        TNetConnection net;
        net.SetServerName(Remote::ConfRastr);
        net.SetHost(Varneth::WebURL());
        net.SetPort(Varneth::WebPort());
        net.Open();
    }

    void WritePasswordFile()
    {
        QFile secret(Path(QStringLiteral("senha")));
        ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
        secret.write(TServerSite::Password.toUtf8() + '\n');
        secret.close();
        ASSERT_TRUE(secret.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    }

    static inline TSiteServer* secure = nullptr;
    static inline TServerSite* site = nullptr;
    static inline TAppServerProcess* server = nullptr;
};

TEST_F(ServerLoginTest, AsksThePasswordAtStartAndConnectionsLogInWithIt)
{
    WriteSettings("user=maria\n");
    dialogs.ExpectPassword(TServerSite::Password);
    auto host = StartHost();
    EXPECT_EQ(dialogs.Texts(TDialogKind::Password),
              QStringList{QStringLiteral("Senha do usuário maria no servidor de aplicação 127.0.0.1:")});
    EXPECT_NO_THROW(Open());
}

TEST_F(ServerLoginTest, APasswordFileIsUsedWithoutAsking)
{
    WritePasswordFile();
    WriteSettings("user=joao\npassword_file=senha\n");
    auto host = StartHost();
    EXPECT_TRUE(dialogs.Texts(TDialogKind::Password).isEmpty());
    EXPECT_NO_THROW(Open());
}

TEST_F(ServerLoginTest, ACancelledPromptLeavesTheServerToRefuse)
{
    WriteSettings("user=maria\n");
    dialogs.ExpectPassword(std::nullopt);
    auto host = StartHost();
    try {
        Open();
        ADD_FAILURE() << "the server took an empty password";
    } catch (const EServerError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Usuário ou senha inválidos."));
    }
}

// 0.0.0.0 is no loopback address, yet Linux hands a connection to it to
// this machine's own listeners: had the host connected, the listener here
// would have seen it, as it does once no password is at stake.
TEST_F(ServerLoginTest, AClearPasswordIsNotSentBeyondThisMachine)
{
    QTcpServer listener;
    ASSERT_TRUE(listener.listen(QHostAddress::LocalHost));
    auto settings = [&](const QByteArray& login) {
        QFile config(Path(QStringLiteral("host.ini")));
        ASSERT_TRUE(config.open(QIODevice::WriteOnly));
        config.write("[server]\nhost=0.0.0.0\nport=" + QByteArray::number(listener.serverPort()) + "\ntls=false\n" + login
                     + "[database]\npath=db.sqlite\n");
    };
    // A screen's connection, with a short wait: the listener never answers.
    auto open = [] {
        TNetConnection net;
        net.SetServerName(Remote::ConfRastr);
        net.SetHost(Varneth::WebURL());
        net.SetPort(Varneth::WebPort());
        net.SetTimeout(1);
        net.Open();
    };

    WritePasswordFile();
    settings("user=maria\npassword_file=senha\n");
    auto host = StartHost();
    try {
        open();
        ADD_FAILURE() << "connected";
    } catch (const EConnectionError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("A conexão com o servidor de aplicação em 0.0.0.0:%1 levaria a senha do usuário "
                                              "maria sem criptografia e não foi aberta: ative o TLS (server/tls=true nas "
                                              "configurações do host) ou use um servidor desta máquina.")
                                   .arg(listener.serverPort()));
    }
    EXPECT_FALSE(listener.waitForNewConnection(300)) << "a connection was made";
    host.reset();

    // Without a password file: a password no server could be sent is not asked.
    settings("user=maria\n");
    host = StartHost();
    EXPECT_TRUE(dialogs.Texts(TDialogKind::Password).isEmpty());
    EXPECT_THROW(open(), EConnectionError);
    EXPECT_FALSE(listener.waitForNewConnection(300)) << "a connection was made";
    host.reset();

    settings("");
    host = StartHost();
    EXPECT_THROW(open(), EConnectionError) << "no answer to the hello";
    EXPECT_TRUE(listener.hasPendingConnections() || listener.waitForNewConnection(300));
}

} // namespace
