// Every kind of symbol the project draws, read back by ZXing: the same
// element string, separators included, behind the GS1 DataMatrix identifier.
#include "ZxingRead.h"
#include "labels/Gs1Symbol.h"
#include "rtl/Exceptions.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

namespace {

struct TSymbolCase {
    const char* name;
    QList<TGs1Element> elements;
    bool checked;
};

class Gs1Symbols : public testing::TestWithParam<TSymbolCase> {};

TEST_P(Gs1Symbols, ReadBackAsTheirElementString)
{
    const TSymbolCase& c = GetParam();
    const TGs1Symbol symbol = TGs1Symbol::Encode(c.elements, c.checked);
    EXPECT_EQ(symbol.Modules().width(), symbol.Modules().height());
    const TZxingRead read = ZxingRead(symbol.Image(5));
    EXPECT_EQ(read.SymbologyIdentifier, QStringLiteral("]d2"));
    EXPECT_EQ(read.Text, Gs1ElementString(c.elements));
}

INSTANTIATE_TEST_SUITE_P(
    Symbols, Gs1Symbols,
    testing::Values(
        TSymbolCase{"GtinAndSerial", {{"01", "07891234567895"}, {"21", "S1"}}, true},
        TSymbolCase{"IumWithEveryField",
                    {{"01", "07891234567895"}, {"17", "270300"}, {"10", "L-7/b"}, {"21", "RD123-45"}, {"713", "1234567890123"}},
                    true},
        TSymbolCase{"LogisticUnit",
                    {{"00", "178912340000000016"}, {"02", "07891234567895"}, {"37", "12"}, {"3103", "001250"},
                     {"11", "250600"}, {"422", "076"}, {"91", QString(90, u'z')}},
                    true},
        TSymbolCase{"SetOf82", {{"01", "07891234567895"}, {"21", "!\"%&'()*+,-./:;<=>?_"}}, true},
        TSymbolCase{"WrongCheckDigitUnchecked", {{"01", "07891234567896"}, {"21", "S1"}}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Gs1Symbol, ZintRefusesWhatGs1Refuses)
{
    for (const QList<TGs1Element>& elements :
         {QList<TGs1Element>{{"01", "07891234567896"}, {"21", "S1"}}, QList<TGs1Element>{{"01", "07891234567895"}, {"11", "251340"}}}) {
        EXPECT_THROW(TGs1Symbol::Encode(elements), Exception) << Gs1HumanReadable(elements).toStdString();
    }
}

TEST(Gs1Symbol, TextForms)
{
    const QList<TGs1Element> elements{{"01", "07891234567895"}, {"21", "S1"}};
    EXPECT_EQ(Gs1Bracketed(elements), QStringLiteral("[01]07891234567895[21]S1"));
    EXPECT_EQ(Gs1HumanReadable(elements), QStringLiteral("(01)07891234567895(21)S1"));
}

} // namespace
