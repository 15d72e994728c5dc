#pragma once
// Fields: the typed view of one column of a data set. A field belongs to one
// data set (which owns it) and reads the data set's active row: its cursor,
// or the row a display scope selected. An inactive data set or an empty one
// reads as null everywhere.
#include "data/FieldType.h"
#include "rtl/Classes.h"
#include "rtl/Closure.h"
#include "rtl/DateTime.h"

#include <QString>
#include <QVariant>

class TDataSet;
class TField;

// OnGetText(field, text, displayText): supplies the text instead of the
// field's own formatting; `displayText` is true for display, false for editing.
using TFieldGetTextEvent = TEvent<TField*, QString&, bool>;

class TField : public TComponent {
public:
    TField(TDataSet* dataSet, TFieldType type);
    ~TField() override;

    TDataSet* DataSet() const { return dataSet_; }
    TFieldType DataType() const { return type_; }
    const QString& FieldName() const { return fieldName_; }
    void SetFieldName(const QString& name) { fieldName_ = name; }
    // Characters of a string field; 0 for other kinds.
    int Size() const { return size_; }
    void SetSize(int size) { size_ = size; }
    // The title grids and lists show; the field name when none is set.
    QString DisplayLabel() const { return displayLabel_.isEmpty() ? fieldName_ : displayLabel_; }
    void SetDisplayLabel(const QString& label) { displayLabel_ = label; }
    bool Visible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; }
    // Width in characters; by default the size of a string field, 18 for a
    // date-time (a date and its time of day), 10 otherwise.
    int DisplayWidth() const;
    void SetDisplayWidth(int width) { displayWidth_ = width; }
    const QString& EditMask() const { return editMask_; }
    void SetEditMask(const QString& mask) { editMask_ = mask; }
    bool Required() const { return required_; }
    void SetRequired(bool required) { required_ = required; }
    int Index() const;  // position in the data set's field list

    bool IsNull() const;
    QString AsString() const;      // "" when null
    double AsFloat() const;        // 0 when null; raises EConvertError for text that holds no number
    TDateTime AsDateTime() const;  // 0 when null; raises EConvertError for text that holds no date
    QVariant AsVariant() const;    // null QVariant when null; QString, double or TDateTime otherwise
    // The text a grid shows: OnGetText when assigned, else the field's own
    // display formatting (a float's or date's display format, a string's
    // edit mask through FormatMaskText).
    QString DisplayText() const;
    // The text for editing: OnGetText(…, false) when assigned, else AsString.
    QString Text() const;

    TFieldGetTextEvent OnGetText;

protected:
    // The display text without OnGetText; the value is known not to be null.
    virtual QString FormatDisplay() const = 0;
    int row() const;  // the active row of the data set's packet, -1 when none

private:
    friend class TDataSet;
    TDataSet* dataSet_;
    TFieldType type_;
    QString fieldName_;
    QString displayLabel_;
    QString editMask_;
    int size_ = 0;
    int displayWidth_ = 0;
    bool visible_ = true;
    bool required_ = false;
    int column_ = -1;  // packet column while the data set is active
};

class TStringField : public TField {
public:
    explicit TStringField(TDataSet* dataSet);  // size 20 until set
    // A fixed-length column: values are as long as the size (the server pads them).
    bool FixedChar() const { return fixedChar_; }
    void SetFixedChar(bool fixed) { fixedChar_ = fixed; }

protected:
    QString FormatDisplay() const override;

private:
    bool fixedChar_ = false;
};

// A field shown through a display format (numbers and dates).
class TFormattedField : public TField {
public:
    const QString& DisplayFormat() const { return displayFormat_; }
    void SetDisplayFormat(const QString& format) { displayFormat_ = format; }

protected:
    using TField::TField;

private:
    QString displayFormat_;
};

class TFloatField : public TFormattedField {
public:
    explicit TFloatField(TDataSet* dataSet);

protected:
    QString FormatDisplay() const override;
};

class TDateTimeField : public TFormattedField {
public:
    explicit TDateTimeField(TDataSet* dataSet);

protected:
    QString FormatDisplay() const override;
};

// A field of the given kind for a data set (used for fields made from a packet).
TField* CreateField(TDataSet* dataSet, TFieldType type);
