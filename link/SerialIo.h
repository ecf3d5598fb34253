#pragma once
// What the frame buffer needs of a serial port: whether it is open, write one
// byte, take one received byte. TComPort implements it; the fuzz target and
// unit tests feed bytes through a plain memory implementation.
#include <QString>
#include <cstdint>

namespace za {

class TSerialIo {
public:
    virtual ~TSerialIo() = default;
    virtual bool IsOpen() const = 0;
    // Queues one byte; false with error filled when the device refuses it.
    virtual bool PutChar(uint8_t b, QString* error) = 0;
    // Next received byte; called only as often as the data event announced.
    virtual uint8_t GetChar() = 0;
};

} // namespace za
