#pragma once
// Lib00200: the stock questions the screens ask the stock module
// "Est00000.rdmEstoque" about a branch. Each call goes through the given
// connection (opened first when it is closed); an empty or unknown branch
// answers false. Failures of the connection or the server are raised as the
// connection raises them; an answer that is not a boolean raises EServerError.
#include <QString>

class TNetConnection;

namespace Lib00200 {

// Whether the branch keeps its stock by warehouse.
bool Utiliza_Almoxarifado(TNetConnection* connection, const QString& branch);
// Whether the branch keeps its stock by stock location.
bool Utiliza_LocalEstoque(TNetConnection* connection, const QString& branch);

} // namespace Lib00200
