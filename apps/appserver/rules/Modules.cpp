// The methods of the two remote data modules: argument kinds and the code
// each runs. Argument order is the clients' (docs/protocol.md, "Methods").
#include "Modules.h"
#include "Changes.h"
#include "InvoiceState.h"
#include "Notices.h"
#include "Operations.h"
#include "WorkList.h"
#include "metrics/ServerMetrics.h"
#include "rpc/Envelope.h"
#include "rtl/Exceptions.h"
#include "server/RemoteNames.h"
#include "storage/Statement.h"

#include <QDateTime>
#include <QElapsedTimer>

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

// What an operator watches of the business, once a change is over: a
// request answered with its first outcome ran no rule (`ran` false).
void CountChange(const QString& method, bool ran, const QVariant& outcome, qint64 rows)
{
    Metrics::TServerMetrics& metrics = Metrics::Server();
    if (!ran) {
        metrics.RequestsReplayed.Add();
        return;
    }
    const auto envelope = Rpc::ParseEnvelope(outcome);
    const bool done = envelope && envelope->Ok;
    if (method == Remote::SetLeituraIUM)
        (done ? metrics.ReadingsStored : metrics.ReadingsRefused).Add();
    else if (method == Remote::DeleteIUMProd && done)
        metrics.ReadingsDeleted.Add({}, quint64(rows));
    else if (method == Remote::SetConfRastrOK && done)
        metrics.Confirmations.Add();
}

// A change of the module, run as Changes.h says under the caller's request;
// `branches` as TMethod::Branches.
TMethod Change(const QString& name, QList<TArgKind> args, std::function<QVariant(TCallContext&)> rule,
               std::function<QStringList(const QVariantList&)> branches = BranchInFirstArgument)
{
    return {name, std::move(args),
            [name, rule = std::move(rule)](TCallContext& c) {
                bool ran = false;
                const QVariant outcome = RunChange(*c.Db, TRequest{c.Db->User(), c.RequestId, name}, [&] {
                    ran = true;
                    return rule(c);
                });
                CountChange(name, ran, outcome, c.Rows);
                return outcome;
            },
            std::move(branches)};
}

// A read of the module, run again after a lost link (Changes.h); its branch
// is its first argument.
TMethod Read(const QString& name, QList<TArgKind> args, std::function<QVariant(TCallContext&)> read)
{
    return {name, std::move(args),
            [read = std::move(read)](TCallContext& c) { return RunRead(*c.Db, [&] { return read(c); }); },
            BranchInFirstArgument};
}

// A piece of the document of a branch's traceability events
// (epcis/ShippingEvents.h, WriteEventPage): [text, next cursor, events
// written, events in all], the cursor "" once the document is whole.
QVariant GetEventosRastreio(TCallContext& c, const TEventNaming& naming)
{
    constexpr int invoicesPerCall = 50;
    TScopedTransaction snapshot(*c.Db, TScopedTransaction::TKind::Read);
    const TEventRange range{Str(c, 0), ToQDate(Day(c, 1)), ToQDate(Day(c, 2)), QString()};
    TEventPage page;
    try {
        page = WriteEventPage(*c.Db, naming, range, Str(c, 3), invoicesPerCall);
    } catch (const EConvertError& e) {
        return Rpc::Failure(e.Message());
    }
    snapshot.Commit();
    c.Rows = page.Written;
    return Rpc::Success(QVariantList{QString::fromUtf8(page.Bytes), page.Cursor, page.Written, page.Total});
}

// Whether this server reaches its database and may write there: a write
// transaction that inserts a row and is rolled back, so nothing stays. It
// waits for nothing: a database that is away is a "no" at once.
QVariant Health(TCallContext& c)
{
    QElapsedTimer took;
    try {
        // The link first: what the bound measures is the commit, not the way
        // to the database (a lost link opened again through a silent first
        // host of a multi-host URI, say).
        try {
            c.Db->Execute(QStringLiteral("SELECT 1"));
        } catch (const EDatabaseLost&) {
            c.Db->DropBroken();
            c.Db->Execute(QStringLiteral("SELECT 1"));
        }
        took.start();
        TScopedTransaction beat(*c.Db, TScopedTransaction::TKind::Write);
        TSql(*c.Db, QStringLiteral("UPDATE BATIMENTO SET DTBATIMENTO = :DTBATIMENTO"))
            .Bind(QStringLiteral(":DTBATIMENTO"), QDateTime::currentDateTime())
            .Exec();
        beat.Commit();
    } catch (const EDatabaseError& e) {
        const auto* lost = dynamic_cast<const EDatabaseLost*>(&e);
        return Rpc::Failure(QStringLiteral("O servidor de aplicação não consegue gravar no banco de dados: %1")
                                .arg(lost ? e.Message() : QStringLiteral("o banco recusou a gravação de teste.")));
    }
    const qint64 ms = took.elapsed();
    if (ms > HealthCommitBoundMs)
        return Rpc::Failure(QStringLiteral("O servidor de aplicação grava no banco de dados, mas um commit levou %1 ms, "
                                           "acima do limite de %2 ms: os commits estão esperando (uma réplica síncrona "
                                           "ausente, um disco lento ou cheio?).")
                                .arg(ms)
                                .arg(HealthCommitBoundMs));
    return Rpc::Success(QStringLiteral("O servidor de aplicação alcança o banco de dados e grava nele: um commit "
                                       "completou em %1 ms (limite: %2 ms).")
                            .arg(ms)
                            .arg(HealthCommitBoundMs));
}

} // namespace

TModule ConfRastrModule(const TEventNaming& naming)
{
    TModule module(Remote::ConfRastr, Remote::ConfRastrId);
    module.Add(Read(Remote::GetDados, {Text, Text, Text, DateArg, DateArg, DateArg, DateArg}, GetDados));
    module.Add(Read(Remote::GetNrLancamento, {Text, Text, Text, DateArg, DateArg, DateArg, DateArg, Text, Text},
                    GetNrLancamento));
    module.Add(Change(Remote::SetConfRastrOK, {Text, Text},
                      [](TCallContext& c) { return ConfirmInvoice(*c.Db, Str(c, 0), Str(c, 1), c.Rows); }));
    module.Add(Change(
        Remote::DeleteIUMProd, {TArgKind::Packet},
        [](TCallContext& c) { return DeleteReadings(*c.Db, c.Args[0].value<TDataPacket>(), c.Rows); }, DeltaBranches));
    module.Add(Read(Remote::GetItensIUM, {Text, Text}, GetItensIUM));
    module.Add(Change(Remote::SetLeituraIUM, {Text, Text, Text}, [](TCallContext& c) {
        return StoreReading(*c.Db, Str(c, 0), Str(c, 1), Str(c, 2), c.Branches, c.Rows);
    }));
    module.Add(Read(Remote::GetEventosRastreio, {Text, DateArg, DateArg, Text},
                    [naming](TCallContext& c) { return GetEventosRastreio(c, naming); }));
    AddNoticeMethods(module);
    return module;
}

TModule EstoqueModule()
{
    // Its answers have no envelope: a branch the caller may not work on
    // answers as an unknown one, false.
    TModule module(Remote::Estoque, QString(), false);
    module.Add(Read(Remote::UtilizaAlmoxarifado, {Text},
                    [](TCallContext& c) { return QVariant(BranchUses(c, QStringLiteral("IDUTILALMOX"))); }));
    module.Add(Read(Remote::UtilizaLocalEstoque, {Text},
                    [](TCallContext& c) { return QVariant(BranchUses(c, QStringLiteral("IDUTILLOCAL"))); }));
    return module;
}

TModule HealthModule()
{
    TModule module(Remote::Saude, QString());
    module.Add({Remote::Verificar, {}, Health});
    return module;
}
