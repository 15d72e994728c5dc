#pragma once
// A file's good records into its staging table IMP_<table>: the table's
// columns, without constraints, and NRLINHA, the record's line, so that a
// problem found there by a set-based statement names its line. Made in the
// import's transaction, gone with it (dropped before the commit).
//
// SQLite: one prepared insert stepped per record. PostgreSQL: COPY FROM
// STDIN, the records written in COPY's text format as they are read.
#include "Importer.h"
#include "records/ImportFormat.h"
#include "records/RecordReader.h"

// Creates the staging table and loads it; the count of records loaded.
// Raises EDatabaseError.
qint64 LoadStaging(TDatabase& db, const TImportTable& table, TRecordReader& reader, TImportProgress* progress);
