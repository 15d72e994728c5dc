#include "UiTest.h"
#include "ui/Form.h"
#include "ui/Panels.h"
#include "ui/StdCtrls.h"
#include "rtl/Exceptions.h"

#include <QLineEdit>

namespace {

// form
//   panA (panel, top): edA1, edA2
//   panB (panel, client): grpB (group box, top): edB1; then edB2
class FocusForm : public TForm {
public:
    explicit FocusForm(TComponent* owner) : TForm(owner)
    {
        SetClientWidth(400);
        SetClientHeight(300);
        panA = Make<TPanel>(this, "panA");
        panA->SetAlign(TAlign::alTop);
        panA->SetHeight(100);
        edA1 = Make<TEdit>(panA, "edA1");
        edA1->SetBounds(10, 10, 120, 24);
        edA2 = Make<TEdit>(panA, "edA2");
        edA2->SetBounds(10, 50, 120, 24);
        panB = Make<TPanel>(this, "panB");
        panB->SetAlign(TAlign::alClient);
        grpB = Make<TGroupBox>(panB, "grpB");
        grpB->SetAlign(TAlign::alTop);
        grpB->SetHeight(80);
        edB1 = Make<TEdit>(grpB, "edB1");
        edB1->SetBounds(10, 30, 120, 24);
        edB2 = Make<TEdit>(panB, "edB2");
        edB2->SetBounds(10, 120, 120, 24);
        for (TWinControl* c : {static_cast<TWinControl*>(panA), static_cast<TWinControl*>(edA1),
                               static_cast<TWinControl*>(edA2), static_cast<TWinControl*>(panB),
                               static_cast<TWinControl*>(grpB), static_cast<TWinControl*>(edB1),
                               static_cast<TWinControl*>(edB2)}) {
            c->OnEnter = TNotifyEvent::Of([this, c](TObject*) { log << "enter:" + c->Name(); });
            c->OnExit = TNotifyEvent::Of([this, c](TObject*) { log << "exit:" + c->Name(); });
        }
    }

    template <class T>
    T* Make(TWinControl* parent, const char* name)
    {
        T* c = new T(this);
        c->SetName(QString::fromLatin1(name));
        c->SetParent(parent);
        return c;
    }

    void FocusEntering(TWinControl* control) override { log << "hook:" + control->Name(); }

    TPanel* panA;
    TEdit* edA1;
    TEdit* edA2;
    TPanel* panB;
    TGroupBox* grpB;
    TEdit* edB1;
    TEdit* edB2;
    QStringList log;
};

class FocusTest : public UiTest {
protected:
    void SetUp() override
    {
        form.reset(TForm::Create<FocusForm>(nullptr));
        form->Show();
        Activate(form->HostWindow());
        form->edA1->SetFocus();
        form->log.clear();
    }

    void Tab() { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab); }
    void Click(TControl* c) { QTest::mouseClick(c->Widget(), Qt::LeftButton); }
    void ClickAtEnd(QLineEdit* line)
    {
        QTest::mouseClick(line, Qt::LeftButton, {}, QPoint(line->width() - 4, line->height() / 2));
    }

    // panA refuses to be left; edB1 holds a text with its cursor at the
    // start, so a click that reaches it moves the cursor.
    QLineEdit* RefuseLeavingPanA()
    {
        form->panA->OnExit = TNotifyEvent::Of([this](TObject*) {
            form->log << "exit:panA";
            throw Exception("Filial deve ser informada.");
        });
        form->edB1->SetText("abcdef");
        auto* line = static_cast<QLineEdit*>(form->edB1->Widget());
        line->setCursorPosition(0);
        return line;
    }

    std::unique_ptr<FocusForm> form;
};

TEST_F(FocusTest, TabRunsExitChainUpAndEnterChainDownInDeclaredOrder)
{
    Tab();
    EXPECT_EQ(form->log, QStringList({"exit:edA1", "hook:edA2", "enter:edA2"}));
    form->log.clear();
    Tab();
    EXPECT_EQ(form->log,
              QStringList({"exit:edA2", "exit:panA", "enter:panB", "enter:grpB", "hook:edB1", "enter:edB1"}));
    form->log.clear();
    Tab();
    EXPECT_EQ(form->log, QStringList({"exit:edB1", "exit:grpB", "hook:edB2", "enter:edB2"}));
    form->log.clear();
    Tab();
    EXPECT_EQ(form->log, QStringList({"exit:edB2", "exit:panB", "enter:panA", "hook:edA1", "enter:edA1"}));
    EXPECT_TRUE(form->edA1->Focused());
    form->log.clear();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(form->log, QStringList({"exit:edA1", "exit:panA", "enter:panB", "hook:edB2", "enter:edB2"}));
    EXPECT_TRUE(form->edB2->Focused());
    EXPECT_EQ(form->ActiveControl(), form->edB2);
}

TEST_F(FocusTest, TabSkipsControlsThatCannotTakeTheFocusAndFollowsTabOrder)
{
    form->edA2->SetEnabled(false);
    form->grpB->SetVisible(false);
    form->edB2->SetTabOrder(0);
    Tab();
    EXPECT_TRUE(form->edB2->Focused());
    Tab();
    EXPECT_TRUE(form->edA1->Focused());
}

TEST_F(FocusTest, ClickRunsTheSameChains)
{
    Click(form->edB1);
    EXPECT_EQ(form->log,
              QStringList({"exit:edA1", "exit:panA", "enter:panB", "enter:grpB", "hook:edB1", "enter:edB1"}));
    EXPECT_TRUE(form->edB1->Focused());
    form->log.clear();
    Click(form->edB1);
    EXPECT_TRUE(form->log.isEmpty()) << form->log.join(' ').toStdString();
}

TEST_F(FocusTest, ThrowingExitHandlerKeepsTheFocusShowsTheErrorOnceAndRefusesTheClick)
{
    QLineEdit* line = RefuseLeavingPanA();
    dialogs.ExpectError();
    ClickAtEnd(line);
    EXPECT_EQ(form->log, QStringList({"exit:edA1", "exit:panA"}));
    EXPECT_TRUE(form->edA1->Focused());
    EXPECT_EQ(form->ActiveControl(), form->edA1);
    EXPECT_EQ(line->cursorPosition(), 0) << "the refused click reached the edit";
    ASSERT_EQ(dialogs.Log().size(), 1);
    EXPECT_EQ(dialogs.Log().at(0).Text, "Filial deve ser informada.");
    EXPECT_EQ(dialogs.Log().at(0).FocusedControl, "edA1");

    // The next move runs the exit chain again, from the same control.
    form->log.clear();
    dialogs.ExpectError();
    form->edA1->SetFocus(); // already there: nothing runs
    EXPECT_TRUE(form->log.isEmpty());
    Tab();
    Tab();
    EXPECT_EQ(form->log, QStringList({"exit:edA1", "hook:edA2", "enter:edA2", "exit:edA2", "exit:panA"}));
    EXPECT_TRUE(form->edA2->Focused());
}

// The window is not active (no window manager activated it again after a
// modal dialog): the click that activates it runs the chains before it is
// delivered, and is refused as in an active window.
TEST_F(FocusTest, ClickIntoAnInactiveWindowRunsTheChainsBeforeItIsDelivered)
{
    QLineEdit* line = RefuseLeavingPanA();
    QApplication::setActiveWindow(nullptr);
    ASSERT_FALSE(form->HostWindow()->isActiveWindow());
    dialogs.ExpectError();
    ClickAtEnd(line);
    EXPECT_EQ(form->log, QStringList({"exit:edA1", "exit:panA"}));
    EXPECT_EQ(form->ActiveControl(), form->edA1);
    EXPECT_EQ(line->cursorPosition(), 0) << "the refused click reached the edit";

    form->panA->OnExit = {};
    form->log.clear();
    Activate(form->HostWindow());
    EXPECT_TRUE(form->edA1->Focused());
    ClickAtEnd(line);
    EXPECT_EQ(form->log, QStringList({"exit:edA1", "enter:panB", "enter:grpB", "hook:edB1", "enter:edB1"}));
    EXPECT_EQ(line->cursorPosition(), 6);
}

TEST_F(FocusTest, ExitHandlerThatMovesTheFocusAndThrowsLeavesItWhereItMovedIt)
{
    form->panA->OnExit = TNotifyEvent::Of([this](TObject*) {
        form->log << "exit:panA";
        form->edA2->SetFocus();
        throw Exception("Nr Expedição não cadastrado.");
    });
    dialogs.ExpectError();
    Click(form->edB2);
    EXPECT_EQ(form->log, QStringList({"exit:edA1", "exit:panA", "hook:edA2", "enter:edA2"}));
    EXPECT_TRUE(form->edA2->Focused());
    EXPECT_EQ(form->ActiveControl(), form->edA2);
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList({"Nr Expedição não cadastrado."}));
}

TEST_F(FocusTest, ProgrammaticMoveHandsTheExceptionToTheCaller)
{
    form->edA1->OnExit = TNotifyEvent::Of([](TObject*) { throw Exception("recusado"); });
    EXPECT_THROW(form->edB2->SetFocus(), Exception);
    EXPECT_TRUE(form->edA1->Focused());
    EXPECT_TRUE(form->log.isEmpty());
}

TEST_F(FocusTest, EnterHandlerThatMovesTheFocusEndsTheOuterMove)
{
    form->grpB->OnEnter = TNotifyEvent::Of([this](TObject*) {
        form->log << "enter:grpB";
        form->edB2->SetFocus();
    });
    Click(form->edB1);
    EXPECT_EQ(form->log, QStringList({"exit:edA1", "exit:panA", "enter:panB", "enter:grpB", "exit:grpB",
                                      "hook:edB2", "enter:edB2"}));
    EXPECT_TRUE(form->edB2->Focused());
}

TEST_F(FocusTest, QtFocusChangesDuringAMoveAreNotMovesOfTheirOwn)
{
    // As a message box shown by a handler takes the focus and gives it back
    // to whatever Qt remembers.
    form->edA1->OnExit = TNotifyEvent::Of([this](TObject*) {
        form->log << "exit:edA1";
        form->edB2->Widget()->setFocus(Qt::PopupFocusReason);
    });
    Click(form->edB1);
    EXPECT_EQ(form->log,
              QStringList({"exit:edA1", "exit:panA", "enter:panB", "enter:grpB", "hook:edB1", "enter:edB1"}));
    EXPECT_TRUE(form->edB1->Focused());
}

TEST_F(FocusTest, SetFocusOnAControlThatCannotTakeItDoesNothing)
{
    form->edB1->SetEnabled(false);
    EXPECT_FALSE(form->edB1->CanFocus());
    form->edB1->SetFocus();
    form->edB2->SetVisible(false);
    form->edB2->SetFocus();
    form->edB1->SetEnabled(true);
    form->panB->SetEnabled(false);
    EXPECT_FALSE(form->edB1->CanFocus());
    form->edB1->SetFocus();
    EXPECT_TRUE(form->log.isEmpty());
    EXPECT_TRUE(form->edA1->Focused());
    form->panB->SetEnabled(true);
    EXPECT_TRUE(form->edB1->CanFocus());
    EXPECT_FALSE(form->edB1->Focused());
}

} // namespace
