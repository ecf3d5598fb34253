// Period sums: ranges, period counts, bounds, ISO week labels, the summing
// and its guards, and the light line reader against the log line parser.
#include <gtest/gtest.h>
#include "logdata/LogLine.h"
#include "view/PeriodTable.h"

using namespace za;

namespace {

QString Line(int hour, int day, int month, int year, int c1, int c2, int c3) {
    return QString::asprintf("%0.2d,%0.2d,%0.2d,%4d,%5d,%5d,%5d", hour, day, month, year, c1, c2, c3);
}

TPeriodOptions Custom(int showPer, TDateTime start, TDateTime end) {
    TPeriodOptions o;
    o.dataToShow = dsCustom;
    o.showPer = showPer;
    o.customStart = start;
    o.customEnd = end;
    o.selSum1 = {true, true, true};
    o.selSum2 = {true, true, true};
    o.now = EncodeDateTime(2011, 6, 15, 10, 30, 0);
    return o;
}

qint64 Sum(const QVector<int>& v) {
    qint64 s = 0;
    for (qint64 x : v) s += x;
    return s;
}

} // namespace

struct TRangeCase {
    const char* name;
    TPeriodOptions opt;
    QStringList lines;
    int periods;
    QStringList labels;              // empty: not checked
    TDateTime firstStart, lastEnd;   // 0: not checked
    qint64 counted;                  // sum of the total row
};

TEST(PeriodTable, RangesPeriodsLabelsAndCounts) {
    TPeriodOptions thisWeek = Custom(spDay, 0, 0);
    thisWeek.dataToShow = dsThisWeek;
    thisWeek.now = EncodeDateTime(2011, 3, 2, 15, 0, 0);   // a Wednesday

    TPeriodOptions all = Custom(spDay, 0, 0);
    all.dataToShow = dsAll;

    const TRangeCase cases[] = {
        {"March 2011 per week starts on Monday 28 February",
         Custom(spWeek, EncodeDate(2011, 3, 1), EncodeDate(2011, 3, 31)),
         {Line(10, 28, 2, 2011, 100, 0, 0), Line(10, 1, 3, 2011, 1, 0, 0), Line(23, 31, 3, 2011, 2, 0, 0)},
         5, {"9", "10", "11", "12", "13"}, EncodeDate(2011, 2, 28), EndOfDay(EncodeDate(2011, 4, 3)), 3},
        {"turn of 2011/2012 per week: weeks 52 and 1",
         Custom(spWeek, EncodeDate(2011, 12, 30), EncodeDate(2012, 1, 2)), {},
         2, {"52", "1"}, EncodeDate(2011, 12, 26), EndOfDay(EncodeDate(2012, 1, 8)), 0},
        {"first of a month per day reads day/month",
         Custom(spDay, EncodeDate(2011, 2, 27), EncodeDate(2011, 3, 2)), {},
         4, {"27", "28", "1/3", "2"}, EncodeDate(2011, 2, 27), EndOfDay(EncodeDate(2011, 3, 2)), 0},
        {"this week on a Wednesday per day", thisWeek, {Line(8, 6, 3, 2011, 1, 1, 1), Line(8, 7, 3, 2011, 9, 9, 9)},
         7, {"28", "1/3", "2", "3", "4", "5", "6"}, EncodeDate(2011, 2, 28), EndOfDay(EncodeDate(2011, 3, 6)), 3},
        {"all with lines from 5 to 7 May per day", all,
         {Line(0, 5, 5, 2011, 1, 2, 3), Line(12, 6, 5, 2011, 1, 0, 0), Line(23, 7, 5, 2011, 0, 0, 4)},
         3, {"5", "6", "7"}, EncodeDate(2011, 5, 5), EndOfDay(EncodeDate(2011, 5, 7)), 11},
        {"reversed custom range counts nothing; periods follow the span",
         Custom(spDay, EncodeDate(2011, 1, 5), EncodeDate(2011, 1, 1)),
         {Line(1, 1, 1, 2011, 5, 5, 5), Line(1, 3, 1, 2011, 5, 5, 5), Line(1, 5, 1, 2011, 5, 5, 5)},
         4, {}, 0, 0, 0},
        {"31 February and unparsable lines never count", Custom(spDay, EncodeDate(2011, 2, 1), EncodeDate(2011, 3, 31)),
         {Line(1, 31, 2, 2011, 5, 5, 5), "01,x,03,2011,1,1,1", "", Line(1, 1, 3, 2011, 1, 1, 1)},
         59, {}, 0, 0, 3},
    };
    for (const TRangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const TPeriodTable t = ComputePeriodTable(c.lines, 3, 0, c.opt);
        EXPECT_EQ(t.periodCount, c.periods);
        EXPECT_EQ(t.periodStarts.size(), c.periods);
        EXPECT_EQ(t.labels.size(), c.periods);
        if (!c.labels.isEmpty()) EXPECT_EQ(t.labels, c.labels);
        if (c.firstStart != 0) EXPECT_DOUBLE_EQ(t.periodStarts.first(), c.firstStart);
        if (c.lastEnd != 0) EXPECT_DOUBLE_EQ(t.periodEnds.last(), c.lastEnd);
        EXPECT_EQ(Sum(t.total), c.counted);
    }
}

TEST(PeriodTable, WeekPeriodsHoldTheirDays) {
    const QStringList lines = {Line(10, 1, 3, 2011, 1, 0, 0), Line(10, 6, 3, 2011, 2, 0, 0),
                               Line(10, 7, 3, 2011, 4, 0, 0), Line(10, 31, 3, 2011, 8, 0, 0)};
    const TPeriodTable t = ComputePeriodTable(lines, 3, 0, Custom(spWeek, EncodeDate(2011, 3, 1), EncodeDate(2011, 3, 31)));
    ASSERT_EQ(t.periodCount, 5);
    EXPECT_EQ(t.total, (QVector<int>{3, 4, 0, 0, 8}));   // Sunday 6 March is still week 9
}

TEST(PeriodTable, HourGroupingOfOneDay) {
    const QStringList lines = {Line(13, 1, 1, 2011, 7, 8, 9), Line(0, 1, 1, 2011, 1, 0, 0), Line(23, 1, 1, 2011, 0, 0, 2)};
    const TPeriodTable t = ComputePeriodTable(lines, 3, 0, Custom(spHour, EncodeDate(2011, 1, 1), EncodeDate(2011, 1, 1)));
    ASSERT_EQ(t.periodCount, 24);
    for (int h = 0; h < 24; ++h) {
        EXPECT_EQ(t.labels[h], QString::number(h));
        EXPECT_DOUBLE_EQ(t.periodStarts[h], EncodeDate(2011, 1, 1));
        EXPECT_DOUBLE_EQ(t.periodEnds[h], EndOfDay(EncodeDate(2011, 1, 1)));
    }
    EXPECT_EQ(t.ChannelSum(0, 13), 7);
    EXPECT_EQ(t.ChannelSum(1, 13), 8);
    EXPECT_EQ(t.ChannelSum(2, 13), 9);
    EXPECT_EQ(t.total[13], 24);
    EXPECT_EQ(t.total[0], 1);
    EXPECT_EQ(t.total[23], 2);
    EXPECT_EQ(Sum(t.total), 27);
}

TEST(PeriodTable, HourOutsideTheDayIsNeverSummed) {
    // A viewer file is not validated: hour 25 of 1 January would be 2 January
    // 01:00 by index, hour -1 of 2 January would be 1 January 23:00.
    const QStringList lines = {"25,01,01,2011,    5,    5,    5", "-1,02,01,2011,    6,    6,    6",
                               "24,02,01,2011,    7,    7,    7", "99,02,01,2011,    8,    8,    8",
                               Line(1, 2, 1, 2011, 1, 0, 0)};
    const TPeriodTable t = ComputePeriodTable(lines, 3, 0, Custom(spHour, EncodeDate(2011, 1, 1), EncodeDate(2011, 1, 2)));
    ASSERT_EQ(t.periodCount, 48);
    EXPECT_EQ(Sum(t.total), 1);
    EXPECT_EQ(t.total[25], 1);
    // Per day the same lines count by their date.
    const TPeriodTable d = ComputePeriodTable(lines, 3, 0, Custom(spDay, EncodeDate(2011, 1, 1), EncodeDate(2011, 1, 2)));
    EXPECT_EQ(d.total, (QVector<int>{15, 18 + 21 + 24 + 1}));
}

TEST(PeriodTable, EmptyStoreShowsNowOnce) {
    const TDateTime now = EncodeDateTime(2011, 6, 15, 10, 30, 0);
    TPeriodOptions o = Custom(spDay, 0, 0);
    o.dataToShow = dsAll;
    o.now = now;
    for (int per : {spWeek, spDay, spHour}) {
        o.showPer = per;
        const TPeriodTable t = ComputePeriodTable(QStringList(), 3, 0, o);
        EXPECT_EQ(t.periodCount, per == spHour ? 24 : 1);
        EXPECT_DOUBLE_EQ(t.rangeStart, now);
        EXPECT_DOUBLE_EQ(t.rangeEnd, now);
        EXPECT_EQ(Sum(t.total), 0);
    }
    const TPeriodTable t = ComputePeriodTable(QStringList(), 3, 0, o);
    EXPECT_EQ(RangeTitle(t), DateToStr(now) + " - " + DateToStr(now));
    // A first line without a valid date gives the same.
    const TPeriodTable bad = ComputePeriodTable(QStringList{"xx", Line(1, 2, 1, 2011, 1, 1, 1)}, 3, 0, o);
    EXPECT_DOUBLE_EQ(bad.rangeStart, now);
    EXPECT_DOUBLE_EQ(bad.rangeEnd, now);
}

TEST(PeriodTable, AllRangeEndsAtTheLastLinesDay) {
    TDateTime s = 0, e = 0;
    GetDateRange(QStringList{Line(5, 5, 5, 2011, 0, 0, 0), Line(7, 7, 5, 2011, 0, 0, 0)}, 0, dsAll, 0, 0, 0, s, e);
    EXPECT_DOUBLE_EQ(s, EncodeDate(2011, 5, 5));
    EXPECT_DOUBLE_EQ(e, EncodeDateTime(2011, 5, 7, 23, 59, 59, 0));
    GetDateRange(QList<QByteArray>{"30,05,05,05,2011,1", "30,07,07,05,2011,1"}, 1, dsAll, 0, 0, 0, s, e);
    EXPECT_DOUBLE_EQ(s, EncodeDate(2011, 5, 5));
    const TDateTime now = EncodeDateTime(2012, 2, 29, 12, 0, 0);
    GetDateRange(QStringList(), 0, dsThisYear, 0, 0, now, s, e);
    EXPECT_DOUBLE_EQ(s, EncodeDate(2012, 1, 1));
    EXPECT_DOUBLE_EQ(e, EndOfDay(EncodeDate(2012, 12, 31)));
    GetDateRange(QStringList(), 0, dsThisMonth, 0, 0, now, s, e);
    EXPECT_DOUBLE_EQ(s, EncodeDate(2012, 2, 1));
    EXPECT_DOUBLE_EQ(e, EndOfDay(EncodeDate(2012, 2, 29)));
}

TEST(PeriodTable, SelectedSumsFollowMembership) {
    TPeriodOptions o = Custom(spDay, EncodeDate(2011, 1, 1), EncodeDate(2011, 1, 1));
    o.selSum1 = {true, false, true};
    o.selSum2 = {false, true};                      // channel 3 missing: not a member
    const TPeriodTable t = ComputePeriodTable(QStringList{Line(1, 1, 1, 2011, 1, 10, 100)}, 3, 0, o);
    EXPECT_EQ(t.total[0], 111);
    EXPECT_EQ(t.selSum1[0], 101);
    EXPECT_EQ(t.selSum2[0], 10);
}

TEST(PeriodTable, ThisYearPerHourAndAByteStore) {
    QList<QByteArray> bytes;
    for (int m = 1; m <= 12; ++m)
        for (int d = 1; d <= DaysInMonth(2011, m); ++d)
            for (int h = 0; h < 24; ++h) bytes.append(Line(h, d, m, 2011, 1, 2, 3).toLatin1());
    TPeriodOptions o = Custom(spHour, 0, 0);
    o.dataToShow = dsThisYear;
    const TPeriodTable t = ComputePeriodTable(bytes, 3, 0, o);
    ASSERT_EQ(t.periodCount, 8760);
    EXPECT_EQ(Sum(t.total), 8760 * 6);
    EXPECT_EQ(t.total.first(), 6);
    EXPECT_EQ(t.total.last(), 6);
    EXPECT_EQ(t.labels.last(), "23");
    EXPECT_DOUBLE_EQ(t.periodStarts.last(), EncodeDate(2011, 12, 31));

    // Recomputing into the same table leaves nothing of the earlier one.
    TPeriodTable kept = t;
    const TPeriodOptions march = Custom(spDay, EncodeDate(2011, 3, 1), EncodeDate(2011, 3, 3));
    ComputePeriodTable(bytes, 3, 0, march, kept);
    const TPeriodTable fresh = ComputePeriodTable(bytes, 3, 0, march);
    EXPECT_EQ(kept.periodCount, 3);
    EXPECT_EQ(kept.total, fresh.total);
    EXPECT_EQ(kept.channelSums, fresh.channelSums);
    EXPECT_EQ(kept.labels, fresh.labels);
    EXPECT_EQ(kept.periodStarts, fresh.periodStarts);
    EXPECT_EQ(kept.showPer, spDay);
}

TEST(PeriodTable, DamagedRangeIsBounded) {
    // START/END from a damaged settings file: centuries per hour.
    const TPeriodTable t = ComputePeriodTable(QStringList(), 3, 0, Custom(spHour, EncodeDate(1900, 1, 1), EncodeDate(9999, 12, 31)));
    EXPECT_GT(t.periodCount, 80000);
    EXPECT_LE(t.periodCount, 100000);
    EXPECT_EQ(t.labels.size(), t.periodCount);
    EXPECT_DOUBLE_EQ(t.rangeEnd, t.periodEnds.last());
}

TEST(PeriodTable, WholeDayRounding) {
    const TDateTime d = EncodeDate(2011, 3, 6);
    EXPECT_DOUBLE_EQ(RoundToWholeDay(d), d);
    EXPECT_DOUBLE_EQ(RoundToWholeDay(d + EncodeTime(11, 59, 59, 999)), d);
    EXPECT_DOUBLE_EQ(RoundToWholeDay(d + EncodeTime(12, 0, 0)), d + 1);
    EXPECT_DOUBLE_EQ(RoundToWholeDay(EndOfDay(d)), d + 1);   // a week bar's end reads as the next Monday
}

TEST(PeriodTable, LineReaderMatchesTheLogLineParser) {
    const struct {
        int layout, n;
        QString line;
    } cases[] = {
        {0, 3, "07,31,03,2011,   12,    3"},
        {0, 3, "07,31,03,2011,   12,    x,    1"},
        {0, 3, "07,31,03"},
        {0, 3, "07,31,03,2011"},
        {0, 3, "07,31,03,2011,1,2,3,4,5"},
        {0, 3, "07,31,03,2011,1 ,2,3"},
        {0, 3, " 7,+31,03,2011,-1,,3"},
        {0, 3, "07,31,03,2011,2147483647,-2147483648,2147483648"},
        {0, 3, "07,,03,2011,1,2,3"},
        {0, 3, "07,31,03,2011,1,2,"},
        {0, 1, "07,31,03,2011,- 1"},
        {1, 3, "45,07,31,03,2011,    1,    2,    3"},
        {1, 3, "45,07,31,03"},
        {2, 3, "45,07,31,03,2011,    1,    2,    3"},
        {0, 0, "07,31,03,2011"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.toStdString());
        TLogRecordTime ref;
        QVector<int> refCounts;
        ParseLine(c.layout, c.n, c.line, ref, refCounts);
        TLogRecordTime a, b;
        QVector<int> ca(c.n), cb(c.n);
        ReadLineFields(c.layout, c.n, QStringView(c.line), a, ca.data());
        const QByteArray bytes = c.line.toLatin1();
        ReadLineFields(c.layout, c.n, QByteArrayView(bytes), b, cb.data());
        for (const TLogRecordTime* t : {&a, &b}) {
            EXPECT_EQ(t->minute, ref.minute);
            EXPECT_EQ(t->hour, ref.hour);
            EXPECT_EQ(t->day, ref.day);
            EXPECT_EQ(t->month, ref.month);
            EXPECT_EQ(t->year, ref.year);
        }
        EXPECT_EQ(ca, refCounts);
        EXPECT_EQ(cb, refCounts);

        bool threw = false;
        TLogRecordTime refDate, date;
        try {
            ParseLineDate(c.layout, c.line, refDate);
        } catch (const EConvertError&) {
            threw = true;
        }
        EXPECT_EQ(ReadLineDate(c.layout, QStringView(c.line), date), !threw);
        if (!threw) EXPECT_EQ(date.day, refDate.day);
    }
}

TEST(PeriodTable, AbsurdCountsSaturateInsteadOfWrapping) {
    const QStringList lines = {"01,01,01,2011,2147483647,2147483647", "02,01,01,2011,2147483647,-5"};
    const TPeriodTable t = ComputePeriodTable(lines, 2, 0, Custom(spDay, EncodeDate(2011, 1, 1), EncodeDate(2011, 1, 1)));
    EXPECT_EQ(t.ChannelSum(0, 0), INT_MAX);
    EXPECT_EQ(t.ChannelSum(1, 0), INT_MAX - 5);
    EXPECT_EQ(t.total[0], INT_MAX);
}
