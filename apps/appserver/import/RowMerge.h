#pragma once
// SQLite's way of merging an import file: each good record checked and
// written as it is read, by statements prepared once per file, in the
// import's one transaction (SQLite's write transaction holds the whole
// database, so nothing changes under it). Files come parents first, so a
// reference is looked up in the table itself, where the parents of this
// import already are; readings come last, so the readings an item or a
// product is checked against are those from before the import; an invoice
// inserted by this import is known by its rowid, above those before.
//
// A new record costs one insert: the schema's foreign keys check its
// references (the import looks into a refusal only, to name what is
// missing), and a key repeated in the file finds the row inserted by its
// first occurrence, known by its rowid, above those the table had before.
// Only the keys of records that were there before the import and are met
// again are kept, in a temporary table that goes with the transaction.
#include "Importer.h"
#include "records/RecordReader.h"

#include <QHash>

#include <memory>
#include <vector>

class TRowMerge {
public:
    // `invoicesBefore`: NOTAFISCAL's largest rowid before the import.
    TRowMerge(TDatabase& db, const TImportTable& table, const QList<bool>& present, TProblems& problems,
              qint64 invoicesBefore);
    ~TRowMerge();
    // Checks the record and, when it passes, inserts or updates its row;
    // what fails goes to the problems. Raises EDatabaseError.
    void Write(const TCheckedRecord& record);
    const TImportCount& Count() const { return count_; }

private:
    struct TPrepared;
    std::unique_ptr<TPrepared> Prepare(const QString& sql);
    bool Run(TPrepared& statement, const TCheckedRecord& record);  // true when it gave a row
    void Report(qint64 line, const char* column, const QString& problem);
    bool Repeated(const TCheckedRecord& record);
    void Refused(const TCheckedRecord& record, const EDatabaseError& error);
    bool ReferencesExist(const TCheckedRecord& record);
    bool ItemAllowed(const TCheckedRecord& record);
    void WriteExisting(const TCheckedRecord& record);

    TDatabase& db_;
    const TImportTable& table_;
    TProblems& problems_;
    qint64 invoicesBefore_;
    QString seenTable_;
    TImportCount count_;
    qint64 rowsBefore_ = 0;  // the table's largest rowid before this file
    std::unique_ptr<TPrepared> seen_, rowid_, insert_, differs_, update_, invoice_, item_, productRead_;
    std::vector<std::unique_ptr<TPrepared>> references_;
    // ITEMNOTA: the last invoice's state, items coming invoice by invoice.
    QByteArray invoiceKey_;
    bool invoiceConfirmed_ = false, invoiceRead_ = false;
};
