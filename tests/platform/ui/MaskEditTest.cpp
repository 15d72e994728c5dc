#include "UiTest.h"
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

} // namespace
