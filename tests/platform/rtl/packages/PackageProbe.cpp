#include "PackageProbe.h"

#include "rtl/Exceptions.h"

namespace {
QStringList events;
QString failingUnit;
QString failingStep;
PackageProbe::TFault fault = PackageProbe::TFault::Valid;
} // namespace

// A deep copy: a package's literals live in its library and vanish with it.
void PackageProbe::Record(const QString& event) { events.append(QString(event.constData(), event.size())); }

QStringList PackageProbe::Take() { return std::exchange(events, {}); }

void PackageProbe::RunUnitStep(const char* unit, const char* step)
{
    const QString name = QString::fromLatin1(unit);
    const QString which = QString::fromLatin1(step);
    Record(which + u' ' + name);
    if (name == failingUnit && which == failingStep)
        throw Exception(QStringLiteral("%1 de %2 falhou de propósito").arg(which, name));
}

void PackageProbe::SetFailing(const QString& unit, const QString& step)
{
    failingUnit = unit;
    failingStep = step;
}

void PackageProbe::SetFault(TFault f) { fault = f; }
PackageProbe::TFault PackageProbe::Fault() { return fault; }

void PackageProbe::Reset()
{
    events.clear();
    SetFailing(QString(), QString());
    fault = TFault::Valid;
}
