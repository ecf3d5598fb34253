// The port object and the link over a real pseudo-terminal, with the counter
// simulator at the other end.
#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>
#include <stdexcept>
#include <sys/resource.h>
#include "config/Clock.h"
#include "link/ComPort.h"
#include "link/CounterLink.h"
#include "support/Pty.h"
#include "support/Simulator.h"
#include "support/TestSupport.h"

using namespace za;
using zt::TSimulator;

namespace {

using zt::Frame;

QByteArray Record(int hour) { return Frame(msg::LogRecord, QByteArray::fromHex("001F03DB07010002000300").replace(0, 1, QByteArray(1, char(hour)))); }

class TRecords : public TCounterHandlers {
public:
    explicit TRecords(TCounterLink& link) : link_(link) {}
    void HandleLogRecord(const TLogRecordData& record) override {
        hours << record.hour;
        if (inside) inside();
        link_.SendAck();
    }
    void ReportHandlerFailure(const QString& what) override { failures << what; }
    QVector<int> hours;
    QStringList failures;
    std::function<void()> inside;
private:
    TCounterLink& link_;
};

qint64 CpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000;
}

// Runs a nested event loop for ms, as a modal box would.
void NestedLoop(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

struct TPortFixture : ::testing::Test {
    TSimulator sim;
    TFixedClock clock{QDateTime(QDate(2011, 3, 31), QTime(14, 5, 9))};
    TComPort port;
    TCounterLink link{&port, &clock};
    TRecords records{link};

    void SetUp() override {
        const QString slave = sim.Start({"--resend-ms", "60000"});
        ASSERT_FALSE(slave.isEmpty());
        port.DeviceOverride = slave;
        QString error;
        ASSERT_TRUE(port.SetOpen(true, &error)) << error.toStdString();
        ASSERT_FALSE(sim.WaitForEvent("PORT open").isEmpty());
        link.SetHandlers(&records);
        link.SetRunning(true);
    }
    bool Raw(const QByteArray& bytes) { return sim.Command("raw " + TSimulator::ToHex(bytes)); }
    // Sends TestMode on and waits; the elapsed time in ms goes to elapsed.
    bool TestModeOn(qint64* elapsed) {
        TRxTxBuffer& tx = *link.TxBuffer();
        tx.NewFrame(msg::TestMode);
        tx.AddByte(1);
        tx.EndFrame();
        EXPECT_EQ(tx.SendFrame(&port), 0);
        QElapsedTimer t;
        t.start();
        const bool ok = link.WaitForAck();
        *elapsed = t.elapsed();
        return ok;
    }
};

} // namespace

TEST(ComPort, PortNumbersNameDevices) {
    EXPECT_EQ(TComPort::DeviceForNumber(1), "/dev/ttyS0");
    EXPECT_EQ(TComPort::DeviceForNumber(99), "/dev/ttyS98");
    EXPECT_EQ(TComPort::DeviceForNumber(100), "/dev/ttyUSB0");
    EXPECT_EQ(TComPort::DeviceForNumber(199), "/dev/ttyUSB99");
    EXPECT_EQ(TComPort::DeviceForNumber(0), "");
    EXPECT_EQ(TComPort::DeviceForNumber(200), "");
    TComPort p;
    p.ComNumber = 3;
    EXPECT_EQ(p.DevicePath(), "/dev/ttyS2");
    p.DeviceOverride = "/dev/pts/7";
    EXPECT_EQ(p.DevicePath(), "/dev/pts/7");
}

TEST(ComPort, AFailedOpenNamesDeviceAndCause) {
    TComPort p;
    p.DeviceOverride = "/nonexistent/ttyX";
    QString error;
    EXPECT_FALSE(p.SetOpen(true, &error));
    EXPECT_FALSE(p.Open());
    EXPECT_TRUE(error.startsWith("/nonexistent/ttyX: ")) << error.toStdString();
    EXPECT_GT(error.size(), int(strlen("/nonexistent/ttyX: ")));
    QString writeError;
    EXPECT_FALSE(p.PutChar(0x02, &writeError));
    EXPECT_TRUE(writeError.startsWith("/nonexistent/ttyX")) << writeError.toStdString();
}

TEST_F(TPortFixture, WaitForAckEndsOnTheAnswerOrAfterOneSecond) {
    qint64 ms = 0;
    EXPECT_TRUE(TestModeOn(&ms));
    EXPECT_LT(ms, 1000);
    ASSERT_FALSE(sim.WaitForEvent("RX TestMode").isEmpty());
    EXPECT_EQ(sim.ReceivedFrames(msg::TestMode).value(0), QByteArray::fromHex("02062301D103"));

    ASSERT_TRUE(sim.Command("mode nak"));
    EXPECT_FALSE(TestModeOn(&ms));
    EXPECT_TRUE(link.NakReceived);
    EXPECT_LT(ms, 1000) << "a Nak ends the wait at once";

    ASSERT_TRUE(sim.Command("mode silent"));
    EXPECT_FALSE(TestModeOn(&ms));
    EXPECT_GE(ms, 990);
}

TEST_F(TPortFixture, ClockRequestIsAnsweredOverTheLine) {
    ASSERT_TRUE(sim.Command("clockreq"));
    ASSERT_FALSE(sim.WaitForEvent("RX SetClock").isEmpty());
    EXPECT_EQ(sim.ReceivedFrames(msg::SetClock).value(0), QByteArray::fromHex("020B120B031F0E050995 03"));
}

TEST_F(TPortFixture, ARecordIsHandledOnceWhileItsHandlerShowsABox) {
    // While the first handler's box is open, a second record comes in. Bytes
    // that came while the box was open must be taken after it closes, without
    // the counter sending anything more.
    records.inside = [&] {
        if (records.hours.size() != 1) return;
        EXPECT_TRUE(Raw(Record(15)));
        NestedLoop(400);
        EXPECT_EQ(records.hours, QVector<int>{14}) << "nothing dispatched inside the box";
    };
    ASSERT_TRUE(Raw(Record(14)));
    ASSERT_TRUE(zt::WaitUntil([&] { return records.hours.size() >= 2; }, 3000));
    NestedLoop(300);
    EXPECT_EQ(records.hours, (QVector<int>{14, 15}));
    EXPECT_EQ(sim.ReceivedFrames("Ack").size(), 2);
}

TEST_F(TPortFixture, ARecordWhoseHandlerThrowsIsNotHandledAgain) {
    records.inside = [&] {
        if (records.hours.size() == 1) throw std::runtime_error("cannot write log file");
    };
    ASSERT_TRUE(Raw(Record(14)));
    ASSERT_TRUE(zt::WaitUntil([&] { return !records.failures.isEmpty(); }, 3000));
    ASSERT_TRUE(Raw(Record(15)));
    ASSERT_TRUE(zt::WaitUntil([&] { return records.hours.size() >= 2; }, 3000));
    NestedLoop(300);
    EXPECT_EQ(records.hours, (QVector<int>{14, 15}));
    EXPECT_EQ(records.failures, QStringList{"cannot write log file"});
    EXPECT_EQ(link.RxBuffer()->Count, 0);
}

TEST_F(TPortFixture, BytesBeforeTheRunningFlagWaitInThePort) {
    link.SetRunning(false);
    ASSERT_TRUE(Raw(Frame(msg::Ack) + Record(9)));
    ASSERT_TRUE(zt::WaitUntil([&] { return port.BytesAvailable() == 5 + 16; }, 3000));
    NestedLoop(200);
    EXPECT_EQ(port.BytesAvailable(), 21) << "not read while not running";
    EXPECT_FALSE(link.AckReceived);
    link.SetRunning(true);
    ASSERT_TRUE(zt::WaitUntil([&] { return !records.hours.isEmpty(); }, 2000));
    EXPECT_TRUE(link.AckReceived);
    EXPECT_EQ(records.hours, QVector<int>{9});
}

TEST_F(TPortFixture, TrafficLogIsReadable) {
    zt::TScratchDir dir;
    port.LogFileName = dir.File("APRO.LOG");
    port.SetLogging(true);
    link.SendAck();
    ASSERT_TRUE(Raw(Frame(msg::Nak)));
    ASSERT_TRUE(zt::WaitUntil([&] { return link.NakReceived; }, 3000));
    QString error;
    ASSERT_TRUE(port.WriteLog(&error)) << error.toStdString();
    const QStringList lines = zt::ReadLines(port.LogFileName);
    ASSERT_EQ(lines.size(), 2) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].endsWith(" TX 02 05 06 F0 03")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].endsWith(" RX 02 05 07 EF 03")) << lines[1].toStdString();
    EXPECT_TRUE(QDateTime::fromString(lines[0].left(23), "yyyy-MM-dd hh:mm:ss.zzz").isValid());
}

TEST(ComPort, AnUnwritableTrafficLogKeepsOnlyTheNewestTraffic) {
    // Megabytes of line traffic while the traffic log's folder is missing: the
    // log holds no more than its cap, says so once, and writes the newest part
    // with a note of the gap once the folder is there.
    zt::TPty pty;
    ASSERT_FALSE(pty.Slave().isEmpty());
    zt::TScratchDir dir;
    TComPort port;
    port.DeviceOverride = pty.Slave();
    port.LogFileName = dir.File("later/APRO.LOG");
    port.SetLogging(true);
    QString error;
    ASSERT_TRUE(port.SetOpen(true, &error)) << error.toStdString();
    QStringList notices;
    QObject::connect(&port, &TComPort::TrafficLogDropped, [&](const QString& n) { notices << n; });
    qint64 taken = 0;
    int maxHeld = 0;
    QObject::connect(&port, &TComPort::TriggerAvail, [&](int n) {
        for (int i = 0; i < n; ++i) port.GetChar();
        taken += n;
        maxHeld = std::max(maxHeld, port.TrafficLogHeld());
    });

    // 6 MB, about 23 MB of log text: older bytes 11, the newest 2 MB 55.
    const qint64 target = 6 << 20;
    QElapsedTimer t;
    t.start();
    while (taken < target && t.elapsed() < 120000) {
        const QByteArray chunk(4096, char(taken < target - (2 << 20) ? 0x11 : 0x55));
        pty.Write(chunk);   // a full line refuses it; the reader below makes room
        QCoreApplication::processEvents();
    }
    ASSERT_GE(taken, target);
    NestedLoop(50);
    EXPECT_LE(maxHeld, TComPort::TrafficLogKeepBytes + 256);
    ASSERT_EQ(notices.size(), 1) << notices.join('\n').toStdString();
    EXPECT_TRUE(notices[0].contains(port.LogFileName)) << notices[0].toStdString();

    ASSERT_TRUE(QDir(dir.Path()).mkdir("later"));
    ASSERT_TRUE(port.WriteLog(&error)) << error.toStdString();
    EXPECT_EQ(port.TrafficLogHeld(), 0);
    const QStringList lines = zt::ReadLines(port.LogFileName);
    ASSERT_GT(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("-- ") && lines[0].contains(" lines of traffic dropped")) << lines[0].toStdString();
    EXPECT_TRUE(lines.last().contains(" RX 55")) << lines.last().toStdString();
    EXPECT_FALSE(lines.filter(" 11").size()) << "the oldest traffic is the part dropped";
    EXPECT_LE(QFileInfo(port.LogFileName).size(), TComPort::TrafficLogKeepBytes + 512);
}

TEST(ComPort, LosingTheFarEndClosesThePortOnceWithoutSpinning) {
    QProcess sim;
    sim.start(QStringLiteral(ZA_COUNTERSIM), {});
    ASSERT_TRUE(sim.waitForStarted(5000));
    ASSERT_TRUE(zt::WaitUntil([&] { return sim.canReadLine(); }, 5000));
    const QString line = QString::fromLatin1(sim.readLine()).trimmed();
    ASSERT_TRUE(line.startsWith("PTY ")) << line.toStdString();

    TComPort port;
    port.DeviceOverride = line.mid(4);
    QString error;
    ASSERT_TRUE(port.SetOpen(true, &error)) << error.toStdString();
    QStringList lost;
    QObject::connect(&port, &TComPort::DeviceLost, [&](const QString& cause) { lost << cause; });

    sim.kill();
    sim.waitForFinished(5000);
    ASSERT_TRUE(zt::WaitUntil([&] { return !lost.isEmpty(); }, 3000));
    EXPECT_FALSE(port.Open());

    const qint64 cpu0 = CpuMs();
    NestedLoop(500);
    EXPECT_LT(CpuMs() - cpu0, 300) << "the event loop must not spin on the dead device";
    EXPECT_EQ(lost.size(), 1);
    EXPECT_TRUE(lost[0].startsWith(port.DeviceOverride + ": ")) << lost[0].toStdString();

    QString writeError;
    EXPECT_FALSE(port.PutChar(0x02, &writeError));
    EXPECT_TRUE(writeError.startsWith(port.DeviceOverride)) << writeError.toStdString();
}
