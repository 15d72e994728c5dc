#pragma once
// TSpeedButton: a flat tool button with a glyph. It never takes the focus.
// A glyph of NumGlyphs 2 holds two pictures side by side: the button as
// shown, and as shown while disabled. The glyph's bottom-left pixel colour is
// its transparent colour. A click with the mouse and Click() both run OnClick.
// Assistive technology names the button by its caption, which the hint then
// describes, or by its hint while it has no caption.
#include "Bitmap.h"
#include "Controls.h"

class TSpeedButton : public TControl {
public:
    explicit TSpeedButton(TComponent* owner);

    bool Flat() const;
    void SetFlat(bool flat);
    TBitmap& Glyph() { return glyph_; }
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int count);
    QString Caption() const;
    void SetCaption(const QString& caption);

protected:
    void HintChanged() override { NameByHint(); }

private:
    void GlyphChanged();
    void NameByHint();
    TBitmap glyph_;
    int numGlyphs_ = 1;
};
