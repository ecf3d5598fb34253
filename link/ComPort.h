#pragma once
// The serial port to the counter: 8N1, no flow control, DTR and RTS on.
// Port number n maps to /dev/ttyS(n-1) for 1..99 and /dev/ttyUSB(n-100) for
// 100..199, unless a device path is given explicitly.
#include <QObject>
#include <QString>
#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include "SerialIo.h"

class QSerialPort;
class QTimer;

namespace za {

class TComPort : public QObject, public TSerialIo {
    Q_OBJECT
public:
    explicit TComPort(QObject* parent = nullptr);
    ~TComPort() override;

    static QString DeviceForNumber(int n);     // "" when n has no device

    int ComNumber = -1;
    int Baud = 1200;
    QString DeviceOverride;                     // used instead of the number when not empty
    QString DevicePath() const;

    // Opens or closes; false with error "<device>: <cause>" and the port as it was.
    // Opening an open port (or closing a closed one) does nothing.
    bool SetOpen(bool open, QString* error = nullptr);
    bool Open() const;
    void FlushBuffers();                        // drop unread and unsent bytes

    // TSerialIo
    bool IsOpen() const override { return Open(); }
    bool PutChar(uint8_t b, QString* error) override;
    uint8_t GetChar() override;
    int BytesAvailable() const;

    // Raises TriggerAvail again soon (from the event loop) when bytes are
    // waiting, e.g. once the reader is ready to take bytes it left in the port.
    void AnnounceWaiting();

    // Traffic log, written to "APRO.LOG" in the working directory by WriteLog()
    // and early, each time another MB has come together. While the file cannot
    // be written, at most TrafficLogKeepBytes stay in memory: the oldest lines
    // go (the newest show what led up to a problem), the file gets a line saying
    // how many went once it can be written, and TrafficLogDropped says so once
    // until a write succeeds again.
    void SetLogging(bool on);
    bool Logging() const { return logging_; }
    bool WriteLog(QString* error = nullptr);
    QString LogFileName = QStringLiteral("APRO.LOG");
    static constexpr int TrafficLogKeepBytes = 4 << 20;
    int TrafficLogHeld() const { return int(traffic_.size()); }   // bytes of log text in memory

signals:
    // Bytes can be taken; raised on the GUI thread, again for bytes still waiting.
    void TriggerAvail(int count);
    // The device went away (unplugged, far end closed); the port is closed already.
    void DeviceLost(const QString& cause);
    // The traffic log is dropping traffic because its file cannot be written;
    // raised from the event loop, once until the file can be written again.
    void TrafficLogDropped(const QString& notice);

private:
    void OnReadyRead();
    void OnError(int error);
    void Announce();
    void LogTraffic(char dir, uint8_t b);
    void WriteLogEarly();

    QSerialPort* port_ = nullptr;
    QTimer* reannounce_ = nullptr;   // zero-time re-announce of waiting bytes
    bool logging_ = false;
    QByteArray traffic_;
    // Traffic log: the line being filled and when it was started.
    char logDir_ = 0;
    int logLineBytes_ = 0;
    QElapsedTimer logLineClock_;
    int nextWriteAt_ = 0;            // size at which to write out early; 0: the first MB
    qint64 droppedLines_ = 0;        // lines dropped since the last successful write
    bool dropNoted_ = false;         // TrafficLogDropped raised since the last successful write

    bool configuring_ = false;       // inside SetOpen: line-setting failures are not a lost device
    bool writeFailed_ = false;       // the device refused a write since PutChar began
    quint64 taken_ = 0;              // bytes taken by GetChar
};

} // namespace za
