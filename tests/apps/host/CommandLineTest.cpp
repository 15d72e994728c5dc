#include "AppServerProcess.h"
#include "host/CommandLine.h"

#include "framework/Varneth.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(HostCommandLine, OpenIsTheHostsOwnAndTheRestGoesToTheSettings)
{
    QTemporaryDir dir;
    THostOptions options;
    EXPECT_EQ(ParseCommandLine({"host", "--open", "exp13000", "--branch", "7", "--open=EXP13000", "--database",
                                dir.filePath("x.db")},
                               options),
              QString());
    EXPECT_EQ(options.Open, (QStringList{"EXP13000", "EXP13000"}));
    EXPECT_FALSE(options.Help);
    EXPECT_EQ(Varneth::FiliProc(), "0007");
    EXPECT_EQ(Varneth::DatabasePath(), dir.filePath("x.db"));
}

TEST(HostCommandLine, RefusalKeepsOptionsAndSettings)
{
    THostOptions options;
    options.Open = {"EXP13000"};
    Varneth::SetFiliProc("0003");
    EXPECT_EQ(ParseCommandLine({"host", "--branch", "12345"}, options),
              "Código de filial inválido: '12345' (deve ter de 1 a 4 dígitos).");
    EXPECT_EQ(Varneth::FiliProc(), "0003");
    EXPECT_EQ(options.Open, QStringList{"EXP13000"});
}

// The host program itself: a bad command line stops it before any window,
// with status 2 and the reason on stderr.
struct TBadArgumentCase {
    const char* Name;
    QStringList Arguments;
    QString Message;
};
void PrintTo(const TBadArgumentCase& c, std::ostream* os) { *os << c.Name; }

// Without a display, as on a server or in a terminal over ssh.
QProcessEnvironment NoDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QString::fromLatin1(name));
    return environment;
}

class HostProgramRefusal : public testing::TestWithParam<TBadArgumentCase> {};

TEST_P(HostProgramRefusal, ExitsWithStatusTwoAndAPortugueseMessage)
{
    QTemporaryDir home;
    QProcess host;
    QProcessEnvironment environment = NoDisplay();
    environment.insert("XDG_CONFIG_HOME", home.path());
    environment.insert("XDG_RUNTIME_DIR", home.path());
    host.setProcessEnvironment(environment);
    host.start(QStringLiteral(EXP_HOST_PATH), GetParam().Arguments);
    ASSERT_TRUE(host.waitForFinished(60000));
    EXPECT_EQ(host.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(host.exitCode(), 2);
    EXPECT_EQ(QString::fromUtf8(host.readAllStandardError()),
              QStringLiteral("host: %1\nUse host --help para ver as opções.\n").arg(GetParam().Message));
    EXPECT_EQ(host.readAllStandardOutput(), QByteArray());
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, HostProgramRefusal,
    testing::Values(
        TBadArgumentCase{"UnknownOption", {"--bogus"}, "Argumento desconhecido: '--bogus'."},
        TBadArgumentCase{"UnknownScreen", {"--open", "EXP99999"},
                         "Tela desconhecida em --open: 'EXP99999' (telas disponíveis: EXP13000)."},
        TBadArgumentCase{"OpenWithoutScreen", {"--open"}, "Falta o valor da opção --open."},
        TBadArgumentCase{"DemoLabelsWithoutFile", {"--demo-labels"}, "Falta o arquivo PDF da opção --demo-labels."},
        TBadArgumentCase{"InvoiceWithoutDemoLabels", {"--invoice", "12"}, "A opção --invoice só serve com --demo-labels."},
        TBadArgumentCase{"BadPort", {"--server", "localhost:70000"},
                         "Porta do servidor inválida: '70000' (deve ser um número de 1 a 65535)."},
        TBadArgumentCase{"MissingConfig", {"--config", "/nonexistent/host.ini"},
                         "Arquivo de configuração '/nonexistent/host.ini' não encontrado."},
        TBadArgumentCase{"FixedBranchWithoutBranch", {"--fixed-branch"},
                         "A filial fixa exige o código da filial (--branch ou [branch] code)."}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Programs, HelpPrintsThePortugueseUsageWithoutADisplayAndExitsWithZero)
{
    struct Case {
        const char* program;
        const char* first;
        QStringList options;
    };
    for (const Case& c : {Case{EXP_HOST_PATH, "Uso: host [opções]\n",
                               {"--open", "--server", "--branch", "--fixed-branch", "--database", "--config"}},
                          Case{EXP_APPSERVER_PATH, "Uso: appserver [opções]\n",
                               {"--listen", "--database", "--threads", "--max-frame", "--init-demo", "--scale"}}}) {
        SCOPED_TRACE(c.program);
        QProcess program;
        program.setProcessEnvironment(NoDisplay());
        program.start(QString::fromLocal8Bit(c.program), {"--help"});
        ASSERT_TRUE(program.waitForFinished(60000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0);
        const QString usage = QString::fromUtf8(program.readAllStandardOutput());
        EXPECT_TRUE(usage.startsWith(QString::fromUtf8(c.first))) << usage.toStdString();
        for (const QString& option : c.options)
            EXPECT_TRUE(usage.contains(option)) << option.toStdString();
        EXPECT_EQ(program.readAllStandardError(), QByteArray());
    }
}

TEST(Programs, AnUnknownOptionOfTheServerIsNamedInPortuguese)
{
    QProcess server;
    server.setProcessEnvironment(NoDisplay());
    server.start(QStringLiteral(EXP_APPSERVER_PATH), {"--bogus"});
    ASSERT_TRUE(server.waitForFinished(60000));
    EXPECT_EQ(server.exitCode(), 2);
    EXPECT_EQ(QString::fromUtf8(server.readAllStandardError()),
              "appserver: Opção desconhecida: 'bogus'. Use appserver --help para ver as opções.\n");
}

TEST(Programs, DemoLabelsCommandWritesThePdfWithoutADisplay)
{
    const TAppServerProcess server;
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("rotulos.pdf"));
    const auto run = [&](const QStringList& extra, int code) {
        QProcess host;
        QProcessEnvironment environment = NoDisplay();
        environment.insert("XDG_CONFIG_HOME", dir.path());
        environment.insert("XDG_RUNTIME_DIR", dir.path());
        host.setProcessEnvironment(environment);
        host.start(QStringLiteral(EXP_HOST_PATH),
                   QStringList{"--demo-labels", pdf, "--database", server.DatabasePath(), "--branch", "1"} + extra);
        EXPECT_TRUE(host.waitForFinished(60000));
        EXPECT_EQ(host.exitCode(), code);
        // What it says goes to stdout on success, to stderr on failure.
        return QString::fromUtf8(code == 0 ? host.readAllStandardOutput() : host.readAllStandardError());
    };

    const QString done = run({}, 0);
    EXPECT_TRUE(done.startsWith(QStringLiteral("host: Rótulos da nota fiscal "))) << done.toStdString();
    EXPECT_TRUE(done.contains(QStringLiteral("da filial 0001 gravados em %1: ").arg(pdf))) << done.toStdString();
    EXPECT_TRUE(done.endsWith(QStringLiteral(" para ler e 4 errados de propósito.\n"))) << done.toStdString();
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(5) == "%PDF-");
    file.close();

    EXPECT_EQ(run({"--invoice", "X"}, 1), QStringLiteral("host: A nota fiscal X da filial 0001 não existe.\n"));
}

} // namespace
