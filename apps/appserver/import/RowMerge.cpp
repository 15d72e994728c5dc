#include "RowMerge.h"

#include "ImportRules.h"

#include <QRegularExpression>

using namespace ImportRules;

namespace {

// Parameters: ?N is the record's column N - 1; one more carries what is not
// a column.
constexpr int InvoicesBeforeParameter = 98;

QString Parameter(int column)
{
    return QStringLiteral("?%1").arg(column + 1);
}

// "t.K = ?k AND ..." over `columns` of the table (by index), named as
// `names` (the parent's key, for a reference) or as themselves.
QString Match(const TImportTable& table, const QList<int>& columns, const QStringList& names = {})
{
    QStringList terms;
    for (qsizetype i = 0; i < columns.size(); ++i)
        terms << QStringLiteral("t.%1 = %2")
                     .arg(names.isEmpty() ? Name(table.Columns[columns[i]].Name) : names[i], Parameter(columns[i]));
    return terms.join(QStringLiteral(" AND "));
}

QList<int> Key(const TImportTable& table)
{
    QList<int> key;
    for (int i = 0; i < table.KeyColumns; ++i)
        key << i;
    return key;
}

QString Text(const TCheckedRecord& record, const TImportTable& table, const char* column)
{
    return QString::fromUtf8(record.Values[table.ColumnIndex(column)].Text);
}

} // namespace

struct TRowMerge::TPrepared {
    std::unique_ptr<TStatement> Statement;
    QList<int> Columns;  // the record's columns it binds
    bool InvoicesBefore = false;
};

std::unique_ptr<TRowMerge::TPrepared> TRowMerge::Prepare(const QString& sql)
{
    auto prepared = std::make_unique<TPrepared>();
    prepared->Statement = db_.Connection().Prepare(sql.toUtf8());
    static const QRegularExpression parameter(QStringLiteral("\\?(\\d+)"));
    for (const QRegularExpressionMatch& m : parameter.globalMatch(sql)) {
        const int n = m.captured(1).toInt();
        if (n == InvoicesBeforeParameter)
            prepared->InvoicesBefore = true;
        else if (!prepared->Columns.contains(n - 1))
            prepared->Columns << n - 1;
    }
    return prepared;
}

bool TRowMerge::Run(TPrepared& prepared, const TCheckedRecord& record)
{
    TStatement& statement = *prepared.Statement;
    for (const int column : prepared.Columns)
        ImportRules::Bind(statement, column + 1, record.Values[column]);
    if (prepared.InvoicesBefore)
        statement.BindNumber(InvoicesBeforeParameter, double(invoicesBefore_));
    statement.Execute();
    return statement.Step();
}

TRowMerge::TRowMerge(TDatabase& db, const TImportTable& table, const QList<bool>& present, TProblems& problems,
                     qint64 invoicesBefore)
    : db_(db)
    , table_(table)
    , problems_(problems)
    , invoicesBefore_(invoicesBefore)
    , seenTable_(QStringLiteral("IMP_%1_VISTOS").arg(Name(table.Table)))
    , count_{Name(table.File)}
{
    const QString target = Name(table.Table);
    const QStringList key = KeyColumns(table);
    const QList<int> keyColumns = Key(table);
    QStringList keyParameters;
    for (const int c : keyColumns)
        keyParameters << Parameter(c);
    db.Execute(QStringLiteral("CREATE TEMP TABLE %1 (%2, PRIMARY KEY (%2)) WITHOUT ROWID")
                   .arg(seenTable_, key.join(QStringLiteral(", "))));
    seen_ = Prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT DO NOTHING")
                        .arg(seenTable_, key.join(QStringLiteral(", ")), keyParameters.join(QStringLiteral(", "))));
    {
        TSql last(db, QStringLiteral("SELECT COALESCE(MAX(rowid), 0) FROM ") + target);
        last.Exec();
        rowsBefore_ = last.Next() ? qint64(last.Number(0)) : 0;
    }
    rowid_ = Prepare(QStringLiteral("SELECT t.rowid FROM %1 t WHERE %2").arg(target, Match(table, keyColumns)));
    for (const TImportReference& reference : table.References) {
        const TImportTable* parent = table.Parent(reference);
        QList<int> columns;
        for (const char* column : reference.Columns)
            columns << table.ColumnIndex(column);
        references_.push_back(Prepare(QStringLiteral("SELECT 1 FROM %1 t WHERE %2")
                                          .arg(Name(parent->Table), Match(table, columns, KeyColumns(*parent)))));
    }
    QStringList parameters;
    for (int c = 0; c < table.Columns.size(); ++c)
        parameters << Parameter(c);
    insert_ = Prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT DO NOTHING")
                          .arg(target, Columns(table).join(QStringLiteral(", ")), parameters.join(QStringLiteral(", "))));
    const QString differs = Differs(table, present, Parameter);
    const bool invoices = target == QLatin1String("NOTAFISCAL");
    differs_ = Prepare(QStringLiteral("SELECT %1 FROM %2 t WHERE %3 AND %4")
                           .arg(invoices ? QStringLiteral("t.IDCONFRASTR") : QStringLiteral("1"), target,
                                Match(table, keyColumns), differs));
    const QStringList sets = Sets(table, present, Parameter);
    if (!table.InsertOnly && !sets.isEmpty())
        update_ = Prepare(QStringLiteral("UPDATE %1 AS t SET %2 WHERE %3 AND %4")
                              .arg(target, sets.join(QStringLiteral(", ")), Match(table, keyColumns), differs));
    if (target == QLatin1String("ITEMNOTA")) {
        invoice_ = Prepare(QStringLiteral("SELECT t.IDCONFRASTR, t.rowid > ?%1, EXISTS (SELECT 1 FROM LEITURAIUM l"
                                          " WHERE l.CDFILIAL = t.CDFILIAL AND l.NRLANCTONF = t.NRLANCTONF)"
                                          " FROM NOTAFISCAL t WHERE t.CDFILIAL = ?1 AND t.NRLANCTONF = ?2")
                               .arg(InvoicesBeforeParameter));
        item_ = Prepare(QStringLiteral("SELECT %1, %2 FROM ITEMNOTA t WHERE %3")
                            .arg(differs, Differs(table, present, Parameter, true), Match(table, keyColumns)));
    } else if (target == QLatin1String("PRODUTO")) {
        productRead_ = Prepare(QStringLiteral("SELECT 1 FROM PRODUTO t WHERE %1 AND (t.CDGTIN <> %2 OR t.IDCONTROLAIUM"
                                              " <> %3) AND EXISTS (SELECT 1 FROM LEITURAIUM l WHERE l.CDPRODUTO ="
                                              " t.CDPRODUTO)")
                                   .arg(Match(table, keyColumns), Parameter(table.ColumnIndex("CDGTIN")),
                                        Parameter(table.ColumnIndex("IDCONTROLAIUM"))));
    }
}

TRowMerge::~TRowMerge() = default;

void TRowMerge::Report(qint64 line, const char* column, const QString& problem)
{
    problems_.Add(Name(table_.File), line, column ? Name(column) : QString(), problem);
}

// A record whose key is already in the table: inserted by this file
// before (its rowid is above those the table had), or there before the
// import and already met in this file (the keys of those are kept).
bool TRowMerge::Repeated(const TCheckedRecord& record)
{
    const bool found = Run(*rowid_, record);
    const bool insertedHere = found && qint64(rowid_->Statement->Number(0)) > rowsBefore_;
    rowid_->Statement->Close();
    if (!insertedHere) {
        Run(*seen_, record);
        if (seen_->Statement->RowsAffected() > 0)
            return false;
    }
    QStringList key;
    for (int i = 0; i < table_.KeyColumns; ++i)
        key << QString::fromUtf8(record.Values[i].Text);
    Report(record.Line, nullptr, Duplicate(table_, key));
    return true;
}

bool TRowMerge::ReferencesExist(const TCheckedRecord& record)
{
    bool all = true;
    for (qsizetype r = 0; r < table_.References.size(); ++r) {
        const bool found = Run(*references_[size_t(r)], record);
        references_[size_t(r)]->Statement->Close();
        if (found)
            continue;
        const TImportReference& reference = table_.References[r];
        QStringList values;
        for (const char* column : reference.Columns)
            values << Text(record, table_, column);
        Report(record.Line, reference.Columns.last(), Unknown(*table_.Parent(reference), values));
        all = false;
    }
    return all;
}

// Items of an invoice confirmed before the import, or with readings, are
// not added or changed (Importer.h, promise 3).
bool TRowMerge::ItemAllowed(const TCheckedRecord& record)
{
    const QByteArray key = record.Values[0].Text + '\0' + record.Values[1].Text;
    if (key != invoiceKey_) {
        invoiceKey_ = key;
        invoiceConfirmed_ = invoiceRead_ = false;
        if (Run(*invoice_, record)) {
            const TStatement& state = *invoice_->Statement;
            invoiceConfirmed_ = state.Utf8(0) == "S" && state.Number(1) == 0;
            invoiceRead_ = state.Number(2) != 0;
        }
        invoice_->Statement->Close();
    }
    if (!invoiceConfirmed_ && !invoiceRead_)
        return true;
    bool isNew = true, differs = false, quantityDiffers = false;
    if (Run(*item_, record)) {
        isNew = false;
        differs = item_->Statement->Number(0) != 0;
        quantityDiffers = item_->Statement->Number(1) != 0;
    }
    item_->Statement->Close();
    const QString branch = Text(record, table_, "CDFILIAL"), invoice = Text(record, table_, "NRLANCTONF");
    if (invoiceConfirmed_ && (isNew || differs)) {
        Report(record.Line, nullptr, Confirmed(branch, invoice));
        return false;
    }
    if (invoiceRead_ && (isNew || quantityDiffers)) {
        Report(record.Line, "QTITEMPROD", HasReadings(branch, invoice, Text(record, table_, "CDPRODUTO")));
        return false;
    }
    return true;
}

void TRowMerge::WriteExisting(const TCheckedRecord& record)
{
    if (productRead_) {
        const bool read = Run(*productRead_, record);
        productRead_->Statement->Close();
        if (read) {
            Report(record.Line, nullptr, ProductRead(Text(record, table_, "CDPRODUTO")));
            return;
        }
    }
    const bool differs = Run(*differs_, record);
    const bool confirmed = differs && differs_->Statement->Utf8(0) == "S" && table_.ColumnIndex("IDCONFRASTR") >= 0;
    differs_->Statement->Close();
    if (!differs) {
        ++count_.Unchanged;
        return;
    }
    if (confirmed) {
        Report(record.Line, nullptr, Confirmed(Text(record, table_, "CDFILIAL"), Text(record, table_, "NRLANCTONF")));
        return;
    }
    if (table_.InsertOnly || !update_) {
        Report(record.Line, nullptr,
               ReadingDiffers(table_, Text(record, table_, "CDFILIAL"), Text(record, table_, "NRLANCTONF")));
        return;
    }
    Run(*update_, record);
    ++count_.Updated;
}

// A write the database refused: a reference the foreign keys found
// nowhere, named as the import names it, or another constraint.
void TRowMerge::Refused(const TCheckedRecord& record, const EDatabaseError& error)
{
    if (dynamic_cast<const EDatabaseLost*>(&error))
        throw;
    if (ReferencesExist(record))
        Report(record.Line, nullptr, QStringLiteral("o registro não pôde ser gravado: %1").arg(error.Message()));
}

void TRowMerge::Write(const TCheckedRecord& record)
{
    if (item_ && !ItemAllowed(record))
        return;
    // The common case, a new record, costs one insert: the foreign keys
    // check its references, and a problem is looked into only when one
    // is found.
    try {
        Run(*insert_, record);
    } catch (const EDatabaseError& error) {
        Refused(record, error);
        return;
    }
    if (insert_->Statement->RowsAffected() > 0) {
        ++count_.Inserted;
        return;
    }
    if (Repeated(record))
        return;
    try {
        WriteExisting(record);
    } catch (const EDatabaseError& error) {
        Refused(record, error);
    }
}
