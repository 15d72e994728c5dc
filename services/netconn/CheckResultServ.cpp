#include "CheckResultServ.h"

#include "rpc/Envelope.h"
#include "rtl/Exceptions.h"

namespace Consiste {

QVariant CheckResultServ(const QVariant& result, bool raiseOnError, int /*helpContext*/)
{
    const auto envelope = Rpc::ParseEnvelope(result);
    if (!envelope)
        throw EServerError(QStringLiteral("O servidor de aplicação devolveu um resultado em formato desconhecido."));
    if (envelope->Ok)
        return envelope->Payload;
    if (raiseOnError)
        throw EServerError(envelope->Message);
    return QVariant();
}

} // namespace Consiste
