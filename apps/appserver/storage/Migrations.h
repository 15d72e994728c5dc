#pragma once
// The schema's numbered migrations. Migration N takes a schema of version
// N - 1 to version N; CreateSchema (Schema.h) applies those above the
// version a database records, in order, each in its own transaction, so a
// database of any earlier version (0: made before versions were counted)
// comes up to date, at a server's start or by `appserver --migrate`.
//
// A migration is never changed once released: a later change of the schema
// is a new migration at the end of the list. Each is tested from the schema
// of the version before it, on both engines (tests/apps/appserver/
// MigrationTest.cpp).
#include "Database.h"

#include <QList>
#include <QString>

struct TMigration {
    int Version;
    QString Description;  // Portuguese, for the operator: what it brings
    void (*Apply)(TDatabase& db);  // runs in the caller's transaction; raises EDatabaseError
};

// Every migration, by version, 1 to SchemaVersion without gaps.
const QList<TMigration>& Migrations();
