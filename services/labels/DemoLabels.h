#pragma once
// The demo sheet of an invoice: a label for every IUM its items still lack,
// so that a new user with a real scanner can fill the invoice, and four
// labels made wrong on purpose, one for each refusal a site meets most.
// Read in the sheet's order, each gets the answer its note gives:
//   expired           an item's GTIN with an expiry before the invoice's
//                     outgoing date (refused while the item takes readings);
//   unknown GTIN      a GTIN of no product;
//   wrong check digit an item's GTIN with its last digit changed (drawn
//                     without zint's checks, which would refuse it);
//   then the good labels;
//   read twice        the first good label again.
// New serials are "RD", the invoice number and the label's number, which no
// demo reading has; each good label expires two years after the invoice's
// outgoing date.
//
// Reads the database the application server uses (tables NOTAFISCAL,
// ITEMNOTA, PRODUTO, LEITURAIUM) through `db`, which the caller owns and has
// open; every value is a bound parameter.
// Failure: raises EDatabaseError with the database's message, and Exception
// when the invoice does not exist, is confirmed, or lacks no IUM.
#include "LabelSheet.h"

#include <QSqlDatabase>

struct TDemoSheet {
    QString Branch, Invoice;
    QList<TSheetLabel> Labels;  // in the order above
    int Good = 0;          // how many are good (not Wrong)
};

// The labels of `invoice` of `branch`; an empty `branch` is the database's
// first (lowest code), an empty `invoice` the first of the branch (by
// number) that is not confirmed and lacks IUMs.
TDemoSheet DemoSheet(const QSqlDatabase& db, const QString& branch, const QString& invoice);

// Writes the sheet to `fileName` (LabelSheet.h), headed with its invoice.
void WriteDemoSheet(const TDemoSheet& sheet, const QString& fileName);
