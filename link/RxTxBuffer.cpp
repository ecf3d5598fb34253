#include "RxTxBuffer.h"
#include "SerialIo.h"
#include <QTimer>
#include <chrono>
#include <cstring>

namespace za {

namespace {
constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;

qint64 SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
}

TRxTxBuffer::TRxTxBuffer(bool withTimeout, QObject* parent) : QObject(parent) {
    if (withTimeout) {
        TimeoutTimer = new QTimer(this);
        TimeoutTimer->setInterval(100);
        connect(TimeoutTimer, &QTimer::timeout, this, &TRxTxBuffer::TimeoutTick);
        TimeoutTimer->start();
    }
}

TRxTxBuffer::~TRxTxBuffer() {
    if (TimeoutTimer) TimeoutTimer->stop();
}

// ---- transmit side -------------------------------------------------------

void TRxTxBuffer::NewFrame(uint8_t type) {
    Data[0] = kStx;
    Data[1] = 3;          // placeholder until EndFrame
    Data[2] = type;
    Count = 3;
}

void TRxTxBuffer::AddByte(uint8_t value) {
    // Keep room for CHK and ETX; a builder never comes near this.
    if (Count < 0) Count = 0;
    if (Count < kSize - 2) Data[Count++] = value;
}

void TRxTxBuffer::AddWord(uint16_t value) {
    AddByte(uint8_t(value & 0xFF));
    AddByte(uint8_t(value >> 8));
}

void TRxTxBuffer::EndFrame() {
    if (Count < 0) Count = 0;
    if (Count > kSize - 2) Count = kSize - 2;
    Data[1] = uint8_t((Count + 2) & 0xFF);
    unsigned s = kEtx;
    for (int i = 0; i < Count; ++i) s += Data[i];
    Data[Count] = uint8_t((256 - (s & 0xFF)) & 0xFF);
    Data[Count + 1] = kEtx;
    Count += 2;
}

int TRxTxBuffer::SendFrame(TSerialIo* port, QString* error) {
    if (!port) return -1;
    if (!port->IsOpen()) return -2;
    const int n = qBound(0, int(Count), int(kSize));
    for (int i = 0; i < n; ++i) {
        if (!port->PutChar(Data[i], error)) return -3;
    }
    return 0;
}

// ---- receive side --------------------------------------------------------

int TRxTxBuffer::GapForBaud(int baud) {
    if (baud <= 0) baud = 1200;
    const int byteMs = (10 * 1000 + baud - 1) / baud;
    return 4 * byteMs + 100;
}

void TRxTxBuffer::RestartGap() { LastByteMs = MonotonicMs ? MonotonicMs() : SteadyMs(); }

void TRxTxBuffer::NoteGap() {
    // Bytes the buffer had no room for waited in the port: no pause there.
    if (Count <= 0 || LeftBehind) return;
    const qint64 now = MonotonicMs ? MonotonicMs() : SteadyMs();
    if (now - LastByteMs > FrameGapMs) GapMark = Count;
}

template <class Next>
int TRxTxBuffer::Take(int n, Next next) {
    if (Count < 0) Count = 0;
    if (Count > kSize) Count = kSize;
    if (n <= 0) return 0;
    NoteGap();
    int taken = 0;
    while (taken < n && Count < kSize) {
        const uint8_t b = next();
        ++taken;
        if (Count == 0 && b != kStx) continue;   // outside a frame: skip to a start byte
        Data[Count++] = b;
    }
    LeftBehind = taken < n;
    RestartGap();
    TimeoutCountdown = TimeoutTicks;
    return taken;
}

int TRxTxBuffer::ReceiveBytes(TSerialIo& port, int n) {
    return Take(n, [&port] { return port.GetChar(); });
}

int TRxTxBuffer::ReceiveFrom(const uint8_t* bytes, int n) {
    if (!bytes) return 0;
    return Take(n, [&bytes] { return *bytes++; });
}

void TRxTxBuffer::CutFrame() {
    SkipToNextStart();
    Status = fsFrameError;
}

bool TRxTxBuffer::FrameReady() {
    Status = fsNone;
    if (Count <= 0) return false;
    // Only the start byte came before the pause: whatever follows is not its rest.
    if (GapMark == 1) {
        CutFrame();
        return false;
    }
    if (Count <= 1) return false;
    const int len = Data[1];
    if (len > MaxFrameLength || len > kSize || len < 5) {
        SkipToNextStart();
        Status = fsFrameError;
        return false;
    }
    // The frame began before a pause and would need bytes from after it.
    if (GapMark > 0 && len > GapMark) {
        CutFrame();
        return false;
    }
    if (Count < len) return false;
    if (Data[len - 1] != kEtx) {
        SkipToNextStart();
        Status = fsFrameError;
        return false;
    }
    unsigned s = 0;
    for (int i = 0; i < len; ++i) s += Data[i];
    if ((s & 0xFF) == 0) {
        Status = fsOk;
        return true;
    }
    SkipToNextStart();
    Status = fsChecksumError;
    return false;
}

int TRxTxBuffer::PayloadRemaining() const {
    // The payload ends at the checksum byte of the frame at the front; never
    // beyond the bytes actually held.
    int end = int(Data[1]) - 2;
    if (end > Count) end = Count;
    if (end > kSize) end = kSize;
    const int left = end - ReadPos;
    return left > 0 && ReadPos >= 0 ? left : 0;
}

uint8_t TRxTxBuffer::ReadByte() {
    if (PayloadRemaining() <= 0) return 0;
    return Data[ReadPos++];
}

int16_t TRxTxBuffer::ReadWord() {
    const uint8_t lo = ReadByte();
    const uint8_t hi = ReadByte();
    return int16_t(uint16_t(lo | (hi << 8)));
}

QString TRxTxBuffer::ReadString() {
    // A text missing its 0 byte ends with the payload.
    const int left = PayloadRemaining();
    if (left <= 0) return QString();
    const uint8_t* p = Data + ReadPos;
    const void* z = std::memchr(p, 0, size_t(left));
    const int len = z ? int(static_cast<const uint8_t*>(z) - p) : left;
    ReadPos += z ? len + 1 : len;
    return QString::fromLatin1(reinterpret_cast<const char*>(p), len);
}

void TRxTxBuffer::Discard(int n) {
    if (n <= 0) return;
    if (Count > kSize) Count = kSize;
    if (n >= Count) {
        Clear();
        return;
    }
    // Bytes between a frame and the next start byte are noise; left at the
    // front they would be taken for a frame and hold up the one behind them.
    const void* start = std::memchr(Data + n, kStx, size_t(Count - n));
    if (!start) {
        Clear();
        return;
    }
    n = int(static_cast<const uint8_t*>(start) - Data);
    std::memmove(Data, Data + n, size_t(Count - n));
    Count -= n;
    GapMark = GapMark > n ? GapMark - n : 0;
}

void TRxTxBuffer::Clear() {
    Count = 0;
    GapMark = 0;
}

void TRxTxBuffer::SkipToNextStart() {
    const int n = qMin(int(Count), int(kSize));
    for (int i = 1; i < n; ++i) {
        if (Data[i] == kStx) {
            Discard(i);
            return;
        }
    }
    Clear();
}

void TRxTxBuffer::TimeoutTick() {
    // Counts down only while the frame at the front is incomplete; a complete
    // one waiting for its handler is never timed out.
    const bool partial = Count > 0 && (Count < 2 || Count < Data[1]);
    if (!partial || TimeoutCountdown <= 0) return;
    if (--TimeoutCountdown > 0) return;
    // Nothing came for a second, so nothing held can still be completed. Drop
    // frame by frame, as far as the next start byte each time: a complete
    // frame behind a false start stays.
    GapMark = Count;
    for (int before = Count + 1; Count > 0 && Count < before;) {
        before = Count;
        if (FrameReady()) break;
    }
    Status = fsFrameError;
    if (Count > 0) emit FrameWaiting();
}

} // namespace za
