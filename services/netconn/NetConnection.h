#pragma once
// TNetConnection: the client's socket connection to one remote data module of
// the application server, and `AppServer()`, the late-bound call object.
//
// States (the function behind each transition in brackets):
//
//   Closed --[Open / SetConnected(true) / a call]--> Connecting
//   Connecting --[handshake accepted]--> Open
//   Connecting --[hello with features refused as malformed]--> Connecting
//                (again, with the base protocol's hello: an older server)
//   Connecting --[unreachable, refused, time-out]--> Closed   (raises)
//   Open --[Close / SetConnected(false) / destructor]--> Closed
//   Open --[peer gone, time-out, bad frame: noticed by a call]--> Closed (raises)
//
// Security (TSecurity): with Tls on, the link is TLS and the server's
// certificate must be valid for the host name and signed by an authority the
// system trusts or one of CaFile's (a site's own certificate goes there).
// With a User, the hello carries the user and password; a server that
// requires accounts refuses a hello without them, or with wrong ones, with
// EServerError. A connection starts with the process's default security
// (SetDefaultSecurity), which the host sets from its settings. A password
// never travels in clear beyond this machine: with a User and without Tls,
// a host that is not loopback (IsLoopbackHost) is refused with
// EConnectionError before any connection is made, the message naming the
// host's setting server/tls.
//
// Every open runs BeforeConnect first (that is where the host and port are
// set). A call on a closed connection, or on one whose peer went away while
// it was idle, opens it again first. Closing a closed connection does nothing.
//
// Several servers (Alternates): a site may run several application servers
// of one database, any of which serves any call. An open tries the server
// it last used (at first Host():Port()), then the others in turn, Host()
// and the alternates making one ring; a connection lost during a call moves
// on to the next server of the ring. The first that answers the hello is
// used; when none does, the open raises naming each.
//
// A lost reply (Retry). Once the server agreed "request-id" every call
// carries a new request identifier (docs/protocol.md), and a call whose
// connection broke before its reply came is sent once more, by itself, with
// the same identifier, on a new connection (to the same server or the next
// one), provided that one agreed "request-id" too: the server answers a
// repeated change with its first outcome, and a read is read again. So the
// caller sees what really happened. When that second try fails too, one
// EConnectionError says so. A time-out is not retried (the call may still
// be running), nor anything on a server that did not agree "request-id".
//
// Waiting. Opening and calling block the caller: the wait runs a local event
// loop that excludes user input, so paint and timer events go on and the
// user cannot act. A QCoreApplication must exist, and a connection is used
// from the thread that opened it (the GUI thread in the host). No
// exception crosses that loop: it only records what happened, and the error
// is raised once the loop has returned. A second call on the same connection
// made from inside that wait raises EConnectionError.
//
// Failures raised:
//   EConnectionError  the server cannot be reached (message names host and
//                     port), TLS could not be set up (the message says
//                     why: a certificate not trusted, say), the connection was lost, the reply took longer
//                     than Timeout() seconds, or the peer broke the protocol;
//                     the connection is closed afterwards.
//   EServerError      the server refused the call (unknown module, method,
//                     wrong arguments, internal failure; the message names the
//                     method), or, with ThrowException on, the method's result
//                     envelope reports a refusal. The connection stays open.
#include "RemoteArg.h"
#include "rpc/Limits.h"
#include "rpc/Messages.h"
#include "rtl/Classes.h"
#include "rtl/Closure.h"

#include <QSslConfiguration>
#include <QString>
#include <QVariant>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>

class TNetConnection;

// Whether `host` leads to this machine only: a loopback address (127.0.0.0/8,
// ::1) or the name "localhost". Nothing is looked up, so the answer is at
// once and no name server decides it.
bool IsLoopbackHost(const QString& host);

// How a station's connections set up TLS: the system's authorities and
// `authorities` trusted, TLS 1.2 or later.
QSslConfiguration StationTls(const QList<QSslCertificate>& authorities);

// The late-bound call object of a connection.
class TAppServer {
public:
    explicit TAppServer(TNetConnection& connection) : connection_(connection) {}
    // Calls `method` of the connection's module with `args` in order; returns
    // the method's result; by-reference arguments hold the server's final
    // values afterwards.
    QVariant Call(const QString& method, std::initializer_list<TRemoteArg> args = {});
    QVariant Call(const QString& method, const QList<TRemoteArg>& args);

private:
    TNetConnection& connection_;
};

class TNetConnection : public TComponent {
public:
    static constexpr int DefaultTimeout = 300;  // seconds
    // Compressed frames: Auto asks for them on any link but loopback, where
    // compressing costs more time than the bytes it saves.
    enum class TCompression { Auto, Always, Never };

    // Progress of long replies: while a reply of at least LargeReply bytes
    // arrives, the hook learns how much of the length its frame announced has
    // arrived, whenever another hundredth is in and once complete (received
    // == total). One hook per process (the busy indicator sets it); it runs
    // inside the wait, so it may repaint but must not raise. nullptr: none.
    using TReceiveProgress = std::function<void(qint64 received, qint64 total)>;
    static constexpr qint64 LargeReply = 4 * 1024 * 1024;
    static void SetReceiveProgress(TReceiveProgress hook);

    struct TServerAddress {
        QString Host;
        int Port = 0;
        bool operator==(const TServerAddress&) const = default;
    };

    struct TSecurity {
        bool Tls = false;
        QString CaFile;  // PEM certificates trusted besides the system's; "" none
        QString User;    // "" sends no credentials
        QString Password;
    };
    // What connections made from now on start with.
    static void SetDefaultSecurity(TSecurity security);
    static const TSecurity& DefaultSecurity();

    // Which station this is and whom it works for there, for the notices of
    // the changes its calls make (docs/protocol.md, "Notices"). With a
    // station named, a connection to "exp13000.rdmConfRastr" offers
    // "notices" and, when the server agrees, names the station
    // (IdentificaEstacao) right after its welcome.
    struct TStation {
        QString User;
        QString Name;  // "": the connection does not offer "notices"
    };
    static void SetDefaultStation(TStation station);
    static const TStation& DefaultStation();
    // Takes effect at the next open.
    void SetStation(TStation station) { station_ = std::move(station); }
    static void SetDefaultAlternates(QList<TServerAddress> servers);
    static const QList<TServerAddress>& DefaultAlternates();
    // `first`, then each of `others` not already in: the order in which a
    // site's servers are tried.
    static QList<TServerAddress> Ring(const TServerAddress& first, const QList<TServerAddress>& others);

    explicit TNetConnection(TComponent* owner = nullptr);
    ~TNetConnection() override;

    const QString& Host() const { return host_; }
    void SetHost(const QString& host) { host_ = host; }
    int Port() const { return port_; }
    void SetPort(int port) { port_ = port; }
    // The remote data module, e.g. "exp13000.rdmConfRastr".
    const QString& ServerName() const { return serverName_; }
    void SetServerName(const QString& name) { serverName_ = name; }
    // The module's identifier; when set, the server must confirm it.
    const QString& ServerGUID() const { return serverGuid_; }
    void SetServerGUID(const QString& guid) { serverGuid_ = guid; }
    // When on, a call whose result envelope reports a refusal raises
    // EServerError itself; when off, the caller unpacks the result
    // (Consiste::CheckResultServ).
    bool ThrowException() const { return throwException_; }
    void SetThrowException(bool on) { throwException_ = on; }
    // Longest wait for the connection or for one reply, in seconds.
    int Timeout() const { return timeout_; }
    void SetTimeout(int seconds) { timeout_ = seconds; }
    Rpc::TRpcLimits& Limits() { return limits_; }
    TCompression Compression() const { return compression_; }
    void SetCompression(TCompression compression) { compression_ = compression; }
    // The site's other servers (see above); Host():Port() among them is
    // ignored. Takes effect at the next open.
    const QList<TServerAddress>& Alternates() const { return alternates_; }
    void SetAlternates(QList<TServerAddress> servers) { alternates_ = std::move(servers); }
    // The server of the open connection (or of the last one opened).
    const TServerAddress& Current() const { return current_; }
    // Takes effect at the next open.
    const TSecurity& Security() const { return security_; }
    void SetSecurity(TSecurity security) { security_ = std::move(security); }
    // The request identifier of the last call sent ("" when its server did
    // not agree "request-id").
    const QString& LastRequestId() const { return lastRequestId_; }
    // The identifier the next call carries instead of a new one, once: a
    // caller that sends again a call whose outcome it never learned (both
    // tries failed) names the same request, and the server answers it with
    // its first outcome if it had run. Not a valid identifier: none.
    void SetNextRequestId(const QString& id) { nextRequestId_ = Rpc::ValidRequestId(id) ? id : QString(); }
    // What the server agreed to in the handshake (none before one, or with a
    // server that predates features).
    const Rpc::TFeatures& Features() const { return features_; }
    // Bytes received from the server on the open connection, frame headers
    // included.
    qint64 BytesReceived() const;

    bool Connected() const;
    void SetConnected(bool connected);
    void Open();
    void Close();

    TAppServer& AppServer() { return appServer_; }

    TNotifyEvent BeforeConnect;
    // Runs after Close (or SetConnected(false)) has closed an open
    // connection; not for a connection that was closed already, nor for
    // one dropped by a failure.
    TNotifyEvent AfterDisconnect;

private:
    friend class TAppServer;
    class TChannel;

    QVariant Invoke(const QString& method, const QList<TRemoteArg>& args);
    // Sends `call` on the open connection (opening it first when needed)
    // and waits for its reply; raises as a call does. A call without a
    // request identifier gets `named`, or a new one, when the server agreed
    // "request-id". `lost` is set when the connection broke before the reply.
    QVariant Send(Rpc::TCall& call, const QList<TRemoteArg>& args, const QString& named, bool& lost);
    // Opens a connection to current_ (Open's work for one server).
    void OpenOne();
    // Host():Port() followed by the alternates, without repeats.
    QList<TServerAddress> Ring() const;
    // A new channel to host_:port_, with TLS when asked; drops (raises) when
    // that fails.
    void Connect(int timeoutMs);
    // Connects and greets; nothing when the server refused the hello as
    // malformed (one that predates features).
    std::optional<Rpc::TMessage> Greet(int timeoutMs, std::optional<Rpc::TFeatures> offer);
    QString Address() const;
    // Whether this connection names its station (a station set, and the
    // module "exp13000.rdmConfRastr").
    bool Identifies() const;
    [[noreturn]] void Drop(const QString& message);
    // The next message from the server; drops the connection with `timedOut`
    // or `lost` (or the protocol's complaint) when none comes.
    // `wasLost`, when given, is set when the connection broke.
    Rpc::TMessage Await(int timeoutMs, const QString& timedOut, const QString& lost, bool* wasLost = nullptr);

    QString host_ = QStringLiteral("127.0.0.1");
    int port_ = 0;
    QString serverName_;
    QString serverGuid_;
    bool throwException_ = false;
    int timeout_ = DefaultTimeout;
    TCompression compression_ = TCompression::Auto;
    Rpc::TRpcLimits limits_;
    TSecurity security_;
    TStation station_;
    QList<TServerAddress> alternates_;
    TServerAddress current_;
    int next_ = 0;  // where in the ring the next open starts
    QString lastRequestId_;
    QString nextRequestId_;
    Rpc::TFeatures features_;
    quint64 nextCallId_ = 1;
    bool busy_ = false;
    std::unique_ptr<TChannel> channel_;
    TAppServer appServer_{*this};
};
