#pragma once
// One text line per stored counter record, and reading it back. Every reader
// of log lines (the store, the period sums, the spreadsheet export, the
// validity test) goes through the field readers here.
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QVector>
#include <stdexcept>
#include "config/DateTime.h"

namespace za {

struct TLogRecordTime {
    int minute = 0, hour = 0, day = 0, month = 0, year = 0;
};

// Layout 0: "hh,DD,MM,YYYY" head; any other value: "mm,hh,DD,MM,YYYY".
// Then ",%5d" per count, then the record sum if addSumLog, then the day sum if addSumDay.
QString BuildLogLine(int layout, const TLogRecordTime& t, const int* counts, int n,
                     bool addSumLog, int recordSum, bool addSumDay, int daySum);
QString BuildLogLine(int layout, const TLogRecordTime& t, const QVector<int>& counts,
                     bool addSumLog, int recordSum, bool addSumDay, int daySum);

// A field converts when it is optional leading spaces, an optional sign and
// decimal digits within the signed 32-bit range; nothing else (no trailing
// spaces, not empty). Lines come as text or as the 8-bit bytes of the file.
bool ReadIntField(QStringView field, int& out);
bool ReadIntField(QByteArrayView field, int& out);
// The time stamp and the first n counts (an empty count reads 0; fields after
// count n are ignored). False and all zeros on any problem; counts must hold n
// ints (may be nullptr when n is 0).
bool ReadLineFields(int layout, int n, QStringView line, TLogRecordTime& t, int* counts);
bool ReadLineFields(int layout, int n, QByteArrayView line, TLogRecordTime& t, int* counts);
// Only the time stamp: false when one of its fields does not convert. A
// layout other than 0 or 1 gives all zeros and true.
bool ReadLineDate(int layout, QStringView line, TLogRecordTime& t);
bool ReadLineDate(int layout, QByteArrayView line, TLogRecordTime& t);

// Day number of a calendar date (00:00); false for an impossible date.
bool LineDate(const TLogRecordTime& t, TDateTime& out);

// Never fails: on any problem every output is 0. counts gets exactly n entries.
void ParseLine(int layout, int n, const QString& line, TLogRecordTime& t, QVector<int>& counts);

class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// Reads only the time stamp; a layout other than 0/1 gives all zeros; throws
// EConvertError on a field that is not an integer.
void ParseLineDate(int layout, const QString& line, TLogRecordTime& t);

// The ranges a stored line must keep: minute 0..59, hour 0..23, day 1..31,
// month 1..12, year 0..2099, counts 0..99999.
bool InValidRanges(const TLogRecordTime& t, const int* counts, int n);
// ReadLineFields plus the ranges.
bool IsValidLine(int layout, int n, QStringView line);
bool IsValidLine(int layout, int n, QByteArrayView line);
inline bool IsValidLine(int layout, int n, const QString& line) { return IsValidLine(layout, n, QStringView(line)); }
inline bool IsValidLine(int layout, int n, const char* line) { return IsValidLine(layout, n, QByteArrayView(line)); }

} // namespace za
