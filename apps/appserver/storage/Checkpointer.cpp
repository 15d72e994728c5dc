#include "Checkpointer.h"

#include "metrics/ServerMetrics.h"

#include <QDateTime>
#include <QElapsedTimer>

#include <sqlite3.h>

#include <chrono>
#include <utility>

TCheckpointer::TCheckpointer(QString path, std::function<void(const QString&)> log)
    : path_(std::move(path))
    , log_(std::move(log))
    , thread_([this] { Loop(); })
{
}

TCheckpointer::~TCheckpointer()
{
    Stop();
}

void TCheckpointer::Stop()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void TCheckpointer::Loop()
{
    sqlite3* opened = nullptr;
    const int rc = sqlite3_open_v2(path_.toUtf8().constData(), &opened, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                                   nullptr);
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(opened, sqlite3_close);
    if (rc != SQLITE_OK) {
        log_(QStringLiteral("checkpoints do banco %1 desligados: %2").arg(path_, QString::fromUtf8(sqlite3_errstr(rc))));
        return;
    }
    sqlite3_exec(db.get(), "PRAGMA wal_autocheckpoint=0", nullptr, nullptr, nullptr);
    // A connection finds the WAL at its first read; until then a checkpoint
    // on it has no WAL to copy and does nothing, successfully.
    char* error = nullptr;
    if (sqlite3_exec(db.get(), "SELECT 1 FROM sqlite_schema LIMIT 1", nullptr, nullptr, &error) != SQLITE_OK) {
        log_(QStringLiteral("checkpoints do banco %1 desligados: %2").arg(path_, QString::fromUtf8(error)));
        sqlite3_free(error);
        return;
    }
    sqlite3_stmt* versionStatement = nullptr;
    sqlite3_prepare_v2(db.get(), "PRAGMA data_version", -1, &versionStatement, nullptr);
    const std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> version(versionStatement, sqlite3_finalize);
    // What was committed by anyone since the last look changes data_version.
    auto committed = [&version, last = sqlite3_int64(-1)]() mutable {
        sqlite3_int64 now = last;
        if (version && sqlite3_step(version.get()) == SQLITE_ROW)
            now = sqlite3_column_int64(version.get(), 0);
        sqlite3_reset(version.get());
        return std::exchange(last, now) != now;
    };
    bool waiting = true;  // committed to since the last checkpoint
    QElapsedTimer quiet;  // since the last commit seen
    quiet.start();
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(TurnMs), [this] { return stopping_; })) {
        lock.unlock();
        if (committed()) {
            waiting = true;
            quiet.restart();
        }
        if (waiting && (quiet.elapsed() >= IdleMs || activity_->Frames >= MaxWalFrames)) {
            QElapsedTimer took;
            took.start();
            int logged = 0;
            int copied = 0;
            const int result = sqlite3_wal_checkpoint_v2(db.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE, &logged, &copied);
            if (result == SQLITE_OK)
                Metrics::Server().LastCheckpoint.Set(QDateTime::currentSecsSinceEpoch());
            if (result != SQLITE_OK && result != SQLITE_BUSY)
                log_(QStringLiteral("checkpoint do banco %1 falhou: %2").arg(path_, QString::fromUtf8(sqlite3_errmsg(db.get()))));
            // What a reader still needs stays for the next turn.
            waiting = result != SQLITE_OK || copied < logged;
            if (!waiting)
                activity_->Frames = 0;
            if (took.elapsed() >= SlowMs)
                log_(QStringLiteral("checkpoint do banco %1: %2 de %3 páginas do WAL copiadas em %4 ms")
                         .arg(path_)
                         .arg(copied)
                         .arg(logged)
                         .arg(took.elapsed()));
            ++runs_;
        }
        lock.lock();
    }
}
