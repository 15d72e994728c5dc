#pragma once
// --metrics ADDR:PORT: the server's metrics (metrics/ServerMetrics.h) at
// GET /metrics, in Prometheus's text format, through Qt's HTTP server.
//
// What anyone who reaches the port can do is bounded, as on the RPC port:
// at most MaxOpen connections at once (one more is closed on arrival), each
// open at most LifetimeMs and sending at most MaxRequestBytes in all (then
// closed unanswered); anything but GET gets 405 and any other path 404. With
// a TLS configuration the port speaks HTTPS with the server's certificate.
// Lives on the event loop's thread; failures to listen come back from
// Listen.
#include <QHostAddress>
#include <QSslConfiguration>
#include <QString>

#include <memory>
#include <optional>

class TMetricsEndpoint {
public:
    static constexpr int MaxOpen = 8;
    static constexpr int LifetimeMs = 10000;
    static constexpr qint64 MaxRequestBytes = 8192;

    explicit TMetricsEndpoint(std::optional<QSslConfiguration> tls);
    ~TMetricsEndpoint();

    // False, with `error` set, when the address cannot be bound.
    bool Listen(const QHostAddress& address, quint16 port, QString& error);
    quint16 Port() const;

private:
    class TListener;
    class THttp;
    std::unique_ptr<TListener> listener_;
    std::unique_ptr<THttp> http_;
};
