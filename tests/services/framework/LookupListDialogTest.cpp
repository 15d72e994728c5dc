#include "SampleBranches.h"
#include "UiTest.h"
#include "framework/LookupListDialog.h"
#include "ui/DBGrid.h"
#include "ui/InteractiveDialogs.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QTimer>

namespace {

class LookupListDialogTest : public UiTest {
protected:
    void SetUp() override
    {
        branches.Load();
        dialog = std::make_unique<TLookupListDialog>(TLookupListRequest{"Filial", branches.dts});
        dialog->show();
        Activate(dialog.get());
    }
    QTableView* View() const { return dialog->Grid()->View(); }
    QStringList Titles() const
    {
        QStringList titles;
        for (int c = 0; c < View()->model()->columnCount(); ++c)
            if (!View()->isColumnHidden(c))
                titles << View()->model()->headerData(c, Qt::Horizontal).toString();
        return titles;
    }
    void Type(const QString& keys) { QTest::keyClicks(View(), keys); }

    TSampleBranches branches;
    std::unique_ptr<TLookupListDialog> dialog;
};

TEST_F(LookupListDialogTest, ShowsTheVisibleFieldsAsTheFieldsShowThem)
{
    EXPECT_EQ(dialog->windowTitle(), "Filial");
    EXPECT_EQ(Titles(), QStringList({"Código", "Nome", "Abertura", "Situação"}));
    const QAbstractItemModel* model = View()->model();
    EXPECT_EQ(model->rowCount(), 4);
    EXPECT_EQ(model->index(0, 2).data().toString(), "02/03/1998");
    EXPECT_EQ(model->index(0, 3).data().toString(), "Concluída"); // through OnGetText
    EXPECT_EQ(model->index(2, 3).data().toString(), "Em Andamento");
    EXPECT_TRUE(View()->hasFocus());
    // Codes and texts from OnGetText are not cut, whatever the fields' widths.
    const QFontMetrics metrics(View()->font());
    EXPECT_GT(View()->columnWidth(0), metrics.horizontalAdvance("Código"));
    EXPECT_GT(View()->columnWidth(3), metrics.horizontalAdvance("Em Andamento"));
    EXPECT_GE(dialog->width(), View()->columnWidth(0) + View()->columnWidth(1) + View()->columnWidth(2) +
                                   View()->columnWidth(3));
}

TEST_F(LookupListDialogTest, TypingFindsTheFirstRowStartingWithTheTypedTextInTheFirstColumn)
{
    branches.code->SetVisible(false); // the name is now the first column
    dialog = std::make_unique<TLookupListDialog>(TLookupListRequest{"Filial", branches.dts});
    dialog->show();
    Activate(dialog.get());
    ASSERT_EQ(Titles().value(0), "Nome");

    Type("fil");
    EXPECT_EQ(branches.Current(), "0002");
    Type("ial m");
    EXPECT_EQ(branches.Current(), "0003");
    EXPECT_EQ(dialog->TypedText(), "fil" "ial m");
    Type("x"); // no row: refused, nothing moves
    EXPECT_EQ(dialog->TypedText(), "filial m");
    EXPECT_EQ(branches.Current(), "0003");
    for (int i = 0; i < 8; ++i)
        QTest::keyClick(View(), Qt::Key_Backspace);
    EXPECT_EQ(dialog->TypedText(), "");
    Type("DEP");
    EXPECT_EQ(branches.Current(), "0010");
    // Moving with the keys starts a new text.
    QTest::keyClick(View(), Qt::Key_Up);
    EXPECT_EQ(branches.Current(), "0003");
    EXPECT_EQ(dialog->TypedText(), "");
    Type("m");
    EXPECT_EQ(branches.Current(), "0001");
}

TEST_F(LookupListDialogTest, EnterPicksAndEscapeCancels)
{
    QTest::keyClick(View(), Qt::Key_Down);
    QTest::keyClick(View(), Qt::Key_Return);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(branches.Current(), "0002");

    dialog = std::make_unique<TLookupListDialog>(TLookupListRequest{"Filial", branches.dts});
    dialog->show();
    Activate(dialog.get());
    QTest::keyClick(View(), Qt::Key_Escape);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(LookupListDialogTest, DoubleClickPicks)
{
    const QRect cell = View()->visualRect(View()->model()->index(3, 1));
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(View()->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(branches.Current(), "0010");
}

TEST_F(LookupListDialogTest, IsTheInteractiveServicesLookupList)
{
    dialog.reset();
    QTimer::singleShot(0, [] {
        auto* shown = dynamic_cast<TLookupListDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(shown, nullptr) << "no lookup list shown";
        EXPECT_EQ(shown->windowTitle(), "Filial");
        QTest::keyClick(shown->Grid()->View(), Qt::Key_Down);
        QTest::keyClick(shown->Grid()->View(), Qt::Key_Return);
    });
    EXPECT_TRUE(InteractiveDialogs().LookupList({"Filial", branches.dts}));
    EXPECT_EQ(branches.Current(), "0002");
}

} // namespace
