// Deleting a wrong IUM reading: asked first, sent to the server at once, and
// back on the screen when the server refuses it.
#include "ActionsFixture.h"

#include "framework/Showavi.h"
#include "server/RemoteNames.h"
#include "ui/Application.h"

namespace {

class Deletion : public ActionsTest {
protected:
    // Invoice 2 (not the first), its first item, its second reading, the
    // IUM grid focused.
    void SelectReading()
    {
        readings.insert(4, Reading("0001", "0000000002", "20", "B-20-9"));
        OpenLoaded();
        Select("0000000002");
        f->dbgIUMProd->SetFocus();
        Application->ProcessMessages();
        ASSERT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), (QStringList{"B-20-1", "B-20-9"}));
        f->cdsIUMProd->Next();
    }

    void ExpectQuestion()
    {
        ASSERT_FALSE(dialogs.Log().isEmpty());
        const TDialogRecord& asked = dialogs.Log().first();
        EXPECT_EQ(asked.Text, "Confirma exclusão?");
        EXPECT_EQ(asked.Type, TMsgDlgType::mtConfirmation);
        EXPECT_EQ(asked.Buttons, TMsgDlgBtn::mbYes | TMsgDlgBtn::mbNo);
        EXPECT_EQ(asked.HelpContext, 0);
    }
};

struct DeclinedCase {
    const char* name;
    TModalResult answer;
    const char* focused;  // the grid dbgAtiva names when the button is pressed
};

class DeletionDeclined : public Deletion, public testing::WithParamInterface<DeclinedCase> {};

TEST_P(DeletionDeclined, AsksAndThenDeletesAndSendsNothing)
{
    SelectReading();
    auto* grid = dynamic_cast<TDBGrid*>(f->FindComponent(QLatin1String(GetParam().focused)));
    grid->SetFocus();
    Application->ProcessMessages();
    const qsizetype calls = server.Calls.size();
    dialogs.Clear();
    dialogs.ExpectMessage(GetParam().answer);

    ASSERT_TRUE(Act([&] { f->sbtExcluir->Click(); }));

    ExpectQuestion();
    EXPECT_EQ(server.Calls.size(), calls);
    EXPECT_EQ(f->cdsIUMProd->ChangeCount(), 0);
    EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), (QStringList{"B-20-1", "B-20-9"}));
}

INSTANTIATE_TEST_SUITE_P(Table, DeletionDeclined,
                         testing::Values(DeclinedCase{"answeredNo", mrNo, "dbgIUMProd"},
                                         DeclinedCase{"yesOnTheItemGrid", mrYes, "dbgItemProduto"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Deletion, RefusedByTheServerPutsTheReadingBackAndDoesNotRefresh)
{
    SelectReading();
    const qsizetype loads = CallsOf(Remote::GetDados).size();
    const qsizetype lists = CallsOf(Remote::GetNrLancamento).size();
    const QString refusal = "A leitura de IUM \"B-20-9\" não pode ser excluída: a nota já foi conferida para rastreio.";
    refusals[Remote::DeleteIUMProd] = refusal;
    dialogs.Clear();
    dialogs.ExpectMessage(mrYes);
    dialogs.ExpectError();

    EXPECT_FALSE(Act([&] { f->sbtExcluir->Click(); }));

    ExpectQuestion();
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{refusal});
    EXPECT_EQ(deltas.size(), 1);
    EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), (QStringList{"B-20-1", "B-20-9"}));
    EXPECT_EQ(f->cdsIUMProd->ChangeCount(), 0);
    EXPECT_EQ(CallsOf(Remote::GetDados).size(), loads);
    EXPECT_EQ(CallsOf(Remote::GetNrLancamento).size(), lists);
    EXPECT_FALSE(Showavi::Showing());
}

TEST_F(Deletion, AcceptedSendsExactlyTheOneReadingAndReloadsOnTheSameInvoice)
{
    SelectReading();
    const qsizetype loads = CallsOf(Remote::GetDados).size();
    const int shown = Showavi::ShowCount();
    dialogs.Clear();
    dialogs.ExpectMessage(mrYes);

    ASSERT_TRUE(Act([&] { f->sbtExcluir->Click(); }));

    ExpectQuestion();
    ASSERT_EQ(deltas.size(), 1);
    const TDataPacket& delta = deltas.first();
    ASSERT_EQ(delta.RowCount(), 1);
    EXPECT_EQ(delta.String(0, delta.IndexOf("CDIUMPROD")), "B-20-9");
    EXPECT_EQ(delta.String(0, delta.IndexOf("NRLANCTONF")), "0000000002");
    EXPECT_EQ(delta.String(0, delta.IndexOf("CDPRODUTO")), "20");
    // The writing indicator for the deletion, the querying one for the refresh.
    EXPECT_EQ(Showavi::ShowCount(), shown + 2);
    EXPECT_FALSE(Showavi::Showing());
    EXPECT_EQ(CallsOf(Remote::GetDados).size(), loads + 1);
    EXPECT_EQ(CurrentInvoice(), "0000000002");
    EXPECT_EQ(Column(f->cdsIUMProd, "CDIUMPROD"), QStringList{"B-20-1"});
    EXPECT_EQ(f->cdsIUMProd->ChangeCount(), 0);
}

} // namespace
