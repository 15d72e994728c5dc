#pragma once
// The wire form of a data packet, in CBOR (RFC 8949):
//
//   packet = [ fields, rows ]                 ; a definite-length array of 2
//   fields = [ * [ name, kind, size ] ]       ; text, unsigned (1 string, 2 float, 3 date), unsigned
//   rows   = [ * row ]
//   row    = [ * value ]                      ; exactly one value per field, in field order
//   value  = text (string) / float (float or date) / null
//          / uint                             ; compact form: a reference, in a string field
//
// A date value is its day count since 1899-12-30 with the time as fraction,
// so it round-trips bit for bit. Strings are UTF-8. The writer uses definite
// lengths; the reader also takes indefinite arrays and chunked text.
//
// Two forms (TPacketForm). Plain: every text in full, every number a 64-bit
// float; any peer reads it. Compact, for a peer that announced it: every text
// a string field receives in full becomes that column's newest text, and an
// unsigned integer n in a string field stands for the column's text n places
// before the newest (0 is the newest); numbers take their shortest exact form
// (an integer, a half, single or double float). The reader takes both.
//
// Reading refuses, with EDatabaseError and a clear message, anything else:
// truncated input, wrong item types, two fields of one name (letter case
// aside), a row with more or fewer values than fields, a declared length
// beyond the input, and sizes over the limits. Null and undefined are null
// in any field. A text sent in full that equals one of the last few its
// column received is stored once. Reading charges what it allocates to the
// decode budget (DecodeBudget.h) first, and refuses a packet that would
// pass it.
#include "data/Cbor.h"
#include "data/DataPacket.h"
#include "data/DecodeBudget.h"

#include <QByteArray>
#include <QMetaType>

#include <vector>

struct TPacketLimits {
    int maxFields = 1024;
    qint64 maxRows = 20'000'000;
    qint64 maxStringBytes = 1 << 20;   // one string value or field name
    qint64 maxCells = 200'000'000;     // rows x fields
    // References (the compact form) are read only from a peer that agreed on
    // that form; a reader of the plain form alone refuses them.
    bool references = true;
};

enum class TPacketForm { Plain, Compact };

// A packet already in its wire form, with its row count.
struct TEncodedPacket {
    QByteArray Cbor;
    int Rows = 0;
    TPacketForm Form = TPacketForm::Compact;
};
Q_DECLARE_METATYPE(TEncodedPacket)

// Writes a packet's wire form row by row, with the same contract as
// TDataPacketBuilder (one value per field, in field order, then EndRow), so a
// packet can go from a query to the wire without being held as a packet.
// In the compact form a text already sent in its column goes as a reference:
// the previous row's text always, an earlier one while the column remembers
// it (the first 65,536 distinct texts, within 16 MiB, so a column of long or
// unique texts costs bounded memory; a column whose first 4,096 texts sent
// in full held no repeat is taken for a column of unique codes and no longer
// looked up). In the plain form a run of equal strings down a column is
// converted to UTF-8 once.
class TPacketWriter {
public:
    explicit TPacketWriter(QList<TFieldDesc> fields, TPacketForm form = TPacketForm::Compact);
    ~TPacketWriter();
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
    struct TColumnTexts;  // what a string column has sent (PacketCodec.cpp)

    // The column of the next value, opening the row with its first value.
    int Take(TRowCursor::TValue value)
    {
        if (cursor_.AtRowStart())
            out_.StartArray(quint64(fields_.size()));
        return cursor_.Take(fields_, value);
    }

    QList<TFieldDesc> fields_;
    TPacketForm form_;
    std::vector<TColumnTexts> texts_;
    QByteArray rows_;
    TCborWriter out_{rows_};
    TRowCursor cursor_;
    int rowCount_ = 0;
};

QByteArray EncodePacket(const TDataPacket& packet, TPacketForm form = TPacketForm::Compact);
// The same packet in `form` (for a peer that reads only the plain form).
TEncodedPacket Reencode(const TEncodedPacket& packet, TPacketForm form);

// Reads one packet starting at the reader's current item, charging what it
// allocates to `budget` (DecodeBudget.h); the overload without one allows
// the memory the rest of the reader's input may cost.
TDataPacket ReadPacket(TCborReader& reader, const TPacketLimits& limits, TDecodeBudget& budget);
TDataPacket ReadPacket(TCborReader& reader, const TPacketLimits& limits = {});
// Decodes exactly one packet; trailing bytes are an error.
TDataPacket DecodePacket(QByteArrayView bytes, const TPacketLimits& limits = {});
