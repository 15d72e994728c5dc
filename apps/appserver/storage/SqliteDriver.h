#pragma once
// The SQLite driver of the statement interface, on SQLite's C API.
//
// Each connection runs in WAL mode (readers never wait for the writer) with a
// busy time-out and foreign keys on, and commits with synchronous=FULL: a
// commit is on the disk when COMMIT returns. With `checkpoints` the
// connection never checkpoints by itself: it reports each commit there, and
// a TCheckpointer (Checkpointer.h) checkpoints off the writers' path. A missing file and its missing folders
// are created readable by their owner only (0600, 0700); the -wal and -shm
// files follow the file's mode.
#include "Checkpointer.h"
#include "Statement.h"

#include <memory>

std::unique_ptr<TConnection> OpenSqlite(const QString& path, int busyTimeoutMs,
                                        std::shared_ptr<TWalActivity> checkpoints = nullptr);
