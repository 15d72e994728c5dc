// The methods of the two remote data modules: argument kinds and the code
// each runs. Argument order is the clients' (docs/protocol.md, "Methods").
#include "Modules.h"
#include "InvoiceState.h"
#include "Notices.h"
#include "Operations.h"
#include "WorkList.h"
#include "rpc/Envelope.h"
#include "server/RemoteNames.h"
#include "storage/Statement.h"

#include <QRandomGenerator>
#include <QThread>

#include <functional>

namespace {

constexpr auto Text = TArgKind::Text;
constexpr auto DateArg = TArgKind::Date;

QString Str(const TCallContext& c, int i)
{
    return c.Args[i].toString();
}
TDateTime Day(const TCallContext& c, int i)
{
    return c.Args[i].value<TDateTime>();
}

QVariant GetDados(TCallContext& c)
{
    // One read transaction: the three packets show one state of the data.
    TScopedTransaction snapshot(*c.Db, TScopedTransaction::TKind::Read);
    const TWorkListFilter filter{Str(c, 0), Str(c, 1), Str(c, 2), {Day(c, 3), Day(c, 4), Day(c, 5), Day(c, 6)}};
    const TWorkList list = LoadWorkList(*c.Db, filter);
    snapshot.Commit();
    c.Rows = list.Invoices.Rows + list.Items.Rows + list.Readings.Rows;
    return Rpc::Success(QVariantList{QVariant::fromValue(list.Invoices), QVariant::fromValue(list.Items),
                                     QVariant::fromValue(list.Readings)});
}

QVariant GetNrLancamento(TCallContext& c)
{
    QString refusal;
    const TEncodedPacket list = LoadNumberList(*c.Db, Str(c, 0), Str(c, 1), Str(c, 2),
                                            {Day(c, 3), Day(c, 4), Day(c, 5), Day(c, 6)}, Str(c, 7), Str(c, 8), refusal);
    if (!refusal.isEmpty())
        return Rpc::Failure(refusal);
    c.Rows = list.Rows;
    return Rpc::Success(QVariant::fromValue(list));
}

QVariant GetItensIUM(TCallContext& c)
{
    const TDataPacket items = LoadInvoiceItems(*c.Db, Str(c, 0), Str(c, 1));
    if (items.RowCount() == 0)
        return Rpc::Failure(QStringLiteral("A %1 não existe ou não tem itens.").arg(InvoiceName(Str(c, 0), Str(c, 1))));
    c.Rows = items.RowCount();
    return Rpc::Success(QVariant::fromValue(items));
}

// Whether the branch's indicator column holds 'S'; an unknown branch: false.
bool BranchUses(TCallContext& c, const QString& column)
{
    TSql query(*c.Db, QStringLiteral("SELECT %1 FROM FILIAL WHERE CDFILIAL = :CDFILIAL").arg(column));
    query.Bind(QStringLiteral(":CDFILIAL"), Str(c, 0)).Exec();
    c.Rows = query.Next() ? 1 : 0;
    return c.Rows == 1 && query.Text(0) == QLatin1String("S");
}

// The branches of a deletion delta's rows. A row without a branch (no
// CDFILIAL field, or null in it) names none: it matches no reading, and the
// deletion refuses it.
QStringList DeltaBranches(const QVariantList& args)
{
    const TDataPacket delta = args[0].value<TDataPacket>();
    const int column = delta.IndexOf(QStringLiteral("CDFILIAL"));
    QStringList branches;
    if (column < 0 || delta.Field(column).Type != TFieldType::ftString)
        return branches;
    for (int row = 0; row < delta.RowCount(); ++row) {
        if (!delta.IsNull(row, column))
            branches.append(delta.String(row, column));
    }
    branches.removeDuplicates();
    return branches;
}

// Runs a change again when the database ended it for a conflict with a
// change of another server (a deadlock, which the invoices' lock order keeps
// away, or a serialization failure): nothing of that run was recorded. Each
// new run waits a moment first, longer each time and at random, so that the
// rival takes the rows it was waiting for instead of meeting this change
// again. After the last attempt the client is told to try again, as a refusal.
QVariant Retried(const std::function<QVariant()>& change)
{
    constexpr int attempts = 3;
    for (int attempt = 1;; ++attempt) {
        try {
            return change();
        } catch (const EDatabaseConflict&) {
            if (attempt == attempts)
                return Rpc::Failure(QStringLiteral("A operação coincidiu com outra alteração dos mesmos dados e não foi "
                                                   "concluída; tente novamente."));
        }
        QThread::msleep(QRandomGenerator::global()->bounded(50, 150) * unsigned(attempt));
    }
}

} // namespace

TModule ConfRastrModule()
{
    TModule module(Remote::ConfRastr, Remote::ConfRastrId);
    module.Add({Remote::GetDados, {Text, Text, Text, DateArg, DateArg, DateArg, DateArg}, GetDados, BranchInFirstArgument});
    module.Add({Remote::GetNrLancamento, {Text, Text, Text, DateArg, DateArg, DateArg, DateArg, Text, Text},
                GetNrLancamento, BranchInFirstArgument});
    module.Add({Remote::SetConfRastrOK, {Text, Text},
                [](TCallContext& c) { return Retried([&] { return ConfirmInvoice(*c.Db, Str(c, 0), Str(c, 1), c.Rows); }); },
                BranchInFirstArgument});
    module.Add({Remote::DeleteIUMProd, {TArgKind::Packet},
                [](TCallContext& c) {
                    return Retried([&] { return DeleteReadings(*c.Db, c.Args[0].value<TDataPacket>(), c.Rows); });
                },
                DeltaBranches});
    module.Add({Remote::GetItensIUM, {Text, Text}, GetItensIUM, BranchInFirstArgument});
    module.Add({Remote::SetLeituraIUM, {Text, Text, Text},
                [](TCallContext& c) { return Retried([&] { return StoreReading(*c.Db, Str(c, 0), Str(c, 1), Str(c, 2), c.Rows); }); },
                BranchInFirstArgument});
    AddNoticeMethods(module);
    return module;
}

TModule EstoqueModule()
{
    // Its answers have no envelope: a branch the caller may not work on
    // answers as an unknown one, false.
    TModule module(Remote::Estoque, QString(), false);
    module.Add({Remote::UtilizaAlmoxarifado, {Text},
                [](TCallContext& c) { return QVariant(BranchUses(c, QStringLiteral("IDUTILALMOX"))); }, BranchInFirstArgument});
    module.Add({Remote::UtilizaLocalEstoque, {Text},
                [](TCallContext& c) { return QVariant(BranchUses(c, QStringLiteral("IDUTILLOCAL"))); }, BranchInFirstArgument});
    return module;
}
