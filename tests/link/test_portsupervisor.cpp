// The port supervision machine, driven tick by tick with a fixed clock over a
// real serial port on a pseudo-terminal, and against the counter simulator for
// a silent counter and a device that disappears and comes back.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTimer>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include "config/Clock.h"
#include "link/ComPort.h"
#include "link/CounterLink.h"
#include "link/PortSupervisor.h"
#include "support/Simulator.h"
#include "support/Pty.h"
#include "support/TestSupport.h"

using namespace za;

namespace {

struct TEntry {
    QString text;
    int level;
};

using zt::TPty;

class TRecordHook : public TCounterHandlers {
public:
    explicit TRecordHook(TCounterLink& link) : link_(link) {}
    void HandleLogRecord(const TLogRecordData& record) override {
        records.append(record.variant);
        link_.SendAck();
    }
    QVector<int> records;

private:
    TCounterLink& link_;
};

QDateTime At(int hour, int minute, int second = 0) {
    return QDateTime(QDate(2011, 3, 31), QTime(hour, minute, second));
}

const QByteArray kPoll = QByteArray::fromHex("020514E203");
// SetupData for three channels: 01 03 05.
const QByteArray kSetupAnswer = QByteArray::fromHex("0208160103" "05D403");

class PortSupervision : public ::testing::Test {
protected:
    PortSupervision()
        : link(&port, &clock),
          sup(link, clock, [this](const QString& t, int level) { log.append({t, level}); }) {
        sup.ReportNoResponse = [this] { ++noResponse; };
        sup.ReportPortError = [this] { ++portErrors; };
        sup.OnLampChanged = [this](bool open) { lamps.append(open); };
        sup.NoLogDataFlag = &noLogData;
        link.SetRunning(true);
    }
    void OpenOnPty() {
        port.DeviceOverride = pty.Slave();
        QString err;
        ASSERT_TRUE(port.SetOpen(true, &err)) << err.toStdString();
    }
    void TickAt(const QDateTime& t) {
        clock.Set(t);
        sup.CheckComportTimerTimer();
    }
    QStringList Texts() const {
        QStringList out;
        for (const TEntry& e : log) out << e.text;
        return out;
    }

    TPty pty;
    TFixedClock clock{At(14, 0)};
    TComPort port;
    TCounterLink link;
    TPortSupervisor sup;
    QVector<TEntry> log;
    QVector<bool> lamps;
    int noResponse = 0;
    int portErrors = 0;
    bool noLogData = false;
};

TEST_F(PortSupervision, AnsweringCounterIsPolledOnceAnHourAtMinute50) {
    OpenOnPty();
    sup.CheckComport = true;

    TickAt(At(14, 49, 59));
    EXPECT_EQ(sup.PortCheckState, pcIdle);
    EXPECT_TRUE(pty.Read(50).isEmpty());

    link.SetupReceived = true;   // left over from earlier; the poll must clear it
    TickAt(At(14, 50));
    EXPECT_EQ(sup.PortCheckState, pcWaitReply);
    EXPECT_EQ(sup.LastPolledHour, 14);
    EXPECT_FALSE(link.SetupReceived);
    EXPECT_EQ(pty.Read(), kPoll);

    ASSERT_TRUE(pty.Write(kSetupAnswer));
    ASSERT_TRUE(zt::WaitUntil([&] { return link.SetupReceived; }, 3000));
    TickAt(At(14, 50, 1));
    EXPECT_EQ(sup.PortCheckState, pcIdle);

    // Still minute 50, and later in the hour: no second poll.
    TickAt(At(14, 50, 2));
    TickAt(At(14, 59, 59));
    EXPECT_EQ(sup.PortCheckState, pcIdle);
    EXPECT_TRUE(pty.Read(100).isEmpty());

    EXPECT_TRUE(log.isEmpty()) << Texts().join(" | ").toStdString();
    EXPECT_EQ(noResponse, 0);
    EXPECT_EQ(portErrors, 0);
    EXPECT_EQ(lamps, QVector<bool>(5, true));
    EXPECT_TRUE(port.Open());

    // The next hour polls again.
    TickAt(At(15, 50));
    EXPECT_EQ(sup.PortCheckState, pcWaitReply);
    EXPECT_EQ(pty.Read(), kPoll);
}

TEST_F(PortSupervision, SilentCounterIsReportedThenPortClosedAndReopened) {
    OpenOnPty();
    sup.CheckComport = true;
    TickAt(At(9, 50));
    EXPECT_EQ(pty.Read(), kPoll);

    TickAt(At(9, 50, 1));
    ASSERT_EQ(log.size(), 1);
    EXPECT_EQ(log[0].text, "No response from Customer Counter");
    EXPECT_EQ(log[0].level, 11);
    EXPECT_EQ(noResponse, 1);
    EXPECT_EQ(sup.PortCheckState, pcClose);

    TickAt(At(9, 50, 2));
    EXPECT_EQ(sup.PortCheckState, pcReopen);
    EXPECT_FALSE(port.Open());
    TickAt(At(9, 50, 3));
    EXPECT_EQ(sup.PortCheckState, pcIdle);
    EXPECT_TRUE(port.Open());

    EXPECT_EQ(lamps, (QVector<bool>{true, true, false, true}));
    EXPECT_EQ(log.size(), 1);
    EXPECT_EQ(portErrors, 0);
}

TEST_F(PortSupervision, PollOnClosedPortIsAComportErrorThenReopen) {
    port.DeviceOverride = pty.Slave();   // not opened
    sup.CheckComport = true;
    TickAt(At(10, 50));
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[0].text, "Comport error:");
    EXPECT_EQ(log[1].text, "Comport could not transmit data");
    EXPECT_EQ(log[0].level, 11);
    EXPECT_EQ(log[1].level, 11);
    EXPECT_EQ(noResponse, 1);
    EXPECT_EQ(sup.PortCheckState, pcClose);

    TickAt(At(10, 50, 1));
    EXPECT_EQ(sup.PortCheckState, pcReopen);
    TickAt(At(10, 50, 2));
    EXPECT_EQ(sup.PortCheckState, pcIdle);
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(log.size(), 2);
    EXPECT_EQ(lamps, (QVector<bool>{false, false, true}));
}

TEST_F(PortSupervision, FirstPollAfterStartAtHalfPastMidnightIsAt0150) {
    OpenOnPty();
    sup.CheckComport = true;
    for (const QDateTime& t : {At(0, 30), At(0, 50), At(0, 50, 30), At(1, 0), At(1, 49, 59)}) {
        TickAt(t);
        EXPECT_EQ(sup.PortCheckState, pcIdle) << t.toString().toStdString();
    }
    EXPECT_TRUE(pty.Read(50).isEmpty());
    TickAt(At(1, 50));
    EXPECT_EQ(sup.PortCheckState, pcWaitReply);
    EXPECT_EQ(pty.Read(), kPoll);
}

TEST_F(PortSupervision, WithoutCheckComportTheWatchdogFlagReopensAtMinute50) {
    OpenOnPty();
    noLogData = true;
    TickAt(At(16, 49));
    EXPECT_EQ(sup.PortCheckState, pcIdle);
    EXPECT_TRUE(noLogData);

    TickAt(At(16, 50));
    EXPECT_EQ(sup.PortCheckState, pcClose);
    EXPECT_FALSE(noLogData);
    TickAt(At(16, 50, 1));
    EXPECT_FALSE(port.Open());
    TickAt(At(16, 50, 2));
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(sup.PortCheckState, pcIdle);
    // Once only: the flag was cleared.
    TickAt(At(16, 50, 3));
    EXPECT_EQ(sup.PortCheckState, pcIdle);

    EXPECT_TRUE(log.isEmpty());
    EXPECT_EQ(noResponse + portErrors, 0);
    EXPECT_TRUE(pty.Read(50).isEmpty());   // no poll without CHECKCOMPORT
}

TEST_F(PortSupervision, ManualPollWaitsForCheckComport) {
    OpenOnPty();
    sup.ManualPollRequest = true;
    TickAt(At(11, 10));
    EXPECT_EQ(sup.PortCheckState, pcIdle);
    EXPECT_TRUE(sup.ManualPollRequest);
    EXPECT_TRUE(pty.Read(50).isEmpty());

    sup.CheckComport = true;
    TickAt(At(11, 10, 1));
    EXPECT_EQ(sup.PortCheckState, pcWaitReply);
    EXPECT_FALSE(sup.ManualPollRequest);
    EXPECT_EQ(sup.LastPolledHour, 11);
    EXPECT_EQ(pty.Read(), kPoll);
}

TEST_F(PortSupervision, ReopenFailureIsLoggedOnceThenRetriedSilently) {
    zt::TScratchDir tmp;
    const QString link = tmp.File("ttyCounter");
    port.DeviceOverride = link;   // missing for now
    sup.PortCheckState = pcReopen;

    TickAt(At(12, 0));
    ASSERT_EQ(log.size(), 2);
    EXPECT_EQ(log[0].text, "Could not reopen comport:");
    EXPECT_TRUE(log[1].text.startsWith(link)) << log[1].text.toStdString();
    EXPECT_EQ(log[1].level, 11);
    EXPECT_EQ(portErrors, 1);
    EXPECT_EQ(sup.PortCheckState, pcRetryOpen);

    for (int s = 1; s <= 3; ++s) TickAt(At(12, 0, s));
    EXPECT_EQ(sup.PortCheckState, pcRetryOpen);
    EXPECT_EQ(log.size(), 2);
    EXPECT_EQ(portErrors, 1);

    ASSERT_TRUE(QFile::link(pty.Slave(), link));
    TickAt(At(12, 0, 4));
    EXPECT_EQ(sup.PortCheckState, pcIdle);
    EXPECT_TRUE(port.Open());
    EXPECT_EQ(lamps.last(), true);
}

TEST_F(PortSupervision, NothingHappensBeforeTheRunningFlagAndOutOfRangeStateResets) {
    OpenOnPty();
    sup.CheckComport = true;
    link.SetRunning(false);
    TickAt(At(14, 50));
    EXPECT_EQ(sup.PortCheckState, pcIdle);
    EXPECT_TRUE(lamps.isEmpty());
    EXPECT_TRUE(pty.Read(50).isEmpty());

    link.SetRunning(true);
    sup.PortCheckState = 7;
    TickAt(At(14, 50));
    EXPECT_EQ(sup.PortCheckState, pcIdle);
    EXPECT_EQ(lamps.size(), 1);
}

TEST_F(PortSupervision, TimerKeepsTickingAndIsStoppedDuringTheTick) {
    OpenOnPty();
    bool activeInside = true;
    int ticks = 0;
    sup.OnLampChanged = [&](bool) { activeInside = sup.CheckComportTimer()->isActive(); ++ticks; };
    sup.Start();
    EXPECT_EQ(sup.CheckComportTimer()->interval(), 1000);
    ASSERT_TRUE(zt::WaitUntil([&] { return ticks >= 2; }, 5000));
    EXPECT_FALSE(activeInside);
    EXPECT_TRUE(sup.CheckComportTimer()->isActive());
    sup.Stop();
}

// ---- against the counter simulator --------------------------------------

TEST_F(PortSupervision, SimulatorThatStopsAnsweringIsClosedAndReopened) {
    zt::TSimulator sim;
    const QString slave = sim.Start();
    ASSERT_FALSE(slave.isEmpty());
    port.DeviceOverride = slave;
    ASSERT_TRUE(port.SetOpen(true));
    ASSERT_FALSE(sim.WaitForEvent("PORT open").isEmpty());
    sup.CheckComport = true;

    TickAt(At(8, 50));
    ASSERT_TRUE(zt::WaitUntil([&] { return link.SetupReceived; }, 3000));
    TickAt(At(8, 50, 1));
    EXPECT_EQ(sup.PortCheckState, pcIdle);

    ASSERT_TRUE(sim.Command("mode silent"));
    TickAt(At(9, 50));
    ASSERT_FALSE(sim.WaitForEvent("RX ReadSetup").isEmpty());
    zt::WaitUntil([] { return false; }, 300);   // the answer would be here by now
    TickAt(At(9, 50, 1));
    EXPECT_EQ(Texts(), QStringList{"No response from Customer Counter"});
    TickAt(At(9, 50, 2));
    EXPECT_FALSE(sim.WaitForEvent("PORT closed").isEmpty());
    TickAt(At(9, 50, 3));
    EXPECT_TRUE(port.Open());
    EXPECT_FALSE(sim.WaitForEvent("PORT open").isEmpty());
    EXPECT_EQ(sup.PortCheckState, pcIdle);
}

TEST(PortSupervisionLoss, LostDeviceIsReopenedWhenItComesBackAndLogsAgain) {
    TSystemClock wall;
    TComPort port;
    TCounterLink realLink(&port, &wall);
    QVector<TEntry> log;
    int portErrors = 0;
    TPortSupervisor real(realLink, wall, [&](const QString& t, int level) { log.append({t, level}); });
    real.ReportPortError = [&] { ++portErrors; };
    TRecordHook hook(realLink);
    realLink.SetHandlers(&hook);
    realLink.SetRunning(true);
    real.CheckComport = true;   // loss handling must not depend on it
    auto texts = [&] {
        QStringList out;
        for (const TEntry& e : log) out << e.text;
        return out.join(" | ").toStdString();
    };

    zt::TScratchDir tmp;
    const QString linkPath = tmp.File("ttyCounter");
    auto sim = std::make_unique<zt::TSimulator>();
    ASSERT_FALSE(sim->Start({"--link", linkPath}).isEmpty());
    port.DeviceOverride = linkPath;
    ASSERT_TRUE(port.SetOpen(true));
    real.Start();

    ASSERT_TRUE(sim->Command("record 14 31 3 2011 1 2 3"));
    ASSERT_TRUE(zt::WaitUntil([&] { return hook.records.size() == 1; }, 5000));

    sim->Stop();
    ASSERT_TRUE(zt::WaitUntil([&] { return real.DeviceLost(); }, 5000));
    EXPECT_FALSE(port.Open());
    // Several ticks with the device gone: still only the one entry.
    zt::WaitUntil([] { return false; }, 3500);
    ASSERT_EQ(log.size(), 1) << texts();
    EXPECT_TRUE(log[0].text.startsWith("Comport lost: ")) << log[0].text.toStdString();
    EXPECT_EQ(log[0].level, 11);
    EXPECT_EQ(portErrors, 1);

    sim = std::make_unique<zt::TSimulator>();
    ASSERT_FALSE(sim->Start({"--link", linkPath}).isEmpty());
    ASSERT_TRUE(sim->Command("record 15 31 3 2011 4 5 6"));
    EXPECT_TRUE(zt::WaitUntil([&] { return hook.records.size() == 2; }, 10000));
    EXPECT_TRUE(port.Open());
    EXPECT_FALSE(real.DeviceLost());
    EXPECT_EQ(log.size(), 1) << texts();
    real.Stop();
}

} // namespace
