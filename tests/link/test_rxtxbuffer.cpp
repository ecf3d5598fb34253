// The frame buffer on its own: building frames, the receive state machine,
// bounded payload reads and the time-out.
#include <gtest/gtest.h>
#include <QByteArray>
#include <QVector>
#include "link/ComPort.h"
#include "link/RxTxBuffer.h"
#include "support/TestSupport.h"

using za::TRxTxBuffer;

namespace {

QByteArray Hex(const char* spaced) { return QByteArray::fromHex(QByteArray(spaced)); }

QByteArray Held(const TRxTxBuffer& b) {
    return QByteArray(reinterpret_cast<const char*>(b.Data), b.Count);
}

void Feed(TRxTxBuffer& b, const QByteArray& bytes) {
    b.ReceiveFrom(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
}

// Collects every frame the receive loop would hand on, in one pass.
QVector<QByteArray> Pass(TRxTxBuffer& b) {
    QVector<QByteArray> out;
    while (b.FrameReady()) {
        out << QByteArray(reinterpret_cast<const char*>(b.Data), b.FrameLength());
        b.Discard(b.FrameLength());
    }
    return out;
}

struct TBuilt {
    const char* name;
    uint8_t type;
    QVector<uint8_t> payload;
    const char* wire;
};

} // namespace

TEST(RxTxBuffer, BuildsTheFramesOfTheProtocol) {
    const TBuilt cases[] = {
        {"Ack", 6, {}, "02 05 06 F0 03"},
        {"ReadSetup", 20, {}, "02 05 14 E2 03"},
        {"TestMode on", 35, {0x01}, "02 06 23 01 D1 03"},
        {"SetClock 2011-03-31 14:05:09", 18, {11, 3, 31, 14, 5, 9}, "02 0B 12 0B 03 1F 0E 05 09 95 03"},
    };
    TRxTxBuffer tx(false);
    for (const auto& c : cases) {
        tx.AddByte(0xEE);                 // leftovers are abandoned by NewFrame
        tx.NewFrame(c.type);
        for (uint8_t b : c.payload) tx.AddByte(b);
        tx.EndFrame();
        EXPECT_EQ(Held(tx), Hex(c.wire)) << c.name;
        // and the receiver accepts exactly what was built
        TRxTxBuffer rx(false);
        Feed(rx, Held(tx));
        EXPECT_TRUE(rx.FrameReady()) << c.name;
        EXPECT_EQ(rx.Status, za::fsOk);
    }
}

TEST(RxTxBuffer, WordsAreLowByteFirst) {
    TRxTxBuffer tx(false);
    tx.NewFrame(99);
    tx.AddWord(1234);
    tx.AddWord(0xFFFF);
    EXPECT_EQ(Held(tx).mid(3), Hex("D2 04 FF FF"));
    tx.EndFrame();

    TRxTxBuffer rx(false);
    Feed(rx, Held(tx));
    ASSERT_TRUE(rx.FrameReady());
    rx.BeginRead();
    EXPECT_EQ(rx.ReadWord(), 1234);
    EXPECT_EQ(uint16_t(rx.ReadWord()), 0xFFFF);   // -1 as signed, 65535 as unsigned
}

TEST(RxTxBuffer, SkipsNoiseAndAcceptsAFrameArrivingInPieces) {
    TRxTxBuffer rx(false);
    Feed(rx, Hex("00 11 02 05 06 F0 03"));
    EXPECT_EQ(Held(rx), Hex("02 05 06 F0 03"));
    EXPECT_EQ(Pass(rx), QVector<QByteArray>{Hex("02 05 06 F0 03")});
    EXPECT_EQ(rx.Status, za::fsNone);   // the test after the frame found nothing
    EXPECT_EQ(rx.Count, 0);

    const QByteArray ack = Hex("02 05 06 F0 03");
    for (int i = 0; i < ack.size(); ++i) {
        Feed(rx, ack.mid(i, 1));
        if (i < ack.size() - 1) {
            EXPECT_FALSE(rx.FrameReady()) << "after byte " << i;
            EXPECT_EQ(rx.Count, i + 1) << "nothing may be dropped while incomplete";
        }
    }
    EXPECT_TRUE(rx.FrameReady());
    EXPECT_EQ(rx.Status, za::fsOk);
}

TEST(RxTxBuffer, TwoFramesInOneEventAreBothAcceptedInOrder) {
    // Noise between the frames must not be taken for the start of the second
    // one (a length byte of 0x31 would hold it up for 49 bytes).
    for (const char* between : {"", "30 31", "FF"}) {
        TRxTxBuffer rx(false);
        Feed(rx, Hex("02 05 06 F0 03") + Hex(between) + Hex("02 05 07 EF 03"));
        const auto frames = Pass(rx);
        ASSERT_EQ(frames.size(), 2) << "noise: " << between;
        EXPECT_EQ(uint8_t(frames[0][2]), 6);
        EXPECT_EQ(uint8_t(frames[1][2]), 7);
    }
}

TEST(RxTxBuffer, BadFramesAreDroppedUpToTheNextStart) {
    struct {
        const char* name;
        const char* bytes;
        int status;
    } cases[] = {
        {"length 4", "02 04 06 F1 03", za::fsFrameError},
        {"length 0", "02 00 06", za::fsFrameError},
        {"no end byte", "02 05 06 F0 04", za::fsFrameError},
        {"checksum off by one", "02 05 06 F1 03", za::fsChecksumError},
    };
    const QByteArray good = Hex("02 05 07 EF 03");
    for (const auto& c : cases) {
        TRxTxBuffer rx(false);
        Feed(rx, Hex(c.bytes) + good);
        EXPECT_TRUE(Pass(rx).isEmpty()) << c.name << ": the pass ends at the bad frame";
        EXPECT_EQ(rx.Status, c.status) << c.name;
        EXPECT_EQ(Held(rx), good) << c.name;
        EXPECT_EQ(Pass(rx), QVector<QByteArray>{good}) << c.name << ": accepted at the next pass";
    }
    TRxTxBuffer rx(false);
    Feed(rx, Hex("02 05 06 F1 03 11 22"));
    EXPECT_FALSE(rx.FrameReady());
    EXPECT_EQ(rx.Count, 0) << "no further start byte: everything goes";
}

TEST(RxTxBuffer, TakesOnlyWhatFitsAndNeverOverwritesHeldBytes) {
    // Sixty records at once: the buffer takes what fits, and every frame it
    // took is intact; the rest is the caller's to hand in afterwards.
    QByteArray sixty;
    for (int i = 0; i < 60; ++i) sixty += zt::Frame(16, Hex("0E 1F 03 DB 07 01 00 02 00 03 00").replace(0, 1, QByteArray(1, char(i))));
    TRxTxBuffer rx(false);
    int fed = 0;
    QVector<QByteArray> frames;
    while (fed < sixty.size()) {
        const int took = rx.ReceiveFrom(reinterpret_cast<const uint8_t*>(sixty.constData()) + fed, int(sixty.size()) - fed);
        ASSERT_GT(took, 0);
        EXPECT_LE(rx.Count, TRxTxBuffer::kSize);
        fed += took;
        frames += Pass(rx);
    }
    ASSERT_EQ(frames.size(), 60);
    for (int i = 0; i < 60; ++i) EXPECT_EQ(uint8_t(frames[i][3]), i);

    // Noise that cannot be a frame is rejected once the buffer is full.
    QByteArray flood(1000, '\x55');
    flood[0] = 0x02;
    flood[1] = char(0xFF);
    EXPECT_EQ(rx.ReceiveFrom(reinterpret_cast<const uint8_t*>(flood.constData()), flood.size()), TRxTxBuffer::kSize);
    EXPECT_FALSE(rx.FrameReady());
    EXPECT_EQ(rx.Status, za::fsFrameError);
    EXPECT_EQ(rx.Count, 0);
}

TEST(RxTxBuffer, AFrameNeverSpansAPauseOfTheLine) {
    // A record cut after its first count, then a whole record: taken together
    // they pass every frame test (a record of the year 2089). A counter sends
    // a frame in one go, so bytes that stop for longer than the line ever
    // pauses inside a frame end whatever they had begun.
    const QByteArray cut = Hex("02 10 10 0B 0C 02 29 08 E3 6F");
    const QByteArray record = zt::Frame(16, Hex("0E 0F 03 DB 07 01 00 02 00 03 00"));   // 14:00 15.03.2011
    qint64 now = 1000;
    struct {
        const char* name;
        QByteArray first, second;
        int pauseMs;
        QVector<QByteArray> accepted;
    } cases[] = {
        {"cut frame, pause, whole record", cut, record, 500, {record}},
        {"cut frame, just over the gap", cut, record, 0 /* gap + 1 */, {record}},
        {"one frame in two pieces, just under the gap", record.left(7), record.mid(7), -1 /* gap */, {record}},
        {"a lone start byte, pause, whole record", Hex("02"), record, 500, {record}},
        {"noise start in front of a record, pause, record", Hex("02 40") + record.left(5), record, 300, {record}},
    };
    for (const auto& c : cases) {
        TRxTxBuffer rx(false);
        rx.MonotonicMs = [&now] { return now; };
        rx.FrameGapMs = TRxTxBuffer::GapForBaud(1200);
        const int pause = c.pauseMs > 0 ? c.pauseMs : c.pauseMs == 0 ? rx.FrameGapMs + 1 : rx.FrameGapMs;
        Feed(rx, c.first);
        QVector<QByteArray> got = Pass(rx);
        now += pause;
        Feed(rx, c.second);
        for (int pass = 0; pass < 4; ++pass) got += Pass(rx);   // each drop ends a pass
        EXPECT_EQ(got, c.accepted) << c.name;
        EXPECT_EQ(rx.Count, 0) << c.name;
    }

    // Bytes the buffer had no room for waited in the port: taking them later
    // is no pause of the line, however long the frames in front took.
    TRxTxBuffer rx(false);
    rx.MonotonicMs = [&now] { return now; };
    QByteArray full = Hex("02 05 06 F0 03");   // so that the buffer ends inside a record
    for (int i = 0; i < 33; ++i) full += record;
    const int took = rx.ReceiveFrom(reinterpret_cast<const uint8_t*>(full.constData()), full.size());
    ASSERT_EQ(took, TRxTxBuffer::kSize);
    EXPECT_EQ(Pass(rx).size(), 32);
    now += 5000;
    Feed(rx, full.mid(took));
    EXPECT_EQ(Pass(rx), (QVector<QByteArray>{record, record}));
}

TEST(RxTxBuffer, GapGrowsWithSlowerLines) {
    // Room for a few byte times and a USB bridge's latency, never near the
    // one-second time-out.
    for (int baud : {300, 1200, 9600, 115200}) {
        const int gap = TRxTxBuffer::GapForBaud(baud);
        EXPECT_GE(gap, 3 * 10000 / baud + 50) << baud;
        EXPECT_LE(gap, 500) << baud;
    }
    EXPECT_GT(TRxTxBuffer::GapForBaud(1200), TRxTxBuffer::GapForBaud(9600));
    EXPECT_EQ(TRxTxBuffer::GapForBaud(0), TRxTxBuffer::GapForBaud(1200));
}

TEST(RxTxBuffer, PartialFrameIsDroppedAfterTenSilentTicks) {
    TRxTxBuffer rx(false);
    Feed(rx, Hex("02 0B 12 0B"));
    for (int i = 0; i < 9; ++i) rx.TimeoutTick();
    EXPECT_EQ(rx.Count, 4);
    Feed(rx, Hex("03"));                       // a new byte reloads the countdown
    for (int i = 0; i < 9; ++i) rx.TimeoutTick();
    EXPECT_EQ(rx.Count, 5);
    rx.TimeoutTick();
    EXPECT_EQ(rx.Count, 0);
    EXPECT_EQ(rx.Status, za::fsFrameError);

    // A complete frame waiting for its handler is never timed out.
    Feed(rx, Hex("02 05 06 F0 03"));
    for (int i = 0; i < 20; ++i) rx.TimeoutTick();
    EXPECT_TRUE(rx.FrameReady());
}

TEST(RxTxBuffer, TimeOutDropsOnlyUpToTheNextStartAndReportsAFrameBehind) {
    // A false start (02 40) in front of a whole record: the time-out drops the
    // false start, not the record, and says that a frame stands at the front.
    const QByteArray record = zt::Frame(16, Hex("0E 0F 03 DB 07 01 00 02 00 03 00"));
    struct {
        const char* name;
        QByteArray bytes;
        QVector<QByteArray> left;
        int waits;
    } cases[] = {
        {"false start, record", Hex("02 40") + record, {record}, 1},
        {"false start, record, cut frame", Hex("02 40") + record + record.left(6), {record}, 1},
        {"false start, cut frame with a start byte inside", Hex("02 40 11 02 30 44"), {}, 0},
        {"a lone start byte", Hex("02"), {}, 0},
    };
    for (const auto& c : cases) {
        TRxTxBuffer rx(false);
        int waiting = 0;
        QObject::connect(&rx, &TRxTxBuffer::FrameWaiting, [&] { ++waiting; });
        Feed(rx, c.bytes);
        EXPECT_TRUE(Pass(rx).isEmpty()) << c.name;
        for (int i = 0; i < 10; ++i) rx.TimeoutTick();
        EXPECT_EQ(rx.Status, za::fsFrameError) << c.name;
        EXPECT_EQ(waiting, c.waits) << c.name;
        EXPECT_EQ(Pass(rx), c.left) << c.name;
        EXPECT_EQ(rx.Count, 0) << c.name << ": the cut frame behind is gone too";
    }
}

TEST(RxTxBuffer, ReadsStayInsideTheAcceptedFrame) {
    TRxTxBuffer tx(false);
    tx.NewFrame(24);
    for (char c : QByteArray("1.05")) tx.AddByte(uint8_t(c));
    tx.AddByte(0);
    for (char c : QByteArray("2011-03-31")) tx.AddByte(uint8_t(c));
    tx.AddByte(0);
    tx.EndFrame();

    TRxTxBuffer rx(false);
    // A second frame right behind must not leak into reads of the first.
    Feed(rx, Held(tx) + Hex("02 05 06 F0 03"));
    ASSERT_TRUE(rx.FrameReady());
    rx.BeginRead();
    EXPECT_EQ(rx.ReadString(), "1.05");
    EXPECT_EQ(rx.ReadString(), "2011-03-31");
    EXPECT_EQ(rx.PayloadRemaining(), 0);
    EXPECT_EQ(rx.ReadString(), "");
    EXPECT_EQ(rx.ReadByte(), 0);
    EXPECT_EQ(rx.ReadWord(), 0);

    // A text without its 0 byte ends with the payload.
    TRxTxBuffer rx2(false);
    tx.NewFrame(24);
    tx.AddByte('A');
    tx.AddByte('B');
    tx.EndFrame();
    Feed(rx2, Held(tx) + Hex("02 05 06 F0 03"));
    ASSERT_TRUE(rx2.FrameReady());
    rx2.BeginRead();
    EXPECT_EQ(rx2.ReadString(), "AB");
    EXPECT_EQ(rx2.ReadByte(), 0);
}

TEST(RxTxBuffer, SendFrameNeedsAnOpenPort) {
    TRxTxBuffer tx(false);
    tx.NewFrame(6);
    tx.EndFrame();
    EXPECT_EQ(tx.SendFrame(nullptr), -1);
    za::TComPort closed;
    EXPECT_EQ(tx.SendFrame(&closed), -2);
    EXPECT_EQ(Held(tx), Hex("02 05 06 F0 03")) << "the frame stays in the buffer";
}
