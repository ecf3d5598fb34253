#include "Simulator.h"
#include <QCoreApplication>
#include <QElapsedTimer>

namespace zt {

TSimulator::~TSimulator() { Stop(); }

QString TSimulator::Start(const QStringList& extraArgs, int timeoutMs) {
    Stop();
    events_.clear();
    taken_.clear();
    replies_.clear();
    partial_.clear();
    slave_.clear();
    proc_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    proc_.start(QStringLiteral(ZA_COUNTERSIM), extraArgs);
    if (!proc_.waitForStarted(timeoutMs)) return QString();
    Pump(timeoutMs, [this] { return !slave_.isEmpty(); });
    return slave_;
}

void TSimulator::ReadLines() {
    partial_ += proc_.readAllStandardOutput();
    int nl;
    while ((nl = partial_.indexOf('\n')) >= 0) {
        QString line = QString::fromLatin1(partial_.left(nl)).trimmed();
        partial_.remove(0, nl + 1);
        if (line.isEmpty()) continue;
        if (line.startsWith("PTY ") && slave_.isEmpty()) {
            slave_ = line.mid(4);
        } else if (line == "OK" || line.startsWith("ERR")) {
            replies_ << line;
        } else {
            events_ << line;
            taken_ << false;
        }
    }
}

// Runs the event loop (which also keeps the application side going) until
// done() or the time-out; the simulator's output is read on every turn.
bool TSimulator::Pump(int timeoutMs, const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    for (;;) {
        ReadLines();
        if (done()) return true;
        if (t.elapsed() > timeoutMs || proc_.state() != QProcess::Running) {
            ReadLines();
            return done();
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!proc_.waitForReadyRead(5)) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

bool TSimulator::Command(const QString& line, int timeoutMs) {
    lastReply_.clear();
    if (proc_.state() != QProcess::Running) return false;
    replies_.clear();
    proc_.write(line.toLatin1() + '\n');
    proc_.waitForBytesWritten(timeoutMs);
    if (!Pump(timeoutMs, [this] { return !replies_.isEmpty(); })) return false;
    lastReply_ = replies_.takeFirst();
    return lastReply_ == "OK";
}

QStringList TSimulator::Events() {
    Drain();
    return events_;
}

void TSimulator::Drain() {
    if (proc_.state() == QProcess::Running) proc_.waitForReadyRead(0);
    ReadLines();
}

void TSimulator::ClearEvents() {
    Drain();
    events_.clear();
    taken_.clear();
}

int TSimulator::CountEvents(const QString& prefix) {
    Drain();
    int n = 0;
    for (const QString& e : events_)
        if (e.startsWith(prefix)) ++n;
    return n;
}

QString TSimulator::WaitForEvent(const QString& prefix, int timeoutMs) {
    int found = -1;
    auto scan = [&] {
        for (int i = 0; i < events_.size(); ++i)
            if (!taken_[i] && events_[i].startsWith(prefix)) {
                found = i;
                return true;
            }
        return false;
    };
    if (!Pump(timeoutMs, scan)) return QString();
    taken_[found] = true;
    return events_[found];
}

QByteArray TSimulator::FromHex(const QString& spacedHex) {
    return QByteArray::fromHex(spacedHex.toLatin1());
}

QString TSimulator::ToHex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QVector<QByteArray> TSimulator::ReceivedFrames(int type) {
    Drain();
    QVector<QByteArray> out;
    for (const QString& e : events_) {
        if (!e.startsWith("RX ")) continue;
        int sp = e.indexOf(' ', 3);
        QByteArray f = FromHex(e.mid(sp + 1));
        if (f.size() >= 3 && uint8_t(f[2]) == type) out << f;
    }
    return out;
}

QVector<QByteArray> TSimulator::ReceivedFrames(const QString& typeName) {
    Drain();
    QVector<QByteArray> out;
    const QString head = "RX " + typeName + ' ';
    for (const QString& e : events_)
        if (e.startsWith(head)) out << FromHex(e.mid(head.size()));
    return out;
}

QVector<QByteArray> TSimulator::SentBytes() {
    Drain();
    QVector<QByteArray> out;
    for (const QString& e : events_) {
        if (!e.startsWith("SENT ")) continue;
        int sp = e.indexOf(' ', 5);
        out << FromHex(e.mid(sp + 1));
    }
    return out;
}

QString TSimulator::Status() {
    if (!Command("status")) return QString();
    for (int i = events_.size() - 1; i >= 0; --i)
        if (events_[i].startsWith("STATUS ")) {
            taken_[i] = true;
            return events_[i];
        }
    return QString();
}

void TSimulator::Stop() {
    if (proc_.state() == QProcess::NotRunning) return;
    proc_.write("quit\n");
    proc_.closeWriteChannel();
    if (!proc_.waitForFinished(2000)) {
        proc_.terminate();
        if (!proc_.waitForFinished(2000)) {
            proc_.kill();
            proc_.waitForFinished(2000);
        }
    }
    ReadLines();
}

} // namespace zt
