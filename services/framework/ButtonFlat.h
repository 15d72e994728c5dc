#pragma once
// TButtonFlat: the framework's flat tool button — the platform's flat
// button (ui/Buttons.h) that starts flat and with its hint shown, as every
// tool button of the host is. It never takes the focus; a mouse click and
// Click() run OnClick.
//
// SetIcon gives the button a ready icon instead of a glyph: the framework's
// own buttons use it for the style's standard pictures, whose disabled look
// the style draws. Assigning a glyph afterwards replaces the icon.
#include "ui/Buttons.h"

#include <QIcon>

class TButtonFlat : public TSpeedButton {
public:
    explicit TButtonFlat(TComponent* owner);

    void SetIcon(const QIcon& icon, QSize size);
};
