#include "InvoiceState.h"

#include "rpc/Envelope.h"

#include "storage/Database.h"
#include "storage/SqlValues.h"

#include <QDateTime>

TSql& BindInvoice(TSql& sql, const QString& branch, const QString& invoice)
{
    return sql.Bind(QStringLiteral(":CDFILIAL"), branch).Bind(QStringLiteral(":NRLANCTONF"), invoice);
}

std::optional<TInvoiceState> FindInvoice(TDatabase& db, const QString& branch, const QString& invoice)
{
    TSql query(db, QStringLiteral("SELECT IDCONFRASTR, DTCONFRASTR, DTENTRSAID FROM NOTAFISCAL"
                                  " WHERE CDFILIAL = :CDFILIAL AND NRLANCTONF = :NRLANCTONF") + db.ForUpdate());
    BindInvoice(query, branch, invoice).Exec();
    if (!query.Next())
        return std::nullopt;
    return TInvoiceState{query.Text(0) == QLatin1String("S"), SqlToDateTime(query.Utf8(1)),
                         SqlToDateTime(query.Utf8(2))};
}

QString InvoiceName(const QString& branch, const QString& invoice)
{
    return QStringLiteral("nota fiscal %1 da filial %2").arg(Rpc::Quoted(invoice), Rpc::Quoted(branch));
}

void Audit(TDatabase& db, TAuditEvent event, const QString& branch, const QString& invoice, const QString& ium,
           const QString& description)
{
    TSql insert(db, QStringLiteral("INSERT INTO AUDITORIA (DTEVENTO, IDEVENTO, CDFILIAL, NRLANCTONF, CDIUMPROD, DSEVENTO,"
                                   " CDUSUARIO) VALUES (:DTEVENTO, :IDEVENTO, :CDFILIAL, :NRLANCTONF, :CDIUMPROD,"
                                   " :DSEVENTO, :CDUSUARIO)"));
    BindInvoice(insert, branch, invoice)
        .Bind(QStringLiteral(":DTEVENTO"), QDateTime::currentDateTime())
        .Bind(QStringLiteral(":IDEVENTO"), QString(QChar::fromLatin1(char(event))))
        .Bind(QStringLiteral(":CDIUMPROD"), ium.isEmpty() ? QVariant() : QVariant(ium))
        .Bind(QStringLiteral(":DSEVENTO"), description.left(200))
        .Bind(QStringLiteral(":CDUSUARIO"), db.User())
        .Exec();
}
