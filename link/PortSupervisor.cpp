#include "PortSupervisor.h"

#include <QTimer>

#include "ComPort.h"
#include "CounterLink.h"
#include "RxTxBuffer.h"
#include "config/Clock.h"

namespace za {

namespace {
const char* const kNoTransmit = "Comport could not transmit data";
constexpr int kLevelFileError = 11;   // error, event-log file only
}

TPortSupervisor::TPortSupervisor(TCounterLink& link, const TClock& clock, TLogFn log, QObject* parent)
    : QObject(parent), link_(link), port_(*link.Port()), clock_(clock), log_(std::move(log)),
      timer_(new QTimer(this)) {
    timer_->setInterval(kTickMs);
    connect(timer_, &QTimer::timeout, this, &TPortSupervisor::CheckComportTimerTimer);
    connect(&port_, &TComPort::DeviceLost, this, &TPortSupervisor::PortDeviceLost);
}

TPortSupervisor::~TPortSupervisor() = default;

void TPortSupervisor::Start() { timer_->start(); }
void TPortSupervisor::Stop() { timer_->stop(); }

void TPortSupervisor::Log(const QString& text, int level) {
    if (log_) log_(text, level);
}

void TPortSupervisor::CheckComportTimerTimer() {
    if (!link_.Running() || inTick_) return;
    inTick_ = true;
    // A tick may run nested loops (a log entry, a report hook); it must not be
    // entered again from within them.
    const bool timerWasActive = timer_->isActive();
    timer_->stop();

    if (hold_) {
        // The serial port dialog owns the port for now.
    } else if (lost_ && PortCheckState != pcRetryOpen) {
        PortCheckState = pcRetryOpen;
        TryOpen(false);
    } else {
        switch (PortCheckState) {
        case pcIdle: {
            const QTime now = clock_.Now().time();
            const int hour = now.hour();
            const int minute = now.minute();
            if (CheckComport) {
                if ((hour != LastPolledHour && minute == 50) || ManualPollRequest) {
                    ManualPollRequest = false;
                    LastPolledHour = hour;
                    Poll();
                }
            } else if (minute == 50 && NoLogDataFlag && *NoLogDataFlag) {
                *NoLogDataFlag = false;
                PortCheckState = pcClose;
            }
            break;
        }
        case pcWaitReply:
            if (link_.SetupReceived) {
                PortCheckState = pcIdle;
            } else {
                Log("No response from Customer Counter", kLevelFileError);
                if (ReportNoResponse) ReportNoResponse();
                PortCheckState = pcClose;
            }
            break;
        case pcClose: {
            QString err;
            if (port_.SetOpen(false, &err)) {
                PortCheckState = pcReopen;
            } else {
                Log("Could not close comport:", kLevelFileError);
                Log(err, kLevelFileError);
                if (ReportPortError) ReportPortError();
            }
            break;
        }
        case pcReopen:
            TryOpen(true);
            break;
        case pcRetryOpen:
            TryOpen(false);
            break;
        default:
            PortCheckState = pcIdle;
            break;
        }
    }

    // The device may have gone away during this tick (a write that failed).
    if (lost_ && !port_.Open() && !hold_) PortCheckState = pcRetryOpen;

    if (OnLampChanged) OnLampChanged(port_.Open());
    inTick_ = false;
    if (timerWasActive) timer_->start();
}

void TPortSupervisor::Poll() {
    TRxTxBuffer* tx = link_.TxBuffer();
    QString failure;
    if (!tx) {
        failure = kNoTransmit;
    } else {
        tx->NewFrame(msg::ReadSetup);
        tx->EndFrame();
        QString err;
        const int result = tx->SendFrame(&port_, &err);
        if (result != 0) failure = (result == -3 && !err.isEmpty()) ? err : QString(kNoTransmit);
    }
    if (failure.isEmpty()) {
        link_.SetupReceived = false;
        PortCheckState = pcWaitReply;
        return;
    }
    Log("Comport error:", kLevelFileError);
    Log(failure, kLevelFileError);
    if (ReportNoResponse) ReportNoResponse();
    PortCheckState = pcClose;
}

void TPortSupervisor::TryOpen(bool report) {
    QString err;
    if (port_.Open() || port_.SetOpen(true, &err)) {
        PortCheckState = pcIdle;
        lost_ = false;
        AnnounceWaitingBytes();
        return;
    }
    if (report) {
        Log("Could not reopen comport:", kLevelFileError);
        Log(err, kLevelFileError);
        if (ReportPortError) ReportPortError();
    }
    PortCheckState = pcRetryOpen;
}

void TPortSupervisor::AnnounceWaitingBytes() {
    // Bytes that reached the device while it was closed raise no data event of
    // their own; the port announces them from the event loop.
    port_.AnnounceWaiting();
}

void TPortSupervisor::PortDeviceLost(const QString& cause) {
    if (lost_) return;
    lost_ = true;
    Log("Comport lost: " + cause, kLevelFileError);
    if (ReportPortError) ReportPortError();
    // Retried silently at every tick, whatever CHECKCOMPORT says.
    if (!inTick_) PortCheckState = pcRetryOpen;
}

} // namespace za
