#pragma once
// The main window: a view of the application core. It owns the widgets (the
// data view, status panels, menus, tray icon, dialogs), shows what the core
// reports and hands the user's actions to it; the behaviour lives in the core.
#include <QMainWindow>
#include <QString>

class QAction;
class QLabel;
class QMenu;
class QSystemTrayIcon;

namespace za {

class TAboutDlg;
class TAppCore;
class TComportSetupDlg;
class TDataFrame;
class TShowLogFile;

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // The core must have started (TAppCore::Start) and must outlive the window.
    explicit TMainForm(TAppCore& core);
    ~TMainForm() override;

    TAppCore& Core() { return core_; }

    // Shows the window with the two-second about splash.
    void ShowMainWindow();

    void aOpenLogFileExecute();
    void aExportToExcelExecute();
    void aSerialPortExecute();
    void aIniFileExecute();
    void aCloseAppExecute();

    TDataFrame* frLogData() const { return frLogData_; }
    TShowLogFile* ShowLogFile() const { return showLogFile_; }
    TComportSetupDlg* ComportDlg() const { return comportDlg_; }

    QLabel* LogFileNamePanel = nullptr;
    QLabel* paDataInfo = nullptr;
    QLabel* paComportStatus = nullptr;
    QLabel* paStatus = nullptr;
    QSystemTrayIcon* TrayIcon = nullptr;

    QAction* aOpenLogFile = nullptr;
    QAction* aExportToExcel = nullptr;
    QAction* aSerialPort = nullptr;
    QAction* aIniFile = nullptr;
    QAction* aCloseApp = nullptr;
    QAction* aShowHide = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildWindow();
    void ApplyViewSettings();
    void TakeViewSettings();
    void SetComportLamp(bool open);
    void ToggleWindow();
    void ActivateFromOtherInstance();
    void Detach();

    TAppCore& core_;
    TDataFrame* frLogData_ = nullptr;
    TShowLogFile* showLogFile_ = nullptr;   // top-level window, released with the main window
    TAboutDlg* aboutDlg_ = nullptr;
    TComportSetupDlg* comportDlg_ = nullptr;
    QMenu* trayMenu_ = nullptr;
    QLabel* logo_ = nullptr;
};

} // namespace za
