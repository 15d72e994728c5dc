#include "Dispatcher.h"
#include "ServerLog.h"

#include "data/DataPacket.h"
#include "metrics/ServerMetrics.h"
#include "rpc/Envelope.h"
#include "rpc/ValueCodec.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "storage/SqlValues.h"
#include "storage/Statement.h"

#include <QElapsedTimer>

namespace {

QString KindName(TArgKind kind)
{
    switch (kind) {
    case TArgKind::Text: return QStringLiteral("texto");
    case TArgKind::Date: return QStringLiteral("data");
    case TArgKind::Packet: return QStringLiteral("pacote de dados");
    }
    return QString();
}

bool Fits(TArgKind kind, const QVariant& value)
{
    switch (kind) {
    case TArgKind::Text: return value.metaType() == QMetaType::fromType<QString>();
    case TArgKind::Date: return value.metaType() == QMetaType::fromType<TDateTime>();
    case TArgKind::Packet: return value.metaType() == QMetaType::fromType<TDataPacket>();
    }
    return false;
}

Rpc::TFault Fault(quint64 id, const QString& code, const QString& message)
{
    return Rpc::TFault{id, code, message};
}

// What a client is told of a failure inside a method: the database's or the
// library's own text (English, and about the server's internals) goes to
// the log only.
QString InternalError(const QString& where)
{
    return QStringLiteral("Erro interno do servidor de aplicação em %1. A operação não foi concluída; "
                          "os detalhes estão no registro do servidor.")
        .arg(where);
}

// The refusal of a call that names a branch `principal` may not work on, or
// "" when it may work on every one.
QString Unauthorized(const TMethod& method, const QVariantList& args, const TPrincipal& principal)
{
    if (!method.Branches)
        return QString();
    for (const QString& branch : method.Branches(args)) {
        if (!principal.Branches.Contains(branch))
            return QStringLiteral("O usuário %1 não tem acesso à filial %2.").arg(principal.User, Rpc::Quoted(branch));
    }
    return QString();
}

// The call in the metrics: a method not found counts as "unknown", so that
// what a client names cannot add series.
void CountCall(const TModule& module, const TMethod* method, QStringView outcome, const QElapsedTimer& clock)
{
    static const QString unknown = QStringLiteral("unknown");
    const QString& name = method ? method->Name : unknown;
    Metrics::Server().Calls.Add({module.Name(), name, outcome});
    Metrics::Server().CallSeconds.Observe(clock.nsecsElapsed(), {module.Name(), name});
}

} // namespace

QStringList BranchInFirstArgument(const QVariantList& args)
{
    return {args[0].toString()};
}

void TModule::Add(TMethod method)
{
    const QString key = method.Name.toLower();
    methods_.insert(key, std::move(method));
}

const TMethod* TModule::Find(const QString& method) const
{
    const auto it = methods_.constFind(method.toLower());
    return it == methods_.constEnd() ? nullptr : &it.value();
}

void TDispatcher::Add(TModule module)
{
    const QString name = module.Name();
    modules_.insert(name, std::move(module));
}

const TModule* TDispatcher::Find(const QString& module) const
{
    const auto it = modules_.constFind(module);
    return it == modules_.constEnd() ? nullptr : &it.value();
}

Rpc::TMessage TDispatcher::Execute(const TModule& module, Rpc::TCall call, const TDbConfig& db,
                                   const TPrincipal& principal, const TCallPeer& peer) const
{
    QElapsedTimer clock;
    clock.start();
    const QString method = Rpc::Quoted(call.Method);
    const QString where = module.Name() + u'.' + method;
    const TMethod* found = module.Find(call.Method);
    const TLogPeer logPeer{peer.Connection, peer.Address, principal.User};
    // `details`, when given, goes to the log only.
    auto refuse = [&](const QString& code, const QString& message, const QString& details = QString()) -> Rpc::TMessage {
        CountCall(module, found, code, clock);
        LogCall(module.Name(), method, clock.elapsed(),
                QStringLiteral("falha: ") + message + (details.isEmpty() ? QString() : u' ' + details), logPeer);
        return Fault(call.Id, code, message);
    };

    if (!found)
        return refuse(Rpc::Fault::Method,
                      QStringLiteral("Método desconhecido no servidor de aplicação: %1.").arg(where));
    if (call.Args.size() != found->Args.size())
        return refuse(Rpc::Fault::Arguments,
                      QStringLiteral("Número de argumentos inválido na chamada de %1: esperados %2, recebidos %3.")
                          .arg(where, QString::number(found->Args.size()), QString::number(call.Args.size())));
    for (qsizetype i = 0; i < call.Args.size(); ++i) {
        if (!Fits(found->Args[i], call.Args[i]))
            return refuse(Rpc::Fault::Arguments,
                          QStringLiteral("Argumento %1 inválido na chamada de %2: esperado %3, recebido %4.")
                              .arg(i + 1)
                              .arg(where, KindName(found->Args[i]), Rpc::KindName(call.Args[i])));
        // A date the database cannot hold would reach the queries as null.
        if (found->Args[i] == TArgKind::Date && !StorableDate(call.Args[i].value<TDateTime>()))
            return refuse(Rpc::Fault::Arguments,
                          QStringLiteral("Argumento %1 inválido na chamada de %2: data fora do calendário "
                                         "(de 01/01/0001 a 31/12/9999).")
                              .arg(i + 1)
                              .arg(where));
    }

    TCallContext context{nullptr, std::move(call.Args), 0, peer, call.RequestId, principal.Branches};
    Rpc::TResult result{call.Id, QVariant(), {}};
    QString unauthorized;
    try {
        unauthorized = Unauthorized(*found, context.Args, principal);
        if (!unauthorized.isEmpty()) {
            result.Value = module.Withheld().isValid() ? module.Withheld() : Rpc::Failure(unauthorized);
        } else {
            context.Db = &ThreadDatabase(db);
            context.Db->SetUser(principal.User);
            const TNoticeHub::TStation station =
                peer.Notices ? peer.Notices->Identity(peer.Connection) : TNoticeHub::TStation{};
            context.Db->SetStation({station.User, station.Name});
            result.Value = found->Run(context);
        }
    } catch (const EDatabaseLost& e) {
        return refuse(Rpc::Fault::Internal, e.Message(), e.Detail);
    } catch (const Exception& e) {
        return refuse(Rpc::Fault::Internal, InternalError(where), e.Message());
    } catch (const std::exception& e) {
        return refuse(Rpc::Fault::Internal, InternalError(where), QString::fromLocal8Bit(e.what()));
    }
    for (int index : call.ByRef)
        result.RefValues.append(context.Args[index]);

    const auto envelope = Rpc::ParseEnvelope(result.Value);
    QString outcome = QStringLiteral("%1 linha(s)").arg(context.Rows);
    if (!unauthorized.isEmpty())
        outcome = QStringLiteral("recusado: ") + unauthorized;
    else if (envelope && !envelope->Ok)
        outcome = QStringLiteral("recusado: ") + envelope->Message;
    CountCall(module, found, !unauthorized.isEmpty() ? u"denied" : envelope && !envelope->Ok ? u"refused" : u"result",
              clock);
    LogCall(module.Name(), found->Name, clock.elapsed(), outcome, logPeer);
    return result;
}
