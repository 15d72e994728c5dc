#pragma once
// One confirmed invoice as a traceability event: a GS1 EPCIS 2.0 ObjectEvent
// (action OBSERVE, business step shipping, disposition in_transit) of the
// units read for it, or of the quantities of its items that carry no unit
// marks. Plain values, built by ShippingEvents.h from the database and
// written by EventDocument.h; every identifier here is already a URI.
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

// A product and how many of it (no unit of measure: a count of units).
struct TEpcisQuantity {
    QString EpcClass;  // ProductUri
    double Quantity = 0;
};

// A business transaction (CBV type "inv", "po"...) or a source or
// destination (CBV type "owning_party", "location"...): the type as CBV's
// bare word, and the identifier.
struct TEpcisTyped {
    QString Type;
    QString Id;
};

struct TShippingEvent {
    QDateTime Time;  // the confirmation's time, with its offset from UTC
    QStringList Epcs;  // UnitUri of every unit read, in the order read
    QList<TEpcisQuantity> Quantities;  // items without unit marks
    QString ReadPoint;  // the branch as a place
    QList<TEpcisTyped> Transactions;
    QList<TEpcisTyped> Sources;
    QList<TEpcisTyped> Destinations;
};

// What a receiver needs of a unit beyond its identity, carried in the
// document's master data (EventDocument.h). An empty or invalid field is left out.
struct TUnitMasterData {
    QString Epc;  // UnitUri
    QString Lot;
    QDate Expiry;
    QString Registration;  // the health authority's registration of the product, GS1 (713)
};
