// The host's login to the application server: the password asked at start
// through the dialog service (or taken from the password file, without
// asking), and the screens' connections logging in with it over TLS.
#include "HostFixture.h"

#include "ServerSite.h"
#include "framework/Varneth.h"
#include "netconn/NetConnection.h"
#include "rtl/Exceptions.h"
#include "server/RemoteNames.h"

#include <QFile>

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
    QFile secret(Path(QStringLiteral("senha")));
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write(TServerSite::Password.toUtf8() + '\n');
    secret.close();
    ASSERT_TRUE(secret.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
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

} // namespace
