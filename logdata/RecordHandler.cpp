#include "RecordHandler.h"
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cmath>
#include <exception>
#include "EventLog.h"
#include "LogFileName.h"
#include "LogLine.h"
#include "LogStoreApi.h"
#include "config/Clock.h"
#include "config/IniFile.h"
#include "link/RxTxBuffer.h"

namespace za {

namespace {

constexpr int kFrameOverhead = 5;   // STX, LEN, TYPE, CHK, ETX

int SecondsOfDay(TDateTime t) {
    const double frac = t - std::floor(t);
    return int(std::llround(frac * 86400.0)) % 86400;
}

QString Hex(const QByteArray& bytes) { return QString::fromLatin1(bytes.toHex(' ').toUpper()); }

// Clears a flag on every way out of a scope.
struct TFlagGuard {
    bool& flag;
    explicit TFlagGuard(bool& f) : flag(f) { flag = true; }
    ~TFlagGuard() { flag = false; }
};

} // namespace

TRecordHandler::TRecordHandler(TEventLog& log, TIniFile& ini, TLogLines& store, const TClock& clock,
                               const TRecordSettings& settings)
    : log_(log), ini_(ini), store_(store), clock_(clock), settings_(settings) {
    LastLogDataTime = clock_.Now();
    WatchdogReference = HourReference(LastLogDataTime);
}

bool TRecordHandler::RunsUnderDebugger() const {
    QFile f(procStatusPath_);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& l : lines) {
        if (!l.startsWith("TracerPid:")) continue;
        bool ok = false;
        const int pid = l.mid(10).trimmed().toInt(&ok);
        return ok && pid != 0;
    }
    return false;
}

bool TRecordHandler::InInactiveWindow(int hour, int minute) const {
    // A time stamp that is no time of day is outside the window; the validity
    // test then rejects its line.
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59) return false;
    const int t = hour * 3600 + minute * 60;
    return t >= SecondsOfDay(settings_.InactiveStartTime) && t <= SecondsOfDay(settings_.InactiveStopTime);
}

void TRecordHandler::HandleLogRecord(TRxTxBuffer& rx, int variant) {
    // A record that arrives while one is being handled (from a message box's
    // event loop) is left unacknowledged: the counter sends it again.
    if (busy_) return;
    TFlagGuard busy(busy_);

    const int n = std::max(1, settings_.NumberOfChannels);
    const int payloadSize = std::max(0, int(rx.FrameLength()) - kFrameOverhead);
    const QByteArray key = QByteArray(1, char(rx.FrameType())) +
                           QByteArray(reinterpret_cast<const char*>(rx.Data) + 3, payloadSize);

    if (pendingStage_ != stDone) {
        if (key == pendingKey_) {
            if (RunFrom(pendingStage_, pendingRecord_)) Finish();
            return;
        }
        // The counter moved on without our Ack; the earlier record is settled.
        pendingStage_ = stDone;
        pendingKey_.clear();
    }

    rx.BeginRead();
    int v = variant;
    if (variant == 100) v += rx.ReadByte();
    const int needed = v == 100 ? 9 + 2 * n : (variant == 100 ? 6 : 5) + 2 * n;
    if (payloadSize < needed) {
        // Too short for the configured channels: the missing counts are unknown,
        // so nothing is stored or exported. The bytes go to the event log and the
        // record is acknowledged, since the counter would only repeat it as it is.
        log_.Log("Bad log data (" + Hex(key.mid(1)) + ")", 6);
        Finish();
        return;
    }

    TRecord r;
    if (v == 100) {
        rx.ReadByte();
        r.minute = rx.ReadByte();
    }
    r.hour = rx.ReadByte();
    r.day = rx.ReadByte();
    r.month = rx.ReadByte();
    r.year = rx.ReadWord();
    if (v == 100) rx.ReadByte();
    r.counts.resize(n);
    int recordSum = 0;
    for (int i = 0; i < n; ++i) {
        r.counts[i] = rx.ReadWord();
        recordSum += r.counts[i];
    }

    if (settings_.TestData && RunsUnderDebugger()) {
        for (int& c : r.counts) c = int(QRandomGenerator::global()->bounded(10));
    }
    if (settings_.InactiveTimeEnable && InInactiveWindow(r.hour, r.minute)) {
        for (int& c : r.counts) c = 0;
    }

    const TLogRecordTime t{r.minute, r.hour, r.day, r.month, r.year};
    const int daySum = settings_.AddSumDay ? store_.DaySum(r.year, r.month, r.day) + recordSum : 0;
    r.line = BuildLogLine(settings_.LogLineFormat, t, r.counts, settings_.AddSumLog, recordSum,
                          settings_.AddSumDay, daySum);

    if (settings_.FilterDuplicates && store_.HasRecord(r.minute, r.hour, r.day, r.month, r.year)) {
        log_.LogForced("Logdata filtered", 1, true, false);
        if (sinks_.ReportDuplicateFiltered) sinks_.ReportDuplicateFiltered();
        Finish();
        return;
    }

    pendingKey_ = key;
    if (RunFrom(stStore, r)) Finish();
}

bool TRecordHandler::RunFrom(TStage from, const TRecord& r) {
    TStage stage = from;
    try {
        if (stage == stStore) {
            StoreLogLine(r.line);
            stage = stKvik;
        }
        if (stage == stKvik) {
            if (sinks_.WriteDataFile) sinks_.WriteDataFile(r.line);
            stage = stIcc;
        }
        if (stage == stIcc) {
            if (sinks_.IccAddRecord) sinks_.IccAddRecord(r.hour, r.day, r.month, r.year, r.counts);
            stage = stGunnebo;
        }
        if (stage == stGunnebo) {
            if (sinks_.GunneboAddRecord)
                sinks_.GunneboAddRecord(r.minute, r.hour, r.day, r.month, r.year, r.counts);
            stage = stDone;
        }
    } catch (const std::exception& e) {
        // The steps before this one are done; the repeated record resumes here.
        pendingStage_ = stage;
        pendingRecord_ = r;
        ReportError(QString::fromLocal8Bit(e.what()));
        return false;
    }
    pendingStage_ = stDone;
    pendingKey_.clear();
    return true;
}

void TRecordHandler::Finish() {
    LastLogDataTime = clock_.Now();
    if (SendAck) SendAck();
}

void TRecordHandler::ReportError(const QString& text) {
    if (OnError) OnError(text);
    else log_.Log(text, 2);
}

QString TRecordHandler::BuildCurrentLogFileName() const {
    return BuildLogFileName(settings_.LogFilePath, settings_.LogFilePrefix, settings_.LogFileCode,
                            settings_.LogFileSuffix, settings_.LogFileExt, clock_.Now());
}

void TRecordHandler::StoreLogLine(const QString& line) {
    const QString name = BuildCurrentLogFileName();
    if (name != currentLogFileName_) ChangeLogFile(name);
    if (!IsValidLine(settings_.LogLineFormat, std::max(1, settings_.NumberOfChannels), line)) {
        log_.Log("Bad log data (" + line + ")", 6);
        return;
    }
    log_.LogTo("New log data", 0, false, false, true);
    store_.AddLine(line);
    store_.SaveToFile(currentLogFileName_);
    try {
        // The log file itself was flushed to disk; a CHKS lost in a power cut
        // only makes the next start warn about the checksum.
        ini_.WriteIntegerUnflushed("SETUP", "CHKS", LogDataChecksum());
    } catch (const EIniWriteError& e) {
        ReportError(e.Text());
    }
}

void TRecordHandler::ChangeLogFile(const QString& name) {
    log_.Log("Old file name: " + currentLogFileName_, 6);
    log_.Log("New file name: " + name, 6);
    currentLogFileName_ = name;
    if (OnLogFileNameChanged) OnLogFileNameChanged(name);
    // An existing file that cannot be read must not keep the previous file's
    // lines in the store: they would be written into this file.
    if (name.isEmpty() || !QFileInfo::exists(name) || !store_.LoadFromFile(name)) store_.Clear();
    CheckLogDataChecksum();
}

uint16_t TRecordHandler::LogDataChecksum() const { return store_.CharCodeSum(); }

void TRecordHandler::CheckLogDataChecksum() {
    if (store_.LineCount() == 0) return;
    const int stored = ini_.ReadInteger("SETUP", "CHKS", 0);
    if (LogDataChecksum() != uint16_t(stored & 0xFFFF)) {
        log_.Log("Error on log data checksum", 11);
        if (sinks_.ReportChecksumError) sinks_.ReportChecksumError();
    }
    const int n = std::max(1, settings_.NumberOfChannels);
    int i = 0;
    while (i < store_.LineCount()) {
        const QString line = store_.GetLine(i);
        if (IsValidLine(settings_.LogLineFormat, n, line)) {
            ++i;
            continue;
        }
        log_.Log("Bad logdata removed (" + line + ")", 6);
        store_.DeleteLine(i);
    }
}

QDateTime TRecordHandler::HourReference(const QDateTime& now) const {
    return QDateTime(now.date(), QTime(now.time().hour(), 5, 0));
}

void TRecordHandler::ResetLogDataWatchdog() {
    const QDateTime now = clock_.Now();
    WatchdogReference = HourReference(now);
    LastLogDataTime = now;
}

void TRecordHandler::CheckLogDataWatchdog() {
    const QDateTime now = clock_.Now();
    if (WatchdogReference.msecsTo(now) <= 3600 * 1000LL) return;
    if (LastLogDataTime.msecsTo(now) > 2 * 3600 * 1000LL) {
        log_.Log("Did not receive log data", 1);
        if (sinks_.ReportNoLogData) sinks_.ReportNoLogData();
        NoLogDataFlag = true;
    }
    WatchdogReference = HourReference(now);
}

} // namespace za
