#pragma once
// Date-time values as the counter software has always stored them: a day count
// since 30 December 1899 with the time of day as fraction. Used in memory and in
// the settings file.
#include <QDateTime>

namespace za {

using TDateTime = double;

struct TDateParts {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0, msec = 0;
};

// Whole days; throws nothing, an impossible date gives false.
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
TDateTime EncodeDate(int year, int month, int day);           // invalid date -> 0
TDateTime EncodeTime(int hour, int minute, int second, int msec = 0);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int msec = 0);
TDateParts SplitDateTime(TDateTime t);                         // rounds to the millisecond

TDateTime FromQDateTime(const QDateTime& dt);                  // local wall-clock time
QDateTime ToQDateTime(TDateTime t);
QDate ToQDate(TDateTime t);

TDateTime DateOf(TDateTime t);                                 // 00:00 of that day
TDateTime TimeOf(TDateTime t);                                 // fraction only
TDateTime EndOfDay(TDateTime t);                               // 23:59:59.999
int DaysInMonth(int year, int month);
int QuarterOf(int month);                                      // 1..4
int IsoWeekNumber(TDateTime t);                                // ISO 8601
int DayOfWeekMonday1(TDateTime t);                             // Monday = 1 .. Sunday = 7

} // namespace za
