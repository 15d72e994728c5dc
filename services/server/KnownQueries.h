#pragma once
// The queries a station's data module runs through the application server
// on a networked site, where the station holds no database login
// ("Servidor.rdmConsulta", docs/protocol.md): the server runs a text only
// when it is one of these, byte for byte, with the parameters each names,
// and returns only the rows of the branches the user works on.
#include <QString>
#include <QStringList>

namespace KnownQueries {

// The branch query (the screen's qryFilial, its generic text): every
// branch, or the one :P_CDFILIAL names, with CDFILIAL and NMFILIAL, ordered
// by code. Its lines as the query keeps them; it runs joined by "\n".
QStringList BranchQuery();
inline const QString BranchParameter = QStringLiteral("P_CDFILIAL");

} // namespace KnownQueries
