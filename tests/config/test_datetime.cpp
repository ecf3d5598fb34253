// Day numbers (day 0 = 30 December 1899, time of day as fraction) and the
// calendar helpers built on them.
#include <gtest/gtest.h>

#include "config/DateTime.h"

using namespace za;

TEST(DateTime, DayNumbersAndTheirParts) {
    EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 30), 0.0);
    EXPECT_DOUBLE_EQ(EncodeDate(2011, 3, 31) + EncodeTime(12, 0, 0), 40633.5);
    EXPECT_DOUBLE_EQ(EncodeDate(1899, 12, 29), -1.0);
    TDateTime t = 0;
    EXPECT_FALSE(TryEncodeDate(2011, 2, 31, t));
    EXPECT_EQ(EncodeDate(2011, 2, 31), 0.0);

    const TDateParts p = SplitDateTime(EncodeDateTime(2011, 3, 31, 14, 5, 9, 123));
    EXPECT_EQ(p.year, 2011);
    EXPECT_EQ(p.month, 3);
    EXPECT_EQ(p.day, 31);
    EXPECT_EQ(p.hour, 14);
    EXPECT_EQ(p.minute, 5);
    EXPECT_EQ(p.second, 9);
    EXPECT_EQ(p.msec, 123);

    // The last millisecond of a day stays in that day.
    const TDateParts e = SplitDateTime(EndOfDay(EncodeDate(2011, 12, 31)));
    EXPECT_EQ(e.day, 31);
    EXPECT_EQ(e.hour, 23);
    EXPECT_EQ(e.msec, 999);
    EXPECT_EQ(ToQDateTime(FromQDateTime(QDateTime(QDate(2012, 2, 29), QTime(23, 59, 59, 999)))),
              QDateTime(QDate(2012, 2, 29), QTime(23, 59, 59, 999)));
}

TEST(DateTime, CalendarHelpers) {
    struct Case { int y, m, d, isoWeek, dow; } cases[] = {
        {2011, 3, 1, 9, 2}, {2011, 12, 26, 52, 1}, {2012, 1, 1, 52, 7}, {2012, 1, 2, 1, 1},
        {2015, 12, 31, 53, 4}, {2014, 12, 29, 1, 1},
    };
    for (const Case& c : cases) {
        const TDateTime t = EncodeDate(c.y, c.m, c.d) + 0.75;
        EXPECT_EQ(IsoWeekNumber(t), c.isoWeek) << c.y << "-" << c.m << "-" << c.d;
        EXPECT_EQ(DayOfWeekMonday1(t), c.dow) << c.y << "-" << c.m << "-" << c.d;
        EXPECT_DOUBLE_EQ(DateOf(t), EncodeDate(c.y, c.m, c.d));
    }
    EXPECT_EQ(DaysInMonth(2012, 2), 29);
    EXPECT_EQ(DaysInMonth(2011, 2), 28);
    EXPECT_EQ(QuarterOf(1), 1);
    EXPECT_EQ(QuarterOf(6), 2);
    EXPECT_EQ(QuarterOf(7), 3);
    EXPECT_EQ(QuarterOf(12), 4);
}
