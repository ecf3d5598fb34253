#include "ComportSetupDlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "link/ComPort.h"
#include "link/Cp210x.h"
#include "link/PortSupervisor.h"

namespace za {

TComportSetupDlg::TComportSetupDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ComportSetupDlg"));
    setWindowTitle(QStringLiteral("Comport Setup"));

    GroupBox1 = new QGroupBox(QStringLiteral("Comport"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    Label1 = new QLabel(QStringLiteral("Select Comport"), GroupBox1);
    Label1->setObjectName(QStringLiteral("Label1"));
    cbComport = new QComboBox(GroupBox1);
    cbComport->setObjectName(QStringLiteral("cbComport"));
    cbComport->setEditable(false);
    for (int i = 1; i <= 8; ++i) cbComport->addItem(QStringLiteral("COM") + QString::number(i));
    cbComport->setCurrentIndex(-1);
    Button1 = new QPushButton(QStringLiteral("Auto Detect"), GroupBox1);
    Button1->setObjectName(QStringLiteral("Button1"));

    auto* groupLayout = new QVBoxLayout(GroupBox1);
    groupLayout->addWidget(Label1);
    auto* row = new QHBoxLayout;
    row->addWidget(cbComport, 1);
    row->addWidget(Button1);
    groupLayout->addLayout(row);

    btOk = new QPushButton(QStringLiteral("&Ok"), this);
    btOk->setObjectName(QStringLiteral("btOk"));
    btOk->setDefault(true);
    btCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btOk);
    buttons->addWidget(btCancel);
    auto* top = new QVBoxLayout(this);
    top->addWidget(GroupBox1);
    top->addLayout(buttons);

    connect(btOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button1, &QPushButton::clicked, this, &TComportSetupDlg::Button1Click);
}

TComportSetupDlg::~TComportSetupDlg() = default;

void TComportSetupDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

void TComportSetupDlg::SelectName(const QString& name) {
    int i = cbComport->findText(name, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (i < 0) {
        cbComport->addItem(name);
        i = cbComport->count() - 1;
    }
    cbComport->setCurrentIndex(i);
}

void TComportSetupDlg::SetSelectedPort(int n) {
    if (n == -1) return;
    SelectName(QStringLiteral("COM") + QString::number(n));
}

int TComportSetupDlg::SelectedPort() const {
    if (cbComport->currentIndex() < 0) return -1;
    bool ok = false;
    const int n = cbComport->currentText().mid(3).toInt(&ok);
    return ok ? n : -1;
}

void TComportSetupDlg::Show(int kind, const QString& text) {
    if (ShowMessage) {
        ShowMessage(kind, text);
        return;
    }
    const QString title = windowTitle();
    switch (kind) {
    case mbInformation: QMessageBox::information(this, title, text); break;
    case mbWarning: QMessageBox::warning(this, title, text); break;
    default: QMessageBox::critical(this, title, text); break;
    }
}

void TComportSetupDlg::Button1Click() {
    int n = -1;
    QString device;
    FindCp210xPort(n, SysfsRoot, &device, DevRoot);
    if (n == -1) {
        Show(mbWarning, QStringLiteral("Could not auto detect comport"));
        return;
    }
    if (!ProbeSerialDevice(device)) {
        Show(mbWarning, QStringLiteral("Seriel port is not connected"));
        return;
    }
    SelectName(QStringLiteral("COM") + QString::number(n));
    Show(mbInformation, QStringLiteral("Comport found and have been selected"));
}

bool RunSerialPortDialog(TComportSetupDlg& dlg, TComPort& port, const std::function<bool()>& saveSettings,
                         const std::function<void(const QString&, int)>& log,
                         const std::function<void()>& reportPortError, TPortSupervisor* supervisor,
                         const TShowDialogFn& showDialog) {
    auto Log = [&](const QString& text, int level) {
        if (log) log(text, level);
    };
    auto ReportError = [&] {
        if (reportPortError) reportPortError();
    };

    const bool wasHeld = supervisor && supervisor->Held();
    if (supervisor) supervisor->SetHold(true);
    struct Release {
        TPortSupervisor* s;
        bool held;
        ~Release() {
            if (s) s->SetHold(held);
        }
    } release{supervisor, wasHeld};

    const int oldNumber = port.ComNumber;
    dlg.SetSelectedPort(oldNumber);
    port.SetOpen(false);

    const bool accepted = showDialog ? showDialog(dlg) : dlg.exec() == QDialog::Accepted;

    if (accepted) {
        bool ok = false;
        const int n = dlg.SelectedPort();
        if (n != -1) {
            // The port may have been opened meanwhile; the new number only
            // takes effect on a fresh open.
            port.SetOpen(false);
            port.ComNumber = n;
            port.FlushBuffers();
            ok = port.SetOpen(true) && (!saveSettings || saveSettings());
        }
        if (ok) {
            Log(QStringLiteral("New comport: ") + QString::number(n), 6);
            return true;
        }
        Log(QStringLiteral("Could not open selected comport. Try another"), 4);
        ReportError();
        return false;
    }

    port.ComNumber = oldNumber;
    if (!port.Open() && !port.SetOpen(true)) {
        Log(QStringLiteral("Could not open existing comport. Try another"), 4);
        ReportError();
    }
    return false;
}

} // namespace za
