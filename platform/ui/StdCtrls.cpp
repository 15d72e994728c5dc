#include "StdCtrls.h"

#include "Dispatch.h"

#include <QLabel>
#include <QLineEdit>

TLabel::TLabel(TComponent* owner) : TControl(owner, new QLabel)
{
    Label()->setFocusPolicy(Qt::NoFocus);
}

QLabel* TLabel::Label() const
{
    return static_cast<QLabel*>(Widget());
}

QString TLabel::Caption() const
{
    return Label()->text();
}

void TLabel::SetCaption(const QString& caption)
{
    Label()->setText(caption);
    SetAutoSize(autoSize_);
    NameFocusControl();
}

void TLabel::SetFocusControl(TWinControl* control)
{
    Label()->setBuddy(control ? control->FocusWidget() : nullptr);
    NameFocusControl();
}

void TLabel::NameFocusControl() const
{
    QWidget* buddy = Label()->buddy();
    if (!buddy)
        return;
    QString name = Caption().trimmed();
    if (name.endsWith(u':'))
        name.chop(1);
    buddy->setAccessibleName(name);
}

void TLabel::SetAutoSize(bool autoSize)
{
    autoSize_ = autoSize;
    if (autoSize_)
        Label()->adjustSize();
}

TCustomEdit::TCustomEdit(TComponent* owner, QLineEdit* widget) : TWinControl(owner, widget)
{
    SetTabStop(true);
    QObject::connect(widget, &QLineEdit::textEdited, widget, [this] { Dispatch(this, [this] { Change(); }); });
}

QLineEdit* TCustomEdit::LineEdit() const
{
    return static_cast<QLineEdit*>(Widget());
}

QString TCustomEdit::Text() const
{
    return LineEdit()->text();
}

void TCustomEdit::SetText(const QString& text)
{
    if (LineEdit()->text() == text)
        return;
    LineEdit()->setText(text);
    Change();
}

bool TCustomEdit::ReadOnly() const
{
    return LineEdit()->isReadOnly();
}

void TCustomEdit::SetReadOnly(bool readOnly)
{
    LineEdit()->setReadOnly(readOnly);
}

void TCustomEdit::Change()
{
    OnChange(this);
}

TEdit::TEdit(TComponent* owner) : TCustomEdit(owner, new QLineEdit) {}

int TCustomEdit::MaxLength() const
{
    const int length = LineEdit()->maxLength();
    return length == 32767 ? 0 : length;
}

void TCustomEdit::SetMaxLength(int length)
{
    LineEdit()->setMaxLength(length > 0 ? length : 32767);
}
