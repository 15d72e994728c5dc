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
// Memory: a request frame is at most MaxRequestSize bytes and each text in
// it at most MaxTextBytes, inside a data packet too (a text, a field name, a
// string field's size); and the bytes of all requests held at once (being
// read, queued or running) stay within RequestBudget. A frame that would
// pass the budget is refused ("busy") before its buffer is allocated, and
// only its connection is closed. Replies are bounded by Limits.
//
// Connections: at most MaxConnections at once (one more is answered "busy"
// and closed); one that has not said hello within HelloTimeoutMs, or sits
// idle between calls for IdleTimeoutMs, is closed (the client opens a new
// one on its next call). When accept() fails (out of file descriptors, say)
// accepting is set aside for AcceptPauseMs instead of being retried at once.
//
// Security: with Tls set, every connection is TLS with that configuration
// (its certificate and key) before anything else is read. With Accounts set,
// a hello must carry a user and password of those accounts; a hello without
// them gets the fault "auth" at once, a wrong pair gets it after the delay
// of LoginThrottle (a timer: other connections go on being served), and
// either closes the connection; LoginThrottle also spaces, or refuses, the
// checks of logins an address with failures sends at once. The passwords are checked on a thread of
// their own, never on the event loop's. Nothing of a connection is read
// after its hello until the check is done, so no call runs unauthenticated.
// The user of each call reaches the database connection (TDatabase::User)
// for the audit; without Accounts it is empty. Each call runs for the user's
// principal as the accounts stand when it runs (AccountService.h), so a
// reload that narrows or removes an account holds on connections already
// open.
#include "AccountService.h"
#include "Dispatcher.h"
#include "LoginThrottle.h"
#include "rpc/Limits.h"
#include "rpc/Messages.h"
#include "storage/Database.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSslConfiguration>
#include <QTcpServer>
#include <QSocketNotifier>
#include <QThreadPool>
#include <memory>
#include <optional>
#include <atomic>

class QTcpSocket;
class TServerConnection;

struct TServerConfig {
    TDbConfig Db;
    Rpc::TRpcLimits Limits;  // the replies written
    quint32 MaxRequestSize = 1u << 20;
    quint32 MaxTextBytes = 4096;
    qint64 RequestBudget = qint64(32) << 20;
    int Threads = 4;
    int FrameTimeoutMs = 30000;
    int MaxConnections = 256;
    int HelloTimeoutMs = 10000;
    int IdleTimeoutMs = 600000;
    int AcceptPauseMs = 500;
    std::optional<QSslConfiguration> Tls;     // none: plain TCP
    std::shared_ptr<TAccountService> Accounts;  // none: callers are trusted, no user

    // Limits as requests are read and decoded.
    Rpc::TRpcLimits RequestLimits() const;
};

class TRpcServer : public QObject {
public:
    TRpcServer(TServerConfig config, const TDispatcher& dispatcher, QObject* parent = nullptr);
    ~TRpcServer() override;

    // False, with `error` set, when the address cannot be bound.
    bool Listen(const QHostAddress& address, quint16 port, QString& error);
    quint16 Port() const { return listener_.serverPort(); }
    // Stops accepting, closes every connection and waits for running calls.
    void Shutdown();

private:
    friend class TServerConnection;
    void Accept();
    void Admit(QTcpSocket* socket);
    void Run(quint64 connection, QByteArray payload, qint64 held, const TModule* module, Rpc::TFeatures features,
             const QString& user);
    // Checks the credentials off the event loop; the connection learns the
    // outcome through Authenticated.
    void Authenticate(quint64 connection, Rpc::TCredentials credentials);
    // Reserves `bytes` of the request budget; false when they do not fit.
    bool TakeBudget(qint64 bytes);
    void GiveBudget(qint64 bytes);
    void Deliver(quint64 connection, const QByteArray& frame, bool close);
    void Forget(quint64 connection);

    TServerConfig config_;
    const TDispatcher& dispatcher_;
    // The listener binds and listens; accepting is ours (acceptor_), since
    // QTcpServer retries at once a failure it deems temporary, such as
    // running out of file descriptors.
    QTcpServer listener_;
    std::unique_ptr<QSocketNotifier> acceptor_;
    QThreadPool pool_;
    QThreadPool authPool_;  // one thread: password checks cost ~0.9 s each
    TLoginThrottle throttle_;
    QElapsedTimer clock_;  // the throttle's
    QHash<quint64, TServerConnection*> connections_;
    quint64 nextConnection_ = 1;
    bool stopping_ = false;
    std::atomic<qint64> budgetUsed_{0};
};
