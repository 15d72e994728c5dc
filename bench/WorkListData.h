#pragma once
// Work-list packets of a given size, shaped as the application server sends
// them: `invoices` invoices, ten items each, ten IUM readings per item.
#include "data/DataPacket.h"

struct TWorkListPackets {
    TDataPacket invoices;
    TDataPacket items;
    TDataPacket readings;
};

TWorkListPackets MakeWorkList(int invoices);
