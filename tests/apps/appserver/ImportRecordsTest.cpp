// The import's files read and checked without a database: each field's
// forms and refusals, and the CSV reader's separators, quotes, lines and
// errors.
#include "records/CsvReader.h"
#include "records/FieldValues.h"
#include "records/RecordReader.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

struct TFieldCase {
    const char* name;
    TImportColumn column;
    const char* text;
    const char* stored;   // the value's text (numbers: QByteArray::number), or nullptr when refused
    const char* problem;  // part of the refusal
};

class FieldValues : public testing::TestWithParam<TFieldCase> {};

TEST_P(FieldValues, ReadsOrRefuses)
{
    const TFieldCase& c = GetParam();
    TFieldValue value;
    QString problem;
    const bool read = ParseField(c.column, QByteArray(c.text), value, problem);
    if (!c.stored) {
        EXPECT_FALSE(read);
        EXPECT_TRUE(problem.contains(QString::fromUtf8(c.problem))) << problem.toStdString();
        return;
    }
    ASSERT_TRUE(read) << problem.toStdString();
    const QByteArray stored = value.Kind == TFieldValue::TKind::Number ? QByteArray::number(value.Number, 'g', 15) : value.Text;
    EXPECT_EQ(stored, QByteArray(c.stored));
}

const TImportColumn quantity{"QTITEMPROD", TColumnType::Quantity};
const TImportColumn date{"DTPEDIDO", TColumnType::Date};
const TImportColumn timestamp{"DTENTRSAID", TColumnType::Timestamp};
const TImportColumn taxId{"NRINSJURCLIE", TColumnType::TaxId};
const TImportColumn text{"NMFILIAL", TColumnType::Text, 5};
const TImportColumn gtin{"CDGTIN", TColumnType::Gtin};

INSTANTIATE_TEST_SUITE_P(
    Import, FieldValues,
    testing::Values(TFieldCase{"commaThousands", quantity, "1.234,5", "1234.5", ""},
                    TFieldCase{"point", quantity, "1234.5", "1234.5", ""},
                    TFieldCase{"whole", quantity, "12", "12", ""},
                    TFieldCase{"millions", quantity, "1.234.567,125", "1234567.125", ""},
                    TFieldCase{"notANumber", quantity, "doze", nullptr, "não é um número"},
                    TFieldCase{"badThousands", quantity, "1.23,5", nullptr, "não é um número"},
                    TFieldCase{"negative", quantity, "-3", nullptr, "não é um número"},
                    TFieldCase{"fourDecimals", quantity, "1,2345", nullptr, "fora do limite"},
                    TFieldCase{"brazilianDate", date, "28/02/2025", "2025-02-28", ""},
                    TFieldCase{"isoDate", date, "2025-02-28", "2025-02-28", ""},
                    TFieldCase{"nonexistentDate", date, "31/02/2025", nullptr, "data inexistente"},
                    TFieldCase{"dateWithTime", date, "28/02/2025 10:00", nullptr, "formato desconhecido"},
                    TFieldCase{"americanDate", date, "02-28-2025", nullptr, "formato desconhecido"},
                    TFieldCase{"timeMinutes", timestamp, "28/02/2025 08:30", "2025-02-28T08:30:00.000", ""},
                    TFieldCase{"isoTime", timestamp, "2025-02-28T08:30:15.5", "2025-02-28T08:30:15.500", ""},
                    TFieldCase{"dayOnly", timestamp, "2025-02-28", "2025-02-28T00:00:00.000", ""},
                    TFieldCase{"badHour", timestamp, "28/02/2025 25:00", nullptr, "formato desconhecido"},
                    TFieldCase{"cpfPunctuated", taxId, "123.456.789-09", "12345678909", ""},
                    TFieldCase{"cnpjPunctuated", taxId, "11.222.333/0001-81", "11222333000181", ""},
                    TFieldCase{"cnpjDigits", taxId, "11222333000181", "11222333000181", ""},
                    TFieldCase{"cpfWrongDigit", taxId, "123.456.789-08", nullptr, "CPF com dígitos verificadores"},
                    TFieldCase{"cnpjWrongDigit", taxId, "11222333000182", nullptr, "CNPJ com dígitos verificadores"},
                    TFieldCase{"taxIdLength", taxId, "1234", nullptr, "CPF tem 11 dígitos"},
                    TFieldCase{"fitsInCharacters", text, "Ação!", "Ação!", ""},
                    TFieldCase{"tooLong", text, "Matriz", nullptr, "6 caracteres; a coluna aceita até 5"},
                    TFieldCase{"requiredEmpty", text, "", nullptr, "obrigatório"},
                    TFieldCase{"gtinCheckDigit", gtin, "7891000000015", nullptr, "GTIN inválido"},
                    TFieldCase{"gtin14", gtin, "17891000000042", "17891000000042", ""}),
    [](const testing::TestParamInfo<TFieldCase>& info) { return std::string(info.param.name); });

TEST(ImportFieldValues, TaxIdCheckDigitsAgreeWithKnownNumbers)
{
    EXPECT_TRUE(ValidCpf("98765432100"));
    EXPECT_TRUE(ValidCnpj("44555666000181"));
    EXPECT_FALSE(ValidCnpj("44555666000180"));
}

// The records of `bytes` read as `table`'s file: "line:field|field" each,
// then the problems.
QStringList Read(const char* table, const QByteArray& bytes, TProblems& problems)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    TRecordReader reader(*FindImportTable(table), buffer, problems);
    QStringList out;
    if (!reader.Open())
        return out;
    TCheckedRecord record;
    while (reader.Next(record)) {
        QStringList values;
        for (const TFieldValue& value : record.Values)
            values << QString::fromUtf8(value.Text);
        out << QStringLiteral("%1:%2").arg(record.Line).arg(values.join(u'|'));
    }
    return out;
}

TEST(ImportCsv, BothSeparatorsByteOrderMarkQuotesAndLineBreaksInsideAField)
{
    TProblems problems;
    const QStringList semicolon = Read("ALMOXARIFE",
                                       "\xEF\xBB\xBF" "CDFILIAL;CDALMOXARIFE;DSALMOXARIFE\r\n"
                                       "0001;01;\"Geral; \"\"novo\"\"\"\r\n"
                                       "\r\n"
                                       "0001;02;\"duas\r\nlinhas\"\r\n"
                                       "0001;03;fim",
                                       problems);
    EXPECT_EQ(semicolon, (QStringList{QStringLiteral("2:0001|01|Geral; \"novo\""),
                                      QStringLiteral("4:0001|02|duas\r\nlinhas"), QStringLiteral("6:0001|03|fim")}));
    const QStringList comma = Read("ALMOXARIFE", "CDFILIAL,CDALMOXARIFE,DSALMOXARIFE\n0001,01,\"a;b, c\"\n", problems);
    EXPECT_EQ(comma, QStringList{QStringLiteral("2:0001|01|a;b, c")});
    EXPECT_TRUE(problems.Empty()) << problems.Text().toStdString();
}

struct TFileCase {
    const char* name;
    QByteArray bytes;
    const char* problem;  // the whole first problem's start, or a part of it
};

class ImportCsvProblems : public testing::TestWithParam<TFileCase> {};

TEST_P(ImportCsvProblems, NamesFileLineAndColumn)
{
    TProblems problems;
    Read("ALMOXARIFE", GetParam().bytes, problems);
    ASSERT_FALSE(problems.Empty());
    EXPECT_TRUE(problems.First().first().contains(QString::fromUtf8(GetParam().problem)))
        << problems.First().first().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Import, ImportCsvProblems,
    testing::Values(
        TFileCase{"unbalancedQuote", "CDFILIAL;CDALMOXARIFE;DSALMOXARIFE\n0001;01;ok\n0001;02;\"aberto\n0001;03;x\n",
                  "almoxarifados.csv, linha 3: aspas sem fechamento"},
        TFileCase{"quoteInsideField", "CDFILIAL;CDALMOXARIFE;DSALMOXARIFE\n0001;01;a\"b\n", "linha 2: aspas fora de lugar"},
        TFileCase{"notUtf8", "CDFILIAL;CDALMOXARIFE;DSALMOXARIFE\n0001;01;Almoxarifado \xE7\xE3o\n",
                  "almoxarifados.csv, linha 2, coluna DSALMOXARIFE: bytes que não são UTF-8"},
        TFileCase{"missingColumn", "CDFILIAL;CDALMOXARIFE\n0001;01\n", "falta a coluna obrigatória DSALMOXARIFE"},
        TFileCase{"unknownColumn", "CDFILIAL;CDALMOXARIFE;DSALMOXARIFE;COR\n", "coluna desconhecida no cabeçalho: \"COR\""},
        TFileCase{"width", "CDFILIAL;CDALMOXARIFE;DSALMOXARIFE\n0001;01\n", "linha 2: o registro tem 2 campos e o cabeçalho 3"},
        TFileCase{"empty", "", "arquivo vazio"},
        TFileCase{"tooLong", "CDFILIAL;CDALMOXARIFE;DSALMOXARIFE\n00001;01;x\n",
                  "almoxarifados.csv, linha 2, coluna CDFILIAL: valor com 5 caracteres"}),
    [](const testing::TestParamInfo<TFileCase>& info) { return std::string(info.param.name); });

TEST(ImportCsv, KeepsFiftyProblemsAndCountsTheRest)
{
    QByteArray bytes = "CDFILIAL;CDALMOXARIFE;DSALMOXARIFE\n";
    for (int i = 0; i < 120; ++i)
        bytes += "00001;01;x\n";
    TProblems problems;
    Read("ALMOXARIFE", bytes, problems);
    EXPECT_EQ(problems.Count(), 120);
    EXPECT_EQ(problems.First().size(), TProblems::Shown);
    EXPECT_TRUE(problems.Text().endsWith(QStringLiteral("... e mais 70 problemas")));
}

TEST(ImportCsv, APersonNeedsACpfAndACompanyACnpj)
{
    TProblems problems;
    const QStringList read = Read("CLIENTE",
                                  "CDCLIENTE;NMRAZSOCCLIE;NMFANTCLIE;IDTPIJURCLIE;NRINSJURCLIE\n"
                                  "C1;Maria;Maria;F;11.222.333/0001-81\n"
                                  "C2;Maria;Maria;F;123.456.789-09\n",
                                  problems);
    EXPECT_EQ(read, QStringList{QStringLiteral("3:C2|Maria|Maria|F|12345678909")});
    ASSERT_EQ(problems.Count(), 1);
    EXPECT_EQ(problems.First().first(), QStringLiteral("clientes.csv, linha 2, coluna NRINSJURCLIE: cliente pessoa "
                                                       "física (F) precisa de CPF, não de CNPJ"));
}

} // namespace
