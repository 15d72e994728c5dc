#pragma once
// Small packets for the data layer's tests.
#include "data/DataPacket.h"

#include <QVariant>

// Fields: CDFILIAL s4, NRLANCTONF s10, CDPRODUTO s10, QTITEM float, DTVALID date, NMPROD s50.
QList<TFieldDesc> ItemFields();
// One row per entry; each entry holds one QVariant per field (null QVariant = null,
// double for float and date fields).
TDataPacket MakePacket(const QList<TFieldDesc>& fields, const QList<QVariantList>& rows);
// The packet used by most tests: 6 items of 3 invoices in 2 branches.
TDataPacket SampleItems();
