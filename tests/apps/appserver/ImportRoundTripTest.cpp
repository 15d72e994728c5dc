// The demo exported and imported into an empty database of the other engine
// gives the same work lists; and an import's memory does not grow with its
// files.
#include "ServerSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

int Run(const QStringList& arguments, QString& output)
{
    return TAppServerProcess::RunOnce(arguments, &output);
}

// A server on a new, empty database of the engine asked for.
std::unique_ptr<TAppServerProcess> EmptyServer(bool postgres, bool demo)
{
    const bool before = qEnvironmentVariable("EXP_SERVER_TESTS_ON_POSTGRES") == QLatin1String("1");
    TAppServerProcess::UsePostgres(postgres);
    TAppServerProcess::TOptions options;
    options.Demo = demo;
    auto server = std::make_unique<TAppServerProcess>(options);
    TAppServerProcess::UsePostgres(before);
    return server;
}

// Every branch of the demo, with open dates and with the ranges of its
// four weeks a user would ask for.
void ExpectSameWorkLists(const TAppServerProcess& a, const TAppServerProcess& b)
{
    const auto netA = Connect(a), netB = Connect(b);
    const QDate today = QDate::currentDate();
    const QList<std::pair<TDateTime, TDateTime>> ranges = {
        {TDateTime(), TDateTime()},
        {DateTimeFromQDate(today.addDays(-7)), DateTimeFromQDate(today)},
        {DateTimeFromQDate(today.addDays(-28)), DateTimeFromQDate(today.addDays(-14))},
    };
    int invoices = 0;
    for (const char* branch : {"0001", "0002", "0003"}) {
        for (const auto& [from, to] : ranges) {
            const TWorkListReply left = GetDados(*netA, QLatin1String(branch), QStringLiteral("T"), QStringLiteral("T"),
                                                 TDateTime(), TDateTime(), from, to);
            const TWorkListReply right = GetDados(*netB, QLatin1String(branch), QStringLiteral("T"), QStringLiteral("T"),
                                                  TDateTime(), TDateTime(), from, to);
            EXPECT_EQ(left.Invoices, right.Invoices) << branch;
            EXPECT_EQ(left.Items, right.Items) << branch;
            EXPECT_EQ(left.Readings, right.Readings) << branch;
            invoices += left.Invoices.RowCount();
        }
    }
    EXPECT_GT(invoices, 0);
}

void RoundTrip(bool sourcePostgres, bool targetPostgres)
{
    const auto source = EmptyServer(sourcePostgres, true);
    const auto target = EmptyServer(targetPostgres, false);
    QTemporaryDir dir;
    QString output;
    ASSERT_EQ(Run({QStringLiteral("--export-csv"), dir.path(), QStringLiteral("--database"), source->DatabasePath()},
                  output),
              0)
        << output.toStdString();
    ASSERT_EQ(Run({QStringLiteral("--import"), dir.path(), QStringLiteral("--database"), target->DatabasePath()}, output), 0)
        << output.toStdString();
    ExpectSameWorkLists(*source, *target);
    // Again: every record, readings and confirmed invoices included, the same.
    ASSERT_EQ(Run({QStringLiteral("--import"), dir.path(), QStringLiteral("--database"), target->DatabasePath()}, output), 0)
        << output.toStdString();
    EXPECT_FALSE(output.contains(QRegularExpression(QStringLiteral("[1-9]\\d* (inseridos|atualizados)"))))
        << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("leituras.csv 0 inseridos"))) << output.toStdString();
}

bool OnPostgres()
{
    return qEnvironmentVariable("EXP_SERVER_TESTS_ON_POSTGRES") == QLatin1String("1");
}

// In the pg variant, both ways between the engines; on SQLite alone, a
// SQLite database into another.
TEST(ImportRoundTrip, TheDemoExportedAndImportedGivesTheSameWorkLists)
{
    RoundTrip(OnPostgres(), false);
    if (OnPostgres())
        RoundTrip(false, true);
}

// The largest resident memory of the process `pid` until it ends, read from
// /proc every few milliseconds.
qint64 PeakResidentKb(QProcess& process)
{
    qint64 peak = 0;
    const QString status = QStringLiteral("/proc/%1/status").arg(process.processId());
    while (!process.waitForFinished(20)) {
        QFile file(status);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& line : file.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                peak = std::max(peak, line.mid(6).trimmed().split(' ').first().toLongLong());
    }
    return peak;
}

// A folder of one branch, `products` products, `invoices` invoices and
// every product on every invoice: products x invoices item rows.
QString WriteLargeFolder(const QTemporaryDir& dir, const QString& name, int products, int invoices)
{
    const QString folder = dir.filePath(name);
    QDir().mkpath(folder);
    const auto write = [&folder](const char* file, const std::function<void(QFile&)>& body) {
        QFile out(QDir(folder).filePath(QLatin1String(file)));
        out.open(QIODevice::WriteOnly);
        body(out);
    };
    write("filiais.csv", [](QFile& f) { f.write("CDFILIAL;NMFILIAL;IDUTILALMOX;IDUTILLOCAL\n0001;Matriz;N;N\n"); });
    write("clientes.csv", [](QFile& f) {
        f.write("CDCLIENTE;NMRAZSOCCLIE;NMFANTCLIE;IDTPIJURCLIE;NRINSJURCLIE\nC1;Cliente;Cliente;F;12345678909\n");
    });
    write("expedicoes.csv", [](QFile& f) { f.write("CDFILIAL;NREXPEDICAO;DTEXPEDICAO;IDSTATUSSEP\n0001;E1;01/03/2026;P\n"); });
    write("pedidos.csv", [](QFile& f) { f.write("CDFILIAL;NRPEDIDO;DTPEDIDO;CDCLIENTE\n0001;P1;01/03/2026;C1\n"); });
    write("produtos.csv", [products](QFile& f) {
        f.write("CDPRODUTO;CDARVPROD;NMPRODUTO;SGUNIDADE;CDGTIN;IDCONTROLAIUM\n");
        for (int p = 0; p < products; ++p)
            f.write(QStringLiteral("P%1;1;Produto %1;UN;7891000000014;N\n").arg(p).toLatin1());
    });
    write("notas.csv", [invoices](QFile& f) {
        f.write("CDFILIAL;NRLANCTONF;NREXPEDICAO;NRPEDIDO;DTPEDIDO;DTENTRSAID;CDCLIENTE;CDFILIEMIT;CDTIPOOPER;"
                "IDENTRSAIDOP;IDSITSEPNF;QTVOLNF\n");
        for (int n = 0; n < invoices; ++n)
            f.write(QStringLiteral("0001;N%1;E1;P1;01/03/2026;02/03/2026 08:00;C1;0001;VD;S;S;1\n").arg(n).toLatin1());
    });
    write("itens.csv", [products, invoices](QFile& f) {
        f.write("CDFILIAL;NRLANCTONF;CDPRODUTO;NRITEMPED;QTITEMPROD;IDCOLETA\n");
        QByteArray chunk;
        for (int n = 0; n < invoices; ++n) {
            for (int p = 0; p < products; ++p)
                chunk += QStringLiteral("0001;N%1;P%2;1;1.234,5;N\n").arg(n).arg(p).toLatin1();
            f.write(chunk);
            chunk.clear();
        }
    });
    return folder;
}

qint64 ImportPeak(const QString& folder, const QString& database)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(TAppServerProcess::Executable(),
                  {QStringLiteral("--import"), folder, QStringLiteral("--database"), database});
    const qint64 peak = PeakResidentKb(process);
    const QByteArray output = process.readAll();
    EXPECT_EQ(process.exitCode(), 0) << output.toStdString();
    return peak;
}

// A million item rows take no more memory than ten thousand, but for the
// database's own caches (SQLite's page cache, bounded by its settings).
TEST(ImportMemory, AMillionItemRowsDoNotGrowTheResidentMemory)
{
    if (OnPostgres())
        GTEST_SKIP() << "the reading is the same on both engines; SQLite's process holds its cache too";
    QTemporaryDir dir;
    const QString small = WriteLargeFolder(dir, QStringLiteral("pequena"), 100, 100);
    const QString large = WriteLargeFolder(dir, QStringLiteral("grande"), 1000, 1000);
    const qint64 smallPeak = ImportPeak(small, dir.filePath(QStringLiteral("pequena.db")));
    const qint64 largePeak = ImportPeak(large, dir.filePath(QStringLiteral("grande.db")));
    RecordProperty("peak_kb_10000_items", int(smallPeak));
    RecordProperty("peak_kb_1000000_items", int(largePeak));
    EXPECT_LT(largePeak - smallPeak, 32 * 1024) << smallPeak << " kB, then " << largePeak << " kB";
}

} // namespace
