#include "NoticeHub.h"

#include "NoticeSeal.h"
#include "ServerLog.h"
#include "metrics/ServerMetrics.h"

#include <QMutexLocker>
#include <QUuid>

TNoticeHub::TNoticeHub(TSend send, QObject* parent)
    : QObject(parent)
    , send_(std::move(send))
    , server_(QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    clock_.start();
    connect(&refresh_, &QTimer::timeout, this, &TNoticeHub::Refresh);
}

void TNoticeHub::SetBroadcast(TBroadcast broadcast)
{
    broadcast_ = std::move(broadcast);
    if (broadcast_)
        refresh_.start(RefreshMs);
    else
        refresh_.stop();
}

QString TNoticeHub::Origin(quint64 connection) const
{
    return server_ + u':' + QString::number(connection);
}

void TNoticeHub::Heard(const QByteArray& payload)
{
    // Believed only when sealed by a server of this site.
    const std::optional<QByteArray> text = OpenNotice(payload);
    std::optional<TServerNotice> notice = text ? DecodeNotice(*text) : std::nullopt;
    if (!notice) {
        // Logged at the 1st, 2nd, 4th, 8th... so that a flood of them cannot flood the log.
        const qint64 ignored = ++ignored_;
        if ((ignored & (ignored - 1)) == 0)
            LogLine(QStringLiteral("aviso %1 ignorado (%2 bytes; %3 ignorado(s) desde o início)")
                        .arg(text ? QStringLiteral("malformado") : QStringLiteral("sem o selo dos servidores"))
                        .arg(payload.size())
                        .arg(ignored));
        return;
    }
    QMetaObject::invokeMethod(this, [this, n = std::move(*notice)] { Deliver(n); }, Qt::QueuedConnection);
}

QList<TNoticeHub::TStation> TNoticeHub::Subscribe(quint64 connection, const QString& branch, const TStation& station,
                                                  const QString& invoice)
{
    QList<TStation> others;
    TSubscription before;
    {
        QMutexLocker lock(&mutex_);
        before = subscriptions_.value(connection);
        subscriptions_.insert(connection, {branch, invoice, station});
        Metrics::Server().StationsPresent.Set(subscriptions_.size());
        identities_.insert(connection, station);
        if (!invoice.isEmpty()) {
            const QString own = Origin(connection);
            for (auto it = presences_.cbegin(); it != presences_.cend(); ++it)
                if (it.key() != own && it->Branch == branch && it->Invoice == invoice && !others.contains(it->Station))
                    others.append(it->Station);
        }
    }
    QMetaObject::invokeMethod(
        this,
        [this, connection, before, branch, invoice, station] {
            // Absent as it was announced present: the others know it by that name.
            if (!before.Invoice.isEmpty()
                && (before.Invoice != invoice || before.Branch != branch || before.Station != station))
                Announce(connection, Rpc::Notice::Absent, before.Branch, before.Invoice, before.Station);
            if (!invoice.isEmpty())
                Announce(connection, Rpc::Notice::Present, branch, invoice, station);
        },
        Qt::QueuedConnection);
    return others;
}

void TNoticeHub::Identify(quint64 connection, const TStation& station)
{
    QMutexLocker lock(&mutex_);
    identities_.insert(connection, station);
}

TNoticeHub::TStation TNoticeHub::Identity(quint64 connection) const
{
    QMutexLocker lock(&mutex_);
    return identities_.value(connection);
}

void TNoticeHub::Forget(quint64 connection)
{
    TSubscription gone;
    {
        QMutexLocker lock(&mutex_);
        gone = subscriptions_.take(connection);
        Metrics::Server().StationsPresent.Set(subscriptions_.size());
        identities_.remove(connection);
    }
    if (!gone.Invoice.isEmpty())
        Announce(connection, Rpc::Notice::Absent, gone.Branch, gone.Invoice, gone.Station);
}

void TNoticeHub::Unsubscribe(quint64 connection, const std::function<bool(const QString& branch)>& keep)
{
    TSubscription gone;
    {
        QMutexLocker lock(&mutex_);
        const auto it = subscriptions_.find(connection);
        if (it == subscriptions_.end() || keep(it->Branch))
            return;
        gone = *it;
        subscriptions_.erase(it);
        Metrics::Server().StationsPresent.Set(subscriptions_.size());
    }
    if (!gone.Invoice.isEmpty())
        Announce(connection, Rpc::Notice::Absent, gone.Branch, gone.Invoice, gone.Station);
}

void TNoticeHub::Missed()
{
    QHash<quint64, TSubscription> subscribers;
    {
        QMutexLocker lock(&mutex_);
        subscribers = subscriptions_;
    }
    for (auto it = subscribers.cbegin(); it != subscribers.cend(); ++it)
        send_(it.key(), Rpc::TNotice{Rpc::Notice::Missed, it->Branch, {}, {}, std::nullopt, {}, {}});
}

void TNoticeHub::Announce(quint64 connection, const QString& event, const QString& branch, const QString& invoice,
                          const TStation& station)
{
    const TServerNotice notice{{event, branch, invoice, {}, std::nullopt, station.User, station.Name}, Origin(connection)};
    if (broadcast_)
        broadcast_(SealNotice(EncodeNotice(notice)));
    else
        Deliver(notice);
}

void TNoticeHub::Deliver(const TServerNotice& notice)
{
    const Rpc::TNotice& n = notice.Notice;
    QList<quint64> targets;
    {
        QMutexLocker lock(&mutex_);
        if (n.Event == Rpc::Notice::Present && !notice.Origin.isEmpty()) {
            // A repeat of a presence known already is news to no one.
            const auto known = presences_.constFind(notice.Origin);
            if (known == presences_.cend() && presences_.size() >= MaxPresences) {
                ++overflow_;
                return;
            }
            const bool news = known == presences_.cend() || known->Invoice != n.Invoice || known->Branch != n.Branch
                              || known->Station != TStation{n.User, n.Station};
            presences_.insert(notice.Origin, {n.Branch, n.Invoice, {n.User, n.Station}, clock_.elapsed()});
            if (!news)
                return;
        } else if (n.Event == Rpc::Notice::Absent && !notice.Origin.isEmpty()) {
            const auto known = presences_.constFind(notice.Origin);
            // An absence from an invoice the station has left already.
            if (known != presences_.cend() && known->Invoice == n.Invoice && known->Branch == n.Branch)
                presences_.erase(known);
        }
        for (auto it = subscriptions_.cbegin(); it != subscriptions_.cend(); ++it)
            if (it->Branch == n.Branch)
                targets.append(it.key());
    }
    for (quint64 connection : targets)
        send_(connection, n);
}

void TNoticeHub::Refresh()
{
    QList<std::pair<quint64, TSubscription>> own;
    QList<TServerNotice> expired;
    {
        QMutexLocker lock(&mutex_);
        for (auto it = subscriptions_.cbegin(); it != subscriptions_.cend(); ++it)
            if (!it->Invoice.isEmpty())
                own.append({it.key(), *it});
        const qint64 now = clock_.elapsed();
        for (auto it = presences_.begin(); it != presences_.end();) {
            if (!it.key().startsWith(server_) && now - it->Seen > ExpireMs) {
                expired.append({{Rpc::Notice::Absent, it->Branch, it->Invoice, {}, std::nullopt, it->Station.User,
                                 it->Station.Name},
                                it.key()});
                it = presences_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (const auto& [connection, subscription] : own)
        Announce(connection, Rpc::Notice::Present, subscription.Branch, subscription.Invoice, subscription.Station);
    if (const qint64 overflow = std::exchange(overflow_, 0))
        LogLine(QStringLiteral("avisos: %1 presença(s) ignorada(s): o servidor já guarda %2, o máximo")
                    .arg(overflow)
                    .arg(MaxPresences));
    for (const TServerNotice& notice : expired)
        Deliver(notice);
}
