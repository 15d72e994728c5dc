#include "ServerLogin.h"

#include "framework/Varneth.h"
#include "netconn/NetConnection.h"
#include "ui/Dialogs.h"

#include <QSysInfo>

#include <algorithm>

void ApplyServerLogin()
{
    Varneth::THostSettings settings = Varneth::Settings();
    const auto mayBeSent = [&settings] {
        if (settings.ServerTls || IsLoopbackHost(settings.ServerHost))
            return true;
        return std::any_of(settings.ServerAlternates.cbegin(), settings.ServerAlternates.cend(),
                           [](const Varneth::TServer& server) { return IsLoopbackHost(server.first); });
    };
    if (!settings.ServerUser.isEmpty() && settings.ServerPassword.isEmpty() && mayBeSent()) {
        const std::optional<QString> typed = Dialogs().Password(
            {QStringLiteral("Servidor de aplicação"),
             QStringLiteral("Senha do usuário %1 no servidor de aplicação %2:").arg(settings.ServerUser, settings.ServerHost)});
        settings.ServerPassword = typed.value_or(QString());
        Varneth::SetSettings(settings);
    }
    TNetConnection::SetDefaultSecurity(TNetConnection::TSecurity{settings.ServerTls, settings.ServerCaFile,
                                                                 settings.ServerUser, settings.ServerPassword});
    const QString user = settings.ServerUser.isEmpty() ? qEnvironmentVariable("USER") : settings.ServerUser;
    TNetConnection::SetDefaultStation({user.left(64), QSysInfo::machineHostName().left(64)});
    QList<TNetConnection::TServerAddress> alternates;
    for (const auto& [host, port] : Varneth::ServerAlternates())
        alternates.append({host, port});
    TNetConnection::SetDefaultAlternates(alternates);
}
