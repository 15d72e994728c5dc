#include "ScreenPackages.h"

#include "rtl/Exceptions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

TScreenPackages::TScreenPackages(QStringList searchDirs) : searchDirs_(std::move(searchDirs)) {}

QStringList TScreenPackages::DefaultSearchDirs()
{
    const QDir own(QCoreApplication::applicationDirPath());
    // Beside the host, the build's lib folder, and where it is installed.
    return {own.absolutePath(), QDir::cleanPath(own.absoluteFilePath(QStringLiteral("../lib"))),
            QDir::cleanPath(own.absoluteFilePath(QStringLiteral(EXP_INSTALLED_PACKAGE_DIR)))};
}

QString TScreenPackages::Locate(const QString& fileName) const
{
    for (const QString& dir : searchDirs_) {
        const QFileInfo file(QDir(dir), fileName);
        if (file.isFile())
            return file.absoluteFilePath();
    }
    QStringList places;
    for (const QString& dir : searchDirs_)
        places.append(QDir::toNativeSeparators(dir));
    throw EPackageError(QStringLiteral("O pacote %1 não foi encontrado. Procurado em:\n%2")
                            .arg(fileName, places.join(u'\n')));
}

bool TScreenPackages::Loaded(const QString& packageFile) const
{
    return std::any_of(loaded_.begin(), loaded_.end(), [&](const TLoaded& p) { return p.File == packageFile; });
}

TPackageHandle TScreenPackages::Load(const QString& fileName)
{
    for (const TLoaded& package : loaded_)
        if (package.File == fileName)
            return package.Handle;
    const TPackageHandle handle = LoadPackage(Locate(fileName));
    loaded_.push_back({fileName, handle});
    return handle;
}

void TScreenPackages::Refuse(const QString& fileName, const QString& error)
{
    const auto it = std::find_if(loaded_.begin(), loaded_.end(), [&](const TLoaded& p) { return p.File == fileName; });
    const TPackageHandle handle = it->Handle;
    loaded_.erase(it);
    try {
        UnloadPackage(handle);
    } catch (const EPackageError&) {
        // The refusal is the news; the finalization's own failure would hide it.
    }
    throw EPackageError(error);
}

void TScreenPackages::Open(const TScreenEntry& screen)
{
    const TPackageHandle handle = Load(screen.PackageFile);
    using TEntryProc = void (*)();
    const auto entry = reinterpret_cast<TEntryProc>(GetPackageProc(handle, screen.Entry));
    if (!entry)
        Refuse(screen.PackageFile, QStringLiteral("O pacote %1 não exporta %2: a tela \"%3\" não pode ser aberta.")
                                       .arg(screen.PackageFile, QString::fromLatin1(screen.Entry), screen.Caption));
    entry();
}

void TScreenPackages::UnloadAll()
{
    QString firstError;
    while (!loaded_.empty()) {
        const TPackageHandle handle = loaded_.back().Handle;
        loaded_.pop_back();
        try {
            UnloadPackage(handle);
        } catch (const EPackageError& e) {
            if (firstError.isEmpty())
                firstError = e.Message();
        }
    }
    if (!firstError.isEmpty())
        throw EPackageError(firstError);
}
