#pragma once
// The lines of one log file in memory, in file order, and the reads over them.
// Lines are kept as 8-bit text, the way they are in the file. No widgets: the
// data view watches it through OnChanged.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QVector>
#include <cstdint>
#include <functional>
#include "Channels.h"
#include "LogLine.h"

namespace za {

class TEventLog;

enum class TStoreChange {
    Added,     // index: the new last line
    Deleted,   // index: the first line that was removed (one or more)
    Cleared,
    Loaded,    // all lines replaced from a file (also sent when the file could not be read)
    Filled,    // all lines replaced by test data; the graph is not refreshed for it
};

class TLogStore {
public:
    // channels must outlive the store. log receives "Could not save logdata";
    // may be nullptr for a store that is never saved.
    explicit TLogStore(const TChannelSet& channels, TEventLog* log = nullptr) : channels_(&channels), log_(log) {}
    void SetEventLog(TEventLog* log) { log_ = log; }
    const TChannelSet& Channels() const { return *channels_; }

    int LineCount() const { return int(lines_.size()); }
    QString GetLine(int i) const;
    const QByteArray& RawLine(int i) const { return lines_[i]; }
    const QList<QByteArray>& RawLines() const { return lines_; }

    void AddLine(const QString& line);
    void DeleteLine(int i);
    // Removes every line whose index is listed (ascending), with one notification.
    void DeleteLines(const QVector<int>& ascending);
    void Clear();
    // False when the file could not be read; the lines are then unchanged.
    bool LoadFromFile(const QString& fileName);
    // Replaces the file as a whole: it holds either the old or the new lines,
    // whatever happens during the write. Logs "Could not save logdata" on failure.
    bool SaveToFile(const QString& fileName);
    bool Saving() const { return saving_; }
    // Puts lines in front of the ones held (a file that could be read only
    // later); notifies Loaded.
    void PrependLines(const QList<QByteArray>& lines);

    // Replaces all lines at once (test data); notifies Filled.
    void SetLines(QList<QByteArray> lines);

    // The channel set's layout and channel count.
    void ParseLine(const QString& line, TLogRecordTime& t, QVector<int>& counts) const;
    void ParseLineDate(const QString& line, TLogRecordTime& t) const;   // throws EConvertError
    bool IsValidLine(const QString& line) const;
    bool IsValidLine(int i) const;

    int DaySum(int year, int month, int day) const;
    bool HasRecord(int minute, int hour, int day, int month, int year) const;
    bool Contains(const QByteArray& line) const { return lines_.contains(line); }
    // Sum of the character codes of the lines [0, count) (all when count < 0),
    // line ends not counted, mod 65536.
    uint16_t CharCodeSum(int count = -1) const;

    // Called after every change of the lines.
    std::function<void(TStoreChange change, int index)> OnChanged;

    // Splits file content into lines: CR LF, CR and LF each end a line; a final
    // line end gives no empty last line.
    static QList<QByteArray> SplitLines(const QByteArray& bytes);
    // The whole file as lines; false when it could not be read.
    static bool ReadFileLines(const QString& fileName, QList<QByteArray>& lines);
    // The lines with CR LF after each, as a log file holds them.
    static QByteArray JoinLines(const QList<QByteArray>& lines);

private:
    void Notify(TStoreChange change, int index) {
        if (OnChanged) OnChanged(change, index);
    }

    const TChannelSet* channels_;
    QList<QByteArray> lines_;
    TEventLog* log_ = nullptr;
    bool saving_ = false;
};

// The log data of the current log file: its lines and the channel set they
// are read with, one object for the whole program.
class TLogData {
public:
    explicit TLogData(TEventLog* log = nullptr) : store_(channels_, log) {}
    TLogData(const TLogData&) = delete;
    TLogData& operator=(const TLogData&) = delete;
    TChannelSet& Channels() { return channels_; }
    const TChannelSet& Channels() const { return channels_; }
    TLogStore& Store() { return store_; }
    const TLogStore& Store() const { return store_; }

private:
    TChannelSet channels_;
    TLogStore store_;
};

} // namespace za
