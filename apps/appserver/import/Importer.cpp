#include "Importer.h"

#include "StagingLoad.h"
#include "records/ImportFormat.h"
#include "records/RecordReader.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <functional>

namespace {

QString Name(const char* text)
{
    return QString::fromLatin1(text);
}

QString Staging(const TImportTable& table)
{
    return QStringLiteral("IMP_") + Name(table.Table);
}

QStringList Columns(const TImportTable& table, const QString& alias = QString())
{
    QStringList names;
    for (const TImportColumn& column : table.Columns)
        names << (alias.isEmpty() ? Name(column.Name) : alias + u'.' + Name(column.Name));
    return names;
}

// "t.K1 = s.K1 AND ..." over the table's key.
QString KeyMatch(const TImportTable& table, const QString& a, const QString& b)
{
    QStringList terms;
    for (int i = 0; i < table.KeyColumns; ++i) {
        const QString column = Name(table.Columns[i].Name);
        terms << QStringLiteral("%1.%3 = %2.%3").arg(a, b, column);
    }
    return terms.join(QStringLiteral(" AND "));
}

// One text per row of `sql`: its first column the line, the others joined
// for the message.
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

class TImport {
public:
    TImport(TDatabase& db, const QString& folder, TImportProgress* progress, TImportResult& result)
        : db_(db), folder_(folder), progress_(progress), result_(result)
    {
    }

    void Run()
    {
        CheckFolder();
        for (const TImportTable& table : ImportTables()) {
            const QString path = folder_.filePath(Name(table.File));
            if (QFile::exists(path))
                Table(table, path);
        }
        // Every check has seen the database as it was before the import
        // (promise 3 is about what the check produced before it); the
        // merges follow, parents first.
        if (Problems().Empty())
            for (const TLoaded& loaded : loaded_)
                result_.Counts << Merge(*loaded.Table, loaded.Present, loaded.Staged);
        for (const QString& staging : staged_)
            db_.Execute(QStringLiteral("DROP TABLE %1").arg(staging));
    }

private:
    TProblems& Problems() { return result_.Problems; }
    void Report(const TImportTable& table, qint64 line, const char* column, const QString& problem)
    {
        Problems().Add(Name(table.File), line, column ? Name(column) : QString(), problem);
    }

    void CheckFolder()
    {
        if (!folder_.exists()) {
            Problems().Add(folder_.path(), 0, QString(), QStringLiteral("a pasta não existe"));
            return;
        }
        QSet<QString> known;
        for (const TImportTable& table : ImportTables())
            known << Name(table.File);
        bool any = false;
        for (const QString& file : folder_.entryList({QStringLiteral("*.csv"), QStringLiteral("*.CSV")}, QDir::Files)) {
            if (known.contains(file))
                any = true;
            else
                Problems().Add(file, 0, QString(),
                               QStringLiteral("arquivo desconhecido: os arquivos de importação são %1")
                                   .arg(QStringList(known.values()).join(QStringLiteral(", "))));
        }
        if (!any && Problems().Empty())
            Problems().Add(folder_.path(), 0, QString(), QStringLiteral("a pasta não tem nenhum arquivo de importação"));
    }

    void Table(const TImportTable& table, const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            Report(table, 0, nullptr, QStringLiteral("não foi possível ler o arquivo: %1").arg(file.errorString()));
            return;
        }
        if (progress_)
            progress_->FileStarted(Name(table.File), file.size());
        TRecordReader reader(table, file, Problems());
        if (!reader.Open()) {
            if (progress_)
                progress_->FileDone();
            return;
        }
        QList<bool> present;
        for (int i = 0; i < table.Columns.size(); ++i)
            present << reader.Present(i);
        const qint64 staged = LoadStaging(db_, table, reader, progress_);
        staged_ << Staging(table);
        if (progress_)
            progress_->FileDone();
        Duplicates(table);
        References(table);
        Protect(table, present);
        loaded_ << TLoaded{&table, present, staged};
    }

    void Duplicates(const TImportTable& table)
    {
        const QStringList key = Columns(table).first(table.KeyColumns);
        const QString sql = QStringLiteral("SELECT MAX(NRLINHA), %1, MIN(NRLINHA), COUNT(*) FROM %2 GROUP BY %1"
                                           " HAVING COUNT(*) > 1 ORDER BY MAX(NRLINHA)")
                                .arg(key.join(QStringLiteral(", ")), Staging(table));
        for (const TFinding& f : Findings(db_, sql, int(key.size()) + 2)) {
            QStringList pairs;
            for (qsizetype i = 0; i < key.size(); ++i)
                pairs << key[i] + u'=' + f.Values[i];
            Report(table, f.Line, nullptr,
                   QStringLiteral("chave repetida no arquivo (%1): %2 vezes, a primeira na linha %3")
                       .arg(pairs.join(QStringLiteral(", ")), f.Values[key.size() + 1], f.Values[key.size()]));
        }
    }

    void References(const TImportTable& table)
    {
        for (const TImportReference& reference : table.References) {
            const TImportTable* parent = table.Parent(reference);
            QStringList inTable, inStaging, shown;
            for (qsizetype i = 0; i < reference.Columns.size(); ++i) {
                const QString mine = Name(reference.Columns[i]), theirs = Name(parent->Columns[i].Name);
                inTable << QStringLiteral("p.%1 = s.%2").arg(theirs, mine);
                shown << QStringLiteral("s.") + mine;
            }
            QString sql = QStringLiteral("SELECT s.NRLINHA, %1 FROM %2 s WHERE NOT EXISTS (SELECT 1 FROM %3 p WHERE %4)")
                              .arg(shown.join(QStringLiteral(", ")), Staging(table), Name(parent->Table),
                                   inTable.join(QStringLiteral(" AND ")));
            if (staged_.contains(Staging(*parent)))
                sql += QStringLiteral(" AND NOT EXISTS (SELECT 1 FROM %1 p WHERE %2)")
                           .arg(Staging(*parent), inTable.join(QStringLiteral(" AND ")));
            sql += QStringLiteral(" ORDER BY s.NRLINHA");
            for (const TFinding& f : Findings(db_, sql, int(reference.Columns.size())))
                Report(table, f.Line, reference.Columns.last(),
                       QStringLiteral("%1 %2 não existe (nem no banco nem em %3)")
                           .arg(Name(parent->Record), f.Values.join(u'/'), Name(parent->File)));
        }
    }

    // "t.C IS DISTINCT FROM s.C OR ..." over the columns an import may change.
    static QString Differs(const TImportTable& table, const QList<bool>& present, bool onlyQuantity = false)
    {
        QStringList terms;
        for (qsizetype i = table.KeyColumns; i < table.Columns.size(); ++i) {
            const TImportColumn& column = table.Columns[i];
            if (!present[i] || column.NewOnly || (onlyQuantity && column.Type != TColumnType::Quantity))
                continue;
            terms << QStringLiteral("t.%1 IS DISTINCT FROM s.%1").arg(Name(column.Name));
        }
        return terms.isEmpty() ? QStringLiteral("1 = 0") : u'(' + terms.join(QStringLiteral(" OR ")) + u')';
    }

    void Refuse(const TImportTable& table, const QString& sql, int values, const char* column,
                const std::function<QString(const QStringList&)>& message)
    {
        for (const TFinding& f : Findings(db_, sql, values))
            Report(table, f.Line, column, message(f.Values));
    }

    // Promise 3: what readings and confirmations rest on.
    void Protect(const TImportTable& table, const QList<bool>& present)
    {
        const QString staging = Staging(table), target = Name(table.Table);
        const QString match = KeyMatch(table, QStringLiteral("t"), QStringLiteral("s"));
        const QString differs = Differs(table, present);
        const QString name = Name(table.Table);
        const auto confirmed = [](const QStringList& v) {
            return QStringLiteral("a nota fiscal %2 da filial %1 já foi confirmada na conferência: a importação não a "
                                  "altera nem a seus itens")
                .arg(v[0], v[1]);
        };
        if (name == QLatin1String("NOTAFISCAL")) {
            Refuse(table,
                   QStringLiteral("SELECT s.NRLINHA, s.CDFILIAL, s.NRLANCTONF FROM %1 s JOIN %2 t ON %3"
                                  " WHERE t.IDCONFRASTR = 'S' AND %4 ORDER BY s.NRLINHA")
                       .arg(staging, target, match, differs),
                   2, nullptr, confirmed);
        } else if (name == QLatin1String("ITEMNOTA")) {
            const QString base = QStringLiteral(
                "SELECT s.NRLINHA, s.CDFILIAL, s.NRLANCTONF, s.CDPRODUTO FROM %1 s"
                " JOIN NOTAFISCAL n ON n.CDFILIAL = s.CDFILIAL AND n.NRLANCTONF = s.NRLANCTONF"
                " LEFT JOIN %2 t ON %3 WHERE ").arg(staging, target, match);
            Refuse(table, base + QStringLiteral("n.IDCONFRASTR = 'S' AND (t.CDFILIAL IS NULL OR %1) ORDER BY s.NRLINHA")
                                     .arg(differs),
                   3, nullptr, confirmed);
            Refuse(table,
                   base + QStringLiteral("n.IDCONFRASTR <> 'S' AND (t.CDFILIAL IS NULL OR %1) AND EXISTS (SELECT 1 FROM"
                                         " LEITURAIUM l WHERE l.CDFILIAL = s.CDFILIAL AND l.NRLANCTONF = s.NRLANCTONF)"
                                         " ORDER BY s.NRLINHA")
                              .arg(Differs(table, present, true)),
                   3, "QTITEMPROD", [](const QStringList& v) {
                       return QStringLiteral("a nota fiscal %2 da filial %1 já tem leituras de IUM: a importação não "
                                             "inclui itens nela nem muda a quantidade de um item (produto %3)")
                           .arg(v[0], v[1], v[2]);
                   });
        } else if (name == QLatin1String("PRODUTO")) {
            Refuse(table,
                   QStringLiteral("SELECT s.NRLINHA, s.CDPRODUTO FROM %1 s JOIN %2 t ON %3"
                                  " WHERE (t.CDGTIN <> s.CDGTIN OR t.IDCONTROLAIUM <> s.IDCONTROLAIUM)"
                                  " AND EXISTS (SELECT 1 FROM LEITURAIUM l WHERE l.CDPRODUTO = s.CDPRODUTO)"
                                  " ORDER BY s.NRLINHA")
                       .arg(staging, target, match),
                   1, nullptr, [](const QStringList& v) {
                       return QStringLiteral("o produto %1 já tem leituras de IUM: a importação não muda seu GTIN nem "
                                             "seu controle de IUM")
                           .arg(v[0]);
                   });
        } else if (table.InsertOnly) {
            Refuse(table,
                   QStringLiteral("SELECT s.NRLINHA, s.CDFILIAL, s.NRLANCTONF FROM %1 s JOIN %2 t ON %3 WHERE %4"
                                  " ORDER BY s.NRLINHA")
                       .arg(staging, target, match, differs),
                   2, nullptr, [&table](const QStringList& v) {
                       return QStringLiteral("esta %1 da nota fiscal %2 da filial %3 já está registrada com outros "
                                             "dados: a importação não muda o que a conferência registrou")
                           .arg(Name(table.Record), v[1], v[0]);
                   });
        }
    }

    TImportCount Merge(const TImportTable& table, const QList<bool>& present, qint64 staged)
    {
        const QString staging = Staging(table), target = Name(table.Table);
        const QString match = KeyMatch(table, QStringLiteral("t"), QStringLiteral("s"));
        TImportCount count{Name(table.File)};
        if (!table.InsertOnly) {
            QStringList sets;
            for (qsizetype i = table.KeyColumns; i < table.Columns.size(); ++i)
                if (present[i] && !table.Columns[i].NewOnly)
                    sets << QStringLiteral("%1 = s.%1").arg(Name(table.Columns[i].Name));
            if (!sets.isEmpty()) {
                TSql update(db_, QStringLiteral("UPDATE %1 AS t SET %2 FROM %3 AS s WHERE %4 AND %5")
                                     .arg(target, sets.join(QStringLiteral(", ")), staging, match,
                                          Differs(table, present)));
                update.Exec();
                count.Updated = update.RowsAffected();
            }
        }
        TSql insert(db_, QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %4 s WHERE NOT EXISTS"
                                        " (SELECT 1 FROM %1 t WHERE %5)")
                             .arg(target, Columns(table).join(QStringLiteral(", ")),
                                  Columns(table, QStringLiteral("s")).join(QStringLiteral(", ")), staging, match));
        insert.Exec();
        count.Inserted = insert.RowsAffected();
        count.Unchanged = staged - count.Inserted - count.Updated;
        return count;
    }

    TDatabase& db_;
    QDir folder_;
    TImportProgress* progress_;
    TImportResult& result_;
    QStringList staged_;
    struct TLoaded {
        const TImportTable* Table;
        QList<bool> Present;
        qint64 Staged;
    };
    QList<TLoaded> loaded_;
};

// PostgreSQL: no other writer changes the tables an import checks between
// its checks and its merge (a reading taken meanwhile would escape
// promise 3); readers go on.
void LockTables(TDatabase& db)
{
    if (db.Engine() != TEngine::Postgres)
        return;
    QStringList tables;
    for (const TImportTable& table : ImportTables())
        tables << Name(table.Table);
    db.Execute(QStringLiteral("LOCK TABLE %1 IN EXCLUSIVE MODE").arg(tables.join(QStringLiteral(", "))));
}

} // namespace

TImportResult ImportFolder(TDatabase& db, const QString& folder, TImportMode mode, TImportProgress* progress)
{
    TImportResult result;
    TScopedTransaction transaction(db, TScopedTransaction::TKind::Write);
    LockTables(db);
    TImport(db, folder, progress, result).Run();
    if (result.Problems.Empty() && mode == TImportMode::Write) {
        transaction.Commit();
        result.Written = true;
    }
    return result;
}
