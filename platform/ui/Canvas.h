#pragma once
// TCanvas: drawing with a brush, a font and a pen over a QPainter that
// someone else owns (the grid lends its painter to a draw handler). The
// canvas never outlives that painter.
#include "Bitmap.h"
#include "Graphics.h"

class QPainter;

class TCanvas {
public:
    explicit TCanvas(QPainter* painter);

    TBrush& Brush() { return brush_; }
    TFont& Font() { return font_; }
    TPen& Pen() { return pen_; }

    // Fills `rect` with the brush.
    void FillRect(const TRect& rect);
    // Fills `rect` with the brush and outlines it with the pen.
    void Rectangle(const TRect& rect);
    // Writes `text` with its top-left corner at (x, y), clipped to `rect`,
    // over the brush (unless the brush is clear).
    void TextRect(const TRect& rect, int x, int y, const QString& text);
    void TextOut(int x, int y, const QString& text);
    int TextWidth(const QString& text) const;
    int TextHeight(const QString& text) const;
    // Draws the bitmap at (x, y), leaving its transparent colour out when it
    // is Transparent.
    void Draw(int x, int y, const TBitmap& bitmap);
    // Copies `source` of the bitmap onto `dest`, where pixels of
    // `transparentColor` take the brush colour. Parts of `source` outside the
    // bitmap leave what is under them.
    void BrushCopy(const TRect& dest, const TBitmap& bitmap, const TRect& source, TColor transparentColor);

    QPainter* Painter() const { return painter_; }

private:
    void ApplyFont();
    // Writes `text` in the painter's font with its top-left corner at (x, y).
    void DrawText(int x, int y, const QString& text);
    QPainter* painter_;
    TBrush brush_;
    TFont font_;
    TPen pen_;
};
