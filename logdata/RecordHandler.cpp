#include "RecordHandler.h"
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <cmath>
#include <exception>
#include "EventLog.h"
#include "LogFileName.h"
#include "LogLine.h"
#include "LogStore.h"
#include "Spool.h"
#include "config/Clock.h"
#include "config/FileReplace.h"
#include "config/IniFile.h"
#include "link/LogRecord.h"

namespace za {

namespace {

int SecondsOfDay(TDateTime t) {
    const double frac = t - std::floor(t);
    return int(std::llround(frac * 86400.0)) % 86400;
}

QString Hex(const uint8_t* bytes, int n) {
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(bytes), n).toHex(' ').toUpper());
}

// Clears a flag on every way out of a scope.
struct TFlagGuard {
    bool& flag;
    explicit TFlagGuard(bool& f) : flag(f) { flag = true; }
    ~TFlagGuard() { flag = false; }
};

} // namespace

TRecordHandler::TRecordHandler(TEventLog& log, TIniFile& ini, TLogStore& store, TSpool& spool, const TClock& clock,
                               const TRecordSettings& settings)
    : log_(log), ini_(ini), store_(store), spool_(spool), clock_(clock), settings_(settings) {
    LastLogDataTime = clock_.Now();
    WatchdogReference = HourReference(LastLogDataTime);
    chksTimer_.setSingleShot(true);
    chksTimer_.setInterval(0);
    QObject::connect(&chksTimer_, &QTimer::timeout, [this] { FlushChecksum(); });
}

TRecordHandler::~TRecordHandler() = default;

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

void TRecordHandler::HandleLogRecord(const TLogRecordData& rec) {
    // A record that arrives while one is being handled (from a message box's
    // event loop) is left unacknowledged: the counter sends it again.
    if (busy_) return;
    TFlagGuard busy(busy_);

    const QByteArray key = QByteArray(1, char(rec.type)) +
                           QByteArray(reinterpret_cast<const char*>(rec.payload.data()), rec.payloadSize);

    if (pendingStage_ != stDone) {
        if (key == pendingKey_) {
            if (RunFrom(pendingStage_, pendingRecord_)) Finish();
            return;
        }
        // The counter moved on without our Ack; the earlier record is settled.
        pendingStage_ = stDone;
        pendingKey_.clear();
    }

    if (!rec.complete) {
        // Too short for the configured channels: the missing counts are unknown,
        // so nothing is stored or exported. The bytes go to the event log and the
        // record is acknowledged, since the counter would only repeat it as it is.
        log_.Log("Bad log data (" + Hex(rec.payload.data(), rec.payloadSize) + ")", 6);
        Finish();
        return;
    }

    TRecord r;
    r.minute = rec.minute;
    r.hour = rec.hour;
    r.day = rec.day;
    r.month = rec.month;
    r.year = rec.year;
    r.counts = QVector<int>(rec.counts.begin(), rec.counts.begin() + rec.channelCount);
    const int recordSum = rec.recordSum;

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
            if (StoreLogLine(r.line) == TStoreResult::Lost) {
                // Not acknowledged: the counter keeps the record and sends it again,
                // and it then goes through every step as if new.
                pendingStage_ = stDone;
                pendingKey_.clear();
                return false;
            }
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

TStoreResult TRecordHandler::StoreLogLine(const QString& line) {
    const QString name = BuildCurrentLogFileName();
    if (name != currentLogFileName_) ChangeLogFile(name);
    if (!IsValidLine(settings_.LogLineFormat, std::max(1, settings_.NumberOfChannels), line)) {
        log_.Log("Bad log data (" + line + ")", 6);
        return TStoreResult::Invalid;
    }
    log_.LogTo("New log data", 0, false, false, true);
    store_.AddLine(line);
    TStoreResult result = TStoreResult::Stored;
    if (SaveCurrent()) {
        if (!spool_.Empty()) MergeSpool(false);
    } else if (spool_.Append(currentLogFileName_, line.toLatin1())) {
        result = TStoreResult::Spooled;
        spoolFailureReported_ = false;
    } else {
        // Nowhere to keep it: take it back, so the counter's repeat is not a second copy.
        store_.DeleteLine(store_.LineCount() - 1);
        if (!spoolFailureReported_) {
            log_.Log("Could not keep logdata in " + spool_.FileName() + "; the record is not acknowledged", 7);
            spoolFailureReported_ = true;
        }
        return TStoreResult::Lost;
    }
    ScheduleChecksum();
    return result;
}

bool TRecordHandler::SaveCurrent() {
    if (loadPending_) {
        // Never save over a file that exists but could not be read: its lines
        // would be gone. Try again; once it reads, its lines go in front of the new ones.
        QList<QByteArray> old;
        if (QFileInfo::exists(currentLogFileName_) && !TLogStore::ReadFileLines(currentLogFileName_, old)) {
            log_.LogTo("Could not save logdata", 2, true, false, true);
            return false;
        }
        loadPending_ = false;
        if (!old.isEmpty()) store_.PrependLines(old);
        log_.Log("Log file can be read again: " + currentLogFileName_, 6);
    }
    if (badLinesRemoved_ && !KeepBadLinesBeside()) {
        log_.LogTo("Could not save logdata", 2, true, false, true);
        return false;
    }
    return store_.SaveToFile(currentLogFileName_);
}

bool TRecordHandler::KeepBadLinesBeside() {
    // The file as it was, bad lines and all, stays beside it before the first
    // save that leaves lines out: nothing the counter sent is ever destroyed.
    if (!QFileInfo::exists(currentLogFileName_)) {
        badLinesRemoved_ = false;
        return true;
    }
    const QString stamp = clock_.Now().toString("yyyyMMdd-HHmmss");
    QString backup = currentLogFileName_ + ".bad-" + stamp;
    for (int i = 2; QFileInfo::exists(backup); ++i) backup = currentLogFileName_ + ".bad-" + stamp + "-" + QString::number(i);
    QFile src(currentLogFileName_);
    if (!src.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = src.readAll();
    if (src.error() != QFileDevice::NoError) return false;
    if (!ReplaceFileContents(backup, bytes, nullptr)) return false;
    log_.Log("Log file with bad lines kept as " + backup, 6);
    badLinesRemoved_ = false;
    return true;
}

void TRecordHandler::StartLogFile() {
    MergeSpool(true);
    ChangeLogFile(BuildCurrentLogFileName());
}

void TRecordHandler::MergeSpool() { MergeSpool(false); }

void TRecordHandler::MergeSpool(bool startup) {
    if (spool_.Empty()) return;
    const QList<TSpoolEntry> entries = spool_.Read();
    QStringList files;
    QHash<QString, QList<QByteArray>> byFile;
    for (const TSpoolEntry& e : entries) {
        if (!byFile.contains(e.logFile)) files << e.logFile;
        byFile[e.logFile].append(e.line);
    }
    QList<TSpoolEntry> kept;
    auto keep = [&](const QString& file) {
        for (const QByteArray& l : byFile[file]) kept.append({file, l});
    };
    for (const QString& file : files) {
        const QList<QByteArray>& lines = byFile[file];
        if (!startup && file == currentLogFileName_) {
            if (loadPending_) {
                keep(file);
                continue;
            }
            // The store is the file's content: it already holds lines added in this run.
            bool added = false;
            for (const QByteArray& l : lines) {
                if (store_.Contains(l)) continue;
                store_.AddLine(QString::fromLatin1(l));
                added = true;
            }
            if (added && !store_.SaveToFile(file)) keep(file);
            continue;
        }
        QList<QByteArray> content;
        if (QFileInfo::exists(file) && !TLogStore::ReadFileLines(file, content)) {
            keep(file);
            continue;
        }
        bool added = false;
        for (const QByteArray& l : lines) {
            if (content.contains(l)) continue;   // merged before a crash took the spool's update
            content.append(l);
            added = true;
        }
        if (added && !ReplaceFileContents(file, TLogStore::JoinLines(content), nullptr)) {
            keep(file);
            continue;
        }
        log_.Log(QString("Spooled logdata written to %1 (%2 lines)").arg(file).arg(lines.size()), 6);
    }
    if (kept.size() != entries.size()) spool_.Rewrite(kept);
}

void TRecordHandler::ChangeLogFile(const QString& name) {
    log_.Log("Old file name: " + currentLogFileName_, 6);
    log_.Log("New file name: " + name, 6);
    currentLogFileName_ = name;
    badLinesRemoved_ = false;
    loadPending_ = false;
    if (OnLogFileNameChanged) OnLogFileNameChanged(name);
    if (name.isEmpty() || !QFileInfo::exists(name)) {
        store_.Clear();
    } else if (!store_.LoadFromFile(name)) {
        // The previous file's lines must not be written into this one, and this
        // one must not be replaced by the new lines alone.
        store_.Clear();
        loadPending_ = true;
        log_.Log("Could not read log file " + name + "; new lines are kept until it can be read", 7);
        return;
    }
    CheckLogDataChecksum();
}

uint16_t TRecordHandler::LogDataChecksum() const { return store_.CharCodeSum(); }

void TRecordHandler::ScheduleChecksum() {
    chksPending_ = true;
    chksTimer_.start();
}

void TRecordHandler::FlushChecksum() {
    chksTimer_.stop();
    if (!chksPending_) return;
    chksPending_ = false;
    try {
        ini_.WriteInteger("SETUP", "CHKS", LogDataChecksum());
    } catch (const EIniWriteError& e) {
        ReportError(e.Text());
    }
}

void TRecordHandler::CheckLogDataChecksum() {
    const int count = store_.LineCount();
    if (count == 0) return;
    const uint16_t stored = uint16_t(ini_.ReadInteger("SETUP", "CHKS", 0) & 0xFFFF);
    if (LogDataChecksum() != stored) {
        if (store_.CharCodeSum(count - 1) == stored) {
            // The file is whole: the program ended after writing the last line and
            // before writing its checksum. Only CHKS lags behind.
            ScheduleChecksum();
        } else {
            log_.Log("Error on log data checksum", 11);
            if (sinks_.ReportChecksumError) sinks_.ReportChecksumError();
        }
    }
    QVector<int> bad;
    for (int i = 0; i < count; ++i)
        if (!store_.IsValidLine(i)) bad << i;
    if (bad.isEmpty()) return;
    for (int i : bad) log_.Log("Bad logdata removed (" + store_.GetLine(i) + ")", 6);
    // One removal, one refresh of the view, however many lines go.
    store_.DeleteLines(bad);
    badLinesRemoved_ = true;
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
