#include "Roles.h"

#include "PgDriver.h"
#include "Schema.h"

#include "rtl/Exceptions.h"

#include <QRegularExpression>

namespace {

// `name` as an SQL identifier, whatever it holds (the catalogue's names of
// the owner, the database and the schema are not ours to check).
QString Identifier(const QString& name)
{
    return u'"' + QString(name).replace(u'"', QLatin1String("\"\"")) + u'"';
}

QString Literal(const QByteArray& text)
{
    return u'\'' + QString::fromUtf8(text).replace(u'\'', QLatin1String("''")) + u'\'';
}

[[noreturn]] void Refuse(const QString& message)
{
    throw EDatabaseError(message);
}

struct TSite {
    QString User;      // whom the connection acts for
    QString Owner;     // the database's owner
    QString Database;
};

TSite SiteOf(TDatabase& db)
{
    TSql query(db, QStringLiteral("SELECT current_user, pg_get_userbyid(datdba), current_database() FROM pg_database"
                                  " WHERE datname = current_database()"));
    query.Exec();
    if (!query.Next())
        Refuse(QStringLiteral("Erro no banco de dados: o banco conectado não consta do catálogo."));
    return {query.Text(0), query.Text(1), query.Text(2)};
}

// Where CreateSchema puts the tables.
QString CurrentSchema(TDatabase& db)
{
    TSql schema(db, QStringLiteral("SELECT current_schema()"));
    schema.Exec();
    if (!schema.Next() || schema.IsNull(0))
        Refuse(QStringLiteral("Erro no banco de dados: não há esquema corrente (confira o search_path do dono)."));
    return schema.Text(0);
}

// Creates `role` when missing, or checks the one there, and sets its
// password when one is given.
QString CreateRole(TDatabase& db, const TSite& site, const QString& role, const std::optional<QString>& password)
{
    TSql existing(db, QStringLiteral("SELECT rolsuper OR rolcreaterole OR rolcreatedb OR rolbypassrls,"
                                     " pg_has_role(rolname, :OWNER, 'MEMBER'), rolcanlogin"
                                     " FROM pg_roles WHERE rolname = :ROLE"));
    existing.Bind(QStringLiteral(":OWNER"), site.Owner).Bind(QStringLiteral(":ROLE"), role).Exec();
    const bool exists = existing.Next();
    if (exists && (existing.Text(0) == QLatin1String("t") || existing.Text(1) == QLatin1String("t")))
        Refuse(QStringLiteral("O papel %1 já existe com mais que um acesso ao banco (superusuário, CREATEROLE, "
                              "CREATEDB, BYPASSRLS ou membro do dono %2) e não serve de papel de menor privilégio: "
                              "escolha outro nome ou retire esses atributos.")
                   .arg(role, site.Owner));
    const bool login = exists && existing.Text(2) == QLatin1String("t");
    if (login && !password)
        return QStringLiteral("papel %1: já existia, mantido").arg(role);
    QString sql = exists ? QStringLiteral("ALTER ROLE ") : QStringLiteral("CREATE ROLE ");
    sql += Identifier(role);
    if (!login)
        sql += QStringLiteral(" LOGIN");
    if (password)
        sql += QStringLiteral(" PASSWORD ")
               + Literal(PgPasswordVerifier(db.Connection(), role.toUtf8(), password->toUtf8()));
    try {
        db.Execute(sql);
    } catch (const EDatabaseError& e) {
        Refuse(QStringLiteral("Não foi possível criar ou alterar o papel %1 como %2 (é preciso um administrador ou o "
                              "atributo CREATEROLE): %3")
                   .arg(role, site.User, e.Message()));
    }
    if (!exists)
        return QStringLiteral("papel %1: criado%2").arg(role, password ? QStringLiteral(", com senha") : QString());
    return QStringLiteral("papel %1: já existia%2").arg(role, password ? QStringLiteral(", senha trocada") : QString());
}

// Whether `role` exists.
bool RoleExists(TDatabase& db, const QString& role)
{
    TSql query(db, QStringLiteral("SELECT 1 FROM pg_roles WHERE rolname = :ROLE"));
    query.Bind(QStringLiteral(":ROLE"), role).Exec();
    return query.Next();
}

// What each role may do, from nothing: a rerun takes back what an earlier
// grant by hand gave beyond it. The stations' old role (when `station` is
// not empty) keeps nothing.
QStringList Grants(const TSite& site, const QString& schema, const QString& server, const QString& station)
{
    const QString d = Identifier(site.Database), s = Identifier(schema), r = Identifier(server);
    const QString both = station.isEmpty() ? r : r + QStringLiteral(", ") + Identifier(station);
    return {
        QStringLiteral("REVOKE ALL ON DATABASE %1 FROM PUBLIC").arg(d),
        QStringLiteral("REVOKE ALL ON DATABASE %1 FROM %2").arg(d, both),
        QStringLiteral("GRANT CONNECT ON DATABASE %1 TO %2").arg(d, r),
        QStringLiteral("REVOKE CREATE ON SCHEMA %1 FROM PUBLIC").arg(s),
        QStringLiteral("REVOKE ALL ON SCHEMA %1 FROM %2").arg(s, both),
        QStringLiteral("GRANT USAGE ON SCHEMA %1 TO %2").arg(s, r),
        QStringLiteral("REVOKE ALL ON ALL TABLES IN SCHEMA %1 FROM %2").arg(s, both),
        QStringLiteral("REVOKE ALL ON ALL SEQUENCES IN SCHEMA %1 FROM %2").arg(s, both),
        QStringLiteral("GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA %1 TO %2").arg(s, r),
        QStringLiteral("REVOKE UPDATE, DELETE ON %1.AUDITORIA FROM %2").arg(s, r),
        QStringLiteral("GRANT USAGE, SELECT ON ALL SEQUENCES IN SCHEMA %1 TO %2").arg(s, r),
        QStringLiteral("ALTER DEFAULT PRIVILEGES IN SCHEMA %1 GRANT SELECT, INSERT, UPDATE, DELETE ON TABLES TO %2").arg(s, r),
        QStringLiteral("ALTER DEFAULT PRIVILEGES IN SCHEMA %1 GRANT USAGE, SELECT ON SEQUENCES TO %2").arg(s, r),
    };
}

} // namespace

bool ValidRoleName(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^[a-z_][a-z0-9_]{0,62}$"));
    return pattern.match(name).hasMatch() && !name.startsWith(QLatin1String("pg_"));
}

bool ActAsOwner(TDatabase& db)
{
    const TSite site = SiteOf(db);
    if (site.User == site.Owner)
        return false;
    try {
        db.Execute(QStringLiteral("SET ROLE ") + Identifier(site.Owner));
    } catch (const EDatabaseError& e) {
        Refuse(QStringLiteral("O papel %1 não é o dono do banco %2 (o dono é %3) nem pode agir como ele: use a "
                              "conexão do dono ou de um administrador (appserver --migrate --database "
                              "postgresql://%3@SERVIDOR/%2). %4")
                   .arg(site.User, site.Database, site.Owner, e.Message()));
    }
    return true;
}

QStringList SetUpRoles(TDatabase& db, const TRoleSetup& setup)
{
    if (db.Engine() != TEngine::Postgres)
        Refuse(QStringLiteral("Os papéis são do PostgreSQL: informe em --database o banco PostgreSQL "
                              "(postgresql://usuario@servidor:porta/banco)."));
    for (const QString& role : {setup.ServerRole, setup.StationRole})
        if (!ValidRoleName(role))
            Refuse(QStringLiteral("Nome de papel inválido: '%1' (de 1 a 63 letras minúsculas, algarismos e _, "
                                  "sem começar por algarismo nem por pg_).")
                       .arg(role));
    const TSite site = SiteOf(db);
    if (setup.ServerRole == setup.StationRole || site.Owner == setup.ServerRole || site.Owner == setup.StationRole
        || site.User == setup.ServerRole || site.User == setup.StationRole)
        Refuse(QStringLiteral("O papel do servidor (%1), o das estações (%2) e o dono do banco (%3) devem ser três "
                              "papéis diferentes, e a conexão (%4) não pode ser a de nenhum dos dois primeiros.")
                   .arg(setup.ServerRole, setup.StationRole, site.Owner, site.User));

    QStringList done;
    {
        TScopedTransaction transaction(db, TScopedTransaction::TKind::Write);
        done << CreateRole(db, site, setup.ServerRole, setup.ServerPassword);
        transaction.Commit();
    }
    const QString station = RoleExists(db, setup.StationRole) ? setup.StationRole : QString();

    // The schema and the rights are the owner's: an administrator acts as it,
    // so that the tables and the default privileges are the owner's own.
    ActAsOwner(db);
    CreateSchema(db);
    done << QStringLiteral("esquema: versão %1").arg(SchemaVersion);
    {
        TScopedTransaction transaction(db, TScopedTransaction::TKind::Write);
        for (const QString& grant : Grants(site, CurrentSchema(db), setup.ServerRole, station))
            db.Execute(grant);
        transaction.Commit();
    }
    if (site.User != site.Owner)
        db.Execute(QStringLiteral("RESET ROLE"));
    done << QStringLiteral("permissões: %1 lê e grava as tabelas (a auditoria só recebe registros)").arg(setup.ServerRole);
    if (!station.isEmpty())
        done << QStringLiteral("papel %1 das estações: sem acesso ao banco (as estações consultam pelo servidor de aplicação)")
                    .arg(station);
    return done;
}
