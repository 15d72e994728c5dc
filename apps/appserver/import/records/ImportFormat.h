#pragma once
// The import format: one CSV file per table, its header the table's own
// column names, so that a file maps to its table one to one. The list below
// is the one description the reader, the import, the export and the
// documentation (docs/import.md) follow; its order is the order of the
// references, parents first.
#include <QList>
#include <QString>

enum class TColumnType {
    Text,       // up to Size characters
    Flag,       // "S" or "N"
    Choice,     // one of the characters of Choices
    Date,       // dd/mm/aaaa or aaaa-mm-dd
    Timestamp,  // a date, optionally followed by hh:mm[:ss[.zzz]]
    Quantity,   // a decimal number >= 0 with at most 3 decimals (NUMERIC(15,3))
    Gtin,       // GTIN-8, -12, -13 or -14 with its check digit
    Gln,        // 13 digits with GS1's check digit
    TaxId,      // CPF (11 digits) or CNPJ (14), with or without punctuation
};

struct TImportColumn {
    const char* Name;
    TColumnType Type;
    int Size = 0;                // Text: the most characters
    bool Required = true;
    const char* Choices = "";    // Choice: the allowed one-character values
    const char* Default = nullptr;  // an absent optional column's value in a new row (null when none)
    bool NewOnly = false;        // taken from the file for a new row only, never changed by an import
};

struct TImportReference {
    const char* Table;           // the parent table; its key has the same column names
    QList<const char*> Columns;  // the referring columns, the parent's key in order
};

struct TImportTable {
    const char* File;            // e.g. "itens.csv"
    const char* Table;           // e.g. "ITEMNOTA"
    const char* Record;          // what one row is, in Portuguese, for messages ("item de nota")
    QList<TImportColumn> Columns;  // the key's columns first
    int KeyColumns;
    QList<TImportReference> References;
    // Rows already in the database are never changed: a row of the file
    // that matches one is either equal or refused (readings).
    bool InsertOnly = false;

    int ColumnIndex(QByteArrayView name) const;  // -1 when the table has none of that name
    const TImportTable* Parent(const TImportReference& reference) const;
};

// Every table the import reads, parents first.
const QList<TImportTable>& ImportTables();
const TImportTable* FindImportTable(QByteArrayView table);
