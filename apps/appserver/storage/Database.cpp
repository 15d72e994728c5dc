#include "Database.h"

#include "rtl/Exceptions.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QThreadStorage>

namespace {

QAtomicInteger<quint64> connectionCounter;

[[noreturn]] void Fail(const QString& what, const QSqlError& error)
{
    throw EDatabaseError(QStringLiteral("Erro no banco de dados (%1): %2").arg(what, error.text()));
}

QString OpenConnection(const TDbConfig& config)
{
    const QString name = QStringLiteral("appserver-%1").arg(++connectionCounter);
    // The default file lives in a folder of its own that may not exist yet.
    QDir().mkpath(QFileInfo(config.Path).absolutePath());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(config.Path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(config.BusyTimeoutMs));
    if (!db.open()) {
        const QSqlError error = db.lastError();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        Fail(QStringLiteral("abertura de %1").arg(config.Path), error);
    }
    ExecDirect(db, QStringLiteral("PRAGMA journal_mode=WAL"));
    ExecDirect(db, QStringLiteral("PRAGMA synchronous=NORMAL"));
    ExecDirect(db, QStringLiteral("PRAGMA foreign_keys=ON"));
    return name;
}

void CloseConnection(const QString& name)
{
    {
        QSqlDatabase db = QSqlDatabase::database(name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// Closes the thread's connection when the thread ends.
struct TThreadConnection {
    QString name;
    ~TThreadConnection() { CloseConnection(name); }
};

QThreadStorage<TThreadConnection*> threadConnection;

} // namespace

QSqlDatabase ThreadDatabase(const TDbConfig& config)
{
    if (!threadConnection.hasLocalData())
        threadConnection.setLocalData(new TThreadConnection{OpenConnection(config)});
    return QSqlDatabase::database(threadConnection.localData()->name, false);
}

TOwnedDatabase::TOwnedDatabase(const TDbConfig& config) : name_(OpenConnection(config)) {}

TOwnedDatabase::~TOwnedDatabase()
{
    CloseConnection(name_);
}

TScopedTransaction::TScopedTransaction(QSqlDatabase db, TKind kind) : db_(db)
{
    ExecDirect(db_, kind == TKind::Write ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    open_ = true;
}

TScopedTransaction::~TScopedTransaction()
{
    if (open_) {
        QSqlQuery rollback(db_);
        rollback.exec(QStringLiteral("ROLLBACK"));
    }
}

void TScopedTransaction::Commit()
{
    ExecDirect(db_, QStringLiteral("COMMIT"));
    open_ = false;
}

TSql::TSql(QSqlDatabase db, const QString& text) : query_(db)
{
    query_.setForwardOnly(true);
    if (!query_.prepare(text))
        Fail(QStringLiteral("preparação"), query_.lastError());
}

TSql& TSql::Bind(const QString& name, const QVariant& value)
{
    query_.bindValue(name, value);
    return *this;
}

TSql& TSql::Exec()
{
    if (!query_.exec())
        Fail(QStringLiteral("execução"), query_.lastError());
    return *this;
}

void ExecDirect(QSqlDatabase db, const QString& text)
{
    QSqlQuery query(db);
    if (!query.exec(text))
        Fail(text.left(40), query.lastError());
}
