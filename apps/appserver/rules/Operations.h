#pragma once
// The rules of "exp13000.rdmConfRastr": the write operations below, the work
// list they are read back through (WorkList.h) and the modules that offer
// them (Modules.h).
//
// What the server promises, whatever a client sends:
//
//   (1) All or nothing. Every operation that changes data runs in one write
//       transaction (RunChange, Changes.h, which opens it and commits it):
//       on a refusal or an error nothing of it is recorded.
//   (2) The server re-checks. A client's view may be stale or forged: every
//       condition of a change is checked again inside its transaction, and a
//       change that breaks one is refused (an invoice confirmed twice, a
//       reading deleted twice, a confirmation of an invoice that is not
//       ready, a scan for a confirmed invoice).
//   (3) Refusals are answers, not faults: a refused operation returns
//       Rpc::Failure with a Portuguese message that names the invoice or the
//       reading at fault ("nota fiscal N da filial F", InvoiceName). Database
//       failures raise EDatabaseError, which the dispatcher turns into a
//       fault.
//   (4) An invoice is ready for traceability when it has at least one item,
//       none with both the quantity to ship and the quantity read at 0 and
//       none with the status "N": the rule of the screen's confirm button.
//   (5) One IUM is read once: the same GTIN and serial are refused on any
//       invoice, and an item never has more readings than its quantity to
//       ship.
//   (6) Every change leaves its audit record (Audit, one per confirmation,
//       deleted reading and stored reading) in the same transaction; the demo
//       data, a starting state, leaves none.
//   (7) The three packets of the work list come from one read transaction,
//       so they show one state of the data.
//   (8) Every value reaches SQL as a bound parameter; an invoice's key always
//       through BindInvoice (InvoiceState.h).
//   (9) No rule relies on a single writer. Each change first locks the
//       invoices it decides on, in key order (FindInvoice, InvoiceState.h),
//       and the unique index holds an IUM once; so several servers on one
//       PostgreSQL database give the result of running the changes one after
//       the other. A change the database ends for a conflict all the same
//       (a deadlock) is run again, then refused; it is never a fault.
//  (10) A request sent again is answered, not run again. A change that
//       carries the client's request identifier records its outcome with it
//       (RequestLog.h), refusals included; the same identifier again gets
//       that first outcome and changes nothing, so a client that lost the
//       reply may send it again. A change whose database link broke runs
//       again on a new one when it cannot have been recorded (Changes.h).
//
// Each operation runs inside the caller's open write transaction and
// returns a result envelope: Rpc::Success, or Rpc::Failure (3), after which
// the caller rolls the transaction back. `rows` receives the number of rows
// changed.
#include "data/DataPacket.h"

#include "storage/Database.h"
#include "transport/Principal.h"
#include <QString>
#include <QVariant>

// setConfRastrOK: records the invoice as ready for traceability, when it
// exists, is not confirmed yet and is ready (4). Audited.
QVariant ConfirmInvoice(TDatabase& db, const QString& branch, const QString& invoice, qint64& rows);

// deleteIUMProd: every row of the delta (fields CDFILIAL, NRLANCTONF,
// CDIUMPROD, and CDPRODUTO when present) must be an existing reading of an
// invoice not confirmed. Each deletion is audited.
QVariant DeleteReadings(TDatabase& db, const TDataPacket& delta, qint64& rows);

// setLeituraIUM: stores one scanned IUM for the invoice (see Gs1.h for the
// code), refusing a malformed code, a GTIN of no product of the invoice, a
// product without IUM control, an IUM already read anywhere, more readings
// than the quantity to ship, an expiry before the invoice's outgoing date and
// a confirmed invoice. Payload: [CDPRODUTO, readings of that product now,
// quantity to ship]. Audited. An IUM read already on an invoice of a branch
// not in `visible` (the caller's) is refused without naming that invoice.
QVariant StoreReading(TDatabase& db, const QString& branch, const QString& invoice, const QString& scan,
                      const TBranches& visible, qint64& rows);
