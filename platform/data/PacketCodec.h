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
// for float and date fields. Strings are UTF-8.
//
// Reading refuses, with EDatabaseError and a clear message, anything else:
// truncated input, wrong item types, a row with more or fewer values than
// fields, a declared length beyond the input, and sizes over the limits. It
// never allocates for more than the limits allow.
#include "data/DataPacket.h"

#include <QByteArray>

class QCborStreamReader;
class QCborStreamWriter;

struct TPacketLimits {
    int maxFields = 1024;
    qint64 maxRows = 20'000'000;
    qint64 maxStringBytes = 1 << 20;   // one string value or field name
    qint64 maxCells = 200'000'000;     // rows x fields
};

void WritePacket(QCborStreamWriter& writer, const TDataPacket& packet);
// Reads one packet starting at the reader's current item.
TDataPacket ReadPacket(QCborStreamReader& reader, const TPacketLimits& limits = {});

QByteArray EncodePacket(const TDataPacket& packet);
// Decodes exactly one packet; trailing bytes are an error.
TDataPacket DecodePacket(const QByteArray& bytes, const TPacketLimits& limits = {});
