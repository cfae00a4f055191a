#pragma once

#include "tools/netsim/SimFault.h"
#include "tools/netsim/SimFirmware.h"
#include "tools/netsim/SimWaveform.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

// One simulated measuring device: its registers and how it answers the request
// items of a frame. Not thread-safe by itself; SimModem guards it.
class SimDevice
{
public:
    // Register addresses (byte addresses, multi-byte values big-endian).
    static constexpr quint16 RegDeviceType = 0x0000;
    static constexpr quint16 RegSerialNumber = 0x0002;
    static constexpr quint16 RegHwVersion = 0x0004;
    static constexpr quint16 RegSwVersion = 0x0005;
    static constexpr quint16 RegTxPower = 0x0007;
    static constexpr quint16 RegComment = 0x0008;
    static constexpr quint16 RegAlarmLimits1 = 0x0100;
    static constexpr quint16 RegAlarmLimits2 = 0x0108;
    static constexpr quint16 RegChannelEnable1 = 0x0110;
    static constexpr quint16 RegChannelEnable2 = 0x0111;
    static constexpr quint16 RegSensorType1 = 0x0112;
    static constexpr quint16 RegSensorType2 = 0x0114;
    static constexpr quint16 RegDecimals1 = 0x0116;
    static constexpr quint16 RegDecimals2 = 0x0117;
    static constexpr quint16 RegColdJunction = 0x0118;  // type 1
    static constexpr quint16 RegMeasRange1 = 0x0118;    // type 2
    static constexpr quint16 RegMeasRange2 = 0x0120;    // type 2
    static constexpr quint16 RegQuantityName1 = 0x0128; // type 2
    static constexpr quint16 RegQuantityName2 = 0x0150; // type 2
    static constexpr quint16 RegFaultState = 0x0200;
    static constexpr quint16 RegSignalLevel = 0x0204;
    static constexpr quint16 RegChannelValue1 = 0x0205;
    static constexpr quint16 RegChannelValue2 = 0x0209;
    static constexpr quint16 RegColdJunctionTemp = 0x020D;
    static constexpr quint16 RegCommand = 0x0300;
    static constexpr quint16 RegRfChannel = 0x0301;
    static constexpr quint16 RegCalibrStatus = 0x0302;
    static constexpr quint16 RegFwInfo = 0xFFF5;
    static constexpr quint16 RegFwData = 0xFFFF;

    // Items of a reply carry at most this many bytes (a frame of 51 bytes).
    static constexpr int MaxPayload = 44;

    // Device error codes.
    static constexpr quint8 ErrBusy = 1;
    static constexpr quint8 ErrNoRegister = 2;
    static constexpr quint8 ErrLength = 3;
    static constexpr quint8 ErrNotApplicable = 4;
    static constexpr quint8 ErrValue = 5;
    static constexpr quint8 ErrReplyTooLong = 7;

    static constexpr quint8 CmdRestart = 2;

    // Type 1 or 2; the register set and the defaults follow the type. Channel 16..23.
    SimDevice(quint16 Serial, int Type, int Channel);

    int Id() const { return Id_; }
    void SetId(int Id) { Id_ = Id; }
    quint16 Serial() const { return Serial_; }
    // Immediate changes, for tests and the control channel (a change written over
    // the radio waits for the reply, see CommitPending).
    void SetSerial(quint16 Serial);
    int Type() const { return Type_; }
    int Channel() const { return Channel_; }
    void SetChannel(int Channel) { Channel_ = Channel; }

    // Raw register image, no checks.
    QByteArray Registers(quint16 Addr, int Len) const;
    void SetRegisters(quint16 Addr, const QByteArray& Bytes);
    quint8 Register8(quint16 Addr) const;

    // The fault register as the last reply left it.
    quint32 FaultRegister() const;
    // The next reply reports a change with an extra record unless that is switched off.
    // Also ends a schedule set by SetFaultPulse.
    void SetFaultRegister(quint32 Value);
    // Bits that are set on top of the steady ones while the window is open, so the
    // register changes now and then on its own.
    void SetFaultPulse(quint32 Bits, const SimSchedule& When);
    quint32 FaultPulseBits() const { return PulseBits_; }
    const SimSchedule& FaultPulseWhen() const { return PulseWhen_; }
    // What the register reads at a moment of scenario time.
    quint32 FaultRegisterAt(qint64 Ms) const;
    void SetReportFaultChanges(bool On) { ReportFaultChanges_ = On; }
    // Signal level bytes: heard by the device (register 0x0204) and by the PC's modem.
    void SetDeviceLevel(quint8 Level);
    quint8 PcLevel() const { return PcLevel_; }
    void SetPcLevel(quint8 Level) { PcLevel_ = Level; }

    void SetWaveform(int Channel, const SimWaveform& Wave);
    void SetColdJunctionTemp(float Celsius) { ColdJunction_ = SimWaveform::Constant(Celsius); }
    void SetColdJunctionWaveform(const SimWaveform& Wave) { ColdJunction_ = Wave; }
    // The value the device reports for channel 1 or 2 at a moment.
    float ValueAt(int Channel, qint64 Ms) const;

    void SetComment(const QString& Text);
    void SetChannelEnabled(int Channel, bool On);
    void SetSensor(int Channel, quint8 Type, quint8 Model);
    void SetAlarmLimits(int Channel, float Low, float High);
    void SetRange(int Channel, float Low, float High);
    void SetQuantityName(int Channel, const QString& Name, const QString& Unit);

    // How long a calibration command keeps the command register busy.
    void SetCommandBusyMs(int Ms) { CommandBusyMs_ = Ms; }
    int Restarts() const { return Restarts_; }
    // How long a restarted device stays silent after acknowledging the command.
    void SetRestartSilenceMs(int Ms) { RestartSilenceMs_ = Ms; }
    // Still restarting at a moment of scenario time.
    bool Restarting(qint64 Ms) const { return Ms < SilentUntilMs_; }
    // The image received by the last completed firmware update.
    QByteArray FirmwareImage() const { return Firmware_.Image(); }
    quint16 FirmwareCrc() const;
    // The firmware update side, with its faults.
    SimFirmware& Firmware() { return Firmware_; }
    const SimFirmware& Firmware() const { return Firmware_; }
    // The command register reads back this code instead of the one written.
    void SetCommandEchoOverride(std::optional<quint8> Code) { EchoOverride_ = Code; }

    const SimFault& Fault() const { return Fault_; }
    // The fault in force at a moment of scenario time (None outside its window).
    SimFault FaultAt(qint64 Ms) const { return Fault_.At(Ms); }
    // Also restarts the count of frames received under the fault.
    void SetFault(const SimFault& Fault);
    // Counts a frame received at NowMs; true when it gets through the fault then in force.
    bool AdmitFrame(qint64 NowMs);

    // Answers the request items of one frame with reply items in request order and
    // applies the writes, except serial number and radio channel, which wait.
    QByteArray Answer(const QByteArray& Items, qint64 NowMs);
    bool HasPendingChanges() const { return PendingSerial_ || PendingChannel_; }
    // The reply has gone out: a written serial number or radio channel takes effect.
    void CommitPending();

private:
    struct Register
    {
        quint16 Addr;
        int MinLen;
        int MaxLen;
        bool Readable;
        bool Writable;
        // 0 when the data may be written, else the device error code.
        std::function<quint8(const QByteArray&)> Validate;
    };

    void defineRegisters();
    void addRegister(quint16 Addr, int Len, bool Writable,
                     std::function<quint8(const QByteArray&)> Validate = {});
    void setDefaults();
    void refresh(qint64 NowMs);
    const Register* registerAt(quint16 Addr) const;
    quint8 checkRead(quint16 Addr, int Len) const;
    quint8 write(quint16 Addr, const QByteArray& Data, qint64 NowMs);
    quint8 writeCommand(quint8 Code, qint64 NowMs);
    quint8 writeFwInfo(const QByteArray& Data);
    quint8 writeFwData(const QByteArray& Data, qint64 NowMs);
    int calibrationBit(quint8 Code) const;
    QByteArray extraRecord() const;

    int Id_ = -1;
    quint16 Serial_;
    int Type_;
    int Channel_;
    std::vector<quint8> Image_;
    std::vector<quint8> Readable_; // per byte: 0 none, 1 readable, 2 write-only register
    std::vector<Register> Registers_;

    std::array<SimWaveform, 2> Waves_;
    SimWaveform ColdJunction_;
    quint8 PcLevel_ = 0x32;
    bool ReportFaultChanges_ = true;
    quint32 ReportedFault_ = 0;

    int CommandBusyMs_ = 1000;
    quint8 RunningCommand_ = 0;
    qint64 CommandDoneMs_ = 0;
    int Restarts_ = 0;
    int RestartSilenceMs_ = 1500;
    qint64 SilentUntilMs_ = std::numeric_limits<qint64>::min();

    SimFirmware Firmware_;
    std::optional<quint8> EchoOverride_;

    std::optional<quint16> PendingSerial_;
    std::optional<quint8> PendingChannel_;

    SimFault Fault_;
    int FaultFrames_ = 0;

    quint32 SteadyFaults_ = 0;
    quint32 PulseBits_ = 0;
    SimSchedule PulseWhen_;
};
