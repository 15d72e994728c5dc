#pragma once
// The server's own schema. Column names follow the packets the clients see
// (upper-case Portuguese with a kind prefix). Dates are DATE columns and
// times TIMESTAMP columns; the statements use only portable SQL, the one
// exception being the audit table's generated key (see Schema.cpp).
#include <QSqlDatabase>

// Creates every table and index that does not exist yet. Raises EDatabaseError.
void CreateSchema(QSqlDatabase db);
