#pragma once
// A log record as the counter sent it: the payload of a LogRecord or
// LogRecordExt frame decoded into plain values. Fixed storage, so decoding a
// record allocates nothing.
#include <array>
#include <cstdint>
#include "config/Settings.h"

namespace za {

class TRxTxBuffer;

struct TLogRecordData {
    int variant = 0;              // 0 LogRecord; 100 + subtype for LogRecordExt
    int minute = 0, hour = 0, day = 0, month = 0, year = 0;
    int channelCount = 0;         // counts[0 .. channelCount-1] hold the counts
    std::array<int, kMaxChannels> counts{};
    int recordSum = 0;            // sum of the counts as received
    bool complete = false;        // false: the payload was too short for the channels
    // The frame's type and payload as received: what identifies a repeated
    // record, and what a record too short to decode is reported as.
    uint8_t type = 0;
    int payloadSize = 0;
    std::array<uint8_t, 250> payload{};
};

// Decodes the frame at the front of rx (variant 0 for LogRecord, 100 for
// LogRecordExt) for `channels` counts (1..kMaxChannels). Always fills type and
// payload; the values only when the payload holds all of them.
void DecodeLogRecord(TRxTxBuffer& rx, int variant, int channels, TLogRecordData& out);

} // namespace za
