#pragma once
// The confirmed invoices of the database as shipping events (ShippingEvent.h),
// and documents of them (EventDocument.h) written as a stream.
//
// How the event names things:
//   - a unit read: its Digital Link URI (DigitalLink.h); an item whose
//     product carries no unit marks: its product's URI and its quantity;
//   - the branch: by its GLN (FILIAL.NRGLN) as party (/417/) and place
//     (/414/); without one, by {prefix}filial/{code}, the prefix being the
//     site's (TEventNaming);
//   - the customer: {prefix}cliente/{code} (the database holds no GLN of it);
//   - the invoice and the order, as business transactions of the CBV types
//     inv and po: urn:epcglobal:cbv:bt:{branch GLN}:{number}, or
//     {prefix}filial/{code}/nf/{number} and .../pedido/{number}.
// Codes and numbers are percent-encoded inside the URIs.
//
// Failure: EConvertError, in Portuguese, naming the invoice, for an event
// that cannot be formed (a branch with neither GLN nor prefix, a customer
// without prefix, a GTIN or serial that forms no Digital Link URI);
// EDatabaseError from the database.
#include "ShippingEvent.h"

#include "storage/Database.h"

#include <QDate>
#include <QIODevice>
#include <QString>

#include <functional>

struct TEventNaming {
    // An absolute URI ending in '/', e.g. "https://rastreio.example.com.br/";
    // "" when the site set none.
    QString Prefix;
};

struct TInvoiceEvent {
    TShippingEvent Event;
    QList<TUnitMasterData> Units;
};

// The event of a confirmed invoice, in the caller's transaction. Raises
// EConvertError also for an invoice that is not confirmed.
TInvoiceEvent LoadShippingEvent(TDatabase& db, const TEventNaming& naming, const QString& branch,
                                const QString& invoice);

// Which confirmations an export takes: those of the branch confirmed on the
// days From to To (either may be invalid: no bound), or the one invoice.
struct TEventRange {
    QString Branch;
    QDate From;
    QDate To;
    QString Invoice;  // "" for every invoice of the range
};

// Writes one document with the events of the range to `out`, in the order
// of the confirmations, reading the invoices a page at a time (memory does
// not grow with their number); `progress(written, total)` is called after
// each event. Returns the number of events. Raises EConvertError for an
// event that cannot be formed, for a device that takes no more, and
// ("Não há conferências de rastreio ...") for a range with none; the
// document is then incomplete. Runs in the caller's read transaction.
int WriteEventDocument(TDatabase& db, const TEventNaming& naming, const TEventRange& range, QIODevice& out,
                       const std::function<void(int written, int total)>& progress = nullptr);

// One piece of the same document, for a client that writes it as it comes
// (the host's export): the bytes that follow `cursor` ("" for the first
// piece), covering up to `invoices` confirmations. The cursor of the next
// piece comes back, "" once the document is whole. Written counts the
// events written so far, Total those of the range. Raises as
// WriteEventDocument does, and for a cursor this function did not make.
struct TEventPage {
    QByteArray Bytes;
    QString Cursor;
    int Written = 0;
    int Total = 0;
};
TEventPage WriteEventPage(TDatabase& db, const TEventNaming& naming, const TEventRange& range, const QString& cursor,
                          int invoices);
