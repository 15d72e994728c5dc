#pragma once
// TNoticeHub: the change notices and presences of one server's connections.
//
// A connection that agreed "notices" subscribes to one branch at a time
// (Subscribe, run by the method AssinaAvisos), saying which station it is,
// for which user, and which invoice's reading window it has open ("" for
// none). From then on it hears every notice of that branch: readings stored
// and deleted and invoices confirmed, by any station of any server on the
// same database, and the presences of the stations on the branch's invoices.
//
// Where notices come from: a change publishes its notice inside its own
// transaction (TDatabase::Publish); SQLite hands it over on commit (Heard,
// from the worker thread), PostgreSQL NOTIFYs every server's listener, which
// calls Heard on the event loop. Presences are not changes of the data: the
// hub sends them itself through Broadcast (PostgreSQL: the listener's NOTIFY,
// so other servers learn them; SQLite: straight to Heard).
//
// Presence lifetime: a station is present from its subscription with an
// invoice until it subscribes otherwise or its connection ends (Forget),
// when its server announces it absent at once. With another server between
// (Broadcast set), every server announces its stations again each RefreshMs,
// and a presence not heard of for ExpireMs is dropped and announced absent
// here: a server that died leaves no stale "who" behind.
//
// Threads: Subscribe and Identify run on workers; everything else on the
// event loop's thread, where the hub lives and Send is called. One mutex
// keeps the tables, so a station that subscribes while another's presence
// is being delivered either hears that notice or finds it in its answer.
#include "NoticeText.h"
#include "rpc/Messages.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>

class TNoticeHub : public QObject {
public:
    static constexpr int RefreshMs = 5000;
    static constexpr int ExpireMs = 3 * RefreshMs;
    // Presences held at once, of every server: a presence of a station not
    // known yet beyond it is ignored (and logged), so forged or runaway
    // presences cost bounded memory.
    static constexpr qsizetype MaxPresences = 8192;

    // Where a notice for one connection goes (the server writes it out).
    using TSend = std::function<void(quint64 connection, const Rpc::TNotice& notice)>;
    // How a presence reaches every server of the database, this one included.
    using TBroadcast = std::function<void(const QByteArray& payload)>;

    struct TStation {
        QString User;
        QString Name;
        bool operator==(const TStation&) const = default;
    };

    explicit TNoticeHub(TSend send, QObject* parent = nullptr);

    // Set when other servers share the database; none: this server alone.
    void SetBroadcast(TBroadcast broadcast);

    // A notice committed by any server (the text of NoticeText.h, sealed:
    // NoticeSeal.h); any thread. Texts that are not sealed with the site's
    // key, or do not decode, are dropped and logged.
    void Heard(const QByteArray& payload);

    // Subscribes `connection` to `branch` as `station`, present at `invoice`
    // ("" for none), in place of what it had. Returns the other stations
    // present at that invoice now (none for ""). Any thread.
    QList<TStation> Subscribe(quint64 connection, const QString& branch, const TStation& station, const QString& invoice);
    // Who `connection` says it is (Subscribe or IdentificaEstacao); any thread.
    void Identify(quint64 connection, const TStation& station);
    TStation Identity(quint64 connection) const;
    // The connection has ended: its presence goes.
    void Forget(quint64 connection);
    // Ends `connection`'s subscription, its presence announced gone, unless
    // `keep` holds for its branch (an account narrowed by a reload).
    void Unsubscribe(quint64 connection, const std::function<bool(const QString& branch)>& keep);
    // Notices may have been lost (the listener was cut off): each subscriber
    // is told "missed".
    void Missed();

private:
    struct TSubscription {
        QString Branch;
        QString Invoice;
        TStation Station;  // as announced present: its absence names the same
    };
    struct TPresence {
        QString Branch;
        QString Invoice;
        TStation Station;
        qint64 Seen = 0;  // the clock's ms
    };

    // Runs on the event loop's thread.
    void Deliver(const TServerNotice& notice);
    void Announce(quint64 connection, const QString& event, const QString& branch, const QString& invoice,
                  const TStation& station);
    void Refresh();
    QString Origin(quint64 connection) const;

    TSend send_;
    TBroadcast broadcast_;
    const QString server_;  // this server's part of an origin
    QElapsedTimer clock_;
    QTimer refresh_;
    mutable QMutex mutex_;
    QHash<quint64, TSubscription> subscriptions_;
    QHash<quint64, TStation> identities_;
    QHash<QString, TPresence> presences_;  // by origin, of every server
    qint64 overflow_ = 0;  // presences ignored since the last log line
    std::atomic<qint64> ignored_{0};  // texts heard and not believed
};
