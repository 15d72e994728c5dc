#include "MetricsEndpoint.h"

#include "metrics/Registry.h"
#include "metrics/ServerMetrics.h"

#include <QAbstractHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QPointer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>

// Accepting is ours, so that each connection is bounded before the HTTP
// server reads a byte of it: our readyRead handler is connected first, and
// sees each arrival before the HTTP server consumes it.
class TMetricsEndpoint::TListener final : public QTcpServer {
public:
    explicit TListener(std::optional<QSslConfiguration> tls) : tls_(std::move(tls)) {}

protected:
    void incomingConnection(qintptr descriptor) override
    {
        // The HTTP server owns the socket once it has it (and deletes it when
        // it disconnects): no parent here.
        QTcpSocket* socket = tls_ ? new QSslSocket : new QTcpSocket;
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        if (open_ >= MaxOpen) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        ++open_;
        connect(socket, &QObject::destroyed, this, [this] { --open_; });
        QTimer::singleShot(LifetimeMs, socket, [socket] { socket->abort(); });
        auto received = std::make_shared<qint64>(0);
        connect(socket, &QIODevice::readyRead, socket, [socket, received] {
            *received += socket->bytesAvailable();
            if (*received > MaxRequestBytes) {
                // The HTTP server's own handler, connected after this one,
                // must not read from a closed socket.
                disconnect(socket, &QIODevice::readyRead, nullptr, nullptr);
                socket->abort();
            }
        });
        if (auto* secure = qobject_cast<QSslSocket*>(socket)) {
            secure->setSslConfiguration(*tls_);
            secure->startServerEncryption();
        }
        addPendingConnection(socket);
    }

private:
    std::optional<QSslConfiguration> tls_;
    int open_ = 0;
};

class TMetricsEndpoint::THttp final : public QAbstractHttpServer {
protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override
    {
        QHttpServerResponder responder = makeResponder(request, socket);
        if (request.method() != QHttpServerRequest::Method::Get) {
            responder.write(QByteArray("only GET /metrics\n"), {{"Allow", "GET"}, {"Content-Type", "text/plain"}},
                            QHttpServerResponder::StatusCode::MethodNotAllowed);
            return true;
        }
        if (request.url().path() != QLatin1String("/metrics")) {
            responder.write(QByteArray("only GET /metrics\n"), "text/plain", QHttpServerResponder::StatusCode::NotFound);
            return true;
        }
        Metrics::Server();  // every metric made, those not counted yet too
        responder.write(Metrics::Registry().Exposition(), "text/plain; version=0.0.4; charset=utf-8");
        return true;
    }
    void missingHandler(const QHttpServerRequest&, QTcpSocket*) override {}
};

TMetricsEndpoint::TMetricsEndpoint(std::optional<QSslConfiguration> tls)
    : listener_(std::make_unique<TListener>(std::move(tls)))
    , http_(std::make_unique<THttp>())
{
}

TMetricsEndpoint::~TMetricsEndpoint() = default;

bool TMetricsEndpoint::Listen(const QHostAddress& address, quint16 port, QString& error)
{
    if (!listener_->listen(address, port)) {
        error = listener_->errorString();
        return false;
    }
    http_->bind(listener_.get());
    return true;
}

quint16 TMetricsEndpoint::Port() const
{
    return listener_->serverPort();
}
