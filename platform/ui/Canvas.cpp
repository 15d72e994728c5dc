#include "Canvas.h"

#include "GlyphLine.h"

#include <QFontMetrics>
#include <QPainter>

TCanvas::TCanvas(QPainter* painter) : painter_(painter), font_(painter->font()) {}

void TCanvas::ApplyFont()
{
    painter_->setFont(font_.ToQFont());
    painter_->setPen(QPen(ColorToQColor(font_.Color())));
}

void TCanvas::FillRect(const TRect& rect)
{
    if (brush_.Style == TBrushStyle::bsClear)
        return;
    painter_->fillRect(rect.ToQRect(), ColorToQColor(brush_.Color));
}

void TCanvas::Rectangle(const TRect& rect)
{
    FillRect(rect);
    painter_->save();
    QPen pen(ColorToQColor(pen_.Color));
    pen.setWidth(pen_.Width);
    pen.setJoinStyle(Qt::MiterJoin);
    painter_->setPen(pen);
    painter_->setBrush(Qt::NoBrush);
    // The outline lies inside the rectangle, as the fill does.
    const int inset = pen_.Width / 2;
    painter_->drawRect(rect.ToQRect().adjusted(inset, inset, -inset - 1, -inset - 1));
    painter_->restore();
}

void TCanvas::TextRect(const TRect& rect, int x, int y, const QString& text)
{
    painter_->save();
    painter_->setClipRect(rect.ToQRect(), Qt::IntersectClip);
    FillRect(rect);
    ApplyFont();
    DrawText(x, y, text);
    painter_->restore();
}

void TCanvas::TextOut(int x, int y, const QString& text)
{
    FillRect(Bounds(x, y, TextWidth(text), QFontMetrics(font_.ToQFont()).height()));
    painter_->save();
    ApplyFont();
    DrawText(x, y, text);
    painter_->restore();
}

void TCanvas::DrawText(int x, int y, const QString& text)
{
    const QFont font = painter_->font();
    const QPoint baseline(x, y + QFontMetrics(font).ascent());
    TGlyphLine line;
    if (line.Layout(font, text))
        line.Draw(painter_, baseline);
    else
        painter_->drawText(baseline, text);
}

int TCanvas::TextWidth(const QString& text) const
{
    const QFont font = font_.ToQFont();
    TGlyphLine line;
    return line.Layout(font, text) ? qRound(line.Width()) : QFontMetrics(font).horizontalAdvance(text);
}

int TCanvas::TextHeight(const QString& text) const
{
    return QFontMetrics(font_.ToQFont()).boundingRect(text).height();
}

void TCanvas::Draw(int x, int y, const TBitmap& bitmap)
{
    painter_->drawImage(QPoint(x, y), bitmap.Transparent() ? bitmap.MaskedImage() : bitmap.Image());
}

void TCanvas::BrushCopy(const TRect& dest, const TBitmap& bitmap, const TRect& source, TColor transparentColor)
{
    QImage part(source.Width(), source.Height(), QImage::Format_ARGB32);
    part.fill(Qt::transparent);
    const QRgb clear = ColorToQColor(transparentColor).rgb();
    const QRgb brush = ColorToQColor(brush_.Color).rgb();
    const QImage image = bitmap.Image().convertToFormat(QImage::Format_ARGB32);
    const QRect within = source.ToQRect().intersected(image.rect());
    for (int sy = within.top(); sy <= within.bottom(); ++sy) {
        const auto* from = reinterpret_cast<const QRgb*>(image.constScanLine(sy));
        auto* to = reinterpret_cast<QRgb*>(part.scanLine(sy - source.Top));
        for (int sx = within.left(); sx <= within.right(); ++sx) {
            const QRgb pixel = from[sx] | 0xFF000000u;
            to[sx - source.Left] = pixel == clear ? brush : pixel;
        }
    }
    painter_->drawImage(dest.ToQRect(), part);
}
