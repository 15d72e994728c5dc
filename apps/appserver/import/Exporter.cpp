#include "Exporter.h"

#include "records/CsvWriter.h"
#include "records/ImportFormat.h"

#include <QDateTime>
#include <QDir>
#include <QSaveFile>

namespace {

constexpr char Separator = ';';

// The engines give dates as ISO 8601 text: "yyyy-MM-dd", a time after 'T'
// (SQLite, as bound) or ' ' (PostgreSQL), maybe with a fraction.
QByteArray DateText(QByteArrayView iso, bool timestamp)
{
    QByteArray text = iso.toByteArray();
    if (text.size() > 10 && text[10] == ' ')
        text[10] = 'T';
    const QDateTime value = QDateTime::fromString(QString::fromLatin1(text.left(23)), Qt::ISODateWithMs);
    if (!value.isValid())
        return iso.toByteArray();
    if (!timestamp)
        return value.date().toString(QStringLiteral("dd/MM/yyyy")).toLatin1();
    return value.toString(value.time().msec() != 0 ? QStringLiteral("dd/MM/yyyy HH:mm:ss.zzz")
                                                   : QStringLiteral("dd/MM/yyyy HH:mm:ss"))
        .toLatin1();
}

QByteArray QuantityText(double value)
{
    QByteArray text = QByteArray::number(value, 'f', 3);
    while (text.endsWith('0'))
        text.chop(1);
    if (text.endsWith('.'))
        text.chop(1);
    return text.replace('.', ',');
}

qint64 ExportTable(TDatabase& db, const TImportTable& table, const QString& path)
{
    QStringList columns, key;
    QList<QByteArray> header;
    for (const TImportColumn& column : table.Columns) {
        columns << QString::fromLatin1(column.Name);
        header << QByteArray(column.Name);
    }
    key = columns.first(table.KeyColumns);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw EDatabaseError(QStringLiteral("Não foi possível gravar %1: %2").arg(path, file.errorString()));
    file.write(CsvLine(header, Separator));
    TSql query(db, QStringLiteral("SELECT %1 FROM %2 ORDER BY %3")
                       .arg(columns.join(QStringLiteral(", ")), QString::fromLatin1(table.Table),
                            key.join(QStringLiteral(", "))));
    query.Exec();
    qint64 rows = 0;
    QList<QByteArray> fields(table.Columns.size());
    while (query.Next()) {
        for (qsizetype i = 0; i < table.Columns.size(); ++i) {
            const int c = int(i);
            const TColumnType type = table.Columns[i].Type;
            if (query.IsNull(c))
                fields[i].clear();
            else if (type == TColumnType::Quantity)
                fields[i] = QuantityText(query.Number(c));
            else if (type == TColumnType::Date || type == TColumnType::Timestamp)
                fields[i] = DateText(query.Utf8(c), type == TColumnType::Timestamp);
            else
                fields[i] = query.Utf8(c).toByteArray();
        }
        file.write(CsvLine(fields, Separator));
        ++rows;
    }
    if (!file.commit())
        throw EDatabaseError(QStringLiteral("Não foi possível gravar %1: %2").arg(path, file.errorString()));
    return rows;
}

} // namespace

QList<TExportCount> ExportFolder(TDatabase& db, const QString& folder)
{
    if (!QDir().mkpath(folder))
        throw EDatabaseError(QStringLiteral("Não foi possível criar a pasta %1.").arg(folder));
    QList<TExportCount> counts;
    TScopedTransaction transaction(db, TScopedTransaction::TKind::Read);
    for (const TImportTable& table : ImportTables())
        counts << TExportCount{QString::fromLatin1(table.File),
                               ExportTable(db, table, QDir(folder).filePath(QString::fromLatin1(table.File)))};
    transaction.Commit();
    return counts;
}
