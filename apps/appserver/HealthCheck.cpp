#include "HealthCheck.h"

#include "netconn/NetConnection.h"
#include "rpc/Envelope.h"
#include "rtl/Exceptions.h"
#include "server/RemoteNames.h"

#include <cstdio>

namespace {

void Print(FILE* stream, const QString& line)
{
    const QByteArray bytes = (QStringLiteral("appserver: ") + line + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int CheckHealth(const THealthCheck& check, const QString& password)
{
    TNetConnection net;
    net.SetServerName(Remote::Saude);
    net.SetHost(check.Host);
    net.SetPort(check.Port);
    net.SetTimeout(10);
    net.SetSecurity({!check.CaFile.isEmpty(), check.CaFile, check.User, password});
    try {
        const auto envelope = Rpc::ParseEnvelope(net.AppServer().Call(Remote::Verificar));
        if (!envelope)
            throw EServerError(QStringLiteral("resposta inesperada do servidor."));
        if (!envelope->Ok) {
            Print(stderr, QStringLiteral("%1:%2: não: %3").arg(check.Host).arg(check.Port).arg(envelope->Message));
            return 1;
        }
        Print(stdout, QStringLiteral("%1:%2: sim: %3").arg(check.Host).arg(check.Port).arg(envelope->Payload.toString()));
        return 0;
    } catch (const Exception& e) {
        Print(stderr, QStringLiteral("%1:%2: não: %3").arg(check.Host).arg(check.Port).arg(e.Message()));
        return 1;
    }
}
