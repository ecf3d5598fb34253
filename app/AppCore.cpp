#include "AppCore.h"

#include <QCoreApplication>
#include <QThread>

#include "OneInst.h"
#include "SessionEnd.h"
#include "config/Clock.h"
#include "config/IniFile.h"
#include "export/GunneboUtils.h"
#include "export/ICCUtils.h"
#include "export/KvikUtils.h"
#include "link/ComPort.h"
#include "link/Cp210x.h"
#include "link/PortSupervisor.h"
#include "logdata/BoxQueue.h"
#include "logdata/EventLog.h"
#include "logdata/LogStore.h"
#include "logdata/RecordHandler.h"
#include "logdata/Spool.h"

namespace za {

namespace {
const char* const kInstanceName = "KESTRANO_ZENTRELLAPP";
} // namespace

TAppCore::TAppCore(const TAppOptions& options)
    : options_(options), clock_(options.Clock ? options.Clock : &SystemClock()) {
    checkLogTimer_.setInterval(1000);
    connect(&checkLogTimer_, &QTimer::timeout, this, &TAppCore::CheckLogTimerTimer);
}

TAppCore::~TAppCore() {
    // A core released without the shutdown (a second instance, a test) must
    // not leave the port's data event or a timer pointing at released objects.
    checkLogTimer_.stop();
    if (link_) link_->SetRunning(false);
    supervisor_.reset();
    records_.reset();
    link_.reset();
    comport_.reset();
    if (logData_) logData_->Store().SetEventLog(nullptr);
}

bool TAppCore::Start() {
    running_ = false;

    // The event log comes first, so that everything after it can report. Its
    // boxes wait while a frame is handled and never open inside each other.
    TMessageChannel* channel = options_.Boxes;
    if (!channel) {
        ownChannel_ = std::make_unique<TStderrMessageChannel>();
        channel = ownChannel_.get();
    }
    boxes_ = std::make_unique<TBoxQueue>(*channel, [this] { return link_ && link_->Dispatching(); });
    eventLog_ = std::make_unique<TEventLog>(boxes_.get(), clock_);
    eventLog_->SetFileName(options_.Paths.EventLogPath());
    eventLog_->OnStatus = [this](const QString& line, int) {
        lastStatus_ = line;
        if (OnStatus) OnStatus(line);
    };
    eventLog_->Log("Program startet", 6);

    ini_ = std::make_unique<TIniFile>(options_.Paths.IniPath());
    const bool runOnce = ini_->ReadBool("SETUP", "RUNONCE", false);

    oneInst_ = std::make_unique<TOneInst>(kInstanceName);
    connect(oneInst_.get(), &TOneInst::ActivateRequested, this, [this] {
        if (OnActivateRequested) OnActivateRequested();
    });
    if (runOnce && oneInst_->IsAlreadyRunning()) return false;

    kvik_ = std::make_unique<TKvikUtils>();
    kvik_->ReadSettings(*ini_);
    icc_ = std::make_unique<TICCUtils>();
    icc_->ReadSettings(*ini_);
    gunnebo_ = std::make_unique<TGunneboUtils>();
    gunnebo_->ReadSettings(*ini_);

    // Every key with its default; what follows applies them in the start-up order.
    const QString brandCode = ini_->ReadString("SETUP", "APPINFO", QString());
    settings_.Load(*ini_, clock_->NowDT(), BrandMasterPassword(brandCode));

    comport_ = std::make_unique<TComPort>();
    OpenPortAtStart();
    brand_ = ApplyBrandProfile(brandCode, settings_, options_.Paths.Folder());
    comport_->SetLogging(settings_.ComportLog);
    connect(comport_.get(), &TComPort::TrafficLogDropped, this, [this](const QString& text) { eventLog_->Log(text, 10); });
    LogLoadNotes();

    logData_ = std::make_unique<TLogData>(eventLog_.get());
    logData_->Channels().SetChannels(settings_.ChannelNames, settings_.ChannelColors);
    logData_->Channels().SetLogLineFormat(settings_.LogLineFormat);

    spool_ = std::make_unique<TSpool>(options_.Paths.WithExtension(".spool"));
    records_ = std::make_unique<TRecordHandler>(*eventLog_, *ini_, logData_->Store(), *spool_, *clock_,
                                                TRecordSettings::From(settings_));
    records_->SetCurrentLogFileName(settings_.OldLogFileName);
    closeRequested_ = false;

    TRecordSinks sinks;
    sinks.WriteDataFile = [this](const QString& line) { kvik_->WriteDataFile(line); };
    sinks.IccAddRecord = [this](int h, int d, int m, int y, const QVector<int>& c) { icc_->AddRecord(h, d, m, y, c); };
    sinks.GunneboAddRecord = [this](int mi, int h, int d, int m, int y, const QVector<int>& c) {
        gunnebo_->AddRecord(mi, h, d, m, y, c);
    };
    sinks.ReportDuplicateFiltered = [this] { kvik_->ReportDuplicateFiltered(); };
    sinks.ReportNoLogData = [this] { kvik_->ReportNoLogData(); };
    sinks.ReportChecksumError = [this] { kvik_->ReportChecksumError(); };
    records_->SetSinks(sinks);
    records_->OnLogFileNameChanged = [this](const QString& name) {
        if (OnLogFileName) OnLogFileName(name);
    };

    link_ = std::make_unique<TCounterLink>(comport_.get(), clock_);
    link_->SetHandlers(this);
    link_->SetChannelCount(settings_.NumberOfChannels);
    records_->SendAck = [this] { link_->SendAck(); };
    records_->NoLogDataFlag = false;

    supervisor_ = std::make_unique<TPortSupervisor>(
        *link_, *clock_, [this](const QString& text, int level) { eventLog_->Log(text, level); });
    supervisor_->CheckComport = settings_.CheckComport;
    supervisor_->NoLogDataFlag = &records_->NoLogDataFlag;
    supervisor_->ReportNoResponse = [this] { kvik_->ReportNoResponse(); };
    supervisor_->ReportPortError = [this] { kvik_->ReportPortError(); };
    supervisor_->OnLampChanged = [this](bool open) {
        if (OnPortLamp) OnPortLamp(open);
    };

    records_->ResetLogDataWatchdog();

    // The end of the system session runs the whole shutdown, so nothing is lost
    // when the shop PC is switched off.
    sessionEnd_ = std::make_unique<TSessionEnd>();
    connect(sessionEnd_.get(), &TSessionEnd::SessionEnding, this, [this] { RequestShutdown(true); });
    started_ = true;
    return true;
}

void TAppCore::LogLoadNotes() {
    // Settings the program could not use as they stand: said once, at start.
    for (const QString& note : settings_.LoadNotes) eventLog_->Log(note, 7);
}

void TAppCore::OpenPortAtStart() {
    comport_->ComNumber = settings_.ComPort;
    comport_->DeviceOverride = settings_.ComPortDevice;
    if (comport_->ComNumber == -1 && comport_->DeviceOverride.isEmpty())
        FindCp210xPort(comport_->ComNumber, options_.SysfsRoot);
    comport_->Baud = settings_.Baud;
    comport_->FlushBuffers();
    QString error;
    if (!comport_->SetOpen(true, &error)) {
        eventLog_->Log(error, 2);
        kvik_->ReportPortError();
    }
}

void TAppCore::CompleteStartup() {
    if (!started_ || closeRequested_) return;
    records_->StartLogFile();
    running_ = true;
    link_->SetRunning(true);
    checkLogTimer_.start();
    supervisor_->Start();
    if (OnPortLamp) OnPortLamp(comport_->Open());
}

void TAppCore::HandleLogRecord(const TLogRecordData& record) {
    if (records_ && running_) records_->HandleLogRecord(record);
}

void TAppCore::HandleAlarm() {
    // The alarm window comes with the alarm settings; the counter is answered
    // and the event logged already, so it does not repeat the alarm.
    TRxTxBuffer* rx = link_->RxBuffer();
    rx->BeginRead();
    const int input = rx->ReadByte();
    link_->SendAck();
    eventLog_->LogForced("Alarm on input: " + QString::number(input + 1), 1, true, false);
    kvik_->ReportAlarmInput(input);
}

void TAppCore::ReportWrongChannelCount() { eventLog_->LogTo("Wrong number of channels", 2, false, true, true); }

void TAppCore::ReportHandlerFailure(const QString& what) { eventLog_->Log(what, 2); }

void TAppCore::ReportPortError(const QString& text) { eventLog_->Log(text, 11); }

void TAppCore::CheckLogTimerTimer() {
    if (!running_) return;
    records_->CheckLogDataWatchdog();
}

void TAppCore::NewIniFile() {
    try {
        const QString name = WriteNewIniTemplate(options_.Paths.WithExtension(".ini.new"));
        eventLog_->LogForced("New inifile created (" + name + ")", 0, true, true);
    } catch (const EIniWriteError& e) {
        eventLog_->LogTo(e.Text(), 2, false, true, true);
    }
}

bool TAppCore::SaveSettings() {
    if (!ini_ || !started_) return false;
    if (OnBeforeSave) OnBeforeSave();
    if (comport_) settings_.ComPort = comport_->ComNumber;
    if (records_) {
        const TRecordSettings& r = records_->Settings();
        settings_.LogFilePath = r.LogFilePath;
        settings_.LogFilePrefix = r.LogFilePrefix;
        settings_.LogFileCode = r.LogFileCode;
        settings_.LogFileSuffix = r.LogFileSuffix;
        settings_.LogFileExt = r.LogFileExt;
    }
    try {
        settings_.Save(*ini_);
        return true;
    } catch (const EIniWriteError& e) {
        // While shutting down nobody may be there to close a box; the shutdown
        // must go on, so the failure goes to the event-log file only.
        if (closeRequested_ || !running_) eventLog_->Log(e.Text(), 11);
        else eventLog_->LogTo(e.Text(), 2, true, true, true);
        return false;
    }
}

void TAppCore::StopWork() {
    // Nothing new starts: no records, no ticks, no boxes, no waits.
    closeRequested_ = true;
    running_ = false;
    if (link_) {
        link_->SetRunning(false);
        link_->AbortWaits();
    }
    checkLogTimer_.stop();
    if (supervisor_) supervisor_->Stop();
    if (boxes_) boxes_->Close();
}

void TAppCore::RequestShutdown(bool sessionEnd) {
    if (closeRequested_ || shutdownDone_) return;
    if (sessionEnd && eventLog_) eventLog_->Log("Windows is shutting down", 6);
    StopWork();
    if (OnShutdownRequested) OnShutdownRequested();
    // Every event loop of the thread ends, the nested ones (a box, a dialog)
    // first; the shutdown then runs where the outermost one returned.
    if (QThread::currentThread()->loopLevel() > 0) QCoreApplication::exit(0);
}

void TAppCore::Shutdown() {
    if (shutdownDone_) return;
    shutdownDone_ = true;
    if (!started_) return;
    StopWork();

    // A CHKS write that was still to follow the last Ack.
    if (records_) records_->FlushChecksum();

    auto writeExport = [this](auto& exportObject) {
        if (!exportObject) return;
        try {
            exportObject->WriteSettings(*ini_);
        } catch (const EIniWriteError& e) {
            eventLog_->Log(e.Text(), 11);
        }
        exportObject.reset();
    };
    writeExport(kvik_);
    writeExport(icc_);
    writeExport(gunnebo_);

    SaveSettings();

    eventLog_->Log("Program ended normally", 6);
    eventLog_->OnStatus = nullptr;

    supervisor_.reset();
    records_.reset();
    link_.reset();
    if (settings_.ComportLog && comport_) comport_->WriteLog();
    if (comport_) comport_->SetOpen(false);
    sessionEnd_.reset();
    oneInst_.reset();
}

} // namespace za
