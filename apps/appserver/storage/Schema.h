#pragma once
// The server's own schema. Column names follow the packets the clients see
// (upper-case Portuguese with a kind prefix). Dates are DATE columns and
// times TIMESTAMP columns. One schema for both engines: the statements use
// only portable SQL, except the audit table's generated key and PostgreSQL's
// NVL for the host's query texts (see Schema.cpp).
#include "Database.h"

#include <QStringList>

// The schema's version, recorded in the database (VERSAOESQUEMA): the number
// of the last numbered migration (Migrations.h) applied. A database made
// before versions were recorded counts as 0.
inline constexpr int SchemaVersion = 6;

// The site's key that seals the notices between its servers
// (transport/NoticeSeal.h): NoticeKeyBytes random bytes, made once by
// migration 6 and kept in the table CHAVEAVISO, which the servers' role
// reads and the stations' role may not.
inline constexpr int NoticeKeyBytes = 32;
// The key, read from the database. Raises EDatabaseError when it is not
// there or is not such a key.
QByteArray NoticeKey(TDatabase& db);

// The version the database records (0 when none). Raises EDatabaseError.
int RecordedSchemaVersion(TDatabase& db);

// Applies, in order, each numbered migration above the recorded version up
// to `version` (SchemaVersion unless a test asks for an older schema), each
// in a transaction of its own that also records its number; returns what
// each did, one line each (none when the schema was current). Needs the right
// to create tables: any SQLite connection, PostgreSQL's owner role. Raises
// EDatabaseError; the migrations applied before the failure stay.
QStringList CreateSchema(TDatabase& db, int version = SchemaVersion);

// Version 1, the schema as it stood when versions began to be counted:
// creates every table, index and function that does not exist yet and brings
// the tables of a database made earlier (version 0) up to it. Runs in the
// caller's transaction (the first migration).
void CreateBaseSchema(TDatabase& db);

// Adds `column` of `definition` to `table` unless the table has it already,
// so that a migration also holds for a database whose tables are ahead of
// its recorded version. Raises EDatabaseError.
void AddColumnIfMissing(TDatabase& db, const QString& table, const QString& column, const QString& definition);

// Readies the schema for serving. A current one is used as it is, without a
// statement that changes the schema (a PostgreSQL role without DDL serves
// it). A missing or older one is created or brought up to date when the
// connection may create tables in the schema (CreateSchema); otherwise, and
// for a schema newer than this server knows, it raises EDatabaseError
// saying what the operator must do (the owner's step, `--create-roles`).
void PrepareSchema(TDatabase& db);
