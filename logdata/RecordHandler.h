#pragma once
// From a received log record to a stored log line: decoding, the inactive
// window, duplicate filtering, the log file name and its rollover, the stored
// checksum of the log file, the data-transfer exports, the Ack to the counter,
// and the watchdog that notices when records stop arriving.
#include <QByteArray>
#include <QDateTime>
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
class TLogLines;
class TRxTxBuffer;

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

class TRecordHandler {
public:
    // All references must outlive the handler. ini receives SETUP/CHKS.
    TRecordHandler(TEventLog& log, TIniFile& ini, TLogLines& store, const TClock& clock,
                   const TRecordSettings& settings);

    TRecordSettings& Settings() { return settings_; }
    void SetSinks(const TRecordSinks& sinks) { sinks_ = sinks; }

    std::function<void()> SendAck;
    // The current log file name changed (shown in the status bar).
    std::function<void(const QString& name)> OnLogFileNameChanged;
    // Errors that the program's general error handler shows (a failed export, a
    // failed write of CHKS). Unset: logged as an error (file, status line, box).
    std::function<void(const QString& text)> OnError;

    // The frame at the front of rx; variant 0 for LogRecord, 100 for LogRecordExt.
    void HandleLogRecord(TRxTxBuffer& rx, int variant);
    void StoreLogLine(const QString& line);

    // Log file name
    QString CurrentLogFileName() const { return currentLogFileName_; }
    void SetCurrentLogFileName(const QString& name) { currentLogFileName_ = name; }   // start-up, no log entry
    QString BuildCurrentLogFileName() const;   // from the settings and the clock
    void ChangeLogFile(const QString& name);
    // End of start-up: always changes to the computed name, even when unchanged.
    void StartLogFile() { ChangeLogFile(BuildCurrentLogFileName()); }

    // Checksum
    uint16_t LogDataChecksum() const;
    void CheckLogDataChecksum();

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
    // Runs the steps from `from` on; false when an export failed.
    bool RunFrom(TStage from, const TRecord& r);
    void Finish();
    void ReportError(const QString& text);
    bool InInactiveWindow(int hour, int minute) const;
    QDateTime HourReference(const QDateTime& now) const;

    TEventLog& log_;
    TIniFile& ini_;
    TLogLines& store_;
    const TClock& clock_;
    TRecordSettings settings_;
    TRecordSinks sinks_;
    QString currentLogFileName_;
    QString procStatusPath_ = "/proc/self/status";

    bool busy_ = false;
    // A record whose exports stopped at pendingStage_: when the counter sends
    // the same record again it continues there instead of storing it twice.
    QByteArray pendingKey_;
    TRecord pendingRecord_;
    TStage pendingStage_ = stDone;
};

} // namespace za
