#pragma once
// Lines of a CSV file as the import reads them (CsvReader.h): fields quoted
// (libcsv's csv_write, doubling the quotes inside) only when they hold the
// separator, a quote, a line break or blanks at either end, which an
// unquoted field would lose.
#include <QByteArray>
#include <QList>

// One record and its line end ("\r\n", as spreadsheets write).
QByteArray CsvLine(const QList<QByteArray>& fields, char separator);
