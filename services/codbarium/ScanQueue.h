#pragma once
// TScanQueue: the station's durable queue of scans that could not reach the
// application server, in a small SQLite file of the user's own.
//
// One row per scan: its request identifier (the one the server will see,
// so a scan stored whose reply was lost is answered with its first outcome
// when sent again), branch, invoice, code, the time it was read, the user it
// was read under and the site (the server's address) it was meant for.
// Rows come back in the order they were added.
//
// Promises:
//   1. Add returns only once the row is on disk (synchronous=FULL): a scan
//      shown as pending survives the process being killed right after.
//   2. The file and its folder are the user's alone: the file is created
//      with mode 0600 (an existing one is set to 0600 on open), the folder
//      with 0700. SQLite gives its journal the file's mode.
//   3. A file that is not a readable queue (not SQLite, damaged, another
//      table layout) is never deleted: Open moves it aside, beside itself,
//      as NAME.ilegivel-YYYYMMDD-HHMMSS (its journal with it), starts an
//      empty queue and says so in Notice().
//
// Failures: Open, Add, Remove and the readers raise EDatabaseError with a
// Portuguese message naming the file. A closed queue holds nothing; Add on
// it raises. One object per thread; several objects (processes) may share a
// file: SQLite locks it, and a busy file is waited on for up to 5 s.
#include <QDateTime>
#include <QList>
#include <QString>

struct sqlite3;

struct TQueuedScan {
    qint64 Id = 0;      // set by Add: the row's place in the queue
    QString RequestId;  // rpc/Messages.h ValidRequestId
    QString Branch;
    QString Invoice;
    QString Code;       // as sent to setLeituraIUM
    QDateTime Time;     // when it was read (UTC)
    QString User;
    QString Site;       // "host:port" of the server it was meant for
};

class TScanQueue {
public:
    TScanQueue() = default;
    ~TScanQueue();
    TScanQueue(const TScanQueue&) = delete;
    TScanQueue& operator=(const TScanQueue&) = delete;

    // leituras-pendentes.db in the system's data folder (server/Defaults.h).
    static QString DefaultPath();

    // Opens (creating when needed) the queue at `path`; see promise 3.
    void Open(const QString& path = DefaultPath());
    void Close();
    bool IsOpen() const { return db_ != nullptr; }
    const QString& Path() const { return path_; }
    // What Open had to do that the user should know ("" when nothing): the
    // unreadable file moved aside, and where to.
    const QString& Notice() const { return notice_; }

    // Stores `scan` and sets its Id (promise 1).
    void Add(TQueuedScan& scan);
    // Removes the row `id`; nothing when it is gone already.
    void Remove(qint64 id);
    // The rows of one invoice, oldest first.
    QList<TQueuedScan> Pending(const QString& branch, const QString& invoice) const;
    // Every row, oldest first.
    QList<TQueuedScan> All() const;

private:
    // Opens `path_` and checks it is a queue; raises on failure.
    void OpenFile();
    QList<TQueuedScan> Select(const QString& where, const QStringList& values) const;
    [[noreturn]] void Fail(const QString& what) const;

    sqlite3* db_ = nullptr;
    QString path_;
    QString notice_;
};
