#pragma once
// The wire form of a data packet, in CBOR (RFC 8949):
//
//   packet = [ fields, rows ]                 ; a definite-length array of 2
//   fields = [ * [ name, kind, size ] ]       ; text, unsigned (1 string, 2 float, 3 date), unsigned
//   rows   = [ * row ]
//   row    = [ * value ]                      ; exactly one value per field, in field order
//   value  = text (string) / float (float or date) / null
//
// A date value is its day count since 1899-12-30 with the time as fraction,
// written as a 64-bit float, so it round-trips bit for bit. Floats are written
// as 64-bit floats; the reader also takes half and single floats and integers
// for float and date fields. Strings are UTF-8. The writer uses definite
// lengths; the reader also takes indefinite arrays and chunked text.
//
// Reading refuses, with EDatabaseError and a clear message, anything else:
// truncated input, wrong item types, a row with more or fewer values than
// fields, a declared length beyond the input, and sizes over the limits. It
// never allocates for more than the limits allow.
#include "data/Cbor.h"
#include "data/DataPacket.h"

#include <QByteArray>
#include <QMetaType>

#include <vector>

struct TPacketLimits {
    int maxFields = 1024;
    qint64 maxRows = 20'000'000;
    qint64 maxStringBytes = 1 << 20;   // one string value or field name
    qint64 maxCells = 200'000'000;     // rows x fields
};

// A packet already in its wire form, with its row count.
struct TEncodedPacket {
    QByteArray Cbor;
    int Rows = 0;
};
Q_DECLARE_METATYPE(TEncodedPacket)

// Writes a packet's wire form row by row, with the same contract as
// TDataPacketBuilder (one value per field, in field order, then EndRow), so a
// packet can go from a query to the wire without being held as a packet.
// A run of equal strings down a column is converted to UTF-8 once.
class TPacketWriter {
public:
    explicit TPacketWriter(QList<TFieldDesc> fields);
    TPacketWriter(const TPacketWriter&) = delete;
    TPacketWriter& operator=(const TPacketWriter&) = delete;
    void AddString(const QString& value);
    // A text already in UTF-8 (a database's own buffer), written as it is.
    void AddUtf8(QByteArrayView value);
    void AddNumber(double value);  // float and date columns
    void AddNull();
    // Ends the row; raises EDatabaseError when the row has the wrong number of values.
    void EndRow();
    // The encoded packet; raises EDatabaseError when a row is left open.
    TEncodedPacket Finish() const;

private:
    // The column of the next value, opening the row with its first value.
    int Take(TRowCursor::TValue value);

    struct TLastString {  // the column's last text and its UTF-8
        QString text;
        QByteArray utf8;
    };
    QList<TFieldDesc> fields_;
    std::vector<TLastString> last_;
    QByteArray rows_;
    TCborWriter out_{rows_};
    TRowCursor cursor_;
    int rowCount_ = 0;
};

QByteArray EncodePacket(const TDataPacket& packet);

// Reads one packet starting at the reader's current item.
TDataPacket ReadPacket(TCborReader& reader, const TPacketLimits& limits = {});
// Decodes exactly one packet; trailing bytes are an error.
TDataPacket DecodePacket(QByteArrayView bytes, const TPacketLimits& limits = {});
