#pragma once
// StatusNote: one line of the host's status bar that a screen fills with
// what the user should know about the data it shows (the work list changed
// by others since it was loaded, say). The host shows it; "" hides it.
// The GUI thread's only.
#include <QString>

#include <functional>

namespace StatusNote {

void Set(const QString& text);
QString Text();
// The host's display, told each new text (nullptr: none; the text is kept).
void SetDisplay(std::function<void(const QString&)> display);

} // namespace StatusNote
