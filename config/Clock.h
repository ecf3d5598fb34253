#pragma once
// The wall clock as the program sees it. Tests hand in a TFixedClock so that
// rollovers, watchdogs and schedules can be driven without waiting.
#include <QDateTime>
#include "DateTime.h"

namespace za {

class TClock {
public:
    virtual ~TClock() = default;
    virtual QDateTime Now() const = 0;                  // local wall-clock time, ms precision
    TDateTime NowDT() const { return FromQDateTime(Now()); }
};

class TSystemClock : public TClock {
public:
    QDateTime Now() const override { return QDateTime::currentDateTime(); }
};

class TFixedClock : public TClock {
public:
    explicit TFixedClock(QDateTime t = QDateTime(QDate(2011, 3, 31), QTime(14, 5, 9, 123))) : t_(t) {}
    QDateTime Now() const override { return t_; }
    void Set(const QDateTime& t) { t_ = t; }
    void AdvanceMs(qint64 ms) { t_ = t_.addMSecs(ms); }
private:
    QDateTime t_;
};

// Real time shifted to start at a chosen moment: lets a whole program run as if
// it were another day (rollovers in end-to-end tests and demonstrations).
class TOffsetClock : public TClock {
public:
    explicit TOffsetClock(const QDateTime& start)
        : offsetMs_(QDateTime::currentDateTime().msecsTo(start)) {}
    QDateTime Now() const override { return QDateTime::currentDateTime().addMSecs(offsetMs_); }
private:
    qint64 offsetMs_;
};

// The clock used where nothing else was handed in.
TClock& SystemClock();

} // namespace za
