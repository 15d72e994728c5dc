#pragma once
// The command-line side of `appserver --import FOLDER [--check]` and
// `appserver --export-csv FOLDER`: the database opened and its schema
// brought up to date, the work done, what happened printed. On a terminal
// the import shows a progress bar on stderr (file, records, records per
// second, time left); it always ends with one summary line on stdout, or
// with its problems on stderr (the first 50, then their count).
// Each returns the process's exit code: 0 done, 1 problems or a failure.
#include <QString>

int RunImport(const QString& database, const QString& folder, bool check);
int RunExport(const QString& database, const QString& folder);
