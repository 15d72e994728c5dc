#include "Canvas.h"

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
    const QFontMetrics metrics(font_.ToQFont());
    painter_->drawText(QPoint(x, y + metrics.ascent()), text);
    painter_->restore();
}

void TCanvas::TextOut(int x, int y, const QString& text)
{
    const QFontMetrics metrics(font_.ToQFont());
    FillRect(Bounds(x, y, metrics.horizontalAdvance(text), metrics.height()));
    painter_->save();
    ApplyFont();
    painter_->drawText(QPoint(x, y + metrics.ascent()), text);
    painter_->restore();
}

int TCanvas::TextWidth(const QString& text) const
{
    return QFontMetrics(font_.ToQFont()).horizontalAdvance(text);
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
    const QImage& image = bitmap.Image();
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x) {
            const int sx = source.Left + x;
            const int sy = source.Top + y;
            if (!image.valid(sx, sy))
                continue;
            const QRgb pixel = image.pixel(sx, sy) | 0xFF000000u;
            part.setPixel(x, y, pixel == clear ? brush : pixel);
        }
    painter_->drawImage(dest.ToQRect(), part);
}
