#pragma once
// Helpers of the server tests: connections to the real server process, calls
// unpacked through Consiste::CheckResultServ, and direct reads of the
// server's SQLite file (WAL: reading beside the server is safe).
#include "AppServerProcess.h"
#include "data/DataPacket.h"
#include "netconn/CheckResultServ.h"
#include "netconn/NetConnection.h"
#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"
#include "server/RemoteNames.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
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

// A read-only view of the server's database.
class TDbView {
public:
    explicit TDbView(const QString& path) : name_(QUuid::createUuid().toString())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
        db.open();
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
            throw std::runtime_error(sql.toStdString());
        QList<QVariantList> rows;
        while (query.next()) {
            QVariantList row;
            for (int i = 0; i < query.record().count(); ++i)
                row.append(query.value(i));
            rows.append(row);
        }
        return rows;
    }
    qint64 Count(const QString& table) const { return Value(QStringLiteral("SELECT COUNT(*) FROM ") + table).toLongLong(); }

private:
    QString name_;
};

// The column of a packet by name, or -1.
inline int Col(const TDataPacket& p, const char* name)
{
    return p.IndexOf(QString::fromLatin1(name));
}
