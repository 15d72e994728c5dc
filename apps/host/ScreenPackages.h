#pragma once
// TScreenPackages: the run-time packages the host has loaded to open its
// screens.
//
// Open loads the screen's package on first use (LoadPackage, which runs the
// package's unit initialization) and calls the screen's exported entry
// function on every use. The library is looked for in the search folders,
// in order; the host searches its own folder and then ../lib beside it.
//
// Failure: Open raises EPackageError when the library is in none of the
// folders, the loader refuses it, or it does not export the entry; such a
// package is not kept loaded, so the next Open tries again from the file.
// Whatever the entry itself raises passes on unchanged, and its package
// stays loaded (the entry may be called again).
//
// UnloadAll gives the packages back, the last loaded first. Everything a
// package made (its screen windows above all) must be destroyed before:
// unloading unmaps the package's code. Main thread only.
#include "ScreenCatalogue.h"

#include "rtl/Packages.h"

#include <QString>
#include <QStringList>
#include <vector>

class TScreenPackages {
public:
    explicit TScreenPackages(QStringList searchDirs);
    // A package still loaded is left loaded: its finalization may need
    // objects that are gone by then. Call UnloadAll first.
    ~TScreenPackages() = default;
    TScreenPackages(const TScreenPackages&) = delete;
    TScreenPackages& operator=(const TScreenPackages&) = delete;

    // The host's own folder, then ../lib relative to it (the build), then
    // where the package is installed (LIBDIR/exp13000, found from BINDIR).
    static QStringList DefaultSearchDirs();

    void Open(const TScreenEntry& screen);
    bool Loaded(const QString& packageFile) const;
    // Unloads every package; raises EPackageError with the first failure
    // once all of them are unloaded.
    void UnloadAll();

    // The path of `fileName` in the first search folder that has it; raises
    // EPackageError naming every folder searched.
    QString Locate(const QString& fileName) const;

private:
    struct TLoaded {
        QString File;
        TPackageHandle Handle;
    };

    TPackageHandle Load(const QString& fileName);
    // Gives the package back after a refusal and raises `error`.
    [[noreturn]] void Refuse(const QString& fileName, const QString& error);

    QStringList searchDirs_;
    std::vector<TLoaded> loaded_;
};
