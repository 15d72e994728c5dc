#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <limits>

TEST(DateTime, EpochAndKnownSerials)
{
    EXPECT_EQ(DateTimeFromQDate(QDate(1899, 12, 30)).Val, 0.0);
    EXPECT_EQ(DateTimeFromQDate(QDate(1900, 1, 1)).Val, 2.0);
    EXPECT_EQ(DateTimeFromQDate(QDate(2026, 12, 7)).Val, 46363.0);
    EXPECT_EQ(DateTimeFromQDate(QDate(1899, 12, 29)).Val, -1.0);
    EXPECT_EQ(DateTimeFromQDate(QDate()).Val, 0.0);
}

TEST(DateTime, RoundTripsToTheMillisecond)
{
    const QDateTime samples[] = {
        QDateTime(QDate(2026, 12, 7), QTime(0, 0)),
        QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59, 999)),
        QDateTime(QDate(2000, 2, 29), QTime(12, 0, 0, 1)),
        QDateTime(QDate(1850, 6, 15), QTime(6, 30, 15, 500)),
    };
    for (const QDateTime& dt : samples) {
        const TDateTime v = DateTimeFromQDateTime(dt);
        EXPECT_EQ(ToQDateTime(v), dt) << dt.toString(Qt::ISODateWithMs).toStdString();
        EXPECT_EQ(ToQDate(v), dt.date());
    }
}

TEST(DateTime, FractionJustBelowMidnightCarriesToNextDay)
{
    const TDateTime almost(46363.0 + (86'400'000 - 0.2) / 86'400'000.0);
    EXPECT_EQ(ToQDateTime(almost), QDateTime(QDate(2026, 12, 8), QTime(0, 0)));
}

TEST(DateTime, DisplayTexts)
{
    const TDateTime d = EncodeDate(2026, 3, 5);
    EXPECT_EQ(DateToStr(d), "05/03/2026");
    EXPECT_EQ(DateTimeToStr(d), "05/03/2026");
    EXPECT_EQ(DateTimeToStr(TDateTime(d.Val + 0.5)), "05/03/2026 12:00:00");
    EXPECT_EQ(DateToStr(TDateTime()), "");
    EXPECT_EQ(DateTimeToStr(TDateTime()), "");
    EXPECT_EQ(FormatDateTime("dddd, d 'de' mmmm 'de' yyyy", d), "quinta-feira, 5 de março de 2026");
    EXPECT_EQ(FormatDateTime("yy/mm/dd hh:nn:ss.zzz", TDateTime(d.Val + 0.75)), "26/03/05 18:00:00.000");
}

// A peer may send any double as a date: one with no calendar date converts
// to nothing, without overflowing the day count.
TEST(DateTime, ValuesBeyondTheCalendarHaveNoDate)
{
    for (const double v : {1e300, -3.2e298, 1e15, 7.9e11, std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_FALSE(ToQDate(TDateTime(v)).isValid()) << v;
        EXPECT_FALSE(ToQDateTime(TDateTime(v)).isValid()) << v;
        EXPECT_EQ(DateToStr(TDateTime(v)), "") << v;
        EXPECT_EQ(DateTimeToStr(TDateTime(v + 0.5)), "") << v;
        EXPECT_EQ(FormatDateTime("dd mmm yyyy", TDateTime(v)), "") << v;
    }
    EXPECT_EQ(ToQDate(TDateTime(2958465.0)), QDate(9999, 12, 31));
}

TEST(DateTime, ParsingRefusesWhatIsNoDate)
{
    EXPECT_EQ(StrToDate("29/02/2024").Val, EncodeDate(2024, 2, 29).Val);
    EXPECT_EQ(StrToDate(" 1/1/30").Val, EncodeDate(2030, 1, 1).Val);
    for (const char* bad : {"29/02/2023", "31/04/2026", "", "  /  /    ", "12/2026", "aa/bb/cccc", "01/01/20261",
                            "1/2/-49", "1/2/+49", "-1/2/2026", "1/ 2/2026"}) {
        TDateTime out;
        EXPECT_FALSE(TryStrToDate(bad, out)) << bad;
        EXPECT_THROW(StrToDate(bad), EConvertError) << bad;
    }
    EXPECT_THROW(EncodeDate(2026, 13, 1), EConvertError);
}
