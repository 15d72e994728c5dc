#pragma once
// Consiste: the framework's checking routines. The text routines
// (ConsisteText.cpp) and the routines that show something or read a grid
// (ConsisteUi.cpp) are declared here; the check of server results,
// CheckResultServ, lives beside the server connection
// (netconn/CheckResultServ.h) and comes in with this header, so the screen
// finds every Consiste routine in one place.
//
// "Blank" has the run-time library's meaning (rtl/StrUtils.h): every
// character up to and including the space, control characters too.
#include "netconn/CheckResultServ.h"
#include "rtl/Exceptions.h"

#include <QString>
#include <QVariant>

class TDBGrid;

namespace Consiste {

// --- texts (pure functions of their arguments)

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

// --- messages and grids (user interface)

// The error MensErro raises after showing its text. It derives from EAbort,
// so the standard error display (Application->HandleException) and every
// other place that treats EAbort as "already dealt with" show nothing more;
// Message() still carries the text for whoever catches it. A handler that
// catches it and raises it again (`throw;`) keeps it silent.
class EShownError : public EAbort {
public:
    using EAbort::EAbort;
};

// Shows `text` once as an error through the dialog service's error display.
// With `raise` true it then raises EShownError carrying `text`; with false it
// only shows it and returns.
void MensErro(const QString& text, bool raise);

// The index, in the grid's column list (ColumnAt), of the first column bound
// to the field `fieldName` (compared case-insensitively), hidden columns
// included; -1 when no column is bound to it or `grid` is null.
int IndiceCol(const TDBGrid* grid, const QString& fieldName);

} // namespace Consiste
