#pragma once
// What tests and benchmarks look up in an application server's database
// before they call it, read in process through the server's own storage and
// rules. Raises EDatabaseError.
#include "data/DataPacket.h"
#include "storage/Database.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <utility>

// The unconfirmed invoices of `branch`, by number, split by whether the
// server would confirm them now (its own item list, ConfirmationRule).
void SplitInvoices(TDatabase& db, const QString& branch, QStringList& ready, QStringList& notReady);

// An IUM-controlled item of an unconfirmed invoice with units not yet read.
struct TOpenItem {
    QString Invoice;
    QString Gtin14;  // as a scan carries it
    int Free = 0;    // units without a reading
};

// The open items of `branch`, by invoice and product.
QList<TOpenItem> OpenItems(TDatabase& db, const QString& branch);

// A deletion delta (CDFILIAL, NRLANCTONF, CDIUMPROD) of readings of
// `branch`, each given as its invoice and CDIUMPROD.
TDataPacket ReadingsDelta(const QString& branch, const QList<std::pair<QString, QString>>& readings);

// A scan of the IUM of GTIN `gtin14` and serial `serial`, as a scanner types it.
QString IumScan(const QString& gtin14, const QString& serial);
