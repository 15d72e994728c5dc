#include "UiTest.h"
#include "ui/Application.h"
#include "ui/Buttons.h"
#include "ui/Form.h"
#include "ui/StdCtrls.h"

#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace {

class KeyForm : public TForm {
public:
    explicit KeyForm(TComponent* owner) : TForm(owner)
    {
        SetClientWidth(300);
        SetClientHeight(100);
        edit = new TEdit(this);
        edit->SetName("edit");
        edit->SetParent(this);
        button = new TSpeedButton(this);
        button->SetName("sbtConfirmar");
        button->SetParent(this);
        button->SetLeft(200);
        button->OnClick = TNotifyEvent::Of([this](TObject*) { log << "click"; });
        SetKeyPreview(true);
        OnKeyDown = TKeyEvent::Of([this](TObject*, TKey& key, TShiftState shift) {
            log << QStringLiteral("down:%1").arg(key);
            if (key == Keys::Return && shift.testFlag(TShiftFlag::ssCtrl)) {
                key = 0;
                button->Click();
            }
        });
        QObject::connect(static_cast<QLineEdit*>(edit->Widget()), &QLineEdit::returnPressed,
                         edit->Widget(), [this] { log << "edit:return"; });
    }
    TEdit* edit;
    TSpeedButton* button;
    QStringList log;
};

class FormTest : public UiTest {
protected:
    // The application's main form as an active MDI frame; `own` keeps one made here.
    static TForm* ActiveMdiHost(std::unique_ptr<TForm>& own)
    {
        TForm* host = Application->MainForm();
        if (!host) {
            own.reset(TForm::Create<TForm>(nullptr));
            host = own.get();
            Application->SetMainForm(host);
        }
        host->SetFormStyle(TFormStyle::fsMDIForm);
        host->SetClientWidth(800);
        host->SetClientHeight(600);
        host->Show();
        Activate(host->HostWindow());
        return host;
    }
};

TEST_F(FormTest, KeyPreviewSeesKeysBeforeTheFocusedEditAndSwallowsCtrlEnter)
{
    std::unique_ptr<KeyForm> form(TForm::Create<KeyForm>(nullptr));
    form->Show();
    Activate(form->HostWindow());
    form->edit->SetFocus();
    QTest::keyClick(form->edit->Widget(), Qt::Key_Return, Qt::ControlModifier | Qt::ShiftModifier);
    // The modifier keys come down first, as they are pressed.
    EXPECT_EQ(form->log, QStringList({"down:16", "down:17", "down:13", "click"}));
    form->log.clear();
    QTest::keyClick(form->edit->Widget(), Qt::Key_Return);
    EXPECT_EQ(form->log, QStringList({"down:13", "edit:return"}));
    QTest::keyClicks(form->edit->Widget(), "ab");
    EXPECT_EQ(form->edit->Text(), "ab");
}

TEST_F(FormTest, KeyPressCanSwallowOrReplaceTheCharacter)
{
    std::unique_ptr<KeyForm> form(TForm::Create<KeyForm>(nullptr));
    form->OnKeyPress = TKeyPressEvent::Of([](TObject*, QChar& c) {
        if (c == u'x')
            c = QChar();
        else if (c.isLower())
            c = c.toUpper();
    });
    form->Show();
    Activate(form->HostWindow());
    form->edit->SetFocus();
    QTest::keyClicks(form->edit->Widget(), "axb1");
    EXPECT_EQ(form->edit->Text(), "AB1");
}

TEST_F(FormTest, CloseActionsHideKeepOrReleaseTheForm)
{
    TForm* form = TForm::Create<TForm>(nullptr);
    TCloseAction chosen = TCloseAction::caNone;
    QStringList log;
    form->OnClose = TCloseEvent::Of([&](TObject*, TCloseAction& action) {
        log << (action == TCloseAction::caHide ? "hide?" : "other?");
        action = chosen;
    });
    form->Show();
    form->HostWindow()->close(); // the window's close button
    EXPECT_TRUE(form->Showing());
    chosen = TCloseAction::caHide;
    form->Close();
    EXPECT_FALSE(form->Showing());
    form->Show();
    chosen = TCloseAction::caFree;
    QPointer<QWidget> widget = form->Widget();
    form->Close();
    EXPECT_FALSE(widget.isNull()) << "released before control returned to the event loop";
    QApplication::processEvents();
    EXPECT_TRUE(widget.isNull());
    EXPECT_EQ(log, QStringList({"hide?", "hide?", "hide?"}));
}

TEST_F(FormTest, MdiChildIsActivatedEachTimeTheUserComesBack)
{
    std::unique_ptr<TForm> ownHost;
    TForm* host = ActiveMdiHost(ownHost);

    std::unique_ptr<TForm> a(TForm::Create<TForm>(nullptr));
    std::unique_ptr<TForm> b(TForm::Create<TForm>(nullptr));
    int activations = 0;
    a->OnActivate = TNotifyEvent::Of([&](TObject*) { ++activations; });
    for (TForm* f : {a.get(), b.get()}) {
        f->SetFormStyle(TFormStyle::fsMDIChild);
        f->SetClientWidth(300);
        f->SetClientHeight(200);
    }
    a->SetCaption("Conferência de Separação da Rastreabilidade");
    a->SetBorderIcons(TBorderIcon::biSystemMenu | TBorderIcon::biMinimize);
    a->Show();
    EXPECT_EQ(activations, 1);
    b->Show();
    EXPECT_EQ(activations, 1);
    host->MdiArea()->setActiveSubWindow(static_cast<QMdiSubWindow*>(a->HostWindow()));
    EXPECT_EQ(activations, 2);
    EXPECT_EQ(a->HostWindow()->windowTitle(), "Conferência de Separação da Rastreabilidade");
    EXPECT_FALSE(a->HostWindow()->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(a->ClientWidth(), 300);
    EXPECT_EQ(a->ClientHeight(), 200);

    a->SetWindowState(TWindowState::wsMinimized);
    EXPECT_EQ(a->WindowState(), TWindowState::wsMinimized);
    a->SetWindowState(TWindowState::wsNormal);
    EXPECT_EQ(a->WindowState(), TWindowState::wsNormal);

    a.reset();
    b.reset();
    EXPECT_TRUE(host->MdiArea()->subWindowList().isEmpty());
    host->SetVisible(false);
    if (ownHost)
        Application->SetMainForm(nullptr);
}

// The area makes a new child its active one on its own, possibly while the
// child is still hidden (its OnCreate waiting on the server): the form
// becomes active when it is shown, and not before.
TEST_F(FormTest, MdiChildActivatedWhileHiddenIsActivatedWhenShown)
{
    std::unique_ptr<TForm> ownHost;
    TForm* host = ActiveMdiHost(ownHost);
    std::unique_ptr<TForm> child(TForm::Create<TForm>(nullptr));
    child->SetFormStyle(TFormStyle::fsMDIChild);
    int activations = 0;
    child->OnActivate = TNotifyEvent::Of([&](TObject*) { ++activations; });

    // The area reports the child as its active one while the child is still
    // hidden: under a window manager this happens when the main window gets
    // the focus while the child's OnCreate waits on the server.
    Q_EMIT host->MdiArea()->subWindowActivated(static_cast<QMdiSubWindow*>(child->HostWindow()));
    Application->ProcessMessages();
    EXPECT_EQ(activations, 0) << "a hidden form is not active";
    child->Show();
    Application->ProcessMessages();
    EXPECT_EQ(activations, 1);
    child->Show();
    Application->ProcessMessages();
    EXPECT_EQ(activations, 1) << "showing a form already active and shown does not activate it again";

    child.reset();
    host->SetVisible(false);
    if (ownHost)
        Application->SetMainForm(nullptr);
}

TEST_F(FormTest, ComponentsAreFoundByName)
{
    std::unique_ptr<KeyForm> form(TForm::Create<KeyForm>(nullptr));
    EXPECT_EQ(form->FindComponent("SBTCONFIRMAR"), form->button);
    EXPECT_EQ(form->FindComponent("edit"), form->edit);
    EXPECT_EQ(form->FindComponent("nada"), nullptr);
}

} // namespace
