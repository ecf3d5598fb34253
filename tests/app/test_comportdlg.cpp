// The serial port dialog on the offscreen platform, its "Auto Detect" against
// a sysfs tree in a scratch folder, and the serial port command's flow with a
// real port on a pseudo-terminal.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "config/Clock.h"
#include "link/ComPort.h"
#include "app/ComportSetupDlg.h"
#include "link/CounterLink.h"
#include "link/PortSupervisor.h"
#include "support/Pty.h"
#include "support/TestSupport.h"

using namespace za;

namespace {

struct TBox {
    int kind;
    QString text;
};

struct TEntry {
    QString text;
    int level;
};

using zt::TPty;

QStringList Items(const QComboBox* cb) {
    QStringList out;
    for (int i = 0; i < cb->count(); ++i) out << cb->itemText(i);
    return out;
}

// A bridge on ttyUSB<n> in a fake sysfs tree, its device node in a fake /dev.
void MakeBridge(const zt::TScratchDir& tmp, int n, const QString& deviceTarget) {
    const QString dev = tmp.Path() + "/sys/bus/usb/devices/1-1";
    ASSERT_TRUE(QDir().mkpath(dev + "/1-1:1.0/ttyUSB" + QString::number(n)));
    zt::WriteAll(dev + "/idVendor", "10c4\n");
    zt::WriteAll(dev + "/idProduct", "ea60\n");
    zt::WriteAll(dev + "/serial", "0001\n");
    ASSERT_TRUE(QDir().mkpath(tmp.Path() + "/dev"));
    if (!deviceTarget.isEmpty())
        ASSERT_TRUE(QFile::link(deviceTarget, tmp.Path() + "/dev/ttyUSB" + QString::number(n)));
}

class ComportDialog : public ::testing::Test {
protected:
    ComportDialog() {
        dlg.ShowMessage = [this](int kind, const QString& text) { boxes.append({kind, text}); };
        dlg.SysfsRoot = tmp.Path() + "/sys";
        dlg.DevRoot = tmp.Path() + "/dev";
    }
    zt::TScratchDir tmp;
    TComportSetupDlg dlg;
    QVector<TBox> boxes;
};

const QStringList kInitial = {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8"};

TEST_F(ComportDialog, LayoutAndCaptions) {
    EXPECT_EQ(dlg.windowTitle(), "Comport Setup");
    EXPECT_EQ(dlg.GroupBox1->title(), "Comport");
    EXPECT_EQ(dlg.Label1->text(), "Select Comport");
    EXPECT_EQ(dlg.btOk->text(), "&Ok");
    EXPECT_EQ(dlg.btCancel->text(), "&Cancel");
    EXPECT_EQ(dlg.Button1->text(), "Auto Detect");
    EXPECT_FALSE(dlg.cbComport->isEditable());
    EXPECT_EQ(Items(dlg.cbComport), kInitial);
    EXPECT_EQ(dlg.findChild<QComboBox*>("cbComport"), dlg.cbComport);
}

TEST_F(ComportDialog, SelectingPorts) {
    EXPECT_EQ(dlg.SelectedPort(), -1);   // nothing selected yet
    dlg.SetSelectedPort(-1);
    EXPECT_EQ(dlg.SelectedPort(), -1);

    dlg.SetSelectedPort(3);
    EXPECT_EQ(dlg.cbComport->currentText(), "COM3");
    EXPECT_EQ(dlg.SelectedPort(), 3);
    EXPECT_EQ(dlg.cbComport->count(), 8);

    dlg.SetSelectedPort(12);
    EXPECT_EQ(Items(dlg.cbComport), kInitial + QStringList{"COM12"});
    EXPECT_EQ(dlg.SelectedPort(), 12);

    dlg.SetSelectedPort(-1);            // leaves the selection alone
    EXPECT_EQ(dlg.SelectedPort(), 12);
    dlg.SetSelectedPort(12);            // not appended twice
    EXPECT_EQ(dlg.cbComport->count(), 9);
    dlg.SetSelectedPort(104);
    EXPECT_EQ(dlg.SelectedPort(), 104);
    EXPECT_EQ(dlg.cbComport->count(), 10);

    dlg.cbComport->setCurrentIndex(-1);
    EXPECT_EQ(dlg.SelectedPort(), -1);
}

TEST_F(ComportDialog, AutoDetectOutcomes) {
    // No bridge at all.
    dlg.Button1->click();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].kind, TComportSetupDlg::mbWarning);
    EXPECT_EQ(boxes[0].text, "Could not auto detect comport");

    // Bridge listed, device node missing.
    MakeBridge(tmp, 5, QString());
    dlg.Button1->click();
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_EQ(boxes[1].kind, TComportSetupDlg::mbWarning);
    EXPECT_EQ(boxes[1].text, "Seriel port is not connected");
    EXPECT_EQ(Items(dlg.cbComport), kInitial);

    // Bridge present and its device opens.
    TPty pty;
    ASSERT_TRUE(QFile::link(pty.Slave(), tmp.Path() + "/dev/ttyUSB5"));
    dlg.SetSelectedPort(2);
    dlg.Button1->click();
    ASSERT_EQ(boxes.size(), 3);
    EXPECT_EQ(boxes[2].kind, TComportSetupDlg::mbInformation);
    EXPECT_EQ(boxes[2].text, "Comport found and have been selected");
    EXPECT_EQ(dlg.cbComport->currentText(), "COM105");
    EXPECT_EQ(dlg.SelectedPort(), 105);
    dlg.Button1->click();               // found again: selected, not appended again
    EXPECT_EQ(Items(dlg.cbComport), kInitial + QStringList{"COM105"});
}

class SerialPortCommand : public ComportDialog {
protected:
    SerialPortCommand() : link(&port, &clock), sup(link, clock, nullptr) {
        link.SetRunning(true);
        port.ComNumber = 2;
        port.DeviceOverride = pty.Slave();
        EXPECT_TRUE(port.SetOpen(true));
    }
    bool Run(const std::function<bool(TComportSetupDlg&)>& show) {
        return RunSerialPortDialog(
            dlg, port, [this] { ++saves; return saveOk; },
            [this](const QString& t, int level) { log.append({t, level}); }, [this] { ++portErrors; }, &sup,
            show);
    }

    TPty pty;
    TFixedClock clock;
    TComPort port;
    TCounterLink link;
    TPortSupervisor sup;
    QVector<TEntry> log;
    int saves = 0;
    int portErrors = 0;
    bool saveOk = true;
};

TEST_F(SerialPortCommand, OkOpensTheChosenPortSavesAndLogs) {
    bool closedWhileShown = false;
    const bool changed = Run([&](TComportSetupDlg& d) {
        EXPECT_EQ(d.SelectedPort(), 2);     // preselected: the port in use
        closedWhileShown = !port.Open();
        // A reopen due in the supervision must not take the port from the dialog.
        sup.PortCheckState = pcReopen;
        sup.CheckComportTimerTimer();
        EXPECT_FALSE(port.Open());
        d.SetSelectedPort(4);
        return true;
    });
    EXPECT_TRUE(changed);
    EXPECT_TRUE(closedWhileShown);
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.ComNumber, 4);
    EXPECT_EQ(saves, 1);
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log[0].text, "New comport: 4");
    EXPECT_EQ(log[0].level, 6);
    EXPECT_EQ(portErrors, 0);
    EXPECT_FALSE(sup.Held());
}

TEST_F(SerialPortCommand, OkWithAPortThatWillNotOpen) {
    const bool changed = Run([&](TComportSetupDlg& d) {
        port.DeviceOverride = tmp.File("gone");
        d.SetSelectedPort(7);
        return true;
    });
    EXPECT_FALSE(changed);
    EXPECT_FALSE(port.Open());
    EXPECT_EQ(saves, 0);
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log[0].text, "Could not open selected comport. Try another");
    EXPECT_EQ(log[0].level, 4);
    EXPECT_EQ(portErrors, 1);
}

TEST_F(SerialPortCommand, CancelReopensTheOldPort) {
    EXPECT_FALSE(Run([&](TComportSetupDlg& d) {
        d.SetSelectedPort(6);
        return false;
    }));
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(port.ComNumber, 2);
    EXPECT_EQ(saves, 0);
    EXPECT_TRUE(log.isEmpty());

    EXPECT_FALSE(Run([&](TComportSetupDlg&) {
        port.DeviceOverride = tmp.File("gone");
        return false;
    }));
    EXPECT_FALSE(port.Open());
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log[0].text, "Could not open existing comport. Try another");
    EXPECT_EQ(log[0].level, 4);
    EXPECT_EQ(portErrors, 1);
}

TEST_F(SerialPortCommand, RealDialogIsModalAndCancelledByItsButton) {
    QTimer::singleShot(200, &dlg, [this] {
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_TRUE(dlg.isModal());
        dlg.btCancel->click();
    });
    EXPECT_FALSE(Run({}));
    EXPECT_TRUE(port.Open());
    EXPECT_FALSE(dlg.isVisible());
}

} // namespace
