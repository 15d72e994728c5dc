#pragma once
// Defaults the host and the application server share, so that on one machine
// they find each other and the same database without any setting. Header
// only: the application server includes it without linking the framework.
#include <QStandardPaths>
#include <QString>

namespace Defaults {

inline constexpr char ServerHost[] = "127.0.0.1";
inline constexpr int ServerPort = 21300;

// The folder of the system's files in the user's data location (on Linux
// $XDG_DATA_HOME/exp13000, by default ~/.local/share/exp13000).
inline QString DataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/exp13000");
}

// The SQLite database file used when none is configured: exp13000.sqlite in
// DataFolder().
inline QString DatabasePath()
{
    return DataFolder() + QStringLiteral("/exp13000.sqlite");
}

} // namespace Defaults
