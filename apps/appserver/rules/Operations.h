#pragma once
// The write operations of "exp13000.rdmConfRastr". Each runs in one write
// transaction: all of it is recorded, or (on a refusal or an error) nothing.
// Each returns a result envelope: Rpc::Success, or Rpc::Failure with a
// Portuguese message naming the invoice or reading at fault. Database
// failures raise EDatabaseError. `rows` receives the number of rows changed.
#include "data/DataPacket.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

// setConfRastrOK: records the invoice as ready for traceability, when it
// exists, is not confirmed yet and is ready by the rule of the confirm
// button (at least one item; none with both quantities 0; none with status
// "N"). Audited.
QVariant ConfirmInvoice(QSqlDatabase db, const QString& branch, const QString& invoice, qint64& rows);

// deleteIUMProd: every row of the delta (fields CDFILIAL, NRLANCTONF,
// CDIUMPROD, and CDPRODUTO when present) must be an existing reading of an
// invoice not confirmed. Each deletion is audited.
QVariant DeleteReadings(QSqlDatabase db, const TDataPacket& delta, qint64& rows);

// setLeituraIUM: stores one scanned IUM for the invoice (see Gs1.h for the
// code), refusing a malformed code, a GTIN of no product of the invoice, a
// product without IUM control, an IUM already read anywhere, more readings
// than the quantity to ship, an expiry before the invoice's outgoing date and
// a confirmed invoice. Payload: [CDPRODUTO, readings of that product now,
// quantity to ship]. Audited.
QVariant StoreReading(QSqlDatabase db, const QString& branch, const QString& invoice, const QString& scan,
                      qint64& rows);
