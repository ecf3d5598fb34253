#pragma once
// The data view's period table: the stored log lines summed per week, day or
// hour over a date range, with the total and two user-selected channel groups.
// No widgets here, so the sums can be computed and checked on their own.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVector>
#include "config/DateTime.h"
#include "logdata/LogLine.h"

namespace za {

enum TDataToShow { dsAll = 0, dsThisYear = 1, dsThisMonth = 2, dsThisWeek = 3, dsCustom = 4 };
enum TShowPer { spWeek = 0, spDay = 1, spHour = 2 };

TDateTime MondayOf(TDateTime t);                 // 00:00 of the Monday of t's week
TDateTime EndOfWeek(TDateTime t);                // EndOfDay(MondayOf(t) + 6)

// The custom range pickers read back as whole days: the nearest day, 12:00
// or later giving the following day.
TDateTime RoundToWholeDay(TDateTime t);

// The user's short date format, as on the chart title and in the exports.
QString DateToStr(TDateTime t);

// Summed range by DataToShow; All reads the first and last line.
void GetDateRange(const QStringList& lines, int layout, int dataToShow, TDateTime customStart,
                  TDateTime customEnd, TDateTime now, TDateTime& start, TDateTime& end);
void GetDateRange(const QList<QByteArray>& lines, int layout, int dataToShow, TDateTime customStart,
                  TDateTime customEnd, TDateTime now, TDateTime& start, TDateTime& end);

// Number of periods for a range (0 is possible for a reversed range per week).
int PeriodCount(int showPer, TDateTime start, TDateTime end);

struct TPeriodOptions {
    int dataToShow = dsAll;
    int showPer = spWeek;
    TDateTime customStart = 0, customEnd = 0;
    // Membership per channel (index = channel); a missing entry is not a member.
    QVector<bool> selSum1, selSum2;
    TDateTime now = 0;
};

struct TPeriodTable {
    TDateTime rangeStart = 0, rangeEnd = 0;
    int showPer = spWeek;
    int channelCount = 0;                        // N
    int periodCount = 0;                         // P
    QVector<TDateTime> periodStarts, periodEnds;
    QStringList labels;
    // 32-bit; a viewer file with absurd counts saturates instead of wrapping.
    QVector<int> channelSums;                    // N x P, channel-major
    QVector<int> total, selSum1, selSum2;        // P each

    int ChannelSum(int channel, int period) const {
        return channelSums[channel * periodCount + period];
    }
};

// The whole computation from scratch: range, periods, bounds, labels, sums.
TPeriodTable ComputePeriodTable(const QStringList& lines, int n, int layout, const TPeriodOptions& opt);
TPeriodTable ComputePeriodTable(const QList<QByteArray>& lines, int n, int layout, const TPeriodOptions& opt);
// The same into an existing table, reusing its storage (the view's refresh).
void ComputePeriodTable(const QStringList& lines, int n, int layout, const TPeriodOptions& opt, TPeriodTable& out);
void ComputePeriodTable(const QList<QByteArray>& lines, int n, int layout, const TPeriodOptions& opt,
                        TPeriodTable& out);

// Chart title and period heading texts.
QString RangeTitle(const TPeriodTable& table);   // "<start> - <end>"
QString PeriodAxisTitle(int showPer);            // "Week", "Date", "Hour"

} // namespace za
