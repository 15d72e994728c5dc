#pragma once
// TPgListener: one server's ear on the PostgreSQL database it shares with
// other servers. It holds a libpq connection of its own that LISTENs on
// NoticeChannel (Database.h), watched by a socket notifier on the thread
// that made the object (the server's event loop): every notice any server
// commits, this one's included, reaches `heard` there, in commit order.
// NOTIFY travels only with a committed transaction, so an uncommitted
// change is never heard.
//
// When the link drops (a restarted database, a failover) it connects again
// every RetryMs; notices committed meanwhile are lost, so `resumed` runs once
// it listens again, for the owner to tell its subscribers. Failures go to
// `log`; none is raised after Start.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class QSocketNotifier;
struct pg_conn;

class TPgListener : public QObject {
public:
    static constexpr int RetryMs = 2000;

    struct THandlers {
        std::function<void(const QByteArray&)> Heard;
        std::function<void()> Resumed;
        std::function<void(const QString&)> Log;
    };

    TPgListener(QString conninfo, THandlers handlers, QObject* parent = nullptr);
    ~TPgListener() override;

    // Connects and listens; false with `error` set when that fails, and it
    // tries again every RetryMs.
    bool Start(QString& error);
    // Notifies every listener (this one too) outside any change: for what is
    // not a change of the data (a station's presence). It waits for the
    // database's answer on the calling thread (one short statement). False
    // when the link is down; the notice is then lost.
    bool Send(const QByteArray& payload);
    bool Listening() const;

private:
    bool Connect(QString& error);
    void Drop(const QString& why);
    void OnReadable();

    QString conninfo_;
    THandlers handlers_;
    pg_conn* conn_ = nullptr;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer retry_;
};
