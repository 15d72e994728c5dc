#pragma once
// A database's records written as import files (records/ImportFormat.h):
// one file per table, ';' between fields, UTF-8 without a byte-order mark,
// dates dd/mm/aaaa, quantities with a decimal comma, rows in key order.
// What it writes imports back to the same records, on either engine.
#include "storage/Database.h"

#include <QList>
#include <QString>

struct TExportCount {
    QString File;
    qint64 Rows = 0;
};

// Writes every table's file into `folder` (made when missing; files of the
// same names replaced), in one read transaction. Raises EDatabaseError for
// the database, and also, naming the file, when a file cannot be written.
QList<TExportCount> ExportFolder(TDatabase& db, const QString& folder);
