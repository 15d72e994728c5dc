#pragma once
// PostgreSQL's way of merging an import file: its good records copied into
// a staging table IMP_<table> (the table's columns without constraints, and
// NRLINHA, the record's line) by COPY FROM STDIN as they are read, then
// checked and merged with set-based statements. Every file of an import is
// loaded and checked before any is merged, so the checks see the database
// as it was before the import, and a reference is looked up in the parent
// table and in the parent's staging table. The staging tables are
// temporary, gone with the transaction.
#include "Importer.h"
#include "records/RecordReader.h"

class TStagedMerge {
public:
    TStagedMerge(TDatabase& db, const TImportTable& table, const QList<bool>& present, TProblems& problems);
    // Creates the staging table and copies the reader's good records in.
    void Load(TRecordReader& reader, TImportProgress* progress);
    // Keys repeated in the file, references found nowhere, and what the
    // check's records rest on (Importer.h, promise 3), into the problems.
    // `staged`: the tables loaded so far (their staging tables exist).
    void Check(const QList<const TImportTable*>& staged);
    // Updates the changed records, inserts the new ones.
    TImportCount Merge();

private:
    QString Staging() const;
    void Refuse(const QString& sql, int values, const char* column,
                const std::function<QString(const QStringList&)>& message);
    void Duplicates();
    void References(const QList<const TImportTable*>& staged);
    void Protect();

    TDatabase& db_;
    const TImportTable& table_;
    QList<bool> present_;
    TProblems& problems_;
    qint64 staged_ = 0;
};
