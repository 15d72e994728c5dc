#include "Changes.h"
#include "Modules.h"

#include "data/DataPacket.h"
#include "rpc/Envelope.h"
#include "server/KnownQueries.h"
#include "server/RemoteNames.h"

namespace {

const QString unknownQuery = QStringLiteral("O servidor de aplicação não executa esta consulta: só as consultas "
                                            "conhecidas do módulo de dados da estação.");

// The branch query's parameter from the packet of parameters: null (every
// branch) when the packet holds no row or a null; nothing when the packet is
// not that query's (another parameter, more than one row).
std::optional<QVariant> BranchParameter(const TDataPacket& params)
{
    if (params.RowCount() > 1)
        return std::nullopt;
    const int column = params.IndexOf(KnownQueries::BranchParameter);
    if (params.FieldCount() > 1 || (params.FieldCount() == 1 && column != 0))
        return std::nullopt;
    if (column < 0 || params.RowCount() == 0 || params.IsNull(0, column))
        return QVariant();
    if (params.Field(column).Type != TFieldType::ftString)
        return std::nullopt;
    return QVariant(params.String(0, column));
}

// The server's own statement for the branch query: the same rows, in
// portable SQL (COALESCE for the host's NVL), whatever the engine.
QVariant BranchRows(TCallContext& c, const QVariant& branch)
{
    TSql query(*c.Db, QStringLiteral("SELECT CDFILIAL, NMFILIAL FROM FILIAL"
                                     " WHERE CDFILIAL = COALESCE(:CDFILIAL, CDFILIAL) ORDER BY CDFILIAL"));
    query.Bind(QStringLiteral(":CDFILIAL"), branch).Exec();
    TDataPacketBuilder rows({{QStringLiteral("CDFILIAL"), TFieldType::ftString, 4},
                             {QStringLiteral("NMFILIAL"), TFieldType::ftString, 30}});
    while (query.Next()) {
        const QString code = query.Text(0);
        if (!c.Branches.Contains(code))
            continue;
        rows.AddString(code);
        if (query.IsNull(1))
            rows.AddNull();
        else
            rows.AddString(query.Text(1));
        rows.EndRow();
        ++c.Rows;
    }
    return Rpc::Success(QVariant::fromValue(rows.Build()));
}

QVariant Consult(TCallContext& c)
{
    if (c.Args[0].toString() != KnownQueries::BranchQuery().join(u'\n'))
        return Rpc::Failure(unknownQuery);
    const std::optional<QVariant> branch = BranchParameter(c.Args[1].value<TDataPacket>());
    if (!branch)
        return Rpc::Failure(QStringLiteral("Parâmetros inválidos para a consulta de filiais: só %1, texto ou nulo.")
                                .arg(KnownQueries::BranchParameter));
    return RunRead(*c.Db, [&] { return BranchRows(c, *branch); });
}

} // namespace

TModule QueryModule()
{
    TModule module(Remote::Consulta, QString());
    module.Add({Remote::Consultar, {TArgKind::Text, TArgKind::Packet}, Consult, nullptr});
    return module;
}
