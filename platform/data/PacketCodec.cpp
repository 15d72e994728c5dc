#include "PacketCodec.h"

#include "rtl/Exceptions.h"

#include <algorithm>

namespace {
constexpr qsizetype RememberedTexts = 1 << 16;
}

TPacketWriter::TPacketWriter(QList<TFieldDesc> fields, TPacketForm form)
    : fields_(std::move(fields))
    , form_(form)
    , texts_(fields_.size())
{
}

int TPacketWriter::Take(TRowCursor::TValue value)
{
    if (cursor_.AtRowStart())
        out_.StartArray(quint64(fields_.size()));
    return cursor_.Take(fields_, value);
}

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
    qint64 entry = t.lastEntry >= 0 && value == QByteArrayView(t.lastUtf8) ? t.lastEntry : -1;
    if (entry < 0) {
        t.lastUtf8 = value.toByteArray();
        const auto known = t.entries.constFind(t.lastUtf8);
        if (known != t.entries.cend())
            entry = *known;
    }
    if (entry >= 0) {
        out_.Unsigned(quint64(t.sent - 1 - entry));
    } else {
        out_.Utf8(value);
        entry = t.sent++;
        if (t.entries.size() < RememberedTexts)
            t.entries.insert(t.lastUtf8, entry);
    }
    t.lastEntry = entry;
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

// The texts of one column last received in full, as their bytes in the input
// and the number of the stored text each became. A text equal to one of them
// is stored once: the plain form repeats a branch, an invoice or an
// indicator in every row.
class TRecentTexts {
public:
    qint64 Find(QByteArrayView text) const
    {
        for (int i = 0; i < count_; ++i)
            if (bytes_[i] == text)
                return stored_[i];
        return -1;
    }
    void Add(QByteArrayView text, qint64 stored)
    {
        bytes_[next_] = text;
        stored_[next_] = stored;
        next_ = (next_ + 1) % Size;
        count_ = std::min(count_ + 1, Size);
    }

private:
    static constexpr int Size = 4;
    QByteArrayView bytes_[Size];
    qint64 stored_[Size] = {};
    int count_ = 0;
    int next_ = 0;
};

struct TColumnState {
    qint64 received = 0;  // texts received in full: what references count back over
    qint64 stored = 0;    // distinct texts kept (received, less those equal to a recent one)
    TRecentTexts recent;
};

// A field: its description, its column's four vectors and their blocks,
// and what reading its rows keeps for it.
constexpr qint64 FieldCost = sizeof(TFieldDesc) + 4 * sizeof(std::vector<int>) + 4 * TDecodeBudget::BlockCost
                             + sizeof(TColumnState) + 4 * sizeof(qint64);

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

// Walks the rows, checking everything but the UTF-8 of texts, and tells
// `sink` what each cell holds:
//   Null(c), Number(c, value),
//   NewText(c, bytes)       a text to store as the column's next,
//   StoredText(c, entry)    a text equal to the stored text number `entry`,
//   Received(c, entry)      after either: the text received became `entry`,
//   Reference(c, received)  a reference to the received text number `received`,
//   EndRow().
// Run twice over the same bytes: once to count (TCountingSink), once to
// build, so the packet is allocated once and exactly.
//
// A chunked text is joined in one buffer, which the next reuses; `joined`
// holds the buffer, and the budget is charged for its largest size once.
template <class TSink>
void readRows(TCborReader& r, const QList<TFieldDesc>& fields, const TPacketLimits& limits, TSink& sink,
              QByteArray& joined, TDecodeBudget& budget)
{
    const int nFields = int(fields.size());
    TCborArray rows(r, "registros");
    const qint64 declaredRows = rows.Length();
    if (declaredRows > limits.maxRows || (nFields > 0 && declaredRows > limits.maxCells / nFields))
        bad(QStringLiteral("%1 registros, acima do limite").arg(declaredRows));
    // A row takes at least one byte for itself and one a value.
    if (declaredRows > r.Remaining() / (nFields + 1))
        bad(QStringLiteral("%1 registros declarados, mais do que os dados contêm").arg(declaredRows));
    std::vector<TColumnState> columns{size_t(nFields)};
    qint64 count = 0;
    while (rows.More()) {
        if (++count > limits.maxRows || count * std::max(1, nFields) > limits.maxCells)
            bad(QStringLiteral("registros acima do limite"));
        TCborArray row(r, "registro");
        if (row.Length() >= 0 && row.Length() != nFields)
            bad(QStringLiteral("registro %1 com %2 valores para %3 campos").arg(count).arg(row.Length()).arg(nFields));
        for (int c = 0; c < nFields; ++c) {
            if (!row.More())
                bad(QStringLiteral("registro %1 com menos valores que campos").arg(count));
            TColumnState& column = columns[size_t(c)];
            if (r.IsSimple(Cbor::Null) || r.IsSimple(Cbor::Undefined)) {
                sink.Null(c);
                r.Next();
            } else if (fields[c].Type != TFieldType::ftString) {
                double v = 0;
                if (!r.TakeNumber(v))
                    bad(QStringLiteral("campo '%1' do registro %2 deveria ser número").arg(fields[c].Name).arg(count));
                sink.Number(c, v);
            } else if (r.Kind() == TCborKind::Text) {
                // A chunked text is joined in a buffer the next one reuses:
                // it is compared with the recent texts but never kept as one.
                const bool chunked = r.Head().Indefinite;
                if (chunked && r.TextBytes() > joined.capacity())
                    budget.Charge(r.TextBytes() - joined.capacity() + TDecodeBudget::BlockCost);
                const QByteArrayView text = r.TakeText(joined, limits.maxStringBytes);
                qint64 entry = column.recent.Find(text);
                if (entry < 0) {
                    entry = column.stored++;
                    sink.NewText(c, text);
                    if (!chunked)
                        column.recent.Add(text, entry);
                } else {
                    sink.StoredText(c, entry);
                }
                sink.Received(c, entry);
                ++column.received;
            } else {
                quint64 back = 0;
                if (!r.TakeUnsigned(back))
                    bad(QStringLiteral("campo '%1' do registro %2 deveria ser texto").arg(fields[c].Name).arg(count));
                if (back >= quint64(column.received))
                    bad(QStringLiteral(
                            "o campo '%1' do registro %2 refere-se ao texto %3 antes do último, mas a coluna recebeu %4")
                            .arg(fields[c].Name)
                            .arg(count)
                            .arg(back)
                            .arg(column.received));
                sink.Reference(c, column.received - 1 - qint64(back));
            }
        }
        if (row.More())
            bad(QStringLiteral("registro %1 com mais valores que campos").arg(count));
        sink.EndRow();
    }
}

// The first pass: the sizes of what the packet will hold.
struct TCountingSink {
    explicit TCountingSink(int fields)
        : texts(size_t(fields), 0)
        , received(size_t(fields), 0)
        , references(size_t(fields), false)
    {
    }
    void Null(int) {}
    void Number(int, double) {}
    void NewText(int c, QByteArrayView text)
    {
        ++texts[size_t(c)];
        textBytes += TDecodeBudget::TextCost(text.size());
    }
    void StoredText(int, qint64) {}
    void Received(int c, qint64) { ++received[size_t(c)]; }
    void Reference(int c, qint64) { references[size_t(c)] = true; }
    void EndRow() { ++rows; }

    qint64 rows = 0;
    std::vector<qsizetype> texts;     // stored texts, per column
    std::vector<qint64> received;     // texts received in full, per column
    std::vector<bool> references;     // columns that use references
    qint64 textBytes = 0;             // what the stored texts hold
};

// The second pass: the packet. References name texts by the order they were
// received; `stored` maps that order to the stored texts, in the columns
// that use references.
struct TBuildingSink {
    TDataPacketBuilder& builder;
    std::vector<std::vector<quint32>> stored;

    void Null(int) { builder.AddNull(); }
    void Number(int, double v) { builder.AddNumber(v); }
    void NewText(int, QByteArrayView text) { builder.NewString(Cbor::DecodeUtf8(text)); }
    void StoredText(int, qint64 entry) { builder.AddStringEntry(entry); }
    void Received(int c, qint64 entry)
    {
        std::vector<quint32>& order = stored[size_t(c)];
        if (order.capacity() > 0)
            order.push_back(quint32(entry));
    }
    void Reference(int c, qint64 received) { builder.AddStringEntry(stored[size_t(c)][size_t(received)]); }
    void EndRow() { builder.EndRow(); }
};

TDataPacket readPacket(TCborReader& r, const TPacketLimits& limits, TDecodeBudget& budget)
{
    budget.Charge(PacketCost);
    // A definite array of two, read in turn: the fields, then the rows.
    TCborArray packet(r, "pacote");
    if (packet.Length() != 2)
        bad(QStringLiteral("o pacote deve ser uma lista de 2 itens"));
    const QList<TFieldDesc> fields = readFields(r, limits, budget);
    const int nFields = int(fields.size());

    TCborReader counting = r;
    TCountingSink counts(nFields);
    QByteArray joined;
    readRows(counting, fields, limits, counts, joined, budget);

    qint64 cost = counts.textBytes;
    std::vector<std::vector<quint32>> stored(static_cast<size_t>(nFields));
    for (int c = 0; c < nFields; ++c) {
        const bool text = fields[c].Type == TFieldType::ftString;
        cost += counts.rows * (text ? StringCellCost : NumberCellCost)
                + counts.texts[size_t(c)] * TextSlotCost;
        if (counts.references[size_t(c)])
            cost += counts.received[size_t(c)] * qint64(sizeof(quint32)) + TDecodeBudget::BlockCost;
    }
    budget.Charge(cost);
    for (int c = 0; c < nFields; ++c)
        if (counts.references[size_t(c)])
            stored[size_t(c)].reserve(size_t(counts.received[size_t(c)]));

    TDataPacketBuilder builder(fields);
    builder.Reserve(int(counts.rows), counts.texts);
    TBuildingSink building{builder, std::move(stored)};
    readRows(r, fields, limits, building, joined, budget);
    return builder.Build();
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
    TCborReader r(bytes);
    TDataPacket p = ReadPacket(r, limits);
    if (!r.AtEnd())
        bad(QStringLiteral("bytes a mais depois do pacote"));
    return p;
}
