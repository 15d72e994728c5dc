#include "rtl/StrUtils.h"

#include <gtest/gtest.h>

TEST(StrUtils, QuotedStrDoublesInnerQuotes)
{
    EXPECT_EQ(QuotedStr(""), "''");
    EXPECT_EQ(QuotedStr("0001"), "'0001'");
    EXPECT_EQ(QuotedStr("D'Ávila"), "'D''Ávila'");
    EXPECT_EQ(QuotedStr("''"), "''''''");
}

TEST(StrUtils, TrimRemovesControlCharactersAndBlanks)
{
    EXPECT_EQ(Trim(" \t 12 3\r\n"), "12 3");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a "), "  a");
    EXPECT_EQ(Trim(QString(QChar(29)) + "x"), "x");
    EXPECT_TRUE(IsBlank(""));
    EXPECT_TRUE(IsBlank(" \t "));
    EXPECT_FALSE(IsBlank(" 0 "));
}

TEST(StrUtils, StrToIntDef)
{
    EXPECT_EQ(StrToIntDef(" 42 ", -1), 42);
    EXPECT_EQ(StrToIntDef("4x", -1), -1);
    EXPECT_EQ(StrToIntDef("", 7), 7);
}
