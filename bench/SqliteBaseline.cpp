#include "SqliteBaseline.h"

#include "rules/WorkList.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <stdexcept>
#include <string>

namespace {

[[noreturn]] void fail(sqlite3* db, const char* what)
{
    throw std::runtime_error(std::string(what) + ": " + (db ? sqlite3_errmsg(db) : "sem memória"));
}

void check(sqlite3* db, int rc, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW)
        fail(db, what);
}

void bind(sqlite3* db, sqlite3_stmt* stmt, int index, const QVariant& value)
{
    switch (value.isNull() ? QMetaType::UnknownType : value.typeId()) {
    case QMetaType::UnknownType: check(db, sqlite3_bind_null(stmt, index), "bind"); break;
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::LongLong: check(db, sqlite3_bind_int64(stmt, index, value.toLongLong()), "bind"); break;
    case QMetaType::Double: check(db, sqlite3_bind_double(stmt, index, value.toDouble()), "bind"); break;
    default: {
        const QByteArray text = value.toString().toUtf8();
        check(db, sqlite3_bind_text(stmt, index, text.constData(), int(text.size()), SQLITE_TRANSIENT), "bind");
    }
    }
}

// Reads one column the way a server copying it onward must: its type, then
// the value in that type.
void touch(sqlite3_stmt* stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER: benchmark::DoNotOptimize(sqlite3_column_int64(stmt, column)); break;
    case SQLITE_FLOAT: benchmark::DoNotOptimize(sqlite3_column_double(stmt, column)); break;
    case SQLITE_NULL: break;
    default:
        benchmark::DoNotOptimize(sqlite3_column_text(stmt, column));
        benchmark::DoNotOptimize(sqlite3_column_bytes(stmt, column));
    }
}

} // namespace

TSqliteBaseline::TSqliteBaseline(const QString& databasePath)
{
    const QByteArray path = databasePath.toUtf8();
    // One thread uses it: no locking of SQLite's own on every call.
    if (sqlite3_open_v2(path.constData(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        const std::string message = db_ ? sqlite3_errmsg(db_) : "sem memória";
        sqlite3_close(db_);
        throw std::runtime_error("abrir " + path.toStdString() + ": " + message);
    }
}

TSqliteBaseline::~TSqliteBaseline() { sqlite3_close(db_); }

qint64 TSqliteBaseline::Run(const QList<TWorkListStatement>& statements)
{
    check(db_, sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr), "BEGIN");
    qint64 rows = 0;
    for (const TWorkListStatement& statement : statements) {
        const QByteArray text = statement.Sql.toUtf8();
        sqlite3_stmt* stmt = nullptr;
        check(db_, sqlite3_prepare_v2(db_, text.constData(), int(text.size()), &stmt, nullptr), "prepare");
        for (const auto& [name, value] : statement.Values)
            bind(db_, stmt, sqlite3_bind_parameter_index(stmt, name.toUtf8().constData()), value);
        const int columns = sqlite3_column_count(stmt);
        int rc;
        while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            for (int c = 0; c < columns; ++c)
                touch(stmt, c);
            ++rows;
        }
        sqlite3_finalize(stmt);
        check(db_, rc, "step");
    }
    check(db_, sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr), "COMMIT");
    return rows;
}
