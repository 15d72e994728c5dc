#pragma once
// One import file read and checked record by record, without a database:
// the header against the table's columns, each record's width, each field
// against its column (FieldValues.h), and what holds between the fields of
// one record (a CPF for a person, a CNPJ for a company). Every problem goes
// to the TProblems given, and a record with a problem is skipped, so the
// records handed out are the good ones.
//
// Used by the import and by its fuzz target; raises nothing.
#include "CsvReader.h"
#include "FieldValues.h"
#include "ImportFormat.h"
#include "Problems.h"

#include <QList>

struct TCheckedRecord {
    qint64 Line = 0;
    QList<TFieldValue> Values;  // one per column of the table; an absent column holds its default
};

class TRecordReader {
public:
    // Reads `device` (open, not owned) as the table's file.
    TRecordReader(const TImportTable& table, QIODevice& device, TProblems& problems);

    // Reads the header. False when the file has none, or lacks a required
    // column, or names one twice or one the table lacks (problems say which).
    bool Open();
    // Whether the file has the column (by the table's index).
    bool Present(int column) const { return present_.at(column); }
    // The next good record; false at the end of the file or at an error
    // that ends its reading (an unbalanced quote, ...), reported.
    bool Next(TCheckedRecord& record);
    qint64 BytesRead() const { return csv_.BytesRead(); }
    // Records read, good or not.
    qint64 Records() const { return records_; }

private:
    bool Check(const TCsvRecord& raw, TCheckedRecord& record);
    void Report(qint64 line, const QString& column, const QString& problem);

    const TImportTable& table_;
    TProblems& problems_;
    TCsvReader csv_;
    QString file_;
    QList<int> positions_;  // per column of the file: the table's column index
    QList<bool> present_;   // per column of the table
    qint64 records_ = 0;
    bool ended_ = false;
};
