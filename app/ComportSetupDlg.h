#pragma once
// The serial port dialog: pick the counter's port from a list, or let
// "Auto Detect" find the USB bridge. RunSerialPortDialog is the whole
// "Serial port" command: close the port, ask, open the chosen one.
#include <QDialog>
#include <QString>
#include <functional>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace za {

class TComPort;
class TPortSupervisor;

class TComportSetupDlg : public QDialog {
    Q_OBJECT
public:
    enum { mbInformation = 0, mbWarning = 1, mbError = 2 };
    using TShowMessageFn = std::function<void(int kind, const QString& text)>;

    explicit TComportSetupDlg(QWidget* parent = nullptr);
    ~TComportSetupDlg() override;

    // -1 leaves the selection alone; an unknown "COMn" is appended and selected.
    void SetSelectedPort(int n);
    int SelectedPort() const;              // -1 when nothing usable is selected

    void Button1Click();                   // "Auto Detect"

    // Message boxes go through here (a real modal QMessageBox by default).
    TShowMessageFn ShowMessage;
    // Where "Auto Detect" looks for the bridge and its device node.
    QString SysfsRoot = QStringLiteral("/sys");
    QString DevRoot = QStringLiteral("/dev");

    QGroupBox* GroupBox1;
    QLabel* Label1;
    QComboBox* cbComport;
    QPushButton* btOk;
    QPushButton* btCancel;
    QPushButton* Button1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SelectName(const QString& name);
    void Show(int kind, const QString& text);
};

// Shows the dialog modally; true when it was accepted. Tests pass their own,
// which selects a port and answers without a person.
using TShowDialogFn = std::function<bool(TComportSetupDlg& dlg)>;

// The flow of the "Serial port" command: preselect the port in use, close it,
// show the dialog; on Ok open the chosen port, save the settings and log
// "New comport: n"; on Cancel reopen the old one. Failures are warnings in a
// box (level 4) plus reportPortError; a port that would not open stays closed,
// one that opened stays open even when saving failed. While the dialog is
// open the supervision (when given) is held off the port.
// Returns true when a new port was opened.
bool RunSerialPortDialog(TComportSetupDlg& dlg, TComPort& port, const std::function<bool()>& saveSettings,
                         const std::function<void(const QString&, int)>& log,
                         const std::function<void()>& reportPortError, TPortSupervisor* supervisor = nullptr,
                         const TShowDialogFn& showDialog = {});

} // namespace za
