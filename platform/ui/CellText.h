#pragma once
// One line of plain text in a grid cell: aligned in its area and cut with an
// ellipsis when it does not fit, laid out once (GlyphLine.h).
#include "GlyphLine.h"

#include <QFont>

class QPainter;
class QRect;
class QString;

class TCellText {
public:
    // Draws `text` in `area` with `painter`'s font and pen.
    void Draw(QPainter* painter, const QRect& area, Qt::Alignment alignment, const QString& text);
    // The width `text` takes in `font` as Draw lays it out: in an area this
    // wide it is drawn whole. The font's own advances may add up to more
    // than QFontMetrics says.
    int Width(const QFont& font, const QString& text);

private:
    // Where a line of `width` starts in `area` (its baseline) for the font
    // of `painter`.
    QPointF Origin(const QPainter* painter, const QRect& area, Qt::Alignment alignment, qreal width);

    TGlyphLine line_;
    QFont font_;  // the font ascent_ and height_ are of
    int ascent_ = 0;
    int height_ = 0;
};
