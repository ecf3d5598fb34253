// The counter simulator seen from the line: exact answer bytes, the record
// FIFO with resend until Ack, fault injection, and reopening the slave.
#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QSerialPort>
#include <QThread>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include "support/Simulator.h"

namespace {

using zt::TSimulator;

// The application's end of the line, opened with plain POSIX calls.
class TLine {
public:
    explicit TLine(const QString& path) {
        fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~TLine() { Close(); }
    bool IsOpen() const { return fd_ >= 0; }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    void Write(const QString& hex) {
        QByteArray b = TSimulator::FromHex(hex);
        ASSERT_EQ(::write(fd_, b.constData(), size_t(b.size())), b.size());
    }
    // Collects bytes until n have arrived or timeoutMs passed.
    QString Read(int n, int timeoutMs = 2000) {
        QByteArray got;
        QElapsedTimer t;
        t.start();
        while (got.size() < n && t.elapsed() < timeoutMs) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                char buf[256];
                ssize_t r = ::read(fd_, buf, sizeof buf);
                if (r > 0) got.append(buf, int(r));
            }
        }
        return TSimulator::ToHex(got);
    }
    // Everything that arrives within ms.
    QString ReadFor(int ms) { return Read(1 << 20, ms); }

private:
    int fd_ = -1;
};

class CounterSim : public ::testing::Test {
protected:
    void StartSim(const QStringList& args = {}) {
        path = sim.Start(args);
        ASSERT_FALSE(path.isEmpty());
        line = std::make_unique<TLine>(path);
        ASSERT_TRUE(line->IsOpen());
        ASSERT_FALSE(sim.WaitForEvent("PORT open").isEmpty());
    }
    TSimulator sim;
    QString path;
    std::unique_ptr<TLine> line;
};

struct TAnswerCase {
    const char* name;
    QStringList args;
    QStringList commands;
    const char* request;
    const char* answer;
};

TEST_F(CounterSim, AnswersRequestsWithExactFrames) {
    const TAnswerCase cases[] = {
        {"setup, 3 channels", {}, {}, "02 05 14 E2 03", "02 08 16 00 00 00 DD 03"},
        {"setup ext", {"--ext", "--interval", "15"}, {"setup 01 03 05"}, "02 05 14 E2 03",
         "02 0B 25 00 03 01 03 05 0F B0 03"},
        {"fw info", {}, {}, "02 05 17 DF 03",
         "02 15 18 31 2E 30 35 00 32 30 31 31 2D 30 33 2D 33 31 00 25 03"},
        {"rf setup", {}, {"rf 1234 4660 2 3 1"}, "02 05 19 DD 03", "02 0C 1B D2 04 34 12 02 03 01 B2 03"},
        {"set clock acked", {}, {}, "02 0B 12 0B 03 1F 0E 05 09 95 03", "02 05 06 F0 03"},
        {"test mode nak", {}, {"mode nak"}, "02 06 23 01 D1 03", "02 05 07 EF 03"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartSim(c.args);
        for (const QString& cmd : c.commands) ASSERT_TRUE(sim.Command(cmd)) << sim.LastReply().toStdString();
        line->Write(c.request);
        QString want = c.answer;
        EXPECT_EQ(line->Read((want.size() + 1) / 3).toStdString(), want.toStdString());
        EXPECT_FALSE(sim.WaitForEvent("RX ").isEmpty());
        EXPECT_EQ(sim.ReceivedFrames(int(uint8_t(TSimulator::FromHex(c.request)[2]))).size(), 1);
        sim.Stop();
    }
}

TEST_F(CounterSim, StoresWhatWritesCarryAndStaysSilentWhenAsked) {
    StartSim({"--ext"});
    line->Write("02 0B 12 0B 03 1F 0E 05 09 95 03");                    // SetClock
    line->Write("02 0B 24 00 03 01 03 05 0F B1 03");                    // WriteSetupExt, 15 min
    line->Write("02 0C 1A 40 9C 34 12 02 03 01 AD 03");                 // WriteRfSetup, ID 40000
    EXPECT_EQ(line->Read(15).toStdString(), "02 05 06 F0 03 02 05 06 F0 03 02 05 06 F0 03");
    QString st = sim.Status();
    EXPECT_TRUE(st.contains(" setup=01,03,05 ")) << st.toStdString();
    EXPECT_TRUE(st.contains(" interval=15 ")) << st.toStdString();
    EXPECT_TRUE(st.contains(" clock=0B,03,1F,0E,05,09 ")) << st.toStdString();
    EXPECT_TRUE(st.contains(" rf=40000,4660,2,3,1 ")) << st.toStdString();

    ASSERT_TRUE(sim.Command("mode silent"));
    line->Write("02 05 14 E2 03");
    EXPECT_EQ(line->ReadFor(300).toStdString(), "");
    EXPECT_FALSE(sim.WaitForEvent("RX ReadSetup").isEmpty());
    EXPECT_EQ(sim.ReceivedFrames("ReadSetup").size(), 1);
    EXPECT_FALSE(sim.Command("bogus"));
    EXPECT_TRUE(sim.LastReply().startsWith("ERR"));
}

TEST_F(CounterSim, RecordIsResentUntilAckedThenTheNextFollows) {
    StartSim({"--resend-ms", "300"});
    ASSERT_TRUE(sim.Command("record 14 31 3 2011 12 0 5"));
    ASSERT_TRUE(sim.Command("alarm 0"));
    const std::string rec = "02 10 10 0E 1F 03 DB 07 0C 00 00 00 05 00 B8 03";
    // Sent, then resent while unacknowledged; the alarm waits behind it.
    EXPECT_EQ(line->Read(32, 3000).toStdString(), rec + " " + rec);
    line->Write("02 05 06 F0 03");
    EXPECT_EQ(sim.WaitForEvent("ACKED").toStdString(), "ACKED 1 " + rec);
    EXPECT_EQ(line->Read(6).toStdString(), "02 06 13 00 E2 03");
    line->Write("02 05 06 F0 03");
    EXPECT_EQ(sim.WaitForEvent("ACKED").toStdString(), "ACKED 2 02 06 13 00 E2 03");
    // Nothing is outstanding any more: no resend.
    EXPECT_EQ(line->ReadFor(700).toStdString(), "");
    EXPECT_EQ(sim.AckedCount(), 2);
    EXPECT_EQ(sim.CountEvents("SENT 1 "), 2);
}

TEST_F(CounterSim, RecordLayoutsAndBurst) {
    StartSim();
    ASSERT_TRUE(sim.Command("recordext 7 14 31 3 2011 12 0 5"));
    EXPECT_EQ(line->Read(20).toStdString(), "02 14 26 00 00 07 0E 1F 03 DB 07 03 0C 00 00 00 05 00 94 03");
    line->Write("02 05 06 F0 03");
    ASSERT_TRUE(sim.Command("recordsub 1 14 31 3 2011 -1 0 5"));
    EXPECT_EQ(line->Read(17).toStdString(), "02 11 26 01 0E 1F 03 DB 07 FF FF 00 00 05 00 AE 03");
    line->Write("02 05 06 F0 03");
    // Consecutive hours across the end of a month.
    ASSERT_TRUE(sim.Command("burst 2 23 31 3 2011 1 2 3"));
    EXPECT_EQ(line->Read(16).toStdString(), "02 10 10 17 1F 03 DB 07 01 00 02 00 03 00 BA 03");
    line->Write("02 05 06 F0 03");
    EXPECT_EQ(line->Read(16).toStdString(), "02 10 10 00 01 04 DB 07 01 00 02 00 03 00 EE 03");
}

TEST_F(CounterSim, FaultsCorruptOnlyTheNextFrame) {
    StartSim({"--resend-ms", "400"});
    const std::string ack = "02 05 06 F0 03";
    ASSERT_TRUE(sim.Command("badchk"));
    line->Write("02 0B 12 0B 03 1F 0E 05 09 95 03");
    EXPECT_EQ(line->Read(5).toStdString(), "02 05 06 F1 03");
    line->Write("02 0B 12 0B 03 1F 0E 05 09 95 03");
    EXPECT_EQ(line->Read(5).toStdString(), ack);

    ASSERT_TRUE(sim.Command("badlen"));
    line->Write("02 0B 12 0B 03 1F 0E 05 09 95 03");
    EXPECT_EQ(line->Read(5).toStdString(), "02 04 06 F0 03");

    ASSERT_TRUE(sim.Command("garbage 3"));
    line->Write("02 0B 12 0B 03 1F 0E 05 09 95 03");
    QString got = line->Read(8);
    EXPECT_TRUE(got.endsWith(QString::fromStdString(ack))) << got.toStdString();
    EXPECT_FALSE(got.left(8).contains("02"));

    // Split pieces still add up to the frame.
    ASSERT_TRUE(sim.Command("split 2 30"));
    line->Write("02 05 17 DF 03");
    EXPECT_EQ(line->Read(21).toStdString(), "02 15 18 31 2E 30 35 00 32 30 31 31 2D 30 33 2D 33 31 00 25 03");
    ASSERT_TRUE(sim.Command("split 0 0"));

    // The simulator's own receiver drops bad input and reports it.
    line->Write("11 02 05 06 F1 03 02 05 14 E2 03");
    EXPECT_EQ(line->Read(8).toStdString(), "02 08 16 00 00 00 DD 03");
    EXPECT_EQ(sim.WaitForEvent("BAD").toStdString(), "BAD 11");
    EXPECT_EQ(sim.WaitForEvent("BAD").toStdString(), "BAD 02 05 06 F1 03");
}

TEST_F(CounterSim, SurvivesTheApplicationClosingAndReopening) {
    StartSim({"--resend-ms", "300"});
    ASSERT_TRUE(sim.Command("record 14 31 3 2011 12 0 5"));
    const std::string rec = "02 10 10 0E 1F 03 DB 07 0C 00 00 00 05 00 B8 03";
    EXPECT_EQ(line->Read(16).toStdString(), rec);
    line->Close();
    ASSERT_FALSE(sim.WaitForEvent("PORT closed").isEmpty());
    QThread::msleep(700);   // resends fall due while nobody listens
    TLine again(path);
    ASSERT_TRUE(again.IsOpen());
    // Only a fresh copy arrives, nothing stale from the closed time.
    EXPECT_EQ(again.Read(16).toStdString(), rec);
    again.Write("02 05 06 F0 03");
    EXPECT_FALSE(sim.WaitForEvent("ACKED 1").isEmpty());
    again.Write("02 05 14 E2 03");
    EXPECT_EQ(again.Read(8).toStdString(), "02 08 16 00 00 00 DD 03");
    sim.Stop();
    EXPECT_FALSE(sim.Running());
}

// The driver's waits keep the event loop going, so a QSerialPort in the test
// process reads and answers while the test waits for the simulator.
TEST_F(CounterSim, WorksWithQSerialPortAcrossReopen) {
    path = sim.Start({"--resend-ms", "300"});
    ASSERT_FALSE(path.isEmpty());
    QSerialPort port;
    port.setPortName(path);
    QByteArray got;
    QObject::connect(&port, &QSerialPort::readyRead, [&] {
        got += port.readAll();
        if (got.endsWith("\x03")) port.write(TSimulator::FromHex("02 05 06 F0 03"));   // ack whatever came
    });
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(port.open(QIODevice::ReadWrite)) << port.errorString().toStdString();
        ASSERT_TRUE(sim.Command(QString("record %1 31 3 2011 1 2 3").arg(10 + round)));
        EXPECT_FALSE(sim.WaitForEvent(QString("ACKED %1").arg(round + 1)).isEmpty());
        port.close();
        EXPECT_FALSE(sim.WaitForEvent("PORT closed").isEmpty());
    }
    EXPECT_EQ(sim.AckedCount(), 2);
    EXPECT_EQ(sim.ReceivedFrames(6).size(), 2);
}

TEST(CounterSimProcess, EndsOnEofAndOnSigterm) {
    for (bool term : {false, true}) {
        QProcess p;
        p.start(QStringLiteral(ZA_COUNTERSIM), {"--every-ms", "50", "--start", "2011-03-31 14"});
        ASSERT_TRUE(p.waitForStarted(3000));
        ASSERT_TRUE(p.waitForReadyRead(3000));
        EXPECT_TRUE(p.readLine().startsWith("PTY /dev/"));
        if (term) p.terminate();
        else p.closeWriteChannel();
        EXPECT_TRUE(p.waitForFinished(3000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        if (p.state() != QProcess::NotRunning) p.kill(), p.waitForFinished(1000);
    }
}

} // namespace
