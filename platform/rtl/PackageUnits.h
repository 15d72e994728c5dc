#pragma once
// How a package declares its units and writes the three exports the loader
// expects (see PackageInfo.h). In the package's one source that carries the
// declaration:
//
//   constexpr TPackageUnitInfo units[] = {
//       {"Pkg_exp13000", nullptr, nullptr},
//       {"Cli_exp13000", &CliInitialization, &CliFinalization},
//   };
//   constexpr const char* required[] = {"_bar", "_vrn", "_rtl", "_qr", "_lib",
//                                       "_ger", "_frm", "_db", "_vcl"};
//   constexpr TPackageInfoTable description =
//       Packages::Describe("Pkg_exp13000", pfRunOnly, units, 0, required);
//   EXP_PACKAGE(description)
//
// Units are listed in initialization order (a unit after the units it uses).
// A unit procedure reports failure by raising; the exports turn that into the
// message the loader receives, so no exception leaves the package through
// its C entry points.
//
// The names of required packages are part of the description only: the
// libraries a package needs are bound by the dynamic linker when it loads.
#include "rtl/PackageInfo.h"

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>

namespace Packages {

// How far one package's units got: the first `Initialized` units of its table
// ran their initialization and not yet their finalization. EXP_PACKAGE keeps
// one per package.
struct TUnitRunState {
    std::uint32_t Initialized = 0;
    QByteArray Error;  // the last message handed out
};

// The bodies of the Initialize and Finalize exports (see PackageInfo.h for
// their contract). Initializing an initialized package does nothing.
const char* InitializeUnits(const TPackageInfoTable& table, TUnitRunState& state);
const char* FinalizeUnits(const TPackageInfoTable& table, TUnitRunState& state);

template <std::size_t Units, std::size_t Required>
constexpr TPackageInfoTable Describe(const char* name, std::uint32_t flags, const TPackageUnitInfo (&units)[Units],
                                     std::uint32_t mainUnit, const char* const (&required)[Required])
{
    static_assert(Units <= PackageMaxUnits && Required <= PackageMaxRequires);
    return {PackageMagic, PackageAbiVersion,   flags, name, std::uint32_t(Units), units,
            mainUnit,     std::uint32_t(Required), required};
}

// A package that requires no other.
template <std::size_t Units>
constexpr TPackageInfoTable Describe(const char* name, std::uint32_t flags, const TPackageUnitInfo (&units)[Units],
                                     std::uint32_t mainUnit)
{
    static_assert(Units <= PackageMaxUnits);
    return {PackageMagic, PackageAbiVersion, flags, name, std::uint32_t(Units), units, mainUnit, 0, nullptr};
}

} // namespace Packages

// Writes GetPackageInfoTable, Initialize and Finalize for the description
// `table` (a constant of static storage). Use once per package.
#define EXP_PACKAGE(table)                                                                 \
    namespace {                                                                            \
    Packages::TUnitRunState expPackageRunState;                                            \
    }                                                                                      \
    extern "C" Q_DECL_EXPORT const TPackageInfoTable* GetPackageInfoTable() { return &(table); } \
    extern "C" Q_DECL_EXPORT const char* Initialize()                                      \
    {                                                                                      \
        return Packages::InitializeUnits((table), expPackageRunState);                     \
    }                                                                                      \
    extern "C" Q_DECL_EXPORT const char* Finalize() { return Packages::FinalizeUnits((table), expPackageRunState); }
