#include "Database.h"

#include "PgDriver.h"
#include "SqliteDriver.h"

#include "metrics/ServerMetrics.h"
#include "rtl/Exceptions.h"

#include <QDate>
#include <QDateTime>
#include <QThreadStorage>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <unistd.h>

namespace {

bool NameChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// `sql` with each :NAME outside quotes replaced by the engine's numbered
// parameter; `numbers` receives each distinct name's number.
QByteArray NumberParameters(const QByteArray& sql, TEngine engine, QHash<QByteArray, int>& numbers)
{
    const char mark = engine == TEngine::Postgres ? '$' : '?';
    QByteArray out;
    out.reserve(sql.size());
    bool quoted = false;
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (c == '\'')
            quoted = !quoted;
        const bool starts = !quoted && c == ':' && i + 1 < sql.size() && NameChar(sql[i + 1])
                            && (i == 0 || sql[i - 1] != ':');
        if (!starts) {
            out += c;
            continue;
        }
        qsizetype end = i + 1;
        while (end < sql.size() && NameChar(sql[end]))
            ++end;
        const QByteArray name = sql.mid(i, end - i);
        if (!numbers.contains(name))
            numbers.insert(name, int(numbers.size()) + 1);
        out += mark + QByteArray::number(numbers.value(name));
        i = end - 1;
    }
    return out;
}

std::unique_ptr<TConnection> Open(const TDbConfig& config)
{
    if (IsPostgresDatabase(config.Database))
        return OpenPostgres(config.Database, config.StatementTimeoutMs);
    return OpenSqlite(config.Database, config.BusyTimeoutMs, config.BackgroundCheckpoints);
}

QThreadStorage<TDatabase*> threadDatabase;

std::atomic<int> faultCountdown{0};  // statements until the armed failure; 0: none armed
std::atomic<bool> faultFired{false};
std::atomic<int> killCountdown{0};  // committed changes until the process kills itself; 0: none armed

// Counts one statement against the armed failure, raising when it is the one.
void CountStatement()
{
    if (faultCountdown.load(std::memory_order_relaxed) > 0 && faultCountdown.fetch_sub(1) == 1) {
        faultFired = true;
        throw EDatabaseError(QStringLiteral("Erro no banco de dados: falha provocada por teste."));
    }
}

} // namespace

void FaultInjection::FailStatement(int n)
{
    faultFired = false;
    faultCountdown = std::max(n, 0);
}

bool FaultInjection::Fired()
{
    return faultFired;
}

void FaultInjection::KillAfterCommit(int n)
{
    killCountdown = std::max(n, 0);
}

void FaultInjection::ArmFromEnvironment()
{
    KillAfterCommit(qEnvironmentVariableIntValue("EXP13000_TEST_KILL_AFTER_COMMIT"));
}

void FaultInjection::ChangeCommitted()
{
    if (killCountdown.load(std::memory_order_relaxed) > 0 && killCountdown.fetch_sub(1) == 1)
        ::kill(::getpid(), SIGKILL);
}

bool IsPostgresDatabase(const QString& database)
{
    return database.startsWith(QLatin1String("postgresql://")) || database.startsWith(QLatin1String("postgres://"));
}

TDatabase::TDatabase(const TDbConfig& config, TOpen open)
    : config_(config)
    , connection_(open == TOpen::Now ? Open(config) : nullptr)
{
    if (connection_)
        Reached();
}

TDatabase::~TDatabase()
{
    qDeleteAll(kept_);  // the statements go before their connection
}

TEngine TDatabase::Engine() const
{
    return IsPostgresDatabase(config_.Database) ? TEngine::Postgres : TEngine::Sqlite;
}

TConnection& TDatabase::Connection()
{
    if (!connection_)
        Reopen();
    return *connection_;
}

void TDatabase::Execute(const QString& sql)
{
    Connection().Execute(sql.toUtf8());
}

void TDatabase::Reopen()
{
    std::unique_ptr<TConnection> fresh;
    try {
        fresh = Open(config_);
    } catch (const EDatabaseLost&) {
        throw;
    } catch (const EDatabaseError& e) {
        throw EDatabaseLost(QStringLiteral("Erro no banco de dados: não foi possível conectar ao banco de dados. "
                                           "A próxima operação tenta de novo."),
                            e.Message());
    }
    ForgetStatements();
    connection_ = std::move(fresh);
    Reached();
}

void TDatabase::Reached()
{
    QString server = QStringLiteral("sqlite");
    if (Engine() == TEngine::Postgres) {
        const TPgLink link = PgLinkOf(*connection_);
        server = link.Host + u'/' + link.Address + u':' + link.Port;
    }
    if (!reached_.isEmpty()) {
        Metrics::Server().Reconnections.Add();
        if (server != reached_)
            Metrics::Server().Failovers.Add();
    }
    reached_ = server;
}

void TDatabase::DropBroken()
{
    if (!connection_ || !connection_->Broken())
        return;
    ForgetStatements();
    connection_.reset();
}

void TDatabase::ForgetStatements()
{
    Q_ASSERT(std::none_of(kept_.cbegin(), kept_.cend(), [](const TPrepared* p) { return p->Busy; }));
    qDeleteAll(kept_);  // prepared on a connection that goes
    kept_.clear();
}

QString TDatabase::ForUpdate() const
{
    return Engine() == TEngine::Postgres ? QStringLiteral(" FOR UPDATE") : QString();
}

void TDatabase::Begin(const QString& sql)
{
    CountStatement();
    if (connection_) {
        try {
            Execute(sql);
            return;
        } catch (const EDatabaseError&) {
            if (!Broken())
                throw;
        }
    }
    Reopen();  // raises, keeping the broken one, while the database is down
    Execute(sql);
}

void TDatabase::Publish(const QByteArray& payload)
{
    published_.append(payload);
}

void TDatabase::Announce(const QList<QByteArray>& published)
{
    if (Engine() != TEngine::Postgres) {
        if (config_.Notices)
            for (const QByteArray& payload : published)
                config_.Notices(payload);
        return;
    }
    // Outside the change's transaction, and outside the statements a test
    // fails on purpose (FaultInjection): the change is done whatever happens here.
    for (const QByteArray& payload : published) {
        TPrepared* notify = nullptr;
        try {
            notify = Kept(QStringLiteral("SELECT pg_notify(:CHANNEL, :PAYLOAD)"));
            if (!notify)
                throw EDatabaseError(QStringLiteral("Erro no banco de dados: a instrução de aviso está em uso."));
            notify->Statement->BindText(notify->Numbers.value(":CHANNEL"), NoticeChannel);
            notify->Statement->BindText(notify->Numbers.value(":PAYLOAD"), payload);
            notify->Statement->Execute();
            notify->Statement->Close();
        } catch (const EDatabaseError& e) {
            if (notify)
                notify->Statement->Close();
            if (config_.NoticesLost)
                config_.NoticesLost(payload, e.Message());
        }
    }
}

std::unique_ptr<TDatabase::TPrepared> TDatabase::Prepare(const QString& sql)
{
    auto prepared = std::make_unique<TPrepared>();
    prepared->Statement = Connection().Prepare(NumberParameters(sql.toUtf8(), Engine(), prepared->Numbers));
    prepared->Count = int(prepared->Numbers.size());
    return prepared;
}

TDatabase::TPrepared* TDatabase::Kept(const QString& sql)
{
    Connection();  // opening it clears kept_: before a slot of it is taken
    TPrepared*& kept = kept_[sql];
    if (!kept)
        kept = Prepare(sql).release();
    else if (kept->Busy)
        return nullptr;
    return kept;
}

TDatabase& ThreadDatabase(const TDbConfig& config)
{
    if (!threadDatabase.hasLocalData() || !threadDatabase.localData())
        threadDatabase.setLocalData(new TDatabase(config, TDatabase::TOpen::Later));
    TDatabase& db = *threadDatabase.localData();
    db.DropBroken();
    return db;
}

TScopedTransaction::TScopedTransaction(TDatabase& db, TKind kind) : db_(db)
{
    db_.published_.clear();
    const bool postgres = db.Engine() == TEngine::Postgres;
    if (kind == TKind::Write)
        db_.Begin(postgres ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"));
    else
        db_.Begin(postgres ? QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ") : QStringLiteral("BEGIN"));
    open_ = true;
}

TScopedTransaction::~TScopedTransaction()
{
    if (!open_)
        return;
    db_.published_.clear();  // nothing of a rolled-back change is heard
    try {
        db_.Execute(QStringLiteral("ROLLBACK"));
    } catch (const Exception&) {
        // The connection is gone; so is its transaction.
    }
}

void TScopedTransaction::Commit()
{
    CountStatement();
    try {
        db_.Execute(QStringLiteral("COMMIT"));
    } catch (EDatabaseLost& e) {
        open_ = false;
        e.AtCommit = true;
        throw;
    }
    open_ = false;
    const QList<QByteArray> published = std::exchange(db_.published_, {});
    Metrics::Server().NoticesPublished.Add({}, quint64(published.size()));
    db_.Announce(published);
}

TSql::TSql(TDatabase& db, const QString& text) : prepared_(db.Kept(text))
{
    if (!prepared_) {
        own_ = db.Prepare(text);
        prepared_ = own_.get();
    }
    prepared_->Busy = true;
    statement_ = prepared_->Statement.get();
    for (int i = 1; i <= prepared_->Count; ++i)
        statement_->BindNull(i);
}

TSql::~TSql()
{
    statement_->Close();
    prepared_->Busy = false;
}

TSql& TSql::Bind(const QString& name, const QVariant& value)
{
    const int index = prepared_->Numbers.value(name.toLatin1());
    if (index == 0)
        throw EDatabaseError(QStringLiteral("Erro no banco de dados: parâmetro %1 desconhecido.").arg(name));
    switch (value.isNull() ? QMetaType::UnknownType : value.metaType().id()) {
    case QMetaType::UnknownType:
        statement_->BindNull(index);
        break;
    case QMetaType::QString:
        statement_->BindText(index, value.toString().toUtf8());
        break;
    case QMetaType::QDate:
        statement_->BindText(index, value.toDate().toString(Qt::ISODate).toLatin1());
        break;
    case QMetaType::QDateTime:
        statement_->BindText(index, value.toDateTime().toString(Qt::ISODateWithMs).toLatin1());
        break;
    default:
        statement_->BindNumber(index, value.toDouble());
        break;
    }
    return *this;
}

TSql& TSql::Exec()
{
    CountStatement();
    statement_->Execute();
    return *this;
}

QString TSql::Text(int column) const
{
    return QString::fromUtf8(statement_->Utf8(column));
}
