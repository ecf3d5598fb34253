#pragma once
// Finding the counter's USB-to-serial bridge (vendor 10C4, product EA60,
// serial "0001") and probing a serial device for presence.
#include <QString>

namespace za {

// Changes portNumber only when it is -1 on entry and the bridge is found; then
// it becomes 100 + n for the bridge's ttyUSBn (the numbering of TComPort) and
// devicePath, when given, receives "<devRoot>/ttyUSBn". Reports nothing.
// The roots are parameters so that a tree in a scratch folder can stand in.
bool FindCp210xPort(int& portNumber, const QString& sysfsRoot = "/sys", QString* devicePath = nullptr,
                    const QString& devRoot = "/dev");

// Opens the device for reading and writing, exclusively, as an existing
// device, and closes it again at once. False with the reason in err.
bool ProbeSerialDevice(const QString& path, QString* err = nullptr);

} // namespace za
