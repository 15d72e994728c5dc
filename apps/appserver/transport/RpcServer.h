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
#include "Dispatcher.h"
#include "rpc/Limits.h"
#include "rpc/Messages.h"
#include "storage/Database.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QTcpServer>
#include <QThreadPool>

class TServerConnection;

struct TServerConfig {
    TDbConfig Db;
    Rpc::TRpcLimits Limits;
    int Threads = 4;
    int FrameTimeoutMs = 30000;
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
    void Run(quint64 connection, QByteArray payload, const TModule* module, Rpc::TFeatures features);
    void Deliver(quint64 connection, const QByteArray& frame, bool close);
    void Forget(quint64 connection);

    TServerConfig config_;
    const TDispatcher& dispatcher_;
    QTcpServer listener_;
    QThreadPool pool_;
    QHash<quint64, TServerConnection*> connections_;
    quint64 nextConnection_ = 1;
    bool stopping_ = false;
};
