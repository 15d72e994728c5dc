#pragma once
// SQL functions that the framework's generic query texts use and SQLite
// lacks, registered on one connection:
//
//   NVL(a, b)   b when a is NULL, else a
//
// They are registered through SQLite's own interface on the handle of the
// QtSql connection; the framework links the same system SQLite library the
// QtSql driver uses, so the handle is valid for it.
#include <QSqlDatabase>

// Raises EDatabaseError when `db` is not an open SQLite connection or SQLite
// refuses a registration.
void RegisterSqliteFunctions(const QSqlDatabase& db);
