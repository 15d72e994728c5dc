#pragma once
// TAppServerProcess: the real application server as a child process, for
// tests of every layer. It runs on a free loopback port with its own SQLite
// file in a temporary folder (demo data at the given scale, unless told
// otherwise), and is stopped (SIGTERM, then SIGKILL after a grace period)
// when the object is destroyed.
//
// After UsePostgres(true), or in a process started with
// EXP_SERVER_TESTS_ON_POSTGRES=1, the database is instead a new PostgreSQL database
// of its own, created on the cluster the PG environment variables name (the
// throwaway cluster of scripts/with-postgres, which sets
// EXP_TEST_POSTGRES=1) and dropped with the object; without that cluster
// the constructor raises saying so. The server's stderr (one line per call) goes
// to a file that Log() reads back.
//
// Failures (the server does not start or does not say where it listens
// within 30 s) raise std::runtime_error with the server's own output.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class TAppServerProcess {
public:
    struct TOptions {
        int Scale = 1;
        bool Demo = true;        // run --init-demo before starting; else serve a new, empty database (--create)
        int Threads = 4;
        QStringList ExtraArgs;   // appended to the command line when serving
        // Serve this database (another server's DatabasePath()) instead of a
        // new one: a second server beside the first. It is neither filled
        // (Demo is ignored) nor dropped here.
        QString Database;
        QStringList Environment{};  // NAME=VALUE, added to the server's environment when serving
        bool Metrics = false;       // serve the metrics on a free loopback port (MetricsPort)
    };

    TAppServerProcess();
    explicit TAppServerProcess(TOptions options);
    ~TAppServerProcess();
    TAppServerProcess(const TAppServerProcess&) = delete;
    TAppServerProcess& operator=(const TAppServerProcess&) = delete;

    // Starts serving; port 0 picks a free one. Waits until it listens.
    void Start(quint16 port = 0);
    // SIGTERM and wait; returns the exit code (-1 when it had to be killed).
    int Stop();
    // SIGKILL and wait.
    void Kill();
    bool Running() const;
    qint64 Pid() const { return process_.processId(); }

    quint16 Port() const { return port_; }
    quint16 MetricsPort() const { return metricsPort_; }
    QString Host() const { return QStringLiteral("127.0.0.1"); }
    // The server's --database: the SQLite file or the PostgreSQL URI.
    QString DatabasePath() const;
    bool Postgres() const { return !pgDatabase_.isEmpty(); }
    QString Log() const;

    // The server executable built with the tests.
    static QString Executable();
    // Runs the executable with `arguments` to completion, `input` on its
    // stdin (then closed, so a command that reads it never waits); returns
    // its exit code, with stdout and stderr in `output`.
    static int RunOnce(const QStringList& arguments, QString* output = nullptr, const QByteArray& input = {});
    // Whether the next servers use PostgreSQL (the pg variants of the tests).
    static void UsePostgres(bool on);

private:
    TOptions options_;
    QTemporaryDir dir_;
    QString pgDatabase_;  // empty: SQLite
    bool ownsDatabase_ = true;
    QProcess process_;
    quint16 port_ = 0;
    quint16 metricsPort_ = 0;
};
