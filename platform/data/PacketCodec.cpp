#include "PacketCodec.h"

#include "rtl/Exceptions.h"

#include <QCborStreamReader>
#include <QCborStreamWriter>
#include <QIODevice>
#include <QStringDecoder>
#include <QStringEncoder>

#include <vector>

void WritePacket(QCborStreamWriter& w, const TDataPacket& packet)
{
    const int fields = packet.FieldCount();
    const int rows = packet.RowCount();
    w.startArray(2);
    w.startArray(fields);
    for (const TFieldDesc& f : packet.Fields()) {
        w.startArray(3);
        w.append(f.Name);
        w.append(quint64(f.Type));
        w.append(quint64(f.Size));
        w.endArray();
    }
    w.endArray();
    // A string shared with the one above it (see TDataPacket) is encoded once.
    std::vector<QString> last(fields);
    std::vector<QByteArray> lastUtf8(fields);
    QStringEncoder encode(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
    w.startArray(rows);
    for (int r = 0; r < rows; ++r) {
        w.startArray(fields);
        for (int c = 0; c < fields; ++c) {
            if (packet.IsNull(r, c)) {
                w.append(nullptr);
            } else if (packet.Field(c).Type == TFieldType::ftString) {
                const QString& value = packet.String(r, c);
                if (!value.isSharedWith(last[c]) || value.isNull()) {
                    last[c] = value;
                    // UTF-8 takes at most three bytes per UTF-16 unit.
                    QByteArray& utf8 = lastUtf8[c];
                    utf8.resize(value.size() * 3);
                    utf8.truncate(encode.appendToBuffer(utf8.data(), value) - utf8.data());
                }
                w.appendTextString(lastUtf8[c].constData(), lastUtf8[c].size());
            } else {
                w.append(packet.Number(r, c));
            }
        }
        w.endArray();
    }
    w.endArray();
    w.endArray();
}

namespace {

[[noreturn]] void bad(const QString& what)
{
    throw EDatabaseError(QStringLiteral("Pacote de dados inválido: %1.").arg(what));
}

void checkReader(QCborStreamReader& r)
{
    if (r.lastError() != QCborError::NoError)
        bad(QStringLiteral("CBOR malformado (%1)").arg(r.lastError().toString()));
}

// Enters a definite or indefinite array; returns its declared length or -1.
qint64 enterArray(QCborStreamReader& r, const char* what)
{
    checkReader(r);
    if (!r.isArray())
        bad(QStringLiteral("esperada uma lista em %1").arg(QLatin1String(what)));
    const qint64 n = r.isLengthKnown() ? qint64(r.length()) : -1;
    if (!r.enterContainer())
        bad(QStringLiteral("lista truncada em %1").arg(QLatin1String(what)));
    return n;
}

void leaveArray(QCborStreamReader& r, const char* what)
{
    checkReader(r);
    if (r.hasNext())
        bad(QStringLiteral("itens a mais em %1").arg(QLatin1String(what)));
    if (!r.leaveContainer())
        bad(QStringLiteral("lista truncada em %1").arg(QLatin1String(what)));
}

QString readText(QCborStreamReader& r, const TPacketLimits& limits, const char* what)
{
    checkReader(r);
    if (!r.isString())
        bad(QStringLiteral("esperado texto em %1").arg(QLatin1String(what)));
    QString out;
    qint64 total = 0;
    auto chunk = r.currentStringChunkSize();
    // The declared size is checked before anything is read, so a huge
    // declared length never turns into an allocation.
    for (;;) {
        if (chunk > 0 && total + chunk > limits.maxStringBytes)
            bad(QStringLiteral("texto maior que o limite de %1 bytes em %2")
                    .arg(limits.maxStringBytes)
                    .arg(QLatin1String(what)));
        auto res = r.readString();
        if (res.status == QCborStreamReader::Error)
            bad(QStringLiteral("texto truncado ou malformado em %1").arg(QLatin1String(what)));
        if (res.status == QCborStreamReader::EndOfString)
            break;
        total += res.data.size();
        out += res.data;
        chunk = r.currentStringChunkSize();
    }
    return out;
}

quint64 readUnsigned(QCborStreamReader& r, const char* what)
{
    checkReader(r);
    if (!r.isUnsignedInteger())
        bad(QStringLiteral("esperado inteiro sem sinal em %1").arg(QLatin1String(what)));
    const quint64 v = r.toUnsignedInteger();
    r.next();
    return v;
}

bool readNumber(QCborStreamReader& r, double& out)
{
    switch (r.type()) {
    case QCborStreamReader::Double: out = r.toDouble(); break;
    case QCborStreamReader::Float: out = r.toFloat(); break;
    case QCborStreamReader::Float16: out = float(r.toFloat16()); break;
    case QCborStreamReader::UnsignedInteger: out = double(r.toUnsignedInteger()); break;
    case QCborStreamReader::NegativeInteger: out = -double(quint64(r.toNegativeInteger())); break;
    default: return false;
    }
    r.next();
    return true;
}

// Reads the string values of one column. A value whose bytes equal the
// previous value's is handed back as that same (shared) string, so a run of
// equal codes is decoded and stored once.
class TStringRun {
    static bool isAscii(const QByteArray& bytes)
    {
        for (char c : bytes)
            if (static_cast<unsigned char>(c) >= 0x80)
                return false;
        return true;
    }

public:
    QString Read(QCborStreamReader& r, const TPacketLimits& limits)
    {
        checkReader(r);
        if (!r.isString())
            bad(QStringLiteral("esperado texto em valor"));
        if (!r.isLengthKnown()) {  // chunked: rare, read the plain way
            QString text = readText(r, limits, "valor");
            return remember(std::move(text), text.toUtf8());
        }
        const qint64 size = qint64(r.currentStringChunkSize());
        if (size > limits.maxStringBytes)
            bad(QStringLiteral("texto maior que o limite de %1 bytes em valor").arg(limits.maxStringBytes));
        buffer_.resize(size);
        const auto res = r.readStringChunk(buffer_.data(), size);
        if (res.status != QCborStreamReader::Ok || res.data != size)
            bad(QStringLiteral("texto truncado ou malformado em valor"));
        if (r.readStringChunk(nullptr, 0).status != QCborStreamReader::EndOfString)
            bad(QStringLiteral("texto truncado ou malformado em valor"));
        if (hasLast_ && buffer_ == lastUtf8_)
            return last_;
        QString text;
        if (isAscii(buffer_)) {  // codes and most names: no decoding to do
            text = QString::fromLatin1(buffer_);
        } else {
            decode_.resetState();
            text = decode_(buffer_);
            if (decode_.hasError())
                bad(QStringLiteral("texto com UTF-8 inválido em valor"));
        }
        QByteArray utf8;
        utf8.swap(buffer_);
        return remember(std::move(text), std::move(utf8));
    }

private:
    QString remember(QString text, QByteArray utf8)
    {
        hasLast_ = true;
        last_ = std::move(text);
        lastUtf8_ = std::move(utf8);
        return last_;
    }

    QStringDecoder decode_{QStringDecoder::Utf8, QStringDecoder::Flag::Stateless};
    QByteArray buffer_;
    QByteArray lastUtf8_;
    QString last_;
    bool hasLast_ = false;
};

} // namespace

TDataPacket ReadPacket(QCborStreamReader& r, const TPacketLimits& limits)
{
    if (enterArray(r, "pacote") != 2)
        bad(QStringLiteral("o pacote deve ser uma lista de 2 itens"));

    QList<TFieldDesc> fields;
    const qint64 declaredFields = enterArray(r, "campos");
    if (declaredFields > limits.maxFields)
        bad(QStringLiteral("%1 campos, acima do limite de %2").arg(declaredFields).arg(limits.maxFields));
    while (r.hasNext()) {
        if (fields.size() >= limits.maxFields)
            bad(QStringLiteral("campos acima do limite de %1").arg(limits.maxFields));
        if (enterArray(r, "descrição de campo") != 3)
            bad(QStringLiteral("descrição de campo deve ter 3 itens"));
        TFieldDesc d;
        d.Name = readText(r, limits, "nome de campo");
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
        leaveArray(r, "descrição de campo");
        fields.append(d);
    }
    leaveArray(r, "campos");

    const int nFields = int(fields.size());
    TDataPacketBuilder builder(fields);
    const qint64 declaredRows = enterArray(r, "registros");
    if (declaredRows > limits.maxRows || (nFields > 0 && declaredRows > limits.maxCells / nFields))
        bad(QStringLiteral("%1 registros, acima do limite").arg(declaredRows));
    // Reserve no more than the input can hold (a value takes at least one
    // byte), or a modest amount when the input size is unknown, so a lying
    // length cannot force a large allocation; the columns grow as rows arrive.
    if (declaredRows > 0) {
        const qint64 room = r.device() ? r.device()->bytesAvailable() / std::max(1, nFields) : qint64(1) << 16;
        builder.Reserve(int(std::min(declaredRows, room)));
    }
    std::vector<TStringRun> runs(nFields);
    qint64 rows = 0;
    while (r.hasNext()) {
        if (++rows > limits.maxRows || rows * std::max(1, nFields) > limits.maxCells)
            bad(QStringLiteral("registros acima do limite"));
        const qint64 n = enterArray(r, "registro");
        if (n >= 0 && n != nFields)
            bad(QStringLiteral("registro %1 com %2 valores para %3 campos").arg(rows).arg(n).arg(nFields));
        for (int c = 0; c < nFields; ++c) {
            checkReader(r);
            if (!r.hasNext())
                bad(QStringLiteral("registro %1 com menos valores que campos").arg(rows));
            if (r.isNull()) {
                builder.AddNull();
                r.next();
            } else if (fields[c].Type == TFieldType::ftString) {
                builder.AddString(runs[c].Read(r, limits));
            } else {
                double v = 0;
                if (!readNumber(r, v))
                    bad(QStringLiteral("campo '%1' do registro %2 deveria ser número").arg(fields[c].Name).arg(rows));
                builder.AddNumber(v);
            }
        }
        if (r.hasNext())
            bad(QStringLiteral("registro %1 com mais valores que campos").arg(rows));
        leaveArray(r, "registro");
        builder.EndRow();
    }
    leaveArray(r, "registros");
    leaveArray(r, "pacote");
    return builder.Build();
}

QByteArray EncodePacket(const TDataPacket& packet)
{
    QByteArray bytes;
    QCborStreamWriter w(&bytes);
    WritePacket(w, packet);
    return bytes;
}

TDataPacket DecodePacket(const QByteArray& bytes, const TPacketLimits& limits)
{
    QCborStreamReader r(bytes);
    TDataPacket p = ReadPacket(r, limits);
    checkReader(r);
    if (r.type() != QCborStreamReader::Invalid || r.currentOffset() != bytes.size())
        bad(QStringLiteral("bytes a mais depois do pacote"));
    return p;
}
