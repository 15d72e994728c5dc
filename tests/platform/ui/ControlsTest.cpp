#include "UiTest.h"
#include "ui/Buttons.h"
#include "ui/ExtCtrls.h"
#include "ui/Form.h"
#include "ui/MaskEdit.h"
#include "ui/Panels.h"
#include "ui/StdCtrls.h"

#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

namespace {

class ControlsTest : public UiTest {
protected:
    void SetUp() override { form.reset(TForm::Create<TForm>(nullptr)); }

    template <class T>
    T* Make(TWinControl* parent, const char* name = "")
    {
        T* c = new T(form.get());
        c->SetName(QString::fromLatin1(name));
        c->SetParent(parent);
        return c;
    }

    void ShowForm()
    {
        form->Show();
        Activate(form->HostWindow());
    }

    std::unique_ptr<TForm> form;
};

// The grid panel of the screen: a client control over two bottom-aligned
// controls, each with a splitter above it.
TEST_F(ControlsTest, AlignedControlsStackAndSplittersMoveHeightBetweenNeighbours)
{
    form->SetClientWidth(600);
    form->SetClientHeight(500);
    auto* top = Make<TPanel>(form.get(), "top");
    top->SetAlign(TAlign::alTop);
    top->SetHeight(100);
    auto* grid = Make<TPanel>(form.get(), "grid");
    grid->SetAlign(TAlign::alClient);
    grid->SetBevelInner(TBevelCut::bvLowered);
    grid->SetBorderWidth(2);
    auto* invoices = Make<TPanel>(grid, "invoices");
    invoices->SetAlign(TAlign::alClient);
    auto* splitter1 = Make<TSplitter>(grid, "Splitter1");
    splitter1->SetAlign(TAlign::alBottom);
    splitter1->SetHeight(3);
    auto* items = Make<TPanel>(grid, "items");
    items->SetAlign(TAlign::alBottom);
    items->SetHeight(125);
    auto* splitter2 = Make<TSplitter>(grid, "Splitter2");
    splitter2->SetAlign(TAlign::alBottom);
    splitter2->SetHeight(3);
    auto* readings = Make<TPanel>(grid, "readings");
    readings->SetAlign(TAlign::alBottom);
    readings->SetHeight(148);

    EXPECT_EQ(top->BoundsRect(), Bounds(0, 0, 600, 100));
    EXPECT_EQ(grid->BoundsRect(), Bounds(0, 100, 600, 400));
    // Inside: bevel 1 + border 2 + inner bevel 1 on each side.
    const int inner = 400 - 8;
    EXPECT_EQ(readings->BoundsRect(), Bounds(4, 4 + inner - 148, 592, 148));
    EXPECT_EQ(splitter2->Top(), readings->Top() - 3);
    EXPECT_EQ(items->Top(), splitter2->Top() - 125);
    EXPECT_EQ(splitter1->Top(), items->Top() - 3);
    EXPECT_EQ(invoices->BoundsRect(), Bounds(4, 4, 592, inner - 148 - 3 - 125 - 3));

    EXPECT_EQ(splitter1->Neighbour(), items);
    splitter1->MoveBy(-40); // dragged up: the items grow, the invoices shrink
    EXPECT_EQ(items->Height(), 165);
    EXPECT_EQ(invoices->Height(), inner - 148 - 3 - 165 - 3);
    splitter2->MoveBy(20);
    EXPECT_EQ(readings->Height(), 128);
    EXPECT_EQ(items->Height(), 165);
    splitter1->MoveBy(-1000); // never past the client's minimum
    EXPECT_EQ(invoices->Height(), splitter1->MinSize());

    // Resizing the window re-lays everything out.
    form->SetClientHeight(600);
    EXPECT_EQ(readings->Top() + readings->Height(), 500 - 4);
    readings->SetVisible(false);
    EXPECT_EQ(splitter2->Top() + 3, 500 - 4);
}

TEST_F(ControlsTest, SpeedButtonClickRunsOnClickLikeTheMouseAndNeverTakesTheFocus)
{
    auto* edit = Make<TEdit>(form.get(), "edit");
    auto* button = Make<TSpeedButton>(form.get(), "sbtProcurar");
    button->SetLeft(150);
    button->SetHint("Procurar");
    button->SetShowHint(true);
    QStringList clicks;
    button->OnClick = TNotifyEvent::Of([&](TObject* sender) { clicks << static_cast<TComponent*>(sender)->Name(); });
    ShowForm();
    edit->SetFocus();
    QTest::mouseClick(button->Widget(), Qt::LeftButton);
    button->Click();
    EXPECT_EQ(clicks, QStringList({"sbtProcurar", "sbtProcurar"}));
    EXPECT_TRUE(edit->Focused());
    EXPECT_EQ(button->Widget()->toolTip(), "Procurar");

    button->SetEnabled(false);
    QTest::mouseClick(button->Widget(), Qt::LeftButton);
    EXPECT_EQ(clicks.size(), 2);
}

TEST_F(ControlsTest, TwoStateGlyphGivesTheDisabledPicture)
{
    auto* button = Make<TSpeedButton>(form.get());
    button->Glyph().SetSize(32, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            button->Glyph().SetPixel(x, y, y == 15 && x == 0 ? clFuchsia : (x < 16 ? clBlue : clGray));
    button->SetNumGlyphs(2);
    const QIcon icon = static_cast<QToolButton*>(button->Widget())->icon();
    const QImage normal = icon.pixmap(16, 16, QIcon::Normal).toImage();
    const QImage disabled = icon.pixmap(16, 16, QIcon::Disabled).toImage();
    EXPECT_EQ(normal.pixelColor(5, 5), QColor(Qt::blue));
    EXPECT_EQ(disabled.pixelColor(5, 5), ColorToQColor(clGray));
    EXPECT_EQ(normal.pixelColor(0, 15).alpha(), 0) << "the bottom-left colour is transparent";
}

TEST_F(ControlsTest, EditOnChangeRunsOnEveryChangeOfItsText)
{
    auto* edit = Make<TEdit>(form.get(), "edtNmFilial");
    QStringList seen;
    edit->OnChange = TNotifyEvent::Of([&](TObject*) { seen << edit->Text(); });
    edit->SetText("Matriz");
    edit->SetText("Matriz");
    edit->SetText("");
    ShowForm();
    edit->SetFocus();
    QTest::keyClicks(edit->Widget(), "ab");
    EXPECT_EQ(seen, QStringList({"Matriz", "", "a", "ab"}));

    edit->SetReadOnly(true);
    QTest::keyClicks(edit->Widget(), "c");
    EXPECT_EQ(edit->Text(), "ab");
    edit->SetMaxLength(3);
    edit->SetReadOnly(false);
    QTest::keyClicks(edit->Widget(), "cde");
    EXPECT_EQ(edit->Text(), "abc");
}

TEST_F(ControlsTest, ColoursAndFontsReachTheWidgets)
{
    auto* edit = Make<TEdit>(form.get());
    auto* label = Make<TLabel>(form.get());
    auto* panel = Make<TPanel>(form.get());
    EXPECT_EQ(edit->Color(), clWindow);
    EXPECT_EQ(panel->Color(), clBtnFace);
    edit->SetColor(clInfoBk);
    EXPECT_EQ(edit->Widget()->palette().color(QPalette::Base), QApplication::palette().color(QPalette::ToolTipBase));
    panel->SetColor(ColorFromRGB(128, 128, 0));
    EXPECT_EQ(panel->Widget()->palette().color(QPalette::Window), QColor(128, 128, 0));

    label->SetCaption("Filial");
    const int plainWidth = label->Width();
    label->Font().SetStyle(TFontStyle::fsBold);
    EXPECT_TRUE(label->Widget()->font().bold());
    const int boldWidth = label->Width();
    EXPECT_EQ(boldWidth, label->Widget()->sizeHint().width()) << "the label did not follow its font";
    EXPECT_GT(boldWidth, plainWidth);
    label->SetCaption("Filial de origem");
    EXPECT_GT(label->Width(), boldWidth) << "the label did not follow its caption";
    label->SetEnabled(false);
    EXPECT_FALSE(label->Widget()->isEnabled());
}

TEST_F(ControlsTest, HiddenImageTakesThePictureSize)
{
    auto* image = Make<TImage>(form.get(), "imgCodBarra");
    image->SetAutoSize(true);
    image->SetVisible(false);
    image->Picture().Bitmap().SetSize(16, 16);
    EXPECT_EQ(image->Width(), 16);
    EXPECT_EQ(image->Height(), 16);
    ShowForm();
    EXPECT_FALSE(image->Widget()->isVisible());
    EXPECT_FALSE(static_cast<QLabel*>(image->Widget())->pixmap().isNull());
}

TEST_F(ControlsTest, DestroyingAContainerDestroysItsControls)
{
    auto* panel = Make<TPanel>(form.get(), "panel");
    auto* edit = Make<TEdit>(panel, "inner");
    QPointer<QWidget> editWidget = edit->Widget();
    ShowForm();
    edit->SetFocus();
    delete panel;
    EXPECT_TRUE(editWidget.isNull());
    EXPECT_EQ(form->FindComponent("inner"), nullptr);
    EXPECT_EQ(form->ActiveControl(), nullptr);
    EXPECT_EQ(form->ControlCount(), 0);
}

} // namespace
