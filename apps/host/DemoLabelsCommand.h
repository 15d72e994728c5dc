#pragma once
// The demo labels from the host: its menu entry "Leitor → Rótulos de
// demonstração" and its command `host --demo-labels FILE [--invoice N]`
// write the same sheet (labels/DemoLabels.h) from the host's database, for
// the current branch (none: the database's first).
#include "CommandLine.h"

#include <QString>

// Writes the labels of `invoice` ("": the branch's first waiting for
// readings) to `target`, a PDF file, or, when `target` is a folder, to
// "rotulos-demo-BRANCH-INVOICE.pdf" in it. Needs dtmDBGeral open. Returns a
// Portuguese sentence saying what was written where; raises Exception (the
// invoice, the database, the file) as DemoSheet and WriteLabelSheet do.
QString WriteDemoLabels(const QString& invoice, const QString& target);

// --demo-labels: opens the host's database, writes the labels and prints
// the sentence. Needs a QGuiApplication. Returns the exit code: 0, or 1
// with the error on stderr.
int RunDemoLabelsCommand(const THostOptions& options);
