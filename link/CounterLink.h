#pragma once
// Message types of the counter protocol, the dispatcher of received frames and
// the small shared sends (Ack, clock) and the one-second wait for an answer.
#include <QObject>
#include <QString>
#include <QVector>
#include <cstdint>
#include <vector>
#include "LogRecord.h"
#include "RxTxBuffer.h"

class QTimer;

namespace za {

class TClock;
class TComPort;
class TSerialIo;

namespace msg {
enum : uint8_t {
    Ack = 6, Nak = 7, LogRecord = 16, ClockRequest = 17, SetClock = 18, AlarmInput = 19,
    ReadSetup = 20, WriteSetup = 21, SetupData = 22, ReadFwInfo = 23, FwInfo = 24,
    ReadRfSetup = 25, WriteRfSetup = 26, RfSetupData = 27, ClearFifoAndCounts = 34,
    TestMode = 35, WriteSetupExt = 36, SetupDataExt = 37, LogRecordExt = 38,
};
}

// What the dispatcher hands frames to. Each handler finds the accepted frame
// at the front of the receive buffer. Defaults do nothing.
class TCounterHandlers {
public:
    virtual ~TCounterHandlers() = default;
    // A LogRecord or LogRecordExt, decoded for the link's channel count.
    virtual void HandleLogRecord(const TLogRecordData& record) { (void)record; }
    virtual void HandleAlarm() {}
    virtual void SetInputSetup(const QVector<uint8_t>& bytes) { (void)bytes; }
    virtual void SetLogInterval(int minutes) { (void)minutes; }
    virtual void SetSetupFormat(int format) { (void)format; }
    virtual void ApplyRfSetup() {}
    // "Wrong number of channels": error to box and status line, not to the file.
    virtual void ReportWrongChannelCount() {}
    // A handler threw; its frame has been removed all the same. Default: nothing.
    virtual void ReportHandlerFailure(const QString& what) { (void)what; }
    // The device refused an Ack or clock frame ("<device>: <cause>").
    virtual void ReportPortError(const QString& text) { (void)text; }
};

// Receives through the port's TriggerAvail (connected here) and dispatches
// each checked frame exactly once. While a handler runs (it may show a modal
// box, whose nested loop raises the data event again), further received bytes
// stay in the port and are taken after the handler has returned; a wait for
// an answer started from inside a handler therefore sees no answer.
class TCounterLink : public QObject {
    Q_OBJECT
public:
    TCounterLink(TComPort* port, const TClock* clock, QObject* parent = nullptr);
    ~TCounterLink() override;

    void SetHandlers(TCounterHandlers* h) { handlers_ = h; }
    // The main window's running flag; setting it takes bytes already waiting in the port.
    void SetRunning(bool running);
    bool Running() const { return running_; }
    // True while a received frame is being handled.
    bool Dispatching() const { return dispatching_; }
    void SetChannelCount(int n) { channels_ = n; }
    int ChannelCount() const { return channels_; }

    TRxTxBuffer* RxBuffer() { return rx_; }
    TRxTxBuffer* TxBuffer() { return tx_; }
    TComPort* Port() { return port_; }

    void ComportTriggerAvail(int count);
    // The same path for bytes from memory (a replay or the fuzz harness).
    // Nothing is lost: what the buffer cannot take yet, and whatever comes
    // while a handler runs, is queued and taken after the frames in front.
    void ReceiveFrom(const uint8_t* bytes, int n);
    void SendAck();
    void SendClock();
    bool WaitForAck();
    // Runs the nested loop until flag is true or timeoutMs passed; true when the flag was set.
    bool WaitFor(const bool& flag, int timeoutMs = 1000);

    bool AckReceived = false;
    bool NakReceived = false;
    bool SetupReceived = false;
    bool FwInfoReceived = false;
    QString FwVersion, FwDate;

    // The program is shutting down: every wait ends at once and later ones
    // return false without waiting.
    void AbortWaits();
    bool WaitsAborted() const { return aborted_; }

private:
    int Receive(TSerialIo* io, int count);
    int Pump(TSerialIo* io, int count);
    void Enqueue(const uint8_t* bytes, int n);
    void Dispatch();
    void ReceiveSetupData();
    void ReceiveSetupDataExt();
    int Send(TRxTxBuffer& tx);

    TComPort* port_;
    const TClock* clock_;
    TCounterHandlers* handlers_ = nullptr;
    TRxTxBuffer* rx_;
    TRxTxBuffer* tx_;
    bool running_ = false;
    int channels_ = 3;
    bool dispatching_ = false;   // inside the receive loop
    bool deferred_ = false;      // a data event came while dispatching
    QTimer* again_ = nullptr;    // next pass for a frame left behind a dropped one
    std::vector<uint8_t> queue_; // bytes from memory not taken yet
    size_t queueHead_ = 0;
    bool aborted_ = false;
    TLogRecordData record_;      // decoded here, so a record costs no allocation
};

} // namespace za
