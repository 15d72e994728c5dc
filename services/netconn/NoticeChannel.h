#pragma once
// TNoticeChannel: a host's own connection for the server's change notices
// (docs/protocol.md, "Notices"), apart from the connections that make calls,
// whose calls block and stay as they are. Everything here is event-driven on
// the thread that made the object (the GUI thread): it never waits.
//
// It connects to the server of SetServer with the module
// "exp13000.rdmConfRastr" and the features "compact" and "notices", and
// keeps one subscription (AssinaAvisos) for the branch of Follow and the
// invoice of SetReading. Each notice heard goes to every listener; so does,
// for each station the subscription's answer finds present, a "present"
// notice, and a "missed" notice whenever notices may have been lost (the
// connection dropped and came back, or the server dropped some for a reader
// too slow): a listener then reloads what it shows.
//
// States:
//   idle --[Follow with a branch: Connect]--> connecting --[welcome with "notices"]--> open
//   connecting --[refused, no "notices" agreed, TLS or socket error]--> waiting
//   open --[connection lost: Lost]--> waiting --[RetryMs: Connect]--> connecting
//                                              (to the next server of the ring)
//   open --[Follow(""): Disconnect]--> idle
// The servers are tried as the calls' connections try them (SetAlternates,
// TNetConnection's ring): each loss or refusal moves the channel on to the
// next one, so a station whose server died hears its site through another.
// A server that does not speak "notices" is tried again only after
// RetryMs x 30. The subscription is sent again every KeepAliveMs, which also
// keeps the connection from being closed as idle.
//
// Failures are never raised: Status() says what the channel is doing, in
// Portuguese, and a listener only hears less.
#include "NetConnection.h"
#include "rpc/Frame.h"
#include "rpc/Messages.h"

#include <QHash>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>

class QTcpSocket;

class TNoticeChannel : public QObject {
public:
    static constexpr int RetryMs = 2000;
    static constexpr int KeepAliveMs = 240000;

    using TListener = std::function<void(const Rpc::TNotice&)>;

    explicit TNoticeChannel(QObject* parent = nullptr);
    ~TNoticeChannel() override;

    void SetServer(const QString& host, int port, const TNetConnection::TSecurity& security);
    // The site's other servers; takes effect at the next connection.
    void SetAlternates(QList<TNetConnection::TServerAddress> servers) { alternates_ = std::move(servers); }
    void SetStation(const TNetConnection::TStation& station);
    const TNetConnection::TStation& Station() const { return station_; }

    // The branch whose notices to hear ("" for none: the channel closes).
    void Follow(const QString& branch);
    const QString& Branch() const { return branch_; }
    // The invoice whose reading window this station has open ("" for none).
    void SetReading(const QString& invoice);

    // Adds a listener; the number returned removes it.
    int Listen(TListener listener);
    void Unlisten(int id);

    // Whether a notice comes from this station itself.
    bool FromHere(const Rpc::TNotice& notice) const;
    // Subscribed and hearing.
    bool Open() const { return subscribed_; }
    QString Status() const { return status_; }

private:
    void Connect();
    void Disconnect();
    void Lost(const QString& why);
    void OnConnected();
    void OnReadyRead();
    void Handle(const Rpc::TMessage& message);
    void Subscribe();
    void Tell(const Rpc::TNotice& notice);

    QString host_;
    int port_ = 0;
    QList<TNetConnection::TServerAddress> alternates_;
    int next_ = 0;  // where in the ring the next connection goes
    TNetConnection::TSecurity security_;
    TNetConnection::TStation station_;
    QString branch_;
    QString invoice_;
    std::unique_ptr<QTcpSocket> socket_;
    Rpc::TRpcLimits limits_;
    std::unique_ptr<Rpc::TFrameReader> reader_;
    Rpc::TFeatures features_;
    bool welcomed_ = false;
    bool subscribed_ = false;
    bool resumed_ = false;  // connected before: notices may have been missed
    quint64 nextCall_ = 1;
    quint64 pendingCall_ = 0;  // the subscription being answered
    QTimer retry_;
    QTimer keepAlive_;
    QString status_;
    QHash<int, TListener> listeners_;
    int nextListener_ = 1;
};

// The host's channel (nullptr until the host sets one): the screens that
// show notices use it when there is one. The host owns it.
TNoticeChannel* Notices();
void SetNotices(TNoticeChannel* channel);
