#include "Importer.h"

#include "ImportRules.h"
#include "RowMerge.h"
#include "StagedMerge.h"
#include "records/ImportFormat.h"
#include "records/RecordReader.h"

#include <QDir>
#include <QFile>

#include <memory>

using ImportRules::Name;

namespace {

// Progress is told every this many records.
constexpr qint64 ProgressEvery = 4096;

class TImport {
public:
    TImport(TDatabase& db, const QString& folder, TImportProgress* progress, TImportResult& result)
        : db_(db), folder_(folder), progress_(progress), result_(result)
    {
    }

    void Run()
    {
        CheckFolder();
        if (db_.Engine() == TEngine::Sqlite)
            invoicesBefore_ = qint64(Scalar(QStringLiteral("SELECT COALESCE(MAX(rowid), 0) FROM NOTAFISCAL")));
        for (const TImportTable& table : ImportTables()) {
            const QString path = folder_.filePath(Name(table.File));
            if (QFile::exists(path))
                File(table, path);
        }
        // PostgreSQL: every check has seen the database as it was; the
        // merges follow, parents first.
        if (Problems().Empty())
            for (const auto& staged : staged_)
                result_.Counts << staged->Merge();
        for (const QString& table : temporary_)
            db_.Execute(QStringLiteral("DROP TABLE ") + table);
    }

private:
    TProblems& Problems() { return result_.Problems; }

    double Scalar(const QString& sql)
    {
        TSql query(db_, sql);
        query.Exec();
        return query.Next() ? query.Number(0) : 0;
    }

    void CheckFolder()
    {
        if (!folder_.exists()) {
            Problems().Add(folder_.path(), 0, QString(), QStringLiteral("a pasta não existe"));
            return;
        }
        QStringList known;
        for (const TImportTable& table : ImportTables())
            known << Name(table.File);
        bool any = false;
        for (const QString& file : folder_.entryList({QStringLiteral("*.csv"), QStringLiteral("*.CSV")}, QDir::Files)) {
            if (known.contains(file))
                any = true;
            else
                Problems().Add(file, 0, QString(),
                               QStringLiteral("arquivo desconhecido: os arquivos de importação são %1")
                                   .arg(known.join(QStringLiteral(", "))));
        }
        if (!any && Problems().Empty())
            Problems().Add(folder_.path(), 0, QString(), QStringLiteral("a pasta não tem nenhum arquivo de importação"));
    }

    void File(const TImportTable& table, const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            Problems().Add(Name(table.File), 0, QString(),
                           QStringLiteral("não foi possível ler o arquivo: %1").arg(file.errorString()));
            return;
        }
        if (progress_)
            progress_->FileStarted(Name(table.File), file.size());
        TRecordReader reader(table, file, Problems());
        if (reader.Open()) {
            QList<bool> present;
            for (int i = 0; i < table.Columns.size(); ++i)
                present << reader.Present(i);
            if (db_.Engine() == TEngine::Postgres)
                Stage(table, present, reader);
            else
                WriteRows(table, present, reader);
        }
        if (progress_)
            progress_->FileDone();
    }

    void Stage(const TImportTable& table, const QList<bool>& present, TRecordReader& reader)
    {
        auto staged = std::make_unique<TStagedMerge>(db_, table, present, Problems());
        staged->Load(reader, progress_);
        temporary_ << QStringLiteral("IMP_") + Name(table.Table);
        stagedTables_ << &table;
        staged->Check(stagedTables_);
        staged_.push_back(std::move(staged));
    }

    void WriteRows(const TImportTable& table, const QList<bool>& present, TRecordReader& reader)
    {
        TRowMerge rows(db_, table, present, Problems(), invoicesBefore_);
        temporary_ << QStringLiteral("IMP_%1_VISTOS").arg(Name(table.Table));
        TCheckedRecord record;
        qint64 read = 0;
        while (reader.Next(record)) {
            rows.Write(record);
            if (++read % ProgressEvery == 0 && progress_)
                progress_->Advanced(reader.Records(), reader.BytesRead());
        }
        if (progress_)
            progress_->Advanced(reader.Records(), reader.BytesRead());
        result_.Counts << rows.Count();
    }

    TDatabase& db_;
    QDir folder_;
    TImportProgress* progress_;
    TImportResult& result_;
    qint64 invoicesBefore_ = 0;
    QStringList temporary_;
    QList<const TImportTable*> stagedTables_;
    std::vector<std::unique_ptr<TStagedMerge>> staged_;
};

// PostgreSQL: no other writer changes the tables an import checks between
// its checks and its merge (a reading taken meanwhile would escape
// promise 3); readers go on. SQLite's write transaction holds the whole
// database already.
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

void CheckImporter(TDatabase& db)
{
    if (db.Engine() != TEngine::Postgres)
        return;
    // pg_has_role: the owner, a member of it, or a superuser.
    TSql query(db, QStringLiteral("SELECT current_user FROM pg_tables WHERE schemaname = current_schema()"
                                  " AND tablename = 'filial' AND NOT pg_has_role(current_user, tableowner, 'USAGE')"));
    query.Exec();
    if (query.Next())
        throw EDatabaseError(QStringLiteral("O papel %1 não pode importar: a importação roda com o dono do esquema (o "
                                            "papel que o criou com --create-roles), nunca com o papel das estações ou "
                                            "dos servidores. Veja \"Importando os registros da empresa\" em "
                                            "docs/deploy.md.")
                                 .arg(query.Text(0)));
}

TImportResult ImportFolder(TDatabase& db, const QString& folder, TImportMode mode, TImportProgress* progress)
{
    TImportResult result;
    TScopedTransaction transaction(db, TScopedTransaction::TKind::Write);
    CheckImporter(db);
    LockTables(db);
    TImport(db, folder, progress, result).Run();
    if (result.Problems.Empty() && mode == TImportMode::Write) {
        transaction.Commit();
        result.Written = true;
    }
    return result;
}
