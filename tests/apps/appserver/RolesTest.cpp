// The PostgreSQL roles of a site (storage/Roles.h), set up by the server's
// own command, run by the cluster's administrator, on a database of the test
// cluster whose owner is an ordinary role (no CREATEROLE), then filled with
// demo data by that owner: the role stations had in an earlier set-up (with
// CONNECT) reaches the database no more (stations query through the server);
// the server's role serves the real server
// process and changes no schema; tables the owner adds later are the
// server's too; running the command again changes only the passwords given;
// a server without DDL refuses a schema that is not current and names the
// owner's step. PostgreSQL only (label pg).
#include "ServerData.h"
#include "ServerSession.h"
#include "storage/Database.h"
#include "storage/PgDriver.h"
#include "storage/Schema.h"

#include <gtest/gtest.h>

namespace {

// What running `sql` as a role gave: "" when it ran, else the database's
// refusal.
QString Outcome(TDatabase& db, const QString& sql)
{
    try {
        db.Execute(sql);
        return QString();
    } catch (const EDatabaseError& e) {
        return e.Message();
    }
}

bool Denied(const QString& outcome)
{
    return outcome.contains(QLatin1String("permission denied")) || outcome.contains(QLatin1String("must be owner"));
}

class Roles : public ::testing::Test {
public:
    static void SetUpTestSuite()
    {
        ASSERT_EQ(qEnvironmentVariable("EXP_TEST_POSTGRES"), QStringLiteral("1"))
            << "run through scripts/with-postgres or scripts/test";
        const QString id = QUuid::createUuid().toString(QUuid::Id128);
        owner = QStringLiteral("exp_dono_") + id;
        server = QStringLiteral("exp_srv_") + id;
        station = QStringLiteral("exp_est_") + id;
        database = QStringLiteral("exp_papeis_") + id;
        Admin().Execute(QStringLiteral("CREATE ROLE %1 LOGIN").arg(owner));
        Admin().Execute(QStringLiteral("CREATE DATABASE %1 OWNER %2").arg(database, owner));
        // The stations' role of an earlier set-up.
        Admin().Execute(QStringLiteral("CREATE ROLE %1 LOGIN").arg(station));
        Admin().Execute(QStringLiteral("GRANT CONNECT ON DATABASE %1 TO %2").arg(database, station));
        QString output;
        ASSERT_EQ(CreateRoles(AdminUri(), "senha do servidor\n", {}, &output), 0) << output.toStdString();
        ASSERT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--init-demo"), QStringLiteral("--database"), Uri(owner)}, &output), 0)
            << output.toStdString();
    }
    static void TearDownTestSuite()
    {
        try {
            Admin().Execute(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(database));
            for (const QString& role : {server, station, owner, extra})
                if (!role.isEmpty())
                    Admin().Execute(QStringLiteral("DROP ROLE IF EXISTS %1").arg(role));
        } catch (const EDatabaseError&) {
            // The cluster goes with the run that started it.
        }
    }

    static QString Uri(const QString& role) { return QStringLiteral("postgresql://%1@/%2").arg(role, database); }
    static QString AdminUri() { return QStringLiteral("postgresql:///") + database; }
    // The cluster's administrator on its maintenance database.
    static TDatabase& Admin()
    {
        static TDatabase admin(TDbConfig{QStringLiteral("postgresql:///postgres")});
        return admin;
    }
    // appserver --create-roles on `uri` with the passwords in `input`.
    static int CreateRoles(const QString& uri, const QByteArray& input, const QStringList& names = {},
                           QString* output = nullptr)
    {
        const QStringList given = names.isEmpty() ? QStringList{QStringLiteral("--server-role"), server,
                                                                QStringLiteral("--station-role"), station}
                                                  : names;
        return TAppServerProcess::RunOnce(QStringList{QStringLiteral("--create-roles"), QStringLiteral("--database"), uri} + given,
                                          output, input);
    }
    static QStringList Column(TDatabase& db, const QString& sql, const QString& bound = QString())
    {
        TSql query(db, sql);
        if (!bound.isNull())
            query.Bind(QStringLiteral(":P"), bound);
        query.Exec();
        QStringList values;
        while (query.Next())
            values << query.Text(0);
        return values;
    }
    // The stored password verifier of each role, by name.
    static QStringList Verifiers()
    {
        TSql query(Admin(), QStringLiteral("SELECT rolpassword FROM pg_authid WHERE rolname = :S"));
        query.Bind(QStringLiteral(":S"), server).Exec();
        QStringList values;
        while (query.Next())
            values << query.Text(0);
        return values;
    }

    static inline QString owner, server, station, database;
    static inline QString extra;  // a role a case made, dropped at the end
};

TEST_F(Roles, TheStationsRoleOfAnEarlierSetUpReachesTheDatabaseNoMore)
{
    EXPECT_THROW(TDatabase(TDbConfig{Uri(station)}), EDatabaseError) << "no CONNECT: no LISTEN, no NOTIFY, no query";
    TDatabase own(TDbConfig{Uri(owner)});
    EXPECT_EQ(Column(own, QStringLiteral("SELECT COUNT(*) FROM information_schema.role_table_grants WHERE grantee = :P"), station),
              QStringList{QStringLiteral("0")});
}

TEST_F(Roles, TheServersRoleServesAndChangesNoSchema)
{
    TAppServerProcess::TOptions options;
    options.Database = Uri(server);
    TAppServerProcess process(options);
    const QString branch = QStringLiteral("0001");
    TDatabase own(TDbConfig{Uri(owner)});
    auto net = Connect(process);

    EXPECT_GT(GetDados(*net, branch).Invoices.RowCount(), 0);
    const QList<TOpenItem> open = OpenItems(own, branch);
    ASSERT_FALSE(open.isEmpty());
    EXPECT_EQ(Refusal(net->AppServer().Call(Remote::SetLeituraIUM, {branch, open.first().Invoice,
                                                                     IumScan(open.first().Gtin14, QStringLiteral("PAPEL1"))})),
              QString());
    const QString stored = Column(own, QStringLiteral("SELECT CDIUMPROD FROM LEITURAIUM WHERE NRSERIE = :P"), QStringLiteral("PAPEL1")).value(0);
    ASSERT_FALSE(stored.isEmpty());
    EXPECT_EQ(Refusal(net->AppServer().Call(Remote::DeleteIUMProd,
                                            {QVariant::fromValue(ReadingsDelta(branch, {{open.first().Invoice, stored}}))})),
              QString());
    QStringList ready, notReady;
    SplitInvoices(own, branch, ready, notReady);
    ASSERT_FALSE(ready.isEmpty());
    EXPECT_EQ(Refusal(net->AppServer().Call(Remote::SetConfRastrOK, {branch, ready.first()})), QString());
    EXPECT_EQ(Column(own, QStringLiteral("SELECT IDEVENTO FROM AUDITORIA ORDER BY NRSEQAUDIT")),
              (QStringList{QStringLiteral("L"), QStringLiteral("E"), QStringLiteral("C")}));
    EXPECT_FALSE(process.Log().contains(QLatin1String("aviso"))) << "a Unix socket is local: " << process.Log().toStdString();

    TDatabase as(TDbConfig{Uri(server)});
    for (const QString& change :
         {QStringLiteral("CREATE TABLE NOVA (A INTEGER)"), QStringLiteral("CREATE TEMP TABLE NOVA (A INTEGER)"),
          QStringLiteral("DROP TABLE LEITURAIUM"), QStringLiteral("ALTER TABLE NOTAFISCAL ADD COLUMN NOVA INTEGER"),
          QStringLiteral("CREATE INDEX NOVO ON NOTAFISCAL (NRPEDIDO)"), QStringLiteral("TRUNCATE LEITURAIUM"),
          QStringLiteral("UPDATE AUDITORIA SET DSEVENTO = DSEVENTO"), QStringLiteral("DELETE FROM AUDITORIA")}) {
        const QString outcome = Outcome(as, change);
        EXPECT_TRUE(Denied(outcome)) << change.toStdString() << ": " << outcome.toStdString();
    }
}

// An import runs as the schema's owner: a station's role, or the
// servers', is told so and writes nothing.
TEST_F(Roles, OnlyTheOwnerImports)
{
    const QString folder = QStringLiteral(EXP_IMPORT_EXAMPLE);
    QString output;
    // The stations' role of an earlier set-up may not even connect.
    EXPECT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--import"), folder, QStringLiteral("--database"), Uri(station)},
                                         &output),
              1);
    EXPECT_TRUE(output.contains(QLatin1String("CONNECT"))) << output.toStdString();
    EXPECT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--import"), folder, QStringLiteral("--database"), Uri(server)},
                                         &output),
              1);
    EXPECT_TRUE(output.contains(QStringLiteral("O papel %1 não pode importar: a importação roda com o dono do esquema").arg(server)))
        << output.toStdString();
    EXPECT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--import"), folder, QStringLiteral("--database"), Uri(owner)},
                                         &output),
              0)
        << output.toStdString();
}

TEST_F(Roles, TablesTheOwnerAddsLaterAreTheServersOnly)
{
    TDatabase own(TDbConfig{Uri(owner)});
    own.Execute(QStringLiteral("CREATE TABLE POSTERIOR (A INTEGER)"));
    TDatabase srv(TDbConfig{Uri(server)});
    EXPECT_EQ(Outcome(srv, QStringLiteral("INSERT INTO POSTERIOR VALUES (7)")), QString());
    EXPECT_EQ(Column(srv, QStringLiteral("SELECT A FROM POSTERIOR")), QStringList{QStringLiteral("7")});
}

TEST_F(Roles, ASecondRunChangesOnlyThePasswordsGiven)
{
    const QStringList before = Verifiers();
    ASSERT_EQ(before.size(), 1);
    EXPECT_TRUE(before[0].startsWith(QLatin1String("SCRAM-SHA-256$"))) << "never the clear password: " << before[0].toStdString();

    QString output;
    EXPECT_EQ(CreateRoles(Uri(owner), "", {}, &output), 0) << output.toStdString();
    EXPECT_EQ(output.count(QStringLiteral("já existia, mantido")), 1) << output.toStdString();
    EXPECT_EQ(Verifiers(), before);

    EXPECT_EQ(CreateRoles(AdminUri(), "outra senha\n", {}, &output), 0) << output.toStdString();
    const QStringList after = Verifiers();
    ASSERT_EQ(after.size(), 1);
    EXPECT_NE(after[0], before[0]) << "the server's password was given";
}

TEST_F(Roles, AnOwnerThatMayNotCreateRolesIsToldSoAndCreatesNone)
{
    extra = server + QStringLiteral("_novo");
    QString output;
    EXPECT_EQ(CreateRoles(Uri(owner), "", {QStringLiteral("--server-role"), extra, QStringLiteral("--station-role"), station}, &output), 1);
    EXPECT_TRUE(output.contains(QStringLiteral("Não foi possível criar ou alterar o papel %1").arg(extra))) << output.toStdString();
    EXPECT_TRUE(Column(Admin(), QStringLiteral("SELECT rolname FROM pg_roles WHERE rolname = :P"), extra).isEmpty());
}

struct TPrivileged {
    const char* name;
    const char* attributes;  // of CREATE ROLE; %1 is the owner
};

class PrivilegedRole : public Roles, public ::testing::WithParamInterface<TPrivileged> {};

TEST_P(PrivilegedRole, IsRefusedAsTheServersRole)
{
    extra = server + QStringLiteral("_") + QString::fromLatin1(GetParam().name);
    Admin().Execute(QStringLiteral("CREATE ROLE %1 LOGIN %2").arg(extra, QString::fromLatin1(GetParam().attributes).arg(owner)));
    QString output;
    EXPECT_EQ(CreateRoles(AdminUri(), "", {QStringLiteral("--server-role"), extra, QStringLiteral("--station-role"), station}, &output), 1);
    EXPECT_TRUE(output.contains(QStringLiteral("não serve de papel de menor privilégio"))) << output.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Attributes, PrivilegedRole,
                         ::testing::Values(TPrivileged{"superuser", "SUPERUSER"}, TPrivileged{"createdb", "CREATEDB"},
                                           TPrivileged{"createrole", "CREATEROLE"},
                                           TPrivileged{"ownersmember", "IN ROLE %1"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Roles, AServerWithoutDdlRefusesASchemaNotCurrentAndNamesTheOwnersStep)
{
    TDatabase own(TDbConfig{Uri(owner)});
    const QStringList serve = {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--database"), Uri(server)};
    own.Execute(QStringLiteral("UPDATE VERSAOESQUEMA SET NRVERSAO = 0"));
    QString output;
    EXPECT_EQ(TAppServerProcess::RunOnce(serve, &output), 1);
    EXPECT_TRUE(output.contains(QStringLiteral("o papel %1, com que o servidor se conecta, não pode alterá-lo").arg(server)))
        << output.toStdString();
    EXPECT_TRUE(output.contains(QLatin1String("appserver --create-roles"))) << output.toStdString();

    EXPECT_EQ(CreateRoles(Uri(owner), ""), 0);
    EXPECT_EQ(Column(own, QStringLiteral("SELECT NRVERSAO FROM VERSAOESQUEMA")), QStringList{QString::number(SchemaVersion)});

    own.Execute(QStringLiteral("UPDATE VERSAOESQUEMA SET NRVERSAO = %1").arg(SchemaVersion + 1));
    EXPECT_EQ(TAppServerProcess::RunOnce({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--database"), Uri(owner)},
                                         &output),
              1)
        << "not even the owner's server takes a newer schema";
    EXPECT_TRUE(output.contains(QLatin1String("mais nova que a deste servidor"))) << output.toStdString();
}

} // namespace
