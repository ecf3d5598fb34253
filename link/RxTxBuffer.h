#pragma once
// One frame on the serial line: STX 02, LEN (whole frame, 5..255), TYPE,
// payload, CHK (8-bit sum of the frame is 0), ETX 03. The same class builds
// frames to send and collects received bytes until a checked frame stands at
// its front. Fixed storage: nothing is allocated per frame or per byte.
#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>

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

    // Receive side. Both take only as many of the n bytes as fit and return
    // how many they took; the rest stays in the port (or with the caller) for
    // after the frames in front have been handled.
    int ReceiveBytes(TSerialIo& port, int n);
    int ReceiveFrom(const uint8_t* bytes, int n);   // same as ReceiveBytes, from memory
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
    void Clear();
    void SkipToNextStart();

    // The 100 ms time-out tick (public so tests can step it without waiting).
    void TimeoutTick();

    // A counter sends each frame in one go, so a frame never spans a pause of
    // the line: bytes held when the line has been quiet for longer than
    // FrameGapMs cannot be completed by later bytes. The gap: four byte times
    // (10 bits each) for a bridge that forwards bytes in small packets, plus
    // 100 ms for USB polling and the latency of a loaded PC; 136 ms at 1200
    // baud, far below the one-second time-out that stays as a backstop.
    // Erring this way is cheap: a whole frame taken for a cut one goes
    // unanswered and the counter sends it again, while two pieces taken for
    // one frame can be answered and make the counter forget a record.
    static int GapForBaud(int baud);
    int FrameGapMs = GapForBaud(1200);
    // Monotonic milliseconds for the gap; tests set their own.
    std::function<qint64()> MonotonicMs;
    // The time handlers spent on the frames in front is not a pause of the
    // line: bytes that came meanwhile waited in the port.
    void RestartGap();

    uint8_t Data[kSize] = {};
    int32_t Count = 0;
    int32_t ReadPos = 0;
    int32_t Status = fsNone;
    int32_t MaxFrameLength = 255;
    int32_t TimeoutCountdown = 0;
    int32_t TimeoutTicks = 10;
    // Bytes at the front that came before the last pause of the line: a frame
    // starting there that needs bytes beyond them is a cut frame. 0: none.
    int32_t GapMark = 0;

signals:
    // The time-out dropped a cut frame and a complete one now stands at the
    // front: it needs no further bytes to be handled.
    void FrameWaiting();

private:
    template <class Next> int Take(int n, Next next);
    void NoteGap();
    void CutFrame();
    QTimer* TimeoutTimer = nullptr;
    qint64 LastByteMs = 0;
    bool LeftBehind = false;   // the last take stopped with bytes still waiting
};

} // namespace za
