#include "UiTest.h"
#include "framework/CalendarPopup.h"
#include "framework/DateEditPlus.h"
#include "framework/RotiGeral.h"
#include "rtl/Exceptions.h"
#include "ui/Form.h"

#include <QLineEdit>
#include <QTableView>
#include <QToolButton>

namespace {

class DateForm : public TForm {
public:
    explicit DateForm(TComponent* owner) : TForm(owner)
    {
        SetClientWidth(300);
        SetClientHeight(60);
        dep = new TDateEditPlus(this);
        dep->SetName("depInicial");
        dep->SetBounds(10, 10, 112, 24);
        dep->SetParent(this);
    }
    TDateEditPlus* dep;
};

class DateEditPlusTest : public UiTest {
protected:
    void SetUp() override { form.reset(TForm::Create<DateForm>(nullptr)); }
    TDateEditPlus* Edit() const { return form->dep; }
    QColor TextColour() const { return Edit()->Widget()->palette().color(QPalette::Text); }

    std::unique_ptr<DateForm> form;
};

struct DateCase {
    const char* name;
    QStringList texts; // set one after the other
    QDate date;        // GetDate afterwards; invalid: 0
    bool accepted;     // CheckValidDate passes
};

class DateEditOutcome : public DateEditPlusTest, public testing::WithParamInterface<DateCase> {};

TEST_P(DateEditOutcome, HoldsTheLastValidDateAndChecksTheText)
{
    for (const QString& text : GetParam().texts)
        Edit()->SetText(text);
    const TDateTime expected = GetParam().date.isValid() ? DateTimeFromQDate(GetParam().date) : TDateTime();
    EXPECT_EQ(double(Edit()->GetDate()), double(expected));
    if (GetParam().accepted)
        EXPECT_NO_THROW(Edit()->CheckValidDate());
    else
        EXPECT_THROW(Edit()->CheckValidDate(), EConvertError);
    // Blue exactly while the text is a valid date.
    const bool textIsDate = GetParam().accepted && Edit()->Text() != "";
    EXPECT_EQ(TextColour() == QColor(Qt::blue), textIsDate);
}

INSTANTIATE_TEST_SUITE_P(
    TDateEditPlus, DateEditOutcome,
    testing::Values(DateCase{"Empty", {}, QDate(), true},
                    DateCase{"ValidDate", {"15/03/2024"}, QDate(2024, 3, 15), true},
                    DateCase{"TwoDigitYearIsIncomplete", {"15/03/24"}, QDate(), false},
                    DateCase{"IncompleteWithoutEarlierDate", {"15/0"}, QDate(), false},
                    DateCase{"NoSuchDayWithoutEarlierDate", {"31/02/2024"}, QDate(), false},
                    DateCase{"ValidChangedIntoInvalid", {"15/03/2024", "31/02/2024"}, QDate(2024, 3, 15), false},
                    DateCase{"ValidChangedIntoIncomplete", {"15/03/2024", "15/03/2"}, QDate(2024, 3, 15), false},
                    DateCase{"EmptiedForgetsTheDate", {"15/03/2024", "", "12/"}, QDate(), false},
                    DateCase{"InvalidThenValid", {"31/02/2024", "29/02/2024"}, QDate(2024, 2, 29), true},
                    DateCase{"ClearedAfterValid", {"15/03/2024", ""}, QDate(), true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DateEditPlusTest, TypingFollowsTheSameRuleAndTheErrorNamesTheText)
{
    form->Show();
    Activate(form->HostWindow());
    Edit()->SetFocus();
    QTest::keyClicks(Edit()->Widget(), "15032024");
    EXPECT_EQ(Edit()->EditText(), "15/03/2024");
    EXPECT_EQ(double(Edit()->GetDate()), double(EncodeDate(2024, 3, 15)));
    QTest::keyClick(Edit()->Widget(), Qt::Key_Backspace);
    EXPECT_EQ(Edit()->EditText(), "15/03/202_");
    EXPECT_EQ(double(Edit()->GetDate()), double(EncodeDate(2024, 3, 15)));
    try {
        Edit()->CheckValidDate();
        ADD_FAILURE() << "an incomplete date passed";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'15/03/202_' não é uma data válida.");
    }
}

TEST_F(DateEditPlusTest, KeepsNoTimeOfDay)
{
    Edit()->SetDate(TDateTime(EncodeDate(2024, 3, 15) + 0.75));
    EXPECT_EQ(Edit()->Text(), "15/03/2024");
    EXPECT_EQ(double(Edit()->GetDate()), double(EncodeDate(2024, 3, 15)));
    Edit()->SetDate(TDateTime());
    EXPECT_EQ(Edit()->Text(), "");
    EXPECT_EQ(double(Edit()->GetDate()), 0.0);
}

TEST_F(DateEditPlusTest, CalendarButtonOpensTheCalendarWithPortugueseDayNamesAndPicksADay)
{
    form->Show();
    Activate(form->HostWindow());
    Edit()->SetText("10/05/2024");
    auto* button = Edit()->Widget()->findChild<QToolButton*>();
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
    QPointer<TCalendarPopup> popup = Edit()->Popup();
    ASSERT_FALSE(popup.isNull());
    QCalendarWidget* calendar = popup->Calendar();
    EXPECT_EQ(calendar->selectedDate(), QDate(2024, 5, 10));
    QStringList header;
    for (int column = 0; column < 7; ++column)
        header << CalendarHeaderText(calendar, column);
    EXPECT_EQ(header, QStringList({"Domingo", "Segunda", "Terça", "Quarta", "Quinta", "Sexta", "Sábado"}));
    EXPECT_EQ(calendar->verticalHeaderFormat(), QCalendarWidget::NoVerticalHeader);

    // The user moves two days on and presses Enter.
    auto* view = calendar->findChild<QTableView*>();
    ASSERT_NE(view, nullptr);
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(Edit()->Text(), "12/05/2024");
    EXPECT_EQ(double(Edit()->GetDate()), double(EncodeDate(2024, 5, 12)));
    QApplication::processEvents();
    EXPECT_TRUE(popup.isNull());
}

// On the base form the form previews every key and turns Enter into "next
// control"; the calendar's keys are the calendar's own.
class DateScreen : public TfrmRotiGeral {
public:
    explicit DateScreen(TComponent* owner) : TfrmRotiGeral(owner)
    {
        dep = new TDateEditPlus(this);
        dep->SetName("depInicial");
        dep->SetBounds(10, 10, 112, 24);
        dep->SetParent(grbDadosRel);
        next = new TDateEditPlus(this);
        next->SetName("depFinal");
        next->SetBounds(130, 10, 112, 24);
        next->SetParent(grbDadosRel);
    }
    void FormKeyDown(TObject*, TKey& key, TShiftState) override { keys << key; }
    TDateEditPlus* dep;
    TDateEditPlus* next;
    QList<TKey> keys;
};

TEST_F(DateEditPlusTest, CalendarKeysDoNotReachTheFormsKeyPreview)
{
    std::unique_ptr<DateScreen> screen(TForm::Create<DateScreen>(nullptr));
    screen->Show();
    Activate(screen->HostWindow());
    screen->dep->SetFocus();
    screen->dep->SetText("10/05/2024");
    screen->dep->DropDown();
    ASSERT_NE(screen->dep->Popup(), nullptr);
    auto* view = screen->dep->Popup()->Calendar()->findChild<QTableView*>();
    QTest::keyClick(view, Qt::Key_Right);
    QTest::keyClick(view, Qt::Key_Return);
    EXPECT_EQ(screen->dep->Text(), "11/05/2024");
    EXPECT_TRUE(screen->keys.isEmpty());
    QApplication::processEvents();
    EXPECT_EQ(screen->ActiveControl(), screen->dep);
}

TEST_F(DateEditPlusTest, DisabledEditOpensNoCalendar)
{
    Edit()->SetEnabled(false);
    Edit()->DropDown();
    EXPECT_EQ(Edit()->Popup(), nullptr);
}

TEST_F(DateEditPlusTest, AltDownAndF4OpenTheCalendarOnTheBaseForm)
{
    std::unique_ptr<DateScreen> screen(TForm::Create<DateScreen>(nullptr));
    screen->Show();
    Activate(screen->HostWindow());
    screen->dep->SetFocus();
    for (const auto& [key, modifiers] : {std::pair{Qt::Key_Down, Qt::AltModifier}, {Qt::Key_F4, Qt::NoModifier}}) {
        SCOPED_TRACE(QKeySequence(key | modifiers).toString().toStdString());
        QTest::keyClick(screen->dep->Widget(), key, modifiers);
        ASSERT_NE(screen->dep->Popup(), nullptr);
        QPointer<TCalendarPopup> popup = screen->dep->Popup();
        QTest::keyClick(popup->Calendar()->findChild<QTableView*>(), Qt::Key_Escape);
        QApplication::processEvents();
        EXPECT_TRUE(popup.isNull());
    }
    QTest::keyClick(screen->dep->Widget(), Qt::Key_Down);
    EXPECT_EQ(screen->dep->Popup(), nullptr) << "Down alone is no calendar key";
}

} // namespace
