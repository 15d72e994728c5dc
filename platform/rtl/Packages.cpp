#include "Packages.h"

#include "Exceptions.h"
#include "PackageInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct TLoadedPackage {
    TPackageHandle Handle;
    QString CanonicalPath;
    std::unique_ptr<QLibrary> Library;
    const TPackageInfoTable* Table;
    TPackageFinalizeProc Finalize;
    TPackageInfo Info;
    int Uses = 1;
};

// The packages this process has loaded (main thread only, see the header).
std::vector<std::unique_ptr<TLoadedPackage>>& loadedPackages()
{
    static std::vector<std::unique_ptr<TLoadedPackage>> list;
    return list;
}
quint64 lastHandle = 0;

[[noreturn]] void refuse(const QString& file, const QString& fault)
{
    throw EPackageError(QStringLiteral("Pacote '%1' recusado: %2.").arg(file, fault));
}

[[noreturn]] void malformed(const QString& file, const QString& fault)
{
    refuse(file, QStringLiteral("descrição do pacote malformada: %1").arg(fault));
}

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// The name a description gives, or a null string when it is not an
// identifier of at most PackageMaxName characters. The length is bounded
// before anything else is read, so an unterminated text is refused too.
QString identifier(const char* text)
{
    if (!text)
        return QString();
    const std::size_t length = strnlen(text, PackageMaxName + 1);
    if (length == 0 || length > std::size_t(PackageMaxName))
        return QString();
    for (std::size_t i = 0; i < length; ++i)
        if (!isAsciiLetter(text[i]) && !(i > 0 && isAsciiDigit(text[i])))
            return QString();
    return QString::fromLatin1(text, qsizetype(length));
}

// Reads the description, refusing it at the first fault.
TPackageInfo readDescription(const QString& file, const TPackageInfoTable* table)
{
    if (!table)
        refuse(file, QStringLiteral("a descrição do pacote está ausente (GetPackageInfoTable devolveu nulo)"));
    if (table->Magic != PackageMagic)
        malformed(file, QStringLiteral("assinatura desconhecida"));
    if (table->AbiVersion != PackageAbiVersion)
        malformed(file, QStringLiteral("versão %1 não suportada (esperada %2)")
                            .arg(table->AbiVersion)
                            .arg(PackageAbiVersion));
    if (table->Flags & ~PackageKnownFlags)
        malformed(file, QStringLiteral("indicadores desconhecidos (0x%1)").arg(table->Flags, 0, 16));

    TPackageInfo info;
    info.FileName = file;
    info.RunOnly = table->Flags & pfRunOnly;
    info.Name = identifier(table->Name);
    if (info.Name.isNull())
        malformed(file, QStringLiteral("nome do pacote inválido"));

    if (table->UnitCount == 0 || table->UnitCount > PackageMaxUnits || !table->Units)
        malformed(file, QStringLiteral("o pacote deve declarar de 1 a %1 unidades").arg(PackageMaxUnits));
    for (std::uint32_t i = 0; i < table->UnitCount; ++i) {
        const QString unit = identifier(table->Units[i].Name);
        if (unit.isNull())
            malformed(file, QStringLiteral("nome inválido na unidade %1").arg(i + 1));
        if (info.Units.contains(unit, Qt::CaseInsensitive))
            malformed(file, QStringLiteral("unidade '%1' declarada duas vezes").arg(unit));
        info.Units.append(unit);
    }
    if (table->MainUnit >= table->UnitCount)
        malformed(file, QStringLiteral("a unidade principal (%1) não está entre as %2 unidades declaradas")
                            .arg(table->MainUnit)
                            .arg(table->UnitCount));
    info.MainUnit = info.Units.at(qsizetype(table->MainUnit));

    if (table->RequiresCount > PackageMaxRequires || (table->RequiresCount > 0 && !table->Requires))
        malformed(file, QStringLiteral("lista de pacotes requeridos inválida"));
    for (std::uint32_t i = 0; i < table->RequiresCount; ++i) {
        const QString required = identifier(table->Requires[i]);
        if (required.isNull())
            malformed(file, QStringLiteral("nome inválido no pacote requerido %1").arg(i + 1));
        if (info.Requires.contains(required, Qt::CaseInsensitive))
            malformed(file, QStringLiteral("pacote requerido '%1' listado duas vezes").arg(required));
        info.Requires.append(required);
    }
    return info;
}

TLoadedPackage& loadedPackage(TPackageHandle handle)
{
    for (const auto& package : loadedPackages())
        if (package->Handle == handle)
            return *package;
    throw EPackageError(QStringLiteral("Pacote não carregado (identificador %1).").arg(quint64(handle)));
}

// Closes the library on every way out of LoadPackage but the successful one.
class TLibraryGuard {
public:
    explicit TLibraryGuard(QLibrary& library) : library_(library) {}
    ~TLibraryGuard()
    {
        if (armed_)
            library_.unload();
    }
    TLibraryGuard(const TLibraryGuard&) = delete;
    TLibraryGuard& operator=(const TLibraryGuard&) = delete;
    void Release() { armed_ = false; }

private:
    QLibrary& library_;
    bool armed_ = true;
};

} // namespace

TPackageHandle LoadPackage(const QString& path)
{
    const QString file = QDir::toNativeSeparators(path);
    const QFileInfo fileInfo(path);
    if (!fileInfo.isFile())
        refuse(file, QStringLiteral("arquivo não encontrado"));

    // A package loaded before under this file (or a link to it) only counts
    // one use more. Its library is not opened a second time: with two QLibrary
    // objects on one file, closing either would close the library under both.
    const QString canonical = fileInfo.canonicalFilePath();
    for (const auto& package : loadedPackages()) {
        if (package->CanonicalPath == canonical) {
            ++package->Uses;
            return package->Handle;
        }
    }

    auto library = std::make_unique<QLibrary>(canonical);
    // Every symbol is bound at once, so a package that misses a library it
    // needs is refused here rather than failing in the middle of its work.
    library->setLoadHints(QLibrary::ResolveAllSymbolsHint);
    if (!library->load())
        refuse(file, QStringLiteral("não foi possível carregá-lo como biblioteca (%1)").arg(library->errorString()));
    TLibraryGuard guard(*library);

    const auto getTable = reinterpret_cast<TGetPackageInfoTableProc>(library->resolve("GetPackageInfoTable"));
    if (!getTable)
        refuse(file, QStringLiteral("o arquivo não é um pacote (não exporta GetPackageInfoTable)"));
    const TPackageInfoTable* table = getTable();

    // The same library reached through another name (a hard link) answers
    // with the same description; the guard gives back the extra reference.
    for (const auto& package : loadedPackages()) {
        if (package->Table == table) {
            ++package->Uses;
            return package->Handle;
        }
    }

    TPackageInfo info = readDescription(file, table);
    const auto initialize = reinterpret_cast<TPackageInitializeProc>(library->resolve("Initialize"));
    const auto finalize = reinterpret_cast<TPackageFinalizeProc>(library->resolve("Finalize"));
    if (!initialize || !finalize)
        refuse(file, QStringLiteral("o pacote não exporta Initialize e Finalize"));
    if (const char* error = initialize())
        refuse(file, QStringLiteral("a inicialização falhou: %1").arg(QString::fromUtf8(error)));

    guard.Release();
    auto package = std::make_unique<TLoadedPackage>();
    package->Handle = TPackageHandle(++lastHandle);
    package->CanonicalPath = canonical;
    package->Library = std::move(library);
    package->Table = table;
    package->Finalize = finalize;
    package->Info = std::move(info);
    loadedPackages().push_back(std::move(package));
    return loadedPackages().back()->Handle;
}

void UnloadPackage(TPackageHandle handle)
{
    TLoadedPackage& package = loadedPackage(handle);
    if (--package.Uses > 0)
        return;

    const char* failure = package.Finalize();
    // Copied before the library, which owns the text, is closed.
    const QString error = failure ? QString::fromUtf8(failure) : QString();
    const QString file = package.Info.FileName;

    auto& list = loadedPackages();
    auto it = std::find_if(list.begin(), list.end(), [&](const auto& p) { return p.get() == &package; });
    std::unique_ptr<TLoadedPackage> entry = std::move(*it);
    list.erase(it);
    entry->Library->unload();

    if (!error.isEmpty())
        throw EPackageError(QStringLiteral("Pacote '%1': a finalização falhou: %2").arg(file, error));
}

TPackageInfo PackageInfo(TPackageHandle handle) { return loadedPackage(handle).Info; }

QFunctionPointer GetPackageProc(TPackageHandle handle, const char* name)
{
    return loadedPackage(handle).Library->resolve(name);
}
