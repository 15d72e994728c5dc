#include "StagingLoad.h"

#include "storage/PgDriver.h"

namespace {

// Progress is told every this many records.
constexpr qint64 ProgressEvery = 4096;

QString Staging(const TImportTable& table)
{
    return QStringLiteral("IMP_") + QString::fromLatin1(table.Table);
}

void CreateTable(TDatabase& db, const TImportTable& table)
{
    QStringList columns;
    for (const TImportColumn& column : table.Columns)
        columns << QString::fromLatin1(column.Name);
    // The columns' own types (SQLite: their affinities), so that a value
    // compares with the record's as the table's own would; no constraint.
    db.Execute(QStringLiteral("CREATE TEMP TABLE %1 AS SELECT %2, %3 FROM %4 WHERE 1 = 0")
                   .arg(Staging(table),
                        db.Engine() == TEngine::Postgres ? QStringLiteral("CAST(0 AS BIGINT) AS NRLINHA")
                                                         : QStringLiteral("0 AS NRLINHA"),
                        columns.join(QStringLiteral(", ")), QString::fromLatin1(table.Table)));
}

void Bind(TStatement& statement, int index, const TFieldValue& value)
{
    switch (value.Kind) {
    case TFieldValue::TKind::Null:
        statement.BindNull(index);
        break;
    case TFieldValue::TKind::Text:
        statement.BindText(index, value.Text);
        break;
    case TFieldValue::TKind::Number:
        statement.BindNumber(index, value.Number);
        break;
    }
}

// SQLite: one prepared insert stepped per record.
qint64 InsertRows(TDatabase& db, const TImportTable& table, TRecordReader& reader, TImportProgress* progress)
{
    QStringList columns{QStringLiteral("NRLINHA")}, parameters;
    for (const TImportColumn& column : table.Columns)
        columns << QString::fromLatin1(column.Name);
    for (qsizetype i = 1; i <= columns.size(); ++i)
        parameters << QStringLiteral("?%1").arg(i);
    const std::unique_ptr<TStatement> insert = db.Connection().Prepare(
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(Staging(table), columns.join(QStringLiteral(", ")), parameters.join(QStringLiteral(", ")))
            .toUtf8());
    qint64 loaded = 0;
    TCheckedRecord record;
    while (reader.Next(record)) {
        insert->BindNumber(1, double(record.Line));
        for (qsizetype i = 0; i < record.Values.size(); ++i)
            Bind(*insert, int(i + 2), record.Values[i]);
        insert->Execute();
        if (++loaded % ProgressEvery == 0 && progress)
            progress->Advanced(reader.Records(), reader.BytesRead());
    }
    insert->Close();
    return loaded;
}

// A value in COPY's text format: \N for null, and the backslash, tab,
// line feed and carriage return escaped.
void AppendCopyValue(QByteArray& line, const TFieldValue& value)
{
    switch (value.Kind) {
    case TFieldValue::TKind::Null:
        line += "\\N";
        return;
    case TFieldValue::TKind::Number:
        line += QByteArray::number(value.Number, 'g', 17);
        return;
    case TFieldValue::TKind::Text:
        for (const char c : value.Text) {
            switch (c) {
            case '\\': line += "\\\\"; break;
            case '\t': line += "\\t"; break;
            case '\n': line += "\\n"; break;
            case '\r': line += "\\r"; break;
            default: line += c;
            }
        }
        return;
    }
}

// PostgreSQL: the records through COPY, sent in pieces of about CopyBytes.
qint64 CopyRows(TDatabase& db, const TImportTable& table, TRecordReader& reader, TImportProgress* progress)
{
    constexpr qsizetype CopyBytes = 256 * 1024;
    QStringList columns{QStringLiteral("NRLINHA")};
    for (const TImportColumn& column : table.Columns)
        columns << QString::fromLatin1(column.Name);
    TPgCopyIn copy(db.Connection(), QStringLiteral("COPY %1 (%2) FROM STDIN")
                                        .arg(Staging(table), columns.join(QStringLiteral(", ")))
                                        .toUtf8());
    QByteArray pending;
    pending.reserve(CopyBytes + 4096);
    qint64 loaded = 0;
    TCheckedRecord record;
    while (reader.Next(record)) {
        pending += QByteArray::number(record.Line);
        for (const TFieldValue& value : record.Values) {
            pending += '\t';
            AppendCopyValue(pending, value);
        }
        pending += '\n';
        if (pending.size() >= CopyBytes) {
            copy.Write(pending);
            pending.clear();
        }
        if (++loaded % ProgressEvery == 0 && progress)
            progress->Advanced(reader.Records(), reader.BytesRead());
    }
    if (!pending.isEmpty())
        copy.Write(pending);
    copy.End();
    return loaded;
}

} // namespace

qint64 LoadStaging(TDatabase& db, const TImportTable& table, TRecordReader& reader, TImportProgress* progress)
{
    CreateTable(db, table);
    const qint64 loaded = db.Engine() == TEngine::Postgres ? CopyRows(db, table, reader, progress)
                                                           : InsertRows(db, table, reader, progress);
    if (progress)
        progress->Advanced(reader.Records(), reader.BytesRead());
    QStringList key;
    for (int i = 0; i < table.KeyColumns; ++i)
        key << QString::fromLatin1(table.Columns[i].Name);
    // Built once the rows are in: cheaper than kept up row by row.
    db.Execute(QStringLiteral("CREATE INDEX %1_CHAVE ON %1 (%2)").arg(Staging(table), key.join(QStringLiteral(", "))));
    if (db.Engine() == TEngine::Postgres)
        db.Execute(QStringLiteral("ANALYZE %1").arg(Staging(table)));
    return loaded;
}
