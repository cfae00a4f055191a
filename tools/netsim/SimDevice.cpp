#include "tools/netsim/SimDevice.h"

#include "tools/netsim/SimWire.h"

#include <QStringEncoder>
#include <cmath>

namespace {

constexpr int ImageSize = 0x10000;
quint8 FiniteSingles(const QByteArray& Data)
{
    const auto* p = reinterpret_cast<const quint8*>(Data.constData());
    for (qsizetype i = 0; i + 4 <= Data.size(); i += 4) {
        if (!std::isfinite(SimWire::FloatFromBE(p + i)))
            return SimDevice::ErrValue;
    }
    return 0;
}

quint8 OneOf(const QByteArray& Data, std::initializer_list<quint8> Allowed)
{
    for (const quint8 a : Allowed) {
        if (quint8(Data[0]) == a)
            return 0;
    }
    return SimDevice::ErrValue;
}

QByteArray Text1251(const QString& Text, int Len)
{
    QStringEncoder encoder("windows-1251");
    QByteArray bytes = encoder(Text);
    bytes.truncate(Len);
    return bytes.leftJustified(Len, ' ');
}

} // namespace

SimDevice::SimDevice(quint16 Serial, int Type, int Channel)
    : Serial_(Serial), Type_(Type == 2 ? 2 : 1), Channel_(Channel), Image_(ImageSize, 0),
      Readable_(ImageSize, 0)
{
    defineRegisters();
    setDefaults();
}

void SimDevice::addRegister(quint16 Addr, int Len, bool Writable,
                            std::function<quint8(const QByteArray&)> Validate)
{
    Registers_.push_back({Addr, Len, Len, true, Writable, std::move(Validate)});
    for (int i = 0; i < Len; ++i)
        Readable_[Addr + i] = 1;
}

void SimDevice::defineRegisters()
{
    const auto rw = true;
    const auto ro = false;
    addRegister(RegDeviceType, 2, ro);
    addRegister(RegSerialNumber, 2, rw, [](const QByteArray& d) {
        // 0 is the PC's own address.
        return SimWire::ReadBE16(reinterpret_cast<const quint8*>(d.constData())) == 0 ? ErrValue : quint8(0);
    });
    addRegister(RegHwVersion, 1, rw);
    addRegister(RegSwVersion, 2, ro);
    addRegister(RegTxPower, 1, rw, [](const QByteArray& d) { return OneOf(d, {0x6E, 0x60, 0xC0}); });
    addRegister(RegComment, 32, rw);
    addRegister(RegAlarmLimits1, 8, rw, FiniteSingles);
    addRegister(RegAlarmLimits2, 8, rw, FiniteSingles);
    addRegister(RegChannelEnable1, 1, rw, [](const QByteArray& d) { return OneOf(d, {0, 1}); });
    addRegister(RegChannelEnable2, 1, rw, [](const QByteArray& d) { return OneOf(d, {0, 1}); });
    const int type = Type_;
    const auto sensor = [type](const QByteArray& d) -> quint8 {
        const quint8 kind = quint8(d[0]);
        const quint8 model = quint8(d[1]);
        if (kind == 0)
            return 0;
        const auto in = [model](std::initializer_list<quint8> models) {
            for (const quint8 m : models) {
                if (m == model)
                    return true;
            }
            return false;
        };
        const bool ok = type == 1
                            ? (kind == 1 && in({2, 3, 4, 7, 12})) || (kind == 2 && in({5, 6, 7, 8, 9, 10}))
                            : (kind == 4 && in({1})) || (kind == 3 && in({1, 2}));
        return ok ? 0 : ErrValue;
    };
    addRegister(RegSensorType1, 2, rw, sensor);
    addRegister(RegSensorType2, 2, rw, sensor);
    const auto digits = [](const QByteArray& d) -> quint8 {
        const quint8 b = quint8(d[0]);
        return (b >> 4) <= 9 && (b & 15) >= 1 && (b & 15) <= 9 ? 0 : ErrValue;
    };
    addRegister(RegDecimals1, 1, rw, digits);
    addRegister(RegDecimals2, 1, rw, digits);
    if (Type_ == 1) {
        addRegister(RegColdJunction, 1, rw,
                    [](const QByteArray& d) { return quint8(d[0]) > 3 ? ErrValue : 0; });
    } else {
        addRegister(RegMeasRange1, 8, rw, FiniteSingles);
        addRegister(RegMeasRange2, 8, rw, FiniteSingles);
        addRegister(RegQuantityName1, 40, rw);
        addRegister(RegQuantityName2, 40, rw);
    }
    addRegister(RegFaultState, 5, ro);
    addRegister(RegChannelValue1, 4, ro);
    addRegister(RegChannelValue2, 4, ro);
    addRegister(RegColdJunctionTemp, 4, ro);
    addRegister(RegCommand, 1, rw);
    addRegister(RegRfChannel, 1, rw,
                [](const QByteArray& d) { return quint8(d[0]) >= 16 && quint8(d[0]) <= 23 ? 0 : ErrValue; });
    addRegister(RegCalibrStatus, 1, rw, [](const QByteArray& d) { return OneOf(d, {0}); });
    addRegister(RegFwInfo, 10, rw);
    // Firmware blocks: offset, length and the bytes (236 over a USB port); written, never read.
    Registers_.push_back({RegFwData, 6, 6 + 236, false, true, {}});
    Readable_[RegFwData] = 2;
}

void SimDevice::setDefaults()
{
    SimWire::WriteBE16(&Image_[RegDeviceType], quint16(Type_));
    SimWire::WriteBE16(&Image_[RegSerialNumber], Serial_);
    Image_[RegHwVersion] = 1;
    SimWire::WriteBE16(&Image_[RegSwVersion], 0x0103);
    Image_[RegTxPower] = 0xC0;
    SetComment(QStringLiteral("Имитатор %1").arg(Serial_));
    SetChannelEnabled(1, true);
    SetChannelEnabled(2, true);
    Image_[RegDecimals1] = 0x44;
    Image_[RegDecimals2] = 0x44;
    if (Type_ == 1) {
        SetSensor(1, 1, 7);  // thermocouple K
        SetSensor(2, 2, 10); // Pt100
        SetAlarmLimits(1, 50, 450);
        SetAlarmLimits(2, -20, 80);
        Image_[RegColdJunction] = 0x01;
        Waves_[0] = SimWaveform::Sine(250, 60, 60000);
        Waves_[1] = SimWaveform::Sine(21, 4, 90000);
    } else {
        SetSensor(1, 4, 1); // 4-20 mA
        SetSensor(2, 3, 2); // 0-10 V
        SetAlarmLimits(1, 10, 90);
        SetAlarmLimits(2, 1, 9);
        SetRange(1, 0, 100);
        SetRange(2, 0, 10);
        SetQuantityName(1, QStringLiteral("Давление"), QStringLiteral("кПа"));
        SetQuantityName(2, QStringLiteral("Уровень"), QStringLiteral("м"));
        Waves_[0] = SimWaveform::Sine(50, 30, 45000);
        Waves_[1] = SimWaveform::Ramp(2, 8, 120000);
    }
    ColdJunction_ = SimWaveform::Constant(23.5f);
    SetDeviceLevel(0x30);
    Image_[RegRfChannel] = quint8(Channel_);
    SimWire::WriteBE16(&Image_[RegFwInfo + 4], Firmware_.RunningCrc());
}

void SimDevice::SetSerial(quint16 Serial)
{
    Serial_ = Serial;
    SimWire::WriteBE16(&Image_[RegSerialNumber], Serial);
}

QByteArray SimDevice::Registers(quint16 Addr, int Len) const
{
    Len = qBound(0, Len, ImageSize - Addr);
    return QByteArray(reinterpret_cast<const char*>(Image_.data() + Addr), Len);
}

void SimDevice::SetRegisters(quint16 Addr, const QByteArray& Bytes)
{
    for (qsizetype i = 0; i < Bytes.size() && Addr + i < ImageSize; ++i)
        Image_[Addr + i] = quint8(Bytes[i]);
}

quint8 SimDevice::Register8(quint16 Addr) const
{
    return Image_[Addr];
}

quint32 SimDevice::FaultRegister() const
{
    return SimWire::ReadBE32(&Image_[RegFaultState]);
}

void SimDevice::SetFaultRegister(quint32 Value)
{
    SteadyFaults_ = Value;
    PulseBits_ = 0;
    PulseWhen_ = SimSchedule::Always();
    SimWire::WriteBE32(&Image_[RegFaultState], Value);
}

void SimDevice::SetFaultPulse(quint32 Bits, const SimSchedule& When)
{
    PulseBits_ = Bits;
    PulseWhen_ = When;
}

quint32 SimDevice::FaultRegisterAt(qint64 Ms) const
{
    return SteadyFaults_ | (PulseWhen_.ActiveAt(Ms) ? PulseBits_ : 0);
}

void SimDevice::SetDeviceLevel(quint8 Level)
{
    Image_[RegSignalLevel] = Level;
}

void SimDevice::SetWaveform(int Channel, const SimWaveform& Wave)
{
    Waves_[Channel == 2 ? 1 : 0] = Wave;
}

float SimDevice::ValueAt(int Channel, qint64 Ms) const
{
    return Waves_[Channel == 2 ? 1 : 0].ValueAt(Ms);
}

void SimDevice::SetComment(const QString& Text)
{
    SetRegisters(RegComment, Text1251(Text, 32));
}

void SimDevice::SetChannelEnabled(int Channel, bool On)
{
    Image_[Channel == 2 ? RegChannelEnable2 : RegChannelEnable1] = On ? 1 : 0;
}

void SimDevice::SetSensor(int Channel, quint8 Type, quint8 Model)
{
    const quint16 reg = Channel == 2 ? RegSensorType2 : RegSensorType1;
    Image_[reg] = Type;
    Image_[reg + 1] = Model;
}

void SimDevice::SetAlarmLimits(int Channel, float Low, float High)
{
    SetRegisters(Channel == 2 ? RegAlarmLimits2 : RegAlarmLimits1,
                 SimWire::FloatBE(Low) + SimWire::FloatBE(High));
}

void SimDevice::SetRange(int Channel, float Low, float High)
{
    // The range register holds the high bound first.
    if (Type_ == 2)
        SetRegisters(Channel == 2 ? RegMeasRange2 : RegMeasRange1,
                     SimWire::FloatBE(High) + SimWire::FloatBE(Low));
}

void SimDevice::SetQuantityName(int Channel, const QString& Name, const QString& Unit)
{
    if (Type_ == 2)
        SetRegisters(Channel == 2 ? RegQuantityName2 : RegQuantityName1,
                     Text1251(Name, 24) + Text1251(Unit, 16));
}

quint16 SimDevice::FirmwareCrc() const
{
    return Firmware_.RunningCrc();
}

void SimDevice::SetFault(const SimFault& Fault)
{
    Fault_ = Fault;
    FaultFrames_ = 0;
}

bool SimDevice::AdmitFrame(qint64 NowMs)
{
    // A restarting device hears nothing.
    if (Restarting(NowMs))
        return false;
    ++FaultFrames_;
    if (Firmware_.Silent(NowMs))
        return false;
    const SimFault fault = FaultAt(NowMs);
    switch (fault.Mode) {
    case SimFaultMode::Silence:
        return false;
    case SimFaultMode::ReplyOnAttempt: {
        const int k = qMax(1, fault.Value);
        return fault.Repeat ? FaultFrames_ % k == 0 : FaultFrames_ >= k;
    }
    default:
        return true;
    }
}

void SimDevice::refresh(qint64 NowMs)
{
    SetRegisters(RegChannelValue1, SimWire::FloatBE(ValueAt(1, NowMs)));
    SetRegisters(RegChannelValue2, SimWire::FloatBE(ValueAt(2, NowMs)));
    SetRegisters(RegColdJunctionTemp, SimWire::FloatBE(ColdJunction_.ValueAt(NowMs)));
    if (PulseBits_ != 0)
        SimWire::WriteBE32(&Image_[RegFaultState], FaultRegisterAt(NowMs));
    if (RunningCommand_ != 0 && NowMs >= CommandDoneMs_) {
        const int bit = calibrationBit(RunningCommand_);
        if (bit >= 0)
            Image_[RegCalibrStatus] |= quint8(1u << bit);
        RunningCommand_ = 0;
    }
    Image_[RegCommand] = RunningCommand_ != 0 && EchoOverride_ ? *EchoOverride_ : RunningCommand_;
}

const SimDevice::Register* SimDevice::registerAt(quint16 Addr) const
{
    for (const Register& r : Registers_) {
        if (r.Addr == Addr)
            return &r;
    }
    return nullptr;
}

quint8 SimDevice::checkRead(quint16 Addr, int Len) const
{
    if (Len <= 0)
        return ErrLength;
    if (Addr + Len > ImageSize)
        return ErrNoRegister;
    for (int i = 0; i < Len; ++i) {
        if (Readable_[Addr + i] == 0)
            return ErrNoRegister;
        if (Readable_[Addr + i] == 2)
            return ErrNotApplicable;
    }
    return 0;
}

quint8 SimDevice::write(quint16 Addr, const QByteArray& Data, qint64 NowMs)
{
    const Register* reg = registerAt(Addr);
    if (!reg)
        return ErrNoRegister;
    if (!reg->Writable)
        return ErrNotApplicable;
    if (Data.size() < reg->MinLen || Data.size() > reg->MaxLen)
        return ErrLength;
    if (reg->Validate) {
        if (const quint8 code = reg->Validate(Data))
            return code;
    }
    switch (Addr) {
    case RegSerialNumber:
        PendingSerial_ = SimWire::ReadBE16(reinterpret_cast<const quint8*>(Data.constData()));
        return 0;
    case RegRfChannel:
        PendingChannel_ = quint8(Data[0]);
        return 0;
    case RegCommand:
        return writeCommand(quint8(Data[0]), NowMs);
    case RegFwInfo:
        return writeFwInfo(Data);
    case RegFwData:
        return writeFwData(Data, NowMs);
    default:
        SetRegisters(Addr, Data);
        return 0;
    }
}

int SimDevice::calibrationBit(quint8 Code) const
{
    if (Type_ == 1)
        return Code >= 0x65 && Code <= 0x68 ? Code - 0x65 : -1;
    switch (Code) {
    case 0x66:
        return 0; // voltage inputs at 0 V
    case 0x65:
        return 1; // current inputs at 0 mA
    case 0x67:
        return 2; // channel 1 current at 20 mA
    case 0x68:
        return 3; // channel 2 current at 20 mA
    case 0x69:
        return 4; // channel 1 voltage at 10 V
    case 0x6A:
        return 5; // channel 2 voltage at 10 V
    default:
        return -1;
    }
}

quint8 SimDevice::writeCommand(quint8 Code, qint64 NowMs)
{
    if (RunningCommand_ != 0)
        return ErrBusy;
    if (Code == CmdRestart) {
        ++Restarts_;
        SilentUntilMs_ = NowMs + RestartSilenceMs_;
        return 0;
    }
    if (calibrationBit(Code) < 0)
        return ErrValue;
    RunningCommand_ = Code;
    CommandDoneMs_ = NowMs + CommandBusyMs_;
    Image_[RegCommand] = EchoOverride_ ? *EchoOverride_ : Code;
    return 0;
}

quint8 SimDevice::writeFwInfo(const QByteArray& Data)
{
    return Firmware_.WriteInfo(Data);
}

quint8 SimDevice::writeFwData(const QByteArray& Data, qint64 NowMs)
{
    const quint8 code = Firmware_.WriteData(Data, NowMs);
    SimFirmware::Installed what;
    if (Firmware_.TakeInstalled(what)) {
        // The device restarts into the new image.
        SimWire::WriteBE16(&Image_[RegFwInfo + 4], Firmware_.RunningCrc());
        if (what.DeviceType == 1 || what.DeviceType == 2)
            SimWire::WriteBE16(&Image_[RegDeviceType], what.DeviceType);
        Image_[RegHwVersion] = what.HwVersion;
        ++Restarts_;
    }
    return code;
}

QByteArray SimDevice::extraRecord() const
{
    QByteArray item;
    item.append(char(3));
    SimWire::AppendBE16(item, RegFaultState);
    item.append(char(4));
    SimWire::AppendBE32(item, FaultRegister());
    return item;
}

QByteArray SimDevice::Answer(const QByteArray& Items, qint64 NowMs)
{
    refresh(NowMs);
    const SimFault fault = FaultAt(NowMs);
    const auto* p = reinterpret_cast<const quint8*>(Items.constData());
    const qsizetype size = Items.size();
    QByteArray out;
    const auto errorItem = [](quint8 func, quint8 code) {
        QByteArray e;
        e.append(char(0x80 | (func & 0x7F)));
        e.append(char(code));
        return e;
    };
    // Injected extra records come on top of what a real device would fit.
    const int limit = MaxPayload + (fault.Mode == SimFaultMode::ExtraRecords ? 8 * fault.Value : 0);
    qsizetype pos = 0;
    int index = 0;
    while (pos < size) {
        const quint8 func = p[pos];
        QByteArray reply;
        if ((func == 1 || func == 2) && pos + 4 <= size) {
            const quint16 addr = SimWire::ReadBE16(p + pos + 1);
            const int n = p[pos + 3];
            if (func == 2 && pos + 4 + n > size)
                break; // the item runs past the payload: nothing sensible to answer
            const QByteArray data = func == 2 ? Items.mid(pos + 4, n) : QByteArray();
            pos += 4 + data.size();
            const int replySize = func == 1 ? 4 + n : 4;
            const bool injected =
                fault.Mode == SimFaultMode::ErrorItem && (fault.Item < 0 || fault.Item == index);
            if (injected) {
                reply = errorItem(func, quint8(fault.Value));
            } else if (out.size() + replySize > limit) {
                reply = errorItem(func, ErrReplyTooLong);
            } else if (func == 1) {
                const quint8 code = checkRead(addr, n);
                if (code) {
                    reply = errorItem(func, code);
                } else {
                    reply.append(char(1));
                    SimWire::AppendBE16(reply, addr);
                    reply.append(char(n));
                    reply.append(Registers(addr, n));
                }
            } else {
                const quint8 code = write(addr, data, NowMs);
                if (code) {
                    reply = errorItem(func, code);
                } else {
                    reply.append(char(2));
                    SimWire::AppendBE16(reply, addr);
                    reply.append(char(n));
                }
            }
        } else {
            // An unknown function: its length is unknown too, so the rest is lost.
            if (func != 1 && func != 2 && out.size() + 2 <= limit)
                out.append(errorItem(func, ErrNotApplicable));
            break;
        }
        // An answer one byte short: the length byte says so and a read loses its last byte.
        if (fault.Mode == SimFaultMode::ShortItem && (fault.Item < 0 || fault.Item == index) &&
            reply.size() >= 4 && quint8(reply[0]) < 0x80 && reply[3] != 0) {
            reply[3] = char(quint8(reply[3]) - 1);
            if (quint8(reply[0]) == 1)
                reply.chop(1);
        }
        if (out.size() + reply.size() <= limit || fault.Mode == SimFaultMode::ErrorItem)
            out.append(reply);
        if (index == 0 && fault.Mode == SimFaultMode::ExtraRecords) {
            for (int i = 0; i < fault.Value; ++i)
                out.append(extraRecord());
        }
        ++index;
    }
    if (index == 0 && fault.Mode == SimFaultMode::ExtraRecords) {
        for (int i = 0; i < fault.Value; ++i)
            out.append(extraRecord());
    }
    if (ReportFaultChanges_ && FaultRegister() != ReportedFault_) {
        const QByteArray record = extraRecord();
        if (out.size() + record.size() <= limit) {
            out.append(record);
            ReportedFault_ = FaultRegister();
        }
    } else if (!ReportFaultChanges_) {
        ReportedFault_ = FaultRegister();
    }
    return out;
}

void SimDevice::CommitPending()
{
    if (PendingSerial_)
        SetSerial(*PendingSerial_);
    if (PendingChannel_) {
        Channel_ = *PendingChannel_;
        Image_[RegRfChannel] = *PendingChannel_;
    }
    PendingSerial_.reset();
    PendingChannel_.reset();
}
