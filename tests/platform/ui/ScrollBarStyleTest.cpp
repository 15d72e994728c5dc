#include "ui/ScrollBarStyle.h"

#include <QImage>
#include <QScrollBar>
#include <gtest/gtest.h>

namespace {

struct TBarLook {
    const char* name;
    Qt::Orientation orientation;
    QSize size;
    int maximum, pageStep, value;
    bool enabled;
};

// Bars as the grids show them: a few rows or many, at the top, in the
// middle and at the end, nothing to scroll, a wide horizontal bar, disabled.
const TBarLook looks[] = {
    {"fewRowsAtTop", Qt::Vertical, {14, 129}, 4, 6, 0, true},
    {"manyRowsInTheMiddle", Qt::Vertical, {14, 129}, 4990, 6, 2500, true},
    {"manyRowsAtTheEnd", Qt::Vertical, {14, 129}, 4990, 6, 4990, true},
    {"nothingToScroll", Qt::Vertical, {14, 130}, 0, 6, 0, true},
    {"wideHorizontal", Qt::Horizontal, {1111, 14}, 300, 1111, 120, true},
    {"disabled", Qt::Vertical, {14, 129}, 40, 6, 10, false},
};

void Shape(QScrollBar& bar, const TBarLook& look)
{
    bar.setOrientation(look.orientation);
    bar.resize(look.size);
    bar.setRange(0, look.maximum);
    bar.setPageStep(look.pageStep);
    bar.setValue(look.value);
    bar.setEnabled(look.enabled);
}

QImage Painted(QScrollBar& bar)
{
    return bar.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

TEST(ScrollBarStyleTest, PaintsEveryLookAsTheApplicationStyleDoes)
{
    QScrollBar cached, plain;
    cached.setStyle(TScrollBarStyle::Instance());
    // Twice each, in turn: the second paint of a look comes from the kept
    // pixmap, and a look is never taken for another one.
    for (int round = 0; round < 2; ++round) {
        for (const TBarLook& look : looks) {
            SCOPED_TRACE(std::string(look.name) + (round ? " (kept)" : " (first)"));
            Shape(cached, look);
            Shape(plain, look);
            EXPECT_EQ(Painted(cached), Painted(plain));
        }
    }
}

TEST(ScrollBarStyleTest, APaletteOfOtherColoursIsAnotherLook)
{
    QScrollBar cached, plain;
    cached.setStyle(TScrollBarStyle::Instance());
    for (QScrollBar* bar : {&cached, &plain})
        Shape(*bar, looks[1]);
    const QImage before = Painted(cached);
    for (QScrollBar* bar : {&cached, &plain}) {
        QPalette palette = bar->palette();
        palette.setColor(QPalette::Button, Qt::darkRed);
        palette.setColor(QPalette::Window, Qt::yellow);
        bar->setPalette(palette);
    }
    const QImage after = Painted(cached);
    EXPECT_NE(after, before);
    EXPECT_EQ(after, Painted(plain));
}

} // namespace
