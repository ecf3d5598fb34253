#pragma once
// Runs the counter simulator (tools/countersim) as a child process and talks to
// it over its stdin/stdout command language. Every wait runs the Qt event loop,
// so application code in the same test process keeps handling the serial port.
#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

namespace zt {

class TSimulator {
public:
    TSimulator() = default;
    ~TSimulator();
    TSimulator(const TSimulator&) = delete;
    TSimulator& operator=(const TSimulator&) = delete;

    // Starts the simulator with extra options (e.g. {"--channels", "4", "--ext"}).
    // Returns the slave device path, or "" when it did not come up within timeoutMs.
    QString Start(const QStringList& extraArgs = {}, int timeoutMs = 5000);
    QString SlavePath() const { return slave_; }
    bool Running() const { return proc_.state() == QProcess::Running; }

    // Sends one command line and waits for its "OK" (true) or "ERR ..." (false).
    bool Command(const QString& line, int timeoutMs = 3000);
    QString LastReply() const { return lastReply_; }   // "OK", "ERR <reason>" or "" on time-out

    // Event lines (RX, BAD, SENT, ACKED, PORT, CLEARED, STATUS) in arrival order.
    // The accessors below first take in what the simulator has printed so far.
    QStringList Events();
    void ClearEvents();
    int CountEvents(const QString& prefix);
    // The first event starting with prefix that no earlier WaitForEvent returned,
    // waiting up to timeoutMs for it; "" on time-out.
    QString WaitForEvent(const QString& prefix, int timeoutMs = 3000);

    // Whole frames of the given message type received from the application.
    QVector<QByteArray> ReceivedFrames(int type);
    QVector<QByteArray> ReceivedFrames(const QString& typeName);
    // Frames and other bytes sent to the application ("SENT" events).
    QVector<QByteArray> SentBytes();
    int AckedCount() { return CountEvents("ACKED "); }
    // "STATUS ..." line of a fresh status command, "" on failure.
    QString Status();

    // Asks the simulator to quit and waits; kills it if it does not end.
    void Stop();

    static QByteArray FromHex(const QString& spacedHex);   // "02 05 06" -> bytes
    static QString ToHex(const QByteArray& bytes);         // bytes -> "02 05 06"

private:
    void ReadLines();
    void Drain();   // reads output that is already there, without waiting
    bool Pump(int timeoutMs, const std::function<bool()>& done);

    QProcess proc_;
    QByteArray partial_;
    QString slave_;
    QString lastReply_;
    QStringList replies_;
    QStringList events_;
    QVector<bool> taken_;
};

} // namespace zt
