#include "Schema.h"

#include "Database.h"
#include "Migrations.h"

#include "rtl/Exceptions.h"

#include <QStringList>

namespace {

// A branch's list of codes with their descriptions: its warehouses, its
// stock locations.
QString BranchCodeList(const QString& table, const QString& code, const QString& description)
{
    return QStringLiteral(R"(CREATE TABLE IF NOT EXISTS %1 (
        CDFILIAL      VARCHAR(4)  NOT NULL REFERENCES FILIAL,
        %2  VARCHAR(6)  NOT NULL,
        %3  VARCHAR(30) NOT NULL,
        PRIMARY KEY (CDFILIAL, %2)))")
        .arg(table, code, description);
}

// Indicator columns hold 'S' or 'N'; person type 'F' (individual) or 'J'
// (company); expedition status 'P' pending, 'A' in progress, 'C' concluded.
const QStringList statements = {
    QStringLiteral(R"(CREATE TABLE IF NOT EXISTS FILIAL (
        CDFILIAL      VARCHAR(4)  NOT NULL PRIMARY KEY,
        NMFILIAL      VARCHAR(30) NOT NULL,
        IDUTILALMOX   CHAR(1)     NOT NULL,
        IDUTILLOCAL   CHAR(1)     NOT NULL))"),
    BranchCodeList(QStringLiteral("ALMOXARIFE"), QStringLiteral("CDALMOXARIFE"), QStringLiteral("DSALMOXARIFE")),
    BranchCodeList(QStringLiteral("LOCALESTOQUE"), QStringLiteral("CDLOCALESTOQ"), QStringLiteral("DSLOCALESTOQ")),
    QStringLiteral(R"(CREATE TABLE IF NOT EXISTS CLIENTE (
        CDCLIENTE     VARCHAR(21)  NOT NULL PRIMARY KEY,
        NMRAZSOCCLIE  VARCHAR(150) NOT NULL,
        NMFANTCLIE    VARCHAR(150) NOT NULL,
        IDTPIJURCLIE  CHAR(1)      NOT NULL,
        NRINSJURCLIE  VARCHAR(20)  NOT NULL))"),
    QStringLiteral(R"(CREATE TABLE IF NOT EXISTS PRODUTO (
        CDPRODUTO     VARCHAR(10) NOT NULL PRIMARY KEY,
        CDARVPROD     VARCHAR(20) NOT NULL,
        NMPRODUTO     VARCHAR(50) NOT NULL,
        SGUNIDADE     VARCHAR(10) NOT NULL,
        CDGTIN        VARCHAR(14) NOT NULL,
        IDCONTROLAIUM CHAR(1)     NOT NULL))"),
    QStringLiteral("CREATE INDEX IF NOT EXISTS PRODUTO_GTIN ON PRODUTO (CDGTIN)"),
    QStringLiteral(R"(CREATE TABLE IF NOT EXISTS EXPEDICAO (
        CDFILIAL      VARCHAR(4)  NOT NULL REFERENCES FILIAL,
        NREXPEDICAO   VARCHAR(10) NOT NULL,
        DTEXPEDICAO   TIMESTAMP   NOT NULL,
        IDSTATUSSEP   VARCHAR(2)  NOT NULL,
        PRIMARY KEY (CDFILIAL, NREXPEDICAO)))"),
    QStringLiteral(R"(CREATE TABLE IF NOT EXISTS PEDIDO (
        CDFILIAL      VARCHAR(4)  NOT NULL REFERENCES FILIAL,
        NRPEDIDO      VARCHAR(20) NOT NULL,
        DTPEDIDO      DATE        NOT NULL,
        CDCLIENTE     VARCHAR(21) NOT NULL REFERENCES CLIENTE,
        PRIMARY KEY (CDFILIAL, NRPEDIDO)))"),
    QStringLiteral(R"(CREATE TABLE IF NOT EXISTS NOTAFISCAL (
        CDFILIAL      VARCHAR(4)  NOT NULL REFERENCES FILIAL,
        NRLANCTONF    VARCHAR(10) NOT NULL,
        NREXPEDICAO   VARCHAR(10) NOT NULL,
        NRPEDIDO      VARCHAR(20) NOT NULL,
        DTPEDIDO      DATE        NOT NULL,
        DTENTRSAID    TIMESTAMP   NOT NULL,
        CDCLIENTE     VARCHAR(21) NOT NULL REFERENCES CLIENTE,
        CDFILIEMIT    VARCHAR(4)  NOT NULL,
        CDFILIDEST    VARCHAR(4),
        CDTIPOOPER    VARCHAR(2)  NOT NULL,
        IDENTRSAIDOP  CHAR(1)     NOT NULL,
        IDSITSEPNF    CHAR(1)     NOT NULL,
        QTVOLNF       NUMERIC(15,3) NOT NULL,
        IDCONFRASTR   CHAR(1)     NOT NULL,
        DTCONFRASTR   TIMESTAMP,
        PRIMARY KEY (CDFILIAL, NRLANCTONF),
        FOREIGN KEY (CDFILIAL, NREXPEDICAO) REFERENCES EXPEDICAO,
        FOREIGN KEY (CDFILIAL, NRPEDIDO) REFERENCES PEDIDO))"),
    QStringLiteral("CREATE INDEX IF NOT EXISTS NOTAFISCAL_PENDENTE ON NOTAFISCAL (CDFILIAL, IDCONFRASTR, DTENTRSAID)"),
    QStringLiteral("CREATE INDEX IF NOT EXISTS NOTAFISCAL_EXPEDICAO ON NOTAFISCAL (CDFILIAL, NREXPEDICAO)"),
    QStringLiteral("CREATE INDEX IF NOT EXISTS NOTAFISCAL_PEDIDO ON NOTAFISCAL (CDFILIAL, NRPEDIDO)"),
    QStringLiteral(R"(CREATE TABLE IF NOT EXISTS ITEMNOTA (
        CDFILIAL      VARCHAR(4)  NOT NULL,
        NRLANCTONF    VARCHAR(10) NOT NULL,
        CDPRODUTO     VARCHAR(10) NOT NULL REFERENCES PRODUTO,
        NRITEMPED     VARCHAR(1)  NOT NULL,
        QTITEMPROD    NUMERIC(15,3) NOT NULL,
        CDALMOXARIFE  VARCHAR(6),
        CDLOCALESTOQ  VARCHAR(6),
        IDCOLETA      CHAR(1)     NOT NULL,
        PRIMARY KEY (CDFILIAL, NRLANCTONF, CDPRODUTO),
        FOREIGN KEY (CDFILIAL, NRLANCTONF) REFERENCES NOTAFISCAL))"),
    QStringLiteral(R"(CREATE TABLE IF NOT EXISTS LEITURAIUM (
        CDFILIAL      VARCHAR(4)   NOT NULL,
        NRLANCTONF    VARCHAR(10)  NOT NULL,
        CDPRODUTO     VARCHAR(10)  NOT NULL,
        CDIUMPROD     VARCHAR(100) NOT NULL,
        CDGTIN        VARCHAR(14)  NOT NULL,
        NRSERIE       VARCHAR(20)  NOT NULL,
        CDALMOXARIFE  VARCHAR(6),
        CDLOCALESTOQ  VARCHAR(6),
        NRLOTEESTQ    VARCHAR(20),
        NRSUBLOTE     VARCHAR(4),
        DTVALILOTE    DATE,
        NRREGISTRO    VARCHAR(20),
        DTLEITURA     TIMESTAMP    NOT NULL,
        PRIMARY KEY (CDFILIAL, NRLANCTONF, CDIUMPROD),
        FOREIGN KEY (CDFILIAL, NRLANCTONF, CDPRODUTO) REFERENCES ITEMNOTA))"),
    // An IUM (GTIN + serial) is read once, whatever the invoice.
    QStringLiteral("CREATE UNIQUE INDEX IF NOT EXISTS LEITURAIUM_UNICA ON LEITURAIUM (CDGTIN, NRSERIE)"),
    QStringLiteral("CREATE INDEX IF NOT EXISTS LEITURAIUM_ITEM ON LEITURAIUM (CDFILIAL, NRLANCTONF, CDPRODUTO, DTLEITURA)"),
};

// Whom a change was made for: the authenticated user, '' on a server
// without accounts.
const QString auditUserType = QStringLiteral("VARCHAR(64) NOT NULL DEFAULT ''");

// IDEVENTO: 'C' confirmation, 'E' deletion of a reading, 'L' reading. The
// generated key is SQLite's rowid alias; PostgreSQL declares an identity.
QString AuditTable(TEngine engine)
{
    return QStringLiteral(R"(CREATE TABLE IF NOT EXISTS AUDITORIA (
        NRSEQAUDIT    %1 PRIMARY KEY,
        DTEVENTO      TIMESTAMP    NOT NULL,
        IDEVENTO      CHAR(1)      NOT NULL,
        CDFILIAL      VARCHAR(4)   NOT NULL,
        NRLANCTONF    VARCHAR(10)  NOT NULL,
        CDIUMPROD     VARCHAR(100),
        DSEVENTO      VARCHAR(200) NOT NULL,
        %2))")
        .arg(engine == TEngine::Postgres ? QStringLiteral("BIGINT GENERATED BY DEFAULT AS IDENTITY")
                                         : QStringLiteral("INTEGER"),
             QStringLiteral("CDUSUARIO ") + auditUserType);
}

} // namespace

void AddColumnIfMissing(TDatabase& db, const QString& table, const QString& column, const QString& definition)
{
    const QString add = QStringLiteral("ALTER TABLE %1 ADD COLUMN ").arg(table);
    if (db.Engine() == TEngine::Postgres) {
        db.Execute(add + QStringLiteral("IF NOT EXISTS ") + column + u' ' + definition);
        return;
    }
    bool present = false;
    {
        TSql columns(db, QStringLiteral("SELECT COUNT(*) FROM pragma_table_info(:TABELA) WHERE name = :COLUNA"));
        columns.Bind(QStringLiteral(":TABELA"), table).Bind(QStringLiteral(":COLUNA"), column).Exec();
        present = columns.Next() && columns.Number(0) > 0;
    }
    if (!present)
        db.Execute(add + column + u' ' + definition);
}

namespace {

// The host's generic query texts call NVL on texts (the branch query's
// "NVL(:P_CDFILIAL,FI.CDFILIAL)"); on SQLite the host registers it on its own
// connection, PostgreSQL keeps it in the database.
const QString postgresNvl = QStringLiteral(
    "CREATE OR REPLACE FUNCTION NVL(VALUE TEXT, FALLBACK TEXT) RETURNS TEXT"
    " LANGUAGE SQL IMMUTABLE AS 'SELECT COALESCE(VALUE, FALLBACK)'");

// One row: the version of the schema the tables have.
const QString versionTable = QStringLiteral("CREATE TABLE IF NOT EXISTS VERSAOESQUEMA (NRVERSAO INTEGER NOT NULL)");

// The first column of the first row of `sql`, a number.
double Scalar(TDatabase& db, const QString& sql)
{
    TSql query(db, sql);
    query.Exec();
    return query.Next() && !query.IsNull(0) ? query.Number(0) : 0;
}

// The version the database records; 0 when it records none. The catalogue
// is asked first: a query of a missing table would end a PostgreSQL
// transaction.
int RecordedVersion(TDatabase& db)
{
    const bool present =
        Scalar(db, db.Engine() == TEngine::Postgres
                       ? QStringLiteral("SELECT COUNT(*) FROM pg_tables WHERE schemaname = current_schema()"
                                        " AND tablename = 'versaoesquema'")
                       : QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name = 'VERSAOESQUEMA'"))
        > 0;
    return present ? int(Scalar(db, QStringLiteral("SELECT MAX(NRVERSAO) FROM VERSAOESQUEMA"))) : 0;
}

// The role the PostgreSQL connection acts as, when it may not create tables
// in the current schema; "" when it may.
QString RoleWithoutDdl(TDatabase& db)
{
    TSql query(db, QStringLiteral("SELECT current_user FROM (SELECT 1) AS ONE"
                                  " WHERE NOT has_schema_privilege(current_schema(), 'CREATE')"));
    query.Exec();
    return query.Next() ? query.Text(0) : QString();
}

} // namespace

void CreateBaseSchema(TDatabase& db)
{
    for (const QString& statement : statements)
        db.Execute(statement);
    db.Execute(AuditTable(db.Engine()));
    // An audit table made before it recorded users gains the column.
    AddColumnIfMissing(db, QStringLiteral("AUDITORIA"), QStringLiteral("CDUSUARIO"), auditUserType);
    if (db.Engine() == TEngine::Postgres)
        db.Execute(postgresNvl);
    db.Execute(versionTable);
}

int RecordedSchemaVersion(TDatabase& db)
{
    return RecordedVersion(db);
}

QStringList CreateSchema(TDatabase& db, int version)
{
    QStringList done;
    const int recorded = RecordedVersion(db);
    for (const TMigration& migration : Migrations()) {
        if (migration.Version <= recorded || migration.Version > version)
            continue;
        TScopedTransaction transaction(db, TScopedTransaction::TKind::Write);
        migration.Apply(db);
        db.Execute(QStringLiteral("DELETE FROM VERSAOESQUEMA"));
        TSql(db, QStringLiteral("INSERT INTO VERSAOESQUEMA (NRVERSAO) VALUES (:NRVERSAO)"))
            .Bind(QStringLiteral(":NRVERSAO"), migration.Version)
            .Exec();
        transaction.Commit();
        done << QStringLiteral("versão %1: %2").arg(migration.Version).arg(migration.Description);
    }
    return done;
}

void PrepareSchema(TDatabase& db)
{
    const int recorded = RecordedVersion(db);
    if (recorded == SchemaVersion)
        return;
    if (recorded > SchemaVersion)
        throw EDatabaseError(QStringLiteral("O esquema do banco de dados é da versão %1, mais nova que a deste servidor "
                                            "de aplicação (%2): atualize o servidor.")
                                 .arg(recorded)
                                 .arg(SchemaVersion));
    if (db.Engine() == TEngine::Postgres) {
        const QString role = RoleWithoutDdl(db);
        if (!role.isEmpty())
            throw EDatabaseError(
                QStringLiteral("O esquema do banco de dados não existe ou não está atualizado (versão %1 no banco; este "
                               "servidor usa a %2), e o papel %3, com que o servidor se conecta, não pode alterá-lo. O "
                               "dono do banco deve criá-lo ou atualizá-lo: appserver --create-roles --database "
                               "URI-DO-DONO (veja \"Papéis do PostgreSQL\" na documentação do servidor).")
                    .arg(recorded)
                    .arg(SchemaVersion)
                    .arg(role));
    }
    CreateSchema(db);
}

QByteArray NoticeKey(TDatabase& db)
{
    TSql query(db, QStringLiteral("SELECT DSCHAVE FROM CHAVEAVISO"));
    query.Exec();
    const QByteArray key = query.Next() ? QByteArray::fromBase64(query.Text(0).toLatin1()) : QByteArray();
    if (key.size() != NoticeKeyBytes)
        throw EDatabaseError(QStringLiteral("Erro no banco de dados: a chave dos avisos (tabela CHAVEAVISO) falta ou "
                                            "está corrompida; o dono do banco deve rodar appserver --migrate."));
    return key;
}
