#include "UiTest.h"
#include "ui/Form.h"
#include "ui/InteractiveDialogs.h"
#include "ui/StdCtrls.h"
#include "rtl/Exceptions.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace {

class DialogsTest : public UiTest {};

TEST_F(DialogsTest, ScriptedServiceAnswersFromItsQueueAndLogsEveryDialog)
{
    std::unique_ptr<TForm> form(TForm::Create<TForm>(nullptr));
    auto* edit = new TEdit(form.get());
    edit->SetName("medCdFilial");
    edit->SetParent(form.get());
    form->Show();
    Activate(form->HostWindow());
    edit->SetFocus();

    dialogs.ExpectMessage(mrYes);
    dialogs.ExpectError();
    EXPECT_EQ(MessageDlg("Confirma exclusão?", TMsgDlgType::mtConfirmation, TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo, 7),
              mrYes);
    Dialogs().ShowError("Filial deve ser informada.");

    ASSERT_EQ(dialogs.Log().size(), 2);
    const TDialogRecord& message = dialogs.Log().at(0);
    EXPECT_EQ(message.Kind, TDialogKind::Message);
    EXPECT_EQ(message.Text, "Confirma exclusão?");
    EXPECT_EQ(message.Type, TMsgDlgType::mtConfirmation);
    EXPECT_EQ(message.Buttons, TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo);
    EXPECT_EQ(message.HelpContext, 7);
    EXPECT_EQ(message.FocusedControl, "medCdFilial");
    EXPECT_EQ(dialogs.Log().at(1).Kind, TDialogKind::Error);
    EXPECT_FALSE(message.Unexpected);
}

TEST_F(DialogsTest, UnexpectedDialogIsReportedAndCancelled)
{
    QStringList reports;
    dialogs.OnUnexpected = [&](const QString& report) { reports << report; };
    dialogs.ExpectError();
    EXPECT_EQ(MessageDlg("Confirma?", TMsgDlgType::mtConfirmation, TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo, 0),
              mrCancel);
    Dialogs().ShowError("erro esperado");
    EXPECT_FALSE(Dialogs().LookupList({"Filial", nullptr}));
    ASSERT_EQ(reports.size(), 2);
    EXPECT_TRUE(reports.at(0).contains("Confirma?"));
    EXPECT_TRUE(reports.at(0).contains("error was expected"));
    EXPECT_TRUE(dialogs.Log().at(0).Unexpected);
    EXPECT_FALSE(dialogs.Log().at(1).Unexpected);
}

TEST_F(DialogsTest, PickersGetTheirRequestsAndGiveTheirAnswers)
{
    QString title;
    TObject context;
    dialogs.ExpectLookupList([&](const TLookupListRequest& r) {
        title = r.Title;
        return true;
    });
    dialogs.ExpectSearch();
    dialogs.ExpectReading([&](const TReadingRequest& r) {
        EXPECT_EQ(r.Context, &context);
        return QVariant(r.Arguments.value("NRLANCTONF").toString() + "-lido");
    });
    EXPECT_TRUE(Dialogs().LookupList({"Expedição", nullptr}));
    Dialogs().Search({nullptr});
    EXPECT_EQ(Dialogs().Reading({{{"NRLANCTONF", "0000001234"}}, &context}).toString(), "0000001234-lido");
    EXPECT_EQ(title, "Expedição");
    EXPECT_EQ(dialogs.Texts(TDialogKind::LookupList), QStringList({"Expedição"}));
}

TEST_F(DialogsTest, InteractiveMessageDialogOffersTheButtonsAndReturnsThePressedOne)
{
    QStringList captions;
    QString text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        text = box->text();
        for (QAbstractButton* b : box->buttons())
            captions << b->text();
        for (QAbstractButton* b : box->buttons())
            if (b->text() == "&Não")
                b->click();
    });
    const TModalResult result = InteractiveDialogs().MessageDlg(
        "Confirma que a nota está pronta para rastreio?", TMsgDlgType::mtConfirmation,
        TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo, 0);
    EXPECT_EQ(result, mrNo);
    EXPECT_EQ(text, "Confirma que a nota está pronta para rastreio?");
    captions.sort();
    EXPECT_EQ(captions, QStringList({"&Não", "&Sim"}));
}

// The window a question is asked over may go while the question waits (a
// reading screen closed and deleted under it): the question stays on screen
// and still answers, for the message dialog and the error display alike.
TEST_F(DialogsTest, InteractiveDialogsOutliveTheWindowTheyWereAskedOver)
{
    struct TCase {
        const char* what;
        std::function<TModalResult()> ask;
        TModalResult answer;
    };
    const QList<TCase> cases = {
        {"message dialog",
         [] {
             return InteractiveDialogs().MessageDlg("Confirma exclusão?", TMsgDlgType::mtConfirmation,
                                                    TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo, 0);
         },
         mrYes},
        {"error display",
         [] {
             InteractiveDialogs().ShowError("Filial deve ser informada.");
             return mrOk;
         },
         mrOk},
    };
    for (const TCase& c : cases) {
        TForm* below = TForm::Create<TForm>(nullptr);
        below->Show();
        Activate(below->HostWindow());
        bool stayed = false;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                ADD_FAILURE() << c.what << ": no message box";
                return;
            }
            delete below;
            stayed = QApplication::activeModalWidget() == box && box->isVisible();
            box->buttons().first()->click();
        });
        EXPECT_EQ(c.ask(), c.answer) << c.what;
        EXPECT_TRUE(stayed) << c.what;
    }
}

TEST_F(DialogsTest, InteractivePickersComeFromTheirRegistrants)
{
    TInteractiveDialogs service;
    EXPECT_THROW(service.Search({nullptr}), Exception);
    EXPECT_THROW(service.Reading({}), Exception);
    EXPECT_THROW(service.LookupList({}), Exception);
    int searches = 0;
    service.RegisterSearch([&](const TSearchRequest&) { ++searches; });
    service.RegisterLookupList([](const TLookupListRequest& r) { return r.Title == "Filial"; });
    service.Search({nullptr});
    EXPECT_EQ(searches, 1);
    EXPECT_TRUE(service.LookupList({"Filial", nullptr}));
}

} // namespace
