#include "AppServerProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <csignal>
#include <stdexcept>
#include <sys/prctl.h>

namespace {

constexpr int StartTimeoutMs = 30000;
constexpr int StopTimeoutMs = 15000;

[[noreturn]] void Fail(const QString& message)
{
    throw std::runtime_error(message.toStdString());
}

// The pg registrations of the server tests set this (cmake/LayerTest.cmake).
bool usePostgres = qEnvironmentVariable("EXP_SERVER_TESTS_ON_POSTGRES") == QLatin1String("1");

bool IsPostgresUri(const QString& database)
{
    return database.startsWith(QLatin1String("postgresql://"));
}

// Runs one statement on the cluster's maintenance database.
void OnCluster(const QString& statement)
{
    const QString name = QStringLiteral("cluster-") + QUuid::createUuid().toString();
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setDatabaseName(QStringLiteral("postgres"));
        if (!db.open())
            error = db.lastError().text();
        else if (QSqlQuery query(db); !query.exec(statement))
            error = query.lastError().text();
    }
    QSqlDatabase::removeDatabase(name);
    if (!error.isEmpty())
        Fail(QStringLiteral("PostgreSQL: %1: %2").arg(statement, error));
}

} // namespace

TAppServerProcess::TAppServerProcess() : TAppServerProcess(TOptions{}) {}

TAppServerProcess::TAppServerProcess(TOptions options) : options_(std::move(options))
{
    if (!dir_.isValid())
        Fail(QStringLiteral("no temporary folder"));
    if (!options_.Database.isEmpty()) {
        ownsDatabase_ = false;
        if (IsPostgresUri(options_.Database))
            pgDatabase_ = options_.Database.mid(options_.Database.lastIndexOf(u'/') + 1);
    } else if (usePostgres) {
        if (qEnvironmentVariable("EXP_TEST_POSTGRES") != QLatin1String("1"))
            Fail(QStringLiteral("the PostgreSQL tests need a throwaway cluster: run them through scripts/test or "
                                "scripts/with-postgres (EXP_TEST_POSTGRES is not set)"));
        const QString name = QStringLiteral("exp_") + QUuid::createUuid().toString(QUuid::Id128);
        OnCluster(QStringLiteral("CREATE DATABASE ") + name);
        pgDatabase_ = name;
    }
    if (options_.Demo && ownsDatabase_) {
        QString output;
        const int code = RunOnce({QStringLiteral("--init-demo"), QStringLiteral("--database"), DatabasePath(),
                                  QStringLiteral("--scale"), QString::number(options_.Scale)},
                                 &output);
        if (code != 0)
            Fail(QStringLiteral("appserver --init-demo failed: %1").arg(output));
    }
    Start();
}

TAppServerProcess::~TAppServerProcess()
{
    if (Running())
        Stop();
    if (Postgres() && ownsDatabase_) {
        try {
            OnCluster(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(pgDatabase_));
        } catch (const std::exception&) {
            // The cluster goes with the run that started it.
        }
    }
}

void TAppServerProcess::UsePostgres(bool on)
{
    usePostgres = on;
}

QString TAppServerProcess::Executable()
{
    return QStringLiteral(EXP_APPSERVER_PATH);
}

QString TAppServerProcess::DatabasePath() const
{
    if (!options_.Database.isEmpty())
        return options_.Database;
    return Postgres() ? QStringLiteral("postgresql:///") + pgDatabase_ : dir_.filePath(QStringLiteral("server.db"));
}

QString TAppServerProcess::Log() const
{
    QFile file(dir_.filePath(QStringLiteral("server.log")));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

namespace {

// A server started for a test ends with the test's process, also when the
// test crashes or is killed, rather than holding its port and files.
void EndWithThisProcess(QProcess& process)
{
    process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

} // namespace

int TAppServerProcess::RunOnce(const QStringList& arguments, QString* output, const QByteArray& input)
{
    QProcess process;
    EndWithThisProcess(process);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(Executable(), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        Fail(QStringLiteral("appserver did not finish: %1").arg(arguments.join(u' ')));
    }
    if (output)
        *output = QString::fromUtf8(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

void TAppServerProcess::Start(quint16 port)
{
    QStringList arguments = {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port),
                             QStringLiteral("--database"), DatabasePath(),
                             QStringLiteral("--threads"), QString::number(options_.Threads)};
    if (!options_.Demo)
        arguments += QStringLiteral("--create");  // the schema only, in a new file
    arguments += options_.ExtraArgs;
    if (options_.Metrics)
        arguments += {QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:0")};
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& setting : options_.Environment)
        environment.insert(setting.section(u'=', 0, 0), setting.section(u'=', 1));
    process_.setProcessEnvironment(environment);
    process_.setStandardErrorFile(dir_.filePath(QStringLiteral("server.log")), QIODevice::Append);
    EndWithThisProcess(process_);
    process_.start(Executable(), arguments);
    if (!process_.waitForStarted(StartTimeoutMs))
        Fail(QStringLiteral("appserver did not start: %1").arg(process_.errorString()));

    // The server prints "appserver: ouvindo em ADDR:PORT" once it listens,
    // then "appserver: métricas em ADDR:PORT" when it serves them.
    static const QRegularExpression listening(QStringLiteral(":(\\d+)\\s*$"));
    QByteArray out;
    const QDeadlineTimer deadline(StartTimeoutMs);
    while (out.count('\n') < (options_.Metrics ? 2 : 1)) {
        if (deadline.hasExpired() || process_.state() != QProcess::Running)
            Fail(QStringLiteral("appserver did not listen: %1 %2").arg(QString::fromUtf8(out), Log()));
        process_.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
        out += process_.readAllStandardOutput();
    }
    const auto match = listening.match(QString::fromUtf8(out.left(out.indexOf('\n'))));
    if (!match.hasMatch())
        Fail(QStringLiteral("unexpected appserver output: %1").arg(QString::fromUtf8(out)));
    port_ = quint16(match.captured(1).toUInt());
    if (options_.Metrics)
        metricsPort_ = quint16(listening.match(QString::fromUtf8(out.split('\n').value(1))).captured(1).toUInt());
}

int TAppServerProcess::Stop()
{
    if (!Running())
        return process_.exitCode();
    process_.terminate();
    if (!process_.waitForFinished(StopTimeoutMs)) {
        Kill();
        return -1;
    }
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

void TAppServerProcess::Kill()
{
    process_.kill();
    process_.waitForFinished(StopTimeoutMs);
}

bool TAppServerProcess::Running() const
{
    return process_.state() != QProcess::NotRunning;
}
