#pragma once
// How the grids' scroll bars are painted: in the application's style, once
// for each look, then copied.
//
// A grid's bars repaint whenever its rows change, since the slider's length
// and place follow them, and the application style draws a bar from
// gradients and tall strokes that Qt's raster engine splits across its
// thread pool, waiting for every piece: on a grid of a few rows a bar costs
// more than the cells it scrolls. This style draws each look of a bar (its
// size, range, page, position, state and palette) once into a pixmap kept in
// QPixmapCache, and every later paint of the same look copies that pixmap.
// Everything else, and any bar painted through a rotating or scaling
// painter, goes to the application style as it is.
#include <QProxyStyle>

class TScrollBarStyle : public QProxyStyle {
public:
    // The one instance, made on first use and owned by the application
    // object; null while there is none.
    static TScrollBarStyle* Instance();

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget = nullptr) const override;

private:
    using QProxyStyle::QProxyStyle;
};
