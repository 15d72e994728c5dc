#include "UiTest.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "ui/DBGrid.h"
#include "ui/Form.h"
#include "ui/GridModel.h"
#include "ui/StdCtrls.h"
#include "rtl/Exceptions.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QPaintEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleOptionViewItem>
#include <QTableView>

#include <utility>

namespace {

TDataPacket Rows(int count)
{
    TDataPacketBuilder b({{"CODE", TFieldType::ftString, 10},
                          {"NAME", TFieldType::ftString, 30},
                          {"QT", TFieldType::ftFloat, 0}});
    for (int i = 1; i <= count; ++i) {
        b.AddString(QString::number(1000 + i));
        b.AddString(QStringLiteral("Item %1").arg(i));
        b.AddNumber(i * 1.5);
        b.EndRow();
    }
    return b.Build();
}

class GridForm : public TForm {
public:
    explicit GridForm(TComponent* owner) : TForm(owner)
    {
        SetClientWidth(500);
        SetClientHeight(300);
        cds = new TClientDataSet(this);
        code = new TStringField(cds);
        code->SetFieldName("CODE");
        code->SetSize(10);
        code->SetDisplayLabel("Código");
        name = new TStringField(cds);
        name->SetFieldName("NAME");
        name->SetSize(30);
        name->SetVisible(false);
        qt = new TFloatField(cds);
        qt->SetFieldName("QT");
        qt->SetDisplayFormat("0.00");
        dts = new TDataSource(this);
        dts->SetDataSet(cds);
        grid = new TDBGrid(this);
        grid->SetName("grid");
        grid->SetParent(this);
        grid->SetAlign(TAlign::alClient);
        grid->SetDataSource(dts);
        grid->SetOptions(TDBGridOption::dgTitles | TDBGridOption::dgColumnResize | TDBGridOption::dgColLines |
                         TDBGridOption::dgRowLines | TDBGridOption::dgTabs | TDBGridOption::dgRowSelect |
                         TDBGridOption::dgAlwaysShowSelection);
        grid->SetBorderStyle(TBorderStyle::bsNone);
        grid->SetColor(clInfoBk);
        cds->AfterScroll = TEvent<TDataSet*>::Of([this](TDataSet*) { ++scrolls; });
    }

    TClientDataSet* cds;
    TStringField* code;
    TStringField* name;
    TFloatField* qt;
    TDataSource* dts;
    TDBGrid* grid;
    int scrolls = 0;
};

class GridTest : public UiTest {
protected:
    void SetUp() override
    {
        form.reset(TForm::Create<GridForm>(nullptr));
        form->cds->SetData(Rows(4));
        form->scrolls = 0;
    }

    void ShowForm()
    {
        form->Show();
        Activate(form->HostWindow());
    }

    QTableView* View() const { return form->grid->View(); }
    QString Cell(int row, int column) const { return View()->model()->index(row, column).data().toString(); }

    std::unique_ptr<GridForm> form;
};

// Collects Qt's warnings (the item model tester reports through them) while it lives or until Stop.
class QtWarnings {
public:
    QtWarnings()
    {
        texts().clear();
        previous_ = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& m) {
            if (type != QtDebugMsg)
                texts() << m;
        });
    }
    ~QtWarnings() { Stop(); }
    void Stop()
    {
        if (std::exchange(installed_, false))
            qInstallMessageHandler(previous_);
    }
    QStringList Texts() const { return texts(); }

private:
    static QStringList& texts()
    {
        static QStringList all;
        return all;
    }
    QtMessageHandler previous_ = nullptr;
    bool installed_ = true;
};

// The row count a model reports after each change it announces (reset, rows
// added or removed, data changed).
class ModelChanges {
public:
    explicit ModelChanges(QAbstractItemModel* model)
    {
        auto seen = [this, model] { rows << model->rowCount(); };
        QObject::connect(model, &QAbstractItemModel::modelReset, &context_, seen);
        QObject::connect(model, &QAbstractItemModel::rowsInserted, &context_, seen);
        QObject::connect(model, &QAbstractItemModel::rowsRemoved, &context_, seen);
        QObject::connect(model, &QAbstractItemModel::dataChanged, &context_, seen);
    }
    QList<int> rows;

private:
    QObject context_;
};

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

TEST_F(GridTest, ModelPassesTheItemModelTesterThroughLoadsFiltersAndColumnChanges)
{
    QtWarnings warnings;
    {
        QAbstractItemModelTester tester(form->grid->Model(), QAbstractItemModelTester::FailureReportingMode::Warning);
        form->cds->Next();
        form->cds->SetFilter("CODE = '1002'");
        form->cds->SetFiltered(true);
        form->cds->SetFiltered(false);
        form->cds->SetData(Rows(7));
        form->grid->Columns().Add()->SetFieldName("NAME");
        form->grid->Columns().Add()->SetFieldName("QT");
        form->grid->Columns()[0]->SetVisible(false);
        form->cds->Close();
        form->cds->SetData(Rows(0));
        form->cds->SetData(Rows(2));
    }
    warnings.Stop();
    EXPECT_TRUE(warnings.Texts().isEmpty()) << warnings.Texts().join('\n').toStdString();
}

TEST_F(GridTest, ShowsVisibleFieldsOrDeclaredColumnsWithFieldTexts)
{
    // Without declared columns: visible fields only, titles from display labels.
    ASSERT_EQ(View()->model()->columnCount(), 2);
    EXPECT_EQ(View()->model()->headerData(0, Qt::Horizontal).toString(), "Código");
    EXPECT_EQ(View()->model()->headerData(1, Qt::Horizontal).toString(), "QT");
    EXPECT_EQ(Cell(1, 1), "3,00");
    EXPECT_EQ(View()->model()->index(1, 1).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight, Qt::AlignRight);

    form->code->SetEditMask("9.999;0;_");
    form->qt->OnGetText = TFieldGetTextEvent::Of([](TField* f, QString& text, bool) {
        text = f->AsFloat() == 4.5 ? QStringLiteral("quatro e meio") : f->AsString();
    });
    form->grid->Columns().Add()->SetFieldName("NAME");
    TColumn* c = form->grid->Columns().Add();
    c->SetFieldName("CODE");
    c->Title().SetCaption("Nr.");
    c->SetWidth(77);
    form->grid->Columns().Add()->SetFieldName("QT");
    ASSERT_EQ(View()->model()->columnCount(), 3);
    EXPECT_EQ(View()->model()->headerData(0, Qt::Horizontal).toString(), "NAME");
    EXPECT_EQ(View()->model()->headerData(1, Qt::Horizontal).toString(), "Nr.");
    EXPECT_EQ(Cell(0, 0), "Item 1");
    EXPECT_EQ(Cell(0, 1), "1.001");
    EXPECT_EQ(Cell(2, 2), "quatro e meio");
    EXPECT_EQ(View()->horizontalHeader()->sectionSize(1), 77);
    c->SetVisible(false);
    EXPECT_TRUE(View()->isColumnHidden(1));
    EXPECT_EQ(form->cds->RecNo(), 1) << "changing columns moved the cursor";
}

TEST_F(GridTest, ClickingARowMovesTheCursorAndRunsAfterScrollOnce)
{
    ShowForm();
    const QRect cell = View()->visualRect(View()->model()->index(2, 1));
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(form->cds->RecNo(), 3);
    EXPECT_EQ(form->scrolls, 1);
    EXPECT_TRUE(form->grid->Focused());

    QTest::keyClick(View(), Qt::Key_Down);
    EXPECT_EQ(form->cds->RecNo(), 4);
    EXPECT_EQ(form->scrolls, 2);
}

TEST_F(GridTest, MovingTheCursorMovesTheGrid)
{
    form->cds->Last();
    EXPECT_EQ(View()->currentIndex().row(), 3);
    form->cds->Prior();
    EXPECT_EQ(View()->currentIndex().row(), 2);
    EXPECT_TRUE(View()->selectionModel()->isRowSelected(2, QModelIndex()));
    EXPECT_EQ(form->scrolls, 2) << "the grid moved the cursor back";
}

// What a move repaints: the rows it leaves and reaches, not the titles, the
// scroll bar or the rest of the grid; and rows that stop fitting, or fit
// again, leave the grid's layout as it was.
TEST_F(GridTest, AMoveRepaintsItsRowsOnlyAndTheRowCountKeepsTheLayout)
{
    ShowForm();
    QApplication::processEvents();
    struct RegionSpy : QObject {
        QRegion painted;
        int paints = 0;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint) {
                ++paints;
                painted += static_cast<QPaintEvent*>(event)->region();
            }
            return false;
        }
    } cells, titles, bar;
    View()->viewport()->installEventFilter(&cells);
    View()->horizontalHeader()->viewport()->installEventFilter(&titles);
    View()->verticalScrollBar()->installEventFilter(&bar);

    form->cds->Next();
    QApplication::processEvents();
    EXPECT_EQ(titles.paints, 0) << "the titles were repainted for a move";
    EXPECT_EQ(bar.paints, 0) << "the scroll bar was repainted for a move";
    EXPECT_LE(cells.painted.boundingRect().height(), 2 * View()->rowHeight(0))
        << "more than the two rows of the move were repainted";

    const QRect cellArea = View()->viewport()->geometry();
    EXPECT_TRUE(View()->verticalScrollBar()->isVisible());
    for (int rows : {60, 1, 4}) {
        form->cds->SetData(Rows(rows));
        QApplication::processEvents();
        EXPECT_EQ(View()->viewport()->geometry(), cellArea) << rows << " rows moved the grid's cells";
    }
}

TEST_F(GridTest, DisabledControlsFreezeTheGridUntilTheLastEnable)
{
    ShowForm();
    PaintCounter counter;
    View()->viewport()->installEventFilter(&counter);
    ModelChanges changes(View()->model());

    form->cds->DisableControls();
    form->cds->DisableControls();
    form->cds->SetData(Rows(9));
    form->cds->Last();
    QApplication::processEvents();
    EXPECT_EQ(View()->model()->rowCount(), 4);
    EXPECT_TRUE(changes.rows.isEmpty());
    EXPECT_EQ(counter.paints, 0);

    form->cds->EnableControls();
    QApplication::processEvents();
    EXPECT_TRUE(changes.rows.isEmpty());
    EXPECT_EQ(counter.paints, 0);

    form->cds->EnableControls();
    QApplication::processEvents();
    EXPECT_EQ(changes.rows, (QList<int>{9, 9})) << "rows added, then all of them changed";
    EXPECT_EQ(View()->model()->rowCount(), 9);
    EXPECT_EQ(View()->currentIndex().row(), 8);
    EXPECT_GT(counter.paints, 0);
}

TEST_F(GridTest, ADetailRefilteredByAMastersHandlerIsUpdatedOnceToItsFinalRows)
{
    // The grid's data set as the detail of another: each move of the master
    // switches the detail's filter off, sets a new one and switches it on.
    form->cds->SetData(Rows(300));
    TClientDataSet master;
    master.SetData(Rows(300));
    master.AfterScroll = TEvent<TDataSet*>::Of([this, &master](TDataSet*) {
        form->cds->SetFiltered(false);
        form->cds->SetFilter("CODE = '" + master.FieldByName("CODE")->AsString() + "'");
        form->cds->SetFiltered(true);
    });
    master.First();
    ShowForm();

    QtWarnings warnings;
    ModelChanges changes(View()->model());
    QSignalSpy resets(View()->model(), &QAbstractItemModel::modelAboutToBeReset);
    {
        QAbstractItemModelTester tester(form->grid->Model(), QAbstractItemModelTester::FailureReportingMode::Warning);
        master.SetRecNo(120);
        EXPECT_EQ(changes.rows, QList<int>{1}) << "the grid saw an intermediate state";
        EXPECT_EQ(Cell(0, 0), "1120");
        EXPECT_EQ(View()->currentIndex().row(), 0);
        master.Next();
        master.Next();
        form->cds->SetFiltered(false);  // all rows back: added behind the one shown
        EXPECT_EQ(View()->model()->rowCount(), 300);
        EXPECT_EQ(Cell(299, 0), "1300");
        EXPECT_EQ(View()->currentIndex().row(), 121) << "filtering off keeps the current row";
        form->scrolls = 0;
        form->cds->SetFilter("CODE >= '1250'");
        form->cds->SetFiltered(true);  // the view's current row is among those removed
        EXPECT_EQ(form->scrolls, 1) << "removing rows under the view moved the cursor";
        EXPECT_EQ(form->cds->RecNo(), 1);
        EXPECT_EQ(View()->currentIndex().row(), 0);
    }
    warnings.Stop();
    EXPECT_EQ(changes.rows, (QList<int>{1, 1, 1, 300, 300, 51, 51}));
    EXPECT_EQ(resets.count(), 0) << "the columns stayed: no reset of the header";
    EXPECT_TRUE(warnings.Texts().isEmpty()) << warnings.Texts().join('\n').toStdString();
}

TEST_F(GridTest, WithoutAlwaysShowSelectionAnUnfocusedGridShowsNoSelection)
{
    form->grid->SetOptions(TDBGridOption::dgTitles | TDBGridOption::dgRowSelect);
    form->grid->SetColor(clAqua);
    EXPECT_EQ(View()->palette().color(QPalette::Inactive, QPalette::Highlight), QColor(Qt::cyan));
    EXPECT_EQ(View()->palette().color(QPalette::Active, QPalette::Highlight), QColor(Qt::cyan));
    form->grid->SetOptions(form->grid->Options() | TDBGridOption::dgAlwaysShowSelection);
    EXPECT_EQ(View()->palette().color(QPalette::Inactive, QPalette::Highlight),
              View()->palette().color(QPalette::Active, QPalette::Highlight));
}

TEST_F(GridTest, DoubleClickEnterAndExitReachTheirHandlers)
{
    auto* edit = new TEdit(form.get());
    edit->SetParent(form.get());
    edit->SetAlign(TAlign::alTop);
    QStringList log;
    form->grid->OnDblClick = TNotifyEvent::Of([&](TObject*) { log << "dblclick"; });
    form->grid->OnEnter = TNotifyEvent::Of([&](TObject*) { log << "enter"; });
    form->grid->OnExit = TNotifyEvent::Of([&](TObject*) { log << "exit"; });
    ShowForm();
    edit->SetFocus();
    log.clear();
    const QPoint at = View()->visualRect(View()->model()->index(1, 0)).center();
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(View()->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseClick(edit->Widget(), Qt::LeftButton);
    EXPECT_EQ(log, QStringList({"enter", "dblclick", "exit"}));
}

TEST_F(GridTest, ErrorInAfterScrollIsShownOnceAndTheGridKeepsTheCursorRow)
{
    ShowForm();
    form->cds->AfterScroll = TEvent<TDataSet*>::Of([](TDataSet*) { throw EDatabaseError("falhou"); });
    dialogs.ExpectError();
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, {},
                      View()->visualRect(View()->model()->index(1, 0)).center());
    EXPECT_EQ(dialogs.Texts(TDialogKind::Error), QStringList({"falhou"}));
    EXPECT_EQ(form->cds->RecNo(), 2);
    EXPECT_EQ(View()->currentIndex().row(), 1);
}

TEST_F(GridTest, BrushCopyShowsTheCellColourWhereTheBitmapIsOlive)
{
    // 16 x 16 olive with a black bar in columns 4 and 5.
    TBitmap picture;
    picture.SetSize(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            picture.SetPixel(x, y, x == 4 || x == 5 ? clBlack : clOlive);
    QList<int> drawnRows;
    form->grid->OnDrawColumnCell =
        TDrawColumnCellEvent::Of([&](TObject*, const TRect& rect, int dataCol, TColumn*, TGridDrawState) {
            if (dataCol != 0)
                return;
            drawnRows << form->code->AsString().toInt();
            TCanvas* canvas = form->grid->Canvas();
            TBitmap bitmap;
            bitmap.Assign(picture);
            canvas->FillRect(rect);
            canvas->BrushCopy(Bounds(rect.Left + 10, rect.Top, bitmap.Width(), rect.Height()), bitmap,
                              Bounds(0, 0, bitmap.Width(), rect.Height()), clOlive);
        });
    ShowForm();
    form->cds->SetRecNo(2);
    const QImage shot = View()->viewport()->grab().toImage();
    const QRect selected = View()->visualRect(View()->model()->index(1, 0));
    const QRect plain = View()->visualRect(View()->model()->index(2, 0));
    const QColor highlight = View()->palette().color(QPalette::Active, QPalette::Highlight);
    const QColor background = ColorToQColor(clInfoBk);
    ASSERT_NE(highlight, background);

    EXPECT_EQ(shot.pixelColor(selected.left() + 10 + 1, selected.top() + 3), highlight);
    EXPECT_EQ(shot.pixelColor(selected.left() + 10 + 4, selected.top() + 3), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(selected.left() + 2, selected.top() + 3), highlight);
    EXPECT_EQ(shot.pixelColor(plain.left() + 10 + 1, plain.top() + 3), background);
    EXPECT_EQ(shot.pixelColor(plain.left() + 10 + 5, plain.top() + 3), QColor(Qt::black));
    EXPECT_TRUE(drawnRows.contains(1002) && drawnRows.contains(1003)) << "fields did not read the drawn row";
    EXPECT_EQ(form->cds->RecNo(), 2) << "drawing moved the cursor";
    EXPECT_EQ(form->grid->Canvas(), nullptr);
}

// The user sees which grid has the focus: a frame in the highlight colour
// round the cells and the current row in the highlight colour, neither while
// another control has the focus.
// The style shades a selected cell slightly: near is within a few steps.
bool Near(const QColor& a, const QColor& b)
{
    return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) < 16;
}

TEST_F(GridTest, OnlyTheFocusedGridShowsTheFocusFrameAndTheActiveRowColour)
{
    auto* edit = new TEdit(form.get());
    edit->SetParent(form.get());
    edit->SetAlign(TAlign::alTop);
    ShowForm();
    const QColor highlight = QApplication::palette(View()).color(QPalette::Active, QPalette::Highlight);
    // Cells in the grid's own coordinates: the frame lies outside the cells.
    const QPoint cells = View()->viewport()->pos();
    const QRect row = View()->visualRect(View()->model()->index(1, 0)).translated(cells);
    auto shot = [&] { return View()->grab().toImage(); };
    form->cds->SetRecNo(2);

    form->grid->SetFocus();
    ASSERT_TRUE(View()->hasFocus());
    QImage focused = shot();
    const int middle = focused.height() / 2 + 20;
    EXPECT_EQ(focused.pixelColor(0, middle), highlight) << "the frame's left edge";
    EXPECT_EQ(focused.pixelColor(focused.width() - 1, middle), highlight) << "the frame's right edge";
    EXPECT_TRUE(Near(focused.pixelColor(row.center().x(), row.center().y() - 3), highlight)) << "the current row";
    const QRect first = View()->visualRect(View()->model()->index(0, 0)).translated(cells);
    EXPECT_NE(focused.pixelColor(first.left(), first.center().y()), highlight) << "the frame covers no cell";

    edit->SetFocus();
    ASSERT_FALSE(View()->hasFocus());
    QImage unfocused = shot();
    EXPECT_NE(unfocused.pixelColor(0, middle), highlight);
    EXPECT_NE(unfocused.pixelColor(unfocused.width() - 1, middle), highlight);
    const QColor pale = unfocused.pixelColor(row.center().x(), row.center().y() - 3);
    EXPECT_FALSE(Near(pale, highlight)) << "the current row, without the focus";
    const QRect other = View()->visualRect(View()->model()->index(2, 0)).translated(cells);
    EXPECT_FALSE(Near(pale, unfocused.pixelColor(other.center().x(), other.center().y() - 3)))
        << "the current row still stands out from the others";
}

// Columns of ink (pixels darker than mid grey) in `rect` of `image`.
QList<int> InkColumns(const QImage& image, const QRect& rect)
{
    QList<int> columns;
    for (int x = rect.left(); x <= rect.right(); ++x)
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            if (qGray(image.pixel(x, y)) < 128) {
                columns << x;
                break;
            }
    return columns;
}

// The lines the options ask for, a right-aligned number against the cell's
// right edge, and a text longer than its column cut inside its own cell.
TEST_F(GridTest, CellsShowTheirLinesAndKeepTheirTextsInside)
{
    TColumn* code = form->grid->Columns().Add();
    code->SetFieldName("CODE");
    code->SetWidth(60);
    TColumn* quantity = form->grid->Columns().Add();
    quantity->SetFieldName("QT");
    quantity->SetWidth(90);
    form->code->OnGetText = TFieldGetTextEvent::Of(
        [](TField*, QString& text, bool) { text = QStringLiteral("Comercial Bandeirantes de Campinas"); });
    ShowForm();
    QStyleOptionViewItem option;
    option.initFrom(View());
    const QColor line =
        QColor::fromRgba(QRgb(View()->style()->styleHint(QStyle::SH_Table_GridLineColor, &option, View())));
    const QRect first = View()->visualRect(View()->model()->index(2, 0));
    const QRect second = View()->visualRect(View()->model()->index(2, 1));

    form->grid->SetOptions(TDBGridOption::dgTitles | TDBGridOption::dgColLines);
    QImage shot = View()->viewport()->grab().toImage();
    EXPECT_EQ(shot.pixelColor(first.right(), first.center().y()), line) << "the column line";
    EXPECT_NE(shot.pixelColor(first.center().x(), first.bottom()), line) << "a row line without dgRowLines";
    form->grid->SetOptions(TDBGridOption::dgTitles | TDBGridOption::dgColLines | TDBGridOption::dgRowLines);
    shot = View()->viewport()->grab().toImage();
    EXPECT_EQ(shot.pixelColor(first.center().x(), first.bottom()), line) << "the row line";

    const QList<int> cut = InkColumns(shot, first.adjusted(0, 0, -1, -1));
    ASSERT_FALSE(cut.isEmpty());
    EXPECT_LT(cut.last(), first.right() - 1) << "the cut text reaches the line";
    const QList<int> number = InkColumns(shot, second.adjusted(0, 0, -1, -1));
    ASSERT_FALSE(number.isEmpty()) << "the number is not drawn";
    EXPECT_GT(number.first(), second.center().x()) << "the long text ran into the next cell, or the number is not right-aligned";
    EXPECT_GE(number.last(), second.right() - 6) << "the number does not end at the cell's right margin";
}

} // namespace

// With no window manager nobody activates the window again after a modal
// dialog closes; the user's next click activates it, and Qt delivers that
// click before the window has become active.
TEST_F(GridTest, FirstClickIntoAnInactiveWindowMovesTheFocusAndTheCursor)
{
    auto* edit = new TEdit(form.get());
    edit->SetParent(form.get());
    edit->SetAlign(TAlign::alTop);
    QStringList log;
    edit->OnExit = TNotifyEvent::Of([&](TObject*) { log << "exit"; });
    form->grid->OnEnter = TNotifyEvent::Of([&](TObject*) { log << "enter"; });
    ShowForm();
    edit->SetFocus();
    log.clear();
    QApplication::setActiveWindow(nullptr);
    ASSERT_FALSE(form->HostWindow()->isActiveWindow());

    const QRect cell = View()->visualRect(View()->model()->index(2, 1));
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(form->cds->RecNo(), 3);
    EXPECT_EQ(form->scrolls, 1);
    EXPECT_EQ(log, QStringList({"exit", "enter"}));
    EXPECT_EQ(form->ActiveControl(), form->grid);

    // The window coming back runs no move of its own.
    Activate(form->HostWindow());
    EXPECT_EQ(log, QStringList({"exit", "enter"}));
    EXPECT_TRUE(form->grid->Focused());
    EXPECT_EQ(form->cds->RecNo(), 3);
}
