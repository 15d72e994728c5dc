#pragma once
// Consiste, text routines: fitting codes to their width, blank tests,
// trimming, and the edit mask of a person's registration number. Pure
// functions of their arguments.
//
// "Blank" has the run-time library's meaning (rtl/StrUtils.h): every
// character up to and including the space, control characters too.
#include <QString>

namespace Consiste {

// Fits a code to `width` characters: removes the blanks around it and puts
// zeros on its left up to `width` ("1" -> "0001" for width 4). An empty or
// blank text gives "". A code longer than `width` comes back trimmed but
// otherwise unchanged: cutting it would silently turn it into another code,
// while unchanged it makes the lookup that follows fail visibly.
QString Ajusta(const QString& text, int width);

// True when the text is empty or holds only blanks.
bool EmptyString(const QString& text);

// The text without the blanks at either end.
QString AllTrim(const QString& text);

// The edit mask for the registration number of a person of type
// `personType`: "F" (individual) the 11-digit mask, "J" (company) the
// 14-digit mask; any other type "" (no mask: the number is shown as stored).
// Blanks around the type are ignored; the letter must be upper case, as
// stored.
QString PictPess(const QString& personType);

} // namespace Consiste
