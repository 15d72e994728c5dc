#pragma once
// The server's thin interface to its database, with one driver per engine on
// the engine's own client library (SqliteDriver.h, PgDriver.h). Values cross
// it as UTF-8 bytes, numbers or null: a row goes from the driver's buffers
// into a packet without a QVariant or a UTF-16 copy on the way.
//
// A connection belongs to one thread. Every failure raises EDatabaseError
// with the engine's own message.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "rtl/Exceptions.h"

#include <memory>

enum class TEngine { Sqlite, Postgres };

// One prepared statement. Parameters are numbered from 1 in the order the
// connection's Prepare reports; a bound value stays until bound again.
// Execute runs the statement; its rows are then read by Step, and a column's
// value is valid until the next Step or Execute.
class TStatement {
public:
    virtual ~TStatement() = default;
    virtual void BindNull(int index) = 0;
    virtual void BindText(int index, QByteArrayView utf8) = 0;
    virtual void BindNumber(int index, double value) = 0;
    virtual void Execute() = 0;
    // The next row; false after the last.
    virtual bool Step() = 0;
    virtual bool IsNull(int column) const = 0;
    // The value as text; a null value gives a view without data (data() is
    // nullptr), an empty text one with data, so text columns need no IsNull.
    virtual QByteArrayView Utf8(int column) const = 0;
    virtual double Number(int column) const = 0;
    // Rows changed by the last Execute of an INSERT, UPDATE or DELETE.
    virtual qint64 RowsAffected() const = 0;
    // Ends the run: frees its rows and lets go of what it holds in the
    // database (an unfinished SQLite statement keeps its read snapshot).
    virtual void Close() = 0;
};

class TConnection {
public:
    virtual ~TConnection() = default;
    virtual TEngine Engine() const = 0;
    // Prepares `sql`, whose parameters are the engine's numbered ones (?1 in
    // SQLite, $1 in PostgreSQL; TSql, Database.h, writes them from names).
    virtual std::unique_ptr<TStatement> Prepare(const QByteArray& sql) = 0;
    // Runs statements without parameters or rows (schema, transactions).
    virtual void Execute(const QByteArray& sql) = 0;
    // Whether the link to the database is gone (a restarted server), so the
    // connection must be opened again.
    virtual bool Broken() const = 0;
};

// The connection to the database was lost while serving, or could not be
// opened again. Message() is what the client is told (ours, in Portuguese);
// Detail, the driver's own text, goes to the log only. The next operation
// opens a new connection. AtCommit: the link broke while a COMMIT was on its
// way, so the transaction may have been recorded whole; lost at any other
// statement, nothing of it was.
class EDatabaseLost : public EDatabaseError {
public:
    EDatabaseLost(const QString& message, QString detail) : EDatabaseError(message), Detail(std::move(detail)) {}
    QString Detail;
    bool AtCommit = false;
};

// The database ended the transaction for a conflict with another one running
// at the same moment (PostgreSQL's deadlock or serialization failure): nothing
// of it was recorded, and running it again may succeed.
EXP_DECLARE_EXCEPTION(EDatabaseConflict, EDatabaseError)
