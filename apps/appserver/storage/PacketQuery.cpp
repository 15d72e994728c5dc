#include "PacketQuery.h"

#include "SqlValues.h"

namespace {

void AddText(TPacketWriter& writer, QByteArrayView utf8)
{
    writer.AddUtf8(utf8);
}

void AddText(TDataPacketBuilder& builder, QByteArrayView utf8)
{
    builder.AddString(QString::fromUtf8(utf8));
}

// `sink` is a TDataPacketBuilder or a TPacketWriter: both take one value per
// field, in field order, then EndRow.
template <class TSink>
void ReadRows(TSql& query, const QList<TFieldDesc>& fields, TSink& sink)
{
    const int columns = int(fields.size());
    while (query.Next()) {
        for (int c = 0; c < columns; ++c) {
            if (fields[c].Type == TFieldType::ftFloat) {
                if (query.IsNull(c))
                    sink.AddNull();
                else
                    sink.AddNumber(query.Number(c));
                continue;
            }
            const QByteArrayView text = query.Utf8(c);
            if (!text.data())
                sink.AddNull();
            else if (fields[c].Type == TFieldType::ftString)
                AddText(sink, text);
            else
                sink.AddNumber(SqlToDateTime(text).Val);
        }
        sink.EndRow();
    }
}

} // namespace

TDataPacket QueryPacket(TSql& query, const QList<TFieldDesc>& fields)
{
    TDataPacketBuilder builder(fields);
    ReadRows(query, fields, builder);
    return builder.Build();
}

TEncodedPacket QueryEncodedPacket(TSql& query, const QList<TFieldDesc>& fields)
{
    TPacketWriter writer(fields);
    ReadRows(query, fields, writer);
    return writer.Finish();
}
