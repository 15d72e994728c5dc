#include "ScrollBarStyle.h"

#include <QApplication>
#include <QPainter>
#include <QPixmapCache>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOptionSlider>

namespace {

// Everything a scroll bar's look depends on.
QString LookKey(const QStyleOptionSlider& bar, qreal pixelRatio)
{
    return QStringLiteral("exp-scrollbar:%1x%2@%3:%4:%5-%6:%7:%8:%9:%10:%11:%12:%13:%14:%15")
        .arg(bar.rect.width())
        .arg(bar.rect.height())
        .arg(pixelRatio)
        .arg(int(bar.orientation))
        .arg(bar.minimum)
        .arg(bar.maximum)
        .arg(bar.pageStep)
        .arg(bar.sliderPosition)
        .arg(int(bar.upsideDown))
        .arg(int(bar.state))
        .arg(int(bar.subControls))
        .arg(int(bar.activeSubControls))
        .arg(int(bar.direction))
        .arg(bar.palette.cacheKey())
        .arg(bar.palette.currentColorGroup());
}

} // namespace

TScrollBarStyle* TScrollBarStyle::Instance()
{
    static QPointer<TScrollBarStyle> instance;
    if (!instance && qApp) {
        // A base of the application's own style (a proxy without one would
        // take the platform's default, which the application may have replaced).
        instance = new TScrollBarStyle(QStyleFactory::create(QApplication::style()->name()));
        instance->setParent(qApp);
    }
    return instance;
}

void TScrollBarStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                                         const QWidget* widget) const
{
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_ScrollBar || !bar || bar->rect.isEmpty() ||
        painter->transform().type() > QTransform::TxTranslate) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    const qreal pixelRatio = painter->device()->devicePixelRatio();
    const QString key = LookKey(*bar, pixelRatio);
    QPixmap look;
    if (!QPixmapCache::find(key, &look)) {
        look = QPixmap((QSizeF(bar->rect.size()) * pixelRatio).toSize());
        look.setDevicePixelRatio(pixelRatio);
        look.fill(Qt::transparent);
        QStyleOptionSlider atOrigin(*bar);
        atOrigin.rect.moveTo(0, 0);
        QPainter lookPainter(&look);
        QProxyStyle::drawComplexControl(control, &atOrigin, &lookPainter, widget);
        lookPainter.end();
        QPixmapCache::insert(key, look);
    }
    painter->drawPixmap(bar->rect.topLeft(), look);
}
