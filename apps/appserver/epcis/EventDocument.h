#pragma once
// Writes a GS1 EPCIS 2.0 document (JSON-LD) as a stream: its envelope
// (@context, type EPCISDocument, schemaVersion "2.0", creationDate), the
// master data of the units (epcisHeader), then the events (epcisBody). Each
// unit and each event goes to the device as it is added and nothing of it
// is kept, so memory does not grow with the document.
//
// Lot, expiry and registration of a unit travel as master data of the
// vocabulary type EPCInstance in the document's header: an element per unit,
// named by the unit's Digital Link URI, with the attributes cbvmda:lotNumber,
// cbvmda:itemExpirationDate and GS1's (713) registration number. EPCIS gives
// instance data inside an event only to the event that creates the unit
// (ilmd); a shipping event is not one, and master data does not change
// the event's hash.
//
// The state, and the call behind each move:
//   nothing written --AddUnit--> in the header --AddEvent--> in the body --Finish--> closed
//   nothing written --AddEvent--> in the body;   nothing written --Finish--> closed (no events)
// A unit after the first event, or anything after Finish, is a programming
// error (std::logic_error).
// A device that takes fewer bytes than given raises EConvertError naming
// the device's error; the document is then incomplete and the caller drops it.
#include "ShippingEvent.h"

#include <QDateTime>
#include <QIODevice>

class TEpcisDocumentWriter {
public:
    enum class TPart { Start, Header, Body, Closed };
    // Where a document stands: a writer made with it goes on writing the
    // same document (a document written in pieces, one call each).
    struct TState {
        TPart Part = TPart::Start;
        int Units = 0;
        int Events = 0;
    };

    // `out` stays the caller's and must outlive the writer. A new document,
    // or one that stands at `state`.
    TEpcisDocumentWriter(QIODevice& out, const QDateTime& creation);
    TEpcisDocumentWriter(QIODevice& out, const QDateTime& creation, TState state);
    void AddUnit(const TUnitMasterData& unit);
    // Writes the event with its eventID (EventHash.h).
    void AddEvent(const TShippingEvent& event);
    void Finish();
    int EventCount() const { return events_; }
    TState State() const { return {part_, units_, events_}; }

private:
    void Write(const QByteArray& bytes);
    void Begin();
    void OpenBody();

    QIODevice& out_;
    QDateTime creation_;
    TPart part_;
    int units_;
    int events_;
};

// The JSON object of one event, as the document writes it.
QByteArray EventJson(const TShippingEvent& event);

// The context every document names: EPCIS 2.0's own.
inline constexpr char EpcisContext[] = "https://ref.gs1.org/standards/epcis/2.0.0/epcis-context.jsonld";
