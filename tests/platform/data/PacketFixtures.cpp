#include "PacketFixtures.h"

#include "PacketRows.h"

QList<TFieldDesc> ItemFields()
{
    return {{"CDFILIAL", TFieldType::ftString, 4},   {"NRLANCTONF", TFieldType::ftString, 10},
            {"CDPRODUTO", TFieldType::ftString, 10}, {"QTITEM", TFieldType::ftFloat, 0},
            {"DTVALID", TFieldType::ftDateTime, 0},  {"NMPROD", TFieldType::ftString, 50}};
}

TDataPacket MakePacket(const QList<TFieldDesc>& fields, const QList<QVariantList>& rows)
{
    QList<QVariantMap> named;
    for (const QVariantList& row : rows) {
        QVariantMap values;
        for (int c = 0; c < row.size(); ++c)
            values.insert(fields[c].Name, row[c]);
        named << values;
    }
    return PacketOf(fields, named);
}

TDataPacket SampleItems()
{
    const QVariant null;
    return MakePacket(ItemFields(), {
        {"0001", "0000000001", "77", 2.0, 46000.0, "Parafuso"},
        {"0001", "0000000001", "78", 0.0, null, "Porca"},
        {"0001", "0000000002", "77", 1.5, 46010.5, "Parafuso"},
        {"0002", "0000000001", "90", 3.0, 46020.0, "D'Ávila"},
        {"0001", "0000000003", "91", null, 46030.0, null},
        {"0001", "0000000002", "79", 10.0, 45990.0, "arruela"},
    });
}
