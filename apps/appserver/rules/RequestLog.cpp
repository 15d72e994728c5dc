#include "RequestLog.h"

#include "rpc/Envelope.h"
#include "rpc/ProtocolError.h"
#include "rpc/ValueCodec.h"

#include "transport/RateLimit.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QMutex>

namespace {

// An outcome as stored: the value's CBOR, the protocol's own encoding, in
// base64 so that both engines keep it as text.
QString Encode(const QVariant& outcome)
{
    QByteArray bytes;
    TCborWriter out(bytes);
    Rpc::WriteValue(out, outcome);
    return QString::fromLatin1(bytes.toBase64());
}

struct TAdmission {
    QMutex Mutex;
    QElapsedTimer Clock;
    TRateLimit Rate{RequestLog::AdmitBurst, RequestLog::AdmitIntervalMs};
    TAdmission() { Clock.start(); }
};

QVariant Decode(const QString& stored)
{
    const QByteArray bytes = QByteArray::fromBase64(stored.toLatin1());
    try {
        TCborReader in(bytes);
        return Rpc::ReadValue(in, Rpc::TRpcLimits{});
    } catch (const Exception& e) {
        throw EDatabaseError(QStringLiteral("Erro no banco de dados: resultado gravado ilegível (%1).").arg(e.Message()));
    }
}

TSql& BindRequest(TSql& sql, const TRequest& request)
{
    return sql.Bind(QStringLiteral(":CDUSUARIO"), request.User).Bind(QStringLiteral(":IDREQUISICAO"), request.Id);
}

} // namespace

std::optional<QVariant> RequestLog::Claim(TDatabase& db, const TRequest& request)
{
    TSql claim(db, QStringLiteral("INSERT INTO REQUISICAO (CDUSUARIO, IDREQUISICAO, NMMETODO, DTREQUISICAO, DSRESULTADO)"
                                  " VALUES (:CDUSUARIO, :IDREQUISICAO, :NMMETODO, :DTREQUISICAO, NULL)"
                                  " ON CONFLICT DO NOTHING"));
    BindRequest(claim, request)
        .Bind(QStringLiteral(":NMMETODO"), request.Method)
        .Bind(QStringLiteral(":DTREQUISICAO"), QDateTime::currentDateTime())
        .Exec();
    if (claim.RowsAffected() == 1)
        return std::nullopt;

    TSql first(db, QStringLiteral("SELECT NMMETODO, DSRESULTADO FROM REQUISICAO"
                                  " WHERE CDUSUARIO = :CDUSUARIO AND IDREQUISICAO = :IDREQUISICAO"));
    BindRequest(first, request).Exec();
    // The claim found the row, and a claim's row is committed with its
    // outcome: a row without one is no claim of ours.
    if (!first.Next() || first.IsNull(1))
        throw EDatabaseError(QStringLiteral("Erro no banco de dados: requisição %1 sem resultado gravado.").arg(request.Id));
    if (first.Text(0) != request.Method)
        return Rpc::Failure(QStringLiteral("O identificador de requisição %1 já foi usado em %2; esta chamada de %3 não "
                                           "foi executada.")
                                .arg(request.Id, first.Text(0), request.Method));
    return Decode(first.Text(1));
}

void RequestLog::Record(TDatabase& db, const TRequest& request, const QVariant& outcome)
{
    TSql record(db, QStringLiteral("UPDATE REQUISICAO SET DSRESULTADO = :DSRESULTADO"
                                   " WHERE CDUSUARIO = :CDUSUARIO AND IDREQUISICAO = :IDREQUISICAO"));
    BindRequest(record, request).Bind(QStringLiteral(":DSRESULTADO"), Encode(outcome)).Exec();
}

qint64 RequestLog::Prune(TDatabase& db)
{
    TScopedTransaction transaction(db, TScopedTransaction::TKind::Write);
    TSql prune(db, QStringLiteral("DELETE FROM REQUISICAO WHERE DTREQUISICAO < :LIMITE"));
    prune.Bind(QStringLiteral(":LIMITE"), QDateTime::currentDateTime().addSecs(-qint64(RetentionHours) * 3600)).Exec();
    const qint64 removed = prune.RowsAffected();
    transaction.Commit();
    return removed;
}

bool RequestLog::Admit(const TRequest& request)
{
    if (request.User.isEmpty())
        return true;
    static TAdmission admission;
    QMutexLocker lock(&admission.Mutex);
    return admission.Rate.Take(request.User, admission.Clock.elapsed());
}
