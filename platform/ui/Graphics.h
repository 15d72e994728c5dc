#pragma once
// Colours, rectangles, fonts, brushes and pens: the value types of controls
// and canvases.
//
// A TColor is 0x00BBGGRR for a plain colour. System colours have the high bit
// set and name a role of the application's palette, so they follow the style
// in use (clInfoBk is the tool-tip background, clBtnFace the button face).
#include <QColor>
#include <QFont>
#include <QRect>
#include <QString>
#include <cstdint>
#include <functional>

using TColor = std::int32_t;

constexpr TColor ColorFromRGB(int r, int g, int b)
{
    return TColor((b & 0xFF) << 16 | (g & 0xFF) << 8 | (r & 0xFF));
}

constexpr TColor clBlack = ColorFromRGB(0, 0, 0);
constexpr TColor clMaroon = ColorFromRGB(128, 0, 0);
constexpr TColor clGreen = ColorFromRGB(0, 128, 0);
constexpr TColor clOlive = ColorFromRGB(128, 128, 0);
constexpr TColor clNavy = ColorFromRGB(0, 0, 128);
constexpr TColor clPurple = ColorFromRGB(128, 0, 128);
constexpr TColor clTeal = ColorFromRGB(0, 128, 128);
constexpr TColor clGray = ColorFromRGB(128, 128, 128);
constexpr TColor clSilver = ColorFromRGB(192, 192, 192);
constexpr TColor clRed = ColorFromRGB(255, 0, 0);
constexpr TColor clLime = ColorFromRGB(0, 255, 0);
constexpr TColor clYellow = ColorFromRGB(255, 255, 0);
constexpr TColor clBlue = ColorFromRGB(0, 0, 255);
constexpr TColor clFuchsia = ColorFromRGB(255, 0, 255);
constexpr TColor clAqua = ColorFromRGB(0, 255, 255);
constexpr TColor clWhite = ColorFromRGB(255, 255, 255);

constexpr TColor SystemColor(int role) { return TColor(0x80000000u | unsigned(role)); }
constexpr TColor clWindow = SystemColor(1);
constexpr TColor clWindowText = SystemColor(2);
constexpr TColor clBtnFace = SystemColor(3);
constexpr TColor clBtnText = SystemColor(4);
constexpr TColor clHighlight = SystemColor(5);
constexpr TColor clHighlightText = SystemColor(6);
constexpr TColor clInfoBk = SystemColor(7);
constexpr TColor clInfoText = SystemColor(8);
constexpr TColor clGrayText = SystemColor(9);
constexpr TColor clBtnShadow = SystemColor(10);
constexpr TColor clBtnHighlight = SystemColor(11);

// The colour as Qt draws it (system colours read the application palette).
QColor ColorToQColor(TColor color);
// The plain colour of a Qt colour (alpha dropped).
TColor QColorToColor(const QColor& color);

// A rectangle by its edges; Right and Bottom lie just outside it.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;

    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    QRect ToQRect() const { return QRect(Left, Top, Width(), Height()); }
    static TRect FromQRect(const QRect& r) { return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()}; }
    bool operator==(const TRect&) const = default;
};

inline TRect Rect(int left, int top, int right, int bottom) { return {left, top, right, bottom}; }
inline TRect Bounds(int left, int top, int width, int height) { return {left, top, left + width, top + height}; }

enum class TFontStyle { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// A font with its colour. Whoever shows it (a control, a canvas) sets
// OnChange to apply each change at once.
class TFont {
public:
    TFont();
    explicit TFont(const QFont& font, TColor color = clWindowText);

    QString Name() const { return font_.family(); }
    void SetName(const QString& name);
    int Size() const { return font_.pointSize(); }
    void SetSize(int points);
    bool HasStyle(TFontStyle style) const;
    void SetStyle(TFontStyle style, bool on = true);
    TColor Color() const { return color_; }
    void SetColor(TColor color);
    void Assign(const TFont& other);

    const QFont& ToQFont() const { return font_; }
    std::function<void()> OnChange;

private:
    void Changed();
    QFont font_;
    TColor color_ = clWindowText;
};

enum class TBrushStyle { bsSolid, bsClear };

struct TBrush {
    TColor Color = clWhite;
    TBrushStyle Style = TBrushStyle::bsSolid;
};

struct TPen {
    TColor Color = clBlack;
    int Width = 1;
};
