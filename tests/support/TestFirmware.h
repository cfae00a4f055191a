#pragma once

#include "tools/mkvfw/VfwWriter.h"

// A sound firmware file for device type Type of hardware version Hw whose image
// is Length bytes of the pattern of Seed.
inline VfwFile TestFirmware(int Length, quint32 Seed, quint16 Type = 1, quint8 Hw = 3)
{
    VfwFile file;
    file.DeviceType = Type;
    file.HwVersion = Hw;
    file.Image = VfwWriter::Pattern(Length, Seed);
    return file;
}
