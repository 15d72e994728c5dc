#include "PacketQuery.h"

#include "SqlValues.h"

namespace {

void AddText(TPacketWriter& writer, QByteArrayView utf8)
{
    writer.AddUtf8(utf8);
}

void AddText(TDataPacketBuilder& builder, QByteArrayView utf8)
{
    builder.AddString(QString::fromUtf8(utf8.data() ? utf8 : QByteArrayView("")));
}

// `sink` is a TDataPacketBuilder or a TPacketWriter: both take one value per
// field, in field order, then EndRow.
template <class TSink>
void ReadRows(TSql& query, const QList<TFieldDesc>& fields, TSink& sink)
{
    const int columns = int(fields.size());
    while (query.Next()) {
        for (int c = 0; c < columns; ++c) {
            if (query.IsNull(c)) {
                sink.AddNull();
                continue;
            }
            switch (fields[c].Type) {
            case TFieldType::ftString:
                AddText(sink, query.Utf8(c));
                break;
            case TFieldType::ftFloat:
                sink.AddNumber(query.Number(c));
                break;
            case TFieldType::ftDateTime:
                sink.AddNumber(SqlToDateTime(query.Utf8(c)).Val);
                break;
            }
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
