#pragma once
// What the checks of the write operations need to know of one invoice, and
// the audit record each write leaves. Both run inside the caller's
// transaction and raise EDatabaseError.
#include "rtl/DateTime.h"

#include "storage/Database.h"
#include <QString>
#include <optional>

class TSql;

// Binds an invoice's key, branch and invoice number, to the parameters
// :CDFILIAL and :NRLANCTONF of `sql`, the names every statement about one
// invoice uses. Returns `sql`, for the binds that follow.
TSql& BindInvoice(TSql& sql, const QString& branch, const QString& invoice);

struct TInvoiceState {
    bool Confirmed = false;
    TDateTime ConfirmedAt;
    TDateTime Outgoing;
};

// The invoice's state, its row locked until the transaction ends
// (TDatabase::ForUpdate). Every write rule about an invoice reads it first,
// so rules deciding on one invoice take turns, and each statement after the
// lock sees what the previous holder committed. A change about several
// invoices locks them in the order of their key (branch, then number), the one
// order every rule follows, so no two changes wait for each other in a circle.
std::optional<TInvoiceState> FindInvoice(TDatabase& db, const QString& branch, const QString& invoice);

// "Nota fiscal N da filial F": how every message names an invoice.
QString InvoiceName(const QString& branch, const QString& invoice);

// Audit events. Each record names the user db.User() holds.
enum class TAuditEvent : char { Confirmation = 'C', Deletion = 'E', Reading = 'L' };

void Audit(TDatabase& db, TAuditEvent event, const QString& branch, const QString& invoice, const QString& ium,
           const QString& description);
