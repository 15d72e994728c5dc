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
