// The schema's numbered migrations, from the schema of the version before
// the last (made by the migrations up to it, with demo data), on SQLite and
// on PostgreSQL: brought up to date by `appserver --migrate` or by a server
// at its start, after which the rules hold, and the last migration's table
// (the request identifiers) answers a repeated request.
#include "ServerData.h"
#include "ServerSession.h"
#include "demo/DemoData.h"
#include "storage/Schema.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QString branch = QStringLiteral("0001");

// A database of its own, with the schema of `version` and demo data; a
// PostgreSQL one is dropped with the object.
class TOldDatabase {
public:
    explicit TOldDatabase(int version)
    {
        if (qEnvironmentVariable("EXP_TEST_POSTGRES") == QLatin1String("1") && serverOnPostgres()) {
            name_ = QStringLiteral("exp_mig_") + QUuid::createUuid().toString(QUuid::Id128);
            TDatabase(TDbConfig{QStringLiteral("postgresql://")}).Execute(QStringLiteral("CREATE DATABASE ") + name_);
            path_ = QStringLiteral("postgresql:///") + name_;
        } else {
            path_ = dir_.filePath(QStringLiteral("antigo.sqlite"));
        }
        TDatabase db(TDbConfig{path_});
        CreateSchema(db, version);
        CreateDemoData(db, 1);
    }
    ~TOldDatabase()
    {
        if (!name_.isEmpty())
            TDatabase(TDbConfig{QStringLiteral("postgresql://")})
                .Execute(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name_));
    }
    const QString& Path() const { return path_; }
    int Version() const
    {
        TDatabase db(TDbConfig{path_});
        return RecordedSchemaVersion(db);
    }

private:
    static bool serverOnPostgres()
    {
#ifdef EXP_SERVER_TESTS_ON_POSTGRES
        return true;
#else
        return false;
#endif
    }
    QTemporaryDir dir_;
    QString name_;
    QString path_;
};

// What the server promises, on the migrated database: a reading stored once
// (the same request again answered as done, a new one refused), a
// confirmation made once.
void RulesHold(TAppServerProcess& server)
{
    TDatabase data(TDbConfig{server.DatabasePath()});
    QStringList ready, notReady;
    SplitInvoices(data, branch, ready, notReady);
    const QList<TOpenItem> open = OpenItems(data, branch);
    ASSERT_FALSE(ready.isEmpty());
    ASSERT_FALSE(open.isEmpty());
    auto net = Connect(server);

    const QString scan = IumScan(open[0].Gtin14, QStringLiteral("MIGRADO"));
    EXPECT_EQ(Refusal(net->AppServer().Call(Remote::SetLeituraIUM, {branch, open[0].Invoice, scan})), QString());
    net->SetNextRequestId(net->LastRequestId());
    EXPECT_EQ(Refusal(net->AppServer().Call(Remote::SetLeituraIUM, {branch, open[0].Invoice, scan})), QString());
    EXPECT_TRUE(Refusal(net->AppServer().Call(Remote::SetLeituraIUM, {branch, open[0].Invoice, scan}))
                    .contains(QStringLiteral("já foi lido")));
    EXPECT_EQ(Refusal(net->AppServer().Call(Remote::SetConfRastrOK, {branch, ready[0]})), QString());
    EXPECT_TRUE(Refusal(net->AppServer().Call(Remote::SetConfRastrOK, {branch, ready[0]}))
                    .contains(QStringLiteral("já foi conferida")));
    const TDbView view(server);
    EXPECT_EQ(view.Value(QStringLiteral("SELECT COUNT(*) FROM LEITURAIUM WHERE NRSERIE = 'MIGRADO'")).toInt(), 1);
    EXPECT_EQ(view.Value(QStringLiteral("SELECT COUNT(*) FROM AUDITORIA")).toInt(), 2);
}

TEST(Migration, TheCommandBringsThePreviousSchemaUpToDate)
{
    const TOldDatabase old(SchemaVersion - 1);
    ASSERT_EQ(old.Version(), SchemaVersion - 1);

    QString output;
    EXPECT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--migrate"), QStringLiteral("--database"), old.Path()}, &output), 0)
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("esquema atualizado, versão %1:").arg(SchemaVersion))) << output.toStdString();
    EXPECT_EQ(old.Version(), SchemaVersion);
    EXPECT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--migrate"), QStringLiteral("--database"), old.Path()}, &output), 0);
    EXPECT_TRUE(output.contains(QStringLiteral("já está na versão %1; nada a fazer").arg(SchemaVersion))) << output.toStdString();

    TAppServerProcess::TOptions serve;
    serve.Database = old.Path();
    TAppServerProcess server(serve);
    RulesHold(server);
}

TEST(Migration, AServerMigratesThePreviousSchemaAtItsStart)
{
    const TOldDatabase old(SchemaVersion - 1);
    TAppServerProcess::TOptions serve;
    serve.Database = old.Path();
    TAppServerProcess server(serve);
    EXPECT_EQ(old.Version(), SchemaVersion);
    RulesHold(server);
}

} // namespace
