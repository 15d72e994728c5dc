#pragma once
// The remote data modules of the application server and their methods: the
// names both the clients and the server use (docs/protocol.md lists each
// method's arguments and result).
#include <QString>

namespace Remote {

inline const QString ConfRastr = QStringLiteral("exp13000.rdmConfRastr");
inline const QString ConfRastrId = QStringLiteral("{A6EFEC57-5263-4980-A6D9-9FC09FF4622A}");
inline const QString Estoque = QStringLiteral("Est00000.rdmEstoque");

// Methods of ConfRastr. Each returns a result envelope.
inline const QString GetDados = QStringLiteral("GetDados");
inline const QString GetNrLancamento = QStringLiteral("GetNrLancamento");
inline const QString SetConfRastrOK = QStringLiteral("setConfRastrOK");
inline const QString DeleteIUMProd = QStringLiteral("deleteIUMProd");
inline const QString GetItensIUM = QStringLiteral("GetItensIUM");      // items of one invoice for the reading screen
inline const QString SetLeituraIUM = QStringLiteral("setLeituraIUM");  // stores one scanned reading
// A piece of the EPCIS document of a branch's traceability events.
inline const QString GetEventosRastreio = QStringLiteral("GetEventosRastreio");
// On a connection that agreed "notices": subscribing to a branch's notices,
// and naming the station whose changes the connection makes.
inline const QString AssinaAvisos = QStringLiteral("AssinaAvisos");
inline const QString IdentificaEstacao = QStringLiteral("IdentificaEstacao");

// Methods of Estoque. Each returns a boolean.
inline const QString UtilizaAlmoxarifado = QStringLiteral("Utiliza_Almoxarifado");
inline const QString UtilizaLocalEstoque = QStringLiteral("Utiliza_LocalEstoque");

// The server's health check, for a site's tools (appserver --health): its
// one method answers a result envelope, success when the server reaches its
// database and may write there.
inline const QString Saude = QStringLiteral("Servidor.rdmSaude");
inline const QString Verificar = QStringLiteral("Verificar");

// The queries of a station's data module on a networked site (KnownQueries.h):
// Consultar(text, parameters packet) answers a result envelope whose payload
// is the rows, a data packet.
inline const QString Consulta = QStringLiteral("Servidor.rdmConsulta");
inline const QString Consultar = QStringLiteral("Consultar");

} // namespace Remote
