// import_ratio: `appserver --import` of a large folder (the demo at scale
// 100, about 5,000 invoices, 50,000 items and 500,000 IUM readings, written
// by --export-csv) into a new SQLite database, the command run as an
// operator runs it, over the engine's own bulk load of the same rows into
// the same tables: SQLite's C API stepping one prepared insert per row in
// one transaction, the rows already in memory, measured in this run on a
// new database each. Target: at most 2. import_ms and import_engine_ms are
// the two times, import_rows_per_s the import's pace; import_cpu_ratio the
// same ratio in processor time (the command's, as a child, over this
// process's), which other work on the machine does not inflate.
//
// pg_import_ratio: the same on PostgreSQL (databases of the throwaway
// cluster of scripts/with-postgres), against COPY FROM STDIN of the same
// rows, their COPY text ready in memory. Target: at most 2.
#include "AppServerProcess.h"
#include "Figures.h"
#include "demo/DemoData.h"
#include "import/Exporter.h"
#include "records/ImportFormat.h"
#include "storage/Schema.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <ctime>
#include <sys/resource.h>
#include <optional>
#include <stdexcept>
#include <vector>

namespace {

using Bench::Clock;
using Bench::Median;
using Bench::MsSince;

// The processor time in ms (every thread) of this process, or of its
// children that have ended.
double CpuMs(int who = RUSAGE_SELF)
{
    rusage usage = {};
    getrusage(who, &usage);
    const auto ms = [](const timeval& t) { return double(t.tv_sec) * 1000.0 + double(t.tv_usec) / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// `appserver --import` of the folder into `database`, as a child process.
void ImportCommand(const QString& folder, const QString& database)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(TAppServerProcess::Executable(),
                  {QStringLiteral("--import"), folder, QStringLiteral("--database"), database});
    if (!process.waitForFinished(-1) || process.exitCode() != 0)
        throw std::runtime_error(process.readAll().toStdString());
}

int Scale()
{
    return Bench::Quick() ? 20 : 100;
}

// Every table's rows as the database gives them back: text, or null. Held
// in one buffer per table rather than a string per value, so that millions
// of small blocks do not slow the allocator the import then uses.
struct TTableRows {
    const TImportTable* Table;
    int Columns = 0;
    QByteArray Data;
    std::vector<std::pair<qsizetype, int>> Values;  // start in Data and size (-1: null), row after row
    qsizetype Rows() const { return qsizetype(Values.size()) / Columns; }
    std::optional<QByteArrayView> Value(qsizetype row, int column) const
    {
        const auto& [start, size] = Values[size_t(row * Columns + column)];
        return size < 0 ? std::nullopt : std::optional(QByteArrayView(Data.constData() + start, size));
    }
};

// The demo, its export and its rows in memory, made once.
struct TSource {
    QTemporaryDir dir;
    QString folder;
    std::vector<TTableRows> tables;
    qint64 rows = 0;

    // The rows of the tables named.
    qint64 Count(const QStringList& names) const
    {
        qint64 count = 0;
        for (const TTableRows& table : tables)
            if (names.contains(QString::fromLatin1(table.Table->Table)))
                count += table.Rows();
        return count;
    }

    TSource()
    {
        TDatabase db(TDbConfig{dir.filePath(QStringLiteral("demo.db"))});
        CreateSchema(db);
        CreateDemoData(db, Scale());
        folder = dir.filePath(QStringLiteral("exportado"));
        ExportFolder(db, folder);
        for (const TImportTable& table : ImportTables()) {
            QStringList columns;
            for (const TImportColumn& column : table.Columns)
                columns << QString::fromLatin1(column.Name);
            TTableRows rows{&table, int(columns.size()), {}, {}};
            TSql query(db, QStringLiteral("SELECT %1 FROM %2").arg(columns.join(u','), QString::fromLatin1(table.Table)));
            query.Exec();
            while (query.Next()) {
                for (int c = 0; c < rows.Columns; ++c) {
                    const QByteArrayView value = query.Utf8(c);
                    rows.Values.emplace_back(rows.Data.size(), query.IsNull(c) ? -1 : int(value.size()));
                    rows.Data += value;
                }
            }
            this->rows += qint64(rows.Rows());
            tables.push_back(std::move(rows));
        }
    }
};

TSource& Source()
{
    static TSource source;
    return source;
}

QString InsertText(const TImportTable& table, bool numbered)
{
    QStringList columns, parameters;
    for (qsizetype i = 0; i < table.Columns.size(); ++i) {
        columns << QString::fromLatin1(table.Columns[i].Name);
        parameters << (numbered ? QStringLiteral("?%1").arg(i + 1) : QString());
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(QString::fromLatin1(table.Table), columns.join(u','), parameters.join(u','));
}

// A new database with the schema: a SQLite file in `dir`, or a database of
// the cluster.
QString NewDatabase(bool postgres, const QTemporaryDir& dir)
{
    QString database;
    if (postgres) {
        const QString name = QStringLiteral("bench_") + QUuid::createUuid().toString(QUuid::Id128);
        TDatabase cluster(TDbConfig{QStringLiteral("postgresql:///postgres")});
        cluster.Execute(QStringLiteral("CREATE DATABASE ") + name);
        database = QStringLiteral("postgresql:///") + name;
    } else {
        database = dir.filePath(QUuid::createUuid().toString(QUuid::Id128) + QStringLiteral(".db"));
    }
    TDatabase db(TDbConfig{database});
    CreateSchema(db);
    return database;
}

void SqliteCheck(sqlite3* db, int rc)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE)
        throw std::runtime_error(sqlite3_errmsg(db));
}

// SQLite's own load: the server's connection settings (WAL, synchronous
// FULL, foreign keys), one transaction, one prepared insert per table.
double SqliteEngineLoad(const QString& database, double& cpuMs)
{
    sqlite3* db = nullptr;
    SqliteCheck(db, sqlite3_open(database.toUtf8().constData(), &db));
    SqliteCheck(db, sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; PRAGMA foreign_keys=ON",
                                 nullptr, nullptr, nullptr));
    const auto t0 = Clock::now();
    const double cpu0 = CpuMs();
    SqliteCheck(db, sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr));
    for (const TTableRows& table : Source().tables) {
        sqlite3_stmt* insert = nullptr;
        const QByteArray sql = InsertText(*table.Table, true).toUtf8();
        SqliteCheck(db, sqlite3_prepare_v2(db, sql.constData(), -1, &insert, nullptr));
        for (qsizetype r = 0; r < table.Rows(); ++r) {
            for (int c = 0; c < table.Columns; ++c) {
                if (const auto value = table.Value(r, c))
                    sqlite3_bind_text(insert, c + 1, value->data(), int(value->size()), SQLITE_STATIC);
                else
                    sqlite3_bind_null(insert, c + 1);
            }
            SqliteCheck(db, sqlite3_step(insert));
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
    }
    SqliteCheck(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr));
    const double ms = MsSince(t0);
    cpuMs = CpuMs() - cpu0;
    sqlite3_close(db);
    return ms;
}

// COPY's text of a table's rows.
QByteArray CopyText(const TTableRows& table)
{
    QByteArray text;
    for (qsizetype r = 0; r < table.Rows(); ++r) {
        for (int c = 0; c < table.Columns; ++c) {
            if (c > 0)
                text += '\t';
            const auto value = table.Value(r, c);
            if (!value) {
                text += "\\N";
                continue;
            }
            for (const char ch : *value)
                text += ch == '\\' ? QByteArrayView("\\\\") : ch == '\t' ? QByteArrayView("\\t")
                        : ch == '\n' ? QByteArrayView("\\n") : ch == '\r' ? QByteArrayView("\\r")
                                                                          : QByteArrayView(&ch, 1);
        }
        text += '\n';
    }
    return text;
}

void PgCheck(PGresult* result, ExecStatusType expected)
{
    const bool ok = PQresultStatus(result) == expected;
    const std::string message = PQresultErrorMessage(result);
    PQclear(result);
    if (!ok)
        throw std::runtime_error(message);
}

// PostgreSQL's own load: COPY FROM STDIN of each table, one transaction.
double PgEngineLoad(const QString& database, const std::vector<QByteArray>& copies)
{
    PGconn* conn = PQconnectdb(database.toUtf8().constData());
    if (PQstatus(conn) != CONNECTION_OK)
        throw std::runtime_error(PQerrorMessage(conn));
    const auto t0 = Clock::now();
    PgCheck(PQexec(conn, "BEGIN"), PGRES_COMMAND_OK);
    for (size_t t = 0; t < copies.size(); ++t) {
        const TImportTable& table = *Source().tables[t].Table;
        QStringList columns;
        for (const TImportColumn& column : table.Columns)
            columns << QString::fromLatin1(column.Name);
        const QByteArray copy = QStringLiteral("COPY %1 (%2) FROM STDIN")
                                    .arg(QString::fromLatin1(table.Table), columns.join(u','))
                                    .toUtf8();
        PgCheck(PQexec(conn, copy.constData()), PGRES_COPY_IN);
        constexpr qsizetype piece = 256 * 1024;
        for (qsizetype at = 0; at < copies[t].size(); at += piece)
            PQputCopyData(conn, copies[t].constData() + at, int(std::min(piece, copies[t].size() - at)));
        PQputCopyEnd(conn, nullptr);
        PgCheck(PQgetResult(conn), PGRES_COMMAND_OK);
        while (PGresult* more = PQgetResult(conn))
            PQclear(more);
    }
    PgCheck(PQexec(conn, "COMMIT"), PGRES_COMMAND_OK);
    const double ms = MsSince(t0);
    PQfinish(conn);
    return ms;
}

void MeasureImport(benchmark::State& state, bool postgres, const std::string& prefix)
{
    TSource& source = Source();
    QTemporaryDir dir;
    std::vector<QByteArray> copies;
    if (postgres)
        for (const TTableRows& table : source.tables)
            copies.push_back(CopyText(table));
    const int rounds = Bench::Quick() ? 1 : 3;
    std::vector<double> import, engine, importCpu, engineCpu;
    qint64 inserted = 0;
    for (auto _ : state) {
        for (int i = 0; i < rounds; ++i) {
            const QString engineDb = NewDatabase(postgres, dir);
            double cpu = 0;
            engine.push_back(postgres ? PgEngineLoad(engineDb, copies) : SqliteEngineLoad(engineDb, cpu));
            engineCpu.push_back(cpu);
            const QString importDb = NewDatabase(postgres, dir);
            const auto t0 = Clock::now();
            const double cpu0 = CpuMs(RUSAGE_CHILDREN);
            ImportCommand(source.folder, importDb);
            import.push_back(MsSince(t0));
            importCpu.push_back(CpuMs(RUSAGE_CHILDREN) - cpu0);
            TDatabase db(TDbConfig{importDb});
            TSql count(db, QStringLiteral("SELECT (SELECT COUNT(*) FROM LEITURAIUM) + (SELECT COUNT(*) FROM ITEMNOTA)"
                                          " + (SELECT COUNT(*) FROM NOTAFISCAL)"));
            count.Exec();
            inserted = count.Next() ? qint64(count.Number(0)) : 0;
        }
    }
    if (inserted != source.Count(QStringList{QStringLiteral("LEITURAIUM"), QStringLiteral("ITEMNOTA"),
                                             QStringLiteral("NOTAFISCAL")}))
        state.SkipWithError("the import did not load the folder's invoices, items and readings");
    Bench::Report(prefix + "import_ratio", Median(import) / Median(engine), "ratio");
    Bench::Report(prefix + "import_ms", Median(import), "ms");
    Bench::Report(prefix + "import_engine_ms", Median(engine), "ms");
    Bench::Report(prefix + "import_rows_per_s", double(source.rows) / (Median(import) / 1000.0), "rows/s");
    // SQLite works in this process: its processor time, beside the times.
    if (!postgres)
        Bench::Report("import_cpu_ratio", Median(importCpu) / Median(engineCpu), "ratio");
    state.counters["rows"] = double(source.rows);
}

void BM_Import(benchmark::State& state)
{
    MeasureImport(state, false, "");
}
BENCHMARK(BM_Import)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PgImport(benchmark::State& state)
{
    MeasureImport(state, true, "pg_");
}
BENCHMARK(BM_PgImport)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return Bench::Main(argc, argv);
}
