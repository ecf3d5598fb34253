#include "LogRecord.h"
#include <algorithm>
#include <cstring>
#include "RxTxBuffer.h"

namespace za {

void DecodeLogRecord(TRxTxBuffer& rx, int variant, int channels, TLogRecordData& out) {
    constexpr int kFrameOverhead = 5;   // STX, LEN, TYPE, CHK, ETX
    const int n = std::clamp(channels, 1, kMaxChannels);
    out.type = rx.FrameType();
    out.payloadSize = std::clamp(int(rx.FrameLength()) - kFrameOverhead, 0, int(out.payload.size()));
    std::memcpy(out.payload.data(), rx.Data + 3, size_t(out.payloadSize));
    out.complete = false;
    out.channelCount = n;
    out.minute = out.hour = out.day = out.month = out.year = 0;
    out.recordSum = 0;
    std::fill(out.counts.begin(), out.counts.end(), 0);

    rx.BeginRead();
    int v = variant;
    if (variant == 100) v += rx.ReadByte();
    out.variant = v;
    const int needed = v == 100 ? 9 + 2 * n : (variant == 100 ? 6 : 5) + 2 * n;
    // Counts beyond the payload are unknown: such a record is not decoded.
    if (out.payloadSize < needed) return;
    if (v == 100) {
        rx.ReadByte();   // not used
        out.minute = rx.ReadByte();
    }
    out.hour = rx.ReadByte();
    out.day = rx.ReadByte();
    out.month = rx.ReadByte();
    out.year = rx.ReadWord();
    if (v == 100) rx.ReadByte();   // channel count of the counter; the settings decide
    for (int i = 0; i < n; ++i) {
        out.counts[size_t(i)] = rx.ReadWord();
        out.recordSum += out.counts[size_t(i)];
    }
    out.complete = true;
}

} // namespace za
