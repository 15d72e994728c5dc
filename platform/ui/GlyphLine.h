#pragma once
// One line of plain text laid out by the font's own glyph advances (kerning
// included) and drawn as one glyph run, without the text shaper.
//
// Qt's text drawing shapes a text each time it is measured or drawn, and a
// grid cell's text is measured once and drawn once per paint; shaping was
// most of what painting a grid cost (a long code in a cell, a quarter of a
// millisecond). For the Latin texts of the grids the shaper adds nothing but
// kerning, which the advances include. A text with a printable character the
// font has no glyph for is refused (Layout returns false): draw it with
// QPainter::drawText, which finds another font for it. Control characters
// show the font's missing-glyph box, as drawText shows them.
//
// For the GUI thread only: the raw form of the last font used is kept.
#include <QList>
#include <QPointF>
#include <QRawFont>

class QFont;
class QPainter;
class QString;

class TGlyphLine {
public:
    // Lays `text` out in `font`; false when it cannot (see above).
    bool Layout(const QFont& font, const QString& text);
    qreal Width() const { return width_; }
    // Cuts the line to at most `width`, ending it with an ellipsis.
    void Elide(qreal width);
    // Draws the line with its baseline starting at `origin`, in the
    // painter's pen.
    void Draw(QPainter* painter, const QPointF& origin) const;

private:
    QRawFont raw_;
    quint32 ellipsis_ = 0;  // 0: the font has none
    qreal ellipsisAdvance_ = 0;
    QList<quint32> glyphs_;
    QList<QPointF> advances_;
    mutable QList<QPointF> positions_;
    qreal width_ = 0;
};
