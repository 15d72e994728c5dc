#pragma once
// The database engine's own time for a set of statements: the SQLite C
// library preparing each statement, binding its values, stepping every row
// and reading every column once, on its own read-only connection to the
// file. This is the least any server answering the same queries must spend,
// so benchmarks report their loads over it.
//
// Failures (the file cannot be opened, a statement is refused) raise
// std::runtime_error with SQLite's message.
#include <QString>
#include <QVariantList>

#include <vector>

struct sqlite3;

// A statement as the server runs it: its text and the values of its
// placeholders in the order they appear in the text (null QVariant = NULL;
// numbers bind as numbers, anything else as the text QVariant gives).
struct TSqlStatement {
    QString Text;
    QVariantList Values;
};

class TSqliteBaseline {
public:
    explicit TSqliteBaseline(const QString& databasePath);
    ~TSqliteBaseline();
    TSqliteBaseline(const TSqliteBaseline&) = delete;
    TSqliteBaseline& operator=(const TSqliteBaseline&) = delete;

    // Runs the statements in order inside one read transaction; returns the
    // number of rows they produced.
    qint64 Run(const std::vector<TSqlStatement>& statements);

private:
    sqlite3* db_ = nullptr;
};

struct TWorkListFilter;
// The three statements of the work list exactly as the application server
// runs them for `filter` (captured from the server's own query code on the
// database at `databasePath`).
std::vector<TSqlStatement> WorkListStatements(const QString& databasePath, const TWorkListFilter& filter);
