#pragma once
// One frame on the serial line: STX 02, LEN (whole frame, 5..255), TYPE,
// payload, CHK (8-bit sum of the frame is 0), ETX 03. The same class builds
// frames to send and collects received bytes until a checked frame stands at
// its front. Fixed storage: nothing is allocated per frame or per byte.
#include <QObject>
#include <QString>
#include <cstdint>

class QTimer;

namespace za {

class TSerialIo;

enum TFrameStatus { fsNone = 0, fsOk = 1, fsFrameError = 2, fsChecksumError = 3 };

class TRxTxBuffer : public QObject {
    Q_OBJECT
public:
    static constexpr int kSize = 512;

    explicit TRxTxBuffer(bool withTimeout, QObject* parent = nullptr);
    ~TRxTxBuffer() override;

    // Transmit side
    void NewFrame(uint8_t type);
    void AddByte(uint8_t value);
    void AddWord(uint16_t value);
    void EndFrame();
    // -1 no port, -2 port closed, 0 written; -3 when the device refused a byte
    // (error then holds the device's text).
    int SendFrame(TSerialIo* port, QString* error = nullptr);

    // Receive side
    void ReceiveBytes(TSerialIo& port, int n);
    void ReceiveFrom(const uint8_t* bytes, int n);   // same as ReceiveBytes, from memory
    bool FrameReady();
    uint8_t FrameType() const { return Data[2]; }
    uint8_t FrameLength() const { return Data[1]; }
    void BeginRead() { ReadPos = 3; }
    // Reads never run past the accepted frame: beyond its payload they give 0 / "".
    uint8_t ReadByte();
    int16_t ReadWord();           // low byte first; callers wanting unsigned cast
    QString ReadString();
    int PayloadRemaining() const; // payload bytes left from ReadPos in the accepted frame
    // Removes the first n bytes and any noise up to the next start byte, so the
    // front is always a frame start or the buffer is empty.
    void Discard(int n);
    void Clear() { Count = 0; }
    void SkipToNextStart();

    // The 100 ms time-out tick (public so tests can step it without waiting).
    void TimeoutTick();

    uint8_t Data[kSize] = {};
    int32_t Count = 0;
    int32_t ReadPos = 0;
    int32_t Status = fsNone;
    int32_t MaxFrameLength = 255;
    int32_t TimeoutCountdown = 0;
    int32_t TimeoutTicks = 10;

private:
    void StoreByte(uint8_t b);
    QTimer* TimeoutTimer = nullptr;
};

} // namespace za
