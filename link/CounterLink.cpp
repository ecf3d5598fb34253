#include "CounterLink.h"
#include "ComPort.h"
#include "OneShotTimer.h"
#include "SerialIo.h"
#include "config/Clock.h"
#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QTimer>
#include <exception>

namespace za {

namespace {

// Takes bytes from memory as if they came from the port.
class TMemoryIo : public TSerialIo {
public:
    TMemoryIo(const uint8_t* p, int n) : p_(p), n_(n) {}
    bool IsOpen() const override { return true; }
    bool PutChar(uint8_t, QString*) override { return false; }
    uint8_t GetChar() override { return n_ > 0 ? (--n_, *p_++) : 0; }
private:
    const uint8_t* p_;
    int n_;
};

// Takes bytes from the link's own queue; an index, not a pointer, since bytes
// queued by a handler meanwhile may move the storage.
class TQueueIo : public TSerialIo {
public:
    TQueueIo(const std::vector<uint8_t>& q, size_t& head) : q_(q), head_(head) {}
    bool IsOpen() const override { return true; }
    bool PutChar(uint8_t, QString*) override { return false; }
    uint8_t GetChar() override { return head_ < q_.size() ? q_[head_++] : 0; }
private:
    const std::vector<uint8_t>& q_;
    size_t& head_;
};

template <class Pred>
bool RunNestedLoopUntil(Pred done, int timeoutMs, const bool& aborted) {
    if (aborted) return done();
    TOneShotTimer timer;
    timer.setInterval(timeoutMs);
    timer.start();
    while (timer.Running() && !done() && !aborted)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return done();
}

} // namespace

TCounterLink::TCounterLink(TComPort* port, const TClock* clock, QObject* parent)
    : QObject(parent), port_(port), clock_(clock ? clock : &SystemClock()) {
    rx_ = new TRxTxBuffer(true, this);
    tx_ = new TRxTxBuffer(false, this);
    again_ = new QTimer(this);
    again_->setSingleShot(true);
    again_->setInterval(0);
    connect(again_, &QTimer::timeout, this,
            [this] { Receive(port_, port_ ? port_->BytesAvailable() : 0); });
    connect(rx_, &TRxTxBuffer::FrameWaiting, again_, qOverload<>(&QTimer::start));
    // Room for a few seconds of line traffic, so that bytes handed in from
    // memory while a handler runs cost no allocation.
    queue_.reserve(4096);
    if (port_) connect(port_, &TComPort::TriggerAvail, this, &TCounterLink::ComportTriggerAvail);
}

TCounterLink::~TCounterLink() = default;

void TCounterLink::SetRunning(bool running) {
    running_ = running;
    // Bytes that came before start-up finished are still in the port.
    if (running_) again_->start();
}

void TCounterLink::ComportTriggerAvail(int count) {
    if (!port_) return;
    // Never take more than the port holds: the count may be stale by now.
    Receive(port_, qMin(count, port_->BytesAvailable()));
}

void TCounterLink::ReceiveFrom(const uint8_t* bytes, int n) {
    if (!bytes || n <= 0) {
        Receive(nullptr, 0);                  // a pass over what is held already
        return;
    }
    if (!running_ || !rx_) return;
    if (dispatching_ || queueHead_ < queue_.size()) {
        // No port to leave them in: queue them, behind anything queued before.
        Enqueue(bytes, n);
        if (dispatching_) deferred_ = true;
        else Receive(nullptr, 0);
        return;
    }
    TMemoryIo io(bytes, n);
    const int taken = Receive(&io, n);
    if (taken < n) Enqueue(bytes + taken, n - taken);
}

void TCounterLink::Enqueue(const uint8_t* bytes, int n) {
    // Compacted only while nothing reads from the queue.
    if (queueHead_ > 0 && !dispatching_) {
        queue_.erase(queue_.begin(), queue_.begin() + long(queueHead_));
        queueHead_ = 0;
    }
    queue_.insert(queue_.end(), bytes, bytes + n);
}

int TCounterLink::Receive(TSerialIo* io, int count) {
    if (!rx_ || !running_) return 0;          // bytes stay in the port
    if (dispatching_) {
        // A handler's nested loop: the frame it works on is still at the front,
        // so leave new bytes in the port and come back once it has returned.
        deferred_ = true;
        return 0;
    }
    struct TGuard {
        bool& flag;
        explicit TGuard(bool& f) : flag(f) { flag = true; }
        ~TGuard() { flag = false; }
    } guard(dispatching_);

    if (port_) rx_->FrameGapMs = TRxTxBuffer::GapForBaud(port_->Baud);
    const int taken = Pump(io, count);
    while (queueHead_ < queue_.size()) {
        TQueueIo q(queue_, queueHead_);
        if (Pump(&q, int(queue_.size() - queueHead_)) == 0) break;
    }
    if (queueHead_ >= queue_.size()) {
        queue_.clear();                       // keeps its storage
        queueHead_ = 0;
    }
    // A dropped bad frame may have a complete good one right behind it, and
    // the counter may send nothing more until that one is answered.
    const bool dropped = rx_->Status != fsNone;
    if ((dropped && rx_->Count > 0) || deferred_) {
        deferred_ = false;
        again_->start();
    }
    return taken;
}

int TCounterLink::Pump(TSerialIo* io, int count) {
    // The buffer takes what fits; the frames in front are handled, then the
    // rest is taken, until all count bytes are in.
    int taken = 0;
    for (;;) {
        const int took = io && taken < count ? rx_->ReceiveBytes(*io, count - taken) : 0;
        taken += took;
        bool handled = false;
        while (rx_->FrameReady()) {
            Dispatch();
            handled = true;
        }
        if (handled) rx_->RestartGap();
        if (!io || taken >= count) break;
        if (took == 0 && !handled && rx_->Status == fsNone) break;   // cannot move on
    }
    return taken;
}

void TCounterLink::Dispatch() {
    const int length = rx_->FrameLength();
    try {
        switch (rx_->FrameType()) {
        case msg::Ack: AckReceived = true; break;
        case msg::Nak: NakReceived = true; break;
        case msg::LogRecord:
        case msg::LogRecordExt:
            DecodeLogRecord(*rx_, rx_->FrameType() == msg::LogRecord ? 0 : 100, channels_, record_);
            if (handlers_) handlers_->HandleLogRecord(record_);
            break;
        case msg::ClockRequest: SendClock(); break;
        case msg::AlarmInput:
            rx_->BeginRead();
            if (handlers_) handlers_->HandleAlarm();
            break;
        case msg::SetupData: ReceiveSetupData(); break;
        case msg::SetupDataExt: ReceiveSetupDataExt(); break;
        case msg::FwInfo:
            rx_->BeginRead();
            FwVersion = rx_->ReadString();
            FwDate = rx_->ReadString();
            FwInfoReceived = true;
            break;
        case msg::RfSetupData:
            rx_->BeginRead();
            if (handlers_) handlers_->ApplyRfSetup();
            break;
        default: break;                       // not ours: dropped
        }
    } catch (const std::exception& e) {
        try { if (handlers_) handlers_->ReportHandlerFailure(QString::fromLocal8Bit(e.what())); } catch (...) {}
    } catch (...) {
        try { if (handlers_) handlers_->ReportHandlerFailure(QStringLiteral("unknown error")); } catch (...) {}
    }
    // Handled once, whatever the handler did.
    rx_->Discard(length);
}

void TCounterLink::ReceiveSetupData() {
    rx_->BeginRead();
    QVector<uint8_t> bytes(qMax(channels_, 0));
    for (auto& b : bytes) b = rx_->ReadByte();
    if (handlers_) {
        handlers_->SetInputSetup(bytes);
        handlers_->SetSetupFormat(0);
    }
    SetupReceived = true;
}

void TCounterLink::ReceiveSetupDataExt() {
    rx_->BeginRead();
    const int format = rx_->ReadByte();
    const int count = rx_->ReadByte();
    QVector<uint8_t> bytes(qMax(channels_, 0));
    for (auto& b : bytes) b = rx_->ReadByte();
    const int interval = rx_->ReadByte();
    if (count != channels_) {
        if (handlers_) handlers_->ReportWrongChannelCount();
        return;
    }
    if (handlers_) {
        handlers_->SetInputSetup(bytes);
        handlers_->SetLogInterval(interval);
        handlers_->SetSetupFormat(format + 100);
    }
    SetupReceived = true;
}

int TCounterLink::Send(TRxTxBuffer& tx) {
    QString error;
    const int r = tx.SendFrame(port_, &error);
    if (r == -3 && handlers_) handlers_->ReportPortError(error);
    return r;
}

void TCounterLink::SendAck() {
    tx_->NewFrame(msg::Ack);
    tx_->EndFrame();
    Send(*tx_);
}

void TCounterLink::SendClock() {
    const QDateTime now = clock_->Now();
    const QDate d = now.date();
    const QTime t = now.time();
    tx_->NewFrame(msg::SetClock);
    tx_->AddByte(uint8_t(d.year() % 100));
    tx_->AddByte(uint8_t(d.month()));
    tx_->AddByte(uint8_t(d.day()));
    tx_->AddByte(uint8_t(t.hour()));
    tx_->AddByte(uint8_t(t.minute()));
    tx_->AddByte(uint8_t(t.second()));
    tx_->EndFrame();
    Send(*tx_);
}

bool TCounterLink::WaitForAck() {
    TOneShotTimer timer;
    timer.setInterval(1000);
    timer.start();
    AckReceived = false;
    NakReceived = false;
    if (aborted_) return false;
    while (timer.Running() && !AckReceived && !NakReceived && !aborted_)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return AckReceived;
}

bool TCounterLink::WaitFor(const bool& flag, int timeoutMs) {
    return RunNestedLoopUntil([&flag] { return flag; }, timeoutMs, aborted_);
}

void TCounterLink::AbortWaits() {
    aborted_ = true;
    // A wait sleeping in the event loop wakes up and sees the flag.
    if (auto* d = QAbstractEventDispatcher::instance()) d->wakeUp();
}

} // namespace za
