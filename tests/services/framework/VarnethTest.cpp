#include "framework/Varneth.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class VarnethLoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        // Default files under the temporary folder, never the user's own.
        qputenv("XDG_CONFIG_HOME", dir_.filePath("config").toLocal8Bit());
        qputenv("XDG_DATA_HOME", dir_.filePath("data").toLocal8Bit());
        saved_ = Varneth::Settings();
    }
    void TearDown() override
    {
        Varneth::SetSettings(saved_);
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_DATA_HOME");
    }

    QString writeFile(const QString& name, const QByteArray& content)
    {
        const QString path = dir_.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    QTemporaryDir dir_;
    Varneth::THostSettings saved_;
};

TEST_F(VarnethLoad, WithoutFileOrArgumentsEverythingHasItsDefault)
{
    Varneth::SetWebPort(1);
    Varneth::SetFiliProc("0009");
    ASSERT_EQ(Varneth::Load({"host"}), "");
    EXPECT_EQ(Varneth::WebURL(), "127.0.0.1");
    EXPECT_EQ(Varneth::WebPort(), Defaults::ServerPort);
    EXPECT_EQ(Varneth::FiliProc(), "");
    EXPECT_FALSE(Varneth::ModuFili());
    EXPECT_EQ(Varneth::DatabasePath(), dir_.filePath("data/exp13000/exp13000.sqlite"));
    EXPECT_EQ(Varneth::DBPict(0), "99.99.9999;0; ");
    EXPECT_EQ(Varneth::DBPict(1), "");
    EXPECT_EQ(Varneth::GroupSeparatorReplacement(), QChar(0x1D));
    EXPECT_TRUE(Varneth::ScannerSounds());
}

TEST_F(VarnethLoad, ReadsTheDefaultFile)
{
    writeFile("config/exp13000/host.ini",
              "[server]\nhost=app.filial.local\nport=4000\n"
              "[branch]\ncode=12\nname=\"Matriz, São Paulo\"\nfixed=TRUE\n"
              "[database]\npath=dados/exp.sqlite\n"
              "[masks]\nproduct=\"999.999;0; \"\n"
              "[scanner]\ngroup_separator=~\nsounds=false\n");
    ASSERT_EQ(Varneth::Load({"host"}), "");
    EXPECT_EQ(Varneth::WebURL(), "app.filial.local");
    EXPECT_EQ(Varneth::WebPort(), 4000);
    EXPECT_EQ(Varneth::FiliProc(), "0012");
    EXPECT_EQ(Varneth::NomeFiliProc(), "Matriz, São Paulo");
    EXPECT_TRUE(Varneth::ModuFili());
    EXPECT_EQ(Varneth::DatabasePath(), dir_.filePath("config/exp13000/dados/exp.sqlite"));
    EXPECT_EQ(Varneth::DBPict(0), "999.999;0; ");
    EXPECT_EQ(Varneth::GroupSeparatorReplacement(), QChar(u'~'));
    EXPECT_FALSE(Varneth::ScannerSounds());
}

TEST_F(VarnethLoad, CommandLineOverridesTheFile)
{
    const QString ini = writeFile("outro.ini", "[server]\nhost=a.local\nport=4000\n[branch]\ncode=1\nname=Matriz\n");
    ASSERT_EQ(Varneth::Load({"host", "--config", ini, "--server=[::1]:5000", "--branch", "7", "--fixed-branch",
                             "--database", "rel/x.sqlite"}),
              "");
    EXPECT_EQ(Varneth::WebURL(), "::1");
    EXPECT_EQ(Varneth::WebPort(), 5000);
    EXPECT_EQ(Varneth::FiliProc(), "0007");
    EXPECT_EQ(Varneth::NomeFiliProc(), "") << "the file's name belongs to branch 0001";
    EXPECT_TRUE(Varneth::ModuFili());
    EXPECT_EQ(Varneth::DatabasePath(), QDir::current().absoluteFilePath("rel/x.sqlite"));

    // The same branch, written another way, keeps the file's name; a server
    // without a port keeps the file's port.
    ASSERT_EQ(Varneth::Load({"host", "--config=" + ini, "--branch=0001", "--server", "b.local"}), "");
    EXPECT_EQ(Varneth::NomeFiliProc(), "Matriz");
    EXPECT_EQ(Varneth::WebURL(), "b.local");
    EXPECT_EQ(Varneth::WebPort(), 4000);
    EXPECT_FALSE(Varneth::ModuFili());
}

// The site's other servers, each with its port or server/port; after a
// comma, --server names them too, in place of the file's.
TEST_F(VarnethLoad, ReadsTheSitesOtherServers)
{
    const QString ini = writeFile("site.ini", "[server]\nhost=a.local\nport=4000\n"
                                              "alternates=\"b.local, c.local:4100,[::1]:4200\"\n");
    ASSERT_EQ(Varneth::Load({"host", "--config", ini}), "");
    EXPECT_EQ(Varneth::WebURL(), "a.local");
    const QList<Varneth::TServer> site = {{"b.local", 4000}, {"c.local", 4100}, {"::1", 4200}};
    EXPECT_EQ(Varneth::ServerAlternates(), site);

    ASSERT_EQ(Varneth::Load({"host", "--config", ini, "--server", "x.local:1,y.local"}), "");
    EXPECT_EQ(Varneth::WebURL(), "x.local");
    EXPECT_EQ(Varneth::WebPort(), 1);
    const QList<Varneth::TServer> given = {{"y.local", 1}};
    EXPECT_EQ(Varneth::ServerAlternates(), given);

    ASSERT_EQ(Varneth::Load({"host", "--config", ini, "--server", "x.local"}), "");
    EXPECT_EQ(Varneth::ServerAlternates(), site) << "one server on the command line keeps the file's others";
}

// The station's login: TLS with the site's authority, the user, and the
// password read from a file only its owner may read.
TEST_F(VarnethLoad, ReadsTheServerLoginAndThePasswordFile)
{
    writeFile("config/exp13000/ca.pem", "certificates");
    const QString secret = writeFile("config/exp13000/senha", "uma senha, com espaços\r\nsegunda linha\n");
    ASSERT_TRUE(QFile::setPermissions(secret, QFile::ReadOwner | QFile::WriteOwner));
    writeFile("config/exp13000/host.ini",
              "[server]\nhost=app.filial.local\ntls=true\nca_file=ca.pem\nuser=maria.silva\npassword_file=senha\n");
    ASSERT_EQ(Varneth::Load({"host"}), "");
    const Varneth::THostSettings& s = Varneth::Settings();
    EXPECT_TRUE(s.ServerTls);
    EXPECT_EQ(s.ServerCaFile, dir_.filePath("config/exp13000/ca.pem"));
    EXPECT_EQ(s.ServerUser, "maria.silva");
    EXPECT_EQ(s.ServerPassword, "uma senha, com espaços");
}

// A password file others may read or change is refused, as are a password
// file without a user and files that are not there.
TEST_F(VarnethLoad, RefusesLoosePasswordFilesAndMissingLoginFiles)
{
    const QString secret = writeFile("senha", "segredo\n");
    const QString ini = dir_.filePath("host.ini");
    struct {
        QFile::Permissions permissions;
        QByteArray server;
        QString message;
    } const cases[] = {
        {QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup, "user=maria\npassword_file=senha\n",
         QStringLiteral("O arquivo de senha '%1' pode ser lido ou alterado por outros usuários; deixe-o só para o seu "
                        "dono (chmod 600 '%1').").arg(secret)},
        {QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther, "user=maria\npassword_file=senha\n",
         QStringLiteral("O arquivo de senha '%1' pode ser lido ou alterado por outros usuários; deixe-o só para o seu "
                        "dono (chmod 600 '%1').").arg(secret)},
        {QFile::ReadOwner, "password_file=senha\n",
         QStringLiteral("O arquivo de senha (server/password_file) exige o usuário (server/user).")},
        {QFile::ReadOwner, "user=maria\npassword_file=outra\n",
         QStringLiteral("Arquivo de senha '%1' não encontrado.").arg(dir_.filePath("outra"))},
        {QFile::ReadOwner, "ca_file=nenhum.pem\n",
         QStringLiteral("Arquivo '%1' de server/ca_file não encontrado.").arg(dir_.filePath("nenhum.pem"))},
        {QFile::ReadOwner, "user=maria silva\n",
         QStringLiteral("Usuário do servidor inválido: 'maria silva' (de 1 a 64 letras sem acento, dígitos, '.', '_', "
                        "'@' ou '-').")},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(QFile::setPermissions(secret, c.permissions));
        writeFile("host.ini", "[server]\n" + c.server);
        Varneth::THostSettings before;
        before.ServerUser = "antes";
        Varneth::SetSettings(before);
        EXPECT_EQ(Varneth::Load({"host", "--config", ini}), c.message);
        EXPECT_EQ(Varneth::Settings(), before);
    }
}

struct RefusalCase {
    const char* name;
    QStringList arguments;
    QByteArray file;  // written as bad.ini and passed with --config when not empty
    QString message;  // "%1" stands for the file's path
};

class VarnethRefusal : public VarnethLoad, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(VarnethRefusal, ReportsTheValueAndKeepsTheSettings)
{
    Varneth::THostSettings before;
    before.ServerPort = 1234;
    before.BranchCode = "0042";
    Varneth::SetSettings(before);

    QStringList arguments = QStringList{"host"} + GetParam().arguments;
    QString file;
    if (!GetParam().file.isEmpty()) {
        file = writeFile("bad.ini", GetParam().file);
        arguments << "--config" << file;
    }
    EXPECT_EQ(Varneth::Load(arguments), QString(GetParam().message).replace("%1", file));
    EXPECT_EQ(Varneth::Settings(), before);
}

const QString badPort = QStringLiteral("Porta do servidor inválida: '%1' (deve ser um número de 1 a 65535).");
const QString badBranch = QStringLiteral("Código de filial inválido: '%1' (deve ter de 1 a 4 dígitos).");

INSTANTIATE_TEST_SUITE_P(
    Varneth, VarnethRefusal,
    ::testing::Values(
        RefusalCase{"PortZero", {"--server", "h:0"}, {}, badPort.arg("0")},
        RefusalCase{"PortTooLarge", {"--server", "h:65536"}, {}, badPort.arg("65536")},
        RefusalCase{"PortNotANumber", {"--server", "h:21a"}, {}, badPort.arg("21a")},
        RefusalCase{"PortMissingAfterColon", {"--server", "h:"}, {}, badPort.arg("")},
        RefusalCase{"HostWithBlank", {"--server", "meu host:21"}, {}, "Servidor inválido: 'meu host'."},
        RefusalCase{"BareIpv6", {"--server", "::1:21"}, {}, "Servidor inválido: '::1:21' (use HOST:PORTA)."},
        RefusalCase{"AlternateWithoutHost", {"--server", "a,,b"}, {}, "Servidor inválido: ''."},
        RefusalCase{"FileAlternatePortZero", {}, "[server]\nalternates=\"b:0\"\n", badPort.arg("0")},
        RefusalCase{"BranchTooLong", {"--branch", "12345"}, {}, badBranch.arg("12345")},
        RefusalCase{"BranchWithLetter", {"--branch", "1a"}, {}, badBranch.arg("1a")},
        RefusalCase{"BranchEmpty", {"--branch="}, {}, badBranch.arg("")},
        RefusalCase{"MissingValue", {"--database"}, {}, "Falta o valor da opção --database."},
        RefusalCase{"UnknownArgument", {"--sever", "h"}, {}, "Argumento desconhecido: '--sever'."},
        RefusalCase{"FlagWithValue", {"--fixed-branch=no"}, {}, "Argumento desconhecido: '--fixed-branch=no'."},
        RefusalCase{"MissingConfig", {"--config", "/nao/existe.ini"}, {},
                    "Arquivo de configuração '/nao/existe.ini' não encontrado."},
        RefusalCase{"FilePortOutOfRange", {}, "[server]\nport=70000\n", badPort.arg("70000")},
        RefusalCase{"FileUnknownKey", {}, "[server]\nhots=a\n",
                    "Chave desconhecida 'server/hots' no arquivo de configuração '%1'."},
        RefusalCase{"FileKeyOutsideAGroup", {}, "port=1\n",
                    "Chave desconhecida 'port' no arquivo de configuração '%1'."},
        RefusalCase{"FileUnquotedComma", {}, "[branch]\nname=Matriz, SP\n",
                    "Valor de branch/name em '%1' deve vir entre aspas (contém vírgula)."},
        RefusalCase{"FileFixedNotABoolean", {}, "[branch]\ncode=1\nfixed=talvez\n",
                    "Valor inválido em branch/fixed: 'talvez' (use true ou false)."},
        RefusalCase{"FixedWithoutBranch", {"--fixed-branch"}, {},
                    "A filial fixa exige o código da filial (--branch ou [branch] code)."},
        RefusalCase{"SeparatorInGs1Set", {}, "[scanner]\ngroup_separator=A\n",
                    "Substituto do separador de grupo inválido: 'A' (deve ser um só caractere que não ocorra em "
                    "códigos GS1, como ~ ou ^)."},
        RefusalCase{"SeparatorTwoCharacters", {}, "[scanner]\ngroup_separator=~~\n",
                    "Substituto do separador de grupo inválido: '~~' (deve ser um só caractere que não ocorra em "
                    "códigos GS1, como ~ ou ^)."},
        RefusalCase{"EmptyDatabasePath", {"--database", " "}, {}, "Caminho vazio em --database."}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
