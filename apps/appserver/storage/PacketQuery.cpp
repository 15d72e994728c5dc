#include "PacketQuery.h"

#include "SqlValues.h"

namespace {

// `sink` is a TDataPacketBuilder or a TPacketWriter: both take one value per
// field, in field order, then EndRow.
template <class TSink>
void ReadRows(TSql& query, const QList<TFieldDesc>& fields, TSink& sink)
{
    const int columns = int(fields.size());
    while (query.Next()) {
        for (int c = 0; c < columns; ++c) {
            const QVariant value = query.Value(c);
            if (value.isNull()) {
                sink.AddNull();
                continue;
            }
            switch (fields[c].Type) {
            case TFieldType::ftString:
                sink.AddString(value.toString());
                break;
            case TFieldType::ftFloat:
                sink.AddNumber(value.toDouble());
                break;
            case TFieldType::ftDateTime:
                sink.AddNumber(SqlToDateTime(value).Val);
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
