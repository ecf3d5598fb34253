// Arbitrary bytes through the receive path: buffer, frame test, dispatch with
// handlers that read more payload than any frame has, nested data events and
// failing handlers. Any sanitizer report or broken invariant is a finding.
#include <QCoreApplication>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include "config/Clock.h"
#include "link/CounterLink.h"

using namespace za;

namespace {

#define CHECK(cond) do { if (!(cond)) { fprintf(stderr, "broken: %s\n", #cond); abort(); } } while (0)

const uint8_t* g_rest = nullptr;   // input not yet fed, for nested data events
size_t g_restSize = 0;

class TGreedyHandlers : public TCounterHandlers {
public:
    explicit TGreedyHandlers(TCounterLink& link) : link_(link) {}
    void HandleLogRecord(const TLogRecordData&) override { ReadAll(); }
    void HandleAlarm() override { ReadAll(); }
    void ApplyRfSetup() override { ReadAll(); }
    void SetInputSetup(const QVector<uint8_t>& b) override { CHECK(b.size() == link_.ChannelCount()); }

private:
    void ReadAll() {
        TRxTxBuffer& rx = *link_.RxBuffer();
        const int frameEnd = rx.FrameLength() - 2;
        CHECK(rx.FrameLength() >= 5 && rx.Count >= rx.FrameLength());
        const uint8_t first = rx.PayloadRemaining() > 0 ? rx.Data[3] : 0;
        // More reads of every kind than the payload can satisfy.
        for (int i = 0; i < 300; ++i) {
            switch ((first + i) % 3) {
            case 0: rx.ReadByte(); break;
            case 1: rx.ReadWord(); break;
            default: rx.ReadString(); break;
            }
            CHECK(rx.ReadPos <= frameEnd);
            CHECK(rx.PayloadRemaining() >= 0);
        }
        if (first == 0xAA && g_restSize > 0) {
            // A data event inside the handler, as in a modal box's loop.
            const size_t n = g_restSize < 7 ? g_restSize : 7;
            link_.ReceiveFrom(g_rest, int(n));
            g_rest += n;
            g_restSize -= n;
            CHECK(rx.FrameLength() - 2 == frameEnd);
        }
        if (first == 0xEE) throw std::runtime_error("handler failed");
    }
    TCounterLink& link_;
};

void CheckFront(const TRxTxBuffer& rx) {
    CHECK(rx.Count >= 0 && rx.Count <= TRxTxBuffer::kSize);
    CHECK(rx.Count == 0 || rx.Data[0] == 0x02);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static TFixedClock clock;
    TCounterLink link(nullptr, &clock);
    TGreedyHandlers handlers(link);
    link.SetHandlers(&handlers);
    link.SetChannelCount(data[0] % 9);
    link.SetRunning(true);
    // Pauses of the line now and then, so that cut frames are dropped too.
    qint64 now = 0;
    link.RxBuffer()->MonotonicMs = [&now] { return now; };
    const size_t piece = data[1] % 64 + 1;
    g_rest = data + 2;
    g_restSize = size - 2;
    while (g_restSize > 0) {
        const size_t n = g_restSize < piece ? g_restSize : piece;
        const uint8_t* p = g_rest;
        g_rest += n;
        g_restSize -= n;
        if (n % 7 == 0) now += 1000;
        link.ReceiveFrom(p, int(n));
        CheckFront(*link.RxBuffer());
        // Passes with no new bytes, as the re-announce gives them.
        for (int i = 0; i < 512 && link.RxBuffer()->Count > 0; ++i) {
            const int before = link.RxBuffer()->Count;
            link.ReceiveFrom(nullptr, 0);
            CheckFront(*link.RxBuffer());
            if (link.RxBuffer()->Count == before) break;
        }
        if (n % 5 == 0) link.RxBuffer()->TimeoutTick();
    }
    return 0;
}
