#include "ComPort.h"
#include <QDateTime>
#include <QFile>
#include <QSerialPort>
#include <QTimer>
#include <algorithm>
#include <climits>

namespace za {

namespace {
constexpr int kLogLineBytes = 32;     // bytes per traffic-log line
constexpr int kLogLineGapMs = 200;    // a pause this long starts a new line
constexpr int kLogFlushSize = 1 << 20; // write out early rather than grow without end
static_assert(TComPort::TrafficLogKeepBytes >= 3 * kLogFlushSize, "room to keep lines after a drop");
}

TComPort::TComPort(QObject* parent) : QObject(parent) {
    port_ = new QSerialPort(this);
    reannounce_ = new QTimer(this);
    reannounce_->setSingleShot(true);
    reannounce_->setInterval(0);
    connect(reannounce_, &QTimer::timeout, this, &TComPort::Announce);
    connect(port_, &QSerialPort::readyRead, this, &TComPort::OnReadyRead);
    connect(port_, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError e) { OnError(int(e)); });
}

TComPort::~TComPort() {
    if (port_->isOpen()) {
        configuring_ = true;
        port_->close();
    }
}

QString TComPort::DeviceForNumber(int n) {
    if (n >= 1 && n <= 99) return QStringLiteral("/dev/ttyS%1").arg(n - 1);
    if (n >= 100 && n <= 199) return QStringLiteral("/dev/ttyUSB%1").arg(n - 100);
    return QString();
}

QString TComPort::DevicePath() const {
    return DeviceOverride.isEmpty() ? DeviceForNumber(ComNumber) : DeviceOverride;
}

bool TComPort::Open() const { return port_->isOpen(); }

bool TComPort::SetOpen(bool open, QString* error) {
    if (open == port_->isOpen()) return true;
    const QString dev = DevicePath();
    if (!open) {
        configuring_ = true;
        port_->clearError();
        reannounce_->stop();
        port_->close();
        const bool failed = port_->error() != QSerialPort::NoError;
        const QString cause = port_->errorString();
        port_->clearError();
        configuring_ = false;
        if (failed) {
            if (error) *error = dev + QStringLiteral(": ") + cause;
            return false;
        }
        return true;
    }

    if (dev.isEmpty()) {
        if (error) *error = QStringLiteral("COM%1: no such serial port").arg(ComNumber);
        return false;
    }
    configuring_ = true;
    port_->clearError();
    port_->setPortName(dev);
    port_->setBaudRate(Baud);
    port_->setDataBits(QSerialPort::Data8);
    port_->setParity(QSerialPort::NoParity);
    port_->setStopBits(QSerialPort::OneStop);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    if (!port_->open(QIODevice::ReadWrite)) {
        if (error) *error = dev + QStringLiteral(": ") + port_->errorString();
        port_->clearError();
        configuring_ = false;
        return false;
    }
    // Pseudo-terminals and some bridges refuse the modem lines; the port
    // works without them, so this is not a failure to open.
    port_->setDataTerminalReady(true);
    port_->setRequestToSend(true);
    port_->clear(QSerialPort::AllDirections);
    port_->clearError();
    configuring_ = false;
    return true;
}

void TComPort::FlushBuffers() {
    if (!port_->isOpen()) return;
    configuring_ = true;
    port_->clear(QSerialPort::AllDirections);
    port_->clearError();
    configuring_ = false;
}

bool TComPort::PutChar(uint8_t b, QString* error) {
    const QString dev = DevicePath();
    if (!port_->isOpen()) {
        if (error) *error = dev + QStringLiteral(": port is not open");
        return false;
    }
    writeFailed_ = false;
    const char c = char(b);
    if (port_->write(&c, 1) != 1) {
        if (error) *error = dev + QStringLiteral(": ") + port_->errorString();
        return false;
    }
    // Hand the byte to the device now rather than at the next event-loop pass.
    port_->flush();
    if (writeFailed_ || !port_->isOpen()) {
        if (error) *error = dev + QStringLiteral(": ") + port_->errorString();
        return false;
    }
    if (logging_) LogTraffic('T', b);
    return true;
}

uint8_t TComPort::GetChar() {
    char c = 0;
    if (!port_->isOpen() || !port_->getChar(&c)) return 0;
    ++taken_;
    if (logging_) LogTraffic('R', uint8_t(c));
    return uint8_t(c);
}

int TComPort::BytesAvailable() const {
    if (!port_->isOpen()) return 0;
    return int(qMin<qint64>(port_->bytesAvailable(), INT_MAX));
}

void TComPort::AnnounceWaiting() {
    if (port_->isOpen()) reannounce_->start();
}

void TComPort::OnReadyRead() { Announce(); }

void TComPort::Announce() {
    const int n = BytesAvailable();
    if (n <= 0) return;
    const quint64 before = taken_;
    emit TriggerAvail(n);
    // readyRead is not raised for bytes that came in while its slot ran (a
    // handler with a modal box), and later only for new bytes; announce what
    // is still waiting. Only after the reader took something, so a reader
    // that is not ready yet does not make this spin.
    if (taken_ != before && BytesAvailable() > 0) reannounce_->start();
}

void TComPort::OnError(int e) {
    if (e == QSerialPort::NoError || configuring_) return;
    if (e == QSerialPort::WriteError) writeFailed_ = true;
    if (e != QSerialPort::ReadError && e != QSerialPort::ResourceError) return;
    if (!port_->isOpen()) return;
    // The far end went away. The port keeps reporting the error from its read
    // notifier for as long as it stays open, so close right here.
    const QString cause = DevicePath() + QStringLiteral(": ") + port_->errorString();
    configuring_ = true;
    reannounce_->stop();
    port_->close();
    port_->clearError();
    configuring_ = false;
    writeFailed_ = true;
    // Tell the owner from the event loop, outside the port's own call stack.
    QMetaObject::invokeMethod(this, [this, cause] { emit DeviceLost(cause); }, Qt::QueuedConnection);
}

// ---- traffic log ---------------------------------------------------------

void TComPort::SetLogging(bool on) { logging_ = on; }

void TComPort::LogTraffic(char dir, uint8_t b) {
    // The wall clock only for a new line: local time costs a file-system look-up
    // of the time zone each time, too much for every byte of a busy line.
    if (dir != logDir_ || logLineBytes_ >= kLogLineBytes || logLineClock_.elapsed() > kLogLineGapMs) {
        if (logDir_) traffic_ += '\n';
        traffic_ += QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toLatin1();
        traffic_ += dir == 'T' ? " TX" : " RX";
        logDir_ = dir;
        logLineBytes_ = 0;
        logLineClock_.start();
    }
    static const char hex[] = "0123456789ABCDEF";
    const char item[3] = {' ', hex[b >> 4], hex[b & 15]};
    traffic_.append(item, 3);
    ++logLineBytes_;
    if (traffic_.size() >= (nextWriteAt_ ? nextWriteAt_ : kLogFlushSize)) WriteLogEarly();
}

void TComPort::WriteLogEarly() {
    QString error;
    if (WriteLog(&error)) return;
    // The file is refused (read-only folder, disk full): try again only after
    // another MB, and keep no more than the cap by dropping the oldest lines.
    if (traffic_.size() + kLogFlushSize > TrafficLogKeepBytes) {
        const qsizetype excess = traffic_.size() - (TrafficLogKeepBytes - 2 * kLogFlushSize);
        const qsizetype nl = traffic_.indexOf('\n', excess - 1);
        if (nl >= 0) {
            droppedLines_ += std::count(traffic_.constData(), traffic_.constData() + nl + 1, '\n');
            traffic_.remove(0, nl + 1);
        }
        if (!dropNoted_) {
            dropNoted_ = true;
            const QString notice = QStringLiteral("Serial traffic log not written (%1); older traffic is dropped, "
                                                  "the newest %2 MB are kept")
                                       .arg(error)
                                       .arg(TrafficLogKeepBytes >> 20);
            QMetaObject::invokeMethod(this, [this, notice] { emit TrafficLogDropped(notice); },
                                      Qt::QueuedConnection);
        }
    }
    nextWriteAt_ = int(traffic_.size()) + kLogFlushSize;
}

bool TComPort::WriteLog(QString* error) {
    if (traffic_.isEmpty()) return true;
    QFile f(LogFileName);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error) *error = LogFileName + QStringLiteral(": ") + f.errorString();
        return false;
    }
    QByteArray out;
    if (droppedLines_ > 0)
        out = QStringLiteral("-- %1 lines of traffic dropped here: the log could not be written --\n")
                  .arg(droppedLines_)
                  .toLatin1();
    out += traffic_;
    if (logDir_) out += '\n';
    if (f.write(out) != out.size()) {
        if (error) *error = LogFileName + QStringLiteral(": ") + f.errorString();
        return false;
    }
    f.close();
    if (f.error() != QFileDevice::NoError) {
        if (error) *error = LogFileName + QStringLiteral(": ") + f.errorString();
        return false;
    }
    traffic_.clear();
    logDir_ = 0;
    logLineBytes_ = 0;
    nextWriteAt_ = 0;
    droppedLines_ = 0;
    dropNoted_ = false;
    return true;
}

} // namespace za
