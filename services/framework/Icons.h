#pragma once
// The pictures of the framework's own buttons, drawn here so that the host
// looks the same under every style and icon theme (the standard pictures of
// a style differ, and some styles have none for a calendar or a search).
// Each icon is drawn at `size` pixels square; its disabled look is the
// style's greyed version.
#include <QIcon>

namespace FrameworkIcons {
QIcon Confirm(int size);  // a green check mark
QIcon Close(int size);    // a red cross
QIcon Search(int size);   // a magnifying glass
QIcon Calendar(int size); // a calendar page
} // namespace FrameworkIcons
