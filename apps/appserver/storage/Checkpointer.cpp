#include "Checkpointer.h"

#include "metrics/ServerMetrics.h"

#include <QDateTime>

#include <sqlite3.h>

#include <chrono>
#include <memory>

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
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, std::chrono::milliseconds(IntervalMs), [this] { return stopping_; })) {
        lock.unlock();
        // Once all of it is copied, the next writer starts the WAL again from
        // its head by itself: no checkpoint mode that blocks writers is needed.
        const int result = sqlite3_wal_checkpoint_v2(db.get(), nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        if (result == SQLITE_OK)
            Metrics::Server().LastCheckpoint.Set(QDateTime::currentSecsSinceEpoch());
        if (result != SQLITE_OK && result != SQLITE_BUSY)
            log_(QStringLiteral("checkpoint do banco %1 falhou: %2").arg(path_, QString::fromUtf8(sqlite3_errmsg(db.get()))));
        ++runs_;
        lock.lock();
    }
}
