#include "UiTest.h"
#include "ui/Application.h"
#include "ui/Form.h"
#include "ui/MaskEdit.h"

#include <QClipboard>
#include <QLineEdit>

namespace {

class MaskEditTest : public UiTest {
protected:
    void SetUp() override
    {
        form.reset(TForm::Create<TForm>(nullptr));
        edit = new TMaskEdit(form.get());
        edit->SetParent(form.get());
        edit->SetEditMask("9999;0; ");
        edit->SetMaxLength(4);
        edit->OnChange = TNotifyEvent::Of([this](TObject*) { changes << edit->Text(); });
        form->Show();
        Activate(form->HostWindow());
        edit->SetFocus();
        Line()->setCursorPosition(0);
    }

    QLineEdit* Line() const { return static_cast<QLineEdit*>(edit->Widget()); }

    std::unique_ptr<TForm> form;
    TMaskEdit* edit = nullptr;
    QStringList changes;
};

TEST_F(MaskEditTest, UntouchedEditReadsEmptyAndShowsBlanks)
{
    EXPECT_EQ(edit->Text(), "");
    EXPECT_EQ(edit->EditText(), "    ");
    EXPECT_TRUE(changes.isEmpty());
}

TEST_F(MaskEditTest, TypedDigitsFillThePositionsAndLettersAreRefused)
{
    QTest::keyClicks(Line(), "1a2");
    EXPECT_EQ(edit->Text(), "12");
    EXPECT_EQ(edit->EditText(), "12  ");
    QTest::keyClicks(Line(), "3456");
    EXPECT_EQ(edit->Text(), "1234");
    QTest::keyClick(Line(), Qt::Key_Backspace);
    EXPECT_EQ(edit->Text(), "123");
    EXPECT_EQ(changes, QStringList({"1", "12", "123", "1234", "123"}));
}

TEST_F(MaskEditTest, SetTextLaysTheValueAndRunsOnChangeOnlyOnAChange)
{
    edit->SetText("1");
    edit->SetText("0001");
    edit->SetText("0001");
    EXPECT_EQ(changes, QStringList({"1", "0001"}));
    EXPECT_EQ(edit->EditText(), "0001");
    edit->SetText("");
    EXPECT_EQ(edit->Text(), "");
}

TEST_F(MaskEditTest, LiteralsAreSkippedAndLeftOutOfTheText)
{
    edit->SetEditMask("999.999.999-99;0;_");
    QTest::keyClicks(Line(), "12345678901");
    EXPECT_EQ(edit->EditText(), "123.456.789-01");
    EXPECT_EQ(edit->Text(), "12345678901");
    Line()->setSelection(4, 3);
    QTest::keyClick(Line(), Qt::Key_Delete);
    EXPECT_EQ(edit->EditText(), "123.___.789-01");
    QApplication::clipboard()->setText("9x8");
    QTest::keyClick(Line(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit->EditText(), "123.98_.789-01");
}

TEST_F(MaskEditTest, WithoutAMaskItIsAPlainEditLimitedByMaxLength)
{
    edit->SetText("12");
    edit->SetEditMask("");
    EXPECT_EQ(edit->Text(), "12");
    QTest::keyClicks(Line(), "abcde");
    EXPECT_EQ(edit->Text().size(), 4);
}

// A click anywhere in the empty part of a field, as a user makes it, then
// typing: the characters fill from the first free position.
TEST_F(MaskEditTest, AClickIntoTheEmptyPartTypesFromTheFirstFreePosition)
{
    struct Case {
        const char* mask;
        const char* before;
        const char* typed;
        const char* shown;
        const char* text;
        int caret; // after the click
    };
    for (const Case& c : {Case{"9999999999;0; ", "", "123", "123       ", "123", 0},
                          Case{"9999999999;0; ", "45", "6", "456       ", "456", 2},
                          Case{"99/99/9999;1;_", "", "01012025", "01/01/2025", "01/01/2025", 0},
                          Case{"99/99/9999;1;_", "0102", "2025", "01/02/2025", "01/02/2025", 6}}) {
        SCOPED_TRACE(c.mask + std::string(" after ") + c.before);
        edit->SetEditMask(c.mask);
        edit->SetText(c.before);
        for (int x : {Line()->width() - 6, Line()->width() / 2 + 10}) {
            edit->SetText(c.before);
            QTest::mouseClick(Line(), Qt::LeftButton, {}, QPoint(x, Line()->height() / 2));
            EXPECT_EQ(Line()->cursorPosition(), c.caret) << "click at " << x;
            QTest::keyClicks(Line(), c.typed);
            EXPECT_EQ(edit->EditText(), c.shown) << "click at " << x;
            EXPECT_EQ(edit->Text(), c.text) << "click at " << x;
        }
    }
}

TEST_F(MaskEditTest, HomeAndEndStayInsideWhatIsFilled)
{
    edit->SetEditMask("9999999999;0; ");
    QTest::keyClick(Line(), Qt::Key_End);
    EXPECT_EQ(Line()->cursorPosition(), 0);
    QTest::keyClicks(Line(), "12");
    QTest::keyClick(Line(), Qt::Key_Home);
    EXPECT_EQ(Line()->cursorPosition(), 0);
    QTest::keyClick(Line(), Qt::Key_End);
    EXPECT_EQ(Line()->cursorPosition(), 2);
    QTest::keyClicks(Line(), "3");
    EXPECT_EQ(edit->EditText(), "123       ");

    edit->SetEditMask("(99) 9999;1;_");
    edit->SetText("");
    QTest::keyClick(Line(), Qt::Key_Home);
    EXPECT_EQ(Line()->cursorPosition(), 1) << "the first editable position, after the literal";
}

TEST_F(MaskEditTest, BackspaceAndDeleteKeepTheLiteralsInPlace)
{
    edit->SetEditMask("99/99/9999;1;_");
    QTest::keyClicks(Line(), "0102");
    EXPECT_EQ(Line()->cursorPosition(), 6);
    QTest::keyClick(Line(), Qt::Key_Backspace);
    QTest::keyClick(Line(), Qt::Key_Backspace);
    EXPECT_EQ(edit->EditText(), "01/__/____");
    QTest::keyClick(Line(), Qt::Key_Backspace);
    EXPECT_EQ(edit->EditText(), "0_/__/____");
    EXPECT_EQ(Line()->cursorPosition(), 1);
    QTest::keyClicks(Line(), "3");
    EXPECT_EQ(edit->EditText(), "03/__/____");
    Line()->setCursorPosition(2);
    QTest::keyClick(Line(), Qt::Key_Delete);
    EXPECT_EQ(edit->EditText(), "03/__/____") << "Delete on a literal empties nothing typed";
}

TEST_F(MaskEditTest, ARefusedKeySaysWhyInTheStatusLine)
{
    QStringList hints;
    Application->OnHint = TNotifyEvent::Of([&](TObject*) { hints << Application->Hint(); });
    QTest::keyClicks(Line(), "1a");
    QTest::keyClicks(Line(), "234");
    QTest::keyClicks(Line(), "5");
    Application->OnHint = nullptr;
    EXPECT_EQ(edit->Text(), "1234");
    EXPECT_EQ(hints, QStringList({"Este campo aceita somente dígitos nesta posição.",
                                  "O campo está completo: apague antes de digitar."}));
}

} // namespace
