#include "PacketQuery.h"

#include "SqlValues.h"

TDataPacket QueryPacket(TSql& query, const QList<TFieldDesc>& fields)
{
    TDataPacketBuilder builder(fields);
    const int columns = int(fields.size());
    while (query.Next()) {
        for (int c = 0; c < columns; ++c) {
            const QVariant value = query.Value(c);
            if (value.isNull()) {
                builder.AddNull();
                continue;
            }
            switch (fields[c].Type) {
            case TFieldType::ftString:
                builder.AddString(value.toString());
                break;
            case TFieldType::ftFloat:
                builder.AddNumber(value.toDouble());
                break;
            case TFieldType::ftDateTime:
                builder.AddNumber(SqlToDateTime(value).Val);
                break;
            }
        }
        builder.EndRow();
    }
    return builder.Build();
}
