#pragma once
// Sheets of labels written as PDF (Qt's PDF writer): A4 pages of 3 by 7
// labels of 63.5 x 38.1 mm, the common sheet of self-adhesive labels, each
// with its GS1 DataMatrix (Gs1Symbol.h), a title, the human-readable element
// string and a note; every page is headed by `heading`.
//
// Failure: WriteLabelSheet raises Exception when the file cannot be written
// or a symbol cannot be encoded; a file it could not finish is removed.
#include "server/Gs1.h"

#include <QList>
#include <QRectF>
#include <QString>

struct TSheetLabel {
    QString Title;                // the item, e.g. "01.02.0003 DIPIRONA 500 MG"
    QString Note;                 // what reading it shows; wrong labels say why
    QList<TGs1Element> Elements;  // the symbol's content
    bool Wrong = false;           // made wrong on purpose: the note in red
    bool Checked = true;          // false: drawn without zint's GS1 checks (a bad check digit)
};

namespace LabelSheet {

inline constexpr int Columns = 3;
inline constexpr int Rows = 7;
// Where label `index` of its page lies on the page, in millimetres from the
// page's top left corner; the symbol's square within it.
QRectF LabelArea(int index);
QRectF SymbolArea(int index);

} // namespace LabelSheet

void WriteLabelSheet(const QString& fileName, const QString& heading, const QList<TSheetLabel>& labels);
