#include "Icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace {

// Paints on a transparent square, in a 16 x 16 coordinate system.
QIcon Draw(int size, const std::function<void(QPainter&)>& paint)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 16.0, size / 16.0);
    paint(painter);
    painter.end();
    return QIcon(pixmap);
}

QPen Stroke(const QColor& color, double width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

} // namespace

QIcon FrameworkIcons::Confirm(int size)
{
    return Draw(size, [](QPainter& p) {
        QPainterPath check;
        check.moveTo(2.5, 8.5);
        check.lineTo(6.5, 12.5);
        check.lineTo(13.5, 3.5);
        p.setPen(Stroke(QColor(0, 110, 0), 3.2));
        p.drawPath(check);
        p.setPen(Stroke(QColor(40, 180, 40), 1.6));
        p.drawPath(check);
    });
}

QIcon FrameworkIcons::Close(int size)
{
    return Draw(size, [](QPainter& p) {
        for (const auto& [color, width] : {std::pair{QColor(140, 0, 0), 3.2}, std::pair{QColor(220, 40, 40), 1.6}}) {
            p.setPen(Stroke(color, width));
            p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
            p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
        }
    });
}

QIcon FrameworkIcons::Search(int size)
{
    return Draw(size, [](QPainter& p) {
        p.setPen(Stroke(QColor(90, 60, 20), 3.0));
        p.drawLine(QPointF(10.0, 10.0), QPointF(14.0, 14.0));
        p.setPen(Stroke(QColor(40, 40, 40), 1.5));
        p.setBrush(QColor(200, 225, 250));
        p.drawEllipse(QPointF(6.5, 6.5), 4.5, 4.5);
    });
}

QIcon FrameworkIcons::Calendar(int size)
{
    return Draw(size, [](QPainter& p) {
        p.setPen(Stroke(QColor(60, 60, 60), 1.0));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(1.5, 2.5, 13.0, 12.0));
        p.setBrush(QColor(200, 40, 40));
        p.drawRect(QRectF(1.5, 2.5, 13.0, 3.5));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(70, 70, 70));
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 4; ++col)
                p.drawRect(QRectF(3.0 + col * 3.0, 7.5 + row * 2.3, 1.6, 1.4));
    });
}
