#include "LogLine.h"
#include <QStringList>

namespace za {

namespace {

// Field k (from 1): the text between the (k-1)-th and k-th comma; empty past the end.
QString Field(const QStringList& fields, int k) { return k - 1 < fields.size() ? fields[k - 1] : QString(); }

// The time stamp fields of a layout; false for an unknown layout or a field that
// is not an integer. firstCount: the field number of count 1.
enum class THeadResult { Ok, BadLayout, BadField };

THeadResult ReadHead(int layout, const QStringList& fields, TLogRecordTime& t, int& firstCount, QString& bad) {
    int k = 1;
    int* targets[5] = {&t.minute, &t.hour, &t.day, &t.month, &t.year};
    int from = 0;
    if (layout == 0) {
        t.minute = 0;
        from = 1;
    } else if (layout != 1) {
        return THeadResult::BadLayout;   // "Wrong LogLineFormat"
    }
    for (int i = from; i < 5; ++i, ++k) {
        const QString f = Field(fields, k);
        if (!StrToIntStrict(f, *targets[i])) {
            bad = f;
            return THeadResult::BadField;
        }
    }
    firstCount = k;
    return THeadResult::Ok;
}

} // namespace

bool StrToIntStrict(const QString& s, int& out) {
    int i = 0;
    const int len = s.size();
    while (i < len && s.at(i) == ' ') ++i;
    bool neg = false;
    if (i < len && (s.at(i) == '+' || s.at(i) == '-')) {
        neg = s.at(i) == '-';
        ++i;
    }
    if (i >= len) return false;
    qint64 v = 0;
    for (; i < len; ++i) {
        const ushort c = s.at(i).unicode();
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
        if (v > 2147483648LL) return false;
    }
    if (neg) v = -v;
    if (v > 2147483647LL) return false;
    out = int(v);
    return true;
}

QString BuildLogLine(int layout, const TLogRecordTime& t, const QVector<int>& counts,
                     bool addSumLog, int recordSum, bool addSumDay, int daySum) {
    QString line = layout == 0
        ? QString::asprintf("%.2d,%.2d,%.2d,%4d", t.hour, t.day, t.month, t.year)
        : QString::asprintf("%.2d,%.2d,%.2d,%.2d,%4d", t.minute, t.hour, t.day, t.month, t.year);
    for (int c : counts) line += QString::asprintf(",%5d", c);
    if (addSumLog) line += QString::asprintf(",%5d", recordSum);
    if (addSumDay) line += QString::asprintf(",%5d", daySum);
    return line;
}

void ParseLine(int layout, int n, const QString& line, TLogRecordTime& t, QVector<int>& counts) {
    n = qMax(0, n);
    const QStringList fields = line.split(',');
    TLogRecordTime head;
    QVector<int> values(n, 0);
    int first = 0;
    QString bad;
    bool ok = ReadHead(layout, fields, head, first, bad) == THeadResult::Ok;
    for (int i = 0; ok && i < n; ++i) {
        const QString f = Field(fields, first + i);
        if (f.isEmpty()) continue;   // a missing count reads 0
        ok = StrToIntStrict(f, values[i]);
    }
    if (!ok) {
        head = TLogRecordTime();
        values.fill(0);
    }
    t = head;
    counts = values;
}

void ParseLineDate(int layout, const QString& line, TLogRecordTime& t) {
    TLogRecordTime head;
    int first = 0;
    QString bad;
    switch (ReadHead(layout, line.split(','), head, first, bad)) {
    case THeadResult::Ok: t = head; return;
    case THeadResult::BadLayout: t = TLogRecordTime(); return;
    case THeadResult::BadField:
        throw EConvertError(QString("'%1' is not a valid integer value").arg(bad).toStdString());
    }
}

bool IsValidLine(int layout, int n, const QString& line) {
    TLogRecordTime t;
    QVector<int> counts;
    ParseLine(layout, n, line, t, counts);
    if (t.minute < 0 || t.minute > 59 || t.hour < 0 || t.hour > 23 || t.day < 1 || t.day > 31 ||
        t.month < 1 || t.month > 12 || t.year < 0 || t.year > 2099)
        return false;
    for (int c : counts)
        if (c < 0 || c > 99999) return false;
    return true;
}

} // namespace za
