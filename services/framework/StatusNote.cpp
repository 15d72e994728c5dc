#include "StatusNote.h"

namespace {

QString note;
std::function<void(const QString&)> shown;

} // namespace

void StatusNote::Set(const QString& text)
{
    if (text == note)
        return;
    note = text;
    if (shown)
        shown(note);
}

QString StatusNote::Text()
{
    return note;
}

void StatusNote::SetDisplay(std::function<void(const QString&)> display)
{
    shown = std::move(display);
    if (shown)
        shown(note);
}
