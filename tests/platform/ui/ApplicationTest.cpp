#include "UiTest.h"
#include "ui/Application.h"
#include "ui/Buttons.h"
#include "ui/Dispatch.h"
#include "ui/Form.h"
#include "ui/Screen.h"
#include "rtl/Exceptions.h"

#include <QCursor>
#include <QToolButton>
#include <stdexcept>

namespace {

class ApplicationTest : public UiTest {};

TEST_F(ApplicationTest, HandleExceptionShowsEveryErrorButTheSilentOne)
{
    auto raise = [](auto error) {
        try {
            throw error;
        } catch (...) {
            Application->HandleException(nullptr);
        }
    };
    dialogs.ExpectError();
    dialogs.ExpectError();
    dialogs.ExpectError();
    raise(EDatabaseError("Filial não cadastrada."));
    raise(EAbort("cancelado"));
    raise(std::runtime_error("falha de E/S"));
    raise(42);
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error),
              QStringList({"Filial não cadastrada.", "falha de E/S", "Erro desconhecido."}));
}

TEST_F(ApplicationTest, DispatchHandsTheErrorToTheDisplayAndReportsIt)
{
    dialogs.ExpectError();
    EXPECT_FALSE(Dispatch(nullptr, [] { throw EServerError("servidor fora do ar"); }));
    EXPECT_TRUE(Dispatch(nullptr, [] {}));
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList({"servidor fora do ar"}));
}

TEST_F(ApplicationTest, ThrowingClickHandlerLeavesTheApplicationRunningAndShowsTheErrorOnce)
{
    std::unique_ptr<TForm> form(TForm::Create<TForm>(nullptr));
    auto* button = new TSpeedButton(form.get());
    button->SetParent(form.get());
    int clicks = 0;
    button->OnClick = TNotifyEvent::Of([&](TObject*) {
        if (++clicks == 1)
            throw EConnectionError("conexão perdida");
    });
    form->Show();
    Activate(form->HostWindow());
    dialogs.ExpectError();
    QTest::mouseClick(button->Widget(), Qt::LeftButton);
    QApplication::processEvents();
    QTest::mouseClick(button->Widget(), Qt::LeftButton);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList({"conexão perdida"}));
}

TEST_F(ApplicationTest, CreateFormRunsOnCreateAndAnErrorThereStillLeavesTheForm)
{
    struct Failing : TForm {
        explicit Failing(TComponent* owner) : TForm(owner)
        {
            OnCreate = TNotifyEvent::Of([this](TObject*) {
                created = true;
                throw EConnectionError("sem servidor");
            });
        }
        bool created = false;
    };
    dialogs.ExpectError();
    Failing* form = nullptr;
    TForm* main = Application->MainForm();
    Application->CreateForm(form);
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->created);
    EXPECT_EQ(form->Owner(), Application);
    EXPECT_EQ(Application->MainForm(), main ? main : form);
    delete form;
    EXPECT_EQ(Application->MainForm(), main);
}

TEST_F(ApplicationTest, ScreenCursorIsQtsOverrideCursor)
{
    ASSERT_EQ(Screen->Cursor(), crDefault);
    Screen->SetCursor(crHourGlass);
    EXPECT_EQ(Screen->Cursor(), crHourGlass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    Screen->SetCursor(crHourGlass);
    Screen->SetCursor(crDefault);
    EXPECT_EQ(Screen->Cursor(), crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

} // namespace
