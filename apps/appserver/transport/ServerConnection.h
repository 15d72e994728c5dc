#pragma once
// One client socket of TRpcServer (RpcServer.h states the limits it keeps).
// States:
//
//   greeting --[hello accepted: HandleHello]--> ready
//   greeting --[hello with credentials: HandleHello]--> waiting (its turn in the throttle)
//   waiting --[StartCheck]--> checking --[right: Checked]--> ready
//   checking --[wrong: Checked, then the throttle's delay]--> gone
//   ready --[call frame: Process]--> running --[reply queued: Deliver]--> ready, or draining
//   ready --[call frame, its user or address at its cap of engaged connections]--> waiting
//   waiting --[a place freed: Settle of another connection]--> running
//   draining --[queued output below the cap: OnWritten]--> ready
//   (admitted over a cap) refusing --["busy" written, after the TLS handshake: Reject]--> gone
//   any --[bad frame, wrong hello, peer closed, time-out, stalled output: Close]--> gone
//
// The object belongs to the server, which deletes it (deleteLater) once its
// socket is closed and no call or password check of it is running; a
// connection never deletes itself.
#include "LoginThrottle.h"
#include "rpc/Frame.h"
#include "rpc/Messages.h"

#include <QObject>
#include <QTimer>
#include <optional>

class QTcpSocket;
class TModule;
class TRpcServer;

class TServerConnection : public QObject {
public:
    // What the connection holds of the server's caps.
    enum class TPlace { None, Connection, Login };

    static constexpr int LingerMs = 10000;

    TServerConnection(TRpcServer& server, quint64 id, QTcpSocket* socket, QString group);
    ~TServerConnection() override;

    quint64 Id() const { return id_; }
    const QString& Group() const { return group_; }
    // The authenticated user; empty before the welcome or without accounts.
    const QString& User() const { return user_; }
    // The client's address, as the log shows it.
    QString Address() const;
    TPlace Place() const { return place_; }
    void SetPlace(TPlace place) { place_ = place; }
    bool Refusing() const { return refusing_; }

    // Reads and handles what has arrived, as far as the state allows.
    void Process();
    // The reply of the running call; `closing`, when not empty, says why the
    // connection closes after it (a malformed call, a removed account).
    void Deliver(const QByteArray& frame, const QString& closing);
    // Writes a notice, when the connection agreed "notices", unless its
    // waiting output has passed the notice cap: then it and those after it
    // are dropped until the output has drained, and the client is told
    // "missed" (of `notice`'s branch) to reload what it shows.
    void Notify(const Rpc::TNotice& notice);
    // Answers with a connection-level fault, then closes (over TLS, once the
    // handshake is done: the answer cannot travel before).
    void Reject(const QString& message, const QString& code = Rpc::Fault::Frame);
    // Closes once what was written has gone out (a peer that does not read
    // gets LingerMs); `reason`, when given, goes to the log.
    void Close(const QString& reason);

private:
    friend class TRpcServer;  // the back-pressure's state (Settle)

    struct TOverBudget {};
    // A request read whole, with the request budget it holds.
    struct TRequestFrame {
        QByteArray Payload;
        qint64 Held = 0;
    };
    // A hello whose credentials are being checked.
    struct TPending {
        const TModule* Module = nullptr;
        std::optional<Rpc::TFeatures> Features;
        Rpc::TCredentials Credentials;
    };

    // The next request read whole, the hello handled on the way; nothing
    // when none is whole yet or the connection was refused.
    std::optional<TRequestFrame> ReadRequest();
    // Tells the server whether this connection runs a call or has output
    // waiting, and how much (after each change of either).
    void Settle();
    void AdmitFrame(quint32 length);
    void HandleHello(const QByteArray& payload);
    void StartCheck();
    void Checked(bool right);
    void Welcome(const TModule* module, const std::optional<Rpc::TFeatures>& offered, const QString& user);
    void OnSocketError();
    void OnWritten();
    // Bytes written but not yet sent, TLS records included.
    qint64 Queued() const;
    bool Backlogged() const;
    void Log(const QString& line);
    TLoginThrottle::TLogin ThrottleKey(const QString& user) const;

    TRpcServer& server_;
    quint64 id_;
    QTcpSocket* socket_;
    QString group_;
    Rpc::TFrameReader reader_;
    QTimer frameTimer_;
    QTimer idleTimer_;   // the hello's deadline, then the idle time between calls
    QTimer stallTimer_;  // queued output without progress
    const TModule* module_ = nullptr;
    QString user_;  // authenticated; empty on a server without accounts
    std::optional<TPending> pending_;
    // The throttle's slot the pending hello booked, until its check starts.
    std::optional<qint64> booking_;
    Rpc::TFeatures features_;  // agreed in the handshake
    qint64 held_ = 0;  // request budget held by the frame being read
    TPlace place_ = TPlace::None;
    bool running_ = false;   // a call, a password check or a throttle's wait
    bool checkQueued_ = false;
    bool refusing_ = false;
    bool closed_ = false;
    QString missed_;  // the branch whose notices were dropped; empty: none
    std::optional<TRequestFrame> parked_;  // read, waiting for a place (back-pressure)
    bool waiting_ = false;   // parked_ waits for a place of its user or address
    bool engaged_ = false;   // counted by the server as running or with output waiting
    qint64 queued_ = 0;      // output waiting, as the server last counted it
};
