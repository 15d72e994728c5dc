#include "framework/SqlText.h"

#include <gtest/gtest.h>

namespace {

struct ParameterCase {
    const char* name;
    QString sql;
    QStringList parameters;
};

class SqlParameters : public ::testing::TestWithParam<ParameterCase> {};

TEST_P(SqlParameters, AreFoundOutsideQuotesCommentsAndCasts)
{
    EXPECT_EQ(SqlParameterNames(GetParam().sql), GetParam().parameters);
}

INSTANTIATE_TEST_SUITE_P(
    SqlText, SqlParameters,
    ::testing::Values(
        ParameterCase{"BranchQuery", "WHERE\n   FI.CDFILIAL = NVL(:P_CDFILIAL,FI.CDFILIAL) ", {"P_CDFILIAL"}},
        ParameterCase{"ProcedureArgument", "   PARAM(:P_CDFILIAL)P_CDFILIAL", {"P_CDFILIAL"}},
        ParameterCase{"SeveralInOrder", "A = :b AND C = :a1 AND D = :_c", {"b", "a1", "_c"}},
        ParameterCase{"RepeatedOnceWithFirstSpelling", ":Cod OR :COD OR :cod", {"Cod"}},
        ParameterCase{"InsideTextLiteral", "X = ':NAO' AND Y = :SIM", {"SIM"}},
        ParameterCase{"DoubledQuoteInLiteral", "X = 'it''s :NAO' AND Y = :SIM", {"SIM"}},
        ParameterCase{"QuotedIdentifier", "SELECT \"A:NAO\" FROM T WHERE B = :SIM", {"SIM"}},
        ParameterCase{"LineComment", "-- :NAO\nWHERE A = :SIM -- :NAO2", {"SIM"}},
        ParameterCase{"BlockComment", "/* :NAO\n :NAO2 */ :SIM /* aberto :NAO3", {"SIM"}},
        ParameterCase{"TypeCast", "A::int = :SIM::int", {"SIM"}},
        ParameterCase{"DigitIsNoName", "A = :1", {}},
        ParameterCase{"ColonAtEnd", "A = :", {}},
        ParameterCase{"UnclosedLiteral", "A = :SIM AND B = ':NAO", {"SIM"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SqlText, DialectOfDriver)
{
    EXPECT_EQ(SqlDialectOf("QSQLITE"), TSqlDialect::Generic);
    EXPECT_EQ(SqlDialectOf("QPSQL"), TSqlDialect::Generic);
    EXPECT_EQ(SqlDialectOf("QMYSQL"), TSqlDialect::Generic);
    EXPECT_EQ(SqlDialectOf("QOCI"), TSqlDialect::Oracle);
    EXPECT_EQ(SqlDialectOf("QODBC"), TSqlDialect::MSSQL);
    EXPECT_EQ(SqlDialectOf("QIBASE"), TSqlDialect::IB);
}

} // namespace
