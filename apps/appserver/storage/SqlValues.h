#pragma once
// Conversions between the database's values and the protocol's. Dates are
// bound as QDate and times as QDateTime (local wall-clock time, as the
// clients' date values are); both engines hand them back as ISO 8601 text
// ("yyyy-MM-dd", then the time after a 'T' or a blank).
#include "rtl/DateTime.h"

#include <QByteArrayView>
#include <QDate>

// A date or time column's text as a date value; empty or malformed gives 0.
TDateTime SqlToDateTime(QByteArrayView text);

// The date part of a date value, for binding; 0 gives an invalid QDate.
QDate DateParam(TDateTime value);

// Whether a date value can reach a query: 0 (no date) or a day of the years
// 1 to 9999, which both engines' ISO 8601 text holds and compares in order.
// Another (not finite, or beyond those years) would be bound as null or as
// text that sorts out of place.
bool StorableDate(TDateTime value);
