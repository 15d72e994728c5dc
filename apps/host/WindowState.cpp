#include "WindowState.h"

#include <QSettings>
#include <QStandardPaths>
#include <QWidget>

namespace {

constexpr char geometryKey[] = "mainWindow/geometry";

QString ScreenKey(const QString& code)
{
    return QStringLiteral("screens/%1/maximized").arg(code.toUpper());
}

} // namespace

QString DefaultWindowStateFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/exp13000/host-window.ini");
}

bool SaveWindowGeometry(const QWidget& window, const QString& file)
{
    QSettings state(file, QSettings::IniFormat);
    state.setValue(QLatin1StringView(geometryKey), window.saveGeometry());
    state.sync();
    return state.status() == QSettings::NoError;
}

bool RestoreWindowGeometry(QWidget& window, const QString& file)
{
    const QSettings state(file, QSettings::IniFormat);
    const QVariant geometry = state.value(QLatin1StringView(geometryKey));
    // A hand-edited value may come back as text or a list: only bytes are a geometry.
    if (geometry.typeId() != QMetaType::QByteArray)
        return false;
    return window.restoreGeometry(geometry.toByteArray());
}

std::optional<bool> ReadScreenMaximized(const QString& file, const QString& code)
{
    const QSettings state(file, QSettings::IniFormat);
    const QString value = state.value(ScreenKey(code)).toString();
    if (value == u"true")
        return true;
    if (value == u"false")
        return false;
    return std::nullopt;
}

bool SaveScreenMaximized(const QString& file, const QString& code, bool maximized)
{
    QSettings state(file, QSettings::IniFormat);
    state.setValue(ScreenKey(code), maximized);
    state.sync();
    return state.status() == QSettings::NoError;
}
