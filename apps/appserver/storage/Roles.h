#pragma once
// The PostgreSQL roles of a site, each with the least it needs:
//
//   the owner      the database's owner (createdb --owner): owns the schema,
//                  creates and upgrades it (CreateSchema), runs this setup;
//   the server's   reads and writes every table of the schema and may not
//                  change the schema; the audit table is append-only to it
//                  (INSERT and SELECT, no UPDATE or DELETE).
//
// Stations hold no role: their branch query goes through the application
// server. The role stations had in earlier set-ups (StationRole), when it
// exists, loses every right on the database, CONNECT included: whoever
// connects to the database can listen to and notify on its channels.
//
// SetUpRoles runs on a connection of the owner or of an administrator (a
// superuser, or a role that may act as the owner). It creates the server's
// login role when it is missing (which needs an administrator or the
// CREATEROLE attribute), sets the password given, then
// acts as the owner: creates or upgrades the schema, takes every right on the
// database and the schema from PUBLIC (so no other role connects, creates
// objects or temporary tables there), grants the server's role its part,
// takes everything from the stations' old role, and sets
// the owner's default privileges so that tables it creates later are the
// server's to read and write too. Running it again changes nothing but the
// passwords given; each step is idempotent, so one that failed half-way is
// mended by running it again.
//
// A role that exists with more than a login (superuser, CREATEROLE,
// CREATEDB, BYPASSRLS, or membership of the owner) is refused rather than
// used: it would hold more than its part.
//
// Role names are checked (ValidRoleName) before they reach SQL. CREATE ROLE
// and GRANT take no bound parameters: names go quoted as identifiers, and a
// password goes as libpq's verifier (PgPasswordVerifier), never in clear.
#include "Database.h"

#include <QString>
#include <QStringList>
#include <optional>

struct TRoleSetup {
    QString ServerRole = QStringLiteral("exp13000_servidor");
    // The role stations had before they went through the server; its rights
    // are taken back.
    QString StationRole = QStringLiteral("exp13000_estacao");
    // Set when given. Without one an existing role keeps its password and a
    // new one has none (it logs in only where pg_hba.conf needs no password:
    // peer or certificate authentication).
    std::optional<QString> ServerPassword;
};

// Whether `name` may name a role here: 1 to 63 of a-z, 0-9 and _, not
// starting with a digit or with "pg_" (PostgreSQL's own).
bool ValidRoleName(const QString& name);

// Makes `db`'s connection (PostgreSQL) act as the database's owner, so that
// what it creates is the owner's: SET ROLE when it is an administrator's or
// a member's of the owner; true when it did (RESET ROLE gives the
// connection back its own). Raises EDatabaseError, naming the owner's
// command, when the connection may not act as the owner.
bool ActAsOwner(TDatabase& db);

// Sets the roles up on the database `db` is connected to (PostgreSQL only).
// Returns what it did, one line in Portuguese each. Raises EDatabaseError
// with the reason (a role refused, a right missing, the database's own text).
QStringList SetUpRoles(TDatabase& db, const TRoleSetup& setup);
