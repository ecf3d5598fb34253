#pragma once
// Supervision of the counter port: once an hour (at minute 50) a ReadSetup
// poll; when the counter stays silent, or when the missing-data watchdog has
// fired, the port is closed and reopened. A device that disappears (a USB
// bridge pulled out) is reopened at every tick until it is back.
//
// The one-second timer lives here; the main window calls Start() when it is
// created. A tick does nothing until the link's running flag is set.
#include <QObject>
#include <QString>
#include <functional>

class QTimer;

namespace za {

class TClock;
class TComPort;
class TCounterLink;

enum TPortCheckState { pcIdle = 0, pcWaitReply = 1, pcClose = 2, pcReopen = 3, pcRetryOpen = 4 };

class TPortSupervisor : public QObject {
    Q_OBJECT
public:
    using TLogFn = std::function<void(const QString& text, int level)>;

    TPortSupervisor(TCounterLink& link, const TClock& clock, TLogFn log, QObject* parent = nullptr);
    ~TPortSupervisor() override;

    // CHECKCOMPORT: poll once an hour; otherwise reopen only after the watchdog fired.
    bool CheckComport = false;
    // Set by the missing-data watchdog (no log record for more than two hours); may stay null.
    bool* NoLogDataFlag = nullptr;
    std::function<void()> ReportNoResponse;
    std::function<void()> ReportPortError;
    // Called at the end of every working tick: green lamp while open, red while closed.
    std::function<void(bool open)> OnLampChanged;

    int PortCheckState = pcIdle;
    int LastPolledHour = 0;
    bool ManualPollRequest = false;

    static constexpr int kTickMs = 1000;
    void Start();                        // starts CheckComportTimer
    void Stop();
    QTimer* CheckComportTimer() const { return timer_; }

    // One step of the supervision machine.
    void CheckComportTimerTimer();

    // While held (the serial port dialog is open) the ticks leave the port alone,
    // so that the port is not reopened behind the dialog with its old number.
    void SetHold(bool hold) { hold_ = hold; }
    bool Held() const { return hold_; }

    // True from a DeviceLost report of the port until the port is open again.
    bool DeviceLost() const { return lost_; }

private:
    void PortDeviceLost(const QString& cause);
    void Poll();
    void TryOpen(bool report);
    void AnnounceWaitingBytes();
    void Log(const QString& text, int level);

    TCounterLink& link_;
    TComPort& port_;
    const TClock& clock_;
    TLogFn log_;
    QTimer* timer_;
    bool inTick_ = false;
    bool hold_ = false;
    bool lost_ = false;
};

} // namespace za
