#pragma once
// The package description: what a loadable package tells the loader about
// itself, as plain C data, so the loader can read and check it before it runs
// any code of the package.
//
// A package exports three functions with C names (not mangled):
//
//   const TPackageInfoTable* GetPackageInfoTable();
//       The description. Static data of the package, valid while the library
//       is loaded.
//   const char* Initialize();
//       Runs the initialization of every unit, in the order of the unit table.
//       That order is the dependency order: a unit comes after every unit it
//       uses, so the screen unit comes last. Returns null on success. On a
//       failure it finalizes, in reverse order, the units it had initialized
//       and returns a UTF-8 message owned by the package (valid until the next
//       call into it).
//   const char* Finalize();
//       Runs the finalization of every initialized unit, in reverse order.
//       Returns null, or the message of the first failure; the units after a
//       failing one are finalized all the same.
//
// Packages write these with PackageUnits.h; the loader is Packages.h.
#include <cstdint>
#include <type_traits>

inline constexpr std::uint32_t PackageMagic = 0x4B505845;  // "EXPK" in memory order
inline constexpr std::uint32_t PackageAbiVersion = 1;

// Flags of a package.
enum TPackageFlag : std::uint32_t {
    pfRunOnly = 0x1,  // run-time package: loaded by a running host, never by a design tool
};
inline constexpr std::uint32_t PackageKnownFlags = pfRunOnly;

// Limits the loader enforces on a description (names are identifiers of at
// most PackageMaxName characters).
inline constexpr std::uint32_t PackageMaxUnits = 256;
inline constexpr std::uint32_t PackageMaxRequires = 256;
inline constexpr int PackageMaxName = 63;

using TUnitProc = void (*)();

struct TPackageUnitInfo {
    const char* Name;          // unit name
    TUnitProc Initialization;  // null: nothing to do
    TUnitProc Finalization;    // null: nothing to do
};

struct TPackageInfoTable {
    std::uint32_t Magic;       // PackageMagic
    std::uint32_t AbiVersion;  // PackageAbiVersion
    std::uint32_t Flags;       // TPackageFlag bits
    const char* Name;          // the package's own name
    std::uint32_t UnitCount;   // at least 1
    const TPackageUnitInfo* Units;  // in initialization order
    std::uint32_t MainUnit;    // index in Units of the package's main unit
    std::uint32_t RequiresCount;
    const char* const* Requires;  // names of the packages it requires, in declaration order
};

static_assert(std::is_standard_layout_v<TPackageUnitInfo> && std::is_trivial_v<TPackageUnitInfo>);
static_assert(std::is_standard_layout_v<TPackageInfoTable> && std::is_trivial_v<TPackageInfoTable>);

extern "C" {
using TGetPackageInfoTableProc = const TPackageInfoTable* (*)();
using TPackageInitializeProc = const char* (*)();
using TPackageFinalizeProc = const char* (*)();
}
