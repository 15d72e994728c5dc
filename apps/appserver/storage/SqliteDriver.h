#pragma once
// The SQLite driver of the statement interface, on SQLite's C API.
//
// Each connection runs in WAL mode (readers never wait for the writer) with a
// busy time-out and foreign keys on. The file's folder is created when
// missing.
#include "Statement.h"

std::unique_ptr<TConnection> OpenSqlite(const QString& path, int busyTimeoutMs);
