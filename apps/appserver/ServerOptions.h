#pragma once
// The command line of the application server:
//   appserver [--listen ADDR:PORT] [--database FILE|URI] [--create] [--threads N]
//             [--max-frame BYTES] [--request-budget BYTES] [--max-connections N]
//             [--hello-timeout SECONDS] [--idle-timeout SECONDS]
//             [--tls-cert FILE --tls-key FILE] [--accounts FILE]
//             [--init-demo [--scale N]]
//             [--create-roles --database URI [--server-role NAME] [--station-role NAME]]
//             [--migrate] [--health HOST:PORT [--tls-ca FILE] [--user NAME]]
//             [--metrics ADDR:PORT] [--log-format text|json] [--help]
//   appserver --add-user NAME [--branches LIST] --accounts FILE
//   appserver --set-branches NAME --branches LIST --accounts FILE
//   appserver --list-users --accounts FILE
// --database takes a SQLite file or a PostgreSQL URI (Database.h). Serving a
// SQLite file that does not exist is refused unless --create asks for a new,
// empty one (a mistyped path must not serve an empty work list).
// --listen takes an IPv6 address in brackets ([::1]:21300) or without.
// Defaults: 127.0.0.1:21300 and the SQLite file the host also uses
// (framework/Defaults.h), 4 threads, requests up to 1 MiB a frame and 32 MiB
// held at once by the whole server, 256 connections (64 from one address,
// an IPv6 /64 network counting as one), 10 s to say hello,
// 600 s idle between calls. Port 0 picks a free port (the server
// prints the one it listens on).
// On a loopback address TLS and accounts are optional; on any other address
// both are required (a certificate and key, and an accounts file), and a
// command line without them is refused; the same holds for --metrics
// (MetricsEndpoint.h), off unless given. --create-roles sets up a
// PostgreSQL database's roles (storage/Roles.h) and stops; the role names are
// checked here. --migrate brings the database's schema up to date and
// stops. --health asks a running server whether it reaches its database and
// may write there, and stops (exit 0 yes, 1 no).
// The account commands work on the accounts file and stop: --add-user adds
// a user (or sets its password), --set-branches sets a user's branches,
// --list-users lists the users with their branches. LIST is "*" (every
// branch) or branch codes separated by commas; a new user needs one.
#include "server/Defaults.h"
#include "storage/Roles.h"
#include "transport/Principal.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <optional>

// What --health asks, and how it connects: TLS when CaFile is given, the
// user's password read from stdin when User is.
struct THealthCheck {
    QString Host;
    quint16 Port = 0;
    QString CaFile;
    QString User;
};

struct TServerOptions {
    QHostAddress Address = QHostAddress(QString::fromLatin1(Defaults::ServerHost));
    quint16 Port = Defaults::ServerPort;
    QString Database = Defaults::DatabasePath();
    int Threads = 4;
    quint32 MaxFrame = 1u << 20;             // largest request frame
    qint64 RequestBudget = qint64(32) << 20; // request bytes held at once, at least MaxFrame
    int MaxConnections = 256;
    int MaxConnectionsPerAddress = 64;
    int HelloTimeout = 10;   // seconds
    int IdleTimeout = 600;   // seconds
    QString TlsCertificate;  // PEM files; both or neither
    QString TlsKey;
    QString Accounts;  // the accounts file (Accounts.h); "" none
    QString AddUser;   // add this user to Accounts and stop
    bool CreateRoles = false;
    TRoleSetup Roles;  // the names; the passwords are asked when they are set up
    QString SetBranches;  // set this user's branches in Accounts and stop
    bool ListUsers = false;  // list the users of Accounts and stop
    std::optional<TBranches> Branches;  // --branches, for AddUser or SetBranches
    bool Create = false;
    bool InitDemo = false;
    bool Migrate = false;
    std::optional<THealthCheck> Health;
    int Scale = 1;
    std::optional<QHostAddress> Metrics;  // --metrics: where to serve them; none, off
    quint16 MetricsPort = 0;
    bool JsonLog = false;  // --log-format json (ServerLog.h)
    bool Help = false; // print ServerUsage() and stop
};

// The text --help prints, in Portuguese.
QString ServerUsage();

// The options, or nothing with `error` set (in Portuguese) for a bad command line.
std::optional<TServerOptions> ParseServerOptions(const QStringList& arguments, QString& error);
