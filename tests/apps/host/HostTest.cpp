#include "HostFixture.h"

#include "packages/PackageProbe.h"

#include "framework/DtmDBGeral.h"
#include "framework/Varneth.h"
#include "ui/Application.h"
#include "ui/Screen.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {

QString Label(const TfrmPrincipal& form, const QString& name)
{
    const auto* label = form.Widget()->findChild<QLabel*>(name);
    return label ? label->text() : QStringLiteral("<no label %1>").arg(name);
}

int ScreensShown(const TfrmPrincipal& form)
{
    int shown = 0;
    for (QMdiSubWindow* window : form.MdiArea()->subWindowList())
        shown += window->isVisible();
    return shown;
}

// The table FILIAL in `database`, with `rows` (SQL values).
void CreateBranches(const QString& database, const char* rows)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("filial"));
        db.setDatabaseName(database);
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(QStringLiteral("CREATE TABLE FILIAL (CDFILIAL TEXT, NMFILIAL TEXT)")));
        ASSERT_TRUE(query.exec(QStringLiteral("INSERT INTO FILIAL VALUES ") + QString::fromUtf8(rows)));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("filial"));
}

const QStringList loadAndOpen = {"init Pkg_hosttest", "init Cli_hosttest", "IniProc Cli_hosttest"};
const QStringList unloadAfterScreen = {"tela destruída", "fin Cli_hosttest", "fin Pkg_hosttest"};

TEST_F(HostTest, StartsWithMdiMainWindowScreenMenuAndDatabase)
{
    auto host = StartHost();
    TfrmPrincipal* form = host->MainForm();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(Application->MainForm(), form);
    EXPECT_TRUE(form->Showing());
    EXPECT_EQ(form->FormStyle(), TFormStyle::fsMDIForm);
    EXPECT_NE(ScreenMenuEntry(*form), nullptr);
    ASSERT_NE(dtmDBGeral, nullptr);
    EXPECT_TRUE(dtmDBGeral->Connected());
    EXPECT_TRUE(PackageProbe::Take().isEmpty());

    host->Shutdown();
    EXPECT_EQ(host->MainForm(), nullptr);
    EXPECT_EQ(Application->MainForm(), nullptr);
    EXPECT_EQ(dtmDBGeral, nullptr);
}

struct TStatusCase {
    const char* Name;
    QStringList Arguments;
    QString Server;
    QString Branch;
};
void PrintTo(const TStatusCase& c, std::ostream* os) { *os << c.Name; }

class HostStatusTest : public HostTest, public testing::WithParamInterface<TStatusCase> {};

TEST_P(HostStatusTest, StatusBarShowsServerAndBranch)
{
    QFile(Path(QStringLiteral("bare.ini"))).open(QIODevice::WriteOnly);
    QStringList arguments = GetParam().Arguments;
    arguments.replaceInStrings(QStringLiteral("{dir}"), dir_.path());
    auto host = StartHost(arguments);
    EXPECT_EQ(Label(*host->MainForm(), QStringLiteral("lblServidor")), GetParam().Server);
    EXPECT_EQ(Label(*host->MainForm(), QStringLiteral("lblFilial")), GetParam().Branch);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, HostStatusTest,
    testing::Values(TStatusCase{"ConfigFile", {}, "Servidor: 127.0.0.1:21399", "Filial: 0001 - Matriz"},
                    TStatusCase{"OtherBranchFixed",
                                {"--branch", "7", "--fixed-branch"},
                                "Servidor: 127.0.0.1:21399",
                                "Filial: 0007 (fixa)"},
                    TStatusCase{"Ipv6Server", {"--server", "[::1]:4000"}, "Servidor: [::1]:4000",
                                "Filial: 0001 - Matriz"},
                    TStatusCase{"Defaults",
                                {"--config", "{dir}/bare.ini", "--database", "{dir}/db.sqlite"},
                                "Servidor: 127.0.0.1:21300",
                                "Filial: nenhuma"}),
    [](const auto& info) { return std::string(info.param.Name); });

// A branch given by its code alone is named from the database; a name given
// in the settings stays; an unknown branch keeps its code without a name.
TEST_F(HostTest, BranchGivenByCodeTakesItsNameFromTheDatabase)
{
    CreateBranches(Path(QStringLiteral("db.sqlite")), "('0002', 'Centro de Distribuição')");
    const std::pair<QStringList, QString> cases[] = {
        {{"--branch", "2"}, "Filial: 0002 - Centro de Distribuição"},
        {{}, "Filial: 0001 - Matriz"},
        {{"--branch", "9"}, "Filial: 0009"},
    };
    for (const auto& [arguments, status] : cases) {
        auto host = StartHost(arguments);
        EXPECT_EQ(Label(*host->MainForm(), QStringLiteral("lblFilial")), status) << arguments.join(' ').toStdString();
    }
}

TEST_F(HostTest, WithoutABranchTheHostTakesTheDatabasesFirstBranch)
{
    CreateBranches(Path(QStringLiteral("db.sqlite")), "('0003', 'Loja'), ('0002', 'Depósito')");
    QFile config(Path(QStringLiteral("host.ini")));
    ASSERT_TRUE(config.open(QIODevice::WriteOnly));
    config.write("[database]\npath=db.sqlite\n");
    config.close();

    auto host = StartHost();
    EXPECT_EQ(Label(*host->MainForm(), QStringLiteral("lblFilial")), "Filial: 0002 - Depósito");
    EXPECT_EQ(Varneth::FiliProc(), "0002");
}

TEST_F(HostTest, MissingPackageIsShownOnceAndTheNextUseFindsTheInstalledOne)
{
    auto host = StartHost();
    QAction* entry = ScreenMenuEntry(*host->MainForm());
    ASSERT_NE(entry, nullptr);

    dialogs.ExpectError();
    entry->trigger();
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error),
              QStringList{QStringLiteral("O pacote libPkg_exp13000.so não foi encontrado. Procurado em:\n%1")
                              .arg(Path(QStringLiteral("pkg")))});
    EXPECT_TRUE(host->MainForm()->Showing());
    EXPECT_FALSE(host->Packages().Loaded(QStringLiteral("libPkg_exp13000.so")));

    InstallPackage(hostScreenPackage);
    entry->trigger();
    EXPECT_EQ(PackageProbe::Take(), loadAndOpen);
    EXPECT_EQ(ScreensShown(*host->MainForm()), 1);
    EXPECT_EQ(dialogs.Log().size(), 1);
}

TEST_F(HostTest, MenuLoadsThePackageOnceCallsIniProcEachTimeAndExitUnloadsItAfterTheScreen)
{
    InstallPackage(hostScreenPackage);
    auto host = StartHost();
    QAction* entry = ScreenMenuEntry(*host->MainForm());
    ASSERT_NE(entry, nullptr);

    entry->trigger();
    EXPECT_EQ(PackageProbe::Take(), loadAndOpen);
    entry->trigger();
    EXPECT_EQ(PackageProbe::Take(), QStringList{"IniProc Cli_hosttest"});
    EXPECT_EQ(host->MainForm()->MdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(ScreensShown(*host->MainForm()), 1);
    EXPECT_EQ(Screen->Cursor(), crDefault);
    EXPECT_TRUE(Resident(PackagePath()));

    host->Shutdown();
    EXPECT_EQ(PackageProbe::Take(), unloadAfterScreen);
    EXPECT_FALSE(Resident(PackagePath()));
}

TEST_F(HostTest, ClosingTheMainWindowClosesTheScreenFirst)
{
    InstallPackage(hostScreenPackage);
    auto host = StartHost({"--open", "EXP13000"});
    EXPECT_EQ(PackageProbe::Take(), loadAndOpen);
    EXPECT_EQ(ScreensShown(*host->MainForm()), 1);

    host->MainForm()->Close();
    EXPECT_EQ(PackageProbe::Take(), QStringList{"FormClose"});
    EXPECT_FALSE(host->MainForm()->Showing());

    host->Shutdown();
    EXPECT_EQ(PackageProbe::Take(), unloadAfterScreen);
}

TEST_F(HostTest, AnErrorOfTheEntryIsShownRestoresTheCursorAndKeepsThePackage)
{
    InstallPackage(hostScreenPackage);
    auto host = StartHost();
    QAction* entry = ScreenMenuEntry(*host->MainForm());
    ASSERT_NE(entry, nullptr);

    PackageProbe::SetFailing(QStringLiteral("Cli_hosttest"), QStringLiteral("IniProc"));
    dialogs.ExpectError();
    entry->trigger();
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{"IniProc de Cli_hosttest falhou de propósito"});
    EXPECT_EQ(Screen->Cursor(), crDefault);
    EXPECT_EQ(ScreensShown(*host->MainForm()), 0);
    EXPECT_TRUE(host->Packages().Loaded(QStringLiteral("libPkg_exp13000.so")));

    PackageProbe::SetFailing(QString(), QString());
    PackageProbe::Take();
    entry->trigger();
    EXPECT_EQ(PackageProbe::Take(), QStringList{"IniProc Cli_hosttest"});
    EXPECT_EQ(ScreensShown(*host->MainForm()), 1);
}

struct TRefusalCase {
    const char* Name;
    QString Library;
    PackageProbe::TFault Fault;
    QString Fragment;     // of the error shown
    QStringList Events;   // what the package ran before it was given back
};
void PrintTo(const TRefusalCase& c, std::ostream* os) { *os << c.Name; }

class HostRefusalTest : public HostTest, public testing::WithParamInterface<TRefusalCase> {};

TEST_P(HostRefusalTest, RefusedPackageIsShownEachTimeAndNotKept)
{
    InstallPackage(GetParam().Library);
    PackageProbe::SetFault(GetParam().Fault);
    auto host = StartHost();
    QAction* entry = ScreenMenuEntry(*host->MainForm());
    ASSERT_NE(entry, nullptr);

    for (int attempt = 1; attempt <= 2; ++attempt) {
        dialogs.ExpectError();
        entry->trigger();
        ASSERT_EQ(dialogs.Texts(TDialogKind::Error).size(), attempt);
        EXPECT_TRUE(dialogs.Texts(TDialogKind::Error).last().contains(GetParam().Fragment))
            << dialogs.Texts(TDialogKind::Error).last().toStdString();
        EXPECT_EQ(PackageProbe::Take(), GetParam().Events);
        EXPECT_FALSE(host->Packages().Loaded(QStringLiteral("libPkg_exp13000.so")));
        EXPECT_FALSE(Resident(PackagePath()));
        EXPECT_TRUE(host->MainForm()->Showing());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Packages, HostRefusalTest,
    testing::Values(
        TRefusalCase{"NotAPackage", notAPackage, PackageProbe::TFault::Valid,
                     "o arquivo não é um pacote (não exporta GetPackageInfoTable)", {}},
        TRefusalCase{"MalformedDescription", malformedPackage, PackageProbe::TFault::BadMagic,
                     "assinatura desconhecida", {}},
        TRefusalCase{"NoIniProc", malformedPackage, PackageProbe::TFault::Valid,
                     "O pacote libPkg_exp13000.so não exporta IniProc: a tela \"Conferência de Separação da "
                     "Rastreabilidade\" não pode ser aberta.",
                     {"Initialize", "Finalize"}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(HostTest, OpenAtStartWithoutThePackageShowsTheErrorAndRunsOn)
{
    dialogs.ExpectError();
    auto host = StartHost({"--open", "EXP13000"});
    ASSERT_EQ(dialogs.Texts(TDialogKind::Error).size(), 1);
    EXPECT_TRUE(dialogs.Texts(TDialogKind::Error).first().startsWith("O pacote libPkg_exp13000.so não foi encontrado"));
    EXPECT_TRUE(host->MainForm()->Showing());
}

TEST_F(HostTest, MissingDatabaseIsShownOnceAtStartAndTheMenuStillWorks)
{
    ASSERT_TRUE(QFile::remove(Path(QStringLiteral("db.sqlite"))));
    InstallPackage(hostScreenPackage);
    dialogs.ExpectError();
    auto host = StartHost();
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error),
              QStringList{QStringLiteral("Banco de dados '%1' não encontrado.").arg(Path(QStringLiteral("db.sqlite")))});
    EXPECT_TRUE(host->MainForm()->Showing());

    ScreenMenuEntry(*host->MainForm())->trigger();
    EXPECT_EQ(PackageProbe::Take(), loadAndOpen);
}

TEST_F(HostTest, FinalizationFailureAtExitIsShown)
{
    InstallPackage(hostScreenPackage);
    auto host = StartHost({"--open", "EXP13000"});
    PackageProbe::SetFailing(QStringLiteral("Cli_hosttest"), QStringLiteral("fin"));
    dialogs.ExpectError();
    host->Shutdown();
    ASSERT_EQ(dialogs.Texts(TDialogKind::Error).size(), 1);
    EXPECT_TRUE(dialogs.Texts(TDialogKind::Error).first().contains("a finalização falhou"));
    EXPECT_FALSE(Resident(PackagePath()));
}

TEST_F(HostTest, GeometryIsSavedOnCloseAndRestoredAtTheNextStart)
{
    const QRect placed(37, 41, 612, 433);
    {
        auto host = StartHost();
        host->MainForm()->Widget()->setGeometry(placed);
        host->MainForm()->Close();
    }
    auto host = StartHost();
    EXPECT_EQ(host->MainForm()->Widget()->geometry(), placed);
}

TEST_F(HostTest, DamagedWindowStateIsIgnored)
{
    QRect firstRun;
    {
        auto host = StartHost();
        firstRun = host->MainForm()->Widget()->geometry();
    }
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("window.ini")))) << "saved without a close";

    QFile state(Path(QStringLiteral("window.ini")));
    ASSERT_TRUE(state.open(QIODevice::WriteOnly));
    state.write("[mainWindow]\ngeometry=@ByteArray(\\x1d\\xd9\\xd0\\xcb\\0\\x3garbage)\n");
    state.close();
    auto host = StartHost();
    EXPECT_EQ(host->MainForm()->Widget()->geometry(), firstRun);
    EXPECT_TRUE(host->MainForm()->Showing());
}

} // namespace
