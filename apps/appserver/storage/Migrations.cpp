#include "Migrations.h"

#include "Schema.h"

#include <QRandomGenerator>

namespace {

// Version 2: the outcomes of the changes clients asked for with a request
// identifier (rules/RequestLog.h), by the user that asked, so a repeated
// request is answered with its first outcome. DSRESULTADO is the reply's
// value (CBOR, base64), null while its change runs.
void AddRequestLog(TDatabase& db)
{
    db.Execute(QStringLiteral(R"(CREATE TABLE IF NOT EXISTS REQUISICAO (
        CDUSUARIO     VARCHAR(64)  NOT NULL,
        IDREQUISICAO  VARCHAR(64)  NOT NULL,
        NMMETODO      VARCHAR(64)  NOT NULL,
        DTREQUISICAO  TIMESTAMP    NOT NULL,
        DSRESULTADO   TEXT,
        PRIMARY KEY (CDUSUARIO, IDREQUISICAO)))"));
    db.Execute(QStringLiteral("CREATE INDEX IF NOT EXISTS REQUISICAO_DATA ON REQUISICAO (DTREQUISICAO)"));
}

// Version 3: a branch's optional GLN (GS1 Global Location Number, 13
// digits), by which trading partners name the place goods leave from. A
// branch without one is named by a URI made from a prefix the site sets.
void AddBranchGln(TDatabase& db)
{
    AddColumnIfMissing(db, QStringLiteral("FILIAL"), QStringLiteral("NRGLN"), QStringLiteral("VARCHAR(13)"));
}

// Version 4: the health check's heartbeat, one row that the check updates
// and commits, so that its yes means a commit completes (rules/Modules.h).
void AddHeartbeat(TDatabase& db)
{
    db.Execute(QStringLiteral("CREATE TABLE IF NOT EXISTS BATIMENTO (DTBATIMENTO TIMESTAMP NOT NULL)"));
    db.Execute(QStringLiteral("INSERT INTO BATIMENTO (DTBATIMENTO) SELECT CURRENT_TIMESTAMP"
                              " WHERE NOT EXISTS (SELECT 1 FROM BATIMENTO)"));
}

// Version 5: the outbox of traceability events (epcis/Outbox.h): one row
// per confirmed invoice, recorded in the confirmation's transaction and
// marked when its file is written; DSERRO says why one waits.
void AddEventOutbox(TDatabase& db)
{
    db.Execute(QStringLiteral(R"(CREATE TABLE IF NOT EXISTS EPCISSAIDA (
        CDFILIAL      VARCHAR(4)   NOT NULL,
        NRLANCTONF    VARCHAR(10)  NOT NULL,
        DTREGISTRO    TIMESTAMP    NOT NULL,
        DTGRAVACAO    TIMESTAMP,
        DSERRO        VARCHAR(500),
        PRIMARY KEY (CDFILIAL, NRLANCTONF),
        FOREIGN KEY (CDFILIAL, NRLANCTONF) REFERENCES NOTAFISCAL))"));
    db.Execute(QStringLiteral("CREATE INDEX IF NOT EXISTS EPCISSAIDA_PENDENTE ON EPCISSAIDA (DTREGISTRO) WHERE DTGRAVACAO IS NULL"));
}

// Version 6: the key that seals the notices between the servers of the site
// (Schema.h, NoticeKey), made here once from the system's random source.
void AddNoticeKey(TDatabase& db)
{
    db.Execute(QStringLiteral("CREATE TABLE IF NOT EXISTS CHAVEAVISO (DSCHAVE VARCHAR(64) NOT NULL)"));
    QByteArray key(NoticeKeyBytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(reinterpret_cast<quint32*>(key.data()),
                                         reinterpret_cast<quint32*>(key.data() + key.size()));
    TSql(db, QStringLiteral("INSERT INTO CHAVEAVISO (DSCHAVE) SELECT :DSCHAVE"
                            " WHERE NOT EXISTS (SELECT 1 FROM CHAVEAVISO)"))
        .Bind(QStringLiteral(":DSCHAVE"), QString::fromLatin1(key.toBase64()))
        .Exec();
}

} // namespace

const QList<TMigration>& Migrations()
{
    static const QList<TMigration> migrations = {
        {1, QStringLiteral("tabelas, índices e auditoria com o usuário"), CreateBaseSchema},
        {2, QStringLiteral("identificadores de requisição (respostas de alterações repetidas)"), AddRequestLog},
        {3, QStringLiteral("GLN opcional da filial"), AddBranchGln},
        {4, QStringLiteral("batimento da verificação de saúde"), AddHeartbeat},
        {5, QStringLiteral("saída de eventos de rastreio EPCIS"), AddEventOutbox},
        {6, QStringLiteral("chave que sela os avisos entre os servidores"), AddNoticeKey},
    };
    static_assert(SchemaVersion == 6, "every version has its migration");
    return migrations;
}
