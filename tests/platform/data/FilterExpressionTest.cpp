#include "PacketFixtures.h"
#include "data/FilterExpression.h"
#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

namespace {

std::vector<int> matching(const QString& text)
{
    const TDataPacket p = SampleItems();
    const auto bound = TFilterExpression::Parse(text).Bind(p.Fields());
    std::vector<int> rows;
    for (int r = 0; r < p.RowCount(); ++r)
        if (bound.Matches(p, r))
            rows.push_back(r);
    return rows;
}

struct FilterCase {
    const char* name;
    const char* text;
    std::vector<int> rows;
};

class FilterLanguage : public ::testing::TestWithParam<FilterCase> {};

TEST_P(FilterLanguage, SelectsTheRows)
{
    EXPECT_EQ(matching(QString::fromUtf8(GetParam().text)), GetParam().rows) << GetParam().text;
}

const FilterCase filterCases[] = {
    {"screen_item_filter", "(CDFILIAL = '0001' AND NRLANCTONF = '0000000001')", {0, 1}},
    {"screen_reading_filter", "(CDFILIAL = '0001' AND NRLANCTONF = '0000000002' AND CDPRODUTO = '77')", {2}},
    {"empty_values_match_nothing", "(CDFILIAL = '' AND NRLANCTONF = '')", {}},
    {"literal_first", "'0002' = CDFILIAL", {3}},
    {"doubled_quote_in_literal", "NMPROD = 'D''Ávila'", {3}},
    {"strings_are_case_sensitive", "NMPROD = 'parafuso'", {}},
    {"keywords_any_case", "cdfilial = '0001' and not (cdproduto = '77') or CDFILIAL = '0002'", {1, 3, 4, 5}},
    {"or_binds_looser_than_and", "CDPRODUTO = '90' OR CDPRODUTO = '77' AND NRLANCTONF = '0000000002'", {2, 3}},
    {"parentheses_override", "(CDPRODUTO = '90' OR CDPRODUTO = '77') AND NRLANCTONF = '0000000001'", {0, 3}},
    {"not_equal", "CDFILIAL <> '0001'", {3}},
    {"string_ordering", "CDPRODUTO >= '79' AND CDPRODUTO < '91'", {3, 5}},
    {"number_comparisons", "QTITEM > 1.5", {0, 3, 5}},
    {"number_less_equal", "QTITEM <= 1.5", {1, 2}},
    {"null_never_compares", "QTITEM <> 99", {0, 1, 2, 3, 5}},
    {"is_null", "QTITEM IS NULL", {4}},
    {"is_not_null", "NMPROD IS NOT NULL AND DTVALID IS NULL", {1}},
    {"date_against_day_count", "DTVALID >= 46010", {2, 3, 4}},
    {"date_against_date_literal", "DTVALID < '10/12/2025'", {0, 5}},
    {"bracketed_field_name", "[CDPRODUTO] = '78'", {1}},
    {"blank_filter_passes_all", "   ", {0, 1, 2, 3, 4, 5}},
};

INSTANTIATE_TEST_SUITE_P(Table, FilterLanguage, ::testing::ValuesIn(filterCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct BadFilter {
    const char* name;
    const char* text;
    const char* messagePart;
};

class FilterErrors : public ::testing::TestWithParam<BadFilter> {};

TEST_P(FilterErrors, ReportWhere)
{
    const TDataPacket p = SampleItems();
    try {
        TFilterExpression::Parse(QString::fromUtf8(GetParam().text)).Bind(p.Fields());
        FAIL() << "accepted " << GetParam().text;
    } catch (const EDatabaseError& e) {
        EXPECT_TRUE(e.Message().contains(QString::fromUtf8(GetParam().messagePart))) << e.Message().toStdString();
    }
}

const BadFilter badFilters[] = {
    {"unclosed_quote", "CDFILIAL = '0001", "posição 12"},
    {"missing_paren", "(CDFILIAL = '0001'", "posição 19"},
    {"missing_operand", "CDFILIAL = ", "posição 12"},
    {"dangling_and", "CDFILIAL = '1' AND", "posição 19"},
    {"bad_character", "CDFILIAL ~ '1'", "posição 10"},
    {"trailing_garbage", "CDFILIAL = '1' '2'", "posição 16"},
    {"unknown_field", "CDNADA = '1'", "'CDNADA'"},
    {"string_field_vs_number", "CDFILIAL = 1", "CDFILIAL"},
    {"float_field_vs_text", "QTITEM = 'x'", "QTITEM"},
    {"invalid_date_literal", "DTVALID = '31/02/2026'", "DTVALID"},
};

INSTANTIATE_TEST_SUITE_P(Table, FilterErrors, ::testing::ValuesIn(badFilters),
                         [](const auto& info) { return std::string(info.param.name); });

// Every pass over a filter descends its tree: a text nested or chained past
// the bound is refused where it passes it, instead of exhausting the stack.
TEST(FilterDepth, MoreOperatorsThanTheBoundAreRefused)
{
    const QString term = QStringLiteral("CDFILIAL = '1'");
    const int n = 100000;
    for (const QString& text :
         {QString(n, u'(') + term + QString(n, u')'), QStringLiteral("NOT ").repeated(n) + term,
          QStringList(n, term).join(QStringLiteral(" AND ")), QStringList(n, term).join(QStringLiteral(" or "))}) {
        try {
            TFilterExpression::Parse(text);
            FAIL() << "accepted " << text.left(20).toStdString();
        } catch (const EDatabaseError& e) {
            EXPECT_TRUE(e.Message().contains(QStringLiteral("mais de 1000 operadores"))) << e.Message().toStdString();
        }
    }
    const TDataPacket p = SampleItems();
    const auto bound = TFilterExpression::Parse(QStringList(1001, term).join(QStringLiteral(" AND "))).Bind(p.Fields());
    EXPECT_TRUE(bound.indexable);
}

TEST(FilterIndexability, OnlyAndOfStringEqualitiesUseTheIndex)
{
    const TDataPacket p = SampleItems();
    auto bind = [&](const char* t) { return TFilterExpression::Parse(t).Bind(p.Fields()); };

    const auto screen = bind("(NRLANCTONF = '2' AND CDFILIAL = '0001')");
    ASSERT_TRUE(screen.indexable);
    EXPECT_EQ(screen.keyColumns, (std::vector<int>{0, 1}));  // canonical column order
    EXPECT_EQ(screen.keyValues, (QStringList{"0001", "2"}));
    EXPECT_FALSE(screen.contradictory);

    EXPECT_TRUE(bind("CDFILIAL = '1' AND CDFILIAL = '2'").contradictory);
    EXPECT_FALSE(bind("CDFILIAL = '1' OR NRLANCTONF = '2'").indexable);
    EXPECT_FALSE(bind("CDFILIAL <> '1'").indexable);
    EXPECT_FALSE(bind("QTITEM = 1").indexable);
    EXPECT_FALSE(bind("NOT CDFILIAL = '1'").indexable);
}

} // namespace
