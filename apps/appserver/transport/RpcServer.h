#pragma once
// The listening side of the socket protocol. Sockets live on the thread that
// runs the event loop; each call is decoded, run and encoded on a worker of a
// fixed thread pool (each worker has its own database connection). A
// connection runs one call at a time and reads nothing more until it is
// answered, so a client cannot queue unbounded work.
//
// A bad frame (malformed, oversized, truncated and left unfinished for
// FrameTimeoutMs, or a message out of place) is answered with a fault when
// possible and closes that connection only.
//
// Before a login (the welcome) a connection costs almost nothing: its frames
// may be at most PreLoginFrameBytes, and are not charged to the request
// budget; it is closed after HelloTimeoutMs without a hello.
//
// Memory: after the welcome a request frame is at most MaxRequestSize bytes
// (compressed or not) and each text in it at most MaxTextBytes, inside a data
// packet too (a text, a field name, a string field's size); the bytes of
// all requests held at once (being read, queued or running, decompressed
// sizes included) stay within RequestBudget. A frame that would pass the
// budget is refused ("busy") before its buffer is allocated, and only its
// connection is closed. Replies are bounded by Limits; a connection whose
// replies waiting to be sent pass OutputCap bytes is not read until they
// drop below it (back-pressure), and one whose waiting output makes no
// progress for StallTimeoutMs is closed.
//
// Connections: at most MaxConnections at once, and MaxConnectionsPerAddress
// from one address group (AddressGroup.h); one more is answered "busy" and
// closed (over TLS, once its handshake is done, so that the answer can be
// read; at most MaxRefusing such handshakes at once, beyond which a
// connection is closed unanswered). Logins in flight (a hello with
// credentials, from its arrival to its answer, the delays of the login
// throttle included) are bounded by MaxLoginsPerAddress and MaxLoginsInFlight
// instead: they do not hold places of MaxConnections, so waiting logins cannot
// lock stations out. Beyond either bound a login is refused at once
// ("auth"), unchecked. An address group opens at most ConnectBurst
// connections at once and one more every ConnectIntervalMs after that; one
// more is closed at once, unanswered and before any TLS handshake, so that
// reconnecting in a loop costs the server next to nothing. The caps are lowered at start to what the process's
// descriptor limit allows (EffectiveConnections), so that a connection over
// the cap can still be accepted and told "busy". A connection idle between
// calls for IdleTimeoutMs is closed (the client opens a new one on its next
// call). When accept() fails (out of file descriptors, say) accepting is set
// aside for AcceptPauseMs instead of being retried at once.
//
// Security: with Tls set, every connection is TLS with that configuration
// (its certificate and key) before anything else is read; a failed handshake
// closes that connection only, after the TLS library has finished with it.
// With Accounts set, a hello must carry a user and password of those
// accounts; a hello without them gets the fault "auth" at once, a wrong pair
// gets it after the delay of LoginThrottle (a timer: other connections go on
// being served), and either closes the connection. A failure counts also when
// its client hung up before the answer. The passwords are checked on threads
// of their own, in turns by address group (PasswordChecks.h), never on the
// event loop's. Nothing of a connection is read after its hello until the
// check is done, so no call runs unauthenticated. The user of each call
// reaches the database connection (TDatabase::User) for the audit; without
// Accounts it is empty. Each call runs for the user's principal as the
// accounts stand when it runs (AccountService.h), so a reload that narrows or
// removes an account holds on connections already open: a call of a removed
// account is refused ("auth") and closes its connection, and AccountsReloaded
// re-checks the subscriptions to notices at once. Log lines about
// connections not logged in are rate-limited per address group
// (TPreLoginLog).
#include "AccountService.h"
#include "Dispatcher.h"
#include "LoginThrottle.h"
#include "NoticeHub.h"
#include "PasswordChecks.h"
#include "RateLimit.h"
#include "ServerLog.h"
#include "rpc/Limits.h"
#include "rpc/Messages.h"
#include "storage/Database.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QObject>
#include <QSocketNotifier>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QThreadPool>
#include <algorithm>
#include <memory>
#include <optional>

class QTcpSocket;
class TServerConnection;

struct TServerConfig {
    TDbConfig Db;
    Rpc::TRpcLimits Limits;  // the replies written
    quint32 MaxRequestSize = 1u << 20;
    quint32 PreLoginFrameBytes = 4096;
    quint32 MaxTextBytes = 4096;
    qint64 RequestBudget = qint64(32) << 20;
    qint64 OutputCap = qint64(1) << 20;
    // Replies waiting to be sent, of every connection: past it, a connection
    // whose replies wait reads no further request until they are sent.
    qint64 OutputBudget = qint64(64) << 20;
    // Connections of one user, and of one address group, running a call or
    // with replies waiting to be sent at once; one more reads no request
    // until one of those is done (it waits, nothing is refused).
    int MaxEngaged = 8;
    // Output a connection may have waiting before the notices for it are
    // dropped (it is then told "missed" once it has read what waits).
    qint64 NoticeCap = qint64(256) << 10;
    int StallTimeoutMs = 60000;
    int Threads = 4;
    int AuthThreads = 2;
    int FrameTimeoutMs = 30000;
    int MaxConnections = 256;
    int MaxConnectionsPerAddress = 64;
    int MaxLoginsInFlight = 64;
    int MaxLoginsPerAddress = 4;
    int MaxRefusing = 16;
    int ConnectBurst = 128;       // new connections of one address group at once,
    int ConnectIntervalMs = 50;   // and one more every so often after that
    int HelloTimeoutMs = 10000;
    int IdleTimeoutMs = 600000;
    int AcceptPauseMs = 500;
    std::optional<QSslConfiguration> Tls;     // none: plain TCP
    std::shared_ptr<TAccountService> Accounts;  // none: callers are trusted, no user

    // Limits as requests are read and decoded.
    Rpc::TRpcLimits RequestLimits() const;
};

// One address group holds at most this fraction (1/N) of the connections
// and of the logins in flight, so that it cannot take every place; but
// never fewer than AddressFloor of them (a station's few connections fit
// under caps set very low).
inline constexpr int AddressShare = 4;
inline constexpr int AddressFloor = 4;

// The most of `all` places one address group may hold.
inline int AddressPart(int all)
{
    return std::max(all / AddressShare, std::min(all, AddressFloor));
}

// The connection caps `config` asks for, lowered so that every connection
// they allow, the refusals and the server's own files fit in `descriptors`
// (the process's limit), and the caps per address to their share
// (AddressShare) of the caps in all; `note` says what was lowered, or is
// left empty.
void EffectiveConnections(TServerConfig& config, qint64 descriptors, QString& note);

class TRpcServer : public QObject {
public:
    TRpcServer(TServerConfig config, const TDispatcher& dispatcher, QObject* parent = nullptr);
    ~TRpcServer() override;

    // False, with `error` set, when the address cannot be bound.
    bool Listen(const QHostAddress& address, quint16 port, QString& error);
    quint16 Port() const { return listener_.serverPort(); }
    // The certificate and key of the connections accepted from now on (a
    // renewed pair); those open keep theirs. Ignored by a server without TLS.
    void RenewTls(const QSslConfiguration& tls)
    {
        if (config_.Tls)
            config_.Tls = tls;
    }
    // The accounts were read again: a connection whose account is gone is
    // closed, and a subscription to a branch its account lost is dropped.
    void AccountsReloaded();
    // The notices of this server's connections; on SQLite already fed by the
    // commits of its workers, on PostgreSQL to be fed by a TPgListener.
    TNoticeHub& Notices() { return notices_; }
    // Stops accepting, closes every connection and waits for running calls.
    void Shutdown();

private:
    friend class TServerConnection;

    // What one address group holds.
    struct TAddressUse {
        int Connections = 0;  // places of MaxConnections
        int Logins = 0;       // logins in flight
    };

    void Accept();
    void Admit(QTcpSocket* socket);
    void Run(quint64 connection, QByteArray payload, qint64 held, const TModule* module, Rpc::TFeatures features,
             const QString& user, const QString& group);
    // Reserves `bytes` of the request budget for `connection`; false when
    // they do not fit in it, or in the share of it (1/AddressShare, at least
    // two largest frames) of the connection's user or of its address group.
    bool TakeBudget(const TServerConnection& connection, qint64 bytes);
    void GiveBudget(const QString& user, const QString& group, qint64 bytes);
    qint64 BudgetShare() const;
    // Back-pressure by user and by address group (MaxEngaged) and for the
    // whole server (OutputBudget): whether `connection`, not engaged yet,
    // may start a call; a connection's change of state (running, replies
    // waiting) is told by Settle, and one that waited is woken when a place
    // of its user or its address frees.
    bool MayEngage(const TServerConnection& connection) const;
    bool OverOutputBudget() const { return waitingOutput_ > config_.OutputBudget; }
    void Settle(TServerConnection& connection, bool engaged, qint64 queued);
    // A connection's place moves from the cap of connections to the bound of
    // logins in flight (false, nothing moved, when that bound is reached) and
    // back.
    bool BeginLogin(TServerConnection& connection);
    void EndLogin(TServerConnection& connection);
    // Gives back what a connection being forgotten holds.
    void Release(const TServerConnection& connection);
    void Deliver(quint64 connection, const QByteArray& frame, const QString& closing);
    void Forget(quint64 connection);

    TServerConfig config_;
    const TDispatcher& dispatcher_;
    // The listener binds and listens; accepting is ours (acceptor_), since
    // QTcpServer retries at once a failure it deems temporary, such as
    // running out of file descriptors.
    QTcpServer listener_;
    std::unique_ptr<QSocketNotifier> acceptor_;
    QThreadPool pool_;
    TPasswordChecks checks_;
    TLoginThrottle throttle_;
    TPreLoginLog preLoginLog_;
    TRateLimit connects_;
    TNoticeHub notices_;
    QElapsedTimer clock_;  // the throttle's and the log's
    QHash<quint64, TServerConnection*> connections_;
    QHash<QString, TAddressUse> addresses_;
    int placed_ = 0;     // connections holding a place of MaxConnections
    int logins_ = 0;     // logins in flight
    int refusing_ = 0;   // connections being told "busy"
    quint64 nextConnection_ = 1;
    bool stopping_ = false;
    QMutex budgetMutex_;  // the budget is given back on the workers
    qint64 budgetUsed_ = 0;
    QHash<QString, qint64> budgetHeld_;   // by user ("u:NAME") and by address group ("a:GROUP")
    QHash<QString, int> engaged_;         // keyed likewise
    qint64 waitingOutput_ = 0;            // replies and notices waiting to be sent, in all
};
