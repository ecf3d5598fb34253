#pragma once
// What the record handler needs from the store of log lines. The store itself
// lives with the data view; this keeps the log data library free of it.
#include <QString>
#include <cstdint>

namespace za {

class TLogLines {
public:
    virtual ~TLogLines() = default;
    virtual int LineCount() const = 0;
    virtual QString GetLine(int i) const = 0;
    virtual void AddLine(const QString& line) = 0;
    virtual void DeleteLine(int i) = 0;
    virtual void Clear() = 0;
    // false when the file could not be read; the lines are then unchanged.
    virtual bool LoadFromFile(const QString& fileName) = 0;
    // false when the file could not be written; the lines stay in memory.
    virtual bool SaveToFile(const QString& fileName) = 0;
    virtual int DaySum(int year, int month, int day) const = 0;
    virtual bool HasRecord(int minute, int hour, int day, int month, int year) const = 0;
    // Sum of the character codes of all lines, line ends not counted, mod 65536.
    virtual uint16_t CharCodeSum() const = 0;
};

} // namespace za
