#pragma once
// TPgListener: one server's ear on the PostgreSQL database it shares with
// other servers. A thread of its own holds a libpq connection that LISTENs
// on NoticeChannel (Database.h) and sends this server's own notices (NOTIFY
// outside any change); every notice any server sends, this one's included,
// reaches `Heard` on the thread that made the object (the server's event
// loop), in the order the database took them. A change's notice is sent
// once its change has committed (TDatabase::Publish), so an uncommitted
// change is never heard; notices of two servers' changes may arrive in
// another order than their commits.
//
// Nothing the database does can hold the owner's thread: the connection is
// made and every statement awaited on the listener's thread, within the
// bounds of PgBoundedUri (PgDriver.h) and AnswerMs. When the link drops or
// stops answering (a restarted database, a failover, frozen processes) it
// connects again every RetryMs; notices committed meanwhile are lost, so
// `Resumed` runs once it listens again, for the owner to tell its
// subscribers. A link quiet for PingMs is asked a trivial statement, so a
// database that went silent is found even when no one speaks. Failures go
// to `Log`. Every handler runs on the owner's thread; none is raised.
//
// The destructor stops the thread, waiting for it at most StopWaitMs: one
// still connecting to a silent host is left to end by itself, and touches
// nothing of the owner's after that.
#include "Database.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <thread>

class TPgListener : public QObject {
public:
    static constexpr int RetryMs = 2000;
    static constexpr int AnswerMs = ServerStatementTimeoutMs;
    static constexpr int PingMs = 5000;
    static constexpr int StopWaitMs = 500;
    // This server's own notices waiting for the link; one more is dropped.
    static constexpr int MaxWaiting = 1024;

    struct THandlers {
        std::function<void(const QByteArray&)> Heard;
        std::function<void()> Resumed;
        std::function<void(const QString&)> Log;
    };

    TPgListener(QString conninfo, THandlers handlers, QObject* parent = nullptr);
    ~TPgListener() override;

    // Starts the thread, which connects and listens (Listening tells when).
    void Start();
    // Queues a notice for every listener (this one too) outside any change:
    // for what is not a change of the data (a station's presence). Returns
    // at once; false when the link is down or MaxWaiting notices wait
    // already: the notice is then lost.
    bool Send(const QByteArray& payload);
    bool Listening() const;

    struct TShared;  // what the thread shares with the owner (PgListener.cpp)

private:
    std::shared_ptr<TShared> shared_;
    std::thread thread_;
};
