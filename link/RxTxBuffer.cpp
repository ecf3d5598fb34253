#include "RxTxBuffer.h"
#include "SerialIo.h"
#include <QTimer>
#include <cstring>

namespace za {

namespace {
constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr int kLast = TRxTxBuffer::kSize - 1;   // the slot that further bytes overwrite
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

void TRxTxBuffer::StoreByte(uint8_t b) {
    if (Count == 0 && b != kStx) return;   // outside a frame: skip to a start byte
    Data[Count] = b;
    ++Count;
    if (Count > kLast) Count = kLast;
}

void TRxTxBuffer::ReceiveBytes(TSerialIo& port, int n) {
    if (Count < 0) Count = 0;
    if (Count > kLast) Count = kLast;
    for (int i = 0; i < n; ++i) StoreByte(port.GetChar());
    TimeoutCountdown = TimeoutTicks;
}

void TRxTxBuffer::ReceiveFrom(const uint8_t* bytes, int n) {
    if (Count < 0) Count = 0;
    if (Count > kLast) Count = kLast;
    if (bytes)
        for (int i = 0; i < n; ++i) StoreByte(bytes[i]);
    TimeoutCountdown = TimeoutTicks;
}

bool TRxTxBuffer::FrameReady() {
    Status = fsNone;
    if (Count <= 1) return false;
    const int len = Data[1];
    if (len > MaxFrameLength || len < 5) {
        SkipToNextStart();
        Status = fsFrameError;
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
        Count = 0;
        return;
    }
    // Bytes between a frame and the next start byte are noise; left at the
    // front they would be taken for a frame and hold up the one behind them.
    const void* start = std::memchr(Data + n, kStx, size_t(Count - n));
    if (!start) {
        Count = 0;
        return;
    }
    n = int(static_cast<const uint8_t*>(start) - Data);
    std::memmove(Data, Data + n, size_t(Count - n));
    Count -= n;
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
    if (Count > 0 && Count < Data[1] && TimeoutCountdown > 0) {
        --TimeoutCountdown;
        if (TimeoutCountdown == 0) {
            Clear();
            Status = fsFrameError;
        }
    }
}

} // namespace za
