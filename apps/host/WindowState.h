#pragma once
// Where the main window was: its geometry (position, size, maximized) kept
// between runs in an INI file of the user's, by default
// $XDG_CONFIG_HOME/exp13000/host-window.ini.
//
// RestoreWindowGeometry returns false and leaves the window as it is when
// the file has no geometry or one the window system cannot use (a damaged
// file is ignored, never an error). SaveWindowGeometry returns false when
// the file could not be written.
#include <QString>

class QWidget;

QString DefaultWindowStateFile();

bool SaveWindowGeometry(const QWidget& window, const QString& file);
bool RestoreWindowGeometry(QWidget& window, const QString& file);
