#pragma once
// TDBGrid: a table view of a data source's data set.
//
// The grid's current row and the data set's cursor are one: moving in the
// grid (click, keys) moves the cursor (AfterScroll runs once), and moving the
// cursor moves the grid. Texts come from the fields (DisplayText: display
// format, edit mask, OnGetText). Without declared columns the grid shows one
// column per visible field; declared columns show what they name, hidden
// fields included.
//
// While the data set's controls are disabled the grid hears nothing and is
// not told to repaint; the last EnableControls brings it up to date.
//
// OnDrawColumnCell(sender, rect, dataCol, column, state) runs for each cell
// after the default drawing, with the fields reading the row being drawn and
// Canvas() lent for the call: its brush and font are the cell's (selection
// colours on a selected row). The grid never edits in place.
//
// Focus: while the grid has the focus a frame in the highlight colour runs
// round its cells and the current row shows in the highlight colour. Without
// the focus there is no frame; the current row shows in a pale tint of the
// highlight with "always show selection", else not at all.
#include "Canvas.h"
#include "Controls.h"
#include "GridColumns.h"

#include <QFlags>

class QTableView;
class QStyleOptionViewItem;
class QModelIndex;
class TDataSet;
class TDataSource;
class TGridModel;

enum class TDBGridOption {
    dgEditing = 0x1,
    dgTitles = 0x2,
    dgIndicator = 0x4,
    dgColumnResize = 0x8,
    dgColLines = 0x10,
    dgRowLines = 0x20,
    dgTabs = 0x40,
    dgRowSelect = 0x80,
    dgAlwaysShowSelection = 0x100,
};
Q_DECLARE_FLAGS(TDBGridOptions, TDBGridOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TDBGridOptions)

enum class TGridDrawFlag { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
Q_DECLARE_FLAGS(TGridDrawState, TGridDrawFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TGridDrawState)

enum class TBorderStyle { bsNone, bsSingle };

using TDrawColumnCellEvent = TEvent<TObject*, const TRect&, int, TColumn*, TGridDrawState>;

class TDBGrid : public TWinControl {
public:
    explicit TDBGrid(TComponent* owner);
    ~TDBGrid() override;

    TDataSource* DataSource() const;
    void SetDataSource(TDataSource* source);
    TDataSet* DataSet() const;

    TDBGridColumns& Columns() { return columns_; }
    // The columns shown: the declared ones, or one per visible field.
    int ColumnCount() const;
    TColumn* ColumnAt(int index) const;

    TDBGridOptions Options() const { return options_; }
    void SetOptions(TDBGridOptions options);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);

    // The canvas of the cell being drawn, or nullptr outside OnDrawColumnCell.
    TCanvas* Canvas() const { return canvas_; }
    TDrawColumnCellEvent OnDrawColumnCell;

    QTableView* View() const;
    TGridModel* Model() const { return model_.get(); }

    // For the model and the columns.
    void ColumnsChanged();
    void DataChanged();
    // The rows changed, the fields did not go (DataChanged when the columns shown would change).
    void RowsChanged();
    void SyncCurrent();
    void BuildColumns();
    // The view gained or lost the focus.
    void FocusChanged();
    void DrawColumnCell(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index);

protected:
    QPalette::ColorRole ColorRole() const override { return QPalette::Base; }
    bool WidgetEvent(QEvent* event) override;

private:
    void ApplyColumns();
    void ApplyOptions();
    // The selection colours for the grid's focus now (see above).
    void ApplySelectionColours();
    void CurrentRowChanged(int row);
    // The field names the columns would show now differ from those they show.
    bool ColumnsStale() const;

    std::unique_ptr<TGridModel> model_;
    TDBGridColumns columns_;
    TDBGridColumns fieldColumns_; // one per visible field when none is declared
    TDBGridOptions options_;
    bool readOnly_ = false;
    TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
    TCanvas* canvas_ = nullptr;
    bool syncing_ = false;
    bool building_ = false;
    bool colouring_ = false;
};
