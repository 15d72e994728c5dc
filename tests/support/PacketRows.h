#pragma once
// Packets for tests, written row by row as maps from field name to value;
// a field a row leaves out is null. Strings as QString, floats as double,
// dates as TDateTime or QDate.
#include "data/DataPacket.h"

#include <QVariantMap>

TDataPacket PacketOf(const QList<TFieldDesc>& layout, const QList<QVariantMap>& rows);
