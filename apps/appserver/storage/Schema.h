#pragma once
// The server's own schema. Column names follow the packets the clients see
// (upper-case Portuguese with a kind prefix). Dates are DATE columns and
// times TIMESTAMP columns. One schema for both engines: the statements use
// only portable SQL, except the audit table's generated key and PostgreSQL's
// NVL for the host's query texts (see Schema.cpp).
#include "Database.h"

// The schema's version, recorded in the database (VERSAOESQUEMA) by
// CreateSchema; it grows with each change of the schema. A database made
// before versions were recorded counts as 0.
inline constexpr int SchemaVersion = 1;

// Creates every table, index and function that does not exist yet, brings
// older tables up to date and records SchemaVersion. Needs the right to
// create tables: any SQLite connection, PostgreSQL's owner role. Raises
// EDatabaseError.
void CreateSchema(TDatabase& db);

// Readies the schema for serving. A current one is used as it is, without a
// statement that changes the schema (a PostgreSQL role without DDL serves
// it). A missing or older one is created or brought up to date when the
// connection may create tables in the schema (CreateSchema); otherwise, and
// for a schema newer than this server knows, it raises EDatabaseError
// saying what the operator must do (the owner's step, `--create-roles`).
void PrepareSchema(TDatabase& db);
