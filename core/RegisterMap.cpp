#include "core/RegisterMap.h"

#include "core/StringFunc.h"
#include "platform/CodePage.h"

#include <algorithm>
#include <bit>

namespace {

void checkRange(std::size_t Size, std::size_t Offset, std::size_t Count)
{
    if (Offset > Size || Count > Size - Offset)
        throw std::out_of_range("register data access out of range");
}

std::size_t configOffset(const TRegister& Reg)
{
    return std::size_t(Reg.Address - ConfigBlockAddress);
}

template <std::size_t N> std::array<quint8, N> toArray(const std::vector<quint8>& V)
{
    std::array<quint8, N> a{};
    std::copy_n(V.begin(), std::min(N, V.size()), a.begin());
    return a;
}

} // namespace

quint16 GetWordBE(std::span<const quint8> Data, std::size_t Offset)
{
    checkRange(Data.size(), Offset, 2);
    return quint16((quint16(Data[Offset]) << 8) | Data[Offset + 1]);
}

quint32 GetLongBE(std::span<const quint8> Data, std::size_t Offset)
{
    checkRange(Data.size(), Offset, 4);
    return (quint32(Data[Offset]) << 24) | (quint32(Data[Offset + 1]) << 16) |
           (quint32(Data[Offset + 2]) << 8) | quint32(Data[Offset + 3]);
}

float GetSingleBE(std::span<const quint8> Data, std::size_t Offset)
{
    checkRange(Data.size(), Offset, 4);
    return BytesToSingle(Data[Offset], Data[Offset + 1], Data[Offset + 2], Data[Offset + 3]);
}

void PutWordBE(std::span<quint8> Data, std::size_t Offset, quint16 Value)
{
    checkRange(Data.size(), Offset, 2);
    Data[Offset] = quint8(Value >> 8);
    Data[Offset + 1] = quint8(Value);
}

void PutLongBE(std::span<quint8> Data, std::size_t Offset, quint32 Value)
{
    checkRange(Data.size(), Offset, 4);
    Data[Offset] = quint8(Value >> 24);
    Data[Offset + 1] = quint8(Value >> 16);
    Data[Offset + 2] = quint8(Value >> 8);
    Data[Offset + 3] = quint8(Value);
}

void PutSingleBE(std::span<quint8> Data, std::size_t Offset, float Value)
{
    PutLongBE(Data, Offset, std::bit_cast<quint32>(Value));
}

QString DecodeTextField(std::span<const quint8> Field)
{
    const auto end = std::find(Field.begin(), Field.end(), quint8(0));
    const auto len = static_cast<qsizetype>(end - Field.begin());
    return CodePage::FromWindows1251(QByteArrayView(reinterpret_cast<const char*>(Field.data()), len));
}

std::vector<quint8> EncodeTextField(const QString& Text, int Length)
{
    const QByteArray bytes = CodePage::ToWindows1251(Text);
    std::vector<quint8> field(std::size_t(std::max(Length, 0)), quint8(' '));
    std::copy_n(bytes.constBegin(), std::min<std::size_t>(field.size(), std::size_t(bytes.size())),
                field.begin());
    return field;
}

QString PadComment(const QString& Text)
{
    return PadStr(Text.left(RegComment.Length), QLatin1Char(' '), RegComment.Length, false);
}

std::array<quint8, 32> EncodeComment(const QString& Text)
{
    return toArray<32>(EncodeTextField(Text, RegComment.Length));
}

QString NormalizeQuantityName(const QString& Name)
{
    return TrimBlanksAndControls(Name).left(QuantityNameLength);
}

QString NormalizeMeasUnitName(const QString& Unit)
{
    return TrimBlanksAndControls(Unit).left(MeasUnitNameLength);
}

std::array<quint8, 40> EncodeQuantityNames(const QString& Name, const QString& Unit)
{
    std::vector<quint8> v = EncodeTextField(NormalizeQuantityName(Name), QuantityNameLength);
    const std::vector<quint8> u = EncodeTextField(NormalizeMeasUnitName(Unit), MeasUnitNameLength);
    v.insert(v.end(), u.begin(), u.end());
    return toArray<40>(v);
}

bool DecodeQuantityNames(std::span<const quint8> Data, QString& Name, QString& Unit)
{
    if (Data.size() != RegQuantityName(1).Length)
        return false;
    Name = TrimBlanksAndControls(DecodeTextField(Data.first(QuantityNameLength)));
    Unit = TrimBlanksAndControls(DecodeTextField(Data.subspan(QuantityNameLength, MeasUnitNameLength)));
    return true;
}

std::array<quint8, 8> EncodeAlarmLimits(float Low, float High)
{
    std::array<quint8, 8> a{};
    PutSingleBE(a, 0, Low);
    PutSingleBE(a, 4, High);
    return a;
}

std::array<quint8, 8> EncodeMeasRange(float Low, float High)
{
    std::array<quint8, 8> a{};
    PutSingleBE(a, 0, High);
    PutSingleBE(a, 4, Low);
    return a;
}

qint32& DigitsTarget(TDeviceType DevType, TSensorType ChosenSensor, TMeasureChannel& Channel)
{
    if (DevType == TDeviceType::ThermoInputs && ChosenSensor == TSensorType::Thermocouple)
        return Channel.DigitsHi;
    return Channel.DigitsLo;
}

quint8 EncodeDigitsByte(TDeviceType DevType, TSensorType ChosenSensor, const TMeasureChannel& Channel,
                        int Digits)
{
    const auto nibble = [](int v) { return quint8(v & 0x0F); };
    if (DevType != TDeviceType::ThermoInputs)
        return nibble(Digits);
    if (ChosenSensor == TSensorType::Thermocouple)
        return quint8(nibble(Digits) << 4 | nibble(Channel.DigitsLo));
    return quint8(nibble(Channel.DigitsHi) << 4 | nibble(Digits));
}

void DecodeDigitsByte(quint8 B, TMeasureChannel& Channel)
{
    Channel.DigitsHi = B >> 4;
    Channel.DigitsLo = B & 0x0F;
}

quint8 EncodeColdJunctionByte(const TDevice& Device, int Channel, bool UseColdJunction)
{
    const int own = RegisterMapDetail::checkedChannel(Channel);
    const int other = 1 - own;
    const bool otherFlag = Device.Channel(other + 1).UseColdJunction;
    return quint8((UseColdJunction ? 1 << own : 0) | (otherFlag ? 1 << other : 0));
}

void DecodeColdJunctionByte(quint8 B, TDevice& Device)
{
    Device.Channel1->UseColdJunction = (B & 0x01) != 0;
    Device.Channel2->UseColdJunction = (B & 0x02) != 0;
}

bool DecodeIdentification(std::span<const quint8> Data, TIdentification& Id)
{
    if (Data.size() != IdentificationBlock.Length)
        return false;
    Id.DeviceTypeCode = GetWordBE(Data, RegDeviceType.Address);
    Id.SerialNum = GetWordBE(Data, RegSerialNumber.Address);
    Id.HwVersion = Data[RegHwVersion.Address];
    Id.SwVersion = GetWordBE(Data, RegSwVersion.Address);
    Id.RfPowerCode = Data[RegTxPower.Address];
    Id.Comment = DecodeTextField(Data.subspan(RegComment.Address, RegComment.Length));
    return true;
}

void ApplyIdentification(const TIdentification& Id, TDevice& Device)
{
    Device.DeviceType = Id.DeviceType();
    Device.HwVersion = Id.HwVersion;
    Device.SwVersion = Id.SwVersion;
    Device.RfPowerCode = Id.RfPowerCode;
    Device.Comment = Id.Comment;
}

std::array<quint8, 40> EncodeIdentification(const TIdentification& Id)
{
    std::array<quint8, 40> a{};
    PutWordBE(a, RegDeviceType.Address, Id.DeviceTypeCode);
    PutWordBE(a, RegSerialNumber.Address, Id.SerialNum);
    a[RegHwVersion.Address] = Id.HwVersion;
    PutWordBE(a, RegSwVersion.Address, Id.SwVersion);
    a[RegTxPower.Address] = Id.RfPowerCode;
    const std::array<quint8, 32> comment = EncodeComment(Id.Comment);
    std::copy(comment.begin(), comment.end(), a.begin() + RegComment.Address);
    return a;
}

bool DecodeConfigBlock(std::span<const quint8> Data, TDeviceType DevType, TDevice& Device)
{
    if (Data.size() != ConfigBlock(DevType).Length)
        return false;
    for (int n = 1; n <= 2; ++n) {
        TMeasureChannel& ch = Device.Channel(n);
        const std::size_t limits = configOffset(RegAlarmLimits(n));
        ch.MinAlert = GetSingleBE(Data, limits);
        ch.MaxAlert = GetSingleBE(Data, limits + 4);
        ch.Enabled = Data[configOffset(RegChannelEnable(n))] != 0;
        const std::size_t sensor = configOffset(RegSensorType(n));
        ch.SensorType = ByteToSensorType(Data[sensor]);
        ch.SensorModel = Data[sensor + 1];
        DecodeDigitsByte(Data[configOffset(RegDecimals(n))], ch);
    }
    if (DevType == TDeviceType::ThermoInputs) {
        DecodeColdJunctionByte(Data[configOffset(RegColdJunction)], Device);
    } else {
        for (int n = 1; n <= 2; ++n) {
            TMeasureChannel& ch = Device.Channel(n);
            const std::size_t range = configOffset(RegMeasRange(n));
            ch.MaxBound = GetSingleBE(Data, range);
            ch.MinBound = GetSingleBE(Data, range + 4);
        }
    }
    return true;
}

std::vector<quint8> EncodeConfigBlock(const TDevice& Device, TDeviceType DevType)
{
    std::vector<quint8> block(ConfigBlock(DevType).Length, 0);
    const auto put = [&block](const TRegister& Reg, std::span<const quint8> Bytes) {
        std::copy(Bytes.begin(), Bytes.end(), block.begin() + std::ptrdiff_t(configOffset(Reg)));
    };
    for (int n = 1; n <= 2; ++n) {
        const TMeasureChannel& ch = Device.Channel(n);
        put(RegAlarmLimits(n), EncodeAlarmLimits(ch.MinAlert, ch.MaxAlert));
        block[configOffset(RegChannelEnable(n))] = ch.Enabled ? 1 : 0;
        block[configOffset(RegSensorType(n))] = SensorTypeToByte(ch.SensorType);
        block[configOffset(RegSensorType(n)) + 1] = ch.SensorModel;
        block[configOffset(RegDecimals(n))] = quint8((ch.DigitsHi & 0x0F) << 4 | (ch.DigitsLo & 0x0F));
        if (DevType != TDeviceType::ThermoInputs)
            put(RegMeasRange(n), EncodeMeasRange(ch.MinBound, ch.MaxBound));
    }
    if (DevType == TDeviceType::ThermoInputs)
        block[configOffset(RegColdJunction)] =
            quint8((Device.Channel1->UseColdJunction ? 1 : 0) | (Device.Channel2->UseColdJunction ? 2 : 0));
    return block;
}

bool DecodeFaultState(std::span<const quint8> Data, quint32& FaultRegister, quint8& SignalAtDevice)
{
    if (Data.size() != RegFaultState.Length)
        return false;
    FaultRegister = GetLongBE(Data, 0);
    SignalAtDevice = Data[4];
    return true;
}

std::array<quint8, 5> EncodeFaultState(quint32 FaultRegister, quint8 SignalAtDevice)
{
    std::array<quint8, 5> a{};
    PutLongBE(a, 0, FaultRegister);
    a[4] = SignalAtDevice;
    return a;
}

bool DecodeSingleRegister(std::span<const quint8> Data, float& Value)
{
    if (Data.size() != 4)
        return false;
    Value = GetSingleBE(Data, 0);
    return true;
}

std::array<quint8, 10> EncodeFwInfo(quint8 HwVersion, quint16 DeviceTypeCode, quint16 ImageCrc,
                                    quint32 ImageLength)
{
    std::array<quint8, 10> a{};
    a[0] = 0;
    a[1] = HwVersion;
    PutWordBE(a, 2, DeviceTypeCode);
    PutWordBE(a, 4, ImageCrc);
    PutLongBE(a, 6, ImageLength);
    return a;
}

bool DecodeFwInfoCrc(std::span<const quint8> Data, quint16& Crc)
{
    if (Data.size() != RegFwInfo.Length)
        return false;
    Crc = GetWordBE(Data, 4);
    return true;
}

std::vector<quint8> EncodeFwData(quint32 Offset, std::span<const quint8> Bytes)
{
    if (Bytes.size() > 0xFFFF)
        throw std::out_of_range("firmware block too long");
    std::vector<quint8> v(RegFwData.Length + Bytes.size());
    PutLongBE(v, 0, Offset);
    PutWordBE(v, 4, quint16(Bytes.size()));
    std::copy(Bytes.begin(), Bytes.end(), v.begin() + RegFwData.Length);
    return v;
}
