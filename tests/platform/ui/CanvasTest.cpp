#include "ui/Canvas.h"
#include "rtl/Exceptions.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

QImage Blank(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::white);
    return image;
}

TBitmap Barcode()
{
    // 4 x 2: olive, black, olive, red on both lines.
    TBitmap b;
    b.SetSize(4, 2);
    const TColor line[] = {clOlive, clBlack, clOlive, clRed};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            b.SetPixel(x, y, line[x]);
    return b;
}

TEST(Canvas, BrushCopyTurnsTheTransparentColourIntoTheBrushAndLeavesWhatIsOutsideTheBitmap)
{
    QImage image = Blank(10, 6);
    {
        QPainter painter(&image);
        TCanvas canvas(&painter);
        canvas.Brush().Color = clNavy;
        canvas.BrushCopy(Bounds(2, 1, 4, 4), Barcode(), Bounds(0, 0, 4, 4), clOlive);
    }
    EXPECT_EQ(image.pixelColor(2, 1), QColor(0, 0, 128));
    EXPECT_EQ(image.pixelColor(3, 1), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(5, 2), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(3, 3), QColor(Qt::white)) << "rows beyond the bitmap were painted";
    EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::white));
}

TEST(Canvas, FillRectAndTextRectStayInsideTheirRectangle)
{
    QImage image = Blank(60, 20);
    int width = 0;
    {
        QPainter painter(&image);
        TCanvas canvas(&painter);
        canvas.Brush().Color = clYellow;
        canvas.FillRect(Rect(0, 0, 10, 20));
        canvas.Font().SetColor(clBlack);
        width = canvas.TextWidth("WWWWWWWW");
        canvas.TextRect(Rect(10, 0, 30, 20), 12, 2, "WWWWWWWW");
    }
    EXPECT_GT(width, 20);
    EXPECT_EQ(image.pixelColor(9, 10), QColor(Qt::yellow));
    bool inked = false;
    for (int y = 0; y < 20; ++y)
        for (int x = 10; x < 30; ++x)
            inked = inked || image.pixelColor(x, y).value() < 100;
    EXPECT_TRUE(inked);
    for (int y = 0; y < 20; ++y)
        for (int x = 30; x < 60; ++x)
            ASSERT_EQ(image.pixelColor(x, y), QColor(Qt::white)) << "text outside its rectangle at " << x;
}

TEST(Canvas, RectangleOutlinesWithThePenInsideTheRectangle)
{
    QImage image = Blank(8, 8);
    {
        QPainter painter(&image);
        TCanvas canvas(&painter);
        canvas.Brush().Color = clYellow;
        canvas.Pen().Color = clRed;
        canvas.Rectangle(Rect(1, 1, 6, 6));
    }
    EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(5, 5), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(3, 3), QColor(Qt::yellow));
    EXPECT_EQ(image.pixelColor(6, 6), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(0, 3), QColor(Qt::white));
}

TEST(Canvas, DrawLeavesTheTransparentColourOutOfATransparentBitmap)
{
    QImage image = Blank(4, 2);
    TBitmap b = Barcode();
    b.SetTransparent(true);
    b.SetTransparentColor(clOlive);
    {
        QPainter painter(&image);
        TCanvas(&painter).Draw(0, 0, b);
    }
    EXPECT_EQ(image.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_EQ(image.pixelColor(1, 0), QColor(Qt::black));
}

TEST(Bitmap, PixelsSizeAndTransparentColour)
{
    TBitmap b = Barcode();
    EXPECT_EQ(b.TransparentColor(), clOlive) << "the default is the bottom-left pixel";
    b.SetSize(6, 3);
    EXPECT_EQ(b.Pixel(3, 1), clRed);
    EXPECT_EQ(b.Pixel(5, 2), clWhite);
    TBitmap copy;
    copy.Assign(b);
    copy.SetPixel(3, 1, clBlue);
    EXPECT_EQ(b.Pixel(3, 1), clRed);
    EXPECT_EQ(copy.Pixel(3, 1), clBlue);
    EXPECT_THROW(copy.LoadFromFile("/nenhum/arquivo.bmp"), Exception);
}

} // namespace
