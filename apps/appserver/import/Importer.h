#pragma once
// A site's own records imported from a folder of CSV files (the format:
// records/ImportFormat.h, docs/import.md), all or nothing.
//
// Promises:
//  1. One import is one transaction: with any problem nothing is written.
//     A check (TImportMode::Check) runs every step and rolls back.
//  2. Rows are matched on their keys: a row equal to its record changes
//     nothing, a changed row updates it (only the columns its file has),
//     a new one is inserted; a record absent from the folder stays.
//  3. What the check produced is never changed: readings are only ever
//     added, confirmations and the audit are not imported, and a row that
//     would change what a reading or a confirmation rests on (an item of an
//     invoice with readings, any row of a confirmed invoice, the GTIN of a
//     product read) is refused with its own message.
//  4. Memory does not grow with the files: records stream from the file
//     into the database, one at a time. SQLite: each is checked and
//     written by prepared statements as it is read (RowMerge.h).
//     PostgreSQL: they are copied into staging tables (COPY), then checked
//     and merged with set-based statements (StagedMerge.h).
//
// Files are read in the format's order, parents first; a file absent from
// the folder is skipped, and a file the format does not know is a problem.
#include "records/Problems.h"
#include "storage/Database.h"

#include <QList>
#include <QString>

enum class TImportMode { Write, Check };

struct TImportCount {
    QString File;
    qint64 Inserted = 0, Updated = 0, Unchanged = 0;
};

// What a progress display hears; called on the importing thread.
class TImportProgress {
public:
    virtual ~TImportProgress() = default;
    virtual void FileStarted(const QString& file, qint64 bytes) = 0;
    virtual void Advanced(qint64 records, qint64 bytesRead) = 0;
    virtual void FileDone() = 0;
};

struct TImportResult {
    TProblems Problems;
    QList<TImportCount> Counts;  // per file read, in order
    bool Written = false;        // committed
};

// PostgreSQL: raises EDatabaseError, saying whom to import as, unless the
// connection's role owns the schema's tables (or is a member of the owner,
// or a superuser). An import changes every table; the stations' and the
// servers' roles may not. Nothing on SQLite.
void CheckImporter(TDatabase& db);

// Imports `folder` into `db` (its schema up to date), CheckImporter first.
// Raises EDatabaseError when the database fails; the files' problems are
// in the result.
TImportResult ImportFolder(TDatabase& db, const QString& folder, TImportMode mode,
                           TImportProgress* progress = nullptr);
