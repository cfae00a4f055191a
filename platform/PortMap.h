#pragma once

#include <QString>

// Serial ports are numbered as the operator knows them (COM1..COM255). A number
// resolves to a device path: a "COM<n>" entry in the ports folder wins (a symlink
// to any tty, which is how the simulator and unusual adapters are published),
// else COM1-32 = /dev/ttyS0-31, COM33-64 = /dev/ttyUSB0-31, COM65-96 = /dev/ttyACM0-31.
class PortMap
{
public:
    static constexpr int MaxPort = 255;

    // $KLOV_PORTS_DIR, else ~/.config/klov/ports.
    static QString PortsDir();
    // Empty for a number outside 1..255 or beyond the fixed ranges.
    static QString DevicePath(int portNum);
    // The device exists and can be opened for reading and writing, or it exists
    // and is held by someone else (busy counts as present).
    static bool DeviceUsable(const QString& path);
};
