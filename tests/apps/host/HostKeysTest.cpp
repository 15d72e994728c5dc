// The screen's place in the main window and the main window's keys.
#include "HostFixture.h"

#include "packages/PackageProbe.h"

#include "host/WindowState.h"
#include "ui/Application.h"
#include "ui/Form.h"

#include <QAction>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>

namespace {

std::string Text(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()).toStdString();
}

const QStringList loadAndOpen = {"init Pkg_hosttest", "init Cli_hosttest", "IniProc Cli_hosttest"};

class HostPlacementTest : public HostTest {
protected:
    // A host whose main window is 1024 x 768, with the screen open.
    std::unique_ptr<THost> StartSmall()
    {
        InstallPackage(hostScreenPackage);
        auto host = StartHost();
        host->MainForm()->Widget()->resize(1024, 768);
        Activate(host->MainForm()->Widget());
        ScreenMenuEntry(*host->MainForm())->trigger();
        return host;
    }

    static QMdiSubWindow* Screen(const THost& host) { return host.MainForm()->MdiArea()->activeSubWindow(); }

    // The rectangle of the screen's control `name`, in the area's coordinates.
    static QRect InArea(const THost& host, const char* name)
    {
        QWidget* viewport = host.MainForm()->MdiArea()->viewport();
        for (const QWidget* control : Screen(host)->findChildren<QWidget*>())
            if (const TControl* named = ControlOf(control); named && named->Widget() == control
                                                            && named->Name() == QLatin1String(name))
                return QRect(control->mapTo(viewport, QPoint()), control->size());
        return {};
    }

    static void ExpectWholeInside(const THost& host)
    {
        const QRect area = host.MainForm()->MdiArea()->viewport()->rect();
        EXPECT_TRUE(area.contains(Screen(host)->geometry())) << Text(Screen(host)->geometry()) << " in " << Text(area);
        for (const char* name : {"sbtConfirma", "sbtFechar"}) {
            const QRect button = InArea(host, name);
            EXPECT_FALSE(button.isEmpty()) << name;
            EXPECT_TRUE(area.contains(button)) << name << " at " << Text(button) << " in " << Text(area);
        }
    }
};

TEST_F(HostPlacementTest, AScreenLargerThanTheAreaOpensMaximizedWithItsSideButtonsInside)
{
    auto host = StartSmall();
    ASSERT_NE(Screen(*host), nullptr);
    EXPECT_TRUE(Screen(*host)->isMaximized());
    ExpectWholeInside(*host);
}

TEST_F(HostPlacementTest, TheUsersChoiceHoldsForTheNextOpeningAndTheNextRun)
{
    {
        auto host = StartSmall();
        Screen(*host)->showNormal(); // the user's restore button
        host->MainForm()->CloseScreenAction()->trigger();
        ScreenMenuEntry(*host->MainForm())->trigger();
        EXPECT_FALSE(Screen(*host)->isMaximized());
        ExpectWholeInside(*host);
        EXPECT_EQ(ReadScreenMaximized(Path("window.ini"), "EXP13000"), false);
    }
    {
        auto host = StartSmall();
        EXPECT_FALSE(Screen(*host)->isMaximized()) << "the choice of the last run";
        ExpectWholeInside(*host);
        Screen(*host)->showMaximized();
    }
    EXPECT_EQ(ReadScreenMaximized(Path("window.ini"), "EXP13000"), true);
}

TEST_F(HostPlacementTest, WhereThereIsRoomTheScreenKeepsItsDesignedSize)
{
    InstallPackage(hostScreenPackage);
    auto host = StartHost();
    host->MainForm()->Widget()->resize(1600, 1000);
    Activate(host->MainForm()->Widget());
    ScreenMenuEntry(*host->MainForm())->trigger();
    EXPECT_FALSE(Screen(*host)->isMaximized());
    EXPECT_EQ(Screen(*host)->widget()->size(), QSize(1196, 652));
    ExpectWholeInside(*host);
}

TEST_F(HostPlacementTest, CtrlF4ClosesTheActiveScreenAndExitClosesTheMainWindow)
{
    auto host = StartSmall();
    PackageProbe::Take();
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus ? focus : host->MainForm()->Widget(), Qt::Key_F4, Qt::ControlModifier);
    EXPECT_EQ(PackageProbe::Take(), QStringList{"FormClose"});
    EXPECT_FALSE(Screen(*host) && Screen(*host)->isVisible());

    host->MainForm()->ExitAction()->trigger();
    EXPECT_FALSE(host->MainForm()->Showing());
}

TEST_F(HostTest, EveryMenuHasAMnemonicAndF10OpensTheFirstMenu)
{
    auto host = StartHost();
    QMenuBar* bar = host->MainForm()->MenuBar();
    Activate(host->MainForm()->Widget());
    QStringList titles;
    for (QAction* title : bar->actions()) {
        titles << title->text();
        EXPECT_TRUE(title->text().startsWith(u'&')) << title->text().toStdString();
        for (QAction* entry : title->menu()->actions())
            EXPECT_TRUE(entry->text().contains(u'&')) << entry->text().toStdString();
    }
    EXPECT_EQ(titles.first(), "&Arquivo");
    EXPECT_EQ(titles.last(), "&Janela");
    EXPECT_EQ(host->MainForm()->ExitAction()->text(), "&Sair");

    QTest::keyClick(host->MainForm()->Widget(), Qt::Key_F10);
    EXPECT_EQ(bar->activeAction(), bar->actions().first());
    if (QMenu* open = bar->actions().first()->menu())
        open->close();
}

TEST_F(HostTest, TheStatusBarShowsTheApplicationsHintForAWhile)
{
    auto host = StartHost();
    auto* label = host->MainForm()->Widget()->findChild<QLabel*>(QStringLiteral("lblDica"));
    ASSERT_NE(label, nullptr);
    Application->SetHint(QStringLiteral("Este campo aceita somente dígitos nesta posição."));
    EXPECT_EQ(label->text(), "Este campo aceita somente dígitos nesta posição.");
    EXPECT_TRUE(label->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([label] { return label->text().isEmpty(); }, TfrmPrincipal::HintMs + 2000))
        << "the hint stays";
}

} // namespace
