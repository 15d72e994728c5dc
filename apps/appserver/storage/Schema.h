#pragma once
// The server's own schema. Column names follow the packets the clients see
// (upper-case Portuguese with a kind prefix). Dates are DATE columns and
// times TIMESTAMP columns. One schema for both engines: the statements use
// only portable SQL, except the audit table's generated key and PostgreSQL's
// NVL for the host's query texts (see Schema.cpp).
#include "Database.h"

// Creates every table, index and function that does not exist yet. Raises
// EDatabaseError.
void CreateSchema(TDatabase& db);
