#pragma once
// Loading and unloading of run-time packages: shared libraries that carry a
// package description (PackageInfo.h) and initialize their units when loaded.
//
// LoadPackage opens the library, reads and checks its description, then runs
// its Initialize export. Every refusal raises EPackageError with a message
// that names the file and the fault; after a refusal nothing of the package
// stays loaded and none of its units is left initialized.
//
// Loading a package that is loaded already (the same library, by any path)
// initializes nothing again: it returns the same handle and counts one more
// use. UnloadPackage gives back one use; the last one runs Finalize and
// closes the library, and the handle is dead afterwards.
//
// Unloading unmaps the package's code and constant data: nothing of it may be
// used afterwards, including string literals it handed out (QStringLiteral
// data lives in the library; keep a deep copy of any text meant to outlive it).
//
// To be called from the host's main thread only; units initialize there.
#include <QStringList>
#include <QtGlobal>

// Identifies one loaded package; the null handle (value 0) is none.
enum class TPackageHandle : quint64 {};

// What a loaded package declared, copied out of the library.
struct TPackageInfo {
    QString FileName;  // the path it was loaded from
    QString Name;
    QStringList Units;  // in initialization order
    QString MainUnit;
    QStringList Requires;  // in declaration order
    bool RunOnly = false;
};

// Raises EPackageError when the file cannot be loaded, is no package, or its
// description is missing or malformed, or a unit's initialization fails.
TPackageHandle LoadPackage(const QString& path);

// Runs the package's finalization (last use only) and closes the library.
// Raises EPackageError for a handle that is not loaded, and, after the
// library has been closed all the same, when a unit's finalization failed.
void UnloadPackage(TPackageHandle handle);

// The description of a loaded package; raises EPackageError for a handle
// that is not loaded.
TPackageInfo PackageInfo(TPackageHandle handle);

// An exported function of a loaded package by its unmangled name, or null
// when it exports none of that name. Raises EPackageError for a handle that
// is not loaded. The pointer is valid until the package is unloaded.
QFunctionPointer GetPackageProc(TPackageHandle handle, const char* name);
