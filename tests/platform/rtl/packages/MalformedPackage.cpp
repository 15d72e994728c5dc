// A package whose description carries the fault the probe names, written by
// hand (the declaration helper cannot produce most of these faults). Its
// Initialize and Finalize only report that they ran: the loader must never
// call them for a refused description. Built a second time without
// Initialize (EXP_TEST_OMIT_INITIALIZE).
#include "PackageProbe.h"
#include "rtl/PackageInfo.h"

#include <QtGlobal>

namespace {
using PackageProbe::TFault;

const TPackageUnitInfo goodUnits[] = {{"Pkg_bad", nullptr, nullptr}, {"Cli_bad", nullptr, nullptr}};
const TPackageUnitInfo nullNameUnits[] = {{"Pkg_bad", nullptr, nullptr}, {nullptr, nullptr, nullptr}};
const TPackageUnitInfo blankNameUnits[] = {{"Pkg_bad", nullptr, nullptr}, {"Cli bad", nullptr, nullptr}};
const TPackageUnitInfo longNameUnits[] = {
    {"Pkg_bad", nullptr, nullptr},
    {"U234567890123456789012345678901234567890123456789012345678901234", nullptr, nullptr}};
const TPackageUnitInfo duplicateUnits[] = {{"Pkg_bad", nullptr, nullptr}, {"PKG_BAD", nullptr, nullptr}};
const char* const goodRequires[] = {"_rtl", "_vcl"};
const char* const emptyRequires[] = {"_rtl", ""};
const char* const duplicateRequires[] = {"_rtl", "_RTL"};

TPackageInfoTable table;
} // namespace

extern "C" Q_DECL_EXPORT const TPackageInfoTable* GetPackageInfoTable()
{
    table = {PackageMagic, PackageAbiVersion, pfRunOnly, "Pkg_bad", 2, goodUnits, 1, 2, goodRequires};
    switch (PackageProbe::Fault()) {
    case TFault::Valid: break;
    case TFault::NullTable: return nullptr;
    case TFault::BadMagic: table.Magic = 0x12345678; break;
    case TFault::NewerAbi: table.AbiVersion = PackageAbiVersion + 1; break;
    case TFault::UnknownFlag: table.Flags |= 0x80; break;
    case TFault::NullPackageName: table.Name = nullptr; break;
    case TFault::NoUnits: table.UnitCount = 0; break;
    case TFault::NullUnitList: table.Units = nullptr; break;
    case TFault::NullUnitName: table.Units = nullNameUnits; break;
    case TFault::UnitNameWithBlank: table.Units = blankNameUnits; break;
    case TFault::UnitNameTooLong: table.Units = longNameUnits; break;
    case TFault::DuplicateUnit: table.Units = duplicateUnits; break;
    case TFault::MainUnitOutOfRange: table.MainUnit = 2; break;
    case TFault::NullRequiresList: table.Requires = nullptr; break;
    case TFault::EmptyRequiredName: table.Requires = emptyRequires; break;
    case TFault::DuplicateRequired: table.Requires = duplicateRequires; break;
    }
    return &table;
}

#ifndef EXP_TEST_OMIT_INITIALIZE
extern "C" Q_DECL_EXPORT const char* Initialize()
{
    PackageProbe::Record(QStringLiteral("Initialize"));
    return nullptr;
}
#endif

extern "C" Q_DECL_EXPORT const char* Finalize()
{
    PackageProbe::Record(QStringLiteral("Finalize"));
    return nullptr;
}
