#include "Graphics.h"

#include <QApplication>
#include <QPalette>

QColor ColorToQColor(TColor color)
{
    if ((std::uint32_t(color) & 0x80000000u) == 0)
        return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
    const QPalette palette = QApplication::palette();
    switch (std::uint32_t(color) & 0xFFu) {
    case 1: return palette.color(QPalette::Base);
    case 2: return palette.color(QPalette::Text);
    case 3: return palette.color(QPalette::Button);
    case 4: return palette.color(QPalette::ButtonText);
    case 5: return palette.color(QPalette::Highlight);
    case 6: return palette.color(QPalette::HighlightedText);
    case 7: return palette.color(QPalette::ToolTipBase);
    case 8: return palette.color(QPalette::ToolTipText);
    case 9: return palette.color(QPalette::Disabled, QPalette::Text);
    case 10: return palette.color(QPalette::Dark);
    case 11: return palette.color(QPalette::Light);
    default: return QColor(Qt::black);
    }
}

TColor QColorToColor(const QColor& color)
{
    return ColorFromRGB(color.red(), color.green(), color.blue());
}

TFont::TFont() : font_(QApplication::font()) {}

TFont::TFont(const QFont& font, TColor color) : font_(font), color_(color) {}

void TFont::SetName(const QString& name)
{
    font_.setFamily(name);
    Changed();
}

void TFont::SetSize(int points)
{
    font_.setPointSize(points);
    Changed();
}

bool TFont::HasStyle(TFontStyle style) const
{
    switch (style) {
    case TFontStyle::fsBold: return font_.bold();
    case TFontStyle::fsItalic: return font_.italic();
    case TFontStyle::fsUnderline: return font_.underline();
    case TFontStyle::fsStrikeOut: return font_.strikeOut();
    }
    return false;
}

void TFont::SetStyle(TFontStyle style, bool on)
{
    switch (style) {
    case TFontStyle::fsBold: font_.setBold(on); break;
    case TFontStyle::fsItalic: font_.setItalic(on); break;
    case TFontStyle::fsUnderline: font_.setUnderline(on); break;
    case TFontStyle::fsStrikeOut: font_.setStrikeOut(on); break;
    }
    Changed();
}

void TFont::SetColor(TColor color)
{
    color_ = color;
    Changed();
}

void TFont::Assign(const TFont& other)
{
    font_ = other.font_;
    color_ = other.color_;
    Changed();
}

void TFont::Changed()
{
    if (OnChange)
        OnChange();
}
