#include "LogLine.h"
#include <QDate>
#include <QVarLengthArray>
#include <climits>
#include "config/DateTime.h"
#include "config/IntParse.h"

namespace za {

namespace {

constexpr qint64 kEpochJulianDay = 2415019;     // 30 December 1899

inline char16_t Code(QChar c) { return c.unicode(); }
inline char16_t Code(char c) { return char16_t(uchar(c)); }

template <typename Ch>
bool ReadInt(const Ch* p, const Ch* e, int& out) { return ParseStrictInt(p, e, out); }

int HeadFields(int layout) { return layout == 0 ? 4 : (layout == 1 ? 5 : -1); }

// Start and end offsets of the first `count` comma-separated fields; fields
// beyond the end of the line are empty (begin == end == line length).
template <typename Ch, qsizetype Cap>
void SplitFields(const Ch* data, int len, int count, QVarLengthArray<int, Cap>& bounds) {
    bounds.resize(count * 2);
    int pos = 0;
    for (int k = 0; k < count; ++k) {
        const int start = pos;
        int end = start;
        while (end < len && Code(data[end]) != u',') ++end;
        bounds[2 * k] = start;
        bounds[2 * k + 1] = end;
        if (end >= len) {
            for (int j = k + 1; j < count; ++j) bounds[2 * j] = bounds[2 * j + 1] = len;
            return;
        }
        pos = end + 1;
    }
}

void SetStamp(int layout, const int* v, TLogRecordTime& t) {
    if (layout == 0) {
        t.hour = v[0]; t.day = v[1]; t.month = v[2]; t.year = v[3];
    } else {
        t.minute = v[0]; t.hour = v[1]; t.day = v[2]; t.month = v[3]; t.year = v[4];
    }
}

template <typename Ch>
bool ReadFields(int layout, int n, const Ch* data, int len, TLogRecordTime& t, int* counts) {
    t = TLogRecordTime();
    for (int i = 0; i < n; ++i) counts[i] = 0;
    const int head = HeadFields(layout);
    if (head < 0 || n < 0) return false;
    QVarLengthArray<int, 64> b;
    SplitFields(data, len, head + n, b);
    int v[5] = {0, 0, 0, 0, 0};
    for (int k = 0; k < head; ++k) {
        if (!ReadInt(data + b[2 * k], data + b[2 * k + 1], v[k])) return false;
    }
    for (int i = 0; i < n; ++i) {
        const int k = head + i;
        if (b[2 * k] == b[2 * k + 1]) continue;               // an empty count reads 0
        if (!ReadInt(data + b[2 * k], data + b[2 * k + 1], counts[i])) {
            for (int j = 0; j < n; ++j) counts[j] = 0;
            return false;
        }
    }
    SetStamp(layout, v, t);
    return true;
}

template <typename Ch>
bool ReadDate(int layout, const Ch* data, int len, TLogRecordTime& t) {
    t = TLogRecordTime();
    const int head = HeadFields(layout);
    if (head < 0) return true;
    QVarLengthArray<int, 16> b;
    SplitFields(data, len, head, b);
    int v[5] = {0, 0, 0, 0, 0};
    for (int k = 0; k < head; ++k) {
        if (!ReadInt(data + b[2 * k], data + b[2 * k + 1], v[k])) return false;
    }
    SetStamp(layout, v, t);
    return true;
}

template <typename View>
bool IsValid(int layout, int n, View line) {
    n = qMax(0, n);
    QVarLengthArray<int, 32> counts(n);
    TLogRecordTime t;
    ReadLineFields(layout, n, line, t, counts.data());   // on failure t.day is 0: out of range
    return InValidRanges(t, counts.data(), n);
}

} // namespace

bool ReadIntField(QStringView f, int& out) { return ReadInt(f.data(), f.data() + f.size(), out); }
bool ReadIntField(QByteArrayView f, int& out) { return ReadInt(f.data(), f.data() + f.size(), out); }

bool ReadLineFields(int layout, int n, QStringView line, TLogRecordTime& t, int* counts) {
    return ReadFields(layout, n, line.data(), int(line.size()), t, counts);
}
bool ReadLineFields(int layout, int n, QByteArrayView line, TLogRecordTime& t, int* counts) {
    return ReadFields(layout, n, line.data(), int(line.size()), t, counts);
}
bool ReadLineDate(int layout, QStringView line, TLogRecordTime& t) {
    return ReadDate(layout, line.data(), int(line.size()), t);
}
bool ReadLineDate(int layout, QByteArrayView line, TLogRecordTime& t) {
    return ReadDate(layout, line.data(), int(line.size()), t);
}

bool LineDate(const TLogRecordTime& t, TDateTime& out) {
    if (!QDate::isValid(t.year, t.month, t.day)) return false;
    out = TDateTime(QDate(t.year, t.month, t.day).toJulianDay() - kEpochJulianDay);
    return true;
}

QString BuildLogLine(int layout, const TLogRecordTime& t, const int* counts, int n,
                     bool addSumLog, int recordSum, bool addSumDay, int daySum) {
    QString line = layout == 0
        ? QString::asprintf("%.2d,%.2d,%.2d,%4d", t.hour, t.day, t.month, t.year)
        : QString::asprintf("%.2d,%.2d,%.2d,%.2d,%4d", t.minute, t.hour, t.day, t.month, t.year);
    for (int i = 0; i < n; ++i) line += QString::asprintf(",%5d", counts[i]);
    if (addSumLog) line += QString::asprintf(",%5d", recordSum);
    if (addSumDay) line += QString::asprintf(",%5d", daySum);
    return line;
}

QString BuildLogLine(int layout, const TLogRecordTime& t, const QVector<int>& counts,
                     bool addSumLog, int recordSum, bool addSumDay, int daySum) {
    return BuildLogLine(layout, t, counts.constData(), int(counts.size()), addSumLog, recordSum, addSumDay, daySum);
}

void ParseLine(int layout, int n, const QString& line, TLogRecordTime& t, QVector<int>& counts) {
    counts = QVector<int>(qMax(0, n), 0);
    ReadLineFields(layout, qMax(0, n), QStringView(line), t, counts.data());
}

void ParseLineDate(int layout, const QString& line, TLogRecordTime& t) {
    if (!ReadLineDate(layout, QStringView(line), t))
        throw EConvertError("log line time stamp is not a valid integer value");
}

bool InValidRanges(const TLogRecordTime& t, const int* counts, int n) {
    if (t.minute < 0 || t.minute > 59 || t.hour < 0 || t.hour > 23 || t.day < 1 || t.day > 31 ||
        t.month < 1 || t.month > 12 || t.year < 0 || t.year > 2099)
        return false;
    for (int i = 0; i < n; ++i)
        if (counts[i] < 0 || counts[i] > 99999) return false;
    return true;
}

bool IsValidLine(int layout, int n, QStringView line) { return IsValid(layout, n, line); }
bool IsValidLine(int layout, int n, QByteArrayView line) { return IsValid(layout, n, line); }

} // namespace za
