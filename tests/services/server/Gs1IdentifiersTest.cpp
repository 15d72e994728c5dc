// Every application identifier at the bounds of its value, and the rules
// between identifiers: pairings, exclusions, repeats, symbology identifiers.
#include "rtl/Exceptions.h"
#include "server/Gs1.h"
#include "server/Gs1Identifiers.h"

#include <gtest/gtest.h>

namespace {

const QDate today(2025, 6, 15);
const QString gs(QChar(29));

// A valid value of `part` with `length` characters.
QString ValidPart(const TGs1Component& part, int length)
{
    switch (part.Check) {
    case TGs1Check::DateDayZero:
    case TGs1Check::Date: return QStringLiteral("250615");
    case TGs1Check::DateHour: return QStringLiteral("25061523");
    case TGs1Check::DateTime: return QStringLiteral("2506152359");
    case TGs1Check::LongDate: return QStringLiteral("20250615");
    case TGs1Check::LongDateTime: return QStringLiteral("202506152359");
    case TGs1Check::Time: return QStringLiteral("2359");
    case TGs1Check::MinutesSeconds: return QStringLiteral("5959").left(length < 4 ? 2 : 4);
    default: break;
    }
    const QString sample = part.Set == TGs1Set::Numeric ? QStringLiteral("1234567890")
                           : part.Set == TGs1Set::Set39 ? QStringLiteral("A1#-/Z")
                           : part.Set == TGs1Set::Set64 ? QStringLiteral("Ab9-_z")
                                                        : QStringLiteral("Ab9!%z");
    QString value;
    const int body = part.Check == TGs1Check::CheckDigit ? length - 1 : part.Check == TGs1Check::CheckPair ? length - 2 : length;
    while (value.size() < body)
        value += sample.at(value.size() % sample.size());
    if (part.Check == TGs1Check::CheckDigit)
        value += GtinCheckDigit(value);
    if (part.Check == TGs1Check::CheckPair)
        value += Gs1CheckPair(value);
    return value;
}

// The shortest value a part takes (a check pair needs a body; minutes need
// two digits).
int Shortest(const TGs1Component& part)
{
    if (part.Check == TGs1Check::CheckPair)
        return 3;
    if (part.Check == TGs1Check::MinutesSeconds)
        return 2;
    return part.MinLength;
}

QString Value(const TGs1Identifier& id, bool longest)
{
    QString value;
    for (const TGs1Component& part : id.Components)
        if (longest || !part.Optional)
            value += ValidPart(part, longest ? part.MaxLength : Shortest(part));
    return value;
}

// Valid elements for what `ai` requires, its own requirements before it.
QString Context(const QString& ai, QStringList& present)
{
    QString context;
    for (const QStringList& group : FindGs1Identifier(ai)->Requires) {
        if (std::any_of(group.cbegin(), group.cend(), [&](const QString& a) { return present.contains(a); }))
            continue;
        const QString needed = group.first();
        present << needed;
        context += Context(needed, present) + needed + Value(*FindGs1Identifier(needed), false) + gs;
    }
    return context;
}

// The scan of `ai` with `value`, last, after what it requires.
QString Scan(const TGs1Identifier& id, const QString& value)
{
    QStringList present{id.Ai};
    return Context(id.Ai, present) + id.Ai + value;
}

bool Accepts(const QString& scan, QString* why = nullptr)
{
    try {
        ParseGs1(scan, today);
        return true;
    } catch (const EConvertError& e) {
        if (why)
            *why = e.Message();
        return false;
    }
}

QChar Foreign(TGs1Set set)
{
    switch (set) {
    case TGs1Set::Numeric: return u'A';
    case TGs1Set::Set39: return u'a';
    case TGs1Set::Set64: return u'!';
    case TGs1Set::Set82: return u' ';
    }
    return u' ';
}

TEST(Gs1Identifiers, EveryIdentifierAtTheBoundsOfItsValue)
{
    const QList<TGs1Identifier>& table = Gs1Identifiers();
    ASSERT_GT(table.size(), 400);
    for (const TGs1Identifier& id : table) {
        SCOPED_TRACE(id.Ai.toStdString());
        ASSERT_FALSE(id.Components.isEmpty());
        for (bool longest : {false, true}) {
            const QString value = Value(id, longest);
            QString why;
            EXPECT_TRUE(Accepts(Scan(id, value), &why)) << value.toStdString() << ": " << why.toStdString();
            EXPECT_EQ(ParseGs1(Scan(id, value), today).Value(id.Ai), value);
        }
        // One character past the longest value.
        const QString longest = Value(id, true);
        EXPECT_FALSE(Accepts(Scan(id, longest + u'1')));
        // One short of a fixed length, with data after it.
        if (id.FixedLength() > 0) {
            EXPECT_FALSE(Accepts(Scan(id, longest.chopped(1) + gs + QStringLiteral("90X"))));
        }
        // A character outside the first part's set.
        const TGs1Component& first = id.Components.first();
        EXPECT_FALSE(Accepts(Scan(id, Foreign(first.Set) + longest.mid(1))));
        // A wrong check digit, check pair, date or time.
        if (first.Check != TGs1Check::None) {
            QString broken = longest;
            if (first.Check == TGs1Check::CheckDigit || first.Check == TGs1Check::CheckPair)
                broken[first.MaxLength - 1] = broken[first.MaxLength - 1] == u'2' ? u'3' : u'2';
            else if (first.Check == TGs1Check::Time)
                broken.replace(0, 2, QStringLiteral("24"));
            else if (first.Check == TGs1Check::LongDate || first.Check == TGs1Check::LongDateTime)
                broken.replace(4, 2, QStringLiteral("13"));
            else
                broken.replace(2, 2, QStringLiteral("13"));
            EXPECT_FALSE(Accepts(Scan(id, broken))) << broken.toStdString();
        }
    }
}

TEST(Gs1Identifiers, TableHoldsGs1sShapes)
{
    struct TShape {
        const char* ai;
        int fixed, max;
        bool predefined;
    };
    for (const TShape& s : {TShape{"00", 18, 18, true}, {"01", 14, 14, true}, {"10", 0, 20, false},
                            {"17", 6, 6, true}, {"21", 0, 20, false}, {"253", 0, 30, false}, {"3103", 6, 6, true},
                            {"3955", 6, 6, false}, {"422", 3, 3, false}, {"4309", 20, 20, false},
                            {"713", 0, 20, false}, {"7007", 0, 12, false}, {"8006", 18, 18, false},
                            {"8013", 0, 25, false}, {"91", 0, 90, false}, {"99", 0, 90, false}}) {
        SCOPED_TRACE(s.ai);
        const TGs1Identifier* id = FindGs1Identifier(QString::fromLatin1(s.ai));
        ASSERT_NE(id, nullptr);
        EXPECT_EQ(id->Ai, QString::fromLatin1(s.ai));
        EXPECT_EQ(id->FixedLength(), s.fixed);
        EXPECT_EQ(id->MaxLength(), s.max);
        EXPECT_EQ(id->Predefined, s.predefined);
    }
    for (const char* unknown : {"04", "05", "14", "18", "19", "23", "3106", "3170", "3956", "428", "50", "8015", "89"})
        EXPECT_EQ(FindGs1Identifier(QString::fromLatin1(unknown) + QStringLiteral("00")), nullptr) << unknown;
}

struct TRuleCase {
    const char* name;
    QString scan;
    const char* refusal;  // nullptr: accepted
};

class Gs1Rules : public ::testing::TestWithParam<TRuleCase> {};

TEST_P(Gs1Rules, AcceptOrRefuseWithThePreciseReason)
{
    const TRuleCase& c = GetParam();
    QString why;
    const bool accepted = Accepts(c.scan, &why);
    if (!c.refusal) {
        EXPECT_TRUE(accepted) << why.toStdString();
        return;
    }
    ASSERT_FALSE(accepted);
    EXPECT_TRUE(why.startsWith(QStringLiteral("Código GS1 inválido: "))) << why.toStdString();
    EXPECT_TRUE(why.contains(QString::fromUtf8(c.refusal))) << why.toStdString();
}

const QString gtin = QStringLiteral("0107891234567895");

INSTANTIATE_TEST_SUITE_P(
    Scans, Gs1Rules,
    ::testing::Values(
        TRuleCase{"productionDateMonth13", gtin + "11251340", "identificador (11) com data inválida: 251340"},
        TRuleCase{"productionDateDayZero", gtin + "11250200", nullptr},
        TRuleCase{"firstFreezeDateHasNoDayZero", gtin + "7006250200", "identificador (7006) com data inválida: 250200"},
        TRuleCase{"leapDay", gtin + "17240229", nullptr},
        TRuleCase{"noLeapDay", gtin + "17250229", "identificador (17) com data inválida: 250229"},
        TRuleCase{"expiryTimeAt2400", gtin + "70032506152400", "identificador (7003) com data inválida: 2506152400"},
        TRuleCase{"testByTime", gtin + "70112506151360", "identificador (7011) com hora inválida: 1360"},
        TRuleCase{"sameValueRepeated", gtin + "10L1" + gs + "10L1" + gs + "21S", nullptr},
        TRuleCase{"differentValueRepeated", gtin + "10L1" + gs + "10L2", "identificador (10) repetido com valores diferentes: L1 e L2"},
        TRuleCase{"lotNeedsGtin", "10L1", "identificador (10) exige um dos identificadores (01), (02), (03), (8006) ou (8026)"},
        TRuleCase{"expiryNeedsGtin", "17270101", "identificador (17) exige um dos identificadores"},
        TRuleCase{"serialNeedsGtin", "21S1", "identificador (21) exige um dos identificadores (01), (03) ou (8006)"},
        TRuleCase{"contentNeedsSscc", "0207891234567895" "3705", "identificador (02) exige o identificador (00)"},
        TRuleCase{"logisticUnit", "00178912340000000016" "0207891234567895" "3705", nullptr},
        TRuleCase{"gtinWithContent", "00178912340000000016" + gtin + "0207891234567895", "identificadores (01) e (02) não podem estar no mesmo código"},
        TRuleCase{"serialWithThirdPartyControl", gtin + "21S" + gs + "235X", "identificadores (21) e (235) não podem estar no mesmo código"},
        TRuleCase{"companyInternal", gtin + "21S" + gs + "91QUALQUER-COISA" + gs + "99" + QString(90, u'z'), nullptr},
        TRuleCase{"productionDateWithSeparator", gtin + "11250615" + gs + "21S", nullptr},
        TRuleCase{"predefinedCutBySeparator", "01078912345" + gs + "21S", "campo (01) incompleto: 9 de 14 caracteres"},
        TRuleCase{"nonPredefinedFixedTooLong", gtin + "4220761" + gs + "21S", "campo (422) com 4 caracteres; deve ter 3"},
        TRuleCase{"nonPredefinedFixedTooShort", gtin + "42207" + gs + "21S", "campo (422) com 2 caracteres; deve ter 3"},
        TRuleCase{"glnCheckDigit", "4147891234567891", "dígito verificador não confere no identificador (414): 7891234567891"},
        TRuleCase{"ssccCheckDigit", "00178912340000000018", "dígito verificador não confere no identificador (00)"},
        TRuleCase{"globalModelNumber", "80131987654Ad4X4bL5ttr2310c2K", nullptr},
        TRuleCase{"globalModelNumberBadPair", "80131987654Ad4X4bL5ttr2310c2L", "caracteres verificadores não conferem no identificador (8013)"},
        TRuleCase{"componentPartSet39", "801012AB-#/" + gs + "8011123", nullptr},
        TRuleCase{"componentPartLowercase", "801012ab", "caractere 'a' não permitido no identificador (8010)"},
        TRuleCase{"unknownIdentifier", gtin + "5012", "identificador de aplicação desconhecido em \"5012\""},
        TRuleCase{"wrongSeparatorShown", gtin + "10L1~21S", "caractere '~' não permitido no identificador (10)"},
        TRuleCase{"nonGs1DataMatrix", "]d1" + gtin, "o leitor informa um símbolo sem dados GS1 (identificador de simbologia ]d1)"},
        TRuleCase{"ean13Symbology", "]E07891234567895", "identificador de simbologia ]E0"},
        TRuleCase{"gs1DataMatrix", "]d2" + gtin, nullptr},
        TRuleCase{"gs1128", "]C1" + gtin, nullptr},
        TRuleCase{"gs1Qr", "]Q3" + gtin, nullptr},
        TRuleCase{"gs1DataBar", "]e0" + gtin, nullptr},
        TRuleCase{"identifierOnly", "]d2", "leitura vazia"},
        TRuleCase{"separatorsOnly", "]d2" + gs + gs, "leitura vazia"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Gs1ElementString, SeparatesOnlyWhatNeedsIt)
{
    const TGs1Code code = ParseGs1("]C1" + gtin + "17270331" "10L7" + gs + "422076" + gs + "21S9", today);
    EXPECT_EQ(code.SymbologyIdentifier, QStringLiteral("]C1"));
    EXPECT_EQ(code.Code, gtin + "17270331" "10L7" + gs + "422076" + gs + "21S9");
    EXPECT_EQ(Gs1ElementString(code.Elements), code.Code);
    EXPECT_EQ(WithoutSymbologyIdentifier(QStringLiteral("]Q3") + gtin), gtin);
    EXPECT_EQ(WithoutSymbologyIdentifier(gtin), gtin);
    EXPECT_EQ(Gs1ForDisplay("21A" + gs + "10B"), QStringLiteral("21A¦10B"));
}

} // namespace
