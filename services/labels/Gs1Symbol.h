#pragma once
// A GS1 DataMatrix symbol, encoded by libzint in its GS1 mode: zint checks
// the element string against GS1's rules itself and puts the FNC1 where GS1
// wants it.
//
// Failure: Encode raises Exception with zint's reason when it refuses the
// data. The symbol is a value: copy it freely.
#include "server/Gs1.h"

#include <QBitArray>
#include <QImage>
#include <QList>
#include <QSize>

class QPainter;
class QRectF;

class TGs1Symbol {
public:
    // `checked` false skips zint's GS1 checks (not its character set): only
    // for a label made wrong on purpose, such as a bad check digit.
    static TGs1Symbol Encode(const QList<TGs1Element>& elements, bool checked = true);

    // Columns and rows of modules.
    QSize Modules() const { return size_; }
    bool Dark(int row, int column) const { return dark_.testBit(row * size_.width() + column); }
    // Paints the dark modules in black, as squares filling the largest
    // square of `area`, centred; the light ones are left as they are.
    void Paint(QPainter& painter, const QRectF& area) const;
    // The symbol with a quiet zone of `quiet` modules, each `module` pixels.
    QImage Image(int module, int quiet = 2) const;

private:
    QSize size_;
    QBitArray dark_;
};

// The bracketed form zint reads ("[01]07891234567895[21]S1").
QString Gs1Bracketed(const QList<TGs1Element>& elements);
// The human-readable form printed under a symbol ("(01)07891234567895(21)S1").
QString Gs1HumanReadable(const QList<TGs1Element>& elements);
