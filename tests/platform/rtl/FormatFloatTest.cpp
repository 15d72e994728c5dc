#include "rtl/FormatFloat.h"
#include "rtl/FormatSettings.h"

#include <gtest/gtest.h>

namespace {

struct FloatCase {
    const char* name;
    const char* format;
    double value;
    const char* expected;
};

class FormatFloatTest : public ::testing::TestWithParam<FloatCase> {};

TEST_P(FormatFloatTest, Formats)
{
    const FloatCase& c = GetParam();
    EXPECT_EQ(FormatFloat(QString::fromUtf8(c.format), c.value), QString::fromUtf8(c.expected))
        << c.format << " with " << c.value;
}

const FloatCase floatCases[] = {
    {"grouped_three_decimals", "###,##0.000", 1234.5, "1.234,500"},
    {"zero_keeps_forced_digits", "###,##0.000", 0.0, "0,000"},
    {"negative_gets_sign", "###,##0.000", -1234.5, "-1.234,500"},
    {"millions_grouped", "###,##0.000", 1234567.891, "1.234.567,891"},
    {"round_half_away_up", "0.00", 0.125, "0,13"},
    {"round_half_away_negative", "0.00", -0.125, "-0,13"},
    {"round_shortest_decimal_form", "0.00", 1.005, "1,01"},
    {"round_carries_into_integer", "0.00", 9.999, "10,00"},
    {"round_carries_through_groups", "#,##0", 999999.5, "1.000.000"},
    {"tiny_negative_rounds_to_zero_without_sign", "0.00", -0.001, "0,00"},
    {"optional_decimals_drop", "0.##", 2.5, "2,5"},
    {"optional_decimals_vanish_with_point", "0.##", 2.0, "2"},
    {"no_forced_integer_digit", "#.##", 0.5, ",5"},
    {"integer_padding", "0000", 42, "0042"},
    {"literal_prefix_and_suffix", "'R$ '#,##0.00' un'", 1500.0, "R$ 1.500,00 un"},
    {"negative_section_without_sign", "0.0;(0.0)", -3.25, "(3,3)"},
    {"zero_section", "0.0;-0.0;'nada'", 0.0, "nada"},
    {"zero_section_after_rounding", "0.0;-0.0;'nada'", 0.04, "nada"},
    {"empty_format_is_shortest", "", 0.1, "0,1"},
    {"integer_format_rounds", "0", 2.5, "3"},
    {"integer_format_rounds_negative", "0", -2.5, "-3"},
};

INSTANTIATE_TEST_SUITE_P(Table, FormatFloatTest, ::testing::ValuesIn(floatCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FormatFloat, FollowsTheProcessWideSeparators)
{
    TFormatSettings saved = FormatSettings();
    FormatSettings().DecimalSeparator = u'.';
    FormatSettings().ThousandSeparator = u',';
    EXPECT_EQ(FormatFloat("###,##0.000", 1234.5), "1,234.500");
    FormatSettings() = saved;
    EXPECT_EQ(FormatFloat("###,##0.000", 1234.5), "1.234,500");
}

} // namespace
