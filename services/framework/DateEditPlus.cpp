#include "DateEditPlus.h"

#include "CalendarPopup.h"
#include "Consiste.h"
#include "Icons.h"
#include "ui/Dispatch.h"

#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>

namespace {

// Every position typed and a day of the calendar. The run-time's parser
// alone would also take a year of one to three digits ("15/03/202" as the
// year 202), which the user of an eight-digit edit never means.
bool ParseDate(const QString& text, TDateTime& date)
{
    return !text.isEmpty() && !text.contains(u' ') && TryStrToDate(text, date);
}

} // namespace

TDateEditPlus::TDateEditPlus(TComponent* owner) : TMaskEdit(owner)
{
    QObject::connect(LineEdit(), &QLineEdit::textChanged, LineEdit(), [this] { TextChanged(); });
    SetEditMask(QStringLiteral("99/99/9999;1;_"));
    QAction* button = LineEdit()->addAction(FrameworkIcons::Calendar(16), QLineEdit::TrailingPosition);
    button->setToolTip(QStringLiteral("Calendário"));
    QObject::connect(button, &QAction::triggered, LineEdit(), [this] { Dispatch(this, [this] { DropDown(); }); });
}

TDateEditPlus::~TDateEditPlus()
{
    delete popup_.data();
}

void TDateEditPlus::SetDate(TDateTime date)
{
    SetText(date == 0 ? QString() : DateToStr(DateOf(date)));
}

void TDateEditPlus::CheckValidDate() const
{
    TDateTime parsed;
    if (Consiste::EmptyString(Text()) || ParseDate(Text(), parsed))
        return;
    throw EConvertError(QStringLiteral("'%1' não é uma data válida.").arg(EditText()));
}

void TDateEditPlus::DropDown()
{
    if (!Enabled() || ReadOnly() || popup_)
        return;
    const QDate selected = date_ != 0 ? ToQDate(date_) : QDate::currentDate();
    popup_ = new TCalendarPopup(LineEdit(), selected);
    popup_->OnPicked = [this](const QDate& date) { Dispatch(this, [this, date] { SetDate(DateTimeFromQDate(date)); }); };
}

bool TDateEditPlus::WidgetEvent(QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<const QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() == Qt::Key_F4 && modifiers == Qt::NoModifier)
            || (key->key() == Qt::Key_Down && modifiers == Qt::AltModifier)) {
            DropDown();
            return true;
        }
    }
    return TMaskEdit::WidgetEvent(event);
}

void TDateEditPlus::TextChanged()
{
    TDateTime parsed;
    const bool valid = ParseDate(Text(), parsed);
    if (valid)
        date_ = DateOf(parsed);
    else if (Consiste::EmptyString(Text()))
        date_ = TDateTime();
    Font().SetColor(valid ? clBlue : clWindowText);
}
