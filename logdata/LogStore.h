#pragma once
// The lines of one log file in memory, in file order, and the reads over them.
// Lines are kept as 8-bit text, the way they are in the file.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>
#include <functional>
#include "logdata/LogLine.h"
#include "logdata/LogStoreApi.h"

namespace za {

class TEventLog;

enum class TStoreChange {
    Added,     // index: the new last line
    Deleted,   // index: the line that was removed
    Cleared,
    Loaded,    // all lines replaced from a file (also sent when the file could not be read)
    Filled,    // all lines replaced by test data; the graph is not refreshed for it
};

class TLogStore : public TLogLines {
public:
    // log receives "Could not save logdata"; may be nullptr for a store that is never saved.
    explicit TLogStore(TEventLog* log = nullptr) : log_(log) {}
    void SetEventLog(TEventLog* log) { log_ = log; }

    int LineCount() const override { return int(lines_.size()); }
    QString GetLine(int i) const override;
    const QByteArray& RawLine(int i) const { return lines_[i]; }
    const QList<QByteArray>& RawLines() const { return lines_; }

    void AddLine(const QString& line) override;
    void DeleteLine(int i) override;
    void Clear() override;
    bool LoadFromFile(const QString& fileName) override;
    // Replaces the file as a whole: it holds either the old or the new lines,
    // whatever happens during the write.
    bool SaveToFile(const QString& fileName) override;
    bool Saving() const { return saving_; }

    // Replaces all lines at once (test data); notifies Filled.
    void SetLines(QList<QByteArray> lines);

    // Use the program-wide layout and channel count.
    void ParseLine(const QString& line, TLogRecordTime& t, QVector<int>& counts) const;
    void ParseLineDate(const QString& line, TLogRecordTime& t) const;   // throws EConvertError
    bool IsValidLine(const QString& line) const;

    int DaySum(int year, int month, int day) const override;
    bool HasRecord(int minute, int hour, int day, int month, int year) const override;
    uint16_t CharCodeSum() const override;

    // Called after every change of the lines.
    std::function<void(TStoreChange change, int index)> OnChanged;

    // Splits file content into lines: CR LF, CR and LF each end a line; a final
    // line end gives no empty last line.
    static QList<QByteArray> SplitLines(const QByteArray& bytes);

private:
    void Notify(TStoreChange change, int index) {
        if (OnChanged) OnChanged(change, index);
    }

    QList<QByteArray> lines_;
    TEventLog* log_ = nullptr;
    bool saving_ = false;
};

// Reads the time stamp and the first n counts of a stored line without building
// any text; the same rules as ParseLine. counts may be nullptr (time stamp only:
// the count fields are then not looked at). False when the line does not parse.
bool ParseRawLine(int layout, int n, const char* data, int size, TLogRecordTime& t, int* counts);

// Writes bytes to fileName through a temporary file in the same folder that is
// flushed to disk and then renamed over the old file.
bool WriteFileAtomic(const QString& fileName, const QByteArray& bytes);

} // namespace za
