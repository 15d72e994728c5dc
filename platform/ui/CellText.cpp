#include "CellText.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRect>

#include <cmath>

QPointF TCellText::Origin(const QPainter* painter, const QRect& area, Qt::Alignment alignment, qreal width)
{
    if (painter->font() != font_ || height_ == 0) {
        font_ = painter->font();
        const QFontMetrics metrics(font_);
        ascent_ = metrics.ascent();
        height_ = metrics.height();
    }
    const qreal x = alignment.testFlag(Qt::AlignRight)     ? area.right() + 1 - width
                    : alignment.testFlag(Qt::AlignHCenter) ? area.left() + (area.width() - width) / 2
                                                           : area.left();
    return QPointF(std::round(x), area.top() + (area.height() - height_) / 2 + ascent_);
}

int TCellText::Width(const QFont& font, const QString& text)
{
    if (text.isEmpty())
        return 0;
    if (line_.Layout(font, text))
        return int(std::ceil(line_.Width()));
    return QFontMetrics(font).horizontalAdvance(text);
}

void TCellText::Draw(QPainter* painter, const QRect& area, Qt::Alignment alignment, const QString& text)
{
    if (text.isEmpty())
        return;
    if (line_.Layout(painter->font(), text)) {
        line_.Elide(area.width());
        line_.Draw(painter, Origin(painter, area, alignment, line_.Width()));
        return;
    }
    const QFontMetrics metrics(painter->font());
    const QString shown = metrics.elidedText(text, Qt::ElideRight, area.width());
    painter->drawText(Origin(painter, area, alignment, metrics.horizontalAdvance(shown)), shown);
}
