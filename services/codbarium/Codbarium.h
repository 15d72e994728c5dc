#pragma once
// Codbarium: the host framework's barcode readings.
//
// CriaLeituraIUM runs the IUM reading screen (TfrmLeituraIUM,
// IumReadingForm.h) for invoice `invoice` of branch `branch`, over
// `connection` (a connection to "exp13000.rdmConfRastr", which the caller
// owns), and returns once the user has closed it. Every reading the screen
// accepted is stored on the server by then: each scan is stored as it is
// read, or, while the server is out of reach, kept in the station's queue
// until it is (IumReadingForm.h, "Without the server"); a kept scan is not
// counted. Returns the number of readings accepted and not undone on the
// screen; a caller may ignore it.
//
// Raised before anything is shown:
//   Exception         the invoice number is empty or blank, or no connection;
//   EServerError      the server refuses the invoice's items (an unknown
//                     invoice, one without items) or its reply is not a
//                     packet of items;
//   EConnectionError  the server cannot be reached.
//
// The modal run goes through the dialog service (Dialogs().Reading) with the
// form, already shown with the focus in its scan field, as the request's
// Context and {"CDFILIAL": branch, "NRLANCTONF": invoice} as its Arguments.
// The interactive service's reading hook, registered here on first use,
// waits until the form is closed; a scripted one may type scans into it and
// close it. Should the service return with the form still open, it is closed.
#include <QString>
#include <QVariant>

class TNetConnection;

namespace Codbarium {

QVariant CriaLeituraIUM(const QString& branch, const QString& invoice, TNetConnection* connection);

// What the host says at its start about this station's queue of scans kept
// while the server was out of reach (ScanQueue.h), "" when there is nothing
// to say: how many wait, for which invoices, and that each invoice's reading
// sends its own when it is opened; that an unreadable queue file was moved
// aside, and where. Never raises: a queue that cannot be opened is told too.
QString QueuedScansNote();

// Runs the scanner check (TfrmTestaLeitor, ScannerCheckForm.h) the same
// way: through Dialogs().Reading, with the form, shown with the focus in its
// field, as Context and {"TESTELEITOR": true} as Arguments. Needs no
// connection and stores nothing. Returns true when the last scan found the
// scanner ready, else false.
QVariant TestaLeitor();

} // namespace Codbarium
