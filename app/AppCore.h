#pragma once
// The application without its windows: it owns every long-lived object (event
// log, settings, single-instance guard, exports, log data, serial port, link,
// record handler, port supervision, timers), runs the start-up and the
// shutdown in their fixed order and handles the counter's messages. The main
// window only shows what the core reports and forwards the user's actions, so
// everything a test needs runs without a window.
//
// Shutdown: a close or the end of the session only records the request and
// ends every nested loop (boxes, dialogs, waits for the counter); Shutdown()
// then runs once, from the outermost level, after the event loop returned.
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include "BrandProfile.h"
#include "config/AppPaths.h"
#include "config/Settings.h"
#include "link/CounterLink.h"

namespace za {

class TBoxQueue;
class TClock;
class TComPort;
class TEventLog;
class TGunneboUtils;
class TICCUtils;
class TIniFile;
class TKvikUtils;
class TLogData;
class TMessageChannel;
class TOneInst;
class TPortSupervisor;
class TRecordHandler;
class TSessionEnd;
class TSpool;

// What tests and the program entry decide for the core.
struct TAppOptions {
    TAppPaths Paths = TAppPaths::FromEnvironment();
    const TClock* Clock = nullptr;            // nullptr: the system clock
    TMessageChannel* Boxes = nullptr;         // nullptr: box texts go to standard error
    QString SysfsRoot = QStringLiteral("/sys");
};

class TAppCore : public QObject, public TCounterHandlers {
    Q_OBJECT
public:
    explicit TAppCore(const TAppOptions& options = TAppOptions());
    ~TAppCore() override;

    // The start-up up to the ready step. False: another instance runs and
    // RUNONCE is set, so this one must end at once.
    bool Start();
    // The ready step: spooled lines into their files, the current log file
    // loaded and checked, then the running flag and the timers.
    void CompleteStartup();

    // "&Close application" (sessionEnd false) and the end of the session
    // (true, logged as such). Only records the request and ends every nested
    // loop; safe to call from anywhere, any number of times.
    void RequestShutdown(bool sessionEnd = false);
    bool ShutdownRequested() const { return closeRequested_; }
    // The ordered shutdown; runs once. Call it after the event loop returned.
    void Shutdown();
    bool ShutdownDone() const { return shutdownDone_; }
    bool Running() const { return running_; }

    // Counter messages (the link hands each checked frame here)
    void HandleLogRecord(const TLogRecordData& record) override;
    void HandleAlarm() override;
    void ReportWrongChannelCount() override;
    void ReportHandlerFailure(const QString& what) override;
    void ReportPortError(const QString& text) override;

    // Owned objects.
    const TAppOptions& Options() const { return options_; }
    const TClock& Clock() const { return *clock_; }
    TEventLog* EventLog() const { return eventLog_.get(); }
    TBoxQueue* Boxes() const { return boxes_.get(); }
    TIniFile* IniFile() const { return ini_.get(); }
    TSettings& Settings() { return settings_; }
    const TBrandProfile& Brand() const { return brand_; }
    TLogData& LogData() { return *logData_; }
    TComPort* Comport() const { return comport_.get(); }
    TCounterLink* Link() const { return link_.get(); }
    TPortSupervisor* Supervisor() const { return supervisor_.get(); }
    TRecordHandler* Records() const { return records_.get(); }
    TKvikUtils* Kvik() const { return kvik_.get(); }
    TSpool* Spool() const { return spool_.get(); }
    TOneInst* OneInst() const { return oneInst_.get(); }
    QTimer* CheckLogTimer() { return &checkLogTimer_; }

    void CheckLogTimerTimer();
    // SaveSettings: every key the program owns. False when the settings file
    // could not be written (already reported).
    bool SaveSettings();
    // "New inifile": the template beside the settings file.
    void NewIniFile();

    // What the windows show. Each may stay unset.
    std::function<void(const QString& line)> OnStatus;       // status line entries
    std::function<void(const QString& name)> OnLogFileName;  // the current log file name
    std::function<void(bool open)> OnPortLamp;                // the port is open / closed
    std::function<void()> OnActivateRequested;                // a second instance asks to be shown
    std::function<void()> OnBeforeSave;                       // copy view choices into Settings()
    std::function<void()> OnShutdownRequested;                // hide the tray, close windows
    QString LastStatus() const { return lastStatus_; }

private:
    void OpenPortAtStart();
    void LogLoadNotes();
    void StopWork();

    TAppOptions options_;
    const TClock* clock_;
    std::unique_ptr<TMessageChannel> ownChannel_;
    std::unique_ptr<TBoxQueue> boxes_;
    std::unique_ptr<TEventLog> eventLog_;
    std::unique_ptr<TIniFile> ini_;
    std::unique_ptr<TOneInst> oneInst_;
    std::unique_ptr<TKvikUtils> kvik_;
    std::unique_ptr<TICCUtils> icc_;
    std::unique_ptr<TGunneboUtils> gunnebo_;
    TSettings settings_;
    TBrandProfile brand_;
    std::unique_ptr<TLogData> logData_;
    std::unique_ptr<TSpool> spool_;
    std::unique_ptr<TComPort> comport_;
    std::unique_ptr<TCounterLink> link_;
    std::unique_ptr<TPortSupervisor> supervisor_;
    std::unique_ptr<TRecordHandler> records_;
    std::unique_ptr<TSessionEnd> sessionEnd_;
    QTimer checkLogTimer_;
    QString lastStatus_;

    bool started_ = false;
    bool running_ = false;
    bool closeRequested_ = false;
    bool shutdownDone_ = false;
};

} // namespace za
