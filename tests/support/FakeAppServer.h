#pragma once
// An in-process stand-in for the application server, on a loopback port, to
// script what the real one never does: write into by-reference arguments,
// answer late or never, drop the connection, break the protocol. It runs on
// the test's thread; the client's wait for a reply drives it.
#include "rpc/Messages.h"

#include <QHash>
#include <QList>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <functional>
#include <optional>

class TFakeAppServer : public QObject {
public:
    // What to do with a call: a reply (result or fault), or nothing (never answer).
    using THandler = std::function<std::optional<Rpc::TMessage>(const Rpc::TCall&)>;

    // Serves `module`; an empty name serves every module.
    explicit TFakeAppServer(QString module = QStringLiteral("exp13000.rdmConfRastr"));
    quint16 Port() const { return listener_.serverPort(); }

    THandler OnCall;
    int DelayMs = 0;               // reply this late
    bool CloseOnCall = false;      // drop the connection instead of answering
    int DropCalls = 0;             // drop the connection instead of answering the next this many calls
    bool RequestIds = false;       // agree "request-id" when a hello offers it
    bool BaseProtocolOnly = false; // refuse a hello with features, as a server that predates them
    int Hellos = 0;                // handshakes seen
    QList<Rpc::TCall> Calls;       // calls seen
    // What happened, in order: "hello MODULE", "call MODULE METHOD", "closed MODULE".
    QStringList Events;

    // Closes every client connection from the server side.
    void DropClients();
    // Writes raw bytes to every client, unasked.
    void Push(const QByteArray& bytes);

private:
    void Read(QTcpSocket* socket);
    void Answer(QTcpSocket* socket, const QByteArray& payload);

    QString module_;
    QHash<QTcpSocket*, QString> moduleOf_;
    QHash<QTcpSocket*, Rpc::TFeatures> featuresOf_;  // agreed
    QTcpServer listener_;
    QList<QTcpSocket*> clients_;
};
