#include "MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include "AboutDlg.h"
#include "AppCore.h"
#include "ComportSetupDlg.h"
#include "export/KvikUtils.h"
#include "link/ComPort.h"
#include "link/PortSupervisor.h"
#include "logdata/EventLog.h"
#include "logdata/LogStore.h"
#include "view/DataFrame.h"
#include "view/ShowLogFile.h"

namespace za {

namespace {

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

TMainForm::TMainForm(TAppCore& core) : QMainWindow(), core_(core) {
    setWindowIcon(ApplicationIcon());
    BuildWindow();
    const TBrandProfile& profile = core_.Brand();
    QApplication::setApplicationDisplayName(QString());
    QApplication::setApplicationName(profile.title);
    setWindowTitle(profile.caption);
    if (!profile.keepBuiltInLogo) logo_->setPixmap(profile.logo);
    ApplyViewSettings();

    core_.OnStatus = [this](const QString& line) { paStatus->setText(line); };
    paStatus->setText(core_.LastStatus());
    core_.OnLogFileName = [this](const QString& name) { LogFileNamePanel->setText(name); };
    core_.OnPortLamp = [this](bool open) { SetComportLamp(open); };
    core_.OnActivateRequested = [this] { ActivateFromOtherInstance(); };
    core_.OnBeforeSave = [this] { TakeViewSettings(); };
    core_.OnShutdownRequested = [this] {
        if (TrayIcon) TrayIcon->hide();
    };
    SetComportLamp(core_.Comport() && core_.Comport()->Open());

    TrayIcon->setToolTip(profile.title);
    TrayIcon->setIcon(windowIcon());
    TrayIcon->show();

    showLogFile_ = new TShowLogFile(nullptr, core_.LogData().Channels(), core_.EventLog(), &core_.Clock());
    showLogFile_->setAttribute(Qt::WA_DeleteOnClose, false);
    aboutDlg_ = new TAboutDlg(this);
    aboutDlg_->ApplyBrand(profile);
    aboutDlg_->SetLogo(profile.keepBuiltInLogo ? BuiltInLogo() : profile.logo);
    comportDlg_ = new TComportSetupDlg(this);
    comportDlg_->SysfsRoot = core_.Options().SysfsRoot;
}

TMainForm::~TMainForm() {
    Detach();
    delete showLogFile_;
}

void TMainForm::Detach() {
    // The core outlives the window: it must not call into released widgets.
    core_.OnStatus = nullptr;
    core_.OnLogFileName = nullptr;
    core_.OnPortLamp = nullptr;
    core_.OnActivateRequested = nullptr;
    core_.OnBeforeSave = nullptr;
    core_.OnShutdownRequested = nullptr;
}

void TMainForm::BuildWindow() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 0);
    logo_ = new QLabel(central);
    logo_->setObjectName("Logo");
    logo_->setPixmap(BuiltInLogo());
    layout->addWidget(logo_);
    frLogData_ = new TDataFrame(central, core_.LogData().Store(), core_.EventLog(), &core_.Clock());
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

    resize(900, 620);
}

void TMainForm::ApplyViewSettings() {
    const TSettings& s = core_.Settings();
    // ShowCounter first: it creates the check lists the selected sums need.
    frLogData_->SetDataToShow(s.DataToShow);
    frLogData_->SetShowPer(s.ShowPer);
    frLogData_->SetShowCounter(s.ShowCounter);
    frLogData_->SetSelSumEnable1(s.SelSumEnable1);
    frLogData_->SetSelSumEnable2(s.SelSumEnable2);
    frLogData_->SetStart(s.GraphStart);
    frLogData_->SetEnd(s.GraphEnd);
    frLogData_->SetStatusPanel(paDataInfo, false);
}

void TMainForm::TakeViewSettings() {
    TSettings& s = core_.Settings();
    s.DataToShow = frLogData_->DataToShow();
    s.ShowPer = frLogData_->ShowPer();
    s.ShowCounter = frLogData_->ShowCounter();
    s.SelSumEnable1 = frLogData_->SelSumEnable1();
    s.SelSumEnable2 = frLogData_->SelSumEnable2();
    s.GraphStart = frLogData_->Start();
    s.GraphEnd = frLogData_->End();
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

void TMainForm::aOpenLogFileExecute() {
    const QString name = AskLogFileName(this, core_.Settings().LogFileExt);
    if (name.isEmpty()) return;
    showLogFile_->ShowLogFileFromPath(name);
}

void TMainForm::aExportToExcelExecute() { frLogData_->ExportAll(); }

void TMainForm::aSerialPortExecute() {
    if (!core_.Comport() || core_.ShutdownRequested()) return;
    RunSerialPortDialog(
        *comportDlg_, *core_.Comport(), [this] { return core_.SaveSettings(); },
        [this](const QString& text, int level) {
            if (core_.EventLog()) core_.EventLog()->Log(text, level);
        },
        [this] { core_.Kvik()->ReportPortError(); }, core_.Supervisor());
    SetComportLamp(core_.Comport()->Open());
}

void TMainForm::aIniFileExecute() { core_.NewIniFile(); }

void TMainForm::aCloseAppExecute() { core_.RequestShutdown(false); }

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!core_.ShutdownRequested()) {
        // The close button only hides the window; logging goes on in the tray.
        event->ignore();
        hide();
        return;
    }
    event->accept();
}

} // namespace za
