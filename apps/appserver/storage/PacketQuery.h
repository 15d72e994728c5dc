#pragma once
// Reads the rows of an executed query into a packet whose fields are given:
// column i fills field i. String fields take the text (null stays null),
// float fields the number, date fields the date value of the ISO text.
//
// QueryPacket builds the packet for the server's own use; QueryEncodedPacket
// writes its wire form directly from the driver's buffers, for results that
// are only sent (a large work list is never held as a packet on the server).
#include "Database.h"
#include "data/DataPacket.h"
#include "data/PacketCodec.h"

#include <QList>

TDataPacket QueryPacket(TSql& query, const QList<TFieldDesc>& fields);
TEncodedPacket QueryEncodedPacket(TSql& query, const QList<TFieldDesc>& fields);
