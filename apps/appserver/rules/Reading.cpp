#include "InvoiceState.h"
#include "Notices.h"
#include "Operations.h"
#include "rpc/Envelope.h"
#include "rtl/Exceptions.h"
#include "server/Gs1.h"
#include "storage/Database.h"
#include "storage/SqlValues.h"

#include <QDateTime>

namespace {

constexpr int MaxCodeLength = 100;  // LEITURAIUM.CDIUMPROD

} // namespace

QVariant StoreReading(TDatabase& db, const QString& branch, const QString& invoice, const QString& scan,
                      const TBranches& visible, qint64& rows)
{
    const QString name = InvoiceName(branch, invoice);
    TIumCode code;
    try {
        code = ParseIumCode(scan);
    } catch (const EConvertError& e) {
        return Rpc::Failure(QStringLiteral("%1 Leitura para a %2 não gravada.").arg(e.Message(), name));
    }
    if (code.Code.size() > MaxCodeLength)
        return Rpc::Failure(QStringLiteral("Código IUM com mais de %1 caracteres; leitura para a %2 não gravada.")
                                .arg(MaxCodeLength)
                                .arg(name));

    const auto state = FindInvoice(db, branch, invoice);
    if (!state)
        return Rpc::Failure(QStringLiteral("A %1 não existe.").arg(name));
    if (state->Confirmed)
        return Rpc::Failure(QStringLiteral("A %1 já foi conferida para rastreio; não aceita novas leituras.").arg(name));

    // The product of the invoice with that GTIN; a GTIN-13 is stored without
    // the leading 0 that (01) carries.
    const QString gtin13 = code.Gtin.startsWith(u'0') ? code.Gtin.mid(1) : code.Gtin;
    // The item's readings come with it: one statement fewer in the writer's
    // lock, which every other store of the database waits for.
    TSql item(db, QStringLiteral("SELECT IT.CDPRODUTO, PR.CDARVPROD, PR.IDCONTROLAIUM, IT.QTITEMPROD,"
                                 "       IT.CDALMOXARIFE, IT.CDLOCALESTOQ,"
                                 "       (SELECT COUNT(*) FROM LEITURAIUM LI WHERE LI.CDFILIAL = IT.CDFILIAL"
                                 "           AND LI.NRLANCTONF = IT.NRLANCTONF AND LI.CDPRODUTO = IT.CDPRODUTO)"
                                 "  FROM ITEMNOTA IT JOIN PRODUTO PR ON PR.CDPRODUTO = IT.CDPRODUTO"
                                 " WHERE IT.CDFILIAL = :CDFILIAL AND IT.NRLANCTONF = :NRLANCTONF"
                                 "   AND (PR.CDGTIN = :GTIN14 OR PR.CDGTIN = :GTIN13)"));
    BindInvoice(item, branch, invoice)
        .Bind(QStringLiteral(":GTIN14"), code.Gtin)
        .Bind(QStringLiteral(":GTIN13"), gtin13)
        .Exec();
    if (!item.Next())
        return Rpc::Failure(QStringLiteral("O GTIN %1 não é de nenhum produto da %2.").arg(code.Gtin, name));
    const QString product = item.Text(0);
    const QString productCode = item.Text(1);
    const bool controlled = item.Text(2) == QLatin1String("S");
    const double toShip = item.Number(3);
    const QVariant warehouse = item.IsNull(4) ? QVariant() : QVariant(item.Text(4));
    const QVariant location = item.IsNull(5) ? QVariant() : QVariant(item.Text(5));
    const double readings = item.Number(6);
    if (!controlled)
        return Rpc::Failure(QStringLiteral("O produto %1 da %2 não é controlado por IUM.").arg(productCode, name));

    // The refusal of an IUM read already, on any invoice; empty when it is
    // not. Asked only when the scan is refused anyway, or stores nothing: it
    // comes before the other refusals, and the unique index keeps an IUM
    // from being stored twice.
    const auto readAlready = [&] {
        TSql previous(db, QStringLiteral("SELECT CDFILIAL, NRLANCTONF FROM LEITURAIUM WHERE CDGTIN = :GTIN AND NRSERIE = :NRSERIE"));
        previous.Bind(QStringLiteral(":GTIN"), code.Gtin).Bind(QStringLiteral(":NRSERIE"), code.Serial).Exec();
        if (!previous.Next())
            return QString();
        if (!visible.Contains(previous.Text(0)))
            return QStringLiteral("O IUM de GTIN %1 e série %2 já foi lido em outra filial.").arg(code.Gtin, code.Serial);
        return QStringLiteral("O IUM de GTIN %1 e série %2 já foi lido na %3.")
            .arg(code.Gtin, code.Serial, InvoiceName(previous.Text(0), previous.Text(1)));
    };
    const auto refuse = [&](const QString& refusal) {
        const QString already = readAlready();
        return Rpc::Failure(already.isEmpty() ? refusal : already);
    };
    if (readings + 1 > toShip)
        return refuse(QStringLiteral("A %1 já tem %2 leitura(s) do produto %3 para %4 a expedir.")
                          .arg(name)
                          .arg(readings)
                          .arg(productCode)
                          .arg(toShip));

    if (code.Expiry.isValid() && code.Expiry < ToQDate(state->Outgoing))
        return refuse(QStringLiteral("A validade %1 do IUM é anterior à data de saída %2 da %3.")
                          .arg(DateToStr(DateTimeFromQDate(code.Expiry)), DateToStr(state->Outgoing), name));

    TSql insert(db, QStringLiteral(
        "INSERT INTO LEITURAIUM (CDFILIAL, NRLANCTONF, CDPRODUTO, CDIUMPROD, CDGTIN, NRSERIE, CDALMOXARIFE,"
        "                        CDLOCALESTOQ, NRLOTEESTQ, NRSUBLOTE, DTVALILOTE, NRREGISTRO, DTLEITURA)"
        " VALUES (:CDFILIAL, :NRLANCTONF, :CDPRODUTO, :CDIUMPROD, :CDGTIN, :NRSERIE, :CDALMOXARIFE,"
        "         :CDLOCALESTOQ, :NRLOTEESTQ, NULL, :DTVALILOTE, :NRREGISTRO, :DTLEITURA)"
        " ON CONFLICT DO NOTHING"));
    BindInvoice(insert, branch, invoice)
        .Bind(QStringLiteral(":CDPRODUTO"), product)
        .Bind(QStringLiteral(":CDIUMPROD"), code.Code)
        .Bind(QStringLiteral(":CDGTIN"), code.Gtin)
        .Bind(QStringLiteral(":NRSERIE"), code.Serial)
        .Bind(QStringLiteral(":CDALMOXARIFE"), warehouse)
        .Bind(QStringLiteral(":CDLOCALESTOQ"), location)
        .Bind(QStringLiteral(":NRLOTEESTQ"), code.Lot.isEmpty() ? QVariant() : QVariant(code.Lot))
        .Bind(QStringLiteral(":DTVALILOTE"), code.Expiry.isValid() ? QVariant(code.Expiry) : QVariant())
        .Bind(QStringLiteral(":NRREGISTRO"), code.Registration.isEmpty() ? QVariant() : QVariant(code.Registration))
        .Bind(QStringLiteral(":DTLEITURA"), QDateTime::currentDateTime())
        .Exec();
    // The unique index holds the IUM once whatever the invoice: a reading of
    // the same IUM on another invoice, stored since the check above, makes the
    // insert wait for its commit and then store nothing.
    if (insert.RowsAffected() != 1) {
        const QString refusal = readAlready();
        return Rpc::Failure(refusal.isEmpty() ? QStringLiteral("O IUM de GTIN %1 e série %2 já foi lido.").arg(code.Gtin, code.Serial)
                                              : refusal);
    }
    rows = 1;
    Audit(db, TAuditEvent::Reading, branch, invoice, code.Code,
          QStringLiteral("Leitura do IUM de GTIN %1 e série %2 na %3").arg(code.Gtin, code.Serial, name));
    PublishChange(db, Rpc::Notice::Reading, branch, invoice, product, readings + 1);
    return Rpc::Success(QVariantList{product, readings + 1, toShip});
}
