// The package Pkg_exp13000 as the host uses it: loaded through the package
// mechanism, the screen opened through its entries.
#include "ScreenFixture.h"

#include "rtl/Exceptions.h"
#include "rtl/Packages.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"
#include "ui/Screen.h"

#include <QFileInfo>

namespace {

QString packageFile()
{
    return QStringLiteral(EXP_PACKAGE_PATH);
}

TEST(PackageLoading, DescriptionAndUnitInitialization)
{
    boIdCriado = true;  // the screen unit's initialization must reset it
    const TPackageHandle handle = LoadPackage(packageFile());
    EXPECT_FALSE(boIdCriado);
    const TPackageInfo info = PackageInfo(handle);
    EXPECT_EQ(info.Name, "Pkg_exp13000");
    EXPECT_EQ(info.Units, (QStringList{"Pkg_exp13000", "Cli_exp13000"}));
    EXPECT_EQ(info.MainUnit, "Pkg_exp13000");
    EXPECT_EQ(info.Requires, (QStringList{"_bar", "_vrn", "_rtl", "_qr", "_lib", "_ger", "_frm", "_db", "_vcl"}));
    EXPECT_TRUE(info.RunOnly);
    EXPECT_NE(GetPackageProc(handle, "IniProc"), nullptr);
    UnloadPackage(handle);
    EXPECT_THROW(PackageInfo(handle), EPackageError);
}

TEST(PackageLoading, AFileThatIsNoPackageIsRefused)
{
    const QString notAPackage = QFileInfo(packageFile()).dir().filePath(QStringLiteral("libexp_rtl.so"));
    ASSERT_TRUE(QFileInfo::exists(notAPackage));
    EXPECT_THROW(LoadPackage(notAPackage), EPackageError);
    EXPECT_THROW(LoadPackage(QStringLiteral("/nonexistent/libPkg_exp13000.so")), EPackageError);
}

// The two entries must behave alike: every test below runs with each. The
// host keeps the package loaded while the screen may exist, and so do these.
struct Entry {
    const char* name;
    bool plainName;  // IniProc, looked up in the loaded package; else CriaTela
};

class Entries : public ScreenTest, public testing::WithParamInterface<Entry> {
protected:
    void SetUp() override
    {
        ScreenTest::SetUp();
        handle = LoadPackage(packageFile());
        iniProc = reinterpret_cast<void (*)()>(GetPackageProc(handle, "IniProc"));
    }
    void TearDown() override
    {
        ScreenTest::TearDown();
        UnloadPackage(handle);
    }
    void Open()
    {
        if (GetParam().plainName)
            iniProc();
        else
            Cli_exp13000::CriaTela();
        Application->ProcessMessages();
    }

    TPackageHandle handle{};
    void (*iniProc)() = nullptr;
};

TEST_P(Entries, TwoCallsOpenOneScreenAndRestoreItFromMinimised)
{
    Open();
    ASSERT_TRUE(boIdCriado);
    TfrmConfSepExp* first = frmConfSepExp;
    first->medNrPedido->SetText("77");
    first->SetWindowState(TWindowState::wsMinimized);
    Application->ProcessMessages();
    Open();
    EXPECT_EQ(frmConfSepExp, first);
    EXPECT_EQ(first->medNrPedido->Text(), "77") << "the same instance, not a new one";
    EXPECT_EQ(first->WindowState(), TWindowState::wsNormal);
    EXPECT_TRUE(first->Showing());
    EXPECT_EQ(host->MdiArea()->subWindowList().size(), 1);
}

TEST_P(Entries, OpenCloseOpenGivesAFreshInstance)
{
    Open();
    frmConfSepExp->medNrPedido->SetText("77");
    CloseScreen();
    EXPECT_FALSE(boIdCriado);
    EXPECT_TRUE(host->MdiArea()->subWindowList().isEmpty());
    Open();
    EXPECT_TRUE(boIdCriado);
    EXPECT_EQ(frmConfSepExp->medNrPedido->Text(), "");
    EXPECT_EQ(host->MdiArea()->subWindowList().size(), 1);
}

TEST_P(Entries, HourglassDuringCreationDefaultAfterwards)
{
    QList<int> cursorsSeen;
    const auto answer = server.OnCall;
    server.OnCall = [&](const Rpc::TCall& call) {
        cursorsSeen << Screen->Cursor();
        return answer(call);
    };
    Open();
    ASSERT_FALSE(cursorsSeen.isEmpty()) << "creation asks the stock questions";
    for (int c : cursorsSeen)
        EXPECT_EQ(c, crHourGlass);
    EXPECT_EQ(Screen->Cursor(), crDefault);
}

TEST_P(Entries, FailedCreationRestoresTheCursorAndLeavesNoInstance)
{
    Application->SetMainForm(nullptr);  // no MDI area to open a child window in
    EXPECT_THROW(Open(), Exception);
    EXPECT_EQ(Screen->Cursor(), crDefault);
    EXPECT_FALSE(boIdCriado);
    Application->SetMainForm(host);
    Open();  // the next call tries again
    EXPECT_TRUE(boIdCriado);
}

INSTANTIATE_TEST_SUITE_P(Table, Entries,
                         testing::Values(Entry{"IniProc", true}, Entry{"CriaTela", false}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
