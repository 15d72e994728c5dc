#include "Glyphs.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace {

const QColor transparentKey(255, 0, 255);

void drawMark(QPainter& p, GlyphKind kind, const QColor& ink)
{
    QPen pen(ink, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    switch (kind) {
    case GlyphKind::Insert:
        p.drawLine(8, 3, 8, 13);
        p.drawLine(3, 8, 13, 8);
        break;
    case GlyphKind::Edit:
        p.drawLine(3, 13, 12, 4);
        p.drawLine(11, 3, 13, 5);
        p.drawLine(3, 13, 5, 13);
        break;
    case GlyphKind::Delete:
    case GlyphKind::Cancel:
        p.drawLine(4, 4, 12, 12);
        p.drawLine(12, 4, 4, 12);
        break;
    case GlyphKind::Search:
    case GlyphKind::Lookup:
        p.drawEllipse(QRectF(2.5, 2.5, 8, 8));
        p.drawLine(10, 10, 14, 14);
        break;
    case GlyphKind::Refresh: {
        p.drawArc(QRectF(3, 3, 10, 10), 30 * 16, 280 * 16);
        p.drawLine(12, 2, 12, 6);
        p.drawLine(12, 6, 8, 6);
        break;
    }
    case GlyphKind::Confirm:
        p.drawLine(3, 8, 7, 12);
        p.drawLine(7, 12, 13, 4);
        break;
    case GlyphKind::Print:
        p.drawRect(QRectF(3, 6, 10, 6));
        p.drawRect(QRectF(5, 2, 6, 4));
        p.drawLine(5, 12, 11, 12);
        break;
    }
}

QColor inkOf(GlyphKind kind)
{
    switch (kind) {
    case GlyphKind::Insert: return QColor(0, 128, 0);
    case GlyphKind::Delete:
    case GlyphKind::Cancel: return QColor(192, 0, 0);
    case GlyphKind::Confirm: return QColor(0, 128, 0);
    case GlyphKind::Refresh: return QColor(0, 64, 192);
    default: return QColor(32, 32, 32);
    }
}

void drawBars(QPainter& p)
{
    static const int widths[] = {1, 2, 1, 1, 3, 1, 2, 1, 1, 2};
    int x = 1;
    for (int i = 0; i < 10 && x < 15; ++i) {
        if (i % 2 == 0)
            p.fillRect(x, 2, widths[i], 12, Qt::black);
        x += widths[i];
    }
}

} // namespace

TBitmap MakeGlyph(GlyphKind kind)
{
    QImage image(32, 16, QImage::Format_RGB32);
    image.fill(transparentKey);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    drawMark(p, kind, inkOf(kind));
    p.translate(16, 0);
    drawMark(p, kind, QColor(160, 160, 160));
    p.end();
    image.setPixelColor(0, 15, transparentKey);
    return TBitmap(image);
}

TBitmap MakePicture(PictureKind kind)
{
    QImage image(16, 16, QImage::Format_RGB32);
    image.fill(kind == PictureKind::BarCode || kind == PictureKind::BarCodeOK ? QColor(128, 128, 0) : transparentKey);
    QPainter p(&image);
    auto disc = [&p](const QColor& c) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setPen(c.darker(150));
        p.setBrush(c);
        p.drawEllipse(QRectF(2.5, 2.5, 11, 11));
    };
    auto box = [&p](bool checked, const QColor& ink) {
        p.setPen(QColor(64, 64, 64));
        p.setBrush(Qt::white);
        p.drawRect(2, 2, 11, 11);
        if (checked) {
            p.setPen(QPen(ink, 2));
            p.drawLine(4, 8, 7, 11);
            p.drawLine(7, 11, 12, 4);
        }
    };
    switch (kind) {
    case PictureKind::Yellow: disc(QColor(255, 215, 0)); break;
    case PictureKind::Green: disc(QColor(0, 160, 0)); break;
    case PictureKind::Blue: disc(QColor(0, 80, 220)); break;
    case PictureKind::Red: disc(QColor(210, 0, 0)); break;
    case PictureKind::Grey: disc(QColor(150, 150, 150)); break;
    case PictureKind::BarCode: drawBars(p); break;
    case PictureKind::BarCodeOK:
        drawBars(p);
        p.setPen(QPen(QColor(0, 200, 0), 2));
        p.drawLine(8, 10, 10, 13);
        p.drawLine(10, 13, 15, 7);
        break;
    case PictureKind::Uncheck: box(false, Qt::black); break;
    case PictureKind::Check: box(true, Qt::black); break;
    case PictureKind::Descheck: box(true, QColor(160, 160, 160)); break;
    }
    p.end();
    return TBitmap(image);
}
