#include "PgListener.h"

#include "Database.h"

#include <QSocketNotifier>

#include <libpq-fe.h>

namespace {

// Runs a statement with text parameters; true when it succeeded.
bool Run(PGconn* conn, const char* sql, std::initializer_list<QByteArray> params, QString& error)
{
    std::vector<const char*> values;
    for (const QByteArray& p : params)
        values.push_back(p.constData());
    PGresult* result = PQexecParams(conn, sql, int(values.size()), nullptr, values.data(), nullptr, nullptr, 0);
    const ExecStatusType status = PQresultStatus(result);
    const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (!ok)
        error = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    PQclear(result);
    return ok;
}

} // namespace

TPgListener::TPgListener(QString conninfo, THandlers handlers, QObject* parent)
    : QObject(parent)
    , conninfo_(std::move(conninfo))
    , handlers_(std::move(handlers))
{
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, [this] {
        QString error;
        if (!Connect(error)) {
            retry_.start(RetryMs);
            return;
        }
        handlers_.Log(QStringLiteral("avisos entre servidores retomados"));
        if (handlers_.Resumed)
            handlers_.Resumed();
    });
}

TPgListener::~TPgListener()
{
    notifier_.reset();
    if (conn_)
        PQfinish(conn_);
}

bool TPgListener::Start(QString& error)
{
    if (Connect(error))
        return true;
    retry_.start(RetryMs);
    return false;
}

bool TPgListener::Listening() const
{
    return conn_ && PQstatus(conn_) == CONNECTION_OK;
}

bool TPgListener::Connect(QString& error)
{
    if (conn_)
        PQfinish(conn_);
    conn_ = PQconnectdb(conninfo_.toUtf8().constData());
    if (PQstatus(conn_) != CONNECTION_OK || PQsetClientEncoding(conn_, "UTF8") != 0) {
        error = QString::fromUtf8(PQerrorMessage(conn_)).trimmed();
        PQfinish(conn_);
        conn_ = nullptr;
        return false;
    }
    if (!Run(conn_, (QByteArray("LISTEN ") + NoticeChannel).constData(), {}, error)) {
        PQfinish(conn_);
        conn_ = nullptr;
        return false;
    }
    notifier_ = std::make_unique<QSocketNotifier>(PQsocket(conn_), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &TPgListener::OnReadable);
    return true;
}

void TPgListener::Drop(const QString& why)
{
    notifier_.reset();
    if (conn_)
        PQfinish(conn_);
    conn_ = nullptr;
    handlers_.Log(QStringLiteral("avisos entre servidores interrompidos (%1); nova tentativa a cada %2 ms")
                      .arg(why)
                      .arg(RetryMs));
    retry_.start(RetryMs);
}

bool TPgListener::Send(const QByteArray& payload)
{
    if (!Listening())
        return false;
    QString error;
    if (!Run(conn_, "SELECT pg_notify($1, $2)", {QByteArray(NoticeChannel), payload}, error)) {
        Drop(error);
        return false;
    }
    // Our own NOTIFY may have come back with the statement's answer.
    OnReadable();
    return true;
}

void TPgListener::OnReadable()
{
    if (!conn_)
        return;
    if (PQconsumeInput(conn_) == 0 || PQstatus(conn_) != CONNECTION_OK) {
        Drop(QString::fromUtf8(PQerrorMessage(conn_)).trimmed());
        return;
    }
    while (PGnotify* notice = PQnotifies(conn_)) {
        const QByteArray payload(notice->extra);
        PQfreemem(notice);
        handlers_.Heard(payload);
        if (!conn_)
            return;
    }
}
