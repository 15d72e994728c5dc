// A well-formed package with two units, declared the way the screen's
// package declares itself, whose unit procedures report to the probe.
#include "PackageProbe.h"
#include "rtl/PackageUnits.h"

namespace {
void pkgInit() { PackageProbe::RunUnitStep("Pkg_test", "init"); }
void pkgFin() { PackageProbe::RunUnitStep("Pkg_test", "fin"); }
void cliInit() { PackageProbe::RunUnitStep("Cli_test", "init"); }
void cliFin() { PackageProbe::RunUnitStep("Cli_test", "fin"); }

constexpr TPackageUnitInfo units[] = {
    {"Pkg_test", &pkgInit, &pkgFin},
    {"Cli_test", &cliInit, &cliFin},
};
constexpr const char* required[] = {"_bar", "_vrn", "_rtl", "_qr", "_lib", "_ger", "_frm", "_db", "_vcl"};
constexpr TPackageInfoTable description = Packages::Describe("Pkg_test", pfRunOnly, units, 0, required);
} // namespace

EXP_PACKAGE(description)

extern "C" Q_DECL_EXPORT void IniProc() { PackageProbe::Record(QStringLiteral("IniProc")); }
