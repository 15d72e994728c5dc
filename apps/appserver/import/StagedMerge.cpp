#include "StagedMerge.h"

#include "ImportRules.h"
#include "storage/PgDriver.h"

using namespace ImportRules;

namespace {

// Progress is told every this many records.
constexpr qint64 ProgressEvery = 4096;
// COPY's data goes to the server in pieces of about this size.
constexpr qsizetype CopyBytes = 256 * 1024;

// "t.K1 = s.K1 AND ..." over the table's key.
QString KeyMatch(const TImportTable& table)
{
    QStringList terms;
    for (const QString& column : KeyColumns(table))
        terms << QStringLiteral("t.%1 = s.%1").arg(column);
    return terms.join(QStringLiteral(" AND "));
}

QString Staged(int column, const TImportTable& table)
{
    return QStringLiteral("s.") + Name(table.Columns[column].Name);
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

// Up to Shown + 1 rows of `sql`: the line first, then `values` texts.
struct TFinding {
    qint64 Line;
    QStringList Values;
};

QList<TFinding> Findings(TDatabase& db, const QString& sql, int values)
{
    QList<TFinding> found;
    TSql query(db, sql);
    query.Exec();
    while (query.Next() && found.size() <= TProblems::Shown) {
        TFinding finding{qint64(query.Number(0)), {}};
        for (int i = 1; i <= values; ++i)
            finding.Values << query.Text(i);
        found << finding;
    }
    return found;
}

} // namespace

TStagedMerge::TStagedMerge(TDatabase& db, const TImportTable& table, const QList<bool>& present, TProblems& problems)
    : db_(db), table_(table), present_(present), problems_(problems)
{
}

QString TStagedMerge::Staging() const
{
    return QStringLiteral("IMP_") + Name(table_.Table);
}

void TStagedMerge::Load(TRecordReader& reader, TImportProgress* progress)
{
    const QString columns = Columns(table_).join(QStringLiteral(", "));
    // The columns' own types, so that a value compares with the record's as
    // the table's own would; no constraint.
    db_.Execute(QStringLiteral("CREATE TEMP TABLE %1 AS SELECT CAST(0 AS BIGINT) AS NRLINHA, %2 FROM %3 WHERE 1 = 0")
                    .arg(Staging(), columns, Name(table_.Table)));
    TPgCopyIn copy(db_.Connection(),
                   QStringLiteral("COPY %1 (NRLINHA, %2) FROM STDIN").arg(Staging(), columns).toUtf8());
    QByteArray pending;
    pending.reserve(CopyBytes + 4096);
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
        if (++staged_ % ProgressEvery == 0 && progress)
            progress->Advanced(reader.Records(), reader.BytesRead());
    }
    if (!pending.isEmpty())
        copy.Write(pending);
    copy.End();
    if (progress)
        progress->Advanced(reader.Records(), reader.BytesRead());
    // Built once the rows are in: cheaper than kept up row by row.
    db_.Execute(QStringLiteral("CREATE INDEX %1_CHAVE ON %1 (%2)")
                    .arg(Staging(), KeyColumns(table_).join(QStringLiteral(", "))));
    db_.Execute(QStringLiteral("ANALYZE %1").arg(Staging()));
}

void TStagedMerge::Refuse(const QString& sql, int values, const char* column,
                          const std::function<QString(const QStringList&)>& message)
{
    for (const TFinding& f : Findings(db_, sql, values))
        problems_.Add(Name(table_.File), f.Line, column ? Name(column) : QString(), message(f.Values));
}

void TStagedMerge::Check(const QList<const TImportTable*>& staged)
{
    Duplicates();
    References(staged);
    Protect();
}

// Each repetition of a key at its own line, after the first.
void TStagedMerge::Duplicates()
{
    const QStringList key = KeyColumns(table_);
    QStringList match;
    for (const QString& column : key)
        match << QStringLiteral("d.%1 = s.%1").arg(column);
    const QString sql = QStringLiteral("SELECT s.NRLINHA, %1 FROM %2 s JOIN (SELECT %3, MIN(NRLINHA) AS PRIMEIRA FROM %2"
                                       " GROUP BY %3 HAVING COUNT(*) > 1) d ON %4 WHERE s.NRLINHA > d.PRIMEIRA"
                                       " ORDER BY s.NRLINHA")
                            .arg(Columns(table_, QStringLiteral("s")).first(table_.KeyColumns).join(QStringLiteral(", ")),
                                 Staging(), key.join(QStringLiteral(", ")), match.join(QStringLiteral(" AND ")));
    Refuse(sql, int(key.size()), nullptr, [this](const QStringList& v) { return Duplicate(table_, v); });
}

void TStagedMerge::References(const QList<const TImportTable*>& staged)
{
    for (const TImportReference& reference : table_.References) {
        const TImportTable* parent = table_.Parent(reference);
        QStringList match, shown;
        for (qsizetype i = 0; i < reference.Columns.size(); ++i) {
            match << QStringLiteral("p.%1 = s.%2").arg(Name(parent->Columns[i].Name), Name(reference.Columns[i]));
            shown << QStringLiteral("s.") + Name(reference.Columns[i]);
        }
        const QString condition = match.join(QStringLiteral(" AND "));
        QString sql = QStringLiteral("SELECT s.NRLINHA, %1 FROM %2 s WHERE NOT EXISTS (SELECT 1 FROM %3 p WHERE %4)")
                          .arg(shown.join(QStringLiteral(", ")), Staging(), Name(parent->Table), condition);
        if (staged.contains(parent))
            sql += QStringLiteral(" AND NOT EXISTS (SELECT 1 FROM IMP_%1 p WHERE %2)").arg(Name(parent->Table), condition);
        Refuse(sql + QStringLiteral(" ORDER BY s.NRLINHA"), int(reference.Columns.size()), reference.Columns.last(),
               [parent](const QStringList& v) { return Unknown(*parent, v); });
    }
}

void TStagedMerge::Protect()
{
    const QString target = Name(table_.Table);
    const auto staged = [this](int column) { return Staged(column, table_); };
    const QString differs = Differs(table_, present_, staged);
    const QString from = QStringLiteral(" FROM %1 s JOIN %2 t ON %3").arg(Staging(), target, KeyMatch(table_));
    const auto confirmed = [](const QStringList& v) { return Confirmed(v[0], v[1]); };
    if (target == QLatin1String("NOTAFISCAL")) {
        Refuse(QStringLiteral("SELECT s.NRLINHA, s.CDFILIAL, s.NRLANCTONF%1 WHERE t.IDCONFRASTR = 'S' AND %2"
                              " ORDER BY s.NRLINHA").arg(from, differs),
               2, nullptr, confirmed);
    } else if (target == QLatin1String("ITEMNOTA")) {
        const QString items = QStringLiteral(
            "SELECT s.NRLINHA, s.CDFILIAL, s.NRLANCTONF, s.CDPRODUTO FROM %1 s"
            " JOIN NOTAFISCAL n ON n.CDFILIAL = s.CDFILIAL AND n.NRLANCTONF = s.NRLANCTONF"
            " LEFT JOIN ITEMNOTA t ON %2 WHERE ").arg(Staging(), KeyMatch(table_));
        Refuse(items + QStringLiteral("n.IDCONFRASTR = 'S' AND (t.CDFILIAL IS NULL OR %1) ORDER BY s.NRLINHA").arg(differs),
               3, nullptr, confirmed);
        Refuse(items + QStringLiteral("n.IDCONFRASTR <> 'S' AND (t.CDFILIAL IS NULL OR %1) AND EXISTS (SELECT 1 FROM"
                                      " LEITURAIUM l WHERE l.CDFILIAL = s.CDFILIAL AND l.NRLANCTONF = s.NRLANCTONF)"
                                      " ORDER BY s.NRLINHA")
                           .arg(Differs(table_, present_, staged, true)),
               3, "QTITEMPROD", [](const QStringList& v) { return HasReadings(v[0], v[1], v[2]); });
    } else if (target == QLatin1String("PRODUTO")) {
        Refuse(QStringLiteral("SELECT s.NRLINHA, s.CDPRODUTO%1 WHERE (t.CDGTIN <> s.CDGTIN OR t.IDCONTROLAIUM <>"
                              " s.IDCONTROLAIUM) AND EXISTS (SELECT 1 FROM LEITURAIUM l WHERE l.CDPRODUTO ="
                              " s.CDPRODUTO) ORDER BY s.NRLINHA").arg(from),
               1, nullptr, [](const QStringList& v) { return ProductRead(v[0]); });
    } else if (table_.InsertOnly) {
        Refuse(QStringLiteral("SELECT s.NRLINHA, s.CDFILIAL, s.NRLANCTONF%1 WHERE %2 ORDER BY s.NRLINHA").arg(from, differs),
               2, nullptr, [this](const QStringList& v) { return ReadingDiffers(table_, v[0], v[1]); });
    }
}

TImportCount TStagedMerge::Merge()
{
    const QString target = Name(table_.Table);
    TImportCount count{Name(table_.File)};
    const auto staged = [this](int column) { return Staged(column, table_); };
    const QStringList sets = Sets(table_, present_, staged);
    if (!table_.InsertOnly && !sets.isEmpty()) {
        TSql update(db_, QStringLiteral("UPDATE %1 AS t SET %2 FROM %3 AS s WHERE %4 AND %5")
                             .arg(target, sets.join(QStringLiteral(", ")), Staging(), KeyMatch(table_),
                                  Differs(table_, present_, staged)));
        update.Exec();
        count.Updated = update.RowsAffected();
    }
    TSql insert(db_, QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %4 s WHERE NOT EXISTS"
                                    " (SELECT 1 FROM %1 t WHERE %5)")
                         .arg(target, Columns(table_).join(QStringLiteral(", ")),
                              Columns(table_, QStringLiteral("s")).join(QStringLiteral(", ")), Staging(),
                              KeyMatch(table_)));
    insert.Exec();
    count.Inserted = insert.RowsAffected();
    count.Unchanged = staged_ - count.Inserted - count.Updated;
    return count;
}
