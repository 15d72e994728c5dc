#pragma once
// TCalendarPopup: the month calendar a date edit drops down below itself — a
// QCalendarWidget in a popup frame, weeks from Sunday, week-day names in
// full ("Domingo", "Segunda", "Terça", "Quarta", "Quinta", "Sexta",
// "Sábado"), months in Portuguese, no week numbers.
//
// Picking a day (a click, or Enter on the selected day) runs OnPicked with
// the date and closes the popup; Esc or a click outside closes it without a
// pick. The popup deletes itself when closed. It has no parent widget, so
// its keys are not previewed by the anchor's form (DialogPlacement.h says
// why); whoever opens it deletes it if the anchor goes first.
//
// QCalendarWidget takes its header texts from its locale, whose names are
// not these ("domingo", "segunda-feira"...), so a delegate paints the header
// row with them and leaves every day cell to the calendar's own delegate.
#include <QCalendarWidget>
#include <QFrame>
#include <functional>

class TCalendarPopup : public QFrame {
public:
    // Shows the popup below `anchor` with `selected` selected.
    TCalendarPopup(const QWidget* anchor, const QDate& selected);

    QCalendarWidget* Calendar() const { return calendar_; }
    std::function<void(const QDate&)> OnPicked;

private:
    void Pick(const QDate& date);
    QCalendarWidget* calendar_;
};

// The week-day name the header of `calendar` shows over `column`.
QString CalendarHeaderText(const QCalendarWidget* calendar, int column);
