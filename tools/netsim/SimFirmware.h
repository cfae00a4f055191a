#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// What a simulated device does wrong during a firmware update.
enum class SimFwFaultMode
{
    None,
    BadCrc,  // the image arrives whole, but the device's check of it fails: the old firmware stays
    Refuse,  // block Block (0-based, counted from the update's start) gets the error code Code
    Silence, // from block Block on the device hears nothing until the fault is cleared
};

struct SimFwFault
{
    SimFwFaultMode Mode = SimFwFaultMode::None;
    int Block = 0;
    quint8 Code = 5;
    // Refuse: every block from Block on, not only that one.
    bool All = false;

    // The control-channel form: "none", "crc", "refuse N [CODE] [all]", "silence N".
    static bool Parse(const QString& Text, SimFwFault& Fault, QString& ErrMsg);
};

// The firmware update side of a simulated device: the parameter block, the
// blocks in order, the CRC check of the whole image and the restart into it.
class SimFirmware
{
public:
    static constexpr quint32 MaxLength = 1u << 20;
    static constexpr quint8 ErrNotApplicable = 4;
    static constexpr quint8 ErrLength = 3;
    static constexpr quint8 ErrValue = 5;

    // What the device runs after a successful update.
    struct Installed
    {
        quint16 DeviceType = 0;
        quint8 HwVersion = 0;
    };

    void SetFault(const SimFwFault& Fault) { Fault_ = Fault; }
    const SimFwFault& Fault() const { return Fault_; }
    // How long the device is silent while it restarts into a new image.
    void SetRestartMs(int Ms) { RestartMs_ = Ms; }

    // Writes of the parameter register and of one block: 0 or a device error code.
    quint8 WriteInfo(const QByteArray& Data);
    quint8 WriteData(const QByteArray& Data, qint64 NowMs);
    // Set by the write that completed a good image; the device applies it once.
    bool TakeInstalled(Installed& What);

    // Frames are lost: restarting, or the silence fault has begun.
    bool Silent(qint64 NowMs) const;

    bool Active() const { return Active_; }
    quint16 RunningCrc() const { return RunningCrc_; }
    void SetRunningCrc(quint16 Crc) { RunningCrc_ = Crc; }
    QByteArray Image() const { return Image_; }
    // Blocks answered with an echo since the last parameter block.
    int BlocksTaken() const { return BlocksTaken_; }
    int Installs() const { return Installs_; }

private:
    SimFwFault Fault_;
    int RestartMs_ = 300;
    bool Active_ = false;
    quint32 Length_ = 0;
    quint16 ExpectedCrc_ = 0;
    quint16 DeviceType_ = 0;
    quint8 HwVersion_ = 0;
    QByteArray Buffer_;
    QByteArray Image_;
    quint16 RunningCrc_ = 0x5A17;
    int BlocksSeen_ = 0;
    int BlocksTaken_ = 0;
    int Installs_ = 0;
    bool Pending_ = false;
    qint64 RestartFromMs_ = -1;
    qint64 RestartUntilMs_ = -1;
};
