#pragma once
// Reads the rows of an executed query into a data packet whose fields are
// given: column i of the query fills field i. String fields take the text
// (null stays null), float fields the number, date fields the date value.
#include "Database.h"
#include "data/DataPacket.h"

#include <QList>

TDataPacket QueryPacket(TSql& query, const QList<TFieldDesc>& fields);
