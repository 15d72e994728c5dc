// The branch: padding, the check against the branch query, the name beside
// it, and the branch lookup.
#include "FilterFixture.h"

#include "framework/Consiste.h"

#include <QSqlQuery>

namespace {

class Branch : public FilterTest {
protected:
    // Opens the screen and leaves the branch once with the host's code, so
    // that the query holds that code's run.
    TfrmConfSepExp* OpenChecked()
    {
        TfrmConfSepExp* f = OpenScreen();
        Tab(f->medCdFilial);
        EXPECT_EQ(f->qryFilial->ParamByName("P_CDFILIAL")->Value(), QVariant("0001"));
        return f;
    }
};

TEST_F(Branch, AShortCodeIsPaddedLookedUpPaddedAndNamed)
{
    TfrmConfSepExp* f = OpenScreen();
    f->medCdFilial->SetText(QString());
    QTest::keyClicks(f->medCdFilial->Widget(), "12");
    ASSERT_EQ(f->medCdFilial->Text(), "12");
    EXPECT_EQ(f->edtNmFilial->Text(), "") << "a change of code clears the name at once";
    f->medNrExpedicao->SetText("0000000042");
    f->medNrPedido->SetText("0000000007");

    Tab(f->medCdFilial);

    EXPECT_EQ(f->medCdFilial->Text(), "0012");
    EXPECT_EQ(f->qryFilial->ParamByName("P_CDFILIAL")->Value(), QVariant("0012"));
    EXPECT_EQ(f->edtNmFilial->Text(), "FILIAL PELOTAS");
    EXPECT_EQ(f->medNrExpedicao->Text(), "") << "the padding is a change of code";
    EXPECT_EQ(f->medNrPedido->Text(), "0000000007") << "the order does not depend on the branch";
    EXPECT_EQ(Focused(f), "depInicial");
    EXPECT_TRUE(dialogs.Log().isEmpty());
}

TEST_F(Branch, TheCheckWritesTheNameTheDatabaseHoldsOverTheHostsName)
{
    Varneth::SetModuFili(true);  // the controls are locked; the load still checks
    TfrmConfSepExp* f = OpenScreen();
    ASSERT_EQ(f->edtNmFilial->Text(), "Matriz Porto Alegre");
    TFilterChecks::Vd_Filial(f);
    EXPECT_EQ(f->edtNmFilial->Text(), "MATRIZ PORTO ALEGRE");
    EXPECT_EQ(Focused(f), "medNrExpedicao");
}

TEST_F(Branch, RunFromTheLoadAFailureBringsTheCursorBackToTheBranch)
{
    TfrmConfSepExp* f = OpenChecked();
    f->medNrPedido->SetFocus();
    f->medCdFilial->SetText("9");
    dialogs.ExpectError();
    EXPECT_THROW(TFilterChecks::Vd_Filial(f), Consiste::EShownError);
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{"Filial não cadastrada."});
    EXPECT_EQ(Focused(f), "medCdFilial");
    EXPECT_EQ(f->medCdFilial->Text(), "0009");
}

struct RefusedCase {
    const char* name;
    const char* typed;
    const char* shown;  // the edit's text afterwards
    const char* message;
    bool queried;
};
void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }


class RefusedCode : public Branch, public testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedCode, StaysInTheEditWithTheMessageAndNoName)
{
    const RefusedCase& c = GetParam();
    TfrmConfSepExp* f = OpenChecked();
    Enter(f->medCdFilial, c.typed);
    dialogs.ExpectError();

    Tab(f->medCdFilial);

    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{c.message});
    EXPECT_EQ(dialogs.Log().value(0).FocusedControl, "medCdFilial");
    EXPECT_EQ(Focused(f), "medCdFilial");
    EXPECT_EQ(f->medCdFilial->Text(), c.shown);
    EXPECT_EQ(f->edtNmFilial->Text(), "");
    EXPECT_EQ(f->qryFilial->ParamByName("P_CDFILIAL")->Value(), QVariant(c.queried ? c.shown : "0001"));
}

INSTANTIATE_TEST_SUITE_P(Table, RefusedCode,
                         testing::Values(RefusedCase{"empty", "", "", "Filial deve ser informada.", false},
                                         RefusedCase{"blanks", "  ", "", "Filial deve ser informada.", false},
                                         RefusedCase{"unknownShort", "9", "0009", "Filial não cadastrada.", true},
                                         RefusedCase{"unknownFull", "9999", "9999", "Filial não cadastrada.", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Branch, AFailingQueryKeepsTheFocusOnTheEditAndItsOwnError)
{
    TfrmConfSepExp* f = OpenChecked();
    QSqlQuery(database->adcGeral()).exec("DROP TABLE FILIAL");
    Enter(f->medCdFilial, "0002");
    dialogs.ExpectError();

    Tab(f->medCdFilial);

    QString queryError;
    try {
        f->qryFilial->Close();
        f->qryFilial->Open();
    } catch (const EDatabaseError& e) {
        queryError = e.Message();
    }
    ASSERT_TRUE(queryError.contains("FILIAL")) << queryError.toStdString();
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList{queryError});
    EXPECT_EQ(Focused(f), "medCdFilial");
    EXPECT_EQ(f->edtNmFilial->Text(), "");
}

TEST_F(Branch, APickFromTheListWritesTheCodeThenTheName)
{
    TfrmConfSepExp* f = OpenChecked();
    f->medNrExpedicao->SetText("0000000042");
    f->medNrPedido->SetText("0000000007");
    QString title;
    QStringList listed;
    dialogs.ExpectLookupList([&](const TLookupListRequest& r) {
        title = r.Title;
        listed = ListedRows(r.Source->DataSet());
        return r.Source->DataSet()->Locate("CDFILIAL", "0002", {});
    });

    f->btnFilial->Click();

    EXPECT_EQ(title, "Filial");
    EXPECT_EQ(listed, (QStringList{"0001 | MATRIZ PORTO ALEGRE", "0002 | FILIAL CAXIAS DO SUL", "0012 | FILIAL PELOTAS"}));
    EXPECT_TRUE(f->qryFilial->ParamByName("P_CDFILIAL")->IsNull()) << "a null parameter lists every branch";
    EXPECT_EQ(f->medCdFilial->Text(), "0002");
    EXPECT_EQ(f->edtNmFilial->Text(), "FILIAL CAXIAS DO SUL");
    EXPECT_EQ(f->medNrExpedicao->Text(), "");
    EXPECT_EQ(f->medNrPedido->Text(), "0000000007");
    EXPECT_EQ(Focused(f), "medCdFilial");
}

} // namespace
