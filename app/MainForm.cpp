#include "MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

#include "AboutDlg.h"
#include "BrandProfile.h"
#include "OneInst.h"
#include "SessionEnd.h"
#include "config/Clock.h"
#include "config/IniFile.h"
#include "export/GunneboUtils.h"
#include "export/ICCUtils.h"
#include "export/KvikUtils.h"
#include "link/ComPort.h"
#include "link/ComportSetupDlg.h"
#include "link/Cp210x.h"
#include "link/PortSupervisor.h"
#include "logdata/EventLog.h"
#include "logdata/RecordHandler.h"
#include "view/Channels.h"
#include "view/DataFrame.h"
#include "view/ShowLogFile.h"

namespace za {

// Boxes raised while a received frame is being handled are shown once the
// frame is done. A box's nested loop then goes on taking records, so the
// program never stops logging behind a box that nobody is there to close.
class TMainForm::TAfterFrameBoxes : public TMessageChannel {
public:
    TAfterFrameBoxes(TMainForm& form, TMessageChannel& inner) : form_(form), inner_(inner) {}
    void ShowBox(TBoxKind kind, const QString& text) override {
        if (form_.link_ && form_.link_->Dispatching())
            QTimer::singleShot(0, &form_, [this, kind, text] { inner_.ShowBox(kind, text); });
        else
            inner_.ShowBox(kind, text);
    }
    void Beep() override { inner_.Beep(); }

private:
    TMainForm& form_;
    TMessageChannel& inner_;
};

namespace {
const char* const kInstanceName = "KESTRANO_ZENTRELLAPP";
const char* const kBuiltInTitle = "Kestrano Zentrell App.";

QPixmap BuiltInLogo() {
    QPixmap pm(160, 40);
    pm.fill(QColor(0, 70, 140));
    QPainter p(&pm);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPointSize(13);
    p.setFont(f);
    p.drawText(pm.rect(), Qt::AlignCenter, "ZentrellApp");
    return pm;
}

QIcon ApplicationIcon() {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(0, 70, 140));
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(pm.rect().adjusted(1, 1, -1, -1), 6, 6);
    p.setPen(Qt::white);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(22);
    p.setFont(f);
    p.drawText(pm.rect(), Qt::AlignCenter, "Z");
    return QIcon(pm);
}
} // namespace

TMainForm::TMainForm(const TMainFormOptions& options)
    : options_(options), clock_(options.Clock ? options.Clock : &SystemClock()) {
    setWindowIcon(ApplicationIcon());
}

TMainForm::~TMainForm() {
    // A window destroyed without the shutdown (a second instance, a test) must
    // not leave the port's data event pointing at released objects.
    if (link_) link_->SetRunning(false);
    delete supervisor_;
    supervisor_ = nullptr;
    if (frLogData_) frLogData_->SetEventLog(nullptr);
    delete showLogFile_;
}

void TMainForm::BuildWindow() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 0);
    logo_ = new QLabel(central);
    logo_->setObjectName("Logo");
    logo_->setPixmap(BuiltInLogo());
    layout->addWidget(logo_);
    frLogData_ = new TDataFrame(central, eventLog_.get(), clock_);
    frLogData_->setObjectName("frLogData");
    frLogData_->SetTestDataButtonVisible(false);
    layout->addWidget(frLogData_, 1);
    setCentralWidget(central);

    LogFileNamePanel = new QLabel(this);
    LogFileNamePanel->setObjectName("LogFileNamePanel");
    LogFileNamePanel->setMinimumWidth(220);
    paDataInfo = new QLabel(this);
    paDataInfo->setObjectName("paDataInfo");
    paDataInfo->setMinimumWidth(70);
    paComportStatus = new QLabel(this);
    paComportStatus->setObjectName("paComportStatus");
    paComportStatus->setFixedWidth(24);
    paComportStatus->setAutoFillBackground(true);
    paStatus = new QLabel(this);
    paStatus->setObjectName("paStatus");
    statusBar()->addWidget(LogFileNamePanel);
    statusBar()->addWidget(paDataInfo);
    statusBar()->addWidget(paComportStatus);
    statusBar()->addWidget(paStatus, 1);
    SetComportLamp(false);

    aOpenLogFile = new QAction("&Open Log File", this);
    connect(aOpenLogFile, &QAction::triggered, this, &TMainForm::aOpenLogFileExecute);
    aExportToExcel = new QAction("Export To Excel File", this);
    connect(aExportToExcel, &QAction::triggered, this, &TMainForm::aExportToExcelExecute);
    aSerialPort = new QAction("Serial &port (RS232)", this);
    connect(aSerialPort, &QAction::triggered, this, &TMainForm::aSerialPortExecute);
    aIniFile = new QAction("New inifile", this);
    aIniFile->setVisible(false);
    connect(aIniFile, &QAction::triggered, this, &TMainForm::aIniFileExecute);
    aCloseApp = new QAction("&Close application", this);
    connect(aCloseApp, &QAction::triggered, this, &TMainForm::aCloseAppExecute);
    aShowHide = new QAction("&Show / hide", this);
    connect(aShowHide, &QAction::triggered, this, &TMainForm::ToggleWindow);

    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(aOpenLogFile);
    file->addAction(aExportToExcel);
    file->addAction(aSerialPort);
    file->addAction(aIniFile);
    file->addSeparator();
    file->addAction(aCloseApp);

    trayMenu_ = new QMenu(this);
    trayMenu_->addAction(aShowHide);
    trayMenu_->addAction(aSerialPort);
    trayMenu_->addSeparator();
    trayMenu_->addAction(aCloseApp);
    TrayIcon = new QSystemTrayIcon(windowIcon(), this);
    TrayIcon->setContextMenu(trayMenu_);
    connect(TrayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
        if (r == QSystemTrayIcon::Trigger || r == QSystemTrayIcon::DoubleClick) ToggleWindow();
    });

    CheckLogTimer = new QTimer(this);
    CheckLogTimer->setInterval(1000);
    connect(CheckLogTimer, &QTimer::timeout, this, &TMainForm::CheckLogTimerTimer);

    resize(900, 620);
}

bool TMainForm::FormCreate() {
    running_ = false;

    // The event log comes first, so that everything after it can report.
    TMessageChannel* boxes = options_.Boxes;
    if (!boxes) {
        ownBoxes_ = std::make_unique<TQtMessageChannel>();
        boxes = ownBoxes_.get();
    }
    afterFrameBoxes_ = std::make_unique<TAfterFrameBoxes>(*this, *boxes);
    eventLog_ = std::make_unique<TEventLog>(afterFrameBoxes_.get(), clock_);
    eventLog_->SetFileName(options_.Paths.EventLogPath());
    BuildWindow();
    eventLog_->OnStatus = [this](const QString& line, int) {
        if (paStatus) paStatus->setText(line);
    };
    eventLog_->Log("Program startet", 6);

    ini_ = std::make_unique<TIniFile>(options_.Paths.IniPath());
    const bool runOnce = ini_->ReadBool("SETUP", "RUNONCE", false);

    oneInst_ = std::make_unique<TOneInst>(kInstanceName);
    connect(oneInst_.get(), &TOneInst::ActivateRequested, this, &TMainForm::ActivateFromOtherInstance);
    if (runOnce && oneInst_->IsAlreadyRunning()) return false;

    kvik_ = std::make_unique<TKvikUtils>();
    kvik_->ReadSettings(*ini_);
    icc_ = std::make_unique<TICCUtils>();
    icc_->ReadSettings(*ini_);
    gunnebo_ = std::make_unique<TGunneboUtils>();
    gunnebo_->ReadSettings(*ini_);

    // Every key with its default; what follows applies them in the start-up order.
    const QString brandCode = ini_->ReadString("SETUP", "APPINFO", QString());
    const TBrandProfile profile = ApplyBrandProfile(brandCode, *ini_, options_.Paths.Folder());
    settings_.Load(*ini_, clock_->NowDT(), profile.masterPassword);

    comport_ = new TComPort(this);
    OpenPortAtStart();
    ApplyBrand(profile);

    hideOnStart_ = settings_.HideOnStart;
    comport_->SetLogging(settings_.ComportLog);
    masterPassword_ = settings_.MasterPassword;

    SetChannels(settings_.ChannelNames, settings_.ChannelColors);
    // ShowCounter first: it creates the check lists the selected sums need.
    frLogData_->SetDataToShow(settings_.DataToShow);
    frLogData_->SetShowPer(settings_.ShowPer);
    frLogData_->SetShowCounter(settings_.ShowCounter);
    frLogData_->SetSelSumEnable1(settings_.SelSumEnable1);
    frLogData_->SetSelSumEnable2(settings_.SelSumEnable2);
    frLogData_->SetStart(settings_.GraphStart);
    frLogData_->SetEnd(settings_.GraphEnd);
    frLogData_->SetStatusPanel(paDataInfo, false);
    SetLogLineFormat(settings_.LogLineFormat);

    records_ = std::make_unique<TRecordHandler>(*eventLog_, *ini_, frLogData_->Store(), *clock_,
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
    records_->OnLogFileNameChanged = [this](const QString& name) { LogFileNamePanel->setText(name); };

    link_ = new TCounterLink(comport_, clock_, this);
    link_->SetHandlers(this);
    link_->SetChannelCount(settings_.NumberOfChannels);
    records_->SendAck = [this] { link_->SendAck(); };
    records_->NoLogDataFlag = false;

    supervisor_ = new TPortSupervisor(*link_, *clock_,
                                      [this](const QString& text, int level) { eventLog_->Log(text, level); });
    supervisor_->CheckComport = settings_.CheckComport;
    supervisor_->NoLogDataFlag = &records_->NoLogDataFlag;
    supervisor_->ReportNoResponse = [this] { kvik_->ReportNoResponse(); };
    supervisor_->ReportPortError = [this] { kvik_->ReportPortError(); };
    supervisor_->OnLampChanged = [this](bool open) { SetComportLamp(open); };
    SetComportLamp(comport_->Open());

    TrayIcon->setToolTip(appTitle_);
    TrayIcon->setIcon(windowIcon());
    TrayIcon->show();

    records_->ResetLogDataWatchdog();

    // The end of the system session runs the whole shutdown, so nothing is lost
    // when the shop PC is switched off.
    sessionEnd_ = std::make_unique<TSessionEnd>();
    connect(sessionEnd_.get(), &TSessionEnd::SessionEnding, this, &TMainForm::SessionEnding);

    showLogFile_ = new TShowLogFile(nullptr, eventLog_.get(), clock_);
    showLogFile_->setAttribute(Qt::WA_DeleteOnClose, false);
    aboutDlg_ = new TAboutDlg(this);
    aboutDlg_->ApplyBrand(profile);
    if (!profile.keepBuiltInLogo) aboutDlg_->SetLogo(profile.logo);
    else aboutDlg_->SetLogo(BuiltInLogo());
    comportDlg_ = new TComportSetupDlg(this);
    comportDlg_->SysfsRoot = options_.SysfsRoot;
    return true;
}

void TMainForm::OpenPortAtStart() {
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

void TMainForm::ApplyBrand(const TBrandProfile& profile) {
    appTitle_ = profile.title;
    QApplication::setApplicationDisplayName(QString());
    QApplication::setApplicationName(profile.title);
    setWindowTitle(profile.caption);
    if (!profile.keepBuiltInLogo) logo_->setPixmap(profile.logo);
}

void TMainForm::CompleteStartup() {
    records_->StartLogFile();
    running_ = true;
    link_->SetRunning(true);
    CheckLogTimer->start();
    supervisor_->Start();
}

void TMainForm::ShowMainWindow() {
    showNormal();
    raise();
    activateWindow();
    if (aboutDlg_) aboutDlg_->ShowSplash();
}

void TMainForm::ToggleWindow() {
    if (isVisible() && !isMinimized()) hide();
    else ShowMainWindow();
}

void TMainForm::ActivateFromOtherInstance() {
    if (isMinimized()) showNormal();
    else ShowMainWindow();
    raise();
    activateWindow();
}

void TMainForm::SetComportLamp(bool open) {
    if (!paComportStatus) return;
    QPalette pal = paComportStatus->palette();
    pal.setColor(QPalette::Window, open ? QColor(0, 255, 0) : QColor(255, 0, 0));
    paComportStatus->setPalette(pal);
    paComportStatus->setToolTip(open ? "Port open" : "Port closed");
}

void TMainForm::HandleLogRecord(int variant) {
    if (records_) records_->HandleLogRecord(*link_->RxBuffer(), variant);
}

void TMainForm::HandleAlarm() {
    // The alarm window comes with the alarm settings; the counter is answered
    // and the event logged already, so it does not repeat the alarm.
    TRxTxBuffer* rx = link_->RxBuffer();
    rx->BeginRead();
    const int input = rx->ReadByte();
    link_->SendAck();
    eventLog_->LogForced("Alarm on input: " + QString::number(input + 1), 1, true, false);
    kvik_->ReportAlarmInput(input);
}

void TMainForm::ReportWrongChannelCount() { eventLog_->LogTo("Wrong number of channels", 2, false, true, true); }

void TMainForm::ReportHandlerFailure(const QString& what) { eventLog_->Log(what, 2); }

void TMainForm::ReportPortError(const QString& text) { eventLog_->Log(text, 11); }

void TMainForm::CheckLogTimerTimer() {
    if (!running_) return;
    records_->CheckLogDataWatchdog();
}

void TMainForm::aOpenLogFileExecute() {
    const QString name = AskLogFileName(this, settings_.LogFileExt);
    if (name.isEmpty()) return;
    showLogFile_->ShowLogFileFromPath(name);
}

void TMainForm::aExportToExcelExecute() { frLogData_->ExportAll(); }

void TMainForm::aSerialPortExecute() {
    RunSerialPortDialog(
        *comportDlg_, *comport_, [this] { return SaveSettings(); },
        [this](const QString& text, int level) { eventLog_->Log(text, level); },
        [this] { kvik_->ReportPortError(); }, supervisor_);
    SetComportLamp(comport_->Open());
}

void TMainForm::aIniFileExecute() {
    try {
        const QString name = WriteNewIniTemplate(options_.Paths.WithExtension(".ini.new"));
        eventLog_->LogForced("New inifile created (" + name + ")", 0, true, true);
    } catch (const EIniWriteError& e) {
        eventLog_->LogTo(e.Text(), 2, false, true, true);
    }
}

bool TMainForm::SaveSettings() {
    if (!ini_) return false;
    if (comport_) settings_.ComPort = comport_->ComNumber;
    if (frLogData_) {
        settings_.DataToShow = frLogData_->DataToShow();
        settings_.ShowPer = frLogData_->ShowPer();
        settings_.ShowCounter = frLogData_->ShowCounter();
        settings_.SelSumEnable1 = frLogData_->SelSumEnable1();
        settings_.SelSumEnable2 = frLogData_->SelSumEnable2();
        settings_.GraphStart = frLogData_->Start();
        settings_.GraphEnd = frLogData_->End();
    }
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
        if (shutdownDone_ || !running_) eventLog_->Log(e.Text(), 11);
        else eventLog_->LogTo(e.Text(), 2, true, true, true);
        return false;
    }
}

void TMainForm::aCloseAppExecute() {
    closeRequested_ = true;
    close();
    // A hidden window gets no close event from every platform: make sure.
    if (!shutdownDone_) FormClose();
}

void TMainForm::SessionEnding() {
    if (shutdownDone_) return;
    if (eventLog_) eventLog_->Log("Windows is shutting down", 6);
    aCloseAppExecute();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!closeRequested_) {
        // The close button only hides the window; logging goes on in the tray.
        event->ignore();
        hide();
        return;
    }
    if (!shutdownDone_) FormClose();
    event->accept();
}

void TMainForm::FormClose() {
    if (shutdownDone_) return;
    running_ = false;
    if (link_) link_->SetRunning(false);
    CheckLogTimer->stop();
    if (supervisor_) supervisor_->Stop();

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
    shutdownDone_ = true;

    records_.reset();
    ini_.reset();

    eventLog_->Log("Program ended normally", 6);
    frLogData_->SetEventLog(nullptr);
    if (showLogFile_) showLogFile_->DataFrame1()->SetEventLog(nullptr);
    eventLog_->OnStatus = nullptr;

    delete supervisor_;
    supervisor_ = nullptr;
    delete link_;
    link_ = nullptr;

    if (settings_.ComportLog && comport_) comport_->WriteLog();
    if (comport_) comport_->SetOpen(false);
    sessionEnd_.reset();
    oneInst_.reset();
    eventLog_.reset();

    if (showLogFile_) showLogFile_->close();
    if (TrayIcon) TrayIcon->hide();
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

} // namespace za
