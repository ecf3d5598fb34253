#include "PeriodTable.h"
#include <QDate>
#include <QLocale>
#include <QVarLengthArray>
#include <climits>
#include <cmath>

namespace za {

namespace {

constexpr TDateTime kMsDay = 1.0 / 86400000.0;
// A range from a damaged settings file can span centuries; per hour that
// would be millions of periods and more memory than the PC has. Ten years of
// hours is far beyond any real use and still cheap.
constexpr int kMaxPeriods = 24 * 366 * 10;

// Day number as an integer; t is expected at or near 00:00.
inline qint64 DayNumber(TDateTime t) { return qint64(std::floor(t + kMsDay / 2)); }

inline qint64 MondayOfDay(qint64 day) {
    // Day 0 was a Saturday; ((day + 5) mod 7) is 0 on Mondays.
    qint64 r = (day + 5) % 7;
    if (r < 0) r += 7;
    return day - r;
}

inline void AddSaturated(int& sum, qint64 v) {
    const qint64 r = qint64(sum) + v;
    sum = r > INT_MAX ? INT_MAX : (r < INT_MIN ? INT_MIN : int(r));
}

inline QStringView View(const QString& s) { return QStringView(s); }
inline QByteArrayView View(const QByteArray& s) { return QByteArrayView(s); }

} // namespace

TDateTime MondayOf(TDateTime t) { return TDateTime(MondayOfDay(DayNumber(DateOf(t)))); }

TDateTime EndOfWeek(TDateTime t) { return EndOfDay(MondayOf(t) + 6); }

TDateTime RoundToWholeDay(TDateTime t) { return std::floor(t + 0.5); }

QString DateToStr(TDateTime t) { return QLocale::system().toString(ToQDate(t), QLocale::ShortFormat); }

namespace {

template <typename List>
void DateRange(const List& lines, int layout, int dataToShow, TDateTime customStart, TDateTime customEnd,
               TDateTime now, TDateTime& start, TDateTime& end) {
    const TDateParts p = SplitDateTime(now);
    switch (dataToShow) {
    case dsThisYear:
        start = EncodeDate(p.year, 1, 1);
        end = EndOfDay(EncodeDate(p.year, 12, 31));
        return;
    case dsThisMonth:
        start = EncodeDate(p.year, p.month, 1);
        end = EndOfDay(EncodeDate(p.year, p.month, DaysInMonth(p.year, p.month)));
        return;
    case dsThisWeek:
        start = MondayOf(now);
        end = EndOfWeek(now);
        return;
    case dsCustom:
        start = DateOf(customStart);
        end = EndOfDay(customEnd);
        return;
    default:
        break;
    }
    start = end = now;
    if (lines.isEmpty()) return;
    TLogRecordTime first, last;
    TDateTime d1 = 0, d2 = 0;
    if (!ReadLineDate(layout, View(lines.first()), first) || !LineDate(first, d1)) return;
    if (!ReadLineDate(layout, View(lines.last()), last) || !LineDate(last, d2)) return;
    start = d1;
    end = d2 + EncodeTime(23, 59, 59, 0);
}

} // namespace

void GetDateRange(const QStringList& lines, int layout, int dataToShow, TDateTime customStart,
                  TDateTime customEnd, TDateTime now, TDateTime& start, TDateTime& end) {
    DateRange(lines, layout, dataToShow, customStart, customEnd, now, start, end);
}
void GetDateRange(const QList<QByteArray>& lines, int layout, int dataToShow, TDateTime customStart,
                  TDateTime customEnd, TDateTime now, TDateTime& start, TDateTime& end) {
    DateRange(lines, layout, dataToShow, customStart, customEnd, now, start, end);
}

int PeriodCount(int showPer, TDateTime start, TDateTime end) {
    if (showPer == spWeek) {
        const double span = std::fabs(EndOfWeek(end) - MondayOf(start));
        return int(std::llround(span / 7.0));
    }
    // "Rounded up when it has a fraction"; the tolerance is far below a millisecond.
    const double span = std::fabs(EndOfDay(end) - DateOf(start));
    const long long days = std::llround(std::ceil(span - 1e-9));
    const long long periods = showPer == spHour ? 24 * days : days;
    return int(std::min<long long>(periods, INT_MAX));
}

namespace {

template <typename List>
void Compute(const List& lines, int n, int layout, const TPeriodOptions& opt, TPeriodTable& tb) {
    tb.showPer = (opt.showPer == spDay || opt.showPer == spHour) ? opt.showPer : spWeek;
    tb.channelCount = std::max(0, n);
    n = tb.channelCount;
    DateRange(lines, layout, opt.dataToShow, opt.customStart, opt.customEnd, opt.now, tb.rangeStart,
                 tb.rangeEnd);
    int P = PeriodCount(tb.showPer, tb.rangeStart, tb.rangeEnd);
    bool cut = false;
    if (P > kMaxPeriods) {
        P = kMaxPeriods;
        cut = true;
    }
    tb.periodCount = P;
    tb.periodStarts.resize(P);
    tb.periodEnds.resize(P);
    tb.labels.clear();                       // keeps the capacity of an earlier table
    tb.labels.reserve(P);
    // Reusing the storage of an earlier table saves fresh pages on every refresh.
    for (QVector<int>* v : {&tb.channelSums, &tb.total, &tb.selSum1, &tb.selSum2}) {
        v->resize(v == &tb.channelSums ? qsizetype(n) * P : P);
        std::fill(v->begin(), v->end(), 0);
    }

    const TDateTime start = tb.rangeStart;
    if (tb.showPer == spWeek) {
        for (int i = 0; i < P; ++i) {
            const TDateTime monday = MondayOf(start + 7.0 * i);
            tb.periodStarts[i] = monday;
            tb.periodEnds[i] = EndOfDay(monday + 6);
            tb.labels.append(QString::number(IsoWeekNumber(monday)));
        }
    } else if (tb.showPer == spDay) {
        for (int i = 0; i < P; ++i) {
            const TDateTime day = DateOf(start + i);
            tb.periodStarts[i] = day;
            tb.periodEnds[i] = EndOfDay(day);
            const TDateParts d = SplitDateTime(day);
            tb.labels.append(d.day == 1 ? QString::number(d.day) + QLatin1Char('/') + QString::number(d.month)
                                        : QString::number(d.day));
        }
    } else {
        QString hourText[24];
        for (int h = 0; h < 24; ++h) hourText[h] = QString::number(h);
        TDateTime day = 0, dayEnd = 0;
        for (int i = 0; i < P; ++i) {
            if (i % 24 == 0) {
                day = DateOf(start + i / 24);
                dayEnd = EndOfDay(day);
            }
            tb.periodStarts[i] = day;
            tb.periodEnds[i] = dayEnd;
            tb.labels.append(hourText[i % 24]);
        }
    }
    if (cut && P > 0) tb.rangeEnd = tb.periodEnds[P - 1];

    // Per-channel membership resolved once, not per line.
    QVarLengthArray<char, 64> in1(n), in2(n);
    for (int c = 0; c < n; ++c) {
        in1[c] = c < opt.selSum1.size() && opt.selSum1[c];
        in2[c] = c < opt.selSum2.size() && opt.selSum2[c];
    }
    QVarLengthArray<int, 64> counts(n);
    const qint64 startMonday = MondayOfDay(DayNumber(DateOf(start)));
    TLogRecordTime t;
    for (const auto& line : lines) {
        if (!ReadLineFields(layout, n, View(line), t, counts.data())) continue;
        TDateTime d = 0;
        if (!LineDate(t, d)) continue;
        if (d < tb.rangeStart || d > tb.rangeEnd) continue;
        qint64 i;
        if (tb.showPer == spWeek) {
            i = (MondayOfDay(qint64(d)) - startMonday) / 7;
        } else {
            const qint64 dayIndex = qint64(std::floor(d - start));
            if (tb.showPer == spDay) {
                i = dayIndex;
            } else {
                // Only unvalidated viewer files hold such hours; they must not
                // land in a neighbouring day's periods.
                if (t.hour < 0 || t.hour > 23) continue;
                i = 24 * dayIndex + t.hour;
            }
        }
        if (i < 0 || i >= P) continue;
        qint64 sum = 0, s1 = 0, s2 = 0;
        for (int c = 0; c < n; ++c) {
            const qint64 v = counts[c];
            AddSaturated(tb.channelSums[qsizetype(c) * P + i], v);
            sum += v;
            if (in1[c]) s1 += v;
            if (in2[c]) s2 += v;
        }
        AddSaturated(tb.total[i], sum);
        AddSaturated(tb.selSum1[i], s1);
        AddSaturated(tb.selSum2[i], s2);
    }
}

} // namespace

TPeriodTable ComputePeriodTable(const QStringList& lines, int n, int layout, const TPeriodOptions& opt) {
    TPeriodTable tb;
    Compute(lines, n, layout, opt, tb);
    return tb;
}
TPeriodTable ComputePeriodTable(const QList<QByteArray>& lines, int n, int layout, const TPeriodOptions& opt) {
    TPeriodTable tb;
    Compute(lines, n, layout, opt, tb);
    return tb;
}
void ComputePeriodTable(const QStringList& lines, int n, int layout, const TPeriodOptions& opt, TPeriodTable& out) {
    Compute(lines, n, layout, opt, out);
}
void ComputePeriodTable(const QList<QByteArray>& lines, int n, int layout, const TPeriodOptions& opt,
                        TPeriodTable& out) {
    Compute(lines, n, layout, opt, out);
}

QString RangeTitle(const TPeriodTable& table) {
    return DateToStr(table.rangeStart) + QStringLiteral(" - ") + DateToStr(table.rangeEnd);
}

QString PeriodAxisTitle(int showPer) {
    switch (showPer) {
    case spDay: return QStringLiteral("Date");
    case spHour: return QStringLiteral("Hour");
    default: return QStringLiteral("Week");
    }
}

} // namespace za
