#include "NetConnection.h"

#include "rpc/Envelope.h"
#include "rpc/Frame.h"
#include "rpc/Messages.h"
#include "rpc/ProtocolError.h"
#include "rtl/Exceptions.h"
#include "server/RemoteNames.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostAddress>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <QUuid>

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

namespace {

TNetConnection::TReceiveProgress receiveProgress;
TNetConnection::TSecurity defaultSecurity;
TNetConnection::TStation defaultStation;
QList<TNetConnection::TServerAddress> defaultAlternates;

// Why a server's certificate was not accepted, in the user's words.
QString CertificateProblem(const QSslError& error)
{
    switch (error.error()) {
    case QSslError::HostNameMismatch:
        return QStringLiteral("o certificado do servidor não é para este nome de servidor");
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
        return QStringLiteral("o certificado do servidor não é de uma autoridade confiável (confira o arquivo de "
                              "autoridades nas configurações)");
    case QSslError::CertificateExpired:
        return QStringLiteral("o certificado do servidor expirou");
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("o certificado do servidor ainda não é válido");
    default:
        return QStringLiteral("certificado do servidor recusado (%1)").arg(error.errorString());
    }
}

} // namespace

bool IsLoopbackHost(const QString& host)
{
    QHostAddress address;
    if (address.setAddress(host))
        return address.isLoopback();
    // No other name is looked up: the answer of a name server could differ
    // between this check and the connection's own lookup.
    const QString name = host.endsWith(u'.') ? host.chopped(1) : host;
    return name.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
}

QSslConfiguration StationTls(const QList<QSslCertificate>& authorities)
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificates(authorities);
    configuration.setProtocol(QSsl::TlsV1_2OrLater);
    return configuration;
}

void TNetConnection::SetReceiveProgress(TReceiveProgress hook)
{
    receiveProgress = std::move(hook);
}

void TNetConnection::SetDefaultSecurity(TSecurity security)
{
    defaultSecurity = std::move(security);
}

const TNetConnection::TSecurity& TNetConnection::DefaultSecurity()
{
    return defaultSecurity;
}

void TNetConnection::SetDefaultStation(TStation station)
{
    defaultStation = std::move(station);
}

const TNetConnection::TStation& TNetConnection::DefaultStation()
{
    return defaultStation;
}

void TNetConnection::SetDefaultAlternates(QList<TServerAddress> servers)
{
    defaultAlternates = std::move(servers);
}

const QList<TNetConnection::TServerAddress>& TNetConnection::DefaultAlternates()
{
    return defaultAlternates;
}

QList<TNetConnection::TServerAddress> TNetConnection::Ring(const TServerAddress& first,
                                                           const QList<TServerAddress>& others)
{
    QList<TServerAddress> ring{first};
    for (const TServerAddress& server : others)
        if (!ring.contains(server))
            ring.append(server);
    return ring;
}

// The socket of an open (or opening) connection and the waits on it. Every
// wait runs a local event loop that excludes user input; the slots below only
// record the outcome and stop the loop, so nothing is raised inside it.
class TNetConnection::TChannel {
public:
    enum class TOutcome { Done, TimedOut, Lost, Broken };
    using TStop = std::function<void(TOutcome)>;

    TChannel(const Rpc::TRpcLimits& limits, bool tls)
        : socket_(tls ? new QSslSocket : new QTcpSocket)
        , reader_(limits.MaxFrameSize)
    {
    }

    bool Connect(const QString& host, int port, int timeoutMs)
    {
        if (port <= 0 || port > 65535)
            return false;
        socket_->connectToHost(host, quint16(port));
        Run(timeoutMs, [this](QObject* context, const TStop& stop) {
            QObject::connect(socket_.get(), &QTcpSocket::connected, context, [stop] { stop(TOutcome::Done); });
        });
        return socket_->state() == QAbstractSocket::ConnectedState;
    }

    // Connects and sets up TLS, trusting also `authorities`; on false
    // `problem` says what was wrong with the server's certificate, if that
    // was the failure.
    bool ConnectEncrypted(const QString& host, int port, int timeoutMs, const QList<QSslCertificate>& authorities,
                          QString& problem)
    {
        auto* tls = static_cast<QSslSocket*>(socket_.get());
        if (port <= 0 || port > 65535)
            return false;
        tls->setSslConfiguration(StationTls(authorities));
        tls->connectToHostEncrypted(host, quint16(port));
        Run(timeoutMs, [&](QObject* context, const TStop& stop) {
            QObject::connect(tls, &QSslSocket::encrypted, context, [stop] { stop(TOutcome::Done); });
            QObject::connect(tls, &QSslSocket::sslErrors, context, [&problem, stop](const QList<QSslError>& errors) {
                if (!errors.isEmpty())
                    problem = CertificateProblem(errors.first());
                stop(TOutcome::Broken);
            });
        });
        return tls->isEncrypted() && socket_->state() == QAbstractSocket::ConnectedState;
    }

    void Send(const QByteArray& frame) { socket_->write(frame); }

    // Waits for the next whole frame; on Done `payload` holds it, on Broken
    // `error` says what was wrong with the stream.
    TOutcome Receive(int timeoutMs, QByteArray& payload, QString& error)
    {
        auto tryRead = [&](const TStop& stop) {
            try {
                const bool whole = reader_.ReadFrom(*socket_);
                ReportProgress();
                if (whole) {
                    payload = reader_.TakeFrame();
                    stop(TOutcome::Done);
                }
            } catch (const EProtocolError& e) {
                error = e.Message();
                stop(TOutcome::Broken);
            }
        };
        std::optional<TOutcome> early;
        tryRead([&](TOutcome outcome) { early = outcome; });
        if (early)
            return *early;
        return Run(timeoutMs, [&](QObject* context, const TStop& stop) {
            QObject::connect(socket_.get(), &QTcpSocket::readyRead, context, [&tryRead, stop] { tryRead(stop); });
        });
    }

    // False when the peer closed the connection (or sent something unasked)
    // while it was idle. Looks at the socket without waiting.
    bool Alive()
    {
        if (socket_->state() != QAbstractSocket::ConnectedState)
            return false;
        socket_->waitForReadyRead(0);
        return socket_->state() == QAbstractSocket::ConnectedState && socket_->bytesAvailable() == 0
               && !reader_.Pending();
    }

    bool Connected() const { return socket_->state() == QAbstractSocket::ConnectedState; }
    bool Loopback() const { return socket_->peerAddress().isLoopback(); }
    qint64 BytesReceived() const { return reader_.BytesRead(); }

private:
    void ReportProgress()
    {
        const qint64 total = reader_.Announced();
        if (!receiveProgress || total < TNetConnection::LargeReply)
            return;
        const qint64 received = reader_.Arrived();
        const qint64 hundredths = received * 100 / total;
        if (received != total && hundredths == reportedHundredths_)
            return;
        reportedHundredths_ = received == total ? -1 : hundredths;
        receiveProgress(received, total);
    }

    // Runs the local loop until a slot armed by `arm`, the end of the
    // connection or the timer stops it. The first outcome wins.
    template <class Arm>
    TOutcome Run(int timeoutMs, Arm arm)
    {
        QEventLoop loop;
        QObject context;
        std::optional<TOutcome> outcome;
        const TStop stop = [&](TOutcome why) {
            if (!outcome) {
                outcome = why;
                loop.quit();
            }
        };
        arm(&context, stop);
        QObject::connect(socket_.get(), &QTcpSocket::disconnected, &context, [&stop] { stop(TOutcome::Lost); });
        QObject::connect(socket_.get(), &QTcpSocket::errorOccurred, &context, [&stop] { stop(TOutcome::Lost); });
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &context, [&stop] { stop(TOutcome::TimedOut); });
        if (timeoutMs > 0)
            timer.start(timeoutMs);
        if (socket_->state() != QAbstractSocket::UnconnectedState)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        return outcome.value_or(TOutcome::Lost);
    }

    std::unique_ptr<QTcpSocket> socket_;  // a QSslSocket for TLS
    Rpc::TFrameReader reader_;
    qint64 reportedHundredths_ = -1;
};

namespace {

struct TBusyGuard {
    bool& busy;
    explicit TBusyGuard(bool& flag) : busy(flag) { busy = true; }
    ~TBusyGuard() { busy = false; }
};

} // namespace

QVariant TAppServer::Call(const QString& method, std::initializer_list<TRemoteArg> args)
{
    return connection_.Invoke(method, QList<TRemoteArg>(args));
}

QVariant TAppServer::Call(const QString& method, const QList<TRemoteArg>& args)
{
    return connection_.Invoke(method, args);
}

TNetConnection::TNetConnection(TComponent* owner)
    : TComponent(owner)
    , security_(defaultSecurity)
    , station_(defaultStation)
    , alternates_(defaultAlternates)
{
}

TNetConnection::~TNetConnection() = default;

bool TNetConnection::Connected() const
{
    return channel_ && channel_->Connected();
}

void TNetConnection::SetConnected(bool connected)
{
    if (connected)
        Open();
    else
        Close();
}

QString TNetConnection::Address() const
{
    return QStringLiteral("%1:%2").arg(current_.Host).arg(current_.Port);
}

QList<TNetConnection::TServerAddress> TNetConnection::Ring() const
{
    return Ring({host_, port_}, alternates_);
}

void TNetConnection::Drop(const QString& message)
{
    channel_.reset();
    throw EConnectionError(message);
}

void TNetConnection::Open()
{
    if (Connected())
        return;
    if (busy_)
        throw EConnectionError(QStringLiteral("Já há uma chamada em andamento nesta conexão com o servidor de aplicação."));
    if (!QCoreApplication::instance())
        throw EConnectionError(QStringLiteral("A conexão com o servidor de aplicação requer a aplicação iniciada."));
    channel_.reset();
    features_ = Rpc::TFeatures{};
    BeforeConnect(this);
    const QList<TServerAddress> ring = Ring();
    if (next_ >= ring.size())
        next_ = 0;
    QStringList failures;
    for (int i = 0; i < ring.size(); ++i) {
        const int index = (next_ + i) % int(ring.size());
        current_ = ring[index];
        try {
            OpenOne();
            next_ = index;
            return;
        } catch (const EConnectionError& e) {
            if (ring.size() == 1)
                throw;
            failures << e.Message();
        }
    }
    throw EConnectionError(QStringLiteral("Nenhum servidor de aplicação atendeu. %1").arg(failures.join(u' ')));
}

void TNetConnection::OpenOne()
{
    TBusyGuard guard(busy_);
    const int timeoutMs = timeout_ * 1000;
    std::optional<Rpc::TMessage> reply =
        Greet(timeoutMs, Rpc::TFeatures{.Compact = true,
                                         .Zstd = compression_ != TCompression::Never,
                                         .Notices = Identifies(),
                                         .RequestId = true});
    if (!reply)
        reply = Greet(timeoutMs, std::nullopt);
    if (const auto* fault = std::get_if<Rpc::TFault>(&*reply)) {
        channel_.reset();
        throw EServerError(fault->Message);
    }
    const auto* welcome = std::get_if<Rpc::TWelcome>(&*reply);
    if (!welcome)
        Drop(QStringLiteral("Resposta inesperada do servidor de aplicação em %1 ao abrir a conexão.").arg(Address()));
    features_ = welcome->Features.value_or(Rpc::TFeatures{});
    if (features_.Notices && Identifies()) {
        // A refusal leaves this connection's changes unnamed, nothing more.
        channel_->Send(Rpc::EncodeFrame(Rpc::TCall{nextCallId_++, Remote::IdentificaEstacao, {station_.User, station_.Name}, {}},
                                        limits_, features_));
        Await(timeoutMs, QStringLiteral("O servidor de aplicação em %1 não respondeu em %2 s.").arg(Address()).arg(timeout_),
              QStringLiteral("A conexão com o servidor de aplicação em %1 foi perdida.").arg(Address()));
    }
}

std::optional<Rpc::TMessage> TNetConnection::Greet(int timeoutMs, std::optional<Rpc::TFeatures> offer)
{
    Connect(timeoutMs);
    if (offer && compression_ == TCompression::Auto)
        offer->Zstd = !channel_->Loopback();
    // A server that predates features predates accounts too.
    std::optional<Rpc::TCredentials> credentials;
    if (offer && !security_.User.isEmpty())
        credentials = Rpc::TCredentials{security_.User, security_.Password};
    channel_->Send(
        Rpc::EncodeFrame(Rpc::THello{Rpc::ProtocolVersion, serverName_, serverGuid_, offer, credentials}, limits_));
    Rpc::TMessage reply =
        Await(timeoutMs, QStringLiteral("O servidor de aplicação em %1 não respondeu em %2 s.").arg(Address()).arg(timeout_),
              QStringLiteral("Não foi possível conectar ao servidor de aplicação em %1.").arg(Address()));
    const auto* fault = std::get_if<Rpc::TFault>(&reply);
    if (offer && fault && fault->Code == Rpc::Fault::Frame) {
        channel_.reset();
        return std::nullopt;
    }
    return reply;
}

void TNetConnection::Connect(int timeoutMs)
{
    if (!security_.Tls && !security_.User.isEmpty() && !IsLoopbackHost(current_.Host))
        Drop(QStringLiteral("A conexão com o servidor de aplicação em %1 levaria a senha do usuário %2 sem criptografia "
                            "e não foi aberta: ative o TLS (server/tls=true nas configurações do host) ou use um "
                            "servidor desta máquina.")
                 .arg(Address(), security_.User));
    const QString unreachable = QStringLiteral("Não foi possível conectar ao servidor de aplicação em %1.").arg(Address());
    channel_ = std::make_unique<TChannel>(limits_, security_.Tls);
    if (!security_.Tls) {
        if (!channel_->Connect(current_.Host, current_.Port, timeoutMs))
            Drop(unreachable);
        return;
    }
    if (!QSslSocket::supportsSsl())
        Drop(QStringLiteral("A conexão com TLS não está disponível nesta estação (a biblioteca OpenSSL não foi encontrada)."));
    QList<QSslCertificate> authorities;
    if (!security_.CaFile.isEmpty()) {
        authorities = QSslCertificate::fromPath(security_.CaFile, QSsl::Pem);
        if (authorities.isEmpty())
            Drop(QStringLiteral("O arquivo de autoridades %1 não existe ou não contém certificados no formato PEM.")
                     .arg(security_.CaFile));
    }
    QString problem;
    if (!channel_->ConnectEncrypted(current_.Host, current_.Port, timeoutMs, authorities, problem))
        Drop(problem.isEmpty() ? unreachable
                               : QStringLiteral("Não foi possível estabelecer a conexão segura (TLS) com o servidor de "
                                                "aplicação em %1: %2.")
                                     .arg(Address(), problem));
}

bool TNetConnection::Identifies() const
{
    // Only the module whose methods change data has changes to name.
    return !station_.Name.isEmpty() && serverName_ == Remote::ConfRastr;
}

qint64 TNetConnection::BytesReceived() const
{
    return channel_ ? channel_->BytesReceived() : 0;
}

Rpc::TMessage TNetConnection::Await(int timeoutMs, const QString& timedOut, const QString& lost, bool* wasLost)
{
    QByteArray payload;
    QString error;
    switch (channel_->Receive(timeoutMs, payload, error)) {
    case TChannel::TOutcome::Done:
        break;
    case TChannel::TOutcome::TimedOut:
        Drop(timedOut);
    case TChannel::TOutcome::Lost:
        if (wasLost)
            *wasLost = true;
        Drop(lost);
    case TChannel::TOutcome::Broken:
        Drop(error);
    }
    try {
        return Rpc::DecodeMessage(payload, limits_, features_);
    } catch (const EProtocolError& e) {
        Drop(e.Message());
    }
}

void TNetConnection::Close()
{
    if (!channel_)
        return;
    channel_.reset();
    AfterDisconnect(this);
}

QVariant TNetConnection::Invoke(const QString& method, const QList<TRemoteArg>& args)
{
    if (busy_)
        throw EConnectionError(QStringLiteral("Já há uma chamada em andamento nesta conexão com o servidor de aplicação."));
    Rpc::TCall call;
    call.Method = method;
    const QString named = std::exchange(nextRequestId_, QString());
    lastRequestId_.clear();
    for (qsizetype i = 0; i < args.size(); ++i) {
        call.Args.append(args[i].Value());
        if (args[i].IsByRef())
            call.ByRef.append(int(i));
    }
    bool lost = false;
    QString first;
    try {
        return Send(call, args, named, lost);
    } catch (const EConnectionError& e) {
        if (!lost || call.RequestId.isEmpty())
            throw;
        first = e.Message();
    }
    next_ = (next_ + 1) % int(Ring().size());  // the next server of the site, if there is another
    try {
        return Send(call, args, named, lost);
    } catch (const EConnectionError& e) {
        throw EConnectionError(QStringLiteral("A chamada de %1 não foi concluída: %2 Nova tentativa: %3")
                                   .arg(method, first, e.Message()));
    }
}

QVariant TNetConnection::Send(Rpc::TCall& call, const QList<TRemoteArg>& args, const QString& named, bool& lost)
{
    lost = false;
    if (!channel_ || !channel_->Alive()) {
        channel_.reset();  // gone while idle: a failure, not a close
        Open();
    }
    if (call.RequestId.isEmpty() && features_.RequestId)
        call.RequestId = named.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : named;
    else if (!call.RequestId.isEmpty() && !features_.RequestId)
        Drop(QStringLiteral("O servidor de aplicação em %1 não aceita chamadas repetidas, e a anterior pode ter sido "
                            "executada.")
                 .arg(Address()));
    lastRequestId_ = call.RequestId;
    call.Id = nextCallId_++;
    const QByteArray frame = Rpc::EncodeFrame(call, limits_, features_);

    TBusyGuard guard(busy_);
    channel_->Send(frame);
    const Rpc::TMessage reply =
        Await(timeout_ * 1000, QStringLiteral("O servidor de aplicação não respondeu em %1 s.").arg(timeout_),
              QStringLiteral("A conexão com o servidor de aplicação em %1 foi perdida durante a chamada de %2.")
                  .arg(Address(), call.Method),
              &lost);
    if (const auto* fault = std::get_if<Rpc::TFault>(&reply)) {
        if (fault->Id != call.Id)
            Drop(fault->Message);
        throw EServerError(fault->Message);
    }
    const auto* result = std::get_if<Rpc::TResult>(&reply);
    if (!result || result->Id != call.Id || result->RefValues.size() != call.ByRef.size())
        Drop(QStringLiteral("Resposta inesperada do servidor de aplicação à chamada de %1.").arg(call.Method));
    for (qsizetype i = 0; i < call.ByRef.size(); ++i)
        args[call.ByRef[i]].WriteBack(result->RefValues[i]);
    if (throwException_) {
        const auto envelope = Rpc::ParseEnvelope(result->Value);
        if (envelope && !envelope->Ok)
            throw EServerError(envelope->Message);
    }
    return result->Value;
}
