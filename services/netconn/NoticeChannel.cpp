#include "NoticeChannel.h"

#include "rpc/Envelope.h"
#include "rpc/ProtocolError.h"
#include "server/RemoteNames.h"

#include <QSslSocket>
#include <QTcpSocket>

namespace {

TNoticeChannel* hostChannel = nullptr;

// The notices are small: a frame of more is a broken peer.
constexpr quint32 MaxNoticeFrame = 1u << 20;

} // namespace

TNoticeChannel* Notices()
{
    return hostChannel;
}

void SetNotices(TNoticeChannel* channel)
{
    hostChannel = channel;
}

TNoticeChannel::TNoticeChannel(QObject* parent) : QObject(parent)
{
    limits_.MaxFrameSize = MaxNoticeFrame;
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &TNoticeChannel::Connect);
    connect(&keepAlive_, &QTimer::timeout, this, &TNoticeChannel::Subscribe);
}

TNoticeChannel::~TNoticeChannel()
{
    if (hostChannel == this)
        hostChannel = nullptr;
    Disconnect();
}

void TNoticeChannel::SetServer(const QString& host, int port, const TNetConnection::TSecurity& security)
{
    host_ = host;
    port_ = port;
    next_ = 0;
    security_ = security;
    if (socket_)
        Connect();
}

void TNoticeChannel::SetStation(const TNetConnection::TStation& station)
{
    station_ = station;
    Subscribe();
}

void TNoticeChannel::Follow(const QString& branch)
{
    if (branch == branch_ && (socket_ || branch.isEmpty()))
        return;
    branch_ = branch;
    if (branch_.isEmpty()) {
        Disconnect();
        status_.clear();
        return;
    }
    if (welcomed_)
        Subscribe();
    else
        Connect();
}

void TNoticeChannel::SetReading(const QString& invoice)
{
    if (invoice == invoice_)
        return;
    invoice_ = invoice;
    Subscribe();
}

int TNoticeChannel::Listen(TListener listener)
{
    const int id = nextListener_++;
    listeners_.insert(id, std::move(listener));
    return id;
}

void TNoticeChannel::Unlisten(int id)
{
    listeners_.remove(id);
}

bool TNoticeChannel::FromHere(const Rpc::TNotice& notice) const
{
    return notice.Station == station_.Name && notice.User == station_.User;
}

void TNoticeChannel::Disconnect()
{
    retry_.stop();
    keepAlive_.stop();
    welcomed_ = false;
    subscribed_ = false;
    if (socket_) {
        // Perhaps inside one of the socket's own signals: it goes later.
        socket_->disconnect(this);
        socket_->abort();
        socket_.release()->deleteLater();
    }
}

void TNoticeChannel::Connect()
{
    Disconnect();
    const QList<TNetConnection::TServerAddress> ring = TNetConnection::Ring({host_, port_}, alternates_);
    const TNetConnection::TServerAddress server = ring[next_ % ring.size()];
    if (branch_.isEmpty() || station_.Name.isEmpty() || server.Port <= 0 || server.Port > 65535)
        return;
    // A password never travels in clear beyond this machine.
    if (!security_.Tls && !security_.User.isEmpty() && !IsLoopbackHost(server.Host)) {
        status_ = QStringLiteral("Avisos de mudança desligados: o servidor exige senha e a conexão não usa TLS.");
        return;
    }
    reader_ = std::make_unique<Rpc::TFrameReader>(MaxNoticeFrame);
    features_ = Rpc::TFeatures{};
    status_ = QStringLiteral("Conectando para receber avisos de mudança...");
    if (security_.Tls) {
        auto* tls = new QSslSocket;
        socket_.reset(tls);
        tls->setSslConfiguration(StationTls(
            security_.CaFile.isEmpty() ? QList<QSslCertificate>() : QSslCertificate::fromPath(security_.CaFile, QSsl::Pem)));
        connect(tls, &QSslSocket::encrypted, this, &TNoticeChannel::OnConnected);
        connect(tls, &QSslSocket::sslErrors, this,
                [this] { Lost(QStringLiteral("o certificado do servidor não foi aceito")); }, Qt::QueuedConnection);
        tls->connectToHostEncrypted(server.Host, quint16(server.Port));
    } else {
        socket_ = std::make_unique<QTcpSocket>();
        connect(socket_.get(), &QTcpSocket::connected, this, &TNoticeChannel::OnConnected);
        socket_->connectToHost(server.Host, quint16(server.Port));
    }
    connect(socket_.get(), &QTcpSocket::readyRead, this, &TNoticeChannel::OnReadyRead);
    connect(socket_.get(), &QTcpSocket::errorOccurred, this,
            [this] { Lost(socket_ ? socket_->errorString() : QString()); }, Qt::QueuedConnection);
}

void TNoticeChannel::OnConnected()
{
    std::optional<Rpc::TCredentials> credentials;
    if (!security_.User.isEmpty())
        credentials = Rpc::TCredentials{security_.User, security_.Password};
    Rpc::TFeatures offer;
    offer.Compact = true;
    offer.Notices = true;
    socket_->write(Rpc::EncodeFrame(Rpc::THello{Rpc::ProtocolVersion, Remote::ConfRastr, Remote::ConfRastrId, offer, credentials},
                                    limits_));
}

void TNoticeChannel::Lost(const QString& why)
{
    if (!socket_)
        return;
    const bool wasOpen = subscribed_;
    Disconnect();
    ++next_;
    resumed_ = resumed_ || wasOpen;
    status_ = QStringLiteral("Avisos de mudança interrompidos (%1); nova tentativa em instantes.").arg(why);
    retry_.start(RetryMs);
}

void TNoticeChannel::OnReadyRead()
{
    try {
        while (socket_ && reader_->ReadFrom(*socket_))
            Handle(Rpc::DecodeMessage(reader_->TakeFrame(), limits_, features_));
    } catch (const EProtocolError& e) {
        Lost(e.Message());
    }
}

void TNoticeChannel::Handle(const Rpc::TMessage& message)
{
    if (const auto* welcome = std::get_if<Rpc::TWelcome>(&message)) {
        features_ = welcome->Features.value_or(Rpc::TFeatures{});
        if (!features_.Notices) {
            Disconnect();
            ++next_;
            status_ = QStringLiteral("O servidor de aplicação não envia avisos de mudança.");
            retry_.start(RetryMs * 30);
            return;
        }
        welcomed_ = true;
        keepAlive_.start(KeepAliveMs);
        Subscribe();
    } else if (const auto* notice = std::get_if<Rpc::TNotice>(&message)) {
        Tell(*notice);
    } else if (const auto* result = std::get_if<Rpc::TResult>(&message)) {
        if (result->Id != pendingCall_)
            return;  // an answer overtaken by a later subscription
        const auto envelope = Rpc::ParseEnvelope(result->Value);
        if (!envelope || !envelope->Ok) {
            subscribed_ = false;
            status_ = QStringLiteral("Avisos de mudança recusados: %1")
                          .arg(envelope ? envelope->Message : QStringLiteral("resposta inesperada"));
            return;
        }
        subscribed_ = true;
        status_.clear();
        if (std::exchange(resumed_, false))
            Tell(Rpc::TNotice{Rpc::Notice::Missed, branch_, {}, {}, std::nullopt, {}, {}});
        for (const QVariant& station : envelope->Payload.toList()) {
            const QVariantList pair = station.toList();
            if (pair.size() == 2)
                Tell(Rpc::TNotice{Rpc::Notice::Present, branch_, invoice_, {}, std::nullopt, pair[0].toString(),
                                  pair[1].toString()});
        }
    } else if (const auto* fault = std::get_if<Rpc::TFault>(&message)) {
        if (!welcomed_) {
            // Refused at the hello: a server of another version, or a login
            // the other connections will report. Not worth trying often.
            Disconnect();
            ++next_;
            status_ = QStringLiteral("Avisos de mudança indisponíveis: %1").arg(fault->Message);
            retry_.start(RetryMs * 30);
        } else if (!fault->Id)
            Lost(fault->Message);
        else
            status_ = QStringLiteral("Avisos de mudança recusados: %1").arg(fault->Message);
    }
}

void TNoticeChannel::Subscribe()
{
    if (!welcomed_ || !socket_)
        return;
    pendingCall_ = nextCall_++;
    socket_->write(Rpc::EncodeFrame(
        Rpc::TCall{pendingCall_, Remote::AssinaAvisos, {branch_, station_.User, station_.Name, invoice_}, {}}, limits_,
        features_));
}

void TNoticeChannel::Tell(const Rpc::TNotice& notice)
{
    // A listener may remove itself (or another) while it hears.
    const QHash<int, TListener> listeners = listeners_;
    for (auto it = listeners.cbegin(); it != listeners.cend(); ++it)
        if (listeners_.contains(it.key()))
            it.value()(notice);
}
