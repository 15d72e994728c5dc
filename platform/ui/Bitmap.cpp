#include "Bitmap.h"

#include "rtl/Exceptions.h"

TBitmap::TBitmap(const QImage& image) : image_(image.convertToFormat(QImage::Format_ARGB32)) {}

void TBitmap::SetSize(int width, int height)
{
    QImage resized(qMax(0, width), qMax(0, height), QImage::Format_ARGB32);
    resized.fill(Qt::white);
    if (!image_.isNull())
        for (int y = 0; y < qMin(height, image_.height()); ++y)
            for (int x = 0; x < qMin(width, image_.width()); ++x)
                resized.setPixel(x, y, image_.pixel(x, y));
    image_ = resized;
    Changed();
}

TColor TBitmap::Pixel(int x, int y) const
{
    if (!image_.valid(x, y))
        return clBlack;
    return QColorToColor(image_.pixelColor(x, y));
}

void TBitmap::SetPixel(int x, int y, TColor color)
{
    if (!image_.valid(x, y))
        return;
    image_.setPixelColor(x, y, ColorToQColor(color));
    Changed();
}

void TBitmap::SetTransparent(bool transparent)
{
    transparent_ = transparent;
    Changed();
}

TColor TBitmap::TransparentColor() const
{
    if (transparentColor_)
        return *transparentColor_;
    return Pixel(0, Height() - 1);
}

void TBitmap::SetTransparentColor(TColor color)
{
    transparentColor_ = color;
    Changed();
}

void TBitmap::Assign(const TBitmap& other)
{
    image_ = other.image_;
    transparent_ = other.transparent_;
    transparentColor_ = other.transparentColor_;
    Changed();
}

void TBitmap::LoadFromFile(const QString& path)
{
    QImage loaded(path);
    if (loaded.isNull())
        throw Exception(QStringLiteral("Não foi possível ler a imagem \"%1\".").arg(path));
    image_ = loaded.convertToFormat(QImage::Format_ARGB32);
    Changed();
}

QImage TBitmap::MaskedImage() const
{
    QImage out = image_;
    const QRgb clear = ColorToQColor(TransparentColor()).rgb();
    for (int y = 0; y < out.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if ((line[x] | 0xFF000000u) == clear)
                line[x] = 0;
    }
    return out;
}

void TBitmap::Changed()
{
    if (OnChange)
        OnChange();
}
