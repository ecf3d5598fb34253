// The dispatcher fed from memory: what each message type leads to, and that
// every frame reaches its handler exactly once.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QStringList>
#include <stdexcept>
#include "config/Clock.h"
#include "link/CounterLink.h"
#include "support/TestSupport.h"

using namespace za;

namespace {

QByteArray Hex(const char* spaced) { return QByteArray::fromHex(QByteArray(spaced)); }

using zt::Frame;

// Writes down every call as text.
class TTrace : public TCounterHandlers {
public:
    explicit TTrace(TCounterLink& link) : link_(link) {}
    void HandleLogRecord(const TLogRecordData& r) override {
        calls << QStringLiteral("record %1 first %2").arg(r.variant).arg(r.payloadSize > 0 ? r.payload[0] : -1);
        if (onRecord) onRecord();
    }
    void HandleAlarm() override { calls << QStringLiteral("alarm %1").arg(link_.RxBuffer()->ReadByte()); }
    void SetInputSetup(const QVector<uint8_t>& b) override {
        QStringList s;
        for (uint8_t v : b) s << QString::number(v);
        calls << "inputs " + s.join(' ');
    }
    void SetLogInterval(int m) override { calls << QStringLiteral("interval %1").arg(m); }
    void SetSetupFormat(int f) override { calls << QStringLiteral("format %1").arg(f); }
    void ApplyRfSetup() override { calls << QStringLiteral("rf %1").arg(uint16_t(link_.RxBuffer()->ReadWord())); }
    void ReportWrongChannelCount() override { calls << "Wrong number of channels"; }
    void ReportHandlerFailure(const QString& what) override { calls << "failed: " + what; }

    QStringList calls;
    std::function<void()> onRecord;

private:
    TCounterLink& link_;
};

struct TLinkFixture : ::testing::Test {
    TFixedClock clock{QDateTime(QDate(2011, 3, 31), QTime(14, 5, 9))};
    TCounterLink link{nullptr, &clock};
    TTrace trace{link};
    void SetUp() override {
        link.SetHandlers(&trace);
        link.SetRunning(true);
    }
    void Receive(const QByteArray& bytes) {
        link.ReceiveFrom(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
    }
    QByteArray Sent() {
        return QByteArray(reinterpret_cast<const char*>(link.TxBuffer()->Data), link.TxBuffer()->Count);
    }
};

} // namespace

TEST_F(TLinkFixture, EachMessageTypeReachesItsReaction) {
    struct {
        const char* name;
        QByteArray bytes;
        QStringList calls;
    } cases[] = {
        {"LogRecord", Frame(msg::LogRecord, Hex("0E 1F 03 DB 07 01 00")), {"record 0 first 14"}},
        {"LogRecordExt", Frame(msg::LogRecordExt, Hex("00 05 0E")), {"record 100 first 0"}},
        {"AlarmInput", Frame(msg::AlarmInput, Hex("02")), {"alarm 2"}},
        {"SetupData", Frame(msg::SetupData, Hex("01 03 05")), {"inputs 1 3 5", "format 0"}},
        {"SetupDataExt", Frame(msg::SetupDataExt, Hex("00 03 01 03 05 0F")),
         {"inputs 1 3 5", "interval 15", "format 100"}},
        {"SetupDataExt, 4 channels", Frame(msg::SetupDataExt, Hex("00 04 01 03 05 0F 00")),
         {"Wrong number of channels"}},
        {"RfSetupData", Frame(msg::RfSetupData, Hex("D2 04 01 00 02 03 04")), {"rf 1234"}},
        {"type 99, then Ack in the same pass", Frame(99, Hex("01 02")) + Frame(msg::Ack), {}},
    };
    for (auto& c : cases) {
        trace.calls.clear();
        link.SetupReceived = false;
        link.AckReceived = false;
        Receive(c.bytes);
        EXPECT_EQ(trace.calls, c.calls) << c.name;
        EXPECT_EQ(link.RxBuffer()->Count, 0) << c.name << ": every frame is removed";
        EXPECT_EQ(link.SetupReceived, c.calls.contains("format 0") || c.calls.contains("format 100")) << c.name;
    }
    EXPECT_TRUE(link.AckReceived) << "the Ack behind type 99";

    Receive(Frame(msg::Nak));
    EXPECT_TRUE(link.NakReceived);

    Receive(Frame(msg::FwInfo, QByteArray("1.05\0" "2011-03-31\0", 16)));
    EXPECT_TRUE(link.FwInfoReceived);
    EXPECT_EQ(link.FwVersion, "1.05");
    EXPECT_EQ(link.FwDate, "2011-03-31");
}

TEST_F(TLinkFixture, ClockRequestIsAnsweredWithTheLocalTime) {
    Receive(Hex("02 05 11 E5 03"));
    EXPECT_EQ(Sent(), Hex("02 0B 12 0B 03 1F 0E 05 09 95 03"));
    link.SendAck();
    EXPECT_EQ(Sent(), Hex("02 05 06 F0 03"));
}

TEST_F(TLinkFixture, NothingIsDispatchedBeforeTheRunningFlag) {
    link.SetRunning(false);
    Receive(Frame(msg::Ack));
    EXPECT_FALSE(link.AckReceived);
    EXPECT_EQ(link.RxBuffer()->Count, 0);
}

TEST_F(TLinkFixture, AGoodFrameBehindADroppedOneIsTakenWithoutFurtherBytes) {
    Receive(Hex("02 05 06 F1 03") + Frame(msg::LogRecord, Hex("0E")));
    EXPECT_TRUE(trace.calls.isEmpty()) << "not in the pass that dropped the bad frame";
    ASSERT_TRUE(zt::WaitUntil([&] { return !trace.calls.isEmpty(); }, 2000));
    EXPECT_EQ(trace.calls.join(", ").toStdString(), "record 0 first 14");
}

TEST_F(TLinkFixture, AFailingHandlerStillHandlesItsFrameOnce) {
    trace.onRecord = [&] {
        if (trace.calls.size() == 1) throw std::runtime_error("disk full");
    };
    Receive(Frame(msg::LogRecord, Hex("01")) + Frame(msg::LogRecord, Hex("02")));
    Receive(QByteArray());
    EXPECT_EQ(trace.calls, (QStringList{"record 0 first 1", "failed: disk full", "record 0 first 2"}));
    EXPECT_EQ(link.RxBuffer()->Count, 0);
}

TEST_F(TLinkFixture, BytesReceivedInsideAHandlerWaitForItToReturn) {
    // The handler runs a nested loop (as a modal box does) in which more data
    // arrives; the frame it works on must neither be handed on again nor be
    // overwritten while it reads.
    trace.onRecord = [&] {
        if (trace.calls.size() > 1) return;
        Receive(Frame(msg::LogRecord, Hex("02")));
        QCoreApplication::processEvents();
        EXPECT_EQ(trace.calls.size(), 1);
        link.RxBuffer()->BeginRead();
        EXPECT_EQ(link.RxBuffer()->ReadByte(), 1) << "the first frame is still at the front";
        EXPECT_EQ(link.RxBuffer()->ReadByte(), 0) << "and its payload still bounded";
    };
    Receive(Frame(msg::LogRecord, Hex("01")));
    ASSERT_TRUE(zt::WaitUntil([&] { return trace.calls.size() >= 2; }, 2000));
    QCoreApplication::processEvents();
    EXPECT_EQ(trace.calls, (QStringList{"record 0 first 1", "record 0 first 2"}));
}

TEST_F(TLinkFixture, EveryFrameReceivedFromMemoryIsDispatchedOnceInOrder) {
    // More than the buffer holds, at once and from inside a handler's nested
    // loop: nothing may be overwritten or lost.
    auto records = [](int from, int n) {
        QByteArray bytes;
        for (int i = from; i < from + n; ++i) bytes += Frame(msg::LogRecord, QByteArray(1, char(i)) + Hex("1F 03 DB 07 01 00 02 00 03 00"));
        return bytes;
    };
    auto expected = [](int n) {
        QStringList calls;
        for (int i = 0; i < n; ++i) calls << QStringLiteral("record 0 first %1").arg(i);
        return calls.join('\n').toStdString();
    };

    Receive(records(0, 60));
    EXPECT_EQ(trace.calls.join('\n').toStdString(), expected(60)) << "sixty records in one event";

    trace.calls.clear();
    trace.onRecord = [&] {
        if (trace.calls.size() == 1) Receive(records(1, 59));
    };
    Receive(records(0, 1));
    ASSERT_TRUE(zt::WaitUntil([&] { return trace.calls.size() >= 60; }, 2000));
    EXPECT_EQ(trace.calls.join('\n').toStdString(), expected(60)) << "fifty-nine records inside the first one's handler";
    EXPECT_EQ(link.RxBuffer()->Count, 0);
}

TEST_F(TLinkFixture, ACutFrameDoesNotJoinTheRecordAfterIt) {
    qint64 now = 0;
    link.RxBuffer()->MonotonicMs = [&now] { return now; };
    Receive(Hex("02 10 10 0B 0C 02 29 08 E3 6F"));   // cut after its first count
    now += 500;
    Receive(Frame(msg::LogRecord, Hex("0E 0F 03 DB 07 01 00 02 00 03 00")));
    zt::WaitUntil([] { return false; }, 50);        // passes behind dropped bytes
    EXPECT_EQ(trace.calls.join(", ").toStdString(), "record 0 first 14") << "no record of the year 2089";
    EXPECT_EQ(link.RxBuffer()->Count, 0);
}

TEST_F(TLinkFixture, ARecordBehindAFalseStartIsDispatchedAtTheTimeOut) {
    Receive(Hex("02 40") + Frame(msg::LogRecord, Hex("0E 0F 03 DB 07 01 00 02 00 03 00")));
    EXPECT_TRUE(trace.calls.isEmpty());
    for (int i = 0; i < 10; ++i) link.RxBuffer()->TimeoutTick();
    ASSERT_TRUE(zt::WaitUntil([&] { return !trace.calls.isEmpty(); }, 2000)) << "no further bytes needed";
    EXPECT_EQ(trace.calls.join(", ").toStdString(), "record 0 first 14");
}
