#include "DBGrid.h"

#include "Dispatch.h"
#include "GridDelegate.h"
#include "GridModel.h"
#include "ScrollBarStyle.h"
#include "data/DataSource.h"

#include <QApplication>
#include <QEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QScrollBar>
#include <QTableView>

namespace {

// Width of a borderless grid's focus ring, in pixels.
constexpr int FocusRing = 2;

class TGridView : public QTableView {
public:
    TDBGrid* grid = nullptr;

protected:
    bool viewportEvent(QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonDblClick) {
            TDBGrid* g = grid;
            Dispatch(g, [g] { g->OnDblClick(g); });
        }
        return QTableView::viewportEvent(event);
    }

    // The focus frame: the ring between the grid's edge and its cells takes
    // the highlight colour while the grid has the focus, so the user sees
    // which grid the keys and the tool buttons act on. It never covers a
    // cell: a borderless grid keeps a ring of FocusRing pixels in the
    // window's colour for it.
    bool event(QEvent* event) override
    {
        const bool handled = QTableView::event(event);
        const int width = frameWidth();
        if (event->type() == QEvent::Paint && width > 0 && (hasFocus() || frameShape() == QFrame::Box)) {
            QPainter painter(this);
            painter.setClipRegion(QRegion(rect()) - QRegion(rect().adjusted(width, width, -width, -width)));
            painter.fillRect(rect(), hasFocus() ? QApplication::palette(this).color(QPalette::Active, QPalette::Highlight)
                                                : palette().color(QPalette::Window));
        }
        return handled;
    }

    void focusInEvent(QFocusEvent* event) override
    {
        QTableView::focusInEvent(event);
        grid->FocusChanged();
    }

    void focusOutEvent(QFocusEvent* event) override
    {
        QTableView::focusOutEvent(event);
        grid->FocusChanged();
    }
};

} // namespace

TDBGrid::TDBGrid(TComponent* owner)
    : TWinControl(owner, new TGridView), model_(std::make_unique<TGridModel>(this)), columns_(this),
      fieldColumns_(this),
      options_(TDBGridOption::dgEditing | TDBGridOption::dgTitles | TDBGridOption::dgIndicator |
               TDBGridOption::dgColumnResize | TDBGridOption::dgColLines | TDBGridOption::dgRowLines |
               TDBGridOption::dgTabs)
{
    SetTabStop(true);
    auto* view = static_cast<TGridView*>(Widget());
    view->grid = this;
    view->setModel(model_.get());
    view->setItemDelegate(new TGridDelegate(this, model_.get(), view));
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setWordWrap(false);
    view->setShowGrid(false);  // the delegate draws the lines
    // The vertical bar stands for the data set's position, so it is always
    // there: a data set whose rows now fit, or no longer fit, repaints its
    // rows and the bar, not the whole grid and its neighbours for a relayout.
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    if (QStyle* bars = TScrollBarStyle::Instance()) {
        view->verticalScrollBar()->setStyle(bars);
        view->horizontalScrollBar()->setStyle(bars);
    }
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
    view->horizontalHeader()->setHighlightSections(false);
    // The titles show no selection, yet Qt repaints the titles of every
    // column a selection touches: a selection model of their own, which
    // nothing ever selects in, spares that repaint at every move.
    view->horizontalHeader()->setSelectionModel(new QItemSelectionModel(model_.get(), view->horizontalHeader()));
    view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QObject::connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, view,
                     [this](const QModelIndex& current) { CurrentRowChanged(current.row()); });
    QObject::connect(view->horizontalHeader(), &QHeaderView::sectionResized, view,
                     [this](int section, int, int size) {
                         if (!building_ && section < ColumnCount())
                             ColumnAt(section)->KeepWidth(size);
                     });
    ApplyOptions();
}

TDBGrid::~TDBGrid()
{
    model_->SetDataSource(nullptr);
    if (View())
        View()->setModel(nullptr);
}

QTableView* TDBGrid::View() const
{
    return static_cast<QTableView*>(Widget());
}

TDataSource* TDBGrid::DataSource() const
{
    return model_->DataSource();
}

void TDBGrid::SetDataSource(TDataSource* source)
{
    model_->SetDataSource(source);
}

TDataSet* TDBGrid::DataSet() const
{
    return model_->DataSet();
}

int TDBGrid::ColumnCount() const
{
    return columns_.Count() > 0 ? columns_.Count() : fieldColumns_.Count();
}

TColumn* TDBGrid::ColumnAt(int index) const
{
    return columns_.Count() > 0 ? columns_.Items(index) : fieldColumns_.Items(index);
}

void TDBGrid::BuildColumns()
{
    building_ = true;
    fieldColumns_.Clear();
    if (columns_.Count() == 0 && model_->Active())
        for (int i = 0; i < DataSet()->FieldCount(); ++i)
            if (DataSet()->Fields(i)->Visible())
                fieldColumns_.Add()->SetFieldName(DataSet()->Fields(i)->FieldName());
    building_ = false;
}

void TDBGrid::ColumnsChanged()
{
    if (!building_)
        DataChanged();
}

void TDBGrid::DataChanged()
{
    if (building_ || !View())
        return;
    model_->Reset();
    ApplyColumns();
    SyncCurrent();
}

bool TDBGrid::ColumnsStale() const
{
    if (model_->columnCount() != ColumnCount())
        return true;
    if (columns_.Count() > 0)
        return false;
    QStringList shown, visible;
    for (int i = 0; i < fieldColumns_.Count(); ++i)
        shown << fieldColumns_.Items(i)->FieldName();
    if (model_->Active())
        for (int i = 0; i < DataSet()->FieldCount(); ++i)
            if (DataSet()->Fields(i)->Visible())
                visible << DataSet()->Fields(i)->FieldName();
    return shown != visible;
}

void TDBGrid::RowsChanged()
{
    if (building_ || !View())
        return;
    if (ColumnsStale()) {
        DataChanged();
        return;
    }
    // Rows removed under the view's current index move it; that is no move of the user's.
    syncing_ = true;
    model_->RefreshRows();
    syncing_ = false;
    SyncCurrent();
}

void TDBGrid::ApplyColumns()
{
    building_ = true;
    for (int i = 0; i < ColumnCount(); ++i) {
        View()->horizontalHeader()->resizeSection(i, ColumnAt(i)->Width());
        View()->setColumnHidden(i, !ColumnAt(i)->Visible());
    }
    building_ = false;
}

void TDBGrid::SyncCurrent()
{
    QTableView* view = View();
    if (!view)
        return;
    const TDataSet* dataSet = DataSet();
    const int row = dataSet && model_->Active() ? dataSet->RecNo() - 1 : -1;
    syncing_ = true;
    if (row < 0 || row >= model_->rowCount()) {
        view->selectionModel()->clearCurrentIndex();
        view->selectionModel()->clearSelection();
    } else {
        int column = view->currentIndex().isValid() ? view->currentIndex().column() : 0;
        while (column < ColumnCount() - 1 && view->isColumnHidden(column))
            ++column;
        const QModelIndex index = model_->index(row, qMin(column, ColumnCount() - 1));
        if (index.isValid()) {
            QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect;
            if (options_.testFlag(TDBGridOption::dgRowSelect))
                flags |= QItemSelectionModel::Rows;
            view->selectionModel()->setCurrentIndex(index, flags);
            view->scrollTo(index);
        }
    }
    syncing_ = false;
}

void TDBGrid::CurrentRowChanged(int row)
{
    if (syncing_ || row < 0)
        return;
    Dispatch(this, [this, row] {
        if (TDataSet* dataSet = DataSet(); dataSet && model_->Readable(row))
            dataSet->SetRecNo(row + 1);
    });
}

void TDBGrid::SetOptions(TDBGridOptions options)
{
    options_ = options;
    ApplyOptions();
}

void TDBGrid::ApplyOptions()
{
    QTableView* view = View();
    view->horizontalHeader()->setVisible(options_.testFlag(TDBGridOption::dgTitles));
    view->horizontalHeader()->setSectionResizeMode(
        options_.testFlag(TDBGridOption::dgColumnResize) ? QHeaderView::Interactive : QHeaderView::Fixed);
    view->verticalHeader()->setVisible(options_.testFlag(TDBGridOption::dgIndicator));
    view->viewport()->update();  // the lines the options ask for are the delegate's
    view->setTabKeyNavigation(options_.testFlag(TDBGridOption::dgTabs));
    view->setSelectionBehavior(options_.testFlag(TDBGridOption::dgRowSelect) ? QAbstractItemView::SelectRows
                                                                             : QAbstractItemView::SelectItems);
    ApplySelectionColours();
    SyncCurrent();
}

void TDBGrid::ApplySelectionColours()
{
    QPalette palette = View()->palette();
    const QPalette standard = QApplication::palette(View());
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    QColor highlight = standard.color(QPalette::Active, QPalette::Highlight);
    QColor highlightedText = standard.color(QPalette::Active, QPalette::HighlightedText);
    const bool focused = View()->hasFocus();
    if (!focused) {
        if (options_.testFlag(TDBGridOption::dgAlwaysShowSelection)) {
            // A pale tint of the highlight over the grid's own colour: the
            // row stays visible without looking like the focused grid's.
            highlight = QColor::fromRgbF(0.3f * highlight.redF() + 0.7f * base.redF(),
                                         0.3f * highlight.greenF() + 0.7f * base.greenF(),
                                         0.3f * highlight.blueF() + 0.7f * base.blueF());
            highlightedText = text;
        } else {
            highlight = base;
            highlightedText = text;
        }
    }
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::Highlight, highlight);
        palette.setColor(group, QPalette::HighlightedText, highlightedText);
    }
    colouring_ = true;
    View()->setPalette(palette);
    colouring_ = false;
}

void TDBGrid::FocusChanged()
{
    ApplySelectionColours();
    View()->update();
    View()->viewport()->update();
}

bool TDBGrid::WidgetEvent(QEvent* event)
{
    if ((event->type() == QEvent::PaletteChange && !colouring_) || event->type() == QEvent::ActivationChange)
        ApplySelectionColours();
    return TWinControl::WidgetEvent(event);
}

void TDBGrid::SetBorderStyle(TBorderStyle style)
{
    borderStyle_ = style;
    if (style == TBorderStyle::bsNone) {
        View()->setFrameShape(QFrame::Box);  // painted as the focus ring only
        View()->setFrameShadow(QFrame::Plain);
        View()->setLineWidth(FocusRing);
    } else {
        View()->setFrameShape(QFrame::StyledPanel);
    }
}

void TDBGrid::DrawColumnCell(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    if (!OnDrawColumnCell || !model_->Readable(index.row()))
        return;
    TGridDrawState state;
    state.setFlag(TGridDrawFlag::gdSelected, option.state.testFlag(QStyle::State_Selected));
    state.setFlag(TGridDrawFlag::gdFocused, option.state.testFlag(QStyle::State_HasFocus));
    const QPalette::ColorGroup group = CellColourGroup(option.state);
    const bool selected = state.testFlag(TGridDrawFlag::gdSelected);

    painter->save();
    TCanvas canvas(painter);
    canvas.Brush().Color =
        QColorToColor(option.palette.color(group, selected ? QPalette::Highlight : QPalette::Base));
    canvas.Font().Assign(TFont(Widget()->font(), QColorToColor(option.palette.color(
                                                     group, selected ? QPalette::HighlightedText : QPalette::Text))));
    TDisplayRowScope row(DataSet(), index.row());
    canvas_ = &canvas;
    struct Lend {
        TCanvas*& canvas;
        QPainter* painter;
        ~Lend()
        {
            canvas = nullptr;
            painter->restore();
        }
    } lend{canvas_, painter};
    OnDrawColumnCell(this, TRect::FromQRect(option.rect), index.column(), ColumnAt(index.column()), state);
}
