#pragma once
// The screens the host offers: where each sits in the menu, which package
// library carries it and which exported function opens it. The menu and the
// command line (--open CODE) both read this table.
#include <QList>
#include <QString>

struct TScreenEntry {
    QString Code;         // screen code, as given to --open
    QString Menu;         // title of the main menu that holds the entry
    QString Caption;      // text of the menu entry
    QString PackageFile;  // file name of the package library
    const char* Entry;    // exported function (plain C name) that opens the screen
};

const QList<TScreenEntry>& ScreenCatalogue();

// The entry of `code` (letter case ignored), or nullptr.
const TScreenEntry* FindScreen(const QString& code);
