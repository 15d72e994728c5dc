#pragma once
// TDateEditPlus: a date edit — a masked edit with the mask "99/99/9999;1;_"
// and a calendar button at its right end that drops down a month calendar
// (CalendarPopup.h); picking a day there writes it into the edit. A valid
// date is shown in blue, anything else in the normal text colour. The edit
// holds a date without a time of day. Alt+Down and F4 open the calendar too.
//
// The date it holds (GetDate), as the text changes:
//   - nothing typed: 0;
//   - a text that is a valid date (every position typed, day, month and a
//     four-digit year naming a day of the calendar): that date;
//   - any other text (incomplete, or no date such as 31/02/2024): the last
//     valid date the edit held, or 0 if it held none since it was last
//     empty. So a screen can tell three cases apart: an empty edit, a text
//     that holds no date at all (GetDate 0), and a text that CheckValidDate
//     refuses although GetDate is not 0 (a valid date was changed into an
//     invalid one).
// CheckValidDate raises EConvertError naming the text as shown when the text
// is neither empty nor a valid date.
#include "rtl/DateTime.h"
#include "ui/MaskEdit.h"

#include <QPointer>

#include "CalendarPopup.h"

class TDateEditPlus : public TMaskEdit {
public:
    explicit TDateEditPlus(TComponent* owner);
    ~TDateEditPlus() override;

    TDateTime GetDate() const { return date_; }
    // Shows `date` (its time of day dropped); 0 empties the edit.
    void SetDate(TDateTime date);
    void CheckValidDate() const;

    // Opens the calendar, as the calendar button does; nothing happens while
    // the edit is disabled or read-only.
    void DropDown();
    // The open calendar, nullptr when closed.
    TCalendarPopup* Popup() const { return popup_.data(); }

protected:
    bool WidgetEvent(QEvent* event) override;

private:
    void TextChanged();

    TDateTime date_;
    QPointer<TCalendarPopup> popup_;
};
