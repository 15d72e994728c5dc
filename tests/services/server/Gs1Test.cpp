#include "rtl/Exceptions.h"
#include "server/Gs1.h"

#include <gtest/gtest.h>

namespace {

const QDate today(2025, 6, 15);
const QString gs(QChar(29));

struct TGoodScan {
    const char* name;
    QString scan;
    QString gtin, serial, lot, registration;
    QDate expiry;
};

class Gs1Accepts : public ::testing::TestWithParam<TGoodScan> {};

TEST_P(Gs1Accepts, ExtractsEveryElement)
{
    const TGoodScan& c = GetParam();
    const TIumCode code = ParseIumCode(c.scan, today);
    EXPECT_EQ(code.Gtin, c.gtin);
    EXPECT_EQ(code.Serial, c.serial);
    EXPECT_EQ(code.Lot, c.lot);
    EXPECT_EQ(code.Registration, c.registration);
    EXPECT_EQ(code.Expiry, c.expiry);
    EXPECT_FALSE(code.Code.startsWith(u']'));
}

INSTANTIATE_TEST_SUITE_P(
    Scans, Gs1Accepts,
    ::testing::Values(
        TGoodScan{"gtinAndSerial", "0107891234567895" "21ABC123", "07891234567895", "ABC123", "", "", QDate()},
        TGoodScan{"allElements",
                  "]d2" "0107891234567895" "17270331" "10LOTE-7" + gs + "21X9" + gs + "71312345678901",
                  "07891234567895", "X9", "LOTE-7", "12345678901", QDate(2027, 3, 31)},
        TGoodScan{"dayZeroIsLastDayOfMonth", "010789123456789517240200" "21S1", "07891234567895", "S1", "", "",
                  QDate(2024, 2, 29)},
        TGoodScan{"serialFirstThenFixedFields", "21S1" + gs + "0117891234567892", "17891234567892", "S1", "", "",
                  QDate()},
        TGoodScan{"centuryWindowBack", "0107891234567895" "17760101" "21S", "07891234567895", "S", "", "",
                  QDate(1976, 1, 1)},
        TGoodScan{"centuryWindowEdge", "0107891234567895" "17750101" "21S", "07891234567895", "S", "", "",
                  QDate(2075, 1, 1)},
        TGoodScan{"centuryWindowAhead", "0107891234567895" "17740101" "21S", "07891234567895", "S", "", "",
                  QDate(2074, 1, 1)},
        TGoodScan{"genuinePackWithOtherIdentifiers",
                  "]d2" "0107891234567895" "11250100" "17270331" "10L7" + gs + "21S9" + gs + "240ABC" + gs + "91INTERNO",
                  "07891234567895", "S9", "L7", "", QDate(2027, 3, 31)},
        TGoodScan{"qrCodeIdentifier", "]Q3" "0107891234567895" "21S", "07891234567895", "S", "", "", QDate()},
        TGoodScan{"maxLengthSerial", "0107891234567895" "21" + QString(20, u'9'), "07891234567895",
                  QString(20, u'9'), "", "", QDate()}),
    [](const auto& info) { return std::string(info.param.name); });

struct TBadScan {
    const char* name;
    QString scan;
    const char* reason;  // part of the message
};

class Gs1Refuses : public ::testing::TestWithParam<TBadScan> {};

TEST_P(Gs1Refuses, WithAMessageSayingWhy)
{
    try {
        ParseIumCode(GetParam().scan, today);
        FAIL() << "accepted";
    } catch (const EConvertError& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Código IUM inválido: "))) << e.Message().toStdString();
        EXPECT_TRUE(e.Message().contains(QString::fromUtf8(GetParam().reason))) << e.Message().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scans, Gs1Refuses,
    ::testing::Values(TBadScan{"empty", "", "vazia"},
                      TBadScan{"badCheckDigit", "0107891234567896" "21S", "dígito verificador"},
                      TBadScan{"shortGtin", "01078912345", "incompleto"},
                      TBadScan{"lettersInGtin", "010789123456789A" "21S", "identificador (01) aceita só dígitos: 0789123456789A"},
                      TBadScan{"noSerial", "0107891234567895" "10L1", "falta o número de série"},
                      TBadScan{"noGtin", "21S1", "falta o GTIN"},
                      TBadScan{"gtinWithoutSerial", "]d2" "0107891234567895" "10L1", "falta o número de série (21)"},
                      TBadScan{"lotOfAnotherItem", "0107891234567895" "21S" + gs + "8006178912345678921202", "identificadores (01) e (8006)"},
                      TBadScan{"notGs1", "]d1" "0107891234567895" "21S", "identificador de simbologia ]d1"},
                      TBadScan{"unknownAi", "0107891234567895" "5012X" + gs + "21S", "identificador de aplicação desconhecido em \"5012\""},
                      TBadScan{"repeatedAi", "0107891234567895" "21A" + gs + "21B", "repetido"},
                      TBadScan{"missingSeparatorMakesSerialTooLong",
                               "0107891234567895" "21SERIE1234567890" "10LOTE12345", "mais de 20"},
                      TBadScan{"badMonth", "0107891234567895" "17251301" "21S", "identificador (17) com data inválida: 251301"},
                      TBadScan{"badDay", "0107891234567895" "17250231" "21S", "identificador (17) com data inválida: 250231"},
                      TBadScan{"spaceInLot", "0107891234567895" "10LO TE" + gs + "21S", "caractere"},
                      TBadScan{"emptySerial", "0107891234567895" "21" + gs + "10L", "vazio"},
                      TBadScan{"sqlInjection", "0107891234567895" "21'; DROP TABLE LEITURAIUM; --", "caractere"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Gtin, CheckDigits)
{
    EXPECT_TRUE(IsValidGtin(QStringLiteral("7891234567895")));   // GTIN-13
    EXPECT_TRUE(IsValidGtin(QStringLiteral("17891234567892")));  // GTIN-14
    EXPECT_TRUE(IsValidGtin(QStringLiteral("96385074")));        // GTIN-8
    EXPECT_FALSE(IsValidGtin(QStringLiteral("7891234567890")));
    EXPECT_FALSE(IsValidGtin(QStringLiteral("789123456789")));   // 12 digits, wrong digit
    EXPECT_FALSE(IsValidGtin(QStringLiteral("78912345678A5")));
    EXPECT_EQ(GtinCheckDigit(QStringLiteral("789123456789")), QChar(u'5'));
}

} // namespace
