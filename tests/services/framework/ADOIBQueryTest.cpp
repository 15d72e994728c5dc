#include "BranchQueryText.h"
#include "framework/ADOIBQuery.h"
#include "framework/DtmDBGeral.h"
#include "framework/SqliteFunctions.h"
#include "framework/Varneth.h"

#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Runs statements on the test database through a connection of its own.
void execute(const QString& path, const QStringList& statements)
{
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "setup");
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery q(db);
        for (const QString& s : statements)
            ASSERT_TRUE(q.exec(s)) << q.lastError().text().toStdString();
    }
    QSqlDatabase::removeDatabase("setup");
}

template <class F>
QString databaseError(F run)
{
    try {
        run();
    } catch (const EDatabaseError& e) {
        return e.Message();
    }
    ADD_FAILURE() << "no EDatabaseError";
    return QString();
}


QStringList column(TDataSet& q, const QString& field)
{
    QStringList values;
    for (q.First(); !q.Eof(); q.Next())
        values << q.FieldByName(field)->AsString();
    return values;
}

class BranchQuery : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("exp13000.sqlite");
        execute(path, {"CREATE TABLE FILIAL (CDFILIAL VARCHAR(4) NOT NULL PRIMARY KEY, NMFILIAL VARCHAR(30))",
                       "INSERT INTO FILIAL VALUES ('0003', 'Filial Sul')",
                       "INSERT INTO FILIAL VALUES ('0001', 'Matriz')",
                       "INSERT INTO FILIAL VALUES ('0010', NULL)",
                       "INSERT INTO FILIAL VALUES ('0002', 'Filial D''Ávila')",
                       "INSERT INTO FILIAL VALUES ('''--', 'Código com aspas')"});
        saved = Varneth::Settings();
        Varneth::SetDatabasePath(path);
        module = std::make_unique<TdtmDBGeral>();
        module->Open();
        composeBranchQuery(qryFilial);
    }
    void TearDown() override { Varneth::SetSettings(saved); }

    QTemporaryDir dir;
    QString path;
    Varneth::THostSettings saved;
    std::unique_ptr<TdtmDBGeral> module;
    TADOIBQuery qryFilial;
};

TEST_F(BranchQuery, NullParameterListsEveryBranchInCodeOrder)
{
    EXPECT_TRUE(qryFilial.IsEmpty()) << "closed at start";
    qryFilial.ParamByName("P_CDFILIAL")->Clear();
    qryFilial.Open();
    ASSERT_TRUE(qryFilial.Active());
    EXPECT_EQ(column(qryFilial, "CDFILIAL"), (QStringList{"'--", "0001", "0002", "0003", "0010"}));
    EXPECT_EQ(column(qryFilial, "NMFILIAL"),
              (QStringList{"Código com aspas", "Matriz", "Filial D'Ávila", "Filial Sul", ""}));
    qryFilial.Last();
    EXPECT_TRUE(qryFilial.FieldByName("NMFILIAL")->IsNull());
    EXPECT_EQ(qryFilial.FieldByName("CDFILIAL")->DisplayLabel(), "Código");
}

TEST_F(BranchQuery, CodeParameterReturnsThatBranchOnly)
{
    qryFilial.ParamByName("P_CDFILIAL")->SetAsString("0002");
    qryFilial.Open();
    EXPECT_EQ(qryFilial.RecordCount(), 1);
    EXPECT_EQ(qryFilial.FieldByName("NMFILIAL")->AsString(), "Filial D'Ávila");

    // Open on an open query keeps the rows it has; Close and Open runs again.
    qryFilial.ParamByName("p_cdfilial")->SetAsString("9999");
    qryFilial.Open();
    EXPECT_EQ(qryFilial.FieldByName("CDFILIAL")->AsString(), "0002");
    qryFilial.Close();
    qryFilial.Open();
    EXPECT_TRUE(qryFilial.Active());
    EXPECT_TRUE(qryFilial.IsEmpty());
}

TEST_F(BranchQuery, ParameterValuesArePlainData)
{
    for (const QString value : {"0001' OR '1'='1", "'; DROP TABLE FILIAL; --", "0001\" OR 1=1 --", ":P_CDFILIAL",
                                "NULL", "%"}) {
        qryFilial.Close();
        qryFilial.ParamByName("P_CDFILIAL")->SetAsString(value);
        qryFilial.Open();
        EXPECT_TRUE(qryFilial.IsEmpty()) << value.toStdString();
    }
    qryFilial.Close();
    qryFilial.ParamByName("P_CDFILIAL")->SetAsString("'--");
    qryFilial.Open();
    EXPECT_EQ(column(qryFilial, "NMFILIAL"), QStringList{"Código com aspas"});

    qryFilial.Close();
    qryFilial.ParamByName("P_CDFILIAL")->Clear();
    qryFilial.Open();
    EXPECT_EQ(qryFilial.RecordCount(), 5) << "the table is intact";
}

TEST_F(BranchQuery, DatabaseErrorCarriesTheDatabaseMessage)
{
    execute(path, {"DROP TABLE FILIAL"});
    EXPECT_EQ(databaseError([&] { qryFilial.Open(); }), "no such table: FILIAL");
    EXPECT_FALSE(qryFilial.Active());
}

TEST_F(BranchQuery, UnknownParameterAndMissingConnectionAreRefused)
{
    EXPECT_EQ(databaseError([&] { qryFilial.ParamByName("P_CDEMPRESA"); }),
              "qryFilial: parâmetro 'P_CDEMPRESA' não encontrado.");
    EXPECT_EQ(qryFilial.ParamByName("P_CDFILIAL"), qryFilial.ParamByName("p_CdFilial"));

    module->Close();
    EXPECT_EQ(databaseError([&] { qryFilial.Open(); }), "qryFilial: sem conexão com o banco de dados.");
}

TEST_F(BranchQuery, ColumnsTakeTheKindsOfTheirFields)
{
    execute(path, {"CREATE TABLE ITEM (CDITEM TEXT, QTITEM REAL, QTTEXTO TEXT, DTVALIDADE TEXT, NRSEQ INTEGER)",
                   "INSERT INTO ITEM VALUES ('A', 2.5, ' 7.25 ', '2024-05-31', 3)",
                   "INSERT INTO ITEM VALUES ('B', NULL, '1', '2024-06-01 14:30:00', 4)",
                   "INSERT INTO ITEM VALUES ('C', 1, '0', '2024-06-02T08:15:30.250', 5)"});
    TADOIBQuery q;
    q.SetName("qryItem");
    q.SetConnection(module->adcGeral());
    q.SQL = QStringList{"SELECT CDITEM, QTITEM, QTTEXTO, DTVALIDADE, NRSEQ FROM ITEM ORDER BY CDITEM"};
    auto* quantity = new TFloatField(&q);
    quantity->SetFieldName("QTITEM");
    auto* fromText = new TFloatField(&q);
    fromText->SetFieldName("QTTEXTO");
    auto* validity = new TDateTimeField(&q);
    validity->SetFieldName("DTVALIDADE");
    q.Open();

    EXPECT_DOUBLE_EQ(q.FieldByName("QTITEM")->AsFloat(), 2.5);
    EXPECT_DOUBLE_EQ(q.FieldByName("QTTEXTO")->AsFloat(), 7.25);
    EXPECT_EQ(q.FieldByName("DTVALIDADE")->AsDateTime(), EncodeDate(2024, 5, 31));
    EXPECT_EQ(q.FindField("NRSEQ"), nullptr) << "persistent fields only";
    q.Next();
    EXPECT_TRUE(q.FieldByName("QTITEM")->IsNull());
    EXPECT_EQ(ToQDateTime(q.FieldByName("DTVALIDADE")->AsDateTime()), QDateTime(QDate(2024, 6, 1), QTime(14, 30)));
    q.Next();
    EXPECT_EQ(ToQDateTime(q.FieldByName("DTVALIDADE")->AsDateTime()),
              QDateTime(QDate(2024, 6, 2), QTime(8, 15, 30, 250)));

    q.Close();
    execute(path, {"INSERT INTO ITEM VALUES ('D', 1, '1', '31/12/2024', 6)"});
    EXPECT_EQ(databaseError([&] { q.Open(); }), "qryItem: o valor '31/12/2024' da coluna DTVALIDADE não é uma data.");
    EXPECT_FALSE(q.Active());
}

TEST_F(BranchQuery, WithoutPersistentFieldsKindsFollowTheValues)
{
    TADOIBQuery q;
    q.SetConnection(module->adcGeral());
    q.SQL = QStringList{"SELECT NVL(NULL, 'b') AS A, NVL('a', 'b') AS B, NVL(NULL, NULL) AS C, :N * 2 AS DOBRO"};
    q.ParamByName("N")->SetDataType(TFieldType::ftFloat);
    q.ParamByName("N")->SetValue(QStringLiteral("1.25"));
    q.Open();
    EXPECT_EQ(q.FieldByName("A")->AsString(), "b");
    EXPECT_EQ(q.FieldByName("B")->AsString(), "a");
    EXPECT_TRUE(q.FieldByName("C")->IsNull());
    EXPECT_EQ(q.FieldByName("DOBRO")->DataType(), TFieldType::ftFloat);
    EXPECT_DOUBLE_EQ(q.FieldByName("DOBRO")->AsFloat(), 2.5);
}

TEST_F(BranchQuery, MaxRecordsLimitsTheRows)
{
    qryFilial.SetMaxRecords(2);
    qryFilial.Open();
    EXPECT_EQ(column(qryFilial, "CDFILIAL"), (QStringList{"'--", "0001"}));
}

TEST_F(BranchQuery, EmptyDialectTextFallsBackToTheGenericOne)
{
    EXPECT_EQ(qryFilial.TextOf(TSqlDialect::IB).size(), 11);
    EXPECT_EQ(qryFilial.TextOf(TSqlDialect::MSSQL)[5], "   FI.CDFILIAL = ISNULL(:P_CDFILIAL,FI.CDFILIAL)");
    qryFilial.SQL_IB.clear();
    EXPECT_EQ(qryFilial.TextOf(TSqlDialect::IB), qryFilial.SQL);
    qryFilial.SQL = QStringList{" ", ""};
    EXPECT_EQ(databaseError([&] { qryFilial.Open(); }), "qryFilial: não há texto SQL para executar.");
}

TEST(DataModule, FirstModuleIsTheSharedOneAndOwnsItsConnection)
{
    QTemporaryDir dir;
    const Varneth::THostSettings saved = Varneth::Settings();
    Varneth::SetDatabasePath(dir.filePath("nao-existe.sqlite"));
    QString connection;
    {
        TdtmDBGeral first;
        TdtmDBGeral second;
        EXPECT_EQ(dtmDBGeral, &first);
        EXPECT_NE(first.ConnectionName(), second.ConnectionName());
        EXPECT_EQ(first.FindComponent("dtbGeral"), first.dtbGeral);
        EXPECT_EQ(databaseError([&] { first.Open(); }),
                  QStringLiteral("Banco de dados '%1' não encontrado.").arg(dir.filePath("nao-existe.sqlite")));
        EXPECT_FALSE(QFileInfo::exists(dir.filePath("nao-existe.sqlite"))) << "no empty file made";

        execute(dir.filePath("vazio.sqlite"), {"CREATE TABLE T (A)"});
        Varneth::SetDatabasePath(dir.filePath("vazio.sqlite"));
        first.Open();
        EXPECT_TRUE(first.Connected());
        connection = first.ConnectionName();
    }
    EXPECT_EQ(dtmDBGeral, nullptr);
    EXPECT_FALSE(QSqlDatabase::contains(connection));
    Varneth::SetSettings(saved);
}

TEST(SqliteFunctions, RefuseAConnectionThatIsNotOpen)
{
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "closed");
    EXPECT_EQ(databaseError([&] { RegisterSqliteFunctions(db); }), "A conexão 'closed' não é uma conexão SQLite aberta.");
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase("closed");
}

} // namespace
