// Date parsing and the date values a peer sends (rtl/DateTime.h). The input
// is a text typed in a date edit or read from a filter, parsed in the short
// date format: a date accepted shows as a text that parses to the same date.
// Its first eight bytes are also a day count as it comes over the wire,
// converted to the calendar and shown.
#include "Fuzz.h"

#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size >= sizeof(double)) {
        double days;
        std::memcpy(&days, data, sizeof days);
        const TDateTime value(days);
        (void)ToQDate(value);
        (void)DateTimeToStr(value);
        (void)DateOf(value);
    }
    const QString text = QString::fromUtf8(Fuzz::Bytes(data, size));
    TDateTime date;
    try {
        date = StrToDate(text);
    } catch (const EConvertError&) {
        return 0;
    }
    Fuzz::Require(date == DateOf(date), "a parsed date has no time");
    // 30/12/1899 is day 0, which stands for "no date" and shows as nothing.
    Fuzz::Require(date == 0 || StrToDate(DateToStr(date)) == date, "a parsed date reads back from its display");
    return 0;
}
