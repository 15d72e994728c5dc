#pragma once
// The host's command line. The host's own options:
//
//   --open CODE   open the screen CODE (see ScreenCatalogue.h) once the main
//                 window is up; may be given more than once
//   --help        print the usage and stop
//   --demo-labels FILE  write the demo labels of an invoice (DemoLabels.h)
//                 to FILE, a PDF, and stop, without a window
//   --invoice N   the invoice of --demo-labels (default: the branch's first
//                 waiting for readings)
//
// Every other argument is a setting of the host framework (Varneth::Load:
// --server, --branch, --fixed-branch, --database, --config), which
// ParseCommandLine loads.
//
// Failure: ParseCommandLine returns a Portuguese message naming the argument
// at fault (settings then unchanged); "" on success.
#include <QString>
#include <QStringList>

struct THostOptions {
    QStringList Open;    // screen codes, as the catalogue writes them
    bool Help = false;
    QString DemoLabels;  // the PDF to write, "" for the desktop
    QString Invoice;
};

// `arguments` is the program's command line, program name first.
QString ParseCommandLine(const QStringList& arguments, THostOptions& options);

// The text --help prints.
QString Usage();
