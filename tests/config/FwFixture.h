#pragma once

#include "DeviceWorkFixture.h"
#include "config/FwUpdate.h"
#include "support/TestFirmware.h"

#include <QTemporaryDir>

// A firmware update of device 1234 (type 1, hardware version 3) against the
// simulated modem in virtual time; message boxes and questions are scripted.
class FwFixture : public DeviceWorkFixture
{
protected:
    static constexpr quint16 OldCrc = 0x5A17;

    FwFixture()
    {
        modem.AddDevice(Serial, 1, 16);
        host.device.HwVersion = 3;
    }

    static VfwFile firmware(int Length, quint16 Type = 1, quint8 Hw = 3)
    {
        return TestFirmware(Length, quint32(Length), Type, Hw);
    }
    // Writes the file and chooses it in the dialog.
    void choose(const VfwFile& File)
    {
        const QString name = dir.filePath(QStringLiteral("fw%1.vfw").arg(++files));
        ASSERT_TRUE(VfwWriter::Write(name, File));
        fw.LoadFile(name);
    }
    // Ticks the pacing timer, moving the clock by its interval, until it stops.
    int runTimer(int MaxTicks = 30)
    {
        int ticks = 0;
        while (fw.TimerInitFwUpdate.isActive() && ticks < MaxTicks) {
            clock.Advance(fw.TimerInitFwUpdate.interval());
            intervals << fw.TimerInitFwUpdate.interval();
            fw.TimerInitFwUpdateTimer();
            ++ticks;
        }
        return ticks;
    }
    quint16 runningCrc()
    {
        quint16 crc = 0;
        modem.WithDevice(Serial, [&](SimDevice& d) { crc = d.FirmwareCrc(); });
        return crc;
    }
    QStringList blockLines() const { return host.results.filter(QStringLiteral("Записан фрагмент")); }

    TFwUpdate fw{host, work};
    QTemporaryDir dir;
    int files = 0;
    QList<int> intervals;
};
