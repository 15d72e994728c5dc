#pragma once
// The SQLite driver of the statement interface, on SQLite's C API.
//
// Each connection runs in WAL mode (readers never wait for the writer) with a
// busy time-out and foreign keys on, and commits with synchronous=FULL: a
// commit is on the disk when COMMIT returns. With `backgroundCheckpoints`
// the connection never checkpoints by itself (a TCheckpointer, Checkpointer.h,
// does it off the writers' path). A missing file and its missing folders
// are created readable by their owner only (0600, 0700); the -wal and -shm
// files follow the file's mode.
#include "Statement.h"

std::unique_ptr<TConnection> OpenSqlite(const QString& path, int busyTimeoutMs, bool backgroundCheckpoints = false);
