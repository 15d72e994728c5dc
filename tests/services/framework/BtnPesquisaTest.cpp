#include "SampleBranches.h"
#include "UiTest.h"
#include "framework/BtnPesquisa.h"
#include "ui/Form.h"
#include "rtl/Exceptions.h"
#include "ui/MaskEdit.h"

namespace {

enum class Content { Rows, Empty, Closed };

class LookupForm : public TForm {
public:
    explicit LookupForm(TComponent* owner) : TForm(owner)
    {
        SetClientWidth(400);
        SetClientHeight(80);
        branches = new TSampleBranches(this);
        other = new TMaskEdit(this);
        other->SetName("medOutro");
        other->SetBounds(10, 40, 80, 24);
        other->SetParent(this);
        medCdFilial = new TMaskEdit(this);
        medCdFilial->SetName("medCdFilial");
        medCdFilial->SetEditMask("9999;0; ");
        medCdFilial->SetBounds(10, 10, 40, 24);
        medCdFilial->SetParent(this);
        btnFilial = new TBtnPesquisa(this);
        btnFilial->SetName("btnFilial");
        btnFilial->SetLeft(52);
        btnFilial->SetTop(10);
        btnFilial->SetParent(this);
        btnFilial->SetAssociate(medCdFilial);
        btnFilial->SetDataSource(branches->dts);
        btnFilial->SetTitle("Filial");
        btnFilial->SetEmptyError("Não há filial cadastrada.");
        btnFilial->OnBeforePesq = closure(this, &LookupForm::btnFilialBeforePesq);
        btnFilial->OnAfterPesq = closure(this, &LookupForm::btnFilialAfterPesq);
    }

    void btnFilialBeforePesq(TObject*, bool& flag)
    {
        log << QStringLiteral("before %1").arg(flag ? "true" : "false");
        if (failBefore)
            throw EDatabaseError("Falha ao abrir a consulta de filiais.");
        if (content == Content::Rows) {
            branches->Load();
            branches->cds->MoveBy(startRow - 1);
        } else if (content == Content::Empty) {
            branches->LoadEmpty();
        } else {
            branches->cds->Close();
        }
        branches->scrolls = 0;
        flag = flagBack;
    }

    void btnFilialAfterPesq(TObject*)
    {
        log << "after " + branches->Current();
        medCdFilial->SetText(branches->Current());
    }

    TSampleBranches* branches;
    TMaskEdit* other;
    TMaskEdit* medCdFilial;
    TBtnPesquisa* btnFilial;
    QStringList log;
    Content content = Content::Rows;
    int startRow = 1;
    bool flagBack = true;
    bool failBefore = false;
};

struct LookupCase {
    const char* name;
    Content content;
    bool flagBack;
    int startRow;              // where the before-handler leaves the cursor
    std::optional<int> answer; // the row the user moves to, if the list shows
    bool pick;                 // and picks it
    QStringList log;
    QStringList information;   // information messages shown
    QString current;           // the cursor's code afterwards
    QString edit;              // medCdFilial afterwards
    QString focus;             // the control with the focus afterwards
};

class BtnPesquisaPath : public UiTest, public testing::WithParamInterface<LookupCase> {};

TEST_P(BtnPesquisaPath, RunsTheHandlersAndTheListInOrder)
{
    const LookupCase& c = GetParam();
    std::unique_ptr<LookupForm> form(TForm::Create<LookupForm>(nullptr));
    form->Show();
    Activate(form->HostWindow());
    form->other->SetFocus();
    form->content = c.content;
    form->flagBack = c.flagBack;
    form->startRow = c.startRow;
    if (!c.information.isEmpty())
        dialogs.ExpectMessage(mrOk);
    if (c.answer) {
        dialogs.ExpectLookupList([&c, &form](const TLookupListRequest& r) {
            EXPECT_EQ(r.Title, "Filial");
            EXPECT_EQ(r.Source, form->branches->dts);
            r.Source->DataSet()->SetRecNo(*c.answer);
            return c.pick;
        });
    }
    QTest::mouseClick(form->btnFilial->Widget(), Qt::LeftButton);

    EXPECT_EQ(form->log, c.log);
    EXPECT_EQ(dialogs.Texts(TDialogKind::Message), c.information);
    for (const TDialogRecord& r : dialogs.Log()) {
        if (r.Kind == TDialogKind::Message) {
            EXPECT_EQ(r.Type, TMsgDlgType::mtInformation);
        }
    }
    EXPECT_EQ(form->branches->Current(), c.current);
    EXPECT_EQ(form->medCdFilial->Text(), c.edit);
    EXPECT_EQ(form->ActiveControl()->Name(), c.focus);
}

INSTANTIATE_TEST_SUITE_P(
    TBtnPesquisa, BtnPesquisaPath,
    testing::Values(
        LookupCase{"FlagFalseStopsBeforeTheList", Content::Rows, false, 1, {}, false, {"before true"}, {}, "0001", "", "medOutro"},
        LookupCase{"EmptyListShowsEmptyError", Content::Empty, true, 1, {}, false, {"before true"}, {"Não há filial cadastrada."}, "", "", "medOutro"},
        LookupCase{"ClosedDataSetCountsAsEmpty", Content::Closed, true, 1, {}, false, {"before true"}, {"Não há filial cadastrada."}, "", "", "medOutro"},
        LookupCase{"PickLeavesTheCursorOnThePickedRow", Content::Rows, true, 1, 3, true, {"before true", "after 0003"}, {}, "0003", "0003", "medCdFilial"},
        LookupCase{"PickOfTheRowAlreadyCurrent", Content::Rows, true, 2, 2, true, {"before true", "after 0002"}, {}, "0002", "0002", "medCdFilial"},
        LookupCase{"CancelPutsTheCursorBack", Content::Rows, true, 2, 4, false, {"before true"}, {}, "0002", "", "medOutro"}),
    [](const auto& info) { return std::string(info.param.name); });

class BtnPesquisaTest : public UiTest {};

TEST_F(BtnPesquisaTest, CancelRunsAfterScrollOnlyToGoBack)
{
    std::unique_ptr<LookupForm> form(TForm::Create<LookupForm>(nullptr));
    dialogs.ExpectLookupList([](const TLookupListRequest&) { return false; });
    form->btnFilial->Click();
    EXPECT_EQ(form->branches->scrolls, 0) << "the cursor had not moved";
    dialogs.ExpectLookupList([](const TLookupListRequest& r) {
        r.Source->DataSet()->Last();
        return false;
    });
    form->btnFilial->Click();
    EXPECT_EQ(form->branches->scrolls, 2) << "one move in the list, one back";
    EXPECT_EQ(form->branches->Current(), "0001");
}

TEST_F(BtnPesquisaTest, ErrorOfAHandlerEndsTheClickAndReachesTheErrorDisplay)
{
    std::unique_ptr<LookupForm> form(TForm::Create<LookupForm>(nullptr));
    form->Show();
    form->failBefore = true;
    dialogs.ExpectError();
    QTest::mouseClick(form->btnFilial->Widget(), Qt::LeftButton);
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{"Falha ao abrir a consulta de filiais."});
    EXPECT_EQ(form->log, QStringList{"before true"});
}

} // namespace
