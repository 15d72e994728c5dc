#pragma once
// Defaults the host and the application server share, so that on one machine
// they find each other and the same database without any setting. Header
// only: the application server includes it without linking the framework.
#include <QStandardPaths>
#include <QString>

namespace Defaults {

inline constexpr char ServerHost[] = "127.0.0.1";
inline constexpr int ServerPort = 21300;

// The SQLite database file used when none is configured: exp13000.sqlite in
// the folder exp13000 of the user's data location (on Linux
// $XDG_DATA_HOME/exp13000, by default ~/.local/share/exp13000).
inline QString DatabasePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/exp13000/exp13000.sqlite");
}

} // namespace Defaults
