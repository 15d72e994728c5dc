#pragma once
// Checks of the shape of a server's payload, made whole before any data set
// receives a packet, so that a malformed reply changes nothing on the screen.
// Each raises EServerError naming the method and what was expected.
#include "data/DataPacket.h"
#include "rtl/Exceptions.h"

#include <QVariant>

#include <algorithm>

namespace ServerReplies {

inline bool IsPacket(const QVariant& value)
{
    return value.metaType() == QMetaType::fromType<TDataPacket>();
}

[[noreturn]] inline void RaiseMalformed(const QString& method, const QString& expected)
{
    throw EServerError(QStringLiteral("O servidor de aplicação respondeu a %1 com dados inválidos (esperava %2). "
                                      "Nada foi alterado na tela.")
                           .arg(method, expected));
}

// One data packet.
inline TDataPacket PacketOf(const QVariant& payload, const QString& method)
{
    if (!IsPacket(payload))
        RaiseMalformed(method, QStringLiteral("um pacote de dados"));
    return payload.value<TDataPacket>();
}

// A list of exactly `count` data packets.
inline QList<TDataPacket> PacketsOf(const QVariant& payload, int count, const QString& method)
{
    const QVariantList values = payload.toList();
    if (payload.metaType() != QMetaType::fromType<QVariantList>() || values.size() != count ||
        !std::all_of(values.begin(), values.end(), IsPacket))
        RaiseMalformed(method, QStringLiteral("%1 pacotes de dados").arg(count));
    QList<TDataPacket> packets;
    for (const QVariant& value : values)
        packets << value.value<TDataPacket>();
    return packets;
}

} // namespace ServerReplies
