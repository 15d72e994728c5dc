// The two date ranges: the ten steps of the check, in order, one failure per
// attempt, the cursor on the date at fault.
#include "FilterFixture.h"

#include "framework/Consiste.h"

namespace {

class Dates : public FilterTest {
protected:
    // The screen with the cursor on the order number, inside the filter.
    TfrmConfSepExp* Open()
    {
        TfrmConfSepExp* f = OpenScreen();
        f->medNrPedido->SetFocus();
        return f;
    }
    static QList<TDateEditPlus*> Edits(TfrmConfSepExp* f)
    {
        return {f->depInicial, f->depFinal, f->depSaidaInicial, f->depSaidaFim};
    }
    static QStringList Texts(TfrmConfSepExp* f)
    {
        QStringList texts;
        for (TDateEditPlus* e : Edits(f))
            texts << e->Text();
        return texts;
    }
};

struct DateCase {
    const char* name;
    QStringList typed;      // order from, order to, outgoing from, outgoing to
    const char* message;    // nullptr: the dates pass
    const char* focused;
};
void PrintTo(const DateCase& c, std::ostream* os) { *os << c.name; }


class DateSteps : public Dates, public testing::WithParamInterface<DateCase> {};

TEST_P(DateSteps, StopAtTheFirstFailureWithTheCursorOnItsDate)
{
    const DateCase& c = GetParam();
    TfrmConfSepExp* f = Open();
    for (int i = 0; i < 4; ++i)
        Edits(f)[i]->SetText(c.typed[i]);
    const QStringList before = Texts(f);
    if (c.message)
        dialogs.ExpectError();

    if (c.message)
        EXPECT_THROW(TFilterChecks::vd_datas(f), Consiste::EShownError);
    else
        EXPECT_NO_THROW(TFilterChecks::vd_datas(f));

    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), c.message ? QStringList{c.message} : QStringList{});
    if (c.message) {
        EXPECT_EQ(dialogs.Log().value(0).FocusedControl, c.focused) << "the cursor moves before the message";
    }
    EXPECT_EQ(Focused(f), c.focused);
    EXPECT_EQ(Texts(f), before) << "nothing is corrected";
}

const char* const orderFromMissing = "Data inicial do pedido deve ser informada.";
const char* const orderToMissing = "Data final do pedido deve ser informada.";
const char* const orderToBefore = "Data final do pedido deve ser maior ou igual à inicial.";
const char* const outFromMissing = "Data inicial da nota de saída deve ser informada.";
// The outgoing range's other two texts are stored with the order range's words.
const char* const outToMissing = orderToMissing;
const char* const outToBefore = orderToBefore;

INSTANTIATE_TEST_SUITE_P(
    Table, DateSteps,
    testing::Values(
        DateCase{"allEmpty", {"", "", "", ""}, orderFromMissing, "depInicial"},
        DateCase{"orderFromWithoutDate", {"12/05/", "", "", ""}, orderFromMissing, "depInicial"},
        DateCase{"orderToMissing", {"01/05/2024", "", "", ""}, orderToMissing, "depFinal"},
        DateCase{"orderToBeforeFrom", {"10/05/2024", "09/05/2024", "", ""}, orderToBefore, "depFinal"},
        DateCase{"outFromMissing", {"01/05/2024", "02/05/2024", "", "01/01/2024"}, outFromMissing, "depSaidaInicial"},
        DateCase{"outToMissing", {"01/05/2024", "02/05/2024", "03/05/2024", ""}, outToMissing, "depSaidaFim"},
        DateCase{"outToBeforeFrom", {"01/05/2024", "02/05/2024", "10/05/2024", "09/05/2024"}, outToBefore,
                 "depSaidaFim"},
        DateCase{"equalDates", {"01/05/2024", "01/05/2024", "03/05/2024", "03/05/2024"}, nullptr, "medNrPedido"},
        DateCase{"outgoingBeforeTheOrders", {"10/05/2024", "20/05/2024", "01/01/2024", "02/01/2024"}, nullptr,
                 "medNrPedido"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Dates, ADateChangedIntoNoDateEndsWithTheEditsOwnError)
{
    TfrmConfSepExp* f = Open();
    for (TDateEditPlus* e : Edits(f))
        e->SetText("15/05/2024");
    f->depFinal->SetText("31/02/2024");
    ASSERT_NE(f->depFinal->GetDate(), 0) << "still holds the date it had";
    QString editError;
    try {
        f->depFinal->CheckValidDate();
    } catch (const EConvertError& e) {
        editError = e.Message();
    }
    ASSERT_FALSE(editError.isEmpty());

    try {
        TFilterChecks::vd_datas(f);
        ADD_FAILURE() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), editError);
    }
    EXPECT_EQ(Focused(f), "depFinal");
    EXPECT_TRUE(dialogs.Log().isEmpty()) << "the caller shows it";
    EXPECT_EQ(f->depFinal->Text(), "31/02/2024");
}

} // namespace
