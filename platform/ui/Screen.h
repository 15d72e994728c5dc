#pragma once
// TScreen (`Screen`): the screen cursor of the whole application. A cursor
// other than crDefault is Qt's override cursor; crDefault removes it.
#include "rtl/Classes.h"

using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crArrow = -2;
constexpr TCursor crIBeam = -4;
constexpr TCursor crHourGlass = -11;

class TScreen : public TObject {
public:
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor cursor);

private:
    TCursor cursor_ = crDefault;
};

// The process's screen object; it exists as long as the process.
extern TScreen* const Screen;
