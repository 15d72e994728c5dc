#include "ServerMetrics.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace Metrics {

namespace {

double ResidentBytes()
{
    // statm: sizes in pages; the second is what is resident.
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? double(fields[1].toLongLong()) * double(::sysconf(_SC_PAGESIZE)) : 0;
}

double OpenDescriptors()
{
    return double(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot).size());
}

} // namespace

TServerMetrics& Server()
{
    static TServerMetrics metrics;
    static TReadGauge resident("process_resident_memory_bytes", "Resident memory of the process.", ResidentBytes);
    static TReadGauge descriptors("process_open_fds", "File descriptors open in the process.", OpenDescriptors);
    return metrics;
}

void WatchWal(const QString& path)
{
    static TReadGauge wal("appserver_sqlite_wal_bytes", "Size of the SQLite database's write-ahead log.",
                          [wal = path + QStringLiteral("-wal")] { return double(QFileInfo(wal).size()); });
}

} // namespace Metrics
