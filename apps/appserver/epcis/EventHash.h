#pragma once
// The event's identity by the Core Business Vocabulary 2.0 event hash: a
// canonical pre-hash string of the event's fields, hashed with SHA-256 and
// written as "ni:///sha-256;{hex}?ver=CBV2.0" (RFC 6920). The same event
// gives the same identifier however often it is written, so a receiver
// drops a copy.
//
// The pre-hash string, for the fields a shipping event has: the fields in
// CBV's canonical order, each "name=value" with nothing between them; a list
// named once and its entries sorted by their UTF-8 bytes; CBV's bare words
// (shipping, in_transit, inv, owning_party...) expanded to their
// https://ref.gs1.org/cbv/ URIs; the event time in UTC with milliseconds and
// 'Z'; a number without trailing zeros. In a typed entry (a business
// transaction, a source, a destination) the type comes first, as GS1's
// published examples and the validator the tests use (epcis2.js) write it.
//
// Written by hand: no library on the system computes it. Pure functions;
// nothing is raised.
#include "ShippingEvent.h"

#include <QByteArray>
#include <QString>

QByteArray EventPreHash(const TShippingEvent& event);
QString EventHashId(const TShippingEvent& event);

// CBV's URIs of its bare words.
QString CbvBizStepUri(const QString& word);     // https://ref.gs1.org/cbv/BizStep-{word}
QString CbvDispositionUri(const QString& word); // .../Disp-{word}
QString CbvTransactionTypeUri(const QString& word); // .../BTT-{word}
QString CbvSourceDestTypeUri(const QString& word);  // .../SDT-{word}

// The event's fixed vocabulary.
inline constexpr char ShippingBizStep[] = "shipping";
inline constexpr char ShippingDisposition[] = "in_transit";

// The text of a time as EPCIS writes it ("2026-03-01T10:15:00.000-03:00"),
// and as the pre-hash has it (in UTC, "...T13:15:00.000Z").
QString EpcisTime(const QDateTime& time);
QString EpcisTimeZoneOffset(const QDateTime& time);
QString PreHashTime(const QDateTime& time);
// A quantity as JSON and the pre-hash write it: no trailing zeros.
QString EpcisNumber(double value);
