#pragma once
// The main window. It owns every long-lived object of the program (event log,
// settings, serial port and link, record handler, exports, data view, timers)
// and wires them together; the behaviour itself lives in those objects.
#include <QMainWindow>
#include <QString>
#include <memory>
#include "config/AppPaths.h"
#include "config/Settings.h"
#include "link/CounterLink.h"

class QAction;
class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTimer;

namespace za {

class TAboutDlg;
class TClock;
class TComPort;
class TComportSetupDlg;
class TDataFrame;
class TEventLog;
class TGunneboUtils;
class TICCUtils;
class TIniFile;
class TKvikUtils;
class TMessageChannel;
class TOneInst;
class TPortSupervisor;
class TRecordHandler;
class TSessionEnd;
class TShowLogFile;
struct TBrandProfile;

// What tests and the program entry decide for the main window.
struct TMainFormOptions {
    TAppPaths Paths = TAppPaths::FromEnvironment();
    const TClock* Clock = nullptr;            // nullptr: the system clock
    TMessageChannel* Boxes = nullptr;         // nullptr: real modal message boxes
    QString SysfsRoot = QStringLiteral("/sys");
};

class TMainForm : public QMainWindow, public TCounterHandlers {
    Q_OBJECT
public:
    explicit TMainForm(const TMainFormOptions& options = TMainFormOptions());
    ~TMainForm() override;

    // The start-up sequence. False: another instance runs and RUNONCE is set,
    // so this one must end at once.
    bool FormCreate();
    // After all windows exist: the current log file is loaded and the running
    // flag set.
    void CompleteStartup();
    // Shows the window with the two-second about splash.
    void ShowMainWindow();

    // "&Close application" and the end of the session.
    void aCloseAppExecute();
    void SessionEnding();
    bool Running() const { return running_; }
    bool ShutdownDone() const { return shutdownDone_; }

    // Counter messages (the link hands each checked frame here)
    void HandleLogRecord(int variant) override;
    void HandleAlarm() override;
    void ReportWrongChannelCount() override;
    void ReportHandlerFailure(const QString& what) override;
    void ReportPortError(const QString& text) override;

    // Owned objects, reachable for the tests of the whole window.
    TEventLog* EventLog() const { return eventLog_.get(); }
    TIniFile* IniFile() const { return ini_.get(); }
    TSettings& Settings() { return settings_; }
    TComPort* Comport() const { return comport_; }
    TCounterLink* Link() const { return link_; }
    TPortSupervisor* Supervisor() const { return supervisor_; }
    TRecordHandler* Records() const { return records_.get(); }
    TDataFrame* frLogData() const { return frLogData_; }
    TShowLogFile* ShowLogFile() const { return showLogFile_; }

    QLabel* LogFileNamePanel = nullptr;
    QLabel* paDataInfo = nullptr;
    QLabel* paComportStatus = nullptr;
    QLabel* paStatus = nullptr;
    QSystemTrayIcon* TrayIcon = nullptr;
    QTimer* CheckLogTimer = nullptr;

    QAction* aOpenLogFile = nullptr;
    QAction* aExportToExcel = nullptr;
    QAction* aSerialPort = nullptr;
    QAction* aIniFile = nullptr;
    QAction* aCloseApp = nullptr;
    QAction* aShowHide = nullptr;

    void aOpenLogFileExecute();
    void aExportToExcelExecute();
    void aSerialPortExecute();
    void aIniFileExecute();
    void CheckLogTimerTimer();

    // SaveSettings: the data view's choices and every key the program owns.
    // False when the settings file could not be written (already reported).
    bool SaveSettings();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildWindow();
    void OpenPortAtStart();
    void ApplyBrand(const TBrandProfile& profile);
    void FormClose();
    void SetComportLamp(bool open);
    void ToggleWindow();
    void ActivateFromOtherInstance();

    TMainFormOptions options_;
    const TClock* clock_;
    class TAfterFrameBoxes;
    std::unique_ptr<TMessageChannel> ownBoxes_;
    std::unique_ptr<TAfterFrameBoxes> afterFrameBoxes_;
    std::unique_ptr<TEventLog> eventLog_;
    std::unique_ptr<TIniFile> ini_;
    std::unique_ptr<TOneInst> oneInst_;
    std::unique_ptr<TKvikUtils> kvik_;
    std::unique_ptr<TICCUtils> icc_;
    std::unique_ptr<TGunneboUtils> gunnebo_;
    std::unique_ptr<TRecordHandler> records_;
    std::unique_ptr<TSessionEnd> sessionEnd_;
    TSettings settings_;
    TComPort* comport_ = nullptr;
    TCounterLink* link_ = nullptr;
    TPortSupervisor* supervisor_ = nullptr;
    TDataFrame* frLogData_ = nullptr;
    TShowLogFile* showLogFile_ = nullptr;   // top-level window, released with the main window
    TAboutDlg* aboutDlg_ = nullptr;
    TComportSetupDlg* comportDlg_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QLabel* logo_ = nullptr;

    QString appTitle_;
    QString masterPassword_;
    bool running_ = false;
    bool closeRequested_ = false;
    bool shutdownDone_ = false;
    bool hideOnStart_ = false;
};

} // namespace za
