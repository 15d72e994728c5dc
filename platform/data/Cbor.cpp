#include "data/Cbor.h"
#include "data/DecodeBudget.h"

#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

bool IsAscii(QByteArrayView bytes)
{
    // An OR over all bytes, a word at a time: most texts are codes of a few
    // dozen bytes, too short for a vector loop to pay.
    const char* p = bytes.data();
    qsizetype left = bytes.size();
    quint64 any = 0;
    for (; left >= 8; p += 8, left -= 8) {
        quint64 word;
        std::memcpy(&word, p, 8);
        any |= word;
    }
    for (; left > 0; ++p, --left)
        any |= quint8(*p);
    return (any & 0x8080808080808080u) == 0;
}

} // namespace

QString Cbor::DecodeUtf8(QByteArrayView utf8)
{
    if (IsAscii(utf8))
        return QString::fromLatin1(utf8);
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decode(utf8);
    if (decode.hasError())
        throw ECborError(QStringLiteral("texto com UTF-8 inválido"));
    return text;
}

void TCborReader::Fail(const char* what)
{
    throw ECborError(QString::fromUtf8(what));
}

QByteArrayView TCborReader::TakeText(QByteArray& joined, qint64 maxBytes)
{
    if (head_.Kind != TCborKind::Text)
        Fail("esperado texto");
    auto over = [maxBytes](quint64 size) {
        if (size > quint64(maxBytes))
            throw ECborError(QStringLiteral("texto maior que o limite de %1 bytes").arg(maxBytes));
    };
    if (!head_.Indefinite) {
        // Limits first: a declared length is never trusted before it is checked.
        over(head_.Value);
        if (head_.Value > quint64(end_ - p_ - head_.Size))
            Fail("texto truncado");
        const QByteArrayView text(p_ + head_.Size, qsizetype(head_.Value));
        p_ += head_.Size + qsizetype(head_.Value);
        Parse();
        return text;
    }
    // Chunked: definite text chunks up to a break, joined in one allocation.
    joined.resize(0);  // keeps its capacity for the next chunked text
    joined.reserve(qsizetype(TextBytes()));
    Next();
    while (head_.Kind != TCborKind::Break) {
        if (head_.Kind != TCborKind::Text || head_.Indefinite)
            Fail("pedaço de texto inválido");
        over(quint64(joined.size()) + head_.Value);
        if (head_.Value > quint64(end_ - p_ - head_.Size))
            Fail("texto truncado");
        joined.append(p_ + head_.Size, qsizetype(head_.Value));
        p_ += head_.Size + qsizetype(head_.Value);
        Parse();
    }
    Next();
    return joined;
}

qint64 TCborReader::TextBytes() const
{
    if (head_.Kind != TCborKind::Text)
        Fail("esperado texto");
    if (!head_.Indefinite) {
        // A length beyond the input is no text's (and no size to reckon with).
        if (head_.Value > quint64(end_ - p_ - head_.Size))
            Fail("texto truncado");
        return qint64(head_.Value);
    }
    TCborReader chunk = *this;
    chunk.Next();
    qint64 total = 0;
    while (chunk.head_.Kind != TCborKind::Break) {
        if (chunk.head_.Kind != TCborKind::Text || chunk.head_.Indefinite)
            Fail("pedaço de texto inválido");
        if (chunk.head_.Value > quint64(chunk.end_ - chunk.p_ - chunk.head_.Size))
            Fail("texto truncado");
        total += qint64(chunk.head_.Value);
        chunk.p_ += chunk.head_.Size + qsizetype(chunk.head_.Value);
        chunk.Parse();
    }
    return total;
}

QString TCborReader::TakeString(qint64 maxBytes)
{
    QByteArray joined;
    return Cbor::DecodeUtf8(TakeText(joined, maxBytes));
}

TCborArray::TCborArray(TCborReader& reader, const char* what)
    : r_(reader)
    , what_(what)
{
    if (r_.Kind() != TCborKind::Array)
        throw ECborError(QStringLiteral("esperada uma lista em %1").arg(QLatin1String(what)));
    length_ = r_.Head().Indefinite ? -1 : qint64(std::min<quint64>(r_.Head().Value, quint64(1) << 62));
    left_ = r_.Head().Value;
    r_.Next();
}

void TCborArray::Truncated() const
{
    throw ECborError(QStringLiteral("lista truncada em %1").arg(QLatin1String(what_)));
}

void TCborWriter::Number(double value)
{
    // Integers up to 2^53 are exact in a double; -0.0 keeps its sign as a float.
    constexpr double exactIntegers = 9007199254740992.0;
    if (value == std::floor(value) && std::fabs(value) <= exactIntegers && !(value == 0 && std::signbit(value))) {
        if (value >= 0)
            Head(0, quint64(value));
        else
            Head(1, quint64(-1 - qint64(value)));
        return;
    }
    const float single = float(value);
    if (double(single) != value) {  // NaN lands here too and keeps its bits
        Double(value);
        return;
    }
    const qfloat16 half(single);
    char bytes[5];
    if (float(half) == single) {
        quint16 bits;
        std::memcpy(&bits, &half, sizeof bits);
        bytes[0] = char(0xf9);
        qToBigEndian(bits, bytes + 1);
        Put(bytes, 3);
    } else {
        bytes[0] = char(0xfa);
        qToBigEndian(single, bytes + 1);
        Put(bytes, 5);
    }
}

void TCborWriter::Grow(qsizetype bytes)
{
    // A shared block with room is copied at its size; a full one doubles.
    const qsizetype needed = out_.size() + bytes;
    out_.reserve(needed <= out_.capacity() ? out_.capacity() : std::max(needed, 2 * out_.capacity()));
}

void TCborWriter::Text(QStringView text)
{
    Utf8(text.toUtf8());
}

void TDecodeBudget::Exceeded() const
{
    throw ECborError(QStringLiteral("decodificar estes dados ocuparia mais de %1 bytes de memória "
                                    "(%2 vezes o seu tamanho mais %3)")
                         .arg(limit_)
                         .arg(DecodeMemoryFactor)
                         .arg(DecodeMemoryAllowance));
}
