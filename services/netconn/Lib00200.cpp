#include "Lib00200.h"

#include "netconn/NetConnection.h"
#include "rpc/ValueCodec.h"
#include "rtl/Exceptions.h"
#include "server/RemoteNames.h"

namespace Lib00200 {

namespace {

bool Ask(TNetConnection* connection, const QString& method, const QString& branch)
{
    const QVariant answer = connection->AppServer().Call(method, {branch});
    if (answer.metaType() != QMetaType::fromType<bool>())
        throw EServerError(QStringLiteral("O servidor de aplicação respondeu %1 a %2; esperava-se um valor lógico.")
                               .arg(Rpc::KindName(answer), method));
    return answer.toBool();
}

} // namespace

bool Utiliza_Almoxarifado(TNetConnection* connection, const QString& branch)
{
    return Ask(connection, Remote::UtilizaAlmoxarifado, branch);
}

bool Utiliza_LocalEstoque(TNetConnection* connection, const QString& branch)
{
    return Ask(connection, Remote::UtilizaLocalEstoque, branch);
}

} // namespace Lib00200
