#include "SampleBranches.h"
#include "UiTest.h"
#include "framework/Consiste.h"
#include "framework/Vrn_msg.h"
#include "ui/DBGrid.h"
#include "ui/Dispatch.h"
#include "ui/Form.h"

namespace {

class ConsisteUiTest : public UiTest {};

TEST_F(ConsisteUiTest, MensErroShowsTheTextOnceAndTheErrorDisplayAddsNothing)
{
    dialogs.ExpectError();
    // An event handler that fails a check: the dispatch boundary hands the
    // exception to the standard error display.
    const bool completed = Dispatch(nullptr, [] { Consiste::MensErro("Filial deve ser informada.", true); });
    EXPECT_FALSE(completed);
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{"Filial deve ser informada."});
    EXPECT_TRUE(dialogs.Texts(TDialogKind::Message).isEmpty());
}

TEST_F(ConsisteUiTest, MensErroCarriesItsTextAndStaysSilentWhenRaisedAgain)
{
    dialogs.ExpectError();
    QString caught;
    Dispatch(nullptr, [&] {
        try {
            Consiste::MensErro("Nr Expedição não cadastrado.", true);
        } catch (const Exception& e) {
            // A screen's handler around a check: moves the focus, raises again.
            caught = e.Message();
            throw;
        }
    });
    EXPECT_EQ(caught, "Nr Expedição não cadastrado.");
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{"Nr Expedição não cadastrado."});
}

TEST_F(ConsisteUiTest, MensErroWithoutRaiseOnlyShows)
{
    dialogs.ExpectError();
    EXPECT_NO_THROW(Consiste::MensErro("Aviso de teste", false));
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{"Aviso de teste"});
}

struct IndiceColCase {
    const char* name;
    bool declaredColumns;
    QString fieldName;
    int expected;
};

class IndiceCol : public UiTest, public testing::WithParamInterface<IndiceColCase> {};

TEST_P(IndiceCol, FindsTheColumnOfTheField)
{
    std::unique_ptr<TForm> form(TForm::Create<TForm>(nullptr));
    auto* branches = new TSampleBranches(form.get());
    auto* grid = new TDBGrid(form.get());
    grid->SetParent(form.get());
    grid->SetDataSource(branches->dts);
    if (GetParam().declaredColumns) {
        // Declared in an order of their own; a hidden column still counts.
        for (const char* name : {"NMFILIAL", "CDINTERNO", "CDFILIAL", "IDSTATUS"})
            grid->Columns().Add()->SetFieldName(QString::fromLatin1(name));
        grid->Columns()[1]->SetVisible(false);
    }
    branches->Load();
    EXPECT_EQ(Consiste::IndiceCol(grid, GetParam().fieldName), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Consiste, IndiceCol,
    testing::Values(IndiceColCase{"DeclaredColumn", true, "CDFILIAL", 2},
                    IndiceColCase{"DeclaredFirst", true, "NMFILIAL", 0},
                    IndiceColCase{"CaseDoesNotCount", true, "cdFilial", 2},
                    IndiceColCase{"HiddenColumnCounts", true, "CDINTERNO", 1},
                    IndiceColCase{"FieldWithoutColumn", true, "DTABERTURA", -1},
                    IndiceColCase{"UnknownName", true, "CDALMOXARIFE", -1},
                    IndiceColCase{"EmptyName", true, "", -1},
                    // Without declared columns the grid has one per visible field.
                    IndiceColCase{"FieldColumns", false, "DTABERTURA", 2},
                    IndiceColCase{"HiddenFieldHasNoColumn", false, "CDINTERNO", -1},
                    IndiceColCase{"FieldColumnAfterHiddenField", false, "IDSTATUS", 3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IndiceColNull, NoGridHasNoColumn)
{
    EXPECT_EQ(Consiste::IndiceCol(nullptr, "CDFILIAL"), -1);
}

class ShowMsgTest : public UiTest {};

TEST_F(ShowMsgTest, ShowsTheTextOfTheKeyAndReturnsTheButtonPressed)
{
    TMessages msg;
    msg.SetName("msgPadrao");
    msg.SetMessages({"Sucesso|Conferência de rastreio efetivada com sucesso!",
                     "CONF_RASTR|Confirma que a nota está pronta para rastreio?"});
    for (TModalResult answer : {mrYes, mrNo}) {
        dialogs.ExpectMessage(answer);
        EXPECT_EQ(msg.ShowMsg("CONF_RASTR", TMsgDlgType::mtConfirmation, TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo, 7),
                  answer);
    }
    ASSERT_EQ(dialogs.Log().size(), 2);
    const TDialogRecord& shown = dialogs.Log().at(0);
    EXPECT_EQ(shown.Text, "Confirma que a nota está pronta para rastreio?");
    EXPECT_EQ(shown.Type, TMsgDlgType::mtConfirmation);
    EXPECT_EQ(shown.Buttons, TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo);
    EXPECT_EQ(shown.HelpContext, 7);
}

TEST_F(ShowMsgTest, UnknownKeyRaisesBeforeAnyDialog)
{
    TMessages msg;
    msg.SetMessages({"Sucesso|Conferência de rastreio efetivada com sucesso!"});
    EXPECT_THROW(msg.ShowMsg("CONF_RASTR", TMsgDlgType::mtConfirmation, TMsgDlgBtn::mbYes, 0), Exception);
    EXPECT_TRUE(dialogs.Log().isEmpty());
}

} // namespace
