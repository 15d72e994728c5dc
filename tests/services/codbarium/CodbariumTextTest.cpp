// The scan as the reading screen sends it, and the elements it shows.
#include "codbarium/IumReadingText.h"

#include <gtest/gtest.h>

namespace {

constexpr QChar GS(29);
constexpr QChar Mark(IumReading::GroupSeparatorMark);

struct TScanCase {
    const char* name;
    QString typed;
    QChar replacement;
    QString code;
};

class ScanToCode : public testing::TestWithParam<TScanCase> {};

TEST_P(ScanToCode, TurnsEveryStandInIntoCharacter29)
{
    const TScanCase& c = GetParam();
    EXPECT_EQ(IumReading::ScanToCode(c.typed, c.replacement), c.code);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScanToCode,
    testing::Values(
        TScanCase{"MarkOfTheScanField", QStringLiteral("21A") + Mark + QStringLiteral("10L"), GS, QStringLiteral("21A") + GS + QStringLiteral("10L")},
        TScanCase{"HostReplacement", QStringLiteral("21A~10L~713R"), QChar(u'~'), QStringLiteral("21A") + GS + QStringLiteral("10L") + GS + QStringLiteral("713R")},
        TScanCase{"MarkAlsoWithAReplacementSet", QStringLiteral("21A") + Mark + QStringLiteral("10L"), QChar(u'^'), QStringLiteral("21A") + GS + QStringLiteral("10L")},
        TScanCase{"OtherCharactersKeptWithoutReplacement", QStringLiteral("21A~10L"), GS, QStringLiteral("21A~10L")},
        TScanCase{"BlanksAroundRemoved", QStringLiteral("  ]d20107891234567895\t"), GS, QStringLiteral("]d20107891234567895")},
        TScanCase{"BlankIsEmpty", QStringLiteral("   "), GS, QString()}),
    [](const testing::TestParamInfo<TScanCase>& info) { return std::string(info.param.name); });

TEST(IumReadingText, DescribesTheElementsTheCodeCarries)
{
    TIumCode code;
    code.Gtin = QStringLiteral("07891234567895");
    code.Serial = QStringLiteral("S1");
    EXPECT_EQ(IumReading::DescribeIumCode(code), QStringLiteral("GTIN 07891234567895, série S1"));
    code.Expiry = QDate(2027, 2, 28);
    code.Lot = QStringLiteral("L9");
    code.Registration = QStringLiteral("R3");
    EXPECT_EQ(IumReading::DescribeIumCode(code),
              QStringLiteral("GTIN 07891234567895, série S1, validade 28/02/2027, lote L9, registro R3"));
    EXPECT_EQ(Gs1ForDisplay(QStringLiteral("21A") + GS + QStringLiteral("10L")),
              QStringLiteral("21A") + Mark + QStringLiteral("10L"));
}

} // namespace
