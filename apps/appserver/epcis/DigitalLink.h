#pragma once
// GS1 Digital Link URIs of the things a traceability event names: a unit
// (GTIN + serial), a product (GTIN alone), and a party or a place by its GLN.
// Canonical form, on GS1's own domain (https://id.gs1.org), so a receiver
// compares them as text and no company-prefix length is needed.
//
// Written here because no library on the system builds Digital Link URIs;
// the GS1 rules themselves (character set, check digits) come from
// services/server/Gs1.h.
#include <QString>

// "https://id.gs1.org/01/{GTIN-14}/21/{serial}". A GTIN-8, -12 or -13 is
// padded with zeros to 14 digits, as the canonical URI has it; the serial
// (1 to 20 characters of GS1's set 82) is percent-encoded (PercentEncodeAiValue).
// Raises EConvertError saying which part cannot form the URI.
QString UnitUri(const QString& gtin, const QString& serial);

// "https://id.gs1.org/01/{GTIN-14}": the product, for counted quantities.
// Raises EConvertError for a GTIN that is not one.
QString ProductUri(const QString& gtin);

// A GLN as the party that owns goods ("/417/") or as a place ("/414/").
// Raises EConvertError for a GLN that is not 13 digits with its check digit.
QString PartyUri(const QString& gln);
QString LocationUri(const QString& gln);

// An application identifier's value as a Digital Link path segment: every
// character other than the letters, digits, '-', '.' and '_' as %XX
// (upper-case hexadecimal), so '/', '%', '?', '#' and the other reserved
// characters of URIs that set 82 holds can never end or split the segment.
QString PercentEncodeAiValue(const QString& value);

// The GTIN's 14-digit form, or "" when it is no valid GTIN-8/12/13/14.
QString Gtin14(const QString& gtin);
