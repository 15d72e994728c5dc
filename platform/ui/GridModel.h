#pragma once
// The item model behind a data grid: one row per visible row of the data
// set, one column per column of the grid, display texts from the fields.
// It follows the data set through a data link: it hears nothing while the
// data set's controls are disabled, and of a change only once the change
// (with everything its event handlers did) has finished, so one update
// shows the final rows and a detail refiltered by its master's handler costs
// what it shows. A change of content keeps the columns (and Qt's header)
// unless the fields shown changed; opening, closing and a change of columns
// reset the model. The row count it reports changes only when it is told,
// so Qt always sees a consistent model.
#include "data/DataSource.h"

#include <QAbstractTableModel>

class TDBGrid;

class TGridModel : public QAbstractTableModel, public TDataLink {
public:
    explicit TGridModel(TDBGrid* grid);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // What a cell shows, and how its column aligns it. DisplayText runs the
    // field's OnGetText: it may throw.
    QString DisplayText(const QModelIndex& index) const;
    Qt::Alignment Alignment(int column) const;

    // Reads rows and columns again.
    void Reset();
    // Reads the rows again under the same columns: rows added or removed at
    // the end, the rest reported changed, so the view keeps its header and
    // column widths and repaints only what it shows.
    void RefreshRows();
    // The row can be read from the data set now (the data set may have
    // changed under disabled controls).
    bool Readable(int row) const;

protected:
    void ActiveChanged() override;
    void DataSetChanged() override;
    void DataSetScrolled() override;

private:
    TDBGrid* grid_;
    int rows_ = 0;
    int columns_ = 0;
};
