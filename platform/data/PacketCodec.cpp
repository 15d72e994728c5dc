#include "PacketCodec.h"

#include "rtl/Exceptions.h"

#include <QHashFunctions>

#include <algorithm>
#include <cstring>
#include <string>
#include <limits>
#include <numeric>

namespace {

// What a column remembers of the texts it sent in full, and when it gives
// up looking texts up (PacketCodec.h).
constexpr qsizetype RememberedTexts = 1 << 16;
constexpr qsizetype RememberedBytes = 16 << 20;
constexpr qint64 UniqueAfter = 4096;

bool SameText(QByteArrayView a, const std::string& b)
{
    return size_t(a.size()) == b.size() && (b.empty() || std::memcmp(a.data(), b.data(), b.size()) == 0);
}

// A seeded hash of a text, a word at a time (the texts are codes and names
// of a few to a few dozen bytes), ending in a full mix.
quint64 HashText(QByteArrayView text, quint64 seed)
{
    constexpr quint64 multiplier = 0x9e3779b97f4a7c15u;
    quint64 h = seed ^ (quint64(text.size()) * multiplier);
    const char* p = text.data();
    qsizetype left = text.size();
    auto mix = [&h](quint64 word) {
        h = (h ^ word) * multiplier;
        h ^= h >> 29;
    };
    for (; left >= 8; p += 8, left -= 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        mix(word);
    }
    if (left > 0) {
        quint64 word = 0;
        for (qsizetype i = 0; i < left; ++i)
            word |= quint64(quint8(p[i])) << (8 * i);
        mix(word);
    }
    // The slot comes from the low bits: every bit of the text must reach them.
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdu;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53u;
    return h ^ (h >> 33);
}

// The texts a column sent in full and the number each went as: open
// addressing over copies kept in one buffer. A search looks at a few slots
// at most, and a text that finds them all taken is neither found nor
// remembered: a reference is optional, so texts that collide cost bytes on
// the wire, never a long search.
class TSentTexts {
public:
    qint64 Find(QByteArrayView text, quint64 hash) const
    {
        if (slots_.empty())
            return -1;
        const size_t mask = slots_.size() - 1;
        for (size_t i = size_t(hash) & mask, probe = 0; probe < MaxProbes; i = (i + 1) & mask, ++probe) {
            const TSlot& slot = slots_[i];
            if (slot.entry < 0)
                return -1;
            if (slot.hash == hash && slot.size == text.size()
                && std::memcmp(bytes_.data() + slot.offset, text.data(), size_t(text.size())) == 0)
                return slot.entry;
        }
        return -1;
    }
    // Remembers `text`, which Find did not find, while there is room.
    void Add(QByteArrayView text, quint64 hash, qint64 entry)
    {
        if (count_ >= RememberedTexts || qsizetype(bytes_.size()) + text.size() > RememberedBytes)
            return;
        if (2 * (count_ + 1) > qsizetype(slots_.size()))
            Rehash(std::max<size_t>(64, 2 * slots_.size()));
        if (Place({hash, entry, qsizetype(bytes_.size()), text.size()})) {
            bytes_.append(text.data(), size_t(text.size()));
            ++count_;
        }
    }

private:
    static constexpr size_t MaxProbes = 64;
    struct TSlot {
        quint64 hash = 0;
        qint64 entry = -1;  // -1: free
        qsizetype offset = 0;
        qsizetype size = 0;
    };
    bool Place(const TSlot& slot)
    {
        const size_t mask = slots_.size() - 1;
        for (size_t i = size_t(slot.hash) & mask, probe = 0; probe < MaxProbes; i = (i + 1) & mask, ++probe) {
            if (slots_[i].entry < 0) {
                slots_[i] = slot;
                return true;
            }
        }
        return false;
    }
    void Rehash(size_t size)
    {
        std::vector<TSlot> old(size);
        old.swap(slots_);
        for (const TSlot& slot : old)
            if (slot.entry >= 0)
                Place(slot);
    }

    std::vector<TSlot> slots_;  // a power of two of them, at most half taken
    std::string bytes_;
    qsizetype count_ = 0;
};

} // namespace

struct TPacketWriter::TColumnTexts {
    // Plain form.
    QString last;             // the previous row's text
    QByteArray lastUtf8;      // the same in UTF-8
    // Compact form.
    std::string previous;     // the previous row's text in UTF-8
    qint64 previousEntry = -1;  // its number among the texts sent
    qint64 sent = 0;          // texts sent in full
    qint64 found = 0;         // texts found among those sent
    TSentTexts known;
};

TPacketWriter::TPacketWriter(QList<TFieldDesc> fields, TPacketForm form)
    : fields_(std::move(fields))
    , form_(form)
    , texts_(fields_.size())
{
}

TPacketWriter::~TPacketWriter() = default;

void TPacketWriter::AddString(const QString& value)
{
    if (form_ == TPacketForm::Compact) {
        AddUtf8(value.toUtf8());
        return;
    }
    TColumnTexts& t = texts_[size_t(Take(TRowCursor::TValue::Text))];
    // Starts as a null text, which an empty value matches: the empty UTF-8
    // is right for it.
    if (!value.isSharedWith(t.last) && value != t.last) {
        t.last = value;
        t.lastUtf8 = value.toUtf8();
    }
    out_.Utf8(t.lastUtf8);
}

void TPacketWriter::AddUtf8(QByteArrayView value)
{
    TColumnTexts& t = texts_[size_t(Take(TRowCursor::TValue::Text))];
    if (form_ == TPacketForm::Plain) {
        out_.Utf8(value);
        return;
    }
    qint64 entry = t.previousEntry >= 0 && SameText(value, t.previous) ? t.previousEntry : -1;
    quint64 hash = 0;
    const bool lookUp = entry < 0 && (t.found > 0 || t.sent < UniqueAfter);
    if (entry < 0) {
        t.previous.assign(value.data() ? value.data() : "", size_t(value.size()));
        if (lookUp) {
            hash = HashText(value, quint64(QHashSeed::globalSeed()));
            entry = t.known.Find(value, hash);
            t.found += entry >= 0;
        }
    }
    if (entry >= 0) {
        out_.Unsigned(quint64(t.sent - 1 - entry));
    } else {
        out_.Utf8(value);
        entry = t.sent++;
        if (lookUp)
            t.known.Add(value, hash, entry);
    }
    t.previousEntry = entry;
}

void TPacketWriter::AddNumber(double value)
{
    Take(TRowCursor::TValue::Number);
    if (form_ == TPacketForm::Plain)
        out_.Double(value);
    else
        out_.Number(value);
}

void TPacketWriter::AddNull()
{
    Take(TRowCursor::TValue::Null);
    out_.Null();
}

void TPacketWriter::EndRow()
{
    if (fields_.isEmpty())  // a row of no values has no first value to open it
        out_.StartArray(0);
    cursor_.EndRow(fields_);
    ++rowCount_;
}

TEncodedPacket TPacketWriter::Finish() const
{
    cursor_.CheckNoOpenRow();
    TEncodedPacket packet;
    packet.Rows = rowCount_;
    packet.Form = form_;
    packet.Cbor.reserve(rows_.size() + 16 + 32 * fields_.size());
    TCborWriter w(packet.Cbor);
    w.StartArray(2);
    w.StartArray(quint64(fields_.size()));
    for (const TFieldDesc& f : fields_) {
        w.StartArray(3);
        w.Text(f.Name);
        w.Unsigned(quint64(f.Type));
        w.Unsigned(quint64(f.Size));
    }
    w.StartArray(quint64(rowCount_));
    w.Encoded(rows_);
    return packet;
}

QByteArray EncodePacket(const TDataPacket& packet, TPacketForm form)
{
    TPacketWriter writer(packet.Fields(), form);
    const int fields = packet.FieldCount();
    for (int r = 0; r < packet.RowCount(); ++r) {
        for (int c = 0; c < fields; ++c) {
            if (packet.IsNull(r, c))
                writer.AddNull();
            else if (packet.Field(c).Type == TFieldType::ftString)
                writer.AddString(packet.String(r, c));
            else
                writer.AddNumber(packet.Number(r, c));
        }
        writer.EndRow();
    }
    return writer.Finish().Cbor;
}

TEncodedPacket Reencode(const TEncodedPacket& packet, TPacketForm form)
{
    if (packet.Form == form)
        return packet;
    return {EncodePacket(DecodePacket(packet.Cbor), form), packet.Rows, form};
}

namespace {

[[noreturn]] void bad(const QString& what)
{
    throw EDatabaseError(QStringLiteral("Pacote de dados inválido: %1.").arg(what));
}

quint64 readUnsigned(TCborReader& r, const char* what)
{
    quint64 v = 0;
    if (!r.TakeUnsigned(v))
        bad(QStringLiteral("esperado inteiro sem sinal em %1").arg(QLatin1String(what)));
    return v;
}

// What each piece of a decoded packet holds (DataPacket.cpp): a string cell
// its text's number, a float or date cell its number and null flag, a text
// its slot in the column; a field its description, name and column.
constexpr qint64 StringCellCost = sizeof(quint32);
constexpr qint64 NumberCellCost = sizeof(double) + 1;
constexpr qint64 TextSlotCost = sizeof(QString);
constexpr qint64 PacketCost = 512;

// The texts of one column last received in full, as their bytes in the
// input and the number of the stored text each became: the newest, of any
// length, and the last few short ones. A text equal to one of them is stored
// once: the plain form repeats a branch, an invoice or an indicator in every
// row, a writer repeats in full a text it no longer remembers, and a short
// text costs many times its bytes as a string of its own. Longer texts are
// compared with the newest only (comparing costs time, and a long text costs
// little more than its bytes).
class TRecentTexts {
public:
    qint64 Find(QByteArrayView text) const
    {
        if (newestStored_ >= 0 && text == newest_)
            return newestStored_;
        if (text.size() > MaxShortBytes)
            return -1;
        for (int i = 0; i < count_; ++i)
            if (short_[i] == text)
                return shortStored_[i];
        return -1;
    }
    void Add(QByteArrayView text, qint64 stored)
    {
        newest_ = text;
        newestStored_ = stored;
        if (text.size() > MaxShortBytes)
            return;
        short_[next_] = text;
        shortStored_[next_] = stored;
        next_ = (next_ + 1) % Shorts;
        count_ = std::min(count_ + 1, Shorts);
    }

private:
    static constexpr qsizetype MaxShortBytes = 16;
    static constexpr int Shorts = 4;
    QByteArrayView newest_;
    qint64 newestStored_ = -1;
    QByteArrayView short_[Shorts];
    qint64 shortStored_[Shorts] = {};
    int count_ = 0;
    int next_ = 0;
};

// A field: its description, its column's four vectors and their blocks,
// and what reading its rows keeps for it (TRecentTexts and a vector).
constexpr qint64 FieldCost = sizeof(TFieldDesc) + 5 * sizeof(std::vector<int>) + 4 * TDecodeBudget::BlockCost
                             + 5 * (sizeof(QByteArrayView) + sizeof(qint64)) + 2 * sizeof(qint64);

// A field takes at least [ name of 1+ characters, kind, size ]: 5 bytes.
constexpr qint64 MinFieldBytes = 5;

QList<TFieldDesc> readFields(TCborReader& r, const TPacketLimits& limits, TDecodeBudget& budget)
{
    QList<TFieldDesc> fields;
    TCborArray list(r, "campos");
    if (list.Length() > limits.maxFields)
        bad(QStringLiteral("%1 campos, acima do limite de %2").arg(list.Length()).arg(limits.maxFields));
    if (list.Length() > r.Remaining() / MinFieldBytes)
        bad(QStringLiteral("%1 campos declarados, mais do que os dados contêm").arg(list.Length()));
    // Indefinite: the list grows as fields arrive (three slots a field at its peak).
    budget.Charge(list.Length() >= 0 ? list.Length() * qint64(sizeof(TFieldDesc)) : 0);
    fields.reserve(qsizetype(std::max<qint64>(list.Length(), 0)));
    while (list.More()) {
        if (fields.size() >= limits.maxFields)
            bad(QStringLiteral("campos acima do limite de %1").arg(limits.maxFields));
        // A definite array of three: its items are read in turn.
        TCborArray desc(r, "descrição de campo");
        if (desc.Length() != 3)
            bad(QStringLiteral("descrição de campo deve ter 3 itens"));
        TFieldDesc d;
        budget.Charge(FieldCost + (list.Length() < 0 ? 3 * qint64(sizeof(TFieldDesc)) : 0));
        budget.ChargeText(r);
        d.Name = r.TakeString(limits.maxStringBytes);
        if (d.Name.isEmpty())
            bad(QStringLiteral("campo sem nome"));
        // Names are looked up without regard to case (TDataPacket::IndexOf).
        for (const TFieldDesc& other : std::as_const(fields))
            if (other.Name.compare(d.Name, Qt::CaseInsensitive) == 0)
                bad(QStringLiteral("campo '%1' repetido").arg(d.Name.left(40)));
        const quint64 kind = readUnsigned(r, "tipo de campo");
        if (kind < 1 || kind > 3)
            bad(QStringLiteral("tipo de campo desconhecido (%1) em '%2'").arg(kind).arg(d.Name));
        d.Type = TFieldType(kind);
        const quint64 size = readUnsigned(r, "tamanho de campo");
        if (size > quint64(limits.maxStringBytes))
            bad(QStringLiteral("tamanho %1 do campo '%2' acima do limite").arg(size).arg(d.Name));
        d.Size = int(size);
        fields.append(d);
    }
    return fields;
}

// The rows an indefinite rows array holds, counted without decoding them;
// -1 when a row is not an array of plain values (reading it will say what is
// wrong) or holds a chunked text.
qint64 countRows(TCborReader r)
{
    qint64 rows = 0;
    try {
        for (TCborArray list(r, "registros"); list.More(); ++rows) {
            if (r.Kind() != TCborKind::Array)
                return -1;
            for (TCborArray row(r, "registro"); row.More();) {
                if (r.Kind() == TCborKind::Text && !r.Head().Indefinite) {
                    QByteArray unused;
                    r.TakeText(unused, std::numeric_limits<qint64>::max());
                } else if (r.Kind() == TCborKind::Unsigned || r.Kind() == TCborKind::Negative
                           || r.Kind() == TCborKind::Float || r.Kind() == TCborKind::Simple) {
                    r.Next();
                } else {
                    return -1;
                }
            }
        }
    } catch (const ECborError&) {
        return -1;
    }
    return rows;
}

// Reads the rows into their columns, one a field; returns the row count. The row count, declared (and checked
// against the bytes that follow) or counted beforehand, is reserved at once;
// otherwise, and for each column's stored texts, the vectors grow as values
// arrive and are charged three times their items (at a doubling they hold
// the old block and the new).
//
// References name texts by the order the column received them, and the
// stored texts leave out a text equal to a recent one. While none was left
// out the two orders agree; once both a reference and a text left out have
// come, `received` maps the one to the other. It is made from what the
// column holds so far: before the first reference every non-null cell was a
// text received; before the first text left out, every text was stored. A chunked text is joined in one
// buffer, which the next reuses; the budget is charged for its largest size
// once.
int readRows(TCborReader& r, const QList<TFieldDesc>& fields, const TPacketLimits& limits,
             std::vector<TPacketColumn>& cells, TDecodeBudget& budget)
{
    const int nFields = int(fields.size());
    const TCborReader atRows = r;
    TCborArray rows(r, "registros");
    const qint64 declaredRows = rows.Length();
    if (declaredRows > limits.maxRows || (nFields > 0 && declaredRows > limits.maxCells / nFields))
        bad(QStringLiteral("%1 registros, acima do limite").arg(declaredRows));
    // A row takes at least one byte for itself and one a value.
    if (declaredRows > r.Remaining() / (nFields + 1))
        bad(QStringLiteral("%1 registros declarados, mais do que os dados contêm").arg(declaredRows));
    // The kind of each field, looked up once rather than per value.
    std::vector<char> isString(static_cast<size_t>(nFields));
    qint64 rowCost = 0;
    for (int c = 0; c < nFields; ++c) {
        isString[size_t(c)] = fields[c].Type == TFieldType::ftString;
        rowCost += isString[size_t(c)] ? StringCellCost : NumberCellCost;
    }
    const qint64 knownRows = declaredRows >= 0 ? declaredRows : countRows(atRows);
    if (knownRows >= 0) {
        budget.Charge(knownRows * rowCost);
        for (int c = 0; c < nFields; ++c)
            cells[size_t(c)].Reserve(isString[size_t(c)], size_t(knownRows));
    }
    struct TColumn {
        TRecentTexts recent;
        qint64 stored = 0;                // texts kept
        qint64 receivedCount = 0;         // texts received in full
        bool referenced = false;          // a reference has come
        bool mapped = false;              // `received` is kept
        std::vector<quint32> received;    // the kept text each received text became
    };
    std::vector<TColumn> columns{size_t(nFields)};
    QByteArray joined;
    qint64 count = 0;
    while (rows.More()) {
        if (++count > limits.maxRows || count * std::max(1, nFields) > limits.maxCells)
            bad(QStringLiteral("registros acima do limite"));
        if (knownRows < 0)
            budget.Charge(3 * rowCost);
        TCborArray row(r, "registro");
        if (row.Length() >= 0 && row.Length() != nFields)
            bad(QStringLiteral("registro %1 com %2 valores para %3 campos").arg(count).arg(row.Length()).arg(nFields));
        for (int c = 0; c < nFields; ++c) {
            if (!row.More())
                bad(QStringLiteral("registro %1 com menos valores que campos").arg(count));
            TColumn& column = columns[size_t(c)];
            TPacketColumn& cell = cells[size_t(c)];
            if (r.IsSimple(Cbor::Null) || r.IsSimple(Cbor::Undefined)) {
                cell.AddNull(isString[size_t(c)]);
                r.Next();
            } else if (!isString[size_t(c)]) {
                double v = 0;
                if (!r.TakeNumber(v))
                    bad(QStringLiteral("campo '%1' do registro %2 deveria ser número").arg(fields[c].Name).arg(count));
                cell.AddNumber(v);
            } else if (r.Kind() == TCborKind::Text) {
                // A chunked text lives in the joined buffer until the next:
                // it is compared with the recent texts but never kept as one.
                const bool chunked = r.Head().Indefinite;
                if (chunked && r.TextBytes() > joined.capacity())
                    budget.Charge(r.TextBytes() - joined.capacity() + TDecodeBudget::BlockCost);
                const QByteArrayView text = r.TakeText(joined, limits.maxStringBytes);
                qint64 entry = column.recent.Find(text);
                if (entry >= 0 && column.referenced && !column.mapped) {
                    budget.Charge(3 * qint64(sizeof(quint32)) * column.receivedCount + TDecodeBudget::BlockCost);
                    column.received.resize(size_t(column.receivedCount));
                    std::iota(column.received.begin(), column.received.end(), quint32(0));
                    column.mapped = true;
                }
                budget.Charge((column.mapped ? 3 * qint64(sizeof(quint32)) : 0)
                              + (entry < 0 ? 3 * TextSlotCost + TDecodeBudget::TextCost(text.size()) : 0));
                if (entry < 0) {
                    entry = column.stored++;
                    cell.AddText(Cbor::DecodeUtf8(text));
                    if (!chunked)
                        column.recent.Add(text, entry);
                } else {
                    cell.AddEntry(quint32(entry));
                }
                ++column.receivedCount;
                if (column.mapped)
                    column.received.push_back(quint32(entry));
            } else {
                quint64 back = 0;
                if (!r.TakeUnsigned(back) || !limits.references)
                    bad(QStringLiteral("campo '%1' do registro %2 deveria ser texto").arg(fields[c].Name).arg(count));
                const qint64 received = column.receivedCount;
                if (back >= quint64(received))
                    bad(QStringLiteral(
                            "o campo '%1' do registro %2 refere-se ao texto %3 antes do último, mas a coluna recebeu %4")
                            .arg(fields[c].Name)
                            .arg(count)
                            .arg(back)
                            .arg(received));
                if (!column.referenced && column.stored != received) {
                    budget.Charge(3 * qint64(sizeof(quint32)) * received + TDecodeBudget::BlockCost);
                    column.received.reserve(size_t(received));
                    for (const quint32 entry : cell.Entries)
                        if (entry != TPacketColumn::NullEntry)
                            column.received.push_back(entry);
                    column.mapped = true;
                }
                column.referenced = true;
                const qint64 index = received - 1 - qint64(back);
                // A text the column holds: FromColumns checks it once more.
                cell.AddEntry(column.mapped ? column.received[size_t(index)] : quint32(index));
            }
        }
        if (row.More())
            bad(QStringLiteral("registro %1 com mais valores que campos").arg(count));
    }
    return int(count);
}

TDataPacket readPacket(TCborReader& r, const TPacketLimits& limits, TDecodeBudget& budget)
{
    budget.Charge(PacketCost);
    // A definite array of two, read in turn: the fields, then the rows.
    TCborArray packet(r, "pacote");
    if (packet.Length() != 2)
        bad(QStringLiteral("o pacote deve ser uma lista de 2 itens"));
    QList<TFieldDesc> fields = readFields(r, limits, budget);
    std::vector<TPacketColumn> columns(size_t(fields.size()));
    const int rows = readRows(r, fields, limits, columns, budget);
    return TDataPacket::FromColumns(std::move(fields), std::move(columns), rows);
}

} // namespace

TDataPacket ReadPacket(TCborReader& r, const TPacketLimits& limits, TDecodeBudget& budget)
{
    try {
        return readPacket(r, limits, budget);
    } catch (const ECborError& e) {
        bad(e.Message());
    }
}

TDataPacket ReadPacket(TCborReader& r, const TPacketLimits& limits)
{
    TDecodeBudget budget(r.Remaining());
    return ReadPacket(r, limits, budget);
}

TDataPacket DecodePacket(QByteArrayView bytes, const TPacketLimits& limits)
{
    try {
        // The reader reads its first head at once, which may already be bad.
        TCborReader r(bytes);
        TDataPacket p = ReadPacket(r, limits);
        if (!r.AtEnd())
            bad(QStringLiteral("bytes a mais depois do pacote"));
        return p;
    } catch (const ECborError& e) {
        bad(e.Message());
    }
}
