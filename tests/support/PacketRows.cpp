#include "PacketRows.h"

#include "rtl/DateTime.h"

#include <stdexcept>

TDataPacket PacketOf(const QList<TFieldDesc>& layout, const QList<QVariantMap>& rows)
{
    TDataPacketBuilder builder(layout);
    for (const QVariantMap& row : rows) {
        for (auto it = row.cbegin(); it != row.cend(); ++it) {
            bool known = false;
            for (const TFieldDesc& d : layout)
                known = known || d.Name == it.key();
            if (!known)
                throw std::invalid_argument("no field " + it.key().toStdString());
        }
        for (const TFieldDesc& d : layout) {
            const QVariant v = row.value(d.Name);
            if (v.isNull())
                builder.AddNull();
            else if (d.Type == TFieldType::ftString)
                builder.AddString(v.toString());
            else if (v.metaType() == QMetaType::fromType<TDateTime>())
                builder.AddNumber(v.value<TDateTime>().Val);
            else if (v.metaType() == QMetaType::fromType<QDate>())
                builder.AddNumber(DateTimeFromQDate(v.toDate()).Val);
            else
                builder.AddNumber(v.toDouble());
        }
        builder.EndRow();
    }
    return builder.Build();
}
