#pragma once
// Helpers of the server tests: connections to the real server process, calls
// unpacked through Consiste::CheckResultServ, and direct reads of the
// server's database (SQLite in WAL mode: reading beside the server is safe).
//
// The same tests run on both databases: in their `pg` registrations every
// server they start uses a PostgreSQL database (TAppServerProcess).
#include "AppServerProcess.h"
#include "data/DataPacket.h"
#include "netconn/CheckResultServ.h"
#include "netconn/NetConnection.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "server/RemoteNames.h"

#include <QDeadlineTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QThread>
#include <QUuid>
#include <memory>

inline std::unique_ptr<TNetConnection> Connect(const TAppServerProcess& server,
                                               const QString& module = Remote::ConfRastr)
{
    auto net = std::make_unique<TNetConnection>();
    net->SetServerName(module);
    if (module == Remote::ConfRastr)
        net->SetServerGUID(Remote::ConfRastrId);
    net->SetHost(server.Host());
    net->SetPort(server.Port());
    net->SetTimeout(60);
    return net;
}

struct TWorkListReply {
    TDataPacket Invoices, Items, Readings;
};

inline TWorkListReply GetDados(TNetConnection& net, const QString& branch, QString expedition = QStringLiteral("T"),
                               QString order = QStringLiteral("T"), TDateTime orderFrom = TDateTime(),
                               TDateTime orderTo = TDateTime(), TDateTime outFrom = TDateTime(),
                               TDateTime outTo = TDateTime())
{
    const QVariant payload = Consiste::CheckResultServ(
        net.AppServer().Call(Remote::GetDados,
                             {branch, ByRef(expedition), ByRef(order), orderFrom, orderTo, outFrom, outTo}),
        true, 0);
    const QVariantList packets = payload.toList();
    if (packets.size() != 3)
        throw EServerError(QStringLiteral("GetDados did not return three packets"));
    return {packets[0].value<TDataPacket>(), packets[1].value<TDataPacket>(), packets[2].value<TDataPacket>()};
}

// The refusal message of a business method, or "" when it succeeded.
inline QString Refusal(const QVariant& result)
{
    try {
        Consiste::CheckResultServ(result, true, 0);
        return QString();
    } catch (const EServerError& e) {
        return e.Message();
    }
}

// A view of the server's database, for reading what was recorded and for
// the changes a test needs beyond what the server offers.
class TDbView {
public:
    explicit TDbView(const TAppServerProcess& server) : name_(QUuid::createUuid().toString())
    {
        const QString path = server.DatabasePath();
        QSqlDatabase db = QSqlDatabase::addDatabase(server.Postgres() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE"), name_);
        if (server.Postgres()) {
            db.setDatabaseName(path.mid(path.lastIndexOf(u'/') + 1));
        } else {
            db.setDatabaseName(path);
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        }
        if (!db.open())
            throw std::runtime_error(db.lastError().text().toStdString());
    }
    ~TDbView() { QSqlDatabase::removeDatabase(name_); }

    // The first column of the first row (invalid when none).
    QVariant Value(const QString& sql, const QVariantList& params = {}) const
    {
        const QList<QVariantList> rows = Rows(sql, params);
        return rows.isEmpty() ? QVariant() : rows.first().value(0);
    }
    QList<QVariantList> Rows(const QString& sql, const QVariantList& params = {}) const
    {
        QSqlQuery query(QSqlDatabase::database(name_));
        query.prepare(sql);
        for (const QVariant& p : params)
            query.addBindValue(p);
        if (!query.exec())
            throw std::runtime_error((sql + u' ' + query.lastError().text()).toStdString());
        QList<QVariantList> rows;
        while (query.next()) {
            QVariantList row;
            for (int i = 0; i < query.record().count(); ++i)
                row.append(query.value(i));
            rows.append(row);
        }
        return rows;
    }
    // A statement without parameters run as it is (PostgreSQL prepares no DDL).
    void Exec(const QString& sql) const
    {
        QSqlQuery query(QSqlDatabase::database(name_));
        if (!query.exec(sql))
            throw std::runtime_error((sql + u' ' + query.lastError().text()).toStdString());
    }
    qint64 Count(const QString& table) const { return Value(QStringLiteral("SELECT COUNT(*) FROM ") + table).toLongLong(); }

private:
    QString name_;
};

// Waits up to 30 s for a session of the PostgreSQL cluster to wait for a
// lock; false when none did.
inline bool SomeSessionWaitsForALock(const TDbView& db)
{
    const QDeadlineTimer deadline(30000);
    while (db.Value(QStringLiteral("SELECT COUNT(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock'")).toInt() == 0) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

// The column of a packet by name, or -1.
inline int Col(const TDataPacket& p, const char* name)
{
    return p.IndexOf(QString::fromLatin1(name));
}
