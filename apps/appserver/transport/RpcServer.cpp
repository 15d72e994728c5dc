#include "RpcServer.h"

#include "AddressGroup.h"
#include "ServerConnection.h"
#include "ServerLog.h"
#include "metrics/ServerMetrics.h"
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

namespace {

// A call of an account that a reload of the accounts removed.
struct TAccountGone {};

const QString malformed = QStringLiteral("mensagem malformada");

QString AccountGone(const QString& user)
{
    return QStringLiteral("A conta do usuário %1 não existe mais neste servidor de aplicação; a conexão foi encerrada.")
        .arg(user);
}

} // namespace

Rpc::TRpcLimits TServerConfig::RequestLimits() const
{
    Rpc::TRpcLimits limits = Limits;
    limits.MaxFrameSize = MaxRequestSize;
    limits.MaxTextBytes = MaxTextBytes;
    // Texts inside a packet argument too: a delta's are codes and names.
    limits.Packet.maxStringBytes = MaxTextBytes;
    return limits;
}

void EffectiveConnections(TServerConfig& config, qint64 descriptors, QString& note)
{
    // The listening socket, the log, the signal pipe, the libraries' own
    // files, and each worker's database files (SQLite: the file, its WAL and
    // its shared memory).
    const qint64 own = 32 + 4 * qint64(config.Threads);
    const qint64 available = descriptors - own - config.MaxRefusing;
    const qint64 wanted = qint64(config.MaxConnections) + config.MaxLoginsInFlight;
    if (wanted > available) {
        const qint64 logins = std::clamp<qint64>(available / 5, 1, config.MaxLoginsInFlight);
        const qint64 connections = std::max<qint64>(1, available - logins);
        note = QStringLiteral("o processo pode abrir só %1 arquivos (ulimit -n): o limite de conexões passa de %2 para "
                              "%3 e o de entradas em andamento de %4 para %5")
                   .arg(descriptors)
                   .arg(config.MaxConnections)
                   .arg(connections)
                   .arg(config.MaxLoginsInFlight)
                   .arg(logins);
        config.MaxConnections = int(connections);
        config.MaxLoginsInFlight = int(logins);
    }
    // Whatever the caps became, one address never holds more than its share.
    const int perAddress = AddressPart(config.MaxConnections);
    if (config.MaxConnectionsPerAddress > perAddress) {
        note += QStringLiteral("%1o limite de conexões por endereço passa de %2 para %3 (1/%4 do limite de conexões)")
                    .arg(note.isEmpty() ? QString() : QStringLiteral("; "))
                    .arg(config.MaxConnectionsPerAddress)
                    .arg(perAddress)
                    .arg(AddressShare);
        config.MaxConnectionsPerAddress = perAddress;
    }
    config.MaxLoginsPerAddress = std::min(config.MaxLoginsPerAddress, AddressPart(config.MaxLoginsInFlight));
}

TRpcServer::TRpcServer(TServerConfig config, const TDispatcher& dispatcher, QObject* parent)
    : QObject(parent)
    , config_(std::move(config))
    , dispatcher_(dispatcher)
    , checks_(config_.AuthThreads)
    , connects_(config_.ConnectBurst, config_.ConnectIntervalMs)
    , notices_([this](quint64 connection, const Rpc::TNotice& notice) {
        if (TServerConnection* target = connections_.value(connection))
            target->Notify(notice);
    })
{
    if (!IsPostgresDatabase(config_.Db.Database))
        config_.Db.Notices = [this](const QByteArray& payload) { notices_.Heard(payload); };
    else
        // The other servers miss it; this one's subscribers hear it all the same.
        config_.Db.NoticesLost = [this](const QByteArray& payload, const QString& why) {
            notices_.Heard(payload);
            LogLine(QStringLiteral("aviso não enviado aos outros servidores (a alteração foi gravada): %1").arg(why));
        };
    pool_.setMaxThreadCount(std::max(1, config_.Threads));
    // Workers stay, and with them their database connections.
    pool_.setExpiryTimeout(-1);
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
    const QString group = AddressGroup(socket->peerAddress());
    if (!connects_.Take(group, clock_.elapsed())) {
        Metrics::Server().ConnectionsRefused.Add({u"connect_rate"});
        preLoginLog_.Write(group, QStringLiteral("conexão de %1 fechada: conexões novas demais deste endereço").arg(group),
                           clock_.elapsed());
        socket->abort();
        socket->deleteLater();
        return;
    }
    const quint64 id = nextConnection_++;
    auto* connection = new TServerConnection(*this, id, socket, group);
    connections_.insert(id, connection);
    TAddressUse& use = addresses_[connection->Group()];
    if (placed_ < config_.MaxConnections && use.Connections < config_.MaxConnectionsPerAddress) {
        ++placed_;
        ++use.Connections;
        connection->SetPlace(TServerConnection::TPlace::Connection);
        return;
    }
    Metrics::Server().ConnectionsRefused.Add({placed_ >= config_.MaxConnections ? u"connections" : u"per_address"});
    if (++refusing_ > config_.MaxRefusing) {
        socket->abort();
        connection->Close(QString());
        return;
    }
    connection->Reject(placed_ >= config_.MaxConnections
                           ? QStringLiteral("O servidor de aplicação atingiu o limite de %1 conexões; tente de novo "
                                            "em instantes.")
                                 .arg(config_.MaxConnections)
                           : QStringLiteral("O servidor de aplicação atingiu o limite de %1 conexões deste endereço; "
                                            "tente de novo em instantes.")
                                 .arg(config_.MaxConnectionsPerAddress),
                       Rpc::Fault::Busy);
}

bool TRpcServer::BeginLogin(TServerConnection& connection)
{
    TAddressUse& use = addresses_[connection.Group()];
    if (logins_ >= config_.MaxLoginsInFlight || use.Logins >= config_.MaxLoginsPerAddress)
        return false;
    ++logins_;
    ++use.Logins;
    --placed_;
    --use.Connections;
    connection.SetPlace(TServerConnection::TPlace::Login);
    return true;
}

void TRpcServer::EndLogin(TServerConnection& connection)
{
    TAddressUse& use = addresses_[connection.Group()];
    --logins_;
    --use.Logins;
    ++placed_;
    ++use.Connections;
    connection.SetPlace(TServerConnection::TPlace::Connection);
}

void TRpcServer::Release(const TServerConnection& connection)
{
    const auto it = addresses_.find(connection.Group());
    switch (connection.Place()) {
    case TServerConnection::TPlace::None: --refusing_; break;
    case TServerConnection::TPlace::Connection:
        --placed_;
        --it->Connections;
        break;
    case TServerConnection::TPlace::Login:
        --logins_;
        --it->Logins;
        break;
    }
    if (it != addresses_.end() && it->Connections == 0 && it->Logins == 0)
        addresses_.erase(it);
}

namespace {

QString UserKey(const QString& user)
{
    return QStringLiteral("u:") + user;
}

QString GroupKey(const QString& group)
{
    return QStringLiteral("a:") + group;
}

} // namespace

qint64 TRpcServer::BudgetShare() const
{
    return std::max<qint64>(2 * qint64(config_.MaxRequestSize), config_.RequestBudget / AddressShare);
}

bool TRpcServer::TakeBudget(const TServerConnection& connection, qint64 bytes)
{
    const QString user = connection.User().isEmpty() ? QString() : UserKey(connection.User());
    const QString group = GroupKey(connection.Group());
    QMutexLocker lock(&budgetMutex_);
    if (budgetUsed_ + bytes > config_.RequestBudget || budgetHeld_.value(group) + bytes > BudgetShare()
        || (!user.isEmpty() && budgetHeld_.value(user) + bytes > BudgetShare()))
        return false;
    budgetUsed_ += bytes;
    budgetHeld_[group] += bytes;
    if (!user.isEmpty())
        budgetHeld_[user] += bytes;
    return true;
}

void TRpcServer::GiveBudget(const QString& user, const QString& group, qint64 bytes)
{
    if (bytes == 0)
        return;
    QMutexLocker lock(&budgetMutex_);
    budgetUsed_ -= bytes;
    for (const QString& key : {user.isEmpty() ? QString() : UserKey(user), GroupKey(group)}) {
        if (key.isEmpty())
            continue;
        const auto it = budgetHeld_.find(key);
        if (it != budgetHeld_.end() && (*it -= bytes) <= 0)
            budgetHeld_.erase(it);
    }
}

bool TRpcServer::MayEngage(const TServerConnection& connection) const
{
    return engaged_.value(GroupKey(connection.Group())) < config_.MaxEngaged
           && (connection.User().isEmpty() || engaged_.value(UserKey(connection.User())) < config_.MaxEngaged);
}

void TRpcServer::Settle(TServerConnection& connection, bool engaged, qint64 queued)
{
    waitingOutput_ += queued - connection.queued_;
    connection.queued_ = queued;
    if (engaged == connection.engaged_)
        return;
    connection.engaged_ = engaged;
    const int step = engaged ? 1 : -1;
    QStringList keys{GroupKey(connection.Group())};
    if (!connection.User().isEmpty())
        keys.append(UserKey(connection.User()));
    for (const QString& key : keys) {
        const auto it = engaged_.insert(key, engaged_.value(key) + step);
        if (*it <= 0)
            engaged_.erase(it);
    }
    if (engaged)
        return;
    // A place of this user and address is free: those that waited for one try again.
    const auto open = connections_.values();
    for (TServerConnection* other : open)
        if (other->waiting_ && (other->Group() == connection.Group() || other->User() == connection.User()))
            other->Process();
}

void TRpcServer::Run(quint64 connection, QByteArray payload, qint64 held, const TModule* module, Rpc::TFeatures features,
                     const QString& user, const QString& group)
{
    if (pool_.activeThreadCount() >= pool_.maxThreadCount())
        Metrics::Server().PoolWaits.Add();
    const TServerConnection* from = connections_.value(connection);
    pool_.start([this, connection, address = from ? from->Address() : QString(), payload = std::move(payload), held,
                 module, features, user, group]() mutable {
        QByteArray frame;
        QString closing;  // why the connection closes after the reply; empty: it stays
        try {
            Rpc::TMessage message = Rpc::DecodeMessage(std::exchange(payload, QByteArray()), config_.RequestLimits(), features);
            if (auto* call = std::get_if<Rpc::TCall>(&message)) {
                const quint64 id = call->Id;
                const QString method = Rpc::Quoted(call->Method);
                const std::optional<TPrincipal> principal =
                    config_.Accounts ? config_.Accounts->Principal(user) : TPrincipal{};
                if (!principal)
                    throw TAccountGone{};
                const TCallPeer peer{features.Notices ? &notices_ : nullptr, connection, address};
                Rpc::TMessage reply = dispatcher_.Execute(*module, std::move(*call), config_.Db, *principal, peer);
                try {
                    frame = Rpc::EncodeFrame(reply, config_.Limits, features);
                } catch (const EProtocolError& e) {
                    // The result does not fit in a frame: the call fails, the connection stays.
                    LogCall(module->Name(), method, 0, QStringLiteral("falha: ") + e.Message(),
                            {connection, address, user});
                    frame = Rpc::EncodeFrame(Rpc::TFault{id, Rpc::Fault::Internal,
                                                         QStringLiteral("O resultado de %1 não pôde ser enviado: %2")
                                                             .arg(method, e.Message())},
                                             config_.Limits);
                }
            } else {
                closing = malformed;
                frame = Rpc::EncodeFrame(Rpc::TFault{std::nullopt, Rpc::Fault::Sequence,
                                                     QStringLiteral("Mensagem fora de lugar: esperava-se uma chamada.")},
                                         config_.Limits);
            }
        } catch (const EProtocolError& e) {
            closing = malformed;
            frame = Rpc::EncodeFrame(Rpc::TFault{std::nullopt, Rpc::Fault::Frame, e.Message()}, config_.Limits);
        } catch (const TAccountGone&) {
            closing = QStringLiteral("conta removida de %1").arg(Rpc::Quoted(user));
            frame = Rpc::EncodeFrame(Rpc::TFault{std::nullopt, Rpc::Fault::Auth, AccountGone(user)}, config_.Limits);
        }
        GiveBudget(user, group, held);
        QMetaObject::invokeMethod(
            this, [this, connection, frame, closing] { Deliver(connection, frame, closing); }, Qt::QueuedConnection);
    });
}

void TRpcServer::AccountsReloaded()
{
    if (!config_.Accounts)
        return;
    const auto open = connections_.values();
    for (TServerConnection* connection : open) {
        if (connection->User().isEmpty())
            continue;
        const std::optional<TPrincipal> principal = config_.Accounts->Principal(connection->User());
        if (!principal) {
            connection->Reject(AccountGone(connection->User()), Rpc::Fault::Auth);
            continue;
        }
        notices_.Unsubscribe(connection->Id(), [&](const QString& branch) { return principal->Branches.Contains(branch); });
    }
}

void TRpcServer::Deliver(quint64 connection, const QByteArray& frame, const QString& closing)
{
    TServerConnection* target = connections_.value(connection);
    if (!target)
        return;
    target->Deliver(frame, closing);
}

void TRpcServer::Forget(quint64 connection)
{
    if (TServerConnection* target = connections_.take(connection)) {
        notices_.Forget(connection);
        Settle(*target, false, 0);
        Release(*target);
        target->deleteLater();
    }
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
    checks_.Stop();
    // Replies of calls that were running are queued; drop them with the connections.
    const auto remaining = connections_.keys();
    for (quint64 id : remaining)
        Forget(id);
}
