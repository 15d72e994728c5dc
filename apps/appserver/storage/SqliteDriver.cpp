#include "SqliteDriver.h"

#include "metrics/ServerMetrics.h"
#include "rtl/Exceptions.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The kind of a failure, for the metrics.
QStringView Kind(int code)
{
    switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return u"busy";
    case SQLITE_CONSTRAINT: return u"constraint";
    case SQLITE_IOERR:
    case SQLITE_FULL:
    case SQLITE_CANTOPEN: return u"io";
    default: return u"error";
    }
}

[[noreturn]] void Fail(sqlite3* db, const char* what)
{
    Metrics::Server().StatementFailures.Add({Metrics::Sqlite, Kind(sqlite3_extended_errcode(db))});
    throw EDatabaseError(QStringLiteral("Erro no banco de dados (%1): %2")
                             .arg(QString::fromUtf8(what), QString::fromUtf8(sqlite3_errmsg(db))));
}

// A database file that does not exist yet is made here, empty (SQLite takes
// an empty file as a new database), readable and writable by its owner only,
// inside folders made for it the same way: it holds customers' tax numbers
// and the audit. SQLite gives its -wal and -shm files the database file's
// mode. What exists already is left as it is.
void CreateOwnerOnly(const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath();
    for (qsizetype slash = folder.indexOf(u'/', 1);; slash = folder.indexOf(u'/', slash + 1)) {
        ::mkdir(QFile::encodeName(slash < 0 ? folder : folder.left(slash)).constData(), 0700);  // EEXIST: kept
        if (slash < 0)
            break;
    }
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
}

class TSqliteStatement final : public TStatement {
public:
    TSqliteStatement(sqlite3* db, const QByteArray& sql) : db_(db)
    {
        if (sqlite3_prepare_v3(db, sql.constData(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr)
            != SQLITE_OK)
            Fail(db, "preparação");
    }
    ~TSqliteStatement() override { sqlite3_finalize(stmt_); }

    void BindNull(int index) override { Check(sqlite3_bind_null(Idle(), index)); }
    void BindText(int index, QByteArrayView utf8) override
    {
        Check(sqlite3_bind_text(Idle(), index, utf8.data() ? utf8.data() : "", int(utf8.size()), SQLITE_TRANSIENT));
    }
    void BindNumber(int index, double value) override { Check(sqlite3_bind_double(Idle(), index, value)); }

    // Runs to the first row, so that a failing change raises here.
    void Execute() override
    {
        Idle();
        running_ = true;
        pending_ = Advance();
        changes_ = pending_ ? 0 : sqlite3_changes64(db_);
    }
    bool Step() override
    {
        if (pending_) {
            pending_ = false;
            return true;
        }
        return Advance();
    }
    bool IsNull(int column) const override { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    // SQLite gives a null pointer for NULL only (an empty text is "").
    QByteArrayView Utf8(int column) const override
    {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return text ? QByteArrayView(text, sqlite3_column_bytes(stmt_, column)) : QByteArrayView();
    }
    double Number(int column) const override { return sqlite3_column_double(stmt_, column); }
    qint64 RowsAffected() const override { return changes_; }
    void Close() override { Idle(); }

private:
    // The statement, reset if it ran: SQLite binds only between runs.
    sqlite3_stmt* Idle()
    {
        if (running_) {
            sqlite3_reset(stmt_);
            running_ = false;
        }
        return stmt_;
    }
    bool Advance()
    {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            Fail(db_, "execução");
        return false;
    }
    void Check(int rc) const
    {
        if (rc != SQLITE_OK)
            Fail(db_, "parâmetro");
    }

    sqlite3* db_;
    sqlite3_stmt* stmt_ = nullptr;
    bool running_ = false;
    bool pending_ = false;
    qint64 changes_ = 0;
};

class TSqliteConnection final : public TConnection {
public:
    TSqliteConnection(const QString& path, int busyTimeoutMs, std::shared_ptr<TWalActivity> checkpoints)
        : checkpoints_(std::move(checkpoints))
    {
        CreateOwnerOnly(path);
        sqlite3* opened = nullptr;
        const int rc = sqlite3_open_v2(path.toUtf8().constData(), &opened,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
        handle_.reset(opened);  // closed however the constructor ends
        if (rc != SQLITE_OK)
            throw EDatabaseError(QStringLiteral("Erro no banco de dados (abertura de %1): %2")
                                     .arg(path, opened ? QString::fromUtf8(sqlite3_errmsg(opened))
                                                       : QString::fromUtf8(sqlite3_errstr(rc))));
        sqlite3_busy_timeout(db(), busyTimeoutMs);
        // FULL: a committed reading or confirmation survives a power cut (under
        // NORMAL a WAL commit may roll back).
        Execute("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON");
        if (checkpoints_) {
            // The pragma clears the hook that SQLite's own checkpoints use;
            // ours only reports the commit.
            Execute("PRAGMA wal_autocheckpoint=0");
            sqlite3_wal_hook(db(), &TSqliteConnection::Committed, checkpoints_.get());
        }
    }

    TEngine Engine() const override { return TEngine::Sqlite; }
    std::unique_ptr<TStatement> Prepare(const QByteArray& sql) override
    {
        return std::make_unique<TSqliteStatement>(db(), sql);
    }
    void Execute(const QByteArray& sql) override
    {
        if (sqlite3_exec(db(), sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            Fail(db(), sql.left(40).constData());
    }
    bool Broken() const override { return false; }

private:
    sqlite3* db() const { return handle_.get(); }
    static int Committed(void* activity, sqlite3*, const char*, int frames)
    {
        static_cast<TWalActivity*>(activity)->Frames = frames;
        return SQLITE_OK;
    }

    std::shared_ptr<TWalActivity> checkpoints_;  // declared first: outlives the handle
    std::unique_ptr<sqlite3, decltype(&sqlite3_close)> handle_{nullptr, sqlite3_close};
};

} // namespace

std::unique_ptr<TConnection> OpenSqlite(const QString& path, int busyTimeoutMs, std::shared_ptr<TWalActivity> checkpoints)
{
    return std::make_unique<TSqliteConnection>(path, busyTimeoutMs, std::move(checkpoints));
}
