#pragma once
// The server's database access: one connection per worker thread, a scoped
// transaction for every change, and a query wrapper that raises instead of
// returning flags. Every value reaches SQL as a bound parameter.
//
// SQLite is the embedded database: each connection runs in WAL mode (readers
// never wait for the writer) with a busy time-out, and a write transaction
// starts as IMMEDIATE so two writers queue on the busy handler instead of
// failing when one upgrades from reading to writing.
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

struct TDbConfig {
    QString Path;              // SQLite file
    int BusyTimeoutMs = 10000;
};

// The calling thread's connection to the configured database, opened on first
// use and closed when the thread ends. Raises EDatabaseError when it cannot
// be opened.
QSqlDatabase ThreadDatabase(const TDbConfig& config);

// A connection owned by the caller (the demo data builder, tests, benchmarks);
// closed and removed by the destructor.
class TOwnedDatabase {
public:
    explicit TOwnedDatabase(const TDbConfig& config);
    ~TOwnedDatabase();
    TOwnedDatabase(const TOwnedDatabase&) = delete;
    TOwnedDatabase& operator=(const TOwnedDatabase&) = delete;
    QSqlDatabase Db() const { return QSqlDatabase::database(name_, false); }

private:
    QString name_;
};

// One transaction: begun by the constructor, committed by Commit, rolled back
// by the destructor when not committed. `write` transactions take the write
// lock at once; read transactions give a consistent snapshot to several
// queries. Raises EDatabaseError when a statement fails.
class TScopedTransaction {
public:
    enum class TKind { Read, Write };
    TScopedTransaction(QSqlDatabase db, TKind kind);
    ~TScopedTransaction();
    TScopedTransaction(const TScopedTransaction&) = delete;
    TScopedTransaction& operator=(const TScopedTransaction&) = delete;
    void Commit();

private:
    QSqlDatabase db_;
    bool open_ = false;
};

// A prepared statement with named parameters; raises EDatabaseError with the
// driver's text on failure. Forward-only: rows are read once, in order.
class TSql {
public:
    TSql(QSqlDatabase db, const QString& text);
    TSql& Bind(const QString& name, const QVariant& value);
    TSql& Exec();
    bool Next() { return query_.next(); }
    QVariant Value(int column) const { return query_.value(column); }
    QSqlQuery& Query() { return query_; }
    int RowsAffected() const { return query_.numRowsAffected(); }

private:
    QSqlQuery query_;
};

// Runs one statement without parameters (schema, pragmas).
void ExecDirect(QSqlDatabase db, const QString& text);
