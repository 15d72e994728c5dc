#include "GridColumns.h"

#include "DBGrid.h"
#include "data/DataSet.h"

#include <QFontMetrics>
#include <QWidget>

QString TColumnTitle::Caption() const
{
    if (caption_)
        return *caption_;
    if (const TField* field = column_->Field())
        return field->DisplayLabel();
    return column_->FieldName();
}

void TColumnTitle::SetCaption(const QString& caption)
{
    caption_ = caption;
    column_->Changed();
}

void TColumn::SetFieldName(const QString& name)
{
    fieldName_ = name;
    Changed();
}

TField* TColumn::Field() const
{
    TDataSet* dataSet = grid_->DataSet();
    return dataSet ? dataSet->FindField(fieldName_) : nullptr;
}

int TColumn::Width() const
{
    if (width_)
        return *width_;
    const TField* field = Field();
    const int chars = field ? field->DisplayWidth() : 10;
    const QFontMetrics metrics(grid_->Widget()->font());
    return chars * metrics.horizontalAdvance(u'0') + 4;
}

void TColumn::SetWidth(int width)
{
    width_ = width;
    Changed();
}

void TColumn::SetVisible(bool visible)
{
    visible_ = visible;
    Changed();
}

TAlignment TColumn::Alignment() const
{
    if (alignment_)
        return *alignment_;
    const TField* field = Field();
    return field && field->DataType() == TFieldType::ftFloat ? TAlignment::taRightJustify
                                                             : TAlignment::taLeftJustify;
}

void TColumn::SetAlignment(TAlignment alignment)
{
    alignment_ = alignment;
    Changed();
}

void TColumn::Changed()
{
    grid_->ColumnsChanged();
}

TColumn* TDBGridColumns::Add()
{
    columns_.append(std::make_shared<TColumn>(grid_, int(columns_.size())));
    grid_->ColumnsChanged();
    return columns_.last().get();
}

void TDBGridColumns::Clear()
{
    columns_.clear();
    grid_->ColumnsChanged();
}
