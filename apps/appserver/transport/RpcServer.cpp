#include "RpcServer.h"

#include "ServerLog.h"
#include "rpc/Envelope.h"
#include "rpc/Frame.h"
#include "rpc/Messages.h"
#include "rpc/ProtocolError.h"

#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>

// One client socket. States:
//
//   greeting --[hello accepted: HandleHello]--> ready
//   greeting --[hello with credentials: HandleHello, after the throttle's wait]--> checking
//   greeting --[too many logins from its address waiting: HandleHello]--> gone
//   checking --[right: Authenticated]--> ready
//   checking --[wrong: Authenticated, then the throttle's delay]--> gone
//   ready --[call frame: Process]--> running --[reply written: Deliver]--> ready
//   any --[bad frame, wrong hello, peer closed, frame time-out: Close]--> gone
class TServerConnection : public QObject {
public:
    static constexpr int LingerMs = 10000;

    TServerConnection(TRpcServer& server, quint64 id, QTcpSocket* socket)
        : server_(server)
        , id_(id)
        , socket_(socket)
        , reader_(server.config_.MaxRequestSize, [this](quint32 length) { Admit(length); })
    {
        socket_->setParent(this);
        // Bounded input buffering: while a call runs nothing is read, and the
        // client's writes wait in the kernel.
        socket_->setReadBufferSize(1 << 20);
        frameTimer_.setSingleShot(true);
        connect(&frameTimer_, &QTimer::timeout, this,
                [this] { Close(QStringLiteral("quadro incompleto por mais de %1 ms").arg(server_.config_.FrameTimeoutMs)); });
        idleTimer_.setSingleShot(true);
        connect(&idleTimer_, &QTimer::timeout, this, [this] {
            Close(module_ ? QStringLiteral("ociosa por mais de %1 ms").arg(server_.config_.IdleTimeoutMs)
                          : QStringLiteral("sem apresentação em %1 ms").arg(server_.config_.HelloTimeoutMs));
        });
        idleTimer_.start(server_.config_.HelloTimeoutMs);
        connect(socket_, &QTcpSocket::readyRead, this, &TServerConnection::Process);
        connect(socket_, &QTcpSocket::disconnected, this, [this] { Close(QString()); });
        connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
            if (error == QAbstractSocket::SslHandshakeFailedError)
                Close(QStringLiteral("falha na negociação TLS: ") + socket_->errorString());
        });
    }

    void Process()
    {
        while (!running_ && !closed_) {
            bool ready = false;
            try {
                ready = reader_.ReadFrom(*socket_);
            } catch (const EProtocolError& e) {
                Reject(e.Message());
                return;
            } catch (const TOverBudget&) {
                Reject(QStringLiteral("O servidor de aplicação está sem memória livre para novas requisições no momento; "
                                      "tente de novo em instantes."),
                       Rpc::Fault::Busy);
                return;
            }
            if (!ready) {
                if (reader_.Pending() && !frameTimer_.isActive())
                    frameTimer_.start(server_.config_.FrameTimeoutMs);
                // Between calls the idle time runs; before the hello, its deadline.
                if (module_ && !reader_.Pending())
                    idleTimer_.start(server_.config_.IdleTimeoutMs);
                else if (module_)
                    idleTimer_.stop();
                return;
            }
            frameTimer_.stop();
            QByteArray payload = reader_.TakeFrame();
            const qint64 held = std::exchange(held_, 0);
            if (!module_) {
                HandleHello(payload);
                server_.GiveBudget(held);
            } else {
                running_ = true;
                idleTimer_.stop();
                server_.Run(id_, std::move(payload), held, module_, features_, user_);
            }
        }
    }

    void Deliver(const QByteArray& frame, bool close)
    {
        running_ = false;
        if (closed_) {
            Close(QString());
            return;
        }
        socket_->write(frame);
        if (close) {
            Close(QStringLiteral("mensagem malformada"));
            return;
        }
        Process();
    }

    // Answers with a connection-level fault, then closes.
    void Reject(const QString& message, const QString& code = Rpc::Fault::Frame)
    {
        if (!closed_)
            socket_->write(Rpc::EncodeFrame(Rpc::TFault{std::nullopt, code, message}, server_.config_.Limits, features_));
        Close(message);
    }

    // Closes once what was written has gone out (a peer that does not read
    // gets LingerMs); the connection is forgotten when the socket is closed
    // and no call of it is running.
    void Close(const QString& reason)
    {
        if (!closed_) {
            closed_ = true;
            frameTimer_.stop();
            idleTimer_.stop();
            if (!reason.isEmpty())
                LogLine(QStringLiteral("conexão %1 encerrada: ").arg(id_) + reason);
            socket_->disconnectFromHost();
            if (socket_->state() != QAbstractSocket::UnconnectedState)
                QTimer::singleShot(LingerMs, this, [this] {
                    socket_->abort();
                    Close(QString());
                });
        }
        if (!running_ && socket_->state() == QAbstractSocket::UnconnectedState)
            server_.Forget(id_);
    }

    // The outcome of the check of the hello's credentials. A wrong pair is
    // answered after the throttle's delay, reading nothing meanwhile.
    void Authenticated(bool right)
    {
        running_ = false;
        if (closed_) {
            Close(QString());
            return;
        }
        const QHostAddress peer = socket_->peerAddress();
        if (right) {
            server_.throttle_.Succeeded(peer);
            Welcome(pending_->Module, pending_->Features, pending_->User);
            pending_.reset();
            Process();
            return;
        }
        const int delay = server_.throttle_.Failed(peer, server_.clock_.elapsed());
        LogLine(QStringLiteral("conexão %1 de %2: usuário ou senha inválidos para %3; resposta em %4 ms")
                    .arg(id_)
                    .arg(peer.toString(), Rpc::Quoted(pending_->User))
                    .arg(delay));
        running_ = true;
        QTimer::singleShot(delay, this, [this] {
            running_ = false;
            Reject(QStringLiteral("Usuário ou senha inválidos."), Rpc::Fault::Auth);
        });
    }

    // A frame cut short by a close gives back what it held.
    ~TServerConnection() override { server_.GiveBudget(held_); }

private:
    struct TOverBudget {};

    // Before a frame's buffer is allocated.
    void Admit(quint32 length)
    {
        if (!server_.TakeBudget(length))
            throw TOverBudget{};
        held_ = length;
    }

    void HandleHello(const QByteArray& payload)
    {
        Rpc::TMessage message;
        try {
            message = Rpc::DecodeMessage(payload, server_.config_.RequestLimits(), features_);
        } catch (const EProtocolError& e) {
            Reject(e.Message());
            return;
        }
        const auto* hello = std::get_if<Rpc::THello>(&message);
        if (!hello) {
            Reject(QStringLiteral("A conexão deve começar pela apresentação (\"hello\")."), Rpc::Fault::Sequence);
            return;
        }
        if (hello->Version != Rpc::ProtocolVersion) {
            Reject(QStringLiteral("Versão %1 do protocolo não suportada; este servidor usa a versão %2.")
                       .arg(hello->Version)
                       .arg(Rpc::ProtocolVersion),
                   Rpc::Fault::Version);
            return;
        }
        const TModule* module = server_.dispatcher_.Find(hello->Module);
        if (!module) {
            Reject(QStringLiteral("Módulo remoto desconhecido no servidor de aplicação: %1.").arg(Rpc::Quoted(hello->Module)),
                   Rpc::Fault::Module);
            return;
        }
        if (!hello->ServerId.isEmpty() && hello->ServerId.compare(module->Id(), Qt::CaseInsensitive) != 0) {
            Reject(QStringLiteral("O módulo remoto %1 não tem o identificador %2.")
                       .arg(module->Name(), Rpc::Quoted(hello->ServerId)),
                   Rpc::Fault::Identifier);
            return;
        }
        if (!server_.config_.Accounts) {
            Welcome(module, hello->Features, QString());
            return;
        }
        if (!hello->Credentials) {
            Reject(QStringLiteral("O servidor de aplicação exige usuário e senha; confira as configurações da estação."),
                   Rpc::Fault::Auth);
            return;
        }
        const int wait = server_.throttle_.Admit(socket_->peerAddress(), server_.clock_.elapsed());
        if (wait > TLoginThrottle::MaxDelayMs) {
            Reject(QStringLiteral("Tentativas demais de entrar a partir deste endereço; tente de novo em alguns instantes."),
                   Rpc::Fault::Auth);
            return;
        }
        pending_ = TPending{module, hello->Features, hello->Credentials->User};
        running_ = true;
        idleTimer_.stop();
        QTimer::singleShot(wait, this, [this, credentials = *hello->Credentials] {
            if (closed_) {
                running_ = false;
                Close(QString());
                return;
            }
            server_.Authenticate(id_, credentials);
        });
    }

    void Welcome(const TModule* module, const std::optional<Rpc::TFeatures>& offered, const QString& user)
    {
        module_ = module;
        user_ = user;
        // Every feature a client offers is one this server speaks; a client
        // that offers none gets the base protocol's welcome.
        socket_->write(Rpc::EncodeFrame(Rpc::TWelcome{Rpc::ProtocolVersion, module->Name(), module->Id(), offered},
                                        server_.config_.Limits));
        features_ = offered.value_or(Rpc::TFeatures{});
    }

    // A hello whose credentials are being checked.
    struct TPending {
        const TModule* Module = nullptr;
        std::optional<Rpc::TFeatures> Features;
        QString User;
    };

    TRpcServer& server_;
    quint64 id_;
    QTcpSocket* socket_;
    Rpc::TFrameReader reader_;
    QTimer frameTimer_;
    QTimer idleTimer_;  // the hello's deadline, then the idle time between calls
    const TModule* module_ = nullptr;
    QString user_;  // authenticated; empty on a server without accounts
    std::optional<TPending> pending_;
    Rpc::TFeatures features_;  // agreed in the handshake
    qint64 held_ = 0;  // request budget held by the frame being read
    bool running_ = false;
    bool closed_ = false;
};

Rpc::TRpcLimits TServerConfig::RequestLimits() const
{
    Rpc::TRpcLimits limits = Limits;
    limits.MaxFrameSize = MaxRequestSize;
    limits.MaxTextBytes = MaxTextBytes;
    // Texts inside a packet argument too: a delta's are codes and names.
    limits.Packet.maxStringBytes = MaxTextBytes;
    return limits;
}

TRpcServer::TRpcServer(TServerConfig config, const TDispatcher& dispatcher, QObject* parent)
    : QObject(parent)
    , config_(std::move(config))
    , dispatcher_(dispatcher)
{
    pool_.setMaxThreadCount(std::max(1, config_.Threads));
    // Workers stay, and with them their database connections.
    pool_.setExpiryTimeout(-1);
    authPool_.setMaxThreadCount(1);
    clock_.start();
}

TRpcServer::~TRpcServer()
{
    Shutdown();
}

bool TRpcServer::Listen(const QHostAddress& address, quint16 port, QString& error)
{
    if (listener_.listen(address, port)) {
        listener_.pauseAccepting();
        acceptor_ = std::make_unique<QSocketNotifier>(listener_.socketDescriptor(), QSocketNotifier::Read);
        connect(acceptor_.get(), &QSocketNotifier::activated, this, &TRpcServer::Accept);
        return true;
    }
    error = listener_.errorString();
    return false;
}

void TRpcServer::Accept()
{
    for (;;) {
        const int descriptor = ::accept4(int(listener_.socketDescriptor()), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (descriptor >= 0) {
            QTcpSocket* socket = config_.Tls ? new QSslSocket : new QTcpSocket;
            if (!socket->setSocketDescriptor(descriptor)) {
                delete socket;  // closes the descriptor
                continue;
            }
            if (auto* tls = qobject_cast<QSslSocket*>(socket)) {
                tls->setSslConfiguration(*config_.Tls);
                tls->startServerEncryption();
            }
            Admit(socket);
            continue;
        }
        const int error = errno;
        if (error == EINTR || error == ECONNABORTED)
            continue;
        if (error == EAGAIN || error == EWOULDBLOCK)
            return;
        // Out of descriptors or memory: the waiting connections would make
        // accept() fail again at once, so let sockets close for a moment.
        LogLine(QStringLiteral("falha ao aceitar conexão: %1; nova tentativa em %2 ms")
                    .arg(QString::fromLocal8Bit(std::strerror(error)))
                    .arg(config_.AcceptPauseMs));
        acceptor_->setEnabled(false);
        QTimer::singleShot(config_.AcceptPauseMs, this, [this] {
            if (!stopping_)
                acceptor_->setEnabled(true);
        });
        return;
    }
}

void TRpcServer::Admit(QTcpSocket* socket)
{
    if (stopping_) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    const quint64 id = nextConnection_++;
    auto* connection = new TServerConnection(*this, id, socket);
    connections_.insert(id, connection);
    if (connections_.size() > config_.MaxConnections)
        connection->Reject(QStringLiteral("O servidor de aplicação atingiu o limite de %1 conexões; tente de novo em instantes.")
                               .arg(config_.MaxConnections),
                           Rpc::Fault::Busy);
}

bool TRpcServer::TakeBudget(qint64 bytes)
{
    qint64 used = budgetUsed_.load();
    do {
        if (used + bytes > config_.RequestBudget)
            return false;
    } while (!budgetUsed_.compare_exchange_weak(used, used + bytes));
    return true;
}

void TRpcServer::GiveBudget(qint64 bytes)
{
    budgetUsed_ -= bytes;
}

void TRpcServer::Authenticate(quint64 connection, Rpc::TCredentials credentials)
{
    authPool_.start([this, connection, credentials = std::move(credentials)] {
        const bool right = config_.Accounts->Login(credentials.User, credentials.Password);
        QMetaObject::invokeMethod(
            this,
            [this, connection, right] {
                if (TServerConnection* target = connections_.value(connection))
                    target->Authenticated(right);
            },
            Qt::QueuedConnection);
    });
}

void TRpcServer::Run(quint64 connection, QByteArray payload, qint64 held, const TModule* module, Rpc::TFeatures features,
                     const QString& user)
{
    pool_.start([this, connection, payload = std::move(payload), held, module, features, user]() mutable {
        QByteArray frame;
        bool close = false;
        try {
            Rpc::TMessage message = Rpc::DecodeMessage(std::exchange(payload, QByteArray()), config_.RequestLimits(), features);
            if (auto* call = std::get_if<Rpc::TCall>(&message)) {
                const quint64 id = call->Id;
                const QString method = Rpc::Quoted(call->Method);
                const TPrincipal principal = config_.Accounts ? config_.Accounts->Principal(user) : TPrincipal{};
                Rpc::TMessage reply = dispatcher_.Execute(*module, std::move(*call), config_.Db, principal);
                try {
                    frame = Rpc::EncodeFrame(reply, config_.Limits, features);
                } catch (const EProtocolError& e) {
                    // The result does not fit in a frame: the call fails, the connection stays.
                    LogCall(module->Name(), method, 0, QStringLiteral("falha: ") + e.Message());
                    frame = Rpc::EncodeFrame(Rpc::TFault{id, Rpc::Fault::Internal,
                                                         QStringLiteral("O resultado de %1 não pôde ser enviado: %2")
                                                             .arg(method, e.Message())},
                                             config_.Limits);
                }
            } else {
                close = true;
                frame = Rpc::EncodeFrame(Rpc::TFault{std::nullopt, Rpc::Fault::Sequence,
                                                     QStringLiteral("Mensagem fora de lugar: esperava-se uma chamada.")},
                                         config_.Limits);
            }
        } catch (const EProtocolError& e) {
            close = true;
            frame = Rpc::EncodeFrame(Rpc::TFault{std::nullopt, Rpc::Fault::Frame, e.Message()}, config_.Limits);
        }
        GiveBudget(held);
        QMetaObject::invokeMethod(
            this, [this, connection, frame, close] { Deliver(connection, frame, close); }, Qt::QueuedConnection);
    });
}

void TRpcServer::Deliver(quint64 connection, const QByteArray& frame, bool close)
{
    TServerConnection* target = connections_.value(connection);
    if (!target)
        return;
    target->Deliver(frame, close);
}

void TRpcServer::Forget(quint64 connection)
{
    if (TServerConnection* target = connections_.take(connection))
        target->deleteLater();
}

void TRpcServer::Shutdown()
{
    if (stopping_)
        return;
    stopping_ = true;
    if (acceptor_)
        acceptor_->setEnabled(false);
    listener_.close();
    for (TServerConnection* connection : std::as_const(connections_))
        connection->Close(QString());
    pool_.waitForDone();
    authPool_.waitForDone();
    // Replies of calls that were running are queued; drop them with the connections.
    const auto remaining = connections_.keys();
    for (quint64 id : remaining)
        Forget(id);
}
