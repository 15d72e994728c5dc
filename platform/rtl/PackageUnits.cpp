#include "PackageUnits.h"

#include "Exceptions.h"

#include <QString>

#include <exception>

namespace {

// The message of the exception being handled.
QString currentMessage()
{
    try {
        throw;
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("erro desconhecido");
    }
}

// Finalizes the initialized units in reverse order; every unit gets its turn
// even after a failure. Returns the first failure's message, or a null string.
QString finalizeInitialized(const TPackageInfoTable& table, Packages::TUnitRunState& state)
{
    QString first;
    while (state.Initialized > 0) {
        const TPackageUnitInfo& unit = table.Units[--state.Initialized];
        try {
            if (unit.Finalization)
                unit.Finalization();
        } catch (...) {
            if (first.isNull())
                first = QStringLiteral("unidade '%1': %2").arg(QString::fromLatin1(unit.Name), currentMessage());
        }
    }
    return first;
}

const char* handOut(Packages::TUnitRunState& state, const QString& message)
{
    state.Error = message.toUtf8();
    return state.Error.constData();
}

} // namespace

const char* Packages::InitializeUnits(const TPackageInfoTable& table, TUnitRunState& state)
{
    while (state.Initialized < table.UnitCount) {
        const TPackageUnitInfo& unit = table.Units[state.Initialized];
        try {
            if (unit.Initialization)
                unit.Initialization();
        } catch (...) {
            // The failing unit counts as not initialized: only those before it
            // are finalized, and their own failures are not the news here.
            const QString message = QStringLiteral("unidade '%1': %2").arg(QString::fromLatin1(unit.Name), currentMessage());
            finalizeInitialized(table, state);
            return handOut(state, message);
        }
        ++state.Initialized;
    }
    return nullptr;
}

const char* Packages::FinalizeUnits(const TPackageInfoTable& table, TUnitRunState& state)
{
    const QString failure = finalizeInitialized(table, state);
    return failure.isNull() ? nullptr : handOut(state, failure);
}
