#include "UiTest.h"
#include "demo/DemoForm.h"

#include <QTableView>

namespace {

class DemoFormTest : public UiTest {};

TEST_F(DemoFormTest, EveryVisibleControlLiesInsideTheFormAndTheMasksShowTheirText)
{
    std::unique_ptr<TDemoForm> form(TForm::Create<TDemoForm>(nullptr));
    form->Show();
    Activate(form->HostWindow());
    const QRect client = form->Widget()->rect();
    for (int i = 0; i < form->ComponentCount(); ++i) {
        auto* control = dynamic_cast<TControl*>(form->Components(i));
        if (!control || !control->Visible())
            continue;
        const QRect placed(control->Widget()->mapTo(form->Widget(), QPoint(0, 0)), control->Widget()->size());
        EXPECT_TRUE(client.contains(placed)) << control->Name().toStdString();
        EXPECT_TRUE(control->Widget()->isVisible()) << control->Name().toStdString();
    }
    EXPECT_EQ(form->medBranch->Text(), "0001");
    EXPECT_EQ(form->medDocument->EditText(), "12.345.678/0001-95");
    EXPECT_EQ(form->medDocument->Text(), "12345678000195");
    EXPECT_FALSE(form->lblBranch->Widget()->font() == form->medBranch->Widget()->font())
        << "the bold caption reached the edit";
    EXPECT_FALSE(form->imgCodBarra->Widget()->isVisible());
    EXPECT_EQ(form->dbgItems->View()->model()->index(1, 0).data().toString(), "101.038");
}

} // namespace
