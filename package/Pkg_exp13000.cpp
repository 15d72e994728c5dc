// The package Pkg_exp13000: its description for the package loader, the
// initialization of the screen unit, and the entry the host calls.
#include "rtl/PackageUnits.h"
#include "screen/Cli_exp13000.h"

namespace {

void CliInitialization() { boIdCriado = false; }

constexpr TPackageUnitInfo units[] = {
    {"Pkg_exp13000", nullptr, nullptr},
    {"Cli_exp13000", &CliInitialization, nullptr},
};
constexpr const char* required[] = {"_bar", "_vrn", "_rtl", "_qr", "_lib", "_ger", "_frm", "_db", "_vcl"};
constexpr TPackageInfoTable description = Packages::Describe("Pkg_exp13000", pfRunOnly, units, 0, required);

} // namespace

EXP_PACKAGE(description)

// Opens the screen (see Cli_exp13000::CriaTela); errors pass to the host.
extern "C" Q_DECL_EXPORT void IniProc() { Cli_exp13000::CriaTela(); }
