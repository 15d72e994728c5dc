#pragma once
// Work-list packets of a given size, shaped as the application server sends
// them and distributed as the demo data is: `invoices` invoices of one
// branch, five to an expedition, ten items each drawn from 120 products (five
// in six under IUM control), 1 to 24 readings per controlled item (fewer on
// every fifth invoice), each reading with its own IUM code, lots by expiry
// and item, sub-lots, warehouses and stock locations. About 500,000 readings
// for 5,000 invoices. The same `invoices` always gives the same packets.
#include "data/DataPacket.h"

struct TWorkListPackets {
    TDataPacket invoices;
    TDataPacket items;
    TDataPacket readings;
};

TWorkListPackets MakeWorkList(int invoices);
