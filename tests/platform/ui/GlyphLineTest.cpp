#include "ui/CellText.h"
#include "ui/GlyphLine.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <gtest/gtest.h>

namespace {

QFont GridFont()
{
    return QGuiApplication::font();
}

// `draw` on a white image, in black.
template <class Draw>
QImage Drawn(Draw&& draw)
{
    QImage image(400, 30, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(GridFont());
    painter.setPen(Qt::black);
    draw(painter);
    return image;
}

// Texts of the grids: codes, dates, numbers, names with accents, pairs the
// font kerns, and a code with a group separator.
const QStringList texts = {
    QStringLiteral("0000000001"),
    QStringLiteral("10/12/2026 08:00:00"),
    QStringLiteral("22,000"),
    QStringLiteral("Natália Ribeiro Gomes — Ação"),
    QStringLiteral("AVATAR Wave To Ty"),
    QStringLiteral("0107890000101110210000000263\x1d" "1728060610L280608"),
};

TEST(GlyphLineTest, MeasuresAndDrawsAsTheShaperDoes)
{
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        TGlyphLine line;
        ASSERT_TRUE(line.Layout(GridFont(), text));
        EXPECT_NEAR(line.Width(), QFontMetricsF(GridFont()).horizontalAdvance(text), 1.0);
        if (text.contains(QChar(0x1d)))
            continue;  // the shaper draws the separator's box from another font
        const QImage ours = Drawn([&](QPainter& p) { line.Draw(&p, QPointF(5, 20)); });
        const QImage shaped = Drawn([&](QPainter& p) { p.drawText(QPointF(5, 20), text); });
        EXPECT_EQ(ours, shaped) << "the glyphs land elsewhere than the shaper puts them";
    }
}

TEST(GlyphLineTest, ElidingKeepsWithinTheWidthAndEndsWithTheEllipsis)
{
    const QString text = QStringLiteral("Comercial Bandeirantes de Campinas");
    const qreal ellipsis = QFontMetricsF(GridFont()).horizontalAdvance(QChar(0x2026));
    for (qreal width : {ellipsis, 40.0, 100.0, 1000.0}) {
        SCOPED_TRACE(width);
        TGlyphLine line;
        ASSERT_TRUE(line.Layout(GridFont(), text));
        const qreal full = line.Width();
        line.Elide(width);
        EXPECT_LE(line.Width(), width);
        if (full <= width) {
            EXPECT_EQ(line.Width(), full) << "a text that fits is not cut";
            continue;
        }
        // The cut line draws as the shaper draws the same prefix with an ellipsis.
        const QString elided = QFontMetrics(GridFont()).elidedText(text, Qt::ElideRight, int(width));
        const QImage ours = Drawn([&](QPainter& p) { line.Draw(&p, QPointF(5, 20)); });
        const QImage shaped = Drawn([&](QPainter& p) { p.drawText(QPointF(5, 20), elided); });
        EXPECT_EQ(ours, shaped) << elided.toStdString();
    }
}

TEST(GlyphLineTest, RefusesATextWithACharacterTheFontLacks)
{
    const QChar han(0x6F22);
    ASSERT_FALSE(QRawFont::fromFont(GridFont()).supportsCharacter(han)) << "the test font has CJK glyphs";
    TGlyphLine line;
    EXPECT_FALSE(line.Layout(GridFont(), QStringLiteral("Código ") + han));
    EXPECT_TRUE(line.Layout(GridFont(), QStringLiteral("")));
    EXPECT_EQ(line.Width(), 0);
}

// A column sized by the cell's width (the grid's size hint) shows its text
// whole; a pixel less cuts it.
TEST(GlyphLineTest, ACellAsWideAsItsTextsWidthDrawsItWhole)
{
    for (const QString& text : texts) {
        SCOPED_TRACE(text.toStdString());
        TCellText cell;
        const int width = cell.Width(GridFont(), text);
        const auto drawnIn = [&](int areaWidth) {
            return Drawn([&](QPainter& p) { cell.Draw(&p, QRect(5, 0, areaWidth, 30), Qt::AlignLeft, text); });
        };
        const QImage whole = drawnIn(390);
        EXPECT_EQ(drawnIn(width), whole);
        EXPECT_NE(drawnIn(width - 1), whole);
    }
}

} // namespace
