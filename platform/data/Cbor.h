#pragma once
// CBOR (RFC 8949) over contiguous memory, for the subset the system exchanges:
// integers, text strings, arrays, tags, false/true/null/undefined and floats.
// Byte strings and maps are recognised so that readers can refuse them.
//
// Written here rather than taken from QCborStreamReader/Writer: those go
// through a QIODevice and several out-of-line calls per item, which made up
// most of the time to encode and decode a large work list (hundreds of
// thousands of rows of a dozen values each), and Qt's writer cannot embed an
// item encoded beforehand (a packet written straight from a query).
//
// Reading: TCborReader always stands on the head of the current item (kind
// End past the input). It raises ECborError, with a Portuguese message, for a
// truncated item, a length that runs past the input and a reserved encoding;
// whether an item is of the kind expected is the caller's question. Text
// comes back as a view into the input, which the caller keeps alive.
#include "rtl/Exceptions.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QtEndian>
#include <qfloat16.h>

#include <cstring>

EXP_DECLARE_EXCEPTION(ECborError, Exception)

enum class TCborKind : quint8 { Unsigned, Negative, Bytes, Text, Array, Map, Tag, Simple, Float, Break, End };

struct TCborHead {
    TCborKind Kind = TCborKind::End;
    bool Indefinite = false;  // a string or container of unknown length
    quint64 Value = 0;        // integer, length, tag number or simple value
    double Number = 0;        // Float, whatever its width
    int Size = 0;             // bytes of the head itself
};

// Simple values of the model.
namespace Cbor {
constexpr quint64 False = 20, True = 21, Null = 22, Undefined = 23;

// UTF-8 to QString; raises ECborError on invalid UTF-8. ASCII, the common
// case (codes, most names), takes a direct widening.
QString DecodeUtf8(QByteArrayView utf8);
} // namespace Cbor

class TCborReader {
public:
    explicit TCborReader(QByteArrayView bytes)
        : begin_(bytes.data())
        , p_(begin_)
        , end_(begin_ + bytes.size())
    {
        Parse();
    }

    const TCborHead& Head() const { return head_; }
    TCborKind Kind() const { return head_.Kind; }
    bool IsSimple(quint64 value) const { return head_.Kind == TCborKind::Simple && head_.Value == value; }
    bool AtEnd() const { return head_.Kind == TCborKind::End; }
    qsizetype Offset() const { return p_ - begin_; }
    qsizetype Remaining() const { return end_ - p_; }

    // Steps past the current head: into a container or tag, or past a scalar.
    // Strings are taken with TakeText.
    void Next()
    {
        p_ += head_.Size;
        Parse();
    }

    // Takes the current item when it is an unsigned integer (the reader then
    // stands after it); otherwise returns false and stays.
    bool TakeUnsigned(quint64& out)
    {
        if (head_.Kind != TCborKind::Unsigned)
            return false;
        out = head_.Value;
        Next();
        return true;
    }
    // Takes the current item as a number when it is a float or an integer
    // (the reader then stands after it); otherwise returns false and stays.
    bool TakeNumber(double& out)
    {
        switch (head_.Kind) {
        case TCborKind::Float: out = head_.Number; break;
        case TCborKind::Unsigned: out = double(head_.Value); break;
        case TCborKind::Negative: out = -1.0 - double(head_.Value); break;
        default: return false;
        }
        Next();
        return true;
    }

    // Takes the current text string whole and returns its bytes. A chunked
    // string is joined into `joined`, which the view then points into.
    // Raises ECborError when the item is not text or passes `maxBytes`.
    QByteArrayView TakeText(QByteArray& joined, qint64 maxBytes);
    // The same, decoded (UTF-8 checked).
    QString TakeString(qint64 maxBytes);
    // The bytes of the current text string (the sum of its chunks when it is
    // chunked), without taking it; raises ECborError as TakeText would for a
    // damaged one.
    qint64 TextBytes() const;

private:
    [[noreturn]] static void Fail(const char* what);
    void Parse();
    void ToFloat(int info);  // the head's argument bits as a half, single or double float

    const char* begin_;
    const char* p_;
    const char* end_;
    TCborHead head_;
};

// Walks the items of the array the reader stands on:
//   for (TCborArray row(reader, "registro"); row.More();) { read one item }
// More() is false once the last item has been read, and the reader then
// stands after the array. Raises ECborError when the current item is not an
// array ("esperada uma lista em <what>") or the input ends inside it.
class TCborArray {
public:
    TCborArray(TCborReader& reader, const char* what);
    qint64 Length() const { return length_; }  // -1: indefinite
    bool More()
    {
        if (length_ < 0) {
            if (r_.Kind() == TCborKind::Break) {
                r_.Next();
                return false;
            }
        } else if (left_ == 0) {
            return false;
        } else {
            --left_;
        }
        if (r_.Kind() == TCborKind::End || r_.Kind() == TCborKind::Break)
            Truncated();
        return true;
    }

private:
    [[noreturn]] void Truncated() const;

    TCborReader& r_;
    const char* what_;
    qint64 length_;
    quint64 left_;
};

// Appends items to a byte array. Definite lengths only: every container the
// system writes knows its size.
//
// Items are copied in at the array's end directly: QByteArray::append goes
// through insert's general path, a call and a dozen checks for an item of a
// byte or two, which was a third of writing a large work list. The array
// grows geometrically, and keeps its terminating null.
class TCborWriter {
public:
    explicit TCborWriter(QByteArray& out) : out_(out) {}

    void StartArray(quint64 count) { Head(4, count); }
    void Unsigned(quint64 value) { Head(0, value); }
    void Tag(quint64 tag) { Head(6, tag); }
    void Text(QStringView text);
    void Utf8(QByteArrayView utf8)
    {
        Head(3, quint64(utf8.size()));
        Put(utf8.data(), utf8.size());
    }
    void Double(double value)
    {
        char bytes[9] = {char(0xfb)};
        qToBigEndian(value, bytes + 1);
        Put(bytes, 9);
    }
    // The shortest item that reads back as `value` bit for bit: an integer,
    // or a half, single or double float.
    void Number(double value);
    void Bool(bool value) { PutByte(char(value ? 0xf5 : 0xf4)); }
    void Null() { PutByte(char(0xf6)); }
    // One whole item encoded beforehand (by another TCborWriter).
    void Encoded(QByteArrayView item) { Put(item.data(), item.size()); }

private:
    // Room for `bytes` more at the end, unshared. QByteArray's blocks hold
    // one byte past their capacity for the terminating null.
    char* Room(qsizetype bytes)
    {
        QByteArray::DataPointer& d = out_.data_ptr();
        if (d.needsDetach() || d.freeSpaceAtEnd() < bytes)
            Grow(bytes);
        return d.data() + d.size;
    }
    void Wrote(qsizetype bytes)
    {
        QByteArray::DataPointer& d = out_.data_ptr();
        d.size += bytes;
        d.data()[d.size] = '\0';
    }
    void Put(const char* bytes, qsizetype size)
    {
        if (size == 0)  // an empty view may have no data
            return;
        std::memcpy(Room(size), bytes, size_t(size));
        Wrote(size);
    }
    void PutByte(char byte)
    {
        *Room(1) = byte;
        Wrote(1);
    }
    void Grow(qsizetype bytes);

    // A head of one byte, the most common (a short text, a reference to a
    // recent text, a small array), inline; the longer ones written in place
    // with their fixed widths.
    void Head(int major, quint64 value)
    {
        if (value < 24)
            PutByte(char((major << 5) | int(value)));
        else
            LongHead(major, value);
    }
    void LongHead(int major, quint64 value)
    {
        char* at = Room(9);
        const char m = char(major << 5);
        qsizetype size;
        if (value <= 0xff) {
            at[0] = char(m | 24);
            at[1] = char(value);
            size = 2;
        } else if (value <= 0xffff) {
            at[0] = char(m | 25);
            qToBigEndian(quint16(value), at + 1);
            size = 3;
        } else if (value <= 0xffffffffu) {
            at[0] = char(m | 26);
            qToBigEndian(quint32(value), at + 1);
            size = 5;
        } else {
            at[0] = char(m | 27);
            qToBigEndian(value, at + 1);
            size = 9;
        }
        Wrote(size);
    }

    QByteArray& out_;
};

inline void TCborReader::Parse()
{
    if (p_ == end_) {
        head_ = TCborHead{};
        return;
    }
    const quint8 initial = quint8(*p_);
    const int major = initial >> 5;
    const int info = initial & 31;
    head_.Indefinite = false;
    if (info < 24) {
        head_.Value = quint64(info);
        head_.Size = 1;
    } else if (info <= 27) {
        const int width = 1 << (info - 24);
        if (end_ - p_ <= width)
            Fail("dados CBOR truncados");
        head_.Size = 1 + width;
        const uchar* arg = reinterpret_cast<const uchar*>(p_ + 1);
        switch (width) {
        case 1: head_.Value = arg[0]; break;
        case 2: head_.Value = qFromBigEndian<quint16>(arg); break;
        case 4: head_.Value = qFromBigEndian<quint32>(arg); break;
        default: head_.Value = qFromBigEndian<quint64>(arg); break;
        }
    } else if (info == 31 && major >= 2 && major <= 5) {
        head_.Indefinite = true;
        head_.Value = 0;
        head_.Size = 1;
    } else if (initial == 0xff) {
        head_.Kind = TCborKind::Break;
        head_.Size = 1;
        return;
    } else {
        Fail("codificação CBOR reservada");
    }
    static constexpr TCborKind kinds[8] = {TCborKind::Unsigned, TCborKind::Negative, TCborKind::Bytes,
                                           TCborKind::Text,     TCborKind::Array,    TCborKind::Map,
                                           TCborKind::Tag,      TCborKind::Simple};
    head_.Kind = kinds[major];
    if (major == 7 && info >= 25)
        ToFloat(info);
}

inline void TCborReader::ToFloat(int info)
{
    head_.Kind = TCborKind::Float;
    if (info == 27) {
        const quint64 bits = head_.Value;
        double value;
        std::memcpy(&value, &bits, sizeof value);
        head_.Number = value;
    } else if (info == 26) {
        const quint32 bits = quint32(head_.Value);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        head_.Number = value;
    } else {
        const quint16 bits = quint16(head_.Value);
        qfloat16 value;
        std::memcpy(static_cast<void*>(&value), &bits, sizeof value);
        head_.Number = double(float(value));
    }
}
