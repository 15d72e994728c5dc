#include "SampleBranches.h"
#include "UiTest.h"
#include "framework/RotiGeral.h"
#include "ui/Application.h"

#include <QLineEdit>
#include <QTableView>

namespace {

// A small screen on the base form: a tool bar over the strip, two edits and
// two grids in the work area, one button of its own in panBotoes.
class TestScreen : public TfrmRotiGeral {
public:
    explicit TestScreen(TComponent* owner) : TfrmRotiGeral(owner)
    {
        SetClientWidth(1196);
        SetClientHeight(624);
        lblCodTela->SetCaption("EXP13000");
        lblCodTela->SetWidth(51);

        toolBar = new TPanel(this);
        toolBar->SetName("panBotoeshorizontal");
        toolBar->SetHeight(28);
        toolBar->SetAlign(TAlign::alTop);
        toolBar->SetParent(this);
        sbtConfirmar = new TButtonFlat(this);
        sbtConfirmar->SetName("sbtConfirmar");
        sbtConfirmar->SetBounds(145, 4, 21, 21);
        sbtConfirmar->SetHint("Confirmar");
        sbtConfirmar->SetParent(toolBar);
        sbtConfirmar->OnClick = TNotifyEvent::Of([this](TObject*) { log << "sbtConfirmar"; });

        branches = new TSampleBranches(this);
        first = AddEdit("edtPrimeiro", 10);
        second = AddEdit("edtSegundo", 40);
        gridA = AddGrid("dbgA", 80);
        gridB = AddGrid("dbgB", 260);

        own = new TButtonFlat(this);
        own->SetName("sbtProprio");
        own->SetHeight(40);
        own->SetAlign(TAlign::alTop);
        own->SetParent(panBotoes);
    }

    void FormCreate(TObject* sender) override
    {
        TfrmRotiGeral::FormCreate(sender);
        log << "FormCreate";
    }

    void FormClose(TObject* sender, TCloseAction& action) override
    {
        log << "FormClose";
        TfrmRotiGeral::FormClose(sender, action);
        closeAction = action;
    }

    void FormKeyDown(TObject*, TKey& key, TShiftState shift) override
    {
        log << QStringLiteral("key %1").arg(key);
        if (key == Keys::Return && shift.testFlag(TShiftFlag::ssCtrl)) {
            key = 0;
            sbtConfirmar->Click();
        }
    }

    TEdit* AddEdit(const char* name, int top)
    {
        auto* edit = new TEdit(this);
        edit->SetName(QString::fromLatin1(name));
        edit->SetBounds(10, top, 120, 24);
        edit->SetParent(grbDadosRel);
        edit->OnEnter = TNotifyEvent::Of([this, edit](TObject*) { log << "enter " + edit->Name(); });
        edit->OnExit = TNotifyEvent::Of([this, edit](TObject*) { log << "exit " + edit->Name(); });
        QObject::connect(static_cast<QLineEdit*>(edit->Widget()), &QLineEdit::returnPressed, edit->Widget(),
                         [this, edit] { log << "return " + edit->Name(); });
        return edit;
    }

    TDBGrid* AddGrid(const char* name, int top)
    {
        auto* grid = new TDBGrid(this);
        grid->SetName(QString::fromLatin1(name));
        grid->SetBounds(10, top, 600, 150);
        grid->SetParent(grbDadosRel);
        grid->SetDataSource(branches->dts);
        grid->OnEnter = TNotifyEvent::Of([this, grid](TObject*) {
            log << QStringLiteral("enter %1, dbgAtiva %2").arg(grid->Name(), dbgAtiva ? dbgAtiva->Name() : "none");
        });
        return grid;
    }

    TPanel* toolBar;
    TButtonFlat* sbtConfirmar;
    TSampleBranches* branches;
    TEdit* first;
    TEdit* second;
    TDBGrid* gridA;
    TDBGrid* gridB;
    TButtonFlat* own;
    QStringList log;
    std::optional<TCloseAction> closeAction;
};

class RotiGeralTest : public UiTest {
protected:
    void SetUp() override
    {
        screen = TForm::Create<TestScreen>(nullptr);
        widget = screen->Widget();
    }
    void TearDown() override
    {
        if (widget)
            delete screen;
    }
    void ShowScreen()
    {
        screen->Show();
        Activate(screen->HostWindow());
    }

    TestScreen* screen = nullptr;
    QPointer<QWidget> widget;
};

TEST_F(RotiGeralTest, CompositionLeavesTheStripToTheToolBarAndTheRightEdgeToTheSidePanel)
{
    EXPECT_EQ(screen->grbDadosRel->BoundsRect(), Bounds(0, 28, 1141, 596));
    EXPECT_EQ(screen->panMenu->BoundsRect(), Bounds(1141, 28, 55, 596));
    EXPECT_EQ(screen->toolBar->BoundsRect(), Bounds(0, 0, 1196, 28));
    // The screen's own controls went where it put them.
    EXPECT_EQ(screen->first->Parent(), screen->grbDadosRel);
    EXPECT_EQ(screen->own->Parent(), screen->panBotoes);
    EXPECT_EQ(screen->sbtConfirma->Parent(), screen->panBotoes);
    EXPECT_FALSE(screen->sbtConfirma->Enabled());
    EXPECT_EQ(screen->sbtConfirma->Widget()->toolTip(), "Confirmar o registro selecionado");
    EXPECT_NE(screen->sbtConfirma->Widget()->toolTip(), screen->sbtConfirmar->Widget()->toolTip());
    EXPECT_EQ(screen->sbtFechar->Widget()->toolTip(), "Fechar a tela (Esc)");
    for (const char* name : {"lblCodTela", "grbDadosRel", "panMenu", "panBotoes", "sbtConfirma", "msgPadrao"})
        EXPECT_NE(screen->FindComponent(QString::fromLatin1(name)), nullptr) << name;

    // The code label stays readable over the screen's tool bar, at the
    // strip's right end, wide enough for its text in the font in use.
    const QRect label = screen->lblCodTela->Widget()->geometry();
    EXPECT_GE(label.width(), 51);
    EXPECT_GE(label.width(), screen->lblCodTela->Widget()->sizeHint().width());
    EXPECT_EQ(label.right(), 1195 - 4);
    EXPECT_LE(label.bottom(), 27);
    EXPECT_EQ(widget->childAt(label.center()), screen->lblCodTela->Widget());

    // Both areas follow a resize of the window and never take the strip.
    ShowScreen();
    screen->SetClientWidth(800);
    screen->SetClientHeight(500);
    EXPECT_EQ(screen->grbDadosRel->BoundsRect(), Bounds(0, 28, 745, 472));
    EXPECT_EQ(screen->panMenu->BoundsRect(), Bounds(745, 28, 55, 472));
    screen->toolBar->Hide();
    EXPECT_EQ(screen->grbDadosRel->Top(), 28);
}

TEST_F(RotiGeralTest, CreateRunsTheScreensHandlerAndCloseReleasesTheScreen)
{
    EXPECT_EQ(screen->log, QStringList{"FormCreate"});
    ShowScreen();
    screen->log.clear();
    screen->sbtFechar->Click();
    EXPECT_EQ(screen->log, QStringList{"FormClose"});
    EXPECT_EQ(screen->closeAction, TCloseAction::caFree);
    EXPECT_FALSE(screen->Showing());
    QApplication::processEvents();
    EXPECT_TRUE(widget.isNull()) << "the base close handler did not release the form";
}

TEST_F(RotiGeralTest, DbgAtivaNamesTheGridBeforeItsEnterHandlerRuns)
{
    screen->branches->Load();
    ShowScreen();
    EXPECT_EQ(screen->dbgAtiva, nullptr);
    screen->first->SetFocus();
    screen->gridA->SetFocus();
    // The user clicks into the other grid.
    QTableView* view = screen->gridB->View();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(1, 0)).center());
    screen->second->SetFocus();
    EXPECT_EQ(screen->log.filter("dbgAtiva"),
              QStringList({"enter dbgA, dbgAtiva dbgA", "enter dbgB, dbgAtiva dbgB"}));
    // Other controls leave it on the last grid.
    EXPECT_EQ(screen->dbgAtiva, screen->gridB);
}

TEST_F(RotiGeralTest, KeysReachFormKeyDownFirstAndEnterMovesToTheNextControl)
{
    ShowScreen();
    screen->first->SetFocus();
    screen->log.clear();

    QTest::keyClick(screen->first->Widget(), Qt::Key_Return, Qt::ControlModifier);
    EXPECT_EQ(screen->log, QStringList({"key 17", "key 13", "sbtConfirmar"}));
    EXPECT_EQ(screen->ActiveControl(), screen->first);

    screen->log.clear();
    QTest::keyClick(screen->first->Widget(), Qt::Key_Return);
    EXPECT_EQ(screen->log, QStringList({"key 13", "exit edtPrimeiro", "enter edtSegundo"}));
    EXPECT_EQ(screen->ActiveControl(), screen->second);

    // A screen that clears the key-press handler gets Enter in its controls.
    screen->OnKeyPress = nullptr;
    screen->log.clear();
    QTest::keyClick(screen->second->Widget(), Qt::Key_Return);
    EXPECT_EQ(screen->log, QStringList({"key 13", "return edtSegundo"}));
    EXPECT_EQ(screen->ActiveControl(), screen->second);
}

// Esc is the close button's key: the screen's own FormKeyDown sees it first
// and need not pass it on; a disabled close button keeps the screen open.
TEST_F(RotiGeralTest, EscClosesTheScreenOnlyWhileTheCloseButtonMay)
{
    ShowScreen();
    screen->second->SetFocus();
    screen->sbtFechar->SetEnabled(false);
    QTest::keyClick(screen->second->Widget(), Qt::Key_Escape);
    EXPECT_TRUE(screen->Showing());
    EXPECT_FALSE(screen->log.contains("FormClose"));

    screen->sbtFechar->SetEnabled(true);
    screen->log.clear();
    QTest::keyClick(screen->second->Widget(), Qt::Key_Escape);
    EXPECT_EQ(screen->log, QStringList({"key 27", "FormClose"}));
    EXPECT_FALSE(screen->Showing());
}

} // namespace
