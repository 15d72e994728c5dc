#pragma once
// What the test packages and the package tests share: a record of the unit
// procedures that ran, switches that make a unit fail, and the fault the
// malformed package puts into its description. Lives in its own shared
// library so the test and every package it loads see one state.
#include <QString>
#include <QStringList>

namespace PackageProbe {

void Record(const QString& event);
// Everything recorded since the last call.
QStringList Take();

// Runs unit `unit`'s procedure `step` ("init" or "fin"): records
// "<step> <unit>" and raises Exception when that step of that unit was set
// to fail.
void RunUnitStep(const char* unit, const char* step);
// Makes `step` of `unit` fail from now on ("" for none); reset by Reset.
void SetFailing(const QString& unit, const QString& step);

// Faults of the malformed package's description; Valid is its control case.
enum class TFault {
    Valid,
    NullTable,
    BadMagic,
    NewerAbi,
    UnknownFlag,
    NullPackageName,
    NoUnits,
    NullUnitList,
    NullUnitName,
    UnitNameWithBlank,
    UnitNameTooLong,
    DuplicateUnit,
    MainUnitOutOfRange,
    NullRequiresList,
    EmptyRequiredName,
    DuplicateRequired,
};
void SetFault(TFault fault);
TFault Fault();

// Back to nothing recorded, nothing failing, a valid description.
void Reset();

} // namespace PackageProbe
