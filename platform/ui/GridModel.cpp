#include "GridModel.h"

#include "DBGrid.h"
#include "Dispatch.h"
#include "data/Field.h"

TGridModel::TGridModel(TDBGrid* grid) : grid_(grid) {}

int TGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int TGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : columns_;
}

bool TGridModel::Readable(int row) const
{
    const TDataSet* dataSet = DataSet();
    return Active() && dataSet && row >= 0 && row < dataSet->RecordCount();
}

Qt::Alignment TGridModel::Alignment(int column) const
{
    switch (grid_->ColumnAt(column)->Alignment()) {
    case TAlignment::taRightJustify: return Qt::AlignRight | Qt::AlignVCenter;
    case TAlignment::taCenter: return Qt::AlignCenter;
    case TAlignment::taLeftJustify: break;
    }
    return Qt::AlignLeft | Qt::AlignVCenter;
}

QString TGridModel::DisplayText(const QModelIndex& index) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || !Readable(index.row()))
        return QString();
    const TField* field = grid_->ColumnAt(index.column())->Field();
    if (!field)
        return QString();
    TDisplayRowScope row(DataSet(), index.row());
    return field->DisplayText();
}

QVariant TGridModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || !Readable(index.row()))
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return QVariant(Alignment(index.column()).toInt());
    if (role != Qt::DisplayRole)
        return QVariant();
    QString text;
    // Qt asks while painting: a failing OnGetText is shown, not thrown at Qt.
    Dispatch(grid_, [&] { text = DisplayText(index); });
    return text;
}

QVariant TGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columns_)
        return QVariant();
    return grid_->ColumnAt(section)->Title().Caption();
}

Qt::ItemFlags TGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void TGridModel::Reset()
{
    beginResetModel();
    rows_ = Active() && DataSet() ? DataSet()->RecordCount() : 0;
    grid_->BuildColumns();
    columns_ = grid_->ColumnCount();
    endResetModel();
}

void TGridModel::RefreshRows()
{
    const int rows = Active() && DataSet() ? DataSet()->RecordCount() : 0;
    if (rows > rows_) {
        beginInsertRows(QModelIndex(), rows_, rows - 1);
        rows_ = rows;
        endInsertRows();
    } else if (rows < rows_) {
        beginRemoveRows(QModelIndex(), rows, rows_ - 1);
        rows_ = rows;
        endRemoveRows();
    }
    if (rows_ > 0 && columns_ > 0)
        emit dataChanged(index(0, 0), index(rows_ - 1, columns_ - 1));
}

void TGridModel::ActiveChanged()
{
    grid_->DataChanged();
}

void TGridModel::DataSetChanged()
{
    grid_->RowsChanged();
}

void TGridModel::DataSetScrolled()
{
    grid_->SyncCurrent();
}
