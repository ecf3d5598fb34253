#pragma once
// One text line per stored counter record, and reading it back.
#include <QString>
#include <QVector>
#include <stdexcept>

namespace za {

struct TLogRecordTime {
    int minute = 0, hour = 0, day = 0, month = 0, year = 0;
};

// Layout 0: "hh,DD,MM,YYYY" head; any other value: "mm,hh,DD,MM,YYYY".
// Then ",%5d" per count, then the record sum if addSumLog, then the day sum if addSumDay.
QString BuildLogLine(int layout, const TLogRecordTime& t, const QVector<int>& counts,
                     bool addSumLog, int recordSum, bool addSumDay, int daySum);

// Never fails: on any problem every output is 0. counts gets exactly n entries.
void ParseLine(int layout, int n, const QString& line, TLogRecordTime& t, QVector<int>& counts);

class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// Reads only the time stamp; a layout other than 0/1 gives all zeros; throws
// EConvertError on a field that is not an integer.
void ParseLineDate(int layout, const QString& line, TLogRecordTime& t);

// ParseLine plus the ranges: minute 0..59, hour 0..23, day 1..31, month 1..12,
// year 0..2099, counts 0..99999.
bool IsValidLine(int layout, int n, const QString& line);

// Signed 32-bit integer with optional leading spaces and sign; nothing else.
bool StrToIntStrict(const QString& s, int& out);

} // namespace za
