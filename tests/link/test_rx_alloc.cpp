// The receive path must not touch the heap: an unattended logger runs for
// years, one frame at a time. Global new/delete and malloc count calls here.
#include <gtest/gtest.h>
#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>
#include <QByteArray>
#include <QObject>
#include "link/CounterLink.h"

namespace {
std::atomic<long> g_allocations{0};
}

// Qt's containers take memory with malloc, everything else with operator new:
// count both. The C allocator is glibc's own underneath.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);

void* malloc(std::size_t n) {
    ++g_allocations;
    return __libc_malloc(n);
}
void* calloc(std::size_t n, std::size_t m) {
    ++g_allocations;
    return __libc_calloc(n, m);
}
void* realloc(void* p, std::size_t n) {
    ++g_allocations;
    return __libc_realloc(p, n);
}
void free(void* p) { __libc_free(p); }
}

void* operator new(std::size_t n) {
    ++g_allocations;
    if (void* p = __libc_malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    ++g_allocations;
    return __libc_malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { __libc_free(p); }
void operator delete[](void* p) noexcept { __libc_free(p); }
void operator delete(void* p, std::size_t) noexcept { __libc_free(p); }
void operator delete[](void* p, std::size_t) noexcept { __libc_free(p); }

namespace {

class TReadingHandlers : public za::TCounterHandlers {
public:
    explicit TReadingHandlers(za::TCounterLink& link) : link_(link) {}
    void HandleLogRecord(const za::TLogRecordData&) override { ++records; Drain(); }
    void HandleAlarm() override { ++alarms; Drain(); }
    long sum = 0;
    int records = 0, alarms = 0;
private:
    void Drain() {
        while (link_.RxBuffer()->PayloadRemaining() > 0) sum += link_.RxBuffer()->ReadByte();
    }
    za::TCounterLink& link_;
};

} // namespace

TEST(ReceivePath, TenThousandFramesAllocateNothing) {
    za::TCounterLink link(nullptr, nullptr);
    TReadingHandlers handlers(link);
    link.SetHandlers(&handlers);
    link.SetRunning(true);

    // A stream of record, extended record, alarm, Ack, Nak and unknown frames.
    std::vector<uint8_t> stream;
    za::TRxTxBuffer tx(false);
    const uint8_t types[] = {16, 38, 19, 6, 7, 99};
    for (int i = 0; i < 10000; ++i) {
        tx.NewFrame(types[i % 6]);
        for (int k = 0; k < (i % 6 < 3 ? 10 : 0); ++k) tx.AddByte(uint8_t(i + k));
        tx.EndFrame();
        stream.insert(stream.end(), tx.Data, tx.Data + tx.Count);
    }
    {
        long b = g_allocations.load();
        { QObject o; }
        ASSERT_GT(g_allocations.load() - b, 0) << "the counting operator new is not in use";
        b = g_allocations.load();
        { QByteArray a(64, 'x'); }
        ASSERT_GT(g_allocations.load() - b, 0) << "the counting malloc is not in use";
    }
    const long before = g_allocations.load();
    // Pieces of 1 to 37 bytes, so frames straddle data events.
    for (size_t pos = 0, step = 1; pos < stream.size(); pos += step, step = step % 37 + 1) {
        const int n = int(std::min(step, stream.size() - pos));
        link.ReceiveFrom(stream.data() + pos, n);
    }
    const long during = g_allocations.load() - before;

    EXPECT_EQ(during, 0);
    EXPECT_EQ(handlers.records, 3334);     // types 16 and 38
    EXPECT_EQ(handlers.alarms, 1667);
    EXPECT_TRUE(link.AckReceived && link.NakReceived);
    EXPECT_GT(handlers.sum, 0);
    EXPECT_EQ(link.RxBuffer()->Count, 0);
}
