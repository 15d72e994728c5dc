// The application server: serves the remote data modules over the socket
// protocol, or (--init-demo) creates the schema and the demo data and exits.
// It serves only a database that exists (a PostgreSQL one, or a SQLite file)
// unless --create asks for a new, empty SQLite file. --add-user adds a user
// to the accounts file (the password read from stdin, not echoed when it is
// a terminal), --set-branches changes a user's branches and --list-users
// lists the users; --create-roles sets up a PostgreSQL database's roles
// (storage/Roles.h), their passwords read from stdin; --migrate brings the
// schema up to date; --health asks a running server whether it can write to
// its database (HealthCheck.h); --import and --export-csv bring a site's
// records in from CSV files and out again (import/ImportCommand.h); each
// then exits.
// SIGINT and SIGTERM stop it cleanly: no new connection is accepted, running
// calls finish, the database connections close. A call that the database
// holds longer (a commit waiting for a standby that is gone) does not hold
// the stop past StopGraceSeconds: the process ends, and its transaction,
// never committed, ends with its connection. SIGHUP reads the accounts file
// again (AccountService.h), and the TLS certificate and key for the
// connections to come, so that a site renews them without a stop; a file
// that no longer loads leaves what was in use.
#include "EpcisCommand.h"
#include "HealthCheck.h"
#include "MetricsEndpoint.h"
#include "ServerOptions.h"
#include "demo/DemoData.h"
#include "import/ImportCommand.h"
#include "metrics/ServerMetrics.h"
#include "rtl/Exceptions.h"
#include "rules/Changes.h"
#include "rules/Modules.h"
#include "epcis/Outbox.h"
#include "storage/Checkpointer.h"
#include "storage/PgDriver.h"
#include "storage/PgListener.h"
#include "storage/Roles.h"
#include "storage/Schema.h"
#include "transport/AccountAdmin.h"
#include "transport/NoticeSeal.h"
#include "transport/RpcServer.h"
#include "transport/ServerLog.h"
#include "transport/ServerTls.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <limits>
#include <string>
#include <utility>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

constexpr int StopGraceSeconds = 8;

// The signal's number goes down the pipe; the event loop reads it.
void OnSignal(int signal)
{
    const char byte = char(signal);
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

void Print(FILE* stream, const QString& line)
{
    const QByteArray bytes = (line + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

int InitDemo(const TServerOptions& options)
{
    TDatabase db(TDbConfig{options.Database});
    CreateSchema(db);
    const TDemoSummary summary = CreateDemoData(db, options.Scale);
    Print(stdout, QStringLiteral("appserver: dados de demonstração criados em %1: %2 notas, %3 itens, %4 leituras de IUM.")
                      .arg(options.Database)
                      .arg(summary.Invoices)
                      .arg(summary.Items)
                      .arg(summary.Readings));
    return 0;
}

// One line of stdin; on a terminal, asked with `prompt` and not echoed.
QString ReadPassword(const QString& prompt)
{
    termios saved = {};
    const bool terminal = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        std::fputs(prompt.toUtf8().constData(), stderr);
        std::fflush(stderr);
        termios hidden = saved;
        hidden.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &hidden);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputs("\n", stderr);
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

int AddUserCommand(const TServerOptions& options)
{
    const QString password = ReadPassword(QStringLiteral("Senha de %1: ").arg(options.AddUser));
    if (::isatty(STDIN_FILENO) && ReadPassword(QStringLiteral("Repita a senha: ")) != password) {
        Print(stderr, QStringLiteral("appserver: as senhas digitadas não conferem; nada foi gravado."));
        return 1;
    }
    QString error;
    if (!AddUser(options.Accounts, options.AddUser, password, options.Branches, error)) {
        Print(stderr, QStringLiteral("appserver: %1").arg(error));
        return 1;
    }
    Print(stdout, QStringLiteral("appserver: usuário %1 gravado em %2.").arg(options.AddUser, options.Accounts));
    return 0;
}

int Migrate(const TServerOptions& options)
{
    TDatabase db(TDbConfig{options.Database});
    // Tables an administrator's connection created would be its own, out of
    // the servers' reach: the schema is always the owner's.
    if (db.Engine() == TEngine::Postgres)
        ActAsOwner(db);
    const int before = RecordedSchemaVersion(db);
    const QStringList done = CreateSchema(db);
    for (const QString& line : done)
        Print(stdout, QStringLiteral("appserver: esquema atualizado, %1.").arg(line));
    if (done.isEmpty())
        Print(stdout, QStringLiteral("appserver: o esquema já está na versão %1; nada a fazer.").arg(before));
    return 0;
}

// The server's password from stdin, one line, asked and repeated on a
// terminal; an empty one sets none.
int CreateRoles(const TServerOptions& options)
{
    TRoleSetup setup = options.Roles;
    const QString typed =
        ReadPassword(QStringLiteral("Senha do papel %1 (vazia: nenhuma senha nova): ").arg(setup.ServerRole));
    if (!typed.isEmpty() && ::isatty(STDIN_FILENO) && ReadPassword(QStringLiteral("Repita a senha: ")) != typed) {
        Print(stderr, QStringLiteral("appserver: as senhas digitadas não conferem; nada foi gravado."));
        return 1;
    }
    if (!typed.isEmpty())
        setup.ServerPassword = typed;
    TDatabase db(TDbConfig{options.Database});
    for (const QString& line : SetUpRoles(db, setup))
        Print(stdout, QStringLiteral("appserver: %1.").arg(line));
    return 0;
}

// Says once, at start, when the link to PostgreSQL leaves this machine
// without checking whom it reached.
void WarnOfUnverifiedLink(TDatabase& db)
{
    if (db.Engine() != TEngine::Postgres)
        return;
    const TPgLink link = PgLinkOf(db.Connection());
    if (!PgLinkTrusted(link))
        Print(stderr, QStringLiteral("appserver: aviso: a conexão com o PostgreSQL em %1 não verifica o servidor do banco "
                                     "(sslmode=%2): quem estiver no caminho pode ler o tráfego ou se passar pelo "
                                     "banco. Use sslmode=verify-full na URI de --database.")
                          .arg(link.Host, link.SslMode));
}

int SetBranchesCommand(const TServerOptions& options)
{
    QString error;
    if (!SetBranches(options.Accounts, options.SetBranches, *options.Branches, error)) {
        Print(stderr, QStringLiteral("appserver: %1").arg(error));
        return 1;
    }
    Print(stdout, QStringLiteral("appserver: filiais de %1 gravadas em %2: %3; valem para o servidor quando ele "
                                 "reler o arquivo (SIGHUP).")
                      .arg(options.SetBranches, options.Accounts, options.Branches->Text()));
    return 0;
}

int ListUsersCommand(const TServerOptions& options)
{
    QString error;
    const auto users = ListUsers(options.Accounts, error);
    if (!users) {
        Print(stderr, QStringLiteral("appserver: %1").arg(error));
        return 1;
    }
    for (const QString& user : *users)
        Print(stdout, user);
    return 0;
}

// The reading again of the TLS pair on SIGHUP; what happened, for the log.
QString RenewTls(TRpcServer& server, const TServerOptions& options)
{
    QString error;
    const std::optional<QSslConfiguration> tls = LoadServerTls(options.TlsCertificate, options.TlsKey, error);
    if (!tls)
        return QStringLiteral("o certificado TLS em uso continua: %1").arg(error);
    server.RenewTls(*tls);
    return QStringLiteral("certificado TLS relido de %1").arg(options.TlsCertificate);
}

// TLS and the accounts the options name, into `config`; false with the
// reason printed.
bool Secure(const TServerOptions& options, TServerConfig& config)
{
    QString error;
    if (!options.TlsCertificate.isEmpty()) {
        config.Tls = LoadServerTls(options.TlsCertificate, options.TlsKey, error);
        if (!config.Tls) {
            Print(stderr, QStringLiteral("appserver: %1").arg(error));
            return false;
        }
    }
    if (!options.Accounts.isEmpty()) {
        config.Accounts = TAccountService::Open(options.Accounts, error);
        if (!config.Accounts) {
            Print(stderr, QStringLiteral("appserver: %1").arg(error));
            return false;
        }
    }
    return true;
}

// The soft limit of open files raised to the hard one; the limit in force.
qint64 DescriptorLimit()
{
    rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? std::numeric_limits<qint64>::max() : qint64(limit.rlim_cur);
}

int Serve(QCoreApplication& app, const TServerOptions& options)
{
    SetLogFormat(options.JsonLog ? TLogFormat::Json : TLogFormat::Text);
    TServerConfig config;
    if (!Secure(options, config))
        return 1;
    if (!options.Create && !IsPostgresDatabase(options.Database) && !QFileInfo::exists(options.Database)) {
        Print(stderr, QStringLiteral("appserver: o banco de dados %1 não existe. Confira o caminho em --database; "
                                     "para criar um banco novo use --init-demo (com dados de demonstração) "
                                     "ou --create (vazio).")
                          .arg(options.Database));
        return 1;
    }
    {
        TDatabase db(TDbConfig{options.Database});
        WarnOfUnverifiedLink(db);
        PrepareSchema(db);
        SetNoticeKey(NoticeKey(db));
    }
    TDispatcher dispatcher;
    dispatcher.Add(ConfRastrModule(options.EpcisNaming));
    dispatcher.Add(EstoqueModule());
    dispatcher.Add(HealthModule());
    dispatcher.Add(QueryModule());
    FaultInjection::ArmFromEnvironment();

    config.Db.Database = options.Database;
    const bool postgres = IsPostgresDatabase(options.Database);
    if (postgres)
        config.Db.StatementTimeoutMs = ServerStatementTimeoutMs;
    // SQLite: checkpoints off the writers' path.
    std::unique_ptr<TCheckpointer> checkpointer;
    if (!postgres) {
        checkpointer = std::make_unique<TCheckpointer>(options.Database, LogLine);
        config.Db.BackgroundCheckpoints = checkpointer->Activity();
        Metrics::WatchWal(options.Database);
    }
    // The confirmations' traceability events, written into the outbox folder.
    std::unique_ptr<TOutboxWriter> outbox;
    if (!options.EpcisOutbox.isEmpty())
        outbox = std::make_unique<TOutboxWriter>(config.Db, options.EpcisOutbox, options.EpcisNaming, LogLine);
    config.Threads = options.Threads;
    config.MaxRequestSize = options.MaxFrame;
    config.RequestBudget = options.RequestBudget;
    config.MaxConnections = options.MaxConnections;
    config.MaxConnectionsPerAddress = options.MaxConnectionsPerAddress;
    config.HelloTimeoutMs = options.HelloTimeout * 1000;
    config.IdleTimeoutMs = options.IdleTimeout * 1000;
    QString note;
    EffectiveConnections(config, DescriptorLimit(), note);
    if (!note.isEmpty())
        Print(stderr, QStringLiteral("appserver: ") + note);
    TRpcServer server(config, dispatcher);
    // PostgreSQL: the notices of every server of the database reach this
    // one's subscribers through one listening connection.
    std::unique_ptr<TPgListener> listener;
    if (postgres) {
        TNoticeHub& hub = server.Notices();
        listener = std::make_unique<TPgListener>(
            options.Database, TPgListener::THandlers{[&hub](const QByteArray& payload) { hub.Heard(payload); },
                                                     [&hub] { hub.Missed(); }, LogLine});
        listener->Start();
        hub.SetBroadcast([l = listener.get()](const QByteArray& payload) { l->Send(payload); });
    }
    QString error;
    if (!server.Listen(options.Address, options.Port, error)) {
        Print(stderr, QStringLiteral("appserver: não foi possível ouvir em %1:%2: %3")
                          .arg(options.Address.toString())
                          .arg(options.Port)
                          .arg(error));
        return 1;
    }

    TMetricsEndpoint metrics(config.Tls);
    if (options.Metrics && !metrics.Listen(*options.Metrics, options.MetricsPort, error)) {
        Print(stderr, QStringLiteral("appserver: não foi possível servir as métricas em %1:%2: %3")
                          .arg(options.Metrics->toString())
                          .arg(options.MetricsPort)
                          .arg(error));
        return 1;
    }

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        Print(stderr, QStringLiteral("appserver: socketpair falhou"));
        return 1;
    }
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&app, &server, &options, accounts = config.Accounts] {
        char byte = 0;
        if (::read(signalPipe[0], &byte, 1) != 1)
            return;
        if (byte != SIGHUP) {
            app.quit();
            return;
        }
        QString message = QStringLiteral("o servidor não usa arquivo de contas; nada a reler");
        if (accounts && accounts->Reload(message))
            server.AccountsReloaded();
        LogLine(QStringLiteral("SIGHUP: ") + message);
        if (!options.TlsCertificate.isEmpty())
            LogLine(QStringLiteral("SIGHUP: ") + RenewTls(server, options));
    });
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    // A client that vanishes while we write must not end the process.
    std::signal(SIGPIPE, SIG_IGN);

    Print(stdout, QStringLiteral("appserver: ouvindo em %1:%2").arg(options.Address.toString()).arg(server.Port()));
    if (options.Metrics)
        Print(stdout, QStringLiteral("appserver: métricas em %1:%2").arg(options.Metrics->toString()).arg(metrics.Port()));
    const int code = app.exec();
    StopWaiting();
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(StopGraceSeconds));
        Print(stderr, QStringLiteral("appserver: encerrado sem esperar as chamadas presas no banco de dados"));
        std::_Exit(0);
    }).detach();
    server.Shutdown();
    Print(stderr, QStringLiteral("appserver: encerrado"));
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString error;
    const auto options = ParseServerOptions(app.arguments(), error);
    if (!options) {
        Print(stderr, QStringLiteral("appserver: %1").arg(error));
        return 2;
    }
    if (options->Help) {
        std::fputs(ServerUsage().toUtf8().constData(), stdout);
        return 0;
    }
    try {
        if (!options->AddUser.isEmpty())
            return AddUserCommand(*options);
        if (!options->SetBranches.isEmpty())
            return SetBranchesCommand(*options);
        if (options->ListUsers)
            return ListUsersCommand(*options);
        if (options->CreateRoles)
            return CreateRoles(*options);
        if (options->Migrate)
            return Migrate(*options);
        if (options->Export)
            return ExportEpcisCommand(*options);
        if (!options->ImportFolder.isEmpty())
            return RunImport(options->Database, options->ImportFolder, options->ImportCheck);
        if (!options->ExportFolder.isEmpty())
            return RunExport(options->Database, options->ExportFolder);
        if (options->Health)
            return CheckHealth(*options->Health, options->Health->User.isEmpty()
                                                     ? QString()
                                                     : ReadPassword(QStringLiteral("Senha de %1: ").arg(options->Health->User)));
        return options->InitDemo ? InitDemo(*options) : Serve(app, *options);
    } catch (const Exception& e) {
        Print(stderr, QStringLiteral("appserver: %1").arg(e.Message()));
        return 1;
    }
}
