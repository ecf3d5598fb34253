#pragma once
// From a received log record to a stored log line: decoding, the inactive
// window, duplicate filtering, the log file name and its rollover, the stored
// checksum of the log file, the data-transfer exports, the Ack to the counter,
// and the watchdog that notices when records stop arriving.
#include <QByteArray>
#include <QDateTime>
#include <QTimer>
#include <QString>
#include <QVector>
#include <cstdint>
#include <functional>
#include "config/DateTime.h"
#include "config/Settings.h"

namespace za {

class TClock;
class TEventLog;
class TIniFile;
class TLogStore;
class TSpool;
struct TLogRecordData;

// The settings the record path uses. The name parts may change while running
// (the settings dialog); the new scheme applies from the next stored record.
struct TRecordSettings {
    int NumberOfChannels = 3;
    int LogLineFormat = 0;
    bool AddSumLog = false;
    bool AddSumDay = false;
    bool FilterDuplicates = false;
    bool TestData = false;
    bool InactiveTimeEnable = false;
    TDateTime InactiveStartTime = 0;   // time of day
    TDateTime InactiveStopTime = 0;
    QString LogFilePath, LogFilePrefix, LogFileCode, LogFileSuffix, LogFileExt;

    static TRecordSettings From(const TSettings& s) {
        TRecordSettings r;
        r.NumberOfChannels = s.NumberOfChannels;
        r.LogLineFormat = s.LogLineFormat;
        r.AddSumLog = s.AddSumLog;
        r.AddSumDay = s.AddSumDay;
        r.FilterDuplicates = s.FilterDuplicates;
        r.TestData = s.TestData;
        r.InactiveTimeEnable = s.InactiveTimeEnable;
        r.InactiveStartTime = s.InactiveStartTime;
        r.InactiveStopTime = s.InactiveStopTime;
        r.LogFilePath = s.LogFilePath;
        r.LogFilePrefix = s.LogFilePrefix;
        r.LogFileCode = s.LogFileCode;
        r.LogFileSuffix = s.LogFileSuffix;
        r.LogFileExt = s.LogFileExt;
        return r;
    }
};

// The data-transfer exports as the record path sees them. Any may be empty.
// An export that fails throws (std::exception); the record then is not
// acknowledged, so the counter keeps it and sends it again.
struct TRecordSinks {
    std::function<void(const QString& line)> WriteDataFile;                                   // KVIK
    std::function<void(int hour, int day, int month, int year, const QVector<int>& counts)> IccAddRecord;
    std::function<void(int minute, int hour, int day, int month, int year, const QVector<int>& counts)>
        GunneboAddRecord;
    std::function<void()> ReportDuplicateFiltered;
    std::function<void()> ReportNoLogData;
    std::function<void()> ReportChecksumError;
};

// What became of one log line.
enum class TStoreResult {
    Stored,     // in the log file
    Spooled,    // the log file could not be written; the line is safe in the spool
    Invalid,    // not a valid line: reported, not stored
    Lost,       // neither the log file nor the spool could take it; nothing was kept
};

class TRecordHandler {
public:
    // All references must outlive the handler. ini receives SETUP/CHKS; spool
    // keeps lines whose log file cannot be written.
    TRecordHandler(TEventLog& log, TIniFile& ini, TLogStore& store, TSpool& spool, const TClock& clock,
                   const TRecordSettings& settings);
    ~TRecordHandler();

    TRecordSettings& Settings() { return settings_; }
    void SetSinks(const TRecordSinks& sinks) { sinks_ = sinks; }

    std::function<void()> SendAck;
    // The current log file name changed (shown in the status bar).
    std::function<void(const QString& name)> OnLogFileNameChanged;
    // Errors that the program's general error handler shows (a failed export, a
    // failed write of CHKS). Unset: logged as an error (file, status line, box).
    std::function<void(const QString& text)> OnError;

    // One decoded LogRecord or LogRecordExt frame.
    void HandleLogRecord(const TLogRecordData& record);
    TStoreResult StoreLogLine(const QString& line);

    // Log file name
    QString CurrentLogFileName() const { return currentLogFileName_; }
    void SetCurrentLogFileName(const QString& name) { currentLogFileName_ = name; }   // start-up, no log entry
    QString BuildCurrentLogFileName() const;   // from the settings and the clock
    void ChangeLogFile(const QString& name);
    // End of start-up: spooled lines go into their files, then the computed
    // name always becomes current, even when unchanged.
    void StartLogFile();
    // True while the current log file exists but could not be read: it is not
    // saved over until it can be read again.
    bool LoadPending() const { return loadPending_; }

    // Checksum. The CHKS write follows the Ack from the event loop (several
    // records in a burst give one write); FlushChecksum writes a pending one now.
    uint16_t LogDataChecksum() const;
    void CheckLogDataChecksum();
    void FlushChecksum();
    bool ChecksumPending() const { return chksPending_; }

    // Spooled lines into their log files, where these can be written now.
    void MergeSpool();

    // Watchdog
    void ResetLogDataWatchdog();
    void CheckLogDataWatchdog();
    bool NoLogDataFlag = false;
    QDateTime LastLogDataTime;
    QDateTime WatchdogReference;

    // Debugger recognition for TESTDATA: a non-zero TracerPid in this file.
    void SetProcStatusPath(const QString& path) { procStatusPath_ = path; }
    bool RunsUnderDebugger() const;

private:
    enum TStage { stStore, stKvik, stIcc, stGunnebo, stDone };
    struct TRecord {
        int minute = 0, hour = 0, day = 0, month = 0, year = 0;
        QVector<int> counts;
        QString line;
    };
    // Runs the steps from `from` on; false when the record must not be
    // acknowledged (an export failed, or the line could not be kept).
    bool RunFrom(TStage from, const TRecord& r);
    void Finish();
    void ReportError(const QString& text);
    bool InInactiveWindow(int hour, int minute) const;
    QDateTime HourReference(const QDateTime& now) const;
    bool SaveCurrent();
    bool KeepBadLinesBeside();
    void MergeSpool(bool startup);
    void ScheduleChecksum();

    TEventLog& log_;
    TIniFile& ini_;
    TLogStore& store_;
    TSpool& spool_;
    const TClock& clock_;
    TRecordSettings settings_;
    TRecordSinks sinks_;
    QString currentLogFileName_;
    QString procStatusPath_ = "/proc/self/status";

    bool busy_ = false;
    bool loadPending_ = false;        // the current file exists but could not be read
    bool badLinesRemoved_ = false;    // lines were removed from the current file's content
    bool spoolFailureReported_ = false;
    bool chksPending_ = false;
    QTimer chksTimer_;
    // A record whose exports stopped at pendingStage_: when the counter sends
    // the same record again it continues there instead of storing it twice.
    QByteArray pendingKey_;
    TRecord pendingRecord_;
    TStage pendingStage_ = stDone;
};

} // namespace za
