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

// A string field's value: a text, which becomes the column's newest, or (in
// the compact form) a reference to one of the `texts` the column has received.
void readString(TCborReader& r, TDataPacketBuilder& builder, const TFieldDesc& field, qsizetype& texts, qint64 row,
                const TPacketLimits& limits)
{
    if (r.Kind() == TCborKind::Text) {
        QByteArray joined;
        builder.NewString(Cbor::DecodeUtf8(r.TakeText(joined, limits.maxStringBytes)));
        ++texts;
        return;
    }
    quint64 back = 0;
    if (!r.TakeUnsigned(back))
        bad(QStringLiteral("campo '%1' do registro %2 deveria ser texto").arg(field.Name).arg(row));
    if (back >= quint64(texts))
        bad(QStringLiteral("o campo '%1' do registro %2 refere-se ao texto %3 antes do último, mas a coluna recebeu %4")
                .arg(field.Name)
                .arg(row)
                .arg(back)
                .arg(texts));
    builder.AddStringEntry(texts - 1 - qsizetype(back));
}

QList<TFieldDesc> readFields(TCborReader& r, const TPacketLimits& limits)
{
    QList<TFieldDesc> fields;
    TCborArray list(r, "campos");
    if (list.Length() > limits.maxFields)
        bad(QStringLiteral("%1 campos, acima do limite de %2").arg(list.Length()).arg(limits.maxFields));
    while (list.More()) {
        if (fields.size() >= limits.maxFields)
            bad(QStringLiteral("campos acima do limite de %1").arg(limits.maxFields));
        // A definite array of three: its items are read in turn.
        TCborArray desc(r, "descrição de campo");
        if (desc.Length() != 3)
            bad(QStringLiteral("descrição de campo deve ter 3 itens"));
        TFieldDesc d;
        d.Name = r.TakeString(limits.maxStringBytes);
        if (d.Name.isEmpty())
            bad(QStringLiteral("campo sem nome"));
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

TDataPacket readPacket(TCborReader& r, const TPacketLimits& limits, qsizetype inputSize)
{
    // A definite array of two, read in turn: the fields, then the rows.
    TCborArray packet(r, "pacote");
    if (packet.Length() != 2)
        bad(QStringLiteral("o pacote deve ser uma lista de 2 itens"));
    const QList<TFieldDesc> fields = readFields(r, limits);
    const int nFields = int(fields.size());

    TDataPacketBuilder builder(fields);
    TCborArray rows(r, "registros");
    const qint64 declaredRows = rows.Length();
    if (declaredRows > limits.maxRows || (nFields > 0 && declaredRows > limits.maxCells / nFields))
        bad(QStringLiteral("%1 registros, acima do limite").arg(declaredRows));
    // Reserve no more than the input can hold (a row takes at least one
    // byte per value), so a lying length cannot force a large allocation;
    // the columns grow as rows arrive.
    if (declaredRows > 0)
        builder.Reserve(int(std::min<qint64>(declaredRows, inputSize / std::max(1, nFields))));
    std::vector<qsizetype> texts(size_t(nFields), 0);  // per column
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
            if (r.IsSimple(Cbor::Null)) {
                builder.AddNull();
                r.Next();
            } else if (fields[c].Type == TFieldType::ftString) {
                readString(r, builder, fields[c], texts[size_t(c)], count, limits);
            } else {
                double v = 0;
                if (!r.TakeNumber(v))
                    bad(QStringLiteral("campo '%1' do registro %2 deveria ser número").arg(fields[c].Name).arg(count));
                builder.AddNumber(v);
            }
        }
        if (row.More())
            bad(QStringLiteral("registro %1 com mais valores que campos").arg(count));
        builder.EndRow();
    }
    return builder.Build();
}

} // namespace

TDataPacket ReadPacket(TCborReader& r, const TPacketLimits& limits)
{
    try {
        return readPacket(r, limits, r.Remaining());
    } catch (const ECborError& e) {
        bad(e.Message());
    }
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
