#pragma once
// The command line of the application server:
//   appserver [--listen ADDR:PORT] [--database FILE] [--threads N]
//             [--max-frame BYTES] [--init-demo [--scale N]]
// Defaults: 127.0.0.1:21300, the SQLite file "exp13000.db", 4 threads,
// frames up to 256 MiB. Port 0 picks a free port (the server prints the one
// it listens on).
#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <optional>

struct TServerOptions {
    static constexpr quint16 DefaultPort = 21300;

    QHostAddress Address = QHostAddress::LocalHost;
    quint16 Port = DefaultPort;
    QString Database = QStringLiteral("exp13000.db");
    int Threads = 4;
    quint32 MaxFrame = 256u * 1024u * 1024u;
    bool InitDemo = false;
    int Scale = 1;
};

// The options, or nothing with `error` set (in Portuguese) for a bad command line.
std::optional<TServerOptions> ParseServerOptions(const QStringList& arguments, QString& error);
