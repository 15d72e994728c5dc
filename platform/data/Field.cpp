#include "Field.h"

#include "DataSet.h"
#include "rtl/Exceptions.h"
#include "rtl/FormatFloat.h"
#include "rtl/MaskUtils.h"

TField::TField(TDataSet* dataSet, TFieldType type) : TComponent(dataSet), dataSet_(dataSet), type_(type)
{
    if (dataSet_)
        dataSet_->attachField(this);
}

TField::~TField()
{
    if (dataSet_)
        dataSet_->detachField(this);
}

int TField::DisplayWidth() const
{
    if (displayWidth_ > 0)
        return displayWidth_;
    if (size_ > 0)
        return size_;
    return type_ == TFieldType::ftDateTime ? 18 : 10;
}

int TField::Index() const { return dataSet_ ? int(dataSet_->fields_.indexOf(const_cast<TField*>(this))) : -1; }

int TField::row() const { return dataSet_ && column_ >= 0 ? dataSet_->ActiveRow() : -1; }

bool TField::IsNull() const
{
    const int r = row();
    return r < 0 || dataSet_->Packet().IsNull(r, column_);
}

QString TField::AsString() const
{
    if (IsNull())
        return QString();
    switch (type_) {
    case TFieldType::ftString: return dataSet_->Packet().String(row(), column_);
    case TFieldType::ftFloat: return FloatToStr(AsFloat());
    case TFieldType::ftDateTime: return DateTimeToStr(AsDateTime());
    }
    return QString();
}

double TField::AsFloat() const
{
    if (IsNull())
        return 0.0;
    if (type_ != TFieldType::ftString)
        return dataSet_->Packet().Number(row(), column_);
    const QString text = dataSet_->Packet().String(row(), column_).trimmed();
    bool ok = false;
    const double v = QString(text).replace(u',', u'.').toDouble(&ok);
    if (!ok)
        throw EConvertError(QStringLiteral("'%1' não é um número válido (campo %2).").arg(text, fieldName_));
    return v;
}

TDateTime TField::AsDateTime() const
{
    if (IsNull())
        return TDateTime();
    if (type_ != TFieldType::ftString)
        return TDateTime(dataSet_->Packet().Number(row(), column_));
    return StrToDate(dataSet_->Packet().String(row(), column_));
}

QVariant TField::AsVariant() const
{
    if (IsNull())
        return QVariant();
    switch (type_) {
    case TFieldType::ftString: return AsString();
    case TFieldType::ftFloat: return AsFloat();
    case TFieldType::ftDateTime: return QVariant::fromValue(AsDateTime());
    }
    return QVariant();
}

QString TField::DisplayText() const
{
    if (OnGetText) {
        QString text;
        OnGetText(const_cast<TField*>(this), text, true);
        return text;
    }
    return IsNull() ? QString() : FormatDisplay();
}

QString TField::Text() const
{
    if (OnGetText) {
        QString text;
        OnGetText(const_cast<TField*>(this), text, false);
        return text;
    }
    return AsString();
}

TStringField::TStringField(TDataSet* dataSet) : TField(dataSet, TFieldType::ftString) { SetSize(20); }

QString TStringField::FormatDisplay() const
{
    return EditMask().isEmpty() ? AsString() : FormatMaskText(EditMask(), AsString());
}

TFloatField::TFloatField(TDataSet* dataSet) : TFormattedField(dataSet, TFieldType::ftFloat) {}

QString TFloatField::FormatDisplay() const { return FormatFloat(DisplayFormat(), AsFloat()); }

TDateTimeField::TDateTimeField(TDataSet* dataSet) : TFormattedField(dataSet, TFieldType::ftDateTime) {}

QString TDateTimeField::FormatDisplay() const
{
    return DisplayFormat().isEmpty() ? DateTimeToStr(AsDateTime()) : FormatDateTime(DisplayFormat(), AsDateTime());
}

TField* CreateField(TDataSet* dataSet, TFieldType type)
{
    switch (type) {
    case TFieldType::ftString: return new TStringField(dataSet);
    case TFieldType::ftFloat: return new TFloatField(dataSet);
    case TFieldType::ftDateTime: return new TDateTimeField(dataSet);
    }
    return nullptr;
}
