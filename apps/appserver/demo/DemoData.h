#pragma once
// A realistic demo data set, so that a new installation shows a work list at
// once and a benchmark can ask for a large one. At scale 1: 3 branches (one
// keeping stock by warehouse and location, one by neither, one by warehouse
// only), about 50 invoices over the last four weeks with 10 items each and
// 10 IUM readings per item on average; scale N multiplies invoices, items and
// readings by N (scale 100: about 5,000 invoices, 50,000 items, 500,000
// readings). Expeditions come in every status, customers of both person
// types, products with valid GTIN-13/14 check digits, some not IUM-controlled;
// invoices are complete and confirmable, incomplete, or already confirmed.
//
// The generator is deterministic for a given scale and day. Demo rows are the
// starting state, not events: they leave no audit records.
#include <QDate>
#include "storage/Database.h"

struct TDemoSummary {
    qint64 Invoices = 0, Items = 0, Readings = 0;
};

// Fills an empty schema. Raises EDatabaseError (also when it is not empty).
TDemoSummary CreateDemoData(TDatabase& db, int scale, const QDate& today = QDate::currentDate());
