#include "rtl/MaskUtils.h"

#include <gtest/gtest.h>

namespace {

struct FormatCase {
    const char* name;
    QString mask;
    QString value;
    QString expected;
};
void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class FormatMaskTextTest : public testing::TestWithParam<FormatCase> {};

TEST_P(FormatMaskTextTest, Formats)
{
    const FormatCase& c = GetParam();
    EXPECT_EQ(FormatMaskText(c.mask, c.value), c.expected);
}

const FormatCase formatCases[] = {
    {"BranchEmpty", "9999;0; ", "", "    "},
    {"BranchShort", "9999;0; ", "12", "12  "},
    {"BranchFull", "9999;0; ", "0001", "0001"},
    {"BranchTooLong", "9999;0; ", "123456", "1234"},
    {"ExpeditionShort", "9999999999;0; ", "123", "123       "},
    {"ExpeditionFull", "9999999999;0; ", "0000001234", "0000001234"},
    {"PersonDocument", "999.999.999-99;0;_", "12345678901", "123.456.789-01"},
    {"PersonDocumentShort", "999.999.999-99;0;_", "123", "123.___.___-__"},
    {"PersonDocumentTooLong", "999.999.999-99;0;_", "123456789012345", "123.456.789-01"},
    {"PersonDocumentWithLiterals", "999.999.999-99;0;_", "123.456.789-01", "123.456.789-01"},
    {"CompanyDocument", "99.999.999/9999-99;0;_", "12345678000195", "12.345.678/0001-95"},
    {"CompanyDocumentShort", "99.999.999/9999-99;0;_", "1234", "12.34_.___/____-__"},
    {"CompanyDocumentEmpty", "99.999.999/9999-99;0;_", "", "__.___.___/____-__"},
    {"NoMask", "", "abc", "abc"},
    {"UpperCase", ">LL-000;1;_", "ab123", "AB-123"},
    {"LowerCase", "<ll", "AB", "ab"},
    {"CaseOffAgain", ">l<>l", "ab", "Ab"},
    {"LeadingBlanks", "!9999;0; ", "12", "  12"},
    {"TimeSeparator", "00:00;1;_", "1230", "12:30"},
    {"RefusedCharacterLeavesBlank", "LL;0;_", "1a", "_a"},
    {"EscapedLiteral", "\\9 99;0;_", "12", "9 12"},
    {"Sign", "#9;0;_", "-5", "-5"},
    {"OwnBlank", "99;0;*", "", "**"},
    {"UnderscoreIsLiteralBlank", "99_99;0;*", "1234", "12 34"},
    {"BlankInValueLeavesPositionOpen", "9999;0;_", "1 3", "1_3_"},
    {"DefaultSections", "99-99", "1234", "12-34"},
    {"EscapedSeparator", "9\\;9;0;_", "12", "1;2"},
};

INSTANTIATE_TEST_SUITE_P(Masks, FormatMaskTextTest, testing::ValuesIn(formatCases),
                         [](const testing::TestParamInfo<FormatCase>& info) { return info.param.name; });

struct TextCase {
    const char* name;
    QString mask;
    QString value;
    QString text;
};
void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class MaskedTextReadTest : public testing::TestWithParam<TextCase> {};

TEST_P(MaskedTextReadTest, ReadsText)
{
    const TextCase& c = GetParam();
    TMaskedText t(c.mask);
    t.SetText(c.value);
    EXPECT_EQ(t.Text(), c.text);
}

const TextCase textCases[] = {
    {"UntouchedReadsEmpty", "9999;0; ", "", ""},
    {"BlanksReadEmpty", "9999999999;0; ", "   ", ""},
    {"PartialWithoutLiterals", "9999;0; ", "12", "12"},
    {"LiteralsLeftOut", "999.999.999-99;0;_", "12345678901", "12345678901"},
    {"LiteralsKept", "99/99;1;_", "1231", "12/31"},
    {"LiteralsKeptUnfilledAsSpace", "99/99;1;_", "1", "1 /  "},
    {"NoMaskSectionKeepsLiterals", "99-99", "12", "12-  "},
};

INSTANTIATE_TEST_SUITE_P(Masks, MaskedTextReadTest, testing::ValuesIn(textCases),
                         [](const testing::TestParamInfo<TextCase>& info) { return info.param.name; });

TEST(MaskedText, TypingSkipsLiteralsAndRefusesWhatDoesNotFit)
{
    TMaskedText t("99-99;0;_");
    EXPECT_EQ(t.Type(0, u'1'), 1);
    EXPECT_EQ(t.Type(1, u'2'), 3); // the cursor jumps over the literal
    EXPECT_EQ(t.Type(3, u'x'), -1);
    EXPECT_EQ(t.DisplayText(), "12-__");
    EXPECT_EQ(t.Type(2, u'3'), 4); // typing on a literal fills the next position
    EXPECT_EQ(t.Type(4, u'4'), 5);
    EXPECT_EQ(t.Type(5, u'5'), -1);
    EXPECT_EQ(t.Text(), "1234");
}

TEST(MaskedText, BackspaceDeleteAndClearEmptyPositions)
{
    TMaskedText t("99-99;0;_");
    t.SetText("1234");
    EXPECT_EQ(t.Backspace(3), 1); // over the literal, to the 2
    EXPECT_EQ(t.DisplayText(), "1_-34");
    t.Delete(2);
    EXPECT_EQ(t.DisplayText(), "1_-_4");
    t.Clear(0, 5);
    EXPECT_TRUE(t.IsEmpty());
    EXPECT_EQ(t.DisplayText(), "__-__");
    EXPECT_EQ(t.Backspace(0), 0);
}

TEST(MaskedText, TypedLettersFollowTheCaseDirective)
{
    TMaskedText t(">LL<ll;0;_");
    int pos = 0;
    for (QChar c : QString("aBcD"))
        pos = t.Type(pos, c);
    EXPECT_EQ(t.Text(), "ABcd");
}

} // namespace
