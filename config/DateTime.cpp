#include "DateTime.h"
#include <cmath>

namespace za {

// Constant-initialised (30 December 1899), so that static initialisers in other
// files can already encode dates.
static constexpr QDate kEpoch = QDate::fromJulianDay(2415019);
static constexpr double kMsPerDay = 86400000.0;

bool TryEncodeDate(int year, int month, int day, TDateTime& out) {
    if (!QDate::isValid(year, month, day)) return false;
    out = double(kEpoch.daysTo(QDate(year, month, day)));
    return true;
}

TDateTime EncodeDate(int year, int month, int day) {
    TDateTime t = 0;
    TryEncodeDate(year, month, day, t);
    return t;
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
    return (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + msec) / kMsPerDay;
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec) {
    return EncodeDate(year, month, day) + EncodeTime(hour, minute, second, msec);
}

TDateParts SplitDateTime(TDateTime t) {
    // Work in whole milliseconds so that 23:59:59.999 never rounds into the next day
    // by accident of floating point.
    long long ms = llround(t * kMsPerDay);
    long long days = ms >= 0 ? ms / 86400000LL : -((-ms + 86399999LL) / 86400000LL);
    long long rest = ms - days * 86400000LL;
    QDate d = kEpoch.addDays(days);
    TDateParts p;
    p.year = d.year();
    p.month = d.month();
    p.day = d.day();
    p.hour = int(rest / 3600000);
    p.minute = int(rest / 60000 % 60);
    p.second = int(rest / 1000 % 60);
    p.msec = int(rest % 1000);
    return p;
}

TDateTime FromQDateTime(const QDateTime& dt) {
    const QDate d = dt.date();
    const QTime tm = dt.time();
    return EncodeDate(d.year(), d.month(), d.day()) + EncodeTime(tm.hour(), tm.minute(), tm.second(), tm.msec());
}

QDateTime ToQDateTime(TDateTime t) {
    TDateParts p = SplitDateTime(t);
    return QDateTime(QDate(p.year, p.month, p.day), QTime(p.hour, p.minute, p.second, p.msec));
}

QDate ToQDate(TDateTime t) {
    TDateParts p = SplitDateTime(t);
    return QDate(p.year, p.month, p.day);
}

TDateTime DateOf(TDateTime t) {
    TDateParts p = SplitDateTime(t);
    return EncodeDate(p.year, p.month, p.day);
}

TDateTime TimeOf(TDateTime t) { return t - DateOf(t); }

TDateTime EndOfDay(TDateTime t) { return DateOf(t) + EncodeTime(23, 59, 59, 999); }

int DaysInMonth(int year, int month) { return QDate(year, month, 1).daysInMonth(); }

int QuarterOf(int month) { return (month - 1) / 3 + 1; }

int IsoWeekNumber(TDateTime t) { return ToQDate(t).weekNumber(); }

int DayOfWeekMonday1(TDateTime t) { return ToQDate(t).dayOfWeek(); }

} // namespace za
