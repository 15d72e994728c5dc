#include "ServerConnection.h"

#include "RpcServer.h"
#include "metrics/ServerMetrics.h"
#include "rpc/Compression.h"
#include "rpc/Envelope.h"
#include "rpc/ProtocolError.h"

#include <QSslSocket>
#include <QTcpSocket>

namespace {

const QString tooManyLogins =
    QStringLiteral("Tentativas demais de entrar a partir deste endereço; tente de novo em alguns instantes.");

} // namespace

TServerConnection::TServerConnection(TRpcServer& server, quint64 id, QTcpSocket* socket, QString group)
    : server_(server)
    , id_(id)
    , socket_(socket)
    , group_(std::move(group))
    , reader_(server.config_.PreLoginFrameBytes, [this](quint32 length) { AdmitFrame(length); })
{
    socket_->setParent(this);
    Metrics::Server().ConnectionsOpen.Add(1);
    // Bounded input buffering: while a call runs nothing is read, and the
    // client's writes wait in the kernel.
    socket_->setReadBufferSize(1 << 20);
    frameTimer_.setSingleShot(true);
    connect(&frameTimer_, &QTimer::timeout, this,
            [this] { Close(QStringLiteral("quadro incompleto por mais de %1 ms").arg(server_.config_.FrameTimeoutMs)); });
    idleTimer_.setSingleShot(true);
    connect(&idleTimer_, &QTimer::timeout, this, [this] {
        if (!module_)
            Metrics::Server().HelloTimeouts.Add();
        Close(module_ ? QStringLiteral("ociosa por mais de %1 ms").arg(server_.config_.IdleTimeoutMs)
                      : QStringLiteral("sem apresentação em %1 ms").arg(server_.config_.HelloTimeoutMs));
    });
    idleTimer_.start(server_.config_.HelloTimeoutMs);
    stallTimer_.setSingleShot(true);
    connect(&stallTimer_, &QTimer::timeout, this, [this] {
        Log(QStringLiteral("conexão %1 encerrada: %2 bytes de resposta parados por mais de %3 ms")
                .arg(id_)
                .arg(Queued())
                .arg(server_.config_.StallTimeoutMs));
        socket_->abort();
        Close(QString());
    });
    connect(socket_, &QTcpSocket::readyRead, this, &TServerConnection::Process);
    connect(socket_, &QTcpSocket::bytesWritten, this, &TServerConnection::OnWritten);
    if (auto* tls = qobject_cast<QSslSocket*>(socket_))
        connect(tls, &QSslSocket::encryptedBytesWritten, this, &TServerConnection::OnWritten);
    connect(socket_, &QTcpSocket::disconnected, this, [this] { Close(QString()); });
    // Never inside the socket's own error signal: the TLS library may still be
    // at work on what closing the socket frees.
    connect(socket_, &QTcpSocket::errorOccurred, this, &TServerConnection::OnSocketError, Qt::QueuedConnection);
}

// A frame cut short by a close, or read and never run, gives back what it held.
TServerConnection::~TServerConnection()
{
    server_.GiveBudget(user_, group_, held_ + (parked_ ? parked_->Held : 0));
    Metrics::Server().ConnectionsOpen.Add(-1);
}

void TServerConnection::Process()
{
    while (!running_ && !closed_ && !refusing_ && !Backlogged()) {
        if (!parked_) {
            std::optional<TRequestFrame> request = ReadRequest();
            if (!request)
                return;
            parked_ = std::move(request);
        }
        // Back-pressure: a place of the user's and the address's, and this
        // connection's own replies sent first while the server holds too many.
        if (!engaged_ && !server_.MayEngage(*this)) {
            waiting_ = true;
            return;
        }
        if (Queued() > 0 && server_.OverOutputBudget())
            return;
        waiting_ = false;
        TRequestFrame request = std::move(*std::exchange(parked_, std::nullopt));
        running_ = true;
        server_.Run(id_, std::move(request.Payload), request.Held, module_, features_, user_, group_);
        Settle();
    }
}

std::optional<TServerConnection::TRequestFrame> TServerConnection::ReadRequest()
{
    for (;;) {
        bool ready = false;
        try {
            ready = reader_.ReadFrom(*socket_);
        } catch (const EProtocolError& e) {
            Reject(e.Message());
            return std::nullopt;
        } catch (const TOverBudget&) {
            Reject(QStringLiteral("O servidor de aplicação está sem memória livre para novas requisições no momento; "
                                  "tente de novo em instantes."),
                   Rpc::Fault::Busy);
            return std::nullopt;
        }
        if (!ready) {
            if (reader_.Pending() && !frameTimer_.isActive())
                frameTimer_.start(server_.config_.FrameTimeoutMs);
            // Between calls the idle time runs; before the hello, its deadline.
            if (module_ && !reader_.Pending())
                idleTimer_.start(server_.config_.IdleTimeoutMs);
            else if (module_)
                idleTimer_.stop();
            return std::nullopt;
        }
        frameTimer_.stop();
        TRequestFrame request{reader_.TakeFrame(), std::exchange(held_, 0)};
        if (!module_) {
            HandleHello(request.Payload);
            if (running_ || closed_ || refusing_)
                return std::nullopt;
            continue;
        }
        idleTimer_.stop();
        // A compressed request holds its content's size as well once decoded.
        if (features_.Zstd && Rpc::IsCompressed(request.Payload)) {
            const quint64 content = Rpc::DeclaredContentSize(request.Payload);
            if (content > 0 && content <= server_.config_.MaxRequestSize) {
                if (!server_.TakeBudget(*this, qint64(content))) {
                    server_.GiveBudget(user_, group_, request.Held);
                    Reject(QStringLiteral("O servidor de aplicação está sem memória livre para novas requisições no "
                                          "momento; tente de novo em instantes."),
                           Rpc::Fault::Busy);
                    return std::nullopt;
                }
                request.Held += qint64(content);
            }
        }
        return request;
    }
}

void TServerConnection::Settle()
{
    server_.Settle(*this, module_ && !closed_ && (running_ || Queued() > 0), Queued());
}

void TServerConnection::Deliver(const QByteArray& frame, const QString& closing)
{
    running_ = false;
    if (closed_) {
        Close(QString());
        return;
    }
    socket_->write(frame);
    if (!closing.isEmpty()) {
        Close(closing);
        return;
    }
    if (Queued() > 0 && !stallTimer_.isActive())
        stallTimer_.start(server_.config_.StallTimeoutMs);
    Settle();
    Process();
}

void TServerConnection::Notify(const Rpc::TNotice& notice)
{
    if (closed_ || refusing_ || !features_.Notices)
        return;
    if (!missed_.isEmpty()) {
        Metrics::Server().NoticesDropped.Add();
        return;
    }
    const QByteArray frame = Rpc::EncodeFrame(notice, server_.config_.Limits, features_);
    if (Queued() + frame.size() > server_.config_.NoticeCap) {
        Metrics::Server().NoticesDropped.Add();
        missed_ = notice.Branch;
        return;
    }
    socket_->write(frame);
    Metrics::Server().NoticesDelivered.Add();
    if (!stallTimer_.isActive())
        stallTimer_.start(server_.config_.StallTimeoutMs);
    Settle();
}

void TServerConnection::OnWritten()
{
    if (!missed_.isEmpty() && !closed_ && Queued() == 0) {
        const Rpc::TNotice missed{Rpc::Notice::Missed, std::exchange(missed_, QString()), {}, {}, std::nullopt, {}, {}};
        socket_->write(Rpc::EncodeFrame(missed, server_.config_.Limits, features_));
        Metrics::Server().NoticesMissed.Add();
    }
    if (Queued() == 0)
        stallTimer_.stop();
    else if (!closed_)
        stallTimer_.start(server_.config_.StallTimeoutMs);  // progress: the stall counts anew
    Settle();
    if (!closed_ && !running_ && !Backlogged())
        Process();
}

qint64 TServerConnection::Queued() const
{
    const auto* tls = qobject_cast<const QSslSocket*>(socket_);
    return socket_->bytesToWrite() + (tls ? tls->encryptedBytesToWrite() : 0);
}

bool TServerConnection::Backlogged() const
{
    return Queued() > server_.config_.OutputCap;
}

void TServerConnection::Reject(const QString& message, const QString& code)
{
    if (closed_ || refusing_) {
        Close(QString());
        return;
    }
    refusing_ = true;  // nothing more is read
    const QByteArray fault = Rpc::EncodeFrame(Rpc::TFault{std::nullopt, code, message}, server_.config_.Limits, features_);
    // Over TLS, written and closed on a later turn of the loop, never inside
    // the socket's own signals (a frame read, a handshake done): the TLS
    // library may still be at work on the record that raised them, and a
    // write, a flush or a close then re-enters it and brings the process
    // down. A plain socket is answered at once, so that a burst of refusals
    // on accepting never holds more than MaxRefusing places.
    const auto send = [this, fault, message] {
        if (closed_)
            return;
        socket_->write(fault);
        // Handed to the kernel now, so that a refusal made on accepting is
        // over at once instead of holding a descriptor until the next turn.
        socket_->flush();
        Close(message);
    };
    auto* tls = qobject_cast<QSslSocket*>(socket_);
    if (!tls)
        send();
    else if (!tls->isEncrypted())
        connect(tls, &QSslSocket::encrypted, this, send, Qt::QueuedConnection);  // the hello's deadline bounds the wait
    else
        QMetaObject::invokeMethod(this, send, Qt::QueuedConnection);
}

void TServerConnection::Close(const QString& reason)
{
    if (!closed_) {
        closed_ = true;
        frameTimer_.stop();
        idleTimer_.stop();
        if (!reason.isEmpty())
            Log(QStringLiteral("conexão %1 encerrada: ").arg(id_) + reason);
        // A client that hung up before its turn costs no password check, and
        // gives its turn back.
        bool unchecked = pending_ && running_ && !checkQueued_;  // waiting for its turn
        if (checkQueued_ && server_.checks_.Cancel(id_)) {
            checkQueued_ = false;
            running_ = false;
            unchecked = true;
        }
        if (unchecked && booking_)
            server_.throttle_.GiveBack(ThrottleKey(pending_->Credentials.User), *std::exchange(booking_, std::nullopt));
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

void TServerConnection::OnSocketError()
{
    if (socket_->error() == QAbstractSocket::SslHandshakeFailedError) {
        Metrics::Server().TlsFailures.Add();
        Close(QStringLiteral("falha na negociação TLS: ") + socket_->errorString());
    } else if (socket_->state() == QAbstractSocket::UnconnectedState) {
        Close(QString());
    }
}

void TServerConnection::AdmitFrame(quint32 length)
{
    // Before the welcome frames are small (PreLoginFrameBytes) and charged to
    // no one: a stranger cannot take what logged-in stations need.
    if (!module_)
        return;
    if (!server_.TakeBudget(*this, length))
        throw TOverBudget{};
    held_ = length;
}

void TServerConnection::HandleHello(const QByteArray& payload)
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
    if (!server_.BeginLogin(*this)) {
        Metrics::Server().ConnectionsRefused.Add({u"logins"});
        Reject(tooManyLogins, Rpc::Fault::Auth);
        return;
    }
    const qint64 now = server_.clock_.elapsed();
    const int wait = server_.throttle_.Admit(ThrottleKey(hello->Credentials->User), now);
    if (wait > TLoginThrottle::MaxDelayMs) {
        Metrics::Server().ConnectionsRefused.Add({u"logins"});
        Reject(tooManyLogins, Rpc::Fault::Auth);
        return;
    }
    if (wait > 0)
        Metrics::Server().LoginsDelayed.Add();
    pending_ = TPending{module, hello->Features, *hello->Credentials};
    booking_ = now + wait;
    running_ = true;
    idleTimer_.stop();
    QTimer::singleShot(wait, this, &TServerConnection::StartCheck);
}

void TServerConnection::StartCheck()
{
    if (closed_) {
        // Gone before its turn: nothing checked, nothing to count.
        running_ = false;
        Close(QString());
        return;
    }
    checkQueued_ = true;
    server_.checks_.Enqueue(
        id_, group_,
        [accounts = server_.config_.Accounts, credentials = pending_->Credentials] {
            return accounts->Login(credentials.User, credentials.Password);
        },
        [this](bool right) {
            checkQueued_ = false;
            Checked(right);
        });
}

void TServerConnection::Checked(bool right)
{
    running_ = false;
    booking_.reset();
    const TLoginThrottle::TLogin login = ThrottleKey(pending_->Credentials.User);
    Metrics::Server().Logins.Add({right ? u"succeeded" : u"failed"});
    if (right) {
        server_.throttle_.Succeeded(login);
        if (closed_) {
            Close(QString());
            return;
        }
        server_.EndLogin(*this);
        Welcome(pending_->Module, pending_->Features, pending_->Credentials.User);
        pending_.reset();
        Process();
        return;
    }
    // Counted whether or not the client is still there to be answered.
    const int delay = server_.throttle_.Failed(login, server_.clock_.elapsed());
    Log(QStringLiteral("conexão %1 de %2: usuário ou senha inválidos para %3; resposta em %4 ms")
            .arg(id_)
            .arg(socket_->peerAddress().toString(), Rpc::Quoted(login.User))
            .arg(delay));
    if (closed_) {
        Close(QString());
        return;
    }
    running_ = true;
    QTimer::singleShot(delay, this, [this] {
        running_ = false;
        Reject(QStringLiteral("Usuário ou senha inválidos."), Rpc::Fault::Auth);
    });
}

void TServerConnection::Welcome(const TModule* module, const std::optional<Rpc::TFeatures>& offered,
                                const QString& user)
{
    module_ = module;
    user_ = user;
    reader_.SetMaxFrameSize(server_.config_.MaxRequestSize);
    // Every feature a client offers is one this server speaks; a client
    // that offers none gets the base protocol's welcome.
    socket_->write(Rpc::EncodeFrame(Rpc::TWelcome{Rpc::ProtocolVersion, module->Name(), module->Id(), offered},
                                    server_.config_.Limits));
    features_ = offered.value_or(Rpc::TFeatures{});
}

TLoginThrottle::TLogin TServerConnection::ThrottleKey(const QString& user) const
{
    // No account name is longer (Accounts.h): a longer one costs the table no
    // more than one that long.
    return {group_, user.left(64)};
}

QString TServerConnection::Address() const
{
    return socket_->peerAddress().toString();
}

void TServerConnection::Log(const QString& line)
{
    TLogEntry entry;
    entry.Event = QStringLiteral("connection");
    entry.Level = QStringLiteral("warning");
    entry.Message = line;
    entry.Connection = id_;
    entry.Address = Address();
    entry.User = module_ ? user_ : pending_ ? pending_->Credentials.User : QString();
    if (module_)
        ::Log(entry);
    else
        server_.preLoginLog_.Write(group_, entry, server_.clock_.elapsed());
}
