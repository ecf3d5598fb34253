#pragma once
// The serial port to the counter: 8N1, no flow control, DTR and RTS on.
// Port number n maps to /dev/ttyS(n-1) for 1..99 and /dev/ttyUSB(n-100) for
// 100..199, unless a device path is given explicitly.
#include <QObject>
#include <QString>
#include <QByteArray>
#include "SerialIo.h"

class QSerialPort;

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
    bool SetOpen(bool open, QString* error = nullptr);
    bool Open() const;
    void FlushBuffers();                        // drop unread and unsent bytes

    // TSerialIo
    bool IsOpen() const override { return Open(); }
    bool PutChar(uint8_t b, QString* error) override;
    uint8_t GetChar() override;
    int BytesAvailable() const;

    // Traffic log, written to "APRO.LOG" in the working directory by WriteLog().
    void SetLogging(bool on);
    bool Logging() const { return logging_; }
    bool WriteLog(QString* error = nullptr);

signals:
    // Bytes can be taken; raised on the GUI thread, again for bytes still waiting.
    void TriggerAvail(int count);
    // The device went away (unplugged, far end closed); the port is closed already.
    void DeviceLost(const QString& cause);

private:
    QSerialPort* port_ = nullptr;
    bool logging_ = false;
    QByteArray traffic_;
    // implementation details are the port's own
};

} // namespace za
