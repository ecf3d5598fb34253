// Frames through a real port on a pseudo-terminal: however many bytes wait in
// the port at once, each frame reaches its handler once and in order.
#include <gtest/gtest.h>
#include "config/Clock.h"
#include "link/ComPort.h"
#include "link/CounterLink.h"
#include "support/Pty.h"
#include "support/TestSupport.h"

using namespace za;

namespace {

class THours : public TCounterHandlers {
public:
    void HandleLogRecord(const TLogRecordData& record) override { hours << record.hour; }
    QVector<int> hours;
};

} // namespace

TEST(PortFrames, SixtyRecordsWaitingInThePortAreAllHandled) {
    // As after a stall of the program: sixty records in the port before it
    // reads any, ten times what the receive buffer holds.
    zt::TPty pty;
    ASSERT_FALSE(pty.Slave().isEmpty());
    TFixedClock clock;
    TComPort port;
    port.DeviceOverride = pty.Slave();
    QString error;
    ASSERT_TRUE(port.SetOpen(true, &error)) << error.toStdString();
    TCounterLink link(&port, &clock);
    THours handlers;
    link.SetHandlers(&handlers);

    QByteArray sixty;
    QVector<int> expected;
    for (int i = 0; i < 60; ++i) {
        sixty += zt::Frame(msg::LogRecord, QByteArray(1, char(i % 24)) + QByteArray::fromHex("1F03DB07010002000300"));
        expected << i % 24;
    }
    ASSERT_TRUE(pty.Write(sixty));
    ASSERT_TRUE(zt::WaitUntil([&] { return port.BytesAvailable() == sixty.size(); }, 3000));

    link.SetRunning(true);
    ASSERT_TRUE(zt::WaitUntil([&] { return handlers.hours.size() >= 60; }, 3000)) << handlers.hours.size() << " handled";
    zt::WaitUntil([] { return false; }, 100);
    EXPECT_EQ(handlers.hours, expected);
    EXPECT_EQ(port.BytesAvailable(), 0);
    EXPECT_EQ(link.RxBuffer()->Count, 0);
}
