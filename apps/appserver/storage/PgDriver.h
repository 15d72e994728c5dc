#pragma once
// The PostgreSQL driver of the statement interface, on libpq.
//
// `conninfo` is a libpq connection string or URI (postgresql://user@host:port/
// dbname); what it leaves out comes from the PG environment variables
// (PGHOST, PGPORT, PGUSER, PGDATABASE, PGPASSWORD). The session talks UTF-8
// and shows dates in ISO form, as the SQLite file stores them. A result is
// read whole by libpq before its first row is stepped.
#include "Statement.h"

std::unique_ptr<TConnection> OpenPostgres(const QString& conninfo);
