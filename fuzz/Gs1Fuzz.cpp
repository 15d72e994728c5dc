// The GS1 parser (server/Gs1.h): the input is a scan, as the server receives
// it in setLeituraIUM. An element string accepted has only values within its
// identifiers' shapes and reads back the same from its own element string;
// an IUM accepted has a GTIN with a valid check digit and a serial, and
// agrees with the element string's values.
#include "Fuzz.h"

#include "rtl/Exceptions.h"
#include "server/Gs1.h"
#include "server/Gs1Identifiers.h"

namespace {

const QDate Today(2026, 6, 15);

void CheckIum(const QString& scan, const TGs1Code& gs1)
{
    TIumCode code;
    try {
        code = ParseIumCode(scan, Today);
    } catch (const EConvertError&) {
        Fuzz::Require(gs1.Value(u"01").isEmpty() || gs1.Value(u"21").isEmpty(),
                      "an element string with a GTIN and a serial is an IUM");
        return;
    }
    Fuzz::Require(IsValidGtin(code.Gtin) && code.Gtin.size() == 14, "an accepted IUM has a valid GTIN-14");
    Fuzz::Require(code.Gtin == gs1.Value(u"01") && code.Serial == gs1.Value(u"21") && code.Lot == gs1.Value(u"10")
                      && code.Registration == gs1.Value(u"713"),
                  "an IUM's elements are the element string's");
    Fuzz::Require(code.Code == WithoutSymbologyIdentifier(scan), "the code is the scan without its symbology identifier");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString scan = QString::fromUtf8(Fuzz::Bytes(data, size));
    TGs1Code code;
    try {
        code = ParseGs1(scan, Today);
    } catch (const EConvertError&) {
        try {
            ParseIumCode(scan, Today);
        } catch (const EConvertError&) {
            return 0;
        }
        Fuzz::Require(false, "an IUM is a valid element string");
    }
    for (const TGs1Element& element : code.Elements) {
        const TGs1Identifier* id = FindGs1Identifier(element.Ai);
        Fuzz::Require(id && id->Ai == element.Ai, "every element has a known identifier");
        Fuzz::Require(!element.Value.isEmpty() && element.Value.size() <= id->MaxLength(),
                      "every value fits its identifier");
    }
    const TGs1Code again = ParseGs1(Gs1ElementString(code.Elements), Today);
    Fuzz::Require(again.Elements == code.Elements, "an element string reads back from its own elements");
    CheckIum(scan, code);
    return 0;
}
