#pragma once
// The work list of "exp13000.rdmConfRastr" (GetDados) and the expedition and
// order lists (GetNrLancamento): SQL built from fixed fragments, every value
// bound as a parameter.
#include "data/DataPacket.h"
#include "data/PacketCodec.h"
#include "rtl/DateTime.h"
#include "storage/Database.h"

#include <QString>
#include <QList>
#include <optional>
#include <utility>

// Dates are compared by their date part, bounds included; 0 is an open bound.
struct TDateRanges {
    TDateTime OrderFrom, OrderTo;  // order date
    TDateTime OutFrom, OutTo;      // outgoing date
};

struct TWorkListFilter {
    QString Branch;
    QString Expedition;  // a number, or any (FilterNumber)
    QString Order;       // a number, or any (FilterNumber)
    TDateRanges Dates;
};

// The number a filter position holds, without the blanks around it; nothing
// when it holds none: blank, "T" or `word` (GetNrLancamento's "EXPEDICAO"
// and "PEDIDO"), those in upper case only.
std::optional<QString> FilterNumber(const QString& text, QLatin1String word = QLatin1String());

// In wire form: the work list is only sent.
struct TWorkList {
    TEncodedPacket Invoices;  // not yet confirmed, by number
    TEncodedPacket Items;     // by invoice, then product
    TEncodedPacket Readings;  // by invoice, product and time of reading
};

// One statement of the work list: its text (named parameters), the values
// to bind and the packet layout of its rows.
struct TWorkListStatement {
    QString Sql;
    QList<std::pair<QString, QVariant>> Values;
    QList<TFieldDesc> Fields;
};

// The three statements of the work list, in order: invoices, items, readings.
QList<TWorkListStatement> WorkListStatements(const TWorkListFilter& filter);

// Runs the three statements. The caller holds the read transaction that
// makes the three see one state of the database. Raises EDatabaseError.
TWorkList LoadWorkList(TDatabase& db, const TWorkListFilter& filter);

// GetNrLancamento. `kind` "EXP" lists the branch's expeditions that have
// invoices in the date ranges (only `expedition` when it holds a number,
// FilterNumber with "EXPEDICAO"); "PED" lists the orders likewise (`order`,
// "PEDIDO"). `status` "T" or blank: any separation status;
// "P", "A", "C": expeditions in that status (for "PED": orders with an invoice
// in an expedition in that status). Returns the packet, or sets `refusal`
// (and returns an empty packet) for an unknown kind or status.
TEncodedPacket LoadNumberList(TDatabase& db, const QString& branch, const QString& expedition, const QString& order,
                           const TDateRanges& dates, const QString& status, const QString& kind, QString& refusal);

// The item rows of one invoice as the checks see them: readings counted per
// product, status "" (product without IUM control), "S" (readings equal the
// quantity to ship) or "N". Layout::ReadingItems.
TDataPacket LoadInvoiceItems(TDatabase& db, const QString& branch, const QString& invoice);
