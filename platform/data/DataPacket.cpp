#include "DataPacket.h"

#include "rtl/Exceptions.h"

#include <QHash>
#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>
#include <numeric>

namespace {
constexpr quint32 NullEntry = TPacketColumn::NullEntry;
using Column = TPacketColumn;

using Bucket = std::vector<int>;
using KeyIndex = QHash<QStringList, Bucket>;

const QString& emptyString()
{
    static const QString empty;
    return empty;
}
} // namespace

struct TDataPacket::Storage {
    QList<TFieldDesc> fields;
    std::vector<Column> columns;
    int rows = 0;

    mutable std::mutex indexMutex;
    mutable std::map<std::vector<int>, KeyIndex> indexes;
    mutable std::atomic<int> indexBuilds{0};

    explicit Storage(QList<TFieldDesc> f) : fields(std::move(f)), columns(fields.size()) {}
    bool isString(int c) const { return fields[c].Type == TFieldType::ftString; }
};

namespace {
std::shared_ptr<TDataPacket::Storage> emptyStorage()
{
    static const auto empty = std::make_shared<TDataPacket::Storage>(QList<TFieldDesc>{});
    return empty;
}
} // namespace

TDataPacket::TDataPacket() : d(emptyStorage()) {}
TDataPacket::TDataPacket(const TDataPacket&) = default;
TDataPacket& TDataPacket::operator=(const TDataPacket&) = default;
TDataPacket::TDataPacket(TDataPacket&& o) noexcept : d(std::move(o.d)) { o.d = emptyStorage(); }
TDataPacket& TDataPacket::operator=(TDataPacket&& o) noexcept
{
    std::swap(d, o.d);
    return *this;
}
TDataPacket::~TDataPacket() = default;

int TDataPacket::FieldCount() const { return int(d->fields.size()); }
const TFieldDesc& TDataPacket::Field(int column) const { return d->fields.at(column); }
const QList<TFieldDesc>& TDataPacket::Fields() const { return d->fields; }
int TDataPacket::RowCount() const { return d->rows; }

int TDataPacket::IndexOf(const QString& fieldName) const
{
    for (int i = 0; i < d->fields.size(); ++i)
        if (d->fields[i].Name.compare(fieldName, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool TDataPacket::IsNull(int row, int column) const
{
    const Column& c = d->columns[column];
    return d->isString(column) ? c.Entries[row] == NullEntry : c.Nulls[row] != 0;
}

const QString& TDataPacket::String(int row, int column) const
{
    if (!d->isString(column))
        return emptyString();
    const quint32 entry = d->columns[column].Entries[row];
    return entry == NullEntry ? emptyString() : d->columns[column].Texts[entry];
}

double TDataPacket::Number(int row, int column) const
{
    const Column& c = d->columns[column];
    return d->isString(column) || c.Nulls[row] ? 0.0 : c.Numbers[row];
}

TDataPacket TDataPacket::Select(const std::vector<int>& rows) const
{
    auto s = std::make_shared<Storage>(d->fields);
    s->rows = int(rows.size());
    for (int c = 0; c < d->fields.size(); ++c) {
        const Column& from = d->columns[c];
        Column& to = s->columns[c];
        if (d->isString(c)) {
            // Only the texts the selected rows use, each once.
            std::vector<quint32> renumbered(from.Texts.size(), NullEntry);
            to.Reserve(true, rows.size());
            for (int r : rows) {
                const quint32 entry = from.Entries[r];
                if (entry != NullEntry && renumbered[entry] == NullEntry) {
                    renumbered[entry] = quint32(to.Texts.size());
                    to.Texts.push_back(from.Texts[entry]);
                }
                to.Entries.push_back(entry == NullEntry ? NullEntry : renumbered[entry]);
            }
        } else {
            to.Reserve(false, rows.size());
            for (int r : rows) {
                to.Nulls.push_back(from.Nulls[r]);
                to.Numbers.push_back(from.Numbers[r]);
            }
        }
    }
    TDataPacket p;
    p.d = std::move(s);
    return p;
}

TDataPacket TDataPacket::FromColumns(QList<TFieldDesc> fields, std::vector<TPacketColumn> columns, int rows)
{
    auto s = std::make_shared<Storage>(std::move(fields));
    if (columns.size() != s->columns.size())
        throw EDatabaseError(QStringLiteral("Pacote de dados com %1 colunas para %2 campos.")
                                 .arg(columns.size())
                                 .arg(s->fields.size()));
    const size_t n = size_t(rows);
    for (size_t c = 0; c < columns.size(); ++c) {
        const Column& col = columns[c];
        const bool whole = s->isString(int(c))
                               ? col.Entries.size() == n && col.Numbers.empty() && col.Nulls.empty()
                                     && std::all_of(col.Entries.begin(), col.Entries.end(),
                                                    [texts = col.Texts.size()](quint32 e) {
                                                        return e == NullEntry || e < texts;
                                                    })
                               : col.Numbers.size() == n && col.Nulls.size() == n && col.Entries.empty()
                                     && col.Texts.empty();
        if (!whole)
            throw EDatabaseError(
                QStringLiteral("Coluna '%1' incompleta ou com texto inexistente.").arg(s->fields[qsizetype(c)].Name));
    }
    s->columns = std::move(columns);
    s->rows = rows;
    TDataPacket p;
    p.d = std::move(s);
    return p;
}

bool TDataPacket::SharesStorageWith(const TDataPacket& other) const { return d == other.d; }

bool TDataPacket::operator==(const TDataPacket& other) const
{
    if (d == other.d)
        return true;
    if (d->fields != other.d->fields || d->rows != other.d->rows)
        return false;
    for (int c = 0; c < d->fields.size(); ++c) {
        for (int r = 0; r < d->rows; ++r) {
            if (IsNull(r, c) != other.IsNull(r, c))
                return false;
            if (d->isString(c) ? String(r, c) != other.String(r, c) : Number(r, c) != other.Number(r, c))
                return false;
        }
    }
    return true;
}

const std::vector<int>& TDataPacket::RowsMatching(const std::vector<int>& columns, const QStringList& key) const
{
    static const Bucket none;
    std::lock_guard lock(d->indexMutex);
    auto it = d->indexes.find(columns);
    if (it == d->indexes.end()) {
        // Rows come in runs with one key (a work list is sorted by invoice and
        // product), so a row whose key strings equal the previous row's joins
        // that row's bucket without building and hashing its key again.
        // Equal entries are equal texts, so most rows are matched to the run
        // by comparing entry numbers alone.
        KeyIndex index;
        QStringList rowKey;
        rowKey.resize(columns.size());
        std::vector<quint32> runEntries(columns.size(), NullEntry);
        // A run's rows join its bucket at once when the run ends (one
        // allocation a run rather than one a doubling), before the next
        // insertion can move the bucket.
        Bucket* runBucket = nullptr;
        int runStart = 0;
        auto endRun = [&](int end) {
            if (!runBucket)
                return;
            const size_t at = runBucket->size();
            runBucket->resize(at + size_t(end - runStart));
            std::iota(runBucket->begin() + qsizetype(at), runBucket->end(), runStart);
            runBucket = nullptr;
        };
        for (int r = 0; r < d->rows; ++r) {
            bool hasNull = false;
            bool sameAsRun = runBucket != nullptr;
            for (size_t k = 0; k < columns.size(); ++k) {
                const Column& col = d->columns[columns[k]];
                const quint32 entry = col.Entries[r];
                if (entry == NullEntry) {
                    hasNull = true;
                    break;
                }
                if (entry == runEntries[k])
                    continue;
                const QString& value = col.Texts[entry];
                if (sameAsRun && value != rowKey[qsizetype(k)])
                    sameAsRun = false;
                runEntries[k] = entry;
                rowKey[qsizetype(k)] = value;
            }
            if (hasNull) {
                endRun(r);
                std::fill(runEntries.begin(), runEntries.end(), NullEntry);
                continue;
            }
            if (!sameAsRun) {
                endRun(r);
                runBucket = &index[rowKey];
                runStart = r;
            }
        }
        endRun(d->rows);
        it = d->indexes.emplace(columns, std::move(index)).first;
        ++d->indexBuilds;
    }
    const auto found = it->second.constFind(key);
    return found == it->second.cend() ? none : *found;
}

int TDataPacket::IndexBuildCount() const { return d->indexBuilds.load(); }

// --- rows ------------------------------------------------------------------

void TRowCursor::Refuse(const QList<TFieldDesc>& fields, TValue value) const
{
    if (column_ >= fields.size())
        throw EDatabaseError(QStringLiteral("Registro com mais valores que campos (%1).").arg(fields.size()));
    const TFieldDesc& field = fields[column_];
    if (value == TValue::Text)
        throw EDatabaseError(
            QStringLiteral("Campo '%1': esperado %2, recebido texto.").arg(field.Name, FieldTypeName(field.Type)));
    throw EDatabaseError(QStringLiteral("Campo '%1': esperado texto, recebido número.").arg(field.Name));
}

void TRowCursor::EndRow(const QList<TFieldDesc>& fields)
{
    if (column_ != fields.size())
        throw EDatabaseError(QStringLiteral("Registro com %1 valores para %2 campos.").arg(column_).arg(fields.size()));
    column_ = 0;
}

void TRowCursor::CheckNoOpenRow() const
{
    if (column_ != 0)
        throw EDatabaseError(QStringLiteral("Pacote de dados com registro incompleto."));
}

// --- builder ---------------------------------------------------------------

TDataPacketBuilder::TDataPacketBuilder(QList<TFieldDesc> fields)
    : s_(std::make_shared<TDataPacket::Storage>(std::move(fields)))
{
}

TDataPacketBuilder::~TDataPacketBuilder() = default;

void TDataPacketBuilder::Reserve(int rows)
{
    for (int c = 0; c < s_->fields.size(); ++c)
        s_->columns[c].Reserve(s_->isString(c), size_t(rows));
}

int TDataPacketBuilder::FieldCount() const { return int(s_->fields.size()); }
const QList<TFieldDesc>& TDataPacketBuilder::Fields() const { return s_->fields; }
int TDataPacketBuilder::RowCount() const { return s_->rows; }

void TDataPacketBuilder::AddString(QString value)
{
    Column& col = s_->columns[cursor_.Take(s_->fields, TRowCursor::TValue::Text)];
    // Columns repeat their values from row to row (a branch, an invoice, a
    // warehouse): a value equal to the previous row's takes its entry.
    if (!col.Entries.empty() && col.Entries.back() != NullEntry && col.Texts[col.Entries.back()] == value)
        col.AddEntry(col.Entries.back());
    else
        col.AddText(std::move(value));
}

void TDataPacketBuilder::AddNumber(double value)
{
    s_->columns[cursor_.Take(s_->fields, TRowCursor::TValue::Number)].AddNumber(value);
}

void TDataPacketBuilder::AddNull()
{
    const int c = cursor_.Take(s_->fields, TRowCursor::TValue::Null);
    s_->columns[c].AddNull(s_->isString(c));
}

void TDataPacketBuilder::EndRow()
{
    cursor_.EndRow(s_->fields);
    ++s_->rows;
}

TDataPacket TDataPacketBuilder::Build()
{
    cursor_.CheckNoOpenRow();
    TDataPacket p;
    p.d = std::move(s_);
    s_ = std::make_shared<TDataPacket::Storage>(p.d->fields);
    return p;
}
