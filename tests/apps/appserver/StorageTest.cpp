// The server's statement interface on its database, in process: values
// round-trip as the packets need them, named parameters, kept statements,
// transactions and failures. Built twice from these cases, like the other
// server tests: on SQLite (label server) and on PostgreSQL (label pg).
#include "ServerSession.h"
#include "storage/Database.h"
#include "storage/SqlValues.h"

#include <gtest/gtest.h>

namespace {

class Storage : public ::testing::Test {
public:
    static void SetUpTestSuite()
    {
        TAppServerProcess::TOptions options;
        options.Demo = false;  // the schema only, created when serving
        server = new TAppServerProcess(options);
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        db = std::make_unique<TDatabase>(TDbConfig{server->DatabasePath()});
        db->Execute(QStringLiteral("DELETE FROM AUDITORIA"));
    }

    // One audit row with the given description and time.
    void Insert(TDatabase& on, const QVariant& description, const QVariant& when = QDateTime(QDate(2026, 5, 31), QTime(14, 30, 15, 250)))
    {
        TSql(on, QStringLiteral("INSERT INTO AUDITORIA (DTEVENTO, IDEVENTO, CDFILIAL, NRLANCTONF, CDIUMPROD, DSEVENTO)"
                                " VALUES (:DTEVENTO, 'L', '0001', :NRLANCTONF, :CDIUMPROD, :DSEVENTO)"))
            .Bind(QStringLiteral(":DTEVENTO"), when)
            .Bind(QStringLiteral(":NRLANCTONF"), QStringLiteral("1"))
            .Bind(QStringLiteral(":CDIUMPROD"), description.toString().isEmpty() ? QVariant() : description)
            .Bind(QStringLiteral(":DSEVENTO"), description)
            .Exec();
    }
    qint64 Count(TDatabase& on)
    {
        TSql count(on, QStringLiteral("SELECT COUNT(*) FROM AUDITORIA"));
        count.Exec();
        return count.Next() ? qint64(count.Number(0)) : -1;
    }

    static inline TAppServerProcess* server = nullptr;
    std::unique_ptr<TDatabase> db;
};

TEST_F(Storage, TextsNullsNumbersAndTimesComeBackAsTheyWent)
{
    const QString text = QStringLiteral("Filial D'Ávila: ação \"já\" ; --");
    Insert(*db, text);
    Insert(*db, QStringLiteral(""), QDate(2026, 6, 1));
    TSql read(*db, QStringLiteral("SELECT DSEVENTO, CDIUMPROD, DTEVENTO, NRSEQAUDIT FROM AUDITORIA ORDER BY NRSEQAUDIT"));
    read.Exec();
    ASSERT_TRUE(read.Next());
    EXPECT_EQ(QString::fromUtf8(read.Utf8(0)), text) << "UTF-8 bytes as stored";
    EXPECT_EQ(read.Text(1), text);
    EXPECT_FALSE(read.IsNull(1));
    EXPECT_EQ(SqlToDateTime(read.Utf8(2)), DateTimeFromQDateTime(QDateTime(QDate(2026, 5, 31), QTime(14, 30, 15, 250))));
    EXPECT_GT(read.Number(3), 0);
    ASSERT_TRUE(read.Next());
    EXPECT_FALSE(read.IsNull(0)) << "an empty text is not null";
    EXPECT_TRUE(read.Text(0).isEmpty());
    EXPECT_TRUE(read.IsNull(1));
    EXPECT_TRUE(read.Text(1).isNull());
    EXPECT_EQ(SqlToDateTime(read.Utf8(2)), DateTimeFromQDate(QDate(2026, 6, 1)));
    EXPECT_FALSE(read.Next());
}

TEST_F(Storage, ANameMayRepeatAndAQuotedColonIsText)
{
    TSql query(*db, QStringLiteral("SELECT CAST(:A AS VARCHAR(5)) || ':B' || CAST(:A AS VARCHAR(5)) || CAST(:B AS VARCHAR(5))"));
    query.Bind(QStringLiteral(":A"), QStringLiteral("x")).Bind(QStringLiteral(":B"), QStringLiteral("y")).Exec();
    ASSERT_TRUE(query.Next());
    EXPECT_EQ(query.Text(0), QStringLiteral("x:Bxy"));
}

TEST_F(Storage, EveryParameterStartsNullOnEachUse)
{
    const QString sql = QStringLiteral("SELECT COALESCE(CAST(:A AS VARCHAR(10)), 'nulo')");
    {
        TSql first(*db, sql);
        first.Bind(QStringLiteral(":A"), QStringLiteral("valor")).Exec();
        ASSERT_TRUE(first.Next());
        EXPECT_EQ(first.Text(0), QStringLiteral("valor"));
    }
    TSql again(*db, sql);
    again.Exec();
    ASSERT_TRUE(again.Next());
    EXPECT_EQ(again.Text(0), QStringLiteral("nulo"));
}

TEST_F(Storage, TheSameTextRunsInsideItselfOnASecondStatement)
{
    Insert(*db, QStringLiteral("a"));
    Insert(*db, QStringLiteral("b"));
    const QString sql = QStringLiteral("SELECT DSEVENTO FROM AUDITORIA ORDER BY DSEVENTO");
    TSql outer(*db, sql);
    outer.Exec();
    QStringList seen;
    while (outer.Next()) {
        TSql inner(*db, sql);
        inner.Exec();
        ASSERT_TRUE(inner.Next());
        seen << outer.Text(0) + inner.Text(0);
    }
    EXPECT_EQ(seen, (QStringList{"aa", "ba"}));
}

// A statement read only in part must not keep its snapshot: the next query
// on the same connection sees what another connection committed since.
TEST_F(Storage, AStatementLeftHalfReadHoldsNoOldSnapshot)
{
    Insert(*db, QStringLiteral("a"));
    Insert(*db, QStringLiteral("b"));
    {
        TSql partly(*db, QStringLiteral("SELECT DSEVENTO FROM AUDITORIA"));
        partly.Exec();
        ASSERT_TRUE(partly.Next());
    }
    TDatabase other(TDbConfig{server->DatabasePath()});
    Insert(other, QStringLiteral("c"));
    EXPECT_EQ(Count(*db), 3);
}

TEST_F(Storage, AnUncommittedTransactionLeavesNothing)
{
    {
        TScopedTransaction transaction(*db, TScopedTransaction::TKind::Write);
        Insert(*db, QStringLiteral("a"));
        EXPECT_EQ(Count(*db), 1);
    }
    EXPECT_EQ(Count(*db), 0);
    {
        TScopedTransaction transaction(*db, TScopedTransaction::TKind::Write);
        Insert(*db, QStringLiteral("b"));
        transaction.Commit();
    }
    EXPECT_EQ(Count(*db), 1);
}

struct TFailure {
    const char* name;
    std::function<void(TDatabase&)> run;
};

class StorageFailure : public Storage, public ::testing::WithParamInterface<TFailure> {};

TEST_P(StorageFailure, RaisesADatabaseErrorAndTheConnectionGoesOn)
{
    try {
        GetParam().run(*db);
        ADD_FAILURE() << "no EDatabaseError";
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Erro no banco de dados"))) << e.Message().toStdString();
    }
    EXPECT_EQ(Count(*db), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StorageFailure,
    ::testing::Values(
        TFailure{"badSql", [](TDatabase& db) { TSql(db, QStringLiteral("SELECT FROM WHERE")).Exec(); }},
        TFailure{"unknownTable", [](TDatabase& db) { TSql(db, QStringLiteral("SELECT * FROM NAOEXISTE")).Exec(); }},
        TFailure{"unknownParameter",
                 [](TDatabase& db) {
                     TSql(db, QStringLiteral("SELECT CAST(:A AS VARCHAR(5))")).Bind(QStringLiteral(":B"), QStringLiteral("x"));
                 }},
        TFailure{"notNullColumn",
                 [](TDatabase& db) {
                     TSql(db, QStringLiteral("INSERT INTO AUDITORIA (DTEVENTO, IDEVENTO, CDFILIAL, NRLANCTONF, DSEVENTO)"
                                             " VALUES (:T, 'L', '0001', '1', NULL)"))
                         .Bind(QStringLiteral(":T"), QDateTime::currentDateTime())
                         .Exec();
                 }}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
