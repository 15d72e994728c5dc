#include "ImportCommand.h"

#include "Exporter.h"
#include "Importer.h"
#include "storage/Schema.h"

#include <QElapsedTimer>

#include <cstdio>
#include <unistd.h>

namespace {

void Print(FILE* stream, const QString& line)
{
    const QByteArray bytes = (line + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// A bar on one line of the terminal, redrawn at most ten times a second.
class TTerminalProgress final : public TImportProgress {
public:
    void FileStarted(const QString& file, qint64 bytes) override
    {
        file_ = file;
        bytes_ = bytes;
        ++files_;
        clock_.start();
        drawn_.invalidate();
        Advanced(0, 0);
    }
    void Advanced(qint64 records, qint64 bytesRead) override
    {
        if (drawn_.isValid() && drawn_.elapsed() < 100)
            return;
        drawn_.start();
        const double seconds = std::max(0.001, clock_.elapsed() / 1000.0);
        const double fraction = bytes_ > 0 ? std::min(1.0, double(bytesRead) / double(bytes_)) : 1.0;
        const int filled = int(fraction * Width);
        const double left = fraction > 0 ? seconds * (1 - fraction) / fraction : 0;
        const QString line = QStringLiteral("\r[%1%2] arquivo %3 (%4): %5 registros, %6/s, faltam %7 s   ")
                                 .arg(QString(filled, u'#'), QString(Width - filled, u'.'))
                                 .arg(files_)
                                 .arg(file_)
                                 .arg(records)
                                 .arg(qint64(records / seconds))
                                 .arg(qint64(left + 0.5));
        const QByteArray bytes = line.toUtf8();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
    }
    void FileDone() override { std::fputs("\r\033[K", stderr); }

private:
    static constexpr int Width = 30;
    QString file_;
    qint64 bytes_ = 0;
    int files_ = 0;
    QElapsedTimer clock_, drawn_;
};

QString Summary(const QList<TImportCount>& counts)
{
    QStringList parts;
    for (const TImportCount& c : counts)
        parts << QStringLiteral("%1 %2 inseridos, %3 atualizados, %4 sem mudança")
                     .arg(c.File)
                     .arg(c.Inserted)
                     .arg(c.Updated)
                     .arg(c.Unchanged);
    return parts.join(QStringLiteral("; "));
}

} // namespace

int RunImport(const QString& database, const QString& folder, bool check)
{
    TDatabase db(TDbConfig{database});
    CheckImporter(db);  // before the schema, which a station may not even read
    PrepareSchema(db);
    TTerminalProgress terminal;
    QElapsedTimer clock;
    clock.start();
    const TImportResult result = ImportFolder(db, folder, check ? TImportMode::Check : TImportMode::Write,
                                              ::isatty(STDERR_FILENO) ? &terminal : nullptr);
    if (!result.Problems.Empty()) {
        Print(stderr, result.Problems.Text());
        Print(stderr, QStringLiteral("appserver: %1 problema(s) em %2; nada foi gravado.")
                          .arg(result.Problems.Count())
                          .arg(folder));
        return 1;
    }
    Print(stdout, QStringLiteral("appserver: %1 de %2 em %3 s: %4.")
                      .arg(check ? QStringLiteral("conferência sem problemas (nada foi gravado)")
                                 : QStringLiteral("importação concluída"),
                           folder)
                      .arg(clock.elapsed() / 1000.0, 0, 'f', 1)
                      .arg(Summary(result.Counts)));
    return 0;
}

int RunExport(const QString& database, const QString& folder)
{
    TDatabase db(TDbConfig{database});
    PrepareSchema(db);
    QStringList parts;
    for (const TExportCount& count : ExportFolder(db, folder))
        parts << QStringLiteral("%1 %2").arg(count.File).arg(count.Rows);
    Print(stdout, QStringLiteral("appserver: exportado para %1: %2.").arg(folder, parts.join(QStringLiteral(", "))));
    return 0;
}
