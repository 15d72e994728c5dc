#pragma once
// Where the main window was: its geometry (position, size, maximized) kept
// between runs in an INI file of the user's, by default
// $XDG_CONFIG_HOME/exp13000/host-window.ini; in the same file, per screen
// code, whether the user last left that screen maximized.
//
// RestoreWindowGeometry returns false and leaves the window as it is when
// the file has no geometry or one the window system cannot use (a damaged
// file is ignored, never an error). SaveWindowGeometry returns false when
// the file could not be written.
#include <QString>

#include <optional>

class QWidget;

QString DefaultWindowStateFile();

bool SaveWindowGeometry(const QWidget& window, const QString& file);
bool RestoreWindowGeometry(QWidget& window, const QString& file);

// Nothing when the file holds no choice for `code` (or an unreadable one).
std::optional<bool> ReadScreenMaximized(const QString& file, const QString& code);
bool SaveScreenMaximized(const QString& file, const QString& code, bool maximized);
