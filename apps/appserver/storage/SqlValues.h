#pragma once
// Conversions between the database's values and the protocol's. Dates are
// bound as QDate and times as QDateTime (local wall-clock time, as the
// clients' date values are); read back, a driver may hand them over as
// QDate/QDateTime or as ISO 8601 text (SQLite), and both are understood.
#include "rtl/DateTime.h"

#include <QDate>
#include <QVariant>

// A date or time column's value as a date value; null or empty gives 0.
TDateTime SqlToDateTime(const QVariant& value);
QDate SqlToDate(const QVariant& value);

// The date part of a date value, for binding; 0 gives an invalid QDate.
QDate DateParam(TDateTime value);
