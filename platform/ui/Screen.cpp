#include "Screen.h"

#include <QCursor>
#include <QGuiApplication>

namespace {

Qt::CursorShape ShapeOf(TCursor cursor)
{
    switch (cursor) {
    case crHourGlass: return Qt::WaitCursor;
    case crIBeam: return Qt::IBeamCursor;
    default: return Qt::ArrowCursor;
    }
}

TScreen theScreen;

} // namespace

TScreen* const Screen = &theScreen;

void TScreen::SetCursor(TCursor cursor)
{
    if (cursor == cursor_)
        return;
    if (cursor == crDefault) {
        QGuiApplication::restoreOverrideCursor();
    } else if (cursor_ == crDefault) {
        QGuiApplication::setOverrideCursor(QCursor(ShapeOf(cursor)));
    } else {
        QGuiApplication::changeOverrideCursor(QCursor(ShapeOf(cursor)));
    }
    cursor_ = cursor;
}
