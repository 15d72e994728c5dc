#include "framework/Consiste.h"

#include <gtest/gtest.h>

namespace {

struct AjustaCase {
    const char* name;
    QString text;
    int width;
    QString expected;
};

class Ajusta : public ::testing::TestWithParam<AjustaCase> {};

TEST_P(Ajusta, FitsTheCode)
{
    EXPECT_EQ(Consiste::Ajusta(GetParam().text, GetParam().width), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Consiste, Ajusta,
    ::testing::Values(AjustaCase{"OneDigitBranch", "1", 4, "0001"},
                      AjustaCase{"ThreeDigitBranch", "123", 4, "0123"},
                      AjustaCase{"FullBranchUnchanged", "0001", 4, "0001"},
                      AjustaCase{"BlanksAroundAreRemoved", " 12 ", 4, "0012"},
                      AjustaCase{"TabAndBlanks", "\t7  ", 10, "0000000007"},
                      AjustaCase{"ExpeditionNumber", "4567", 10, "0000004567"},
                      AjustaCase{"EmptyStaysEmpty", "", 4, ""},
                      AjustaCase{"BlankBecomesEmpty", "    ", 4, ""},
                      AjustaCase{"LongerCodeIsNotCut", "123456", 4, "123456"},
                      AjustaCase{"LongerCodeOnlyTrimmed", " 12345 ", 4, "12345"},
                      AjustaCase{"InnerBlankKept", "1 2", 4, "01 2"},
                      AjustaCase{"LettersPaddedToo", "AB", 4, "00AB"}),
    [](const auto& info) { return std::string(info.param.name); });

struct BlankCase {
    const char* name;
    QString text;
    bool empty;
    QString trimmed;
};

class BlankText : public ::testing::TestWithParam<BlankCase> {};

TEST_P(BlankText, EmptyStringAndAllTrimAgree)
{
    EXPECT_EQ(Consiste::EmptyString(GetParam().text), GetParam().empty);
    EXPECT_EQ(Consiste::AllTrim(GetParam().text), GetParam().trimmed);
}

INSTANTIATE_TEST_SUITE_P(Consiste, BlankText,
                         ::testing::Values(BlankCase{"Empty", "", true, ""},
                                           BlankCase{"Blanks", "    ", true, ""},
                                           BlankCase{"ControlCharacters", "\t\r\n", true, ""},
                                           BlankCase{"Zero", " 0 ", false, "0"},
                                           BlankCase{"InnerBlanksKept", "  Filial  Norte ", false, "Filial  Norte"},
                                           BlankCase{"AccentedText", "São Paulo ", false, "São Paulo"}),
                         [](const auto& info) { return std::string(info.param.name); });

struct PictPessCase {
    const char* name;
    QString type;
    QString mask;
};

class PictPess : public ::testing::TestWithParam<PictPessCase> {};

TEST_P(PictPess, GivesTheMaskOfThePersonType)
{
    EXPECT_EQ(Consiste::PictPess(GetParam().type), GetParam().mask);
}

INSTANTIATE_TEST_SUITE_P(Consiste, PictPess,
                         ::testing::Values(PictPessCase{"Individual", "F", "999.999.999-99;0;_"},
                                           PictPessCase{"Company", "J", "99.999.999/9999-99;0;_"},
                                           PictPessCase{"TypeWithBlanks", " J ", "99.999.999/9999-99;0;_"},
                                           PictPessCase{"LowerCaseIsNoType", "f", ""},
                                           PictPessCase{"Foreign", "E", ""},
                                           PictPessCase{"Empty", "", ""},
                                           PictPessCase{"TwoLetters", "FJ", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
