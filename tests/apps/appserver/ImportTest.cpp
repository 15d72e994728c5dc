// `appserver --import` and `--export-csv` as an operator runs them, on the
// database of a real server (SQLite, and PostgreSQL in the pg variants),
// starting from the example folder of the documentation.
#include "ServerSession.h"
#include "storage/Database.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString example = QStringLiteral(EXP_IMPORT_EXAMPLE);

QString Import(const TAppServerProcess& server, const QString& folder, int& code, bool check = false)
{
    QString output;
    QStringList arguments{QStringLiteral("--import"), folder, QStringLiteral("--database"), server.DatabasePath()};
    if (check)
        arguments << QStringLiteral("--check");
    code = TAppServerProcess::RunOnce(arguments, &output);
    return output;
}

// The example folder copied to `dir`, where a test may change it.
QString CopyExample(const QTemporaryDir& dir)
{
    const QString folder = dir.filePath(QStringLiteral("importar"));
    QDir().mkpath(folder);
    for (const QString& file : QDir(example).entryList(QDir::Files))
        QFile::copy(QDir(example).filePath(file), QDir(folder).filePath(file));
    return folder;
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

void Replace(const QString& folder, const QString& file, const QByteArray& from, const QByteArray& to)
{
    const QString path = QDir(folder).filePath(file);
    QByteArray bytes = ReadFile(path);
    ASSERT_TRUE(bytes.contains(from)) << from.toStdString();
    WriteFile(path, bytes.replace(from, to));
}

qint64 Count(const TAppServerProcess& server, const QString& table)
{
    TDatabase db(TDbConfig{server.DatabasePath()});
    TSql query(db, QStringLiteral("SELECT COUNT(*) FROM ") + table);
    query.Exec();
    return query.Next() ? qint64(query.Number(0)) : -1;
}

void Execute(const TAppServerProcess& server, const QString& sql)
{
    TDatabase db(TDbConfig{server.DatabasePath()});
    db.Execute(sql);
}

class ImportTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        TAppServerProcess::TOptions options;
        options.Demo = false;
        server = new TAppServerProcess(options);
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    // Each test starts from an empty database.
    void SetUp() override
    {
        TDatabase db(TDbConfig{server->DatabasePath()});
        for (const char* table : {"LEITURAIUM", "ITEMNOTA", "NOTAFISCAL", "PEDIDO", "EXPEDICAO", "CLIENTE", "PRODUTO",
                                  "LOCALESTOQUE", "ALMOXARIFE", "FILIAL"})
            db.Execute(QStringLiteral("DELETE FROM ") + QLatin1String(table));
        folder = CopyExample(dir);
    }
    static TAppServerProcess* server;
    QTemporaryDir dir;
    QString folder;
};

TAppServerProcess* ImportTest::server = nullptr;

// The example folder as a site first tries it: imported, served by the
// running server, its invoices in the work list and their IUM readable.
TEST_F(ImportTest, TheExampleIsServedAndItsReadingsCanBeTaken)
{
    int code = 0;
    const QString output = Import(*server, example, code);
    ASSERT_EQ(code, 0) << output.toStdString();
    const auto net = Connect(*server);
    const TWorkListReply list = GetDados(*net, QStringLiteral("0101"));
    ASSERT_EQ(list.Invoices.RowCount(), 2);
    EXPECT_EQ(list.Invoices.String(0, Col(list.Invoices, "NRLANCTONF")), QStringLiteral("NF000101"));
    EXPECT_EQ(list.Items.RowCount(), 5);
    // A syringe box of NF000101, as a scanner types it: GTIN-14, serial,
    // expiry and lot.
    const QString scan = QStringLiteral("]d2010789100000001421SER0001") + QChar(29) + QStringLiteral("17271231") +
                         QStringLiteral("10L01");
    const QVariant reply =
        net->AppServer().Call(Remote::SetLeituraIUM, {QStringLiteral("0101"), QStringLiteral("NF000101"), scan});
    EXPECT_EQ(Consiste::CheckResultServ(reply, true, 0), QVariant(QVariantList{QStringLiteral("SER10"), 1, 4.0}));
}

struct TBadInput {
    const char* name;
    const char* file;
    QByteArray from, to;  // the change to the example's file
    const char* problem;  // the first problem line, or its start
};

class ImportBadInput : public ImportTest, public testing::WithParamInterface<TBadInput> {};

TEST_P(ImportBadInput, IsNamedAndNothingIsWritten)
{
    const TBadInput& c = GetParam();
    Replace(folder, QString::fromLatin1(c.file), c.from, c.to);
    int code = 0;
    const QString output = Import(*server, folder, code);
    EXPECT_EQ(code, 1) << output.toStdString();
    EXPECT_TRUE(output.startsWith(QString::fromUtf8(c.problem))) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("nada foi gravado."))) << output.toStdString();
    EXPECT_EQ(Count(*server, QStringLiteral("FILIAL")), 0);
    EXPECT_EQ(Count(*server, QStringLiteral("ITEMNOTA")), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Import, ImportBadInput,
    testing::Values(
        TBadInput{"unknownProduct", "itens.csv", "0102;NF000201;LUV-M", "0102;NF000201;LUV-G",
                  "itens.csv, linha 7, coluna CDPRODUTO: produto LUV-G não existe (nem no banco nem em produtos.csv)"},
        TBadInput{"nonexistentDate", "pedidos.csv", "28/02/2026", "31/02/2026",
                  "pedidos.csv, linha 3, coluna DTPEDIDO: data inexistente: \"31/02/2026\""},
        TBadInput{"quantityNotANumber", "itens.csv", ";1.200,5;", ";1.200,5 kg;",
                  "itens.csv, linha 4, coluna QTITEMPROD: quantidade que não é um número: \"1.200,5 kg\""},
        TBadInput{"tooLong", "filiais.csv", "Loja Olinda", "Loja Olinda, bairro do Carmo, Pernambuco",
                  "filiais.csv, linha 3, coluna NMFILIAL: valor com 40 caracteres; a coluna aceita até 30"},
        TBadInput{"duplicateKey", "produtos.csv", "ALC70;", "SER10;",
                  "produtos.csv, linha 4: chave repetida no arquivo (CDPRODUTO=SER10): o registro aparece mais de uma vez"},
        TBadInput{"missingRequiredColumn", "expedicoes.csv", ";IDSTATUSSEP", "",
                  "expedicoes.csv, linha 1: falta a coluna obrigatória IDSTATUSSEP no cabeçalho"},
        TBadInput{"unbalancedQuote", "clientes.csv", "P003;Maria", "P003;\"Maria",
                  "clientes.csv, linha 4: aspas sem fechamento"},
        TBadInput{"notUtf8", "locais.csv", "prateleira 2", "prateleira \xAA",
                  "locais.csv, linha 3, coluna DSLOCALESTOQ: bytes que não são UTF-8"},
        TBadInput{"wrongCheckDigit", "clientes.csv", "0001-81", "0001-82",
                  "clientes.csv, linha 2, coluna NRINSJURCLIE: CNPJ com dígitos verificadores errados"}),
    [](const testing::TestParamInfo<TBadInput>& info) { return std::string(info.param.name); });

TEST_F(ImportTest, AFileTheFormatDoesNotKnowIsAProblem)
{
    WriteFile(QDir(folder).filePath(QStringLiteral("estoque.csv")), "CDPRODUTO;QTESTOQUE\n");
    int code = 0;
    const QString output = Import(*server, folder, code);
    EXPECT_EQ(code, 1);
    EXPECT_TRUE(output.startsWith(QStringLiteral("estoque.csv: arquivo desconhecido"))) << output.toStdString();
}

TEST_F(ImportTest, CheckWritesNothingAndImportWritesEverything)
{
    int code = 0;
    QString output = Import(*server, folder, code, true);
    EXPECT_EQ(code, 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("nada foi gravado"))) << output.toStdString();
    EXPECT_EQ(Count(*server, QStringLiteral("NOTAFISCAL")), 0);
    output = Import(*server, folder, code);
    EXPECT_EQ(code, 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("itens.csv 6 inseridos, 0 atualizados, 0 sem mudança")))
        << output.toStdString();
    // Not on a terminal: no progress bar, the one summary line.
    EXPECT_EQ(output.count(u'\n'), 1) << output.toStdString();
    EXPECT_FALSE(output.contains(u'\r'));
    EXPECT_EQ(Count(*server, QStringLiteral("NOTAFISCAL")), 3);
}

// The example written the other way: ',' between fields, a byte-order mark,
// LF line ends, ISO dates, decimal points, tax numbers without punctuation.
TEST_F(ImportTest, BothSeparatorsAndDateFormsGiveTheSameRecords)
{
    int code = 0;
    Import(*server, folder, code);
    ASSERT_EQ(code, 0);
    const QTemporaryDir other;
    const QString otherFolder = other.filePath(QStringLiteral("outro"));
    QDir().mkpath(otherFolder);
    static const QRegularExpression date(QStringLiteral("(\\d\\d)/(\\d\\d)/(\\d{4})"));
    static const QRegularExpression decimal(QStringLiteral("(\\d),(\\d)"));
    for (const QString& file : QDir(folder).entryList(QDir::Files)) {
        QString text = QString::fromUtf8(ReadFile(QDir(folder).filePath(file)));
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(date, QStringLiteral("\\3-\\2-\\1"));
        text.replace(QStringLiteral("1.200,5"), QStringLiteral("1200,5")).replace(decimal, QStringLiteral("\\1.\\2"));
        text.replace(QStringLiteral("11.222.333/0001-81"), QStringLiteral("11222333000181"))
            .replace(QStringLiteral("123.456.789-09"), QStringLiteral("12345678909"));
        // ';' becomes ',', and a field with a ',' is quoted, unless it is already.
        QStringList lines;
        for (const QString& line : text.split(u'\n')) {
            QStringList fields = line.split(u';');
            for (QString& field : fields)
                if (field.contains(u',') && !field.startsWith(u'"'))
                    field = u'"' + field + u'"';
            lines << fields.join(u',');
        }
        WriteFile(QDir(otherFolder).filePath(file), "\xEF\xBB\xBF" + lines.join(u'\n').toUtf8());
    }
    const QString output = Import(*server, otherFolder, code);
    EXPECT_EQ(code, 0) << output.toStdString();
    EXPECT_FALSE(output.contains(QRegularExpression(QStringLiteral("[1-9]\\d* (inseridos|atualizados)"))))
        << output.toStdString();
}

// Quoted line breaks, tabs and backslashes (which PostgreSQL's COPY
// escapes) arrive as they were.
TEST_F(ImportTest, ATextArrivesWholeWithItsLineBreaksTabsAndBackslashes)
{
    Replace(folder, QStringLiteral("produtos.csv"), "\"Cateter venoso \"\"22G\"\"\"",
            "\"Cateter\tvenoso \\N \"\"22G\"\"\r\nnova linha\"");
    int code = 0;
    const QString output = Import(*server, folder, code);
    ASSERT_EQ(code, 0) << output.toStdString();
    TDatabase db(TDbConfig{server->DatabasePath()});
    TSql query(db, QStringLiteral("SELECT NMPRODUTO FROM PRODUTO WHERE CDPRODUTO = 'CAT22'"));
    query.Exec();
    ASSERT_TRUE(query.Next());
    EXPECT_EQ(query.Text(0), QStringLiteral("Cateter\tvenoso \\N \"22G\"\r\nnova linha"));
}

TEST_F(ImportTest, ImportingAgainChangesNothingAndAChangedRowUpdatesItsRecord)
{
    int code = 0;
    Import(*server, folder, code);
    ASSERT_EQ(code, 0);
    QString output = Import(*server, folder, code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(output.contains(QStringLiteral("itens.csv 0 inseridos, 0 atualizados, 6 sem mudança")))
        << output.toStdString();
    // A changed name, and a product absent from the file: it stays.
    Replace(folder, QStringLiteral("produtos.csv"), "Álcool 70% 1 L", "Álcool 70% 1 litro");
    Replace(folder, QStringLiteral("produtos.csv"), "SER10;1010001;Seringa descartável 10 ml;CX;7891000000014;S\r\n", "");
    WriteFile(QDir(folder).filePath(QStringLiteral("filiais.csv")), "CDFILIAL;NMFILIAL;IDUTILALMOX;IDUTILLOCAL\n"
                                                                    "0101;Centro de Distribuição Recife;S;S\n");
    output = Import(*server, folder, code);
    EXPECT_EQ(code, 0) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("produtos.csv 0 inseridos, 1 atualizados, 2 sem mudança")))
        << output.toStdString();
    EXPECT_EQ(Count(*server, QStringLiteral("PRODUTO WHERE NMPRODUTO = 'Álcool 70% 1 litro'")), 1);
    EXPECT_EQ(Count(*server, QStringLiteral("PRODUTO")), 4);
    // A column the file leaves out keeps its value (the branch's GLN).
    EXPECT_EQ(Count(*server, QStringLiteral("FILIAL WHERE NRGLN = '7899990000014'")), 1);
}

TEST_F(ImportTest, WhatReadingsAndConfirmationsRestOnIsRefused)
{
    int code = 0;
    Import(*server, folder, code);
    ASSERT_EQ(code, 0);
    Execute(*server, QStringLiteral("INSERT INTO LEITURAIUM (CDFILIAL, NRLANCTONF, CDPRODUTO, CDIUMPROD, CDGTIN, NRSERIE,"
                                    " DTLEITURA) VALUES ('0101', 'NF000101', 'SER10', '0107891000000014211', "
                                    "'07891000000014', '1', '2026-03-02T10:00:00.000')"));
    Execute(*server, QStringLiteral("UPDATE NOTAFISCAL SET IDCONFRASTR = 'S' WHERE NRLANCTONF = 'NF000102'"));
    Replace(folder, QStringLiteral("itens.csv"), "0101;NF000101;SER10;1;4;", "0101;NF000101;SER10;1;5;");
    Replace(folder, QStringLiteral("notas.csv"), ";F002;0101;;VD;S;S;1,5", ";F002;0101;;VD;S;S;2");
    Replace(folder, QStringLiteral("produtos.csv"), "7891000000014;S", "7891000000014;N");
    // The quantity of an item not read may change, as long as its invoice
    // has no readings: the branch 0102's invoice has none.
    Replace(folder, QStringLiteral("itens.csv"), "0102;NF000201;LUV-M;1;1;", "0102;NF000201;LUV-M;1;2;");
    const QString output = Import(*server, folder, code);
    EXPECT_EQ(code, 1);
    const QStringList lines = output.split(u'\n', Qt::SkipEmptyParts);
    EXPECT_EQ(lines.mid(0, 3),
              (QStringList{QStringLiteral("produtos.csv, linha 2: o produto SER10 já tem leituras de IUM: a importação "
                                          "não muda seu GTIN nem seu controle de IUM"),
                           QStringLiteral("notas.csv, linha 3: a nota fiscal NF000102 da filial 0101 já foi confirmada "
                                          "na conferência: a importação não a altera nem a seus itens"),
                           QStringLiteral("itens.csv, linha 2, coluna QTITEMPROD: a nota fiscal NF000101 da filial "
                                          "0101 já tem leituras de IUM: a importação não inclui itens nela nem muda "
                                          "a quantidade de um item (produto SER10)")}))
        << output.toStdString();
    EXPECT_EQ(lines.size(), 4) << output.toStdString();
    // Nothing was written: the one item of quantity 2 is the one that was.
    EXPECT_EQ(Count(*server, QStringLiteral("ITEMNOTA WHERE QTITEMPROD = 2")), 1);
}

} // namespace
