// The GS1 parser of IUM codes (server/Gs1.h): the input is a scan, as the
// server receives it in setLeituraIUM. A code accepted has a GTIN with a
// valid check digit and a serial, its variable fields within GS1's bounds,
// and reads back the same from its own element string.
#include "Fuzz.h"

#include "rtl/Exceptions.h"
#include "server/Gs1.h"

namespace {

const QDate Today(2026, 6, 15);

bool Variable(const QString& value, bool required)
{
    if (value.isEmpty())
        return !required;
    if (value.size() > 20)
        return false;
    for (QChar c : value)
        if (!IsGs1Character(c))
            return false;
    return true;
}

// The code's element string: fixed fields first, each variable one ended by
// the group separator.
QString ElementString(const TIumCode& code)
{
    const QChar separator(29);
    QString out = QStringLiteral("01") + code.Gtin;
    if (code.Expiry.isValid())
        out += QStringLiteral("17") + code.Expiry.toString(QStringLiteral("yyMMdd"));
    out += QStringLiteral("21") + code.Serial + separator;
    if (!code.Lot.isEmpty())
        out += QStringLiteral("10") + code.Lot + separator;
    if (!code.Registration.isEmpty())
        out += QStringLiteral("713") + code.Registration;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString scan = QString::fromUtf8(Fuzz::Bytes(data, size));
    TIumCode code;
    try {
        code = ParseIumCode(scan, Today);
    } catch (const EConvertError&) {
        return 0;
    }
    Fuzz::Require(IsValidGtin(code.Gtin) && code.Gtin.size() == 14, "an accepted code has a valid GTIN-14");
    Fuzz::Require(Variable(code.Serial, true) && Variable(code.Lot, false) && Variable(code.Registration, false),
                  "variable fields are 1 to 20 characters of GS1's set");
    Fuzz::Require(code.Code == (scan.startsWith(u"]d2") ? scan.mid(3) : scan), "the code is the scan without ]d2");
    // The day 00 of (17) is read as the month's last day, which writes back
    // as that day: compare the fields, not the texts.
    const TIumCode again = ParseIumCode(ElementString(code), Today);
    Fuzz::Require(again.Gtin == code.Gtin && again.Serial == code.Serial && again.Lot == code.Lot
                      && again.Registration == code.Registration && again.Expiry == code.Expiry,
                  "a code reads back from its own element string");
    return 0;
}
