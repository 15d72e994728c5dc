#pragma once
// The database engine's own time for a set of statements: the SQLite C
// library preparing each statement, binding its values, stepping every row
// and reading every column once, on its own read-only connection to the
// file. This is the least any server answering the same queries must spend,
// so benchmarks report their loads over it.
//
// Failures (the file cannot be opened, a statement is refused) raise
// std::runtime_error with SQLite's message.
#include "rules/WorkList.h"

struct sqlite3;

class TSqliteBaseline {
public:
    explicit TSqliteBaseline(const QString& databasePath);
    ~TSqliteBaseline();
    TSqliteBaseline(const TSqliteBaseline&) = delete;
    TSqliteBaseline& operator=(const TSqliteBaseline&) = delete;

    // Runs the statements in order inside one read transaction, each value
    // bound to its named parameter; returns the number of rows they produced.
    qint64 Run(const QList<TWorkListStatement>& statements);

private:
    sqlite3* db_ = nullptr;
};
