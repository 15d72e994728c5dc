#pragma once
// TBitmap: a picture in memory (32-bit, one TColor per pixel) with an
// optional transparent colour; TPicture: what an image control shows.
// Whoever shows a bitmap sets OnChange to repaint after each change.
#include "Graphics.h"

#include <QImage>
#include <functional>
#include <optional>

class TBitmap {
public:
    TBitmap() = default;
    explicit TBitmap(const QImage& image);

    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    void SetSize(int width, int height);
    void SetWidth(int width) { SetSize(width, Height()); }
    void SetHeight(int height) { SetSize(Width(), height); }
    bool Empty() const { return image_.isNull(); }

    TColor Pixel(int x, int y) const;
    void SetPixel(int x, int y, TColor color);

    // When Transparent, drawing the bitmap leaves TransparentColor's pixels
    // out. The default transparent colour is the bottom-left pixel's.
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool transparent);
    TColor TransparentColor() const;
    void SetTransparentColor(TColor color);

    // Copies picture and transparency settings of `other`.
    void Assign(const TBitmap& other);
    // Raises Exception when the file cannot be read as a picture.
    void LoadFromFile(const QString& path);

    const QImage& Image() const { return image_; }
    // The picture with TransparentColor's pixels made clear.
    QImage MaskedImage() const;

    std::function<void()> OnChange;

private:
    void Changed();
    QImage image_;
    bool transparent_ = false;
    std::optional<TColor> transparentColor_;
};

class TPicture {
public:
    TBitmap& Bitmap() { return bitmap_; }
    const TBitmap& Bitmap() const { return bitmap_; }

private:
    TBitmap bitmap_;
};
