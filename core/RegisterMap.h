#pragma once

#include "core/Device.h"

#include <QString>
#include <QtGlobal>
#include <array>
#include <cstddef>
#include <span>
#include <stdexcept>
#include <vector>

// The device registers: 16-bit byte addresses, big-endian integers, IEEE singles
// most significant byte first, fixed-length Windows-1251 text fields. Blocks are
// read whole and single registers written.

struct TRegister
{
    quint16 Address = 0;
    quint16 Length = 0;

    constexpr bool operator==(const TRegister&) const = default;
};

namespace RegisterMapDetail {
constexpr int checkedChannel(int Channel)
{
    if (Channel != 1 && Channel != 2)
        throw std::out_of_range("channel number out of range");
    return Channel - 1;
}
} // namespace RegisterMapDetail

// Identification.
constexpr TRegister RegDeviceType{0x0000, 2};
constexpr TRegister RegSerialNumber{0x0002, 2};
constexpr TRegister RegHwVersion{0x0004, 1};
constexpr TRegister RegSwVersion{0x0005, 2}; // major in the high byte
constexpr TRegister RegTxPower{0x0007, 1};
constexpr TRegister RegComment{0x0008, 32};

// Channel configuration (Channel 1 or 2).
constexpr TRegister RegAlarmLimits(int Channel) // low limit, then high limit
{
    return {quint16(0x0100 + 8 * RegisterMapDetail::checkedChannel(Channel)), 8};
}
constexpr TRegister RegChannelEnable(int Channel)
{
    return {quint16(0x0110 + RegisterMapDetail::checkedChannel(Channel)), 1};
}
constexpr TRegister RegSensorType(int Channel) // sensor type byte, then model byte
{
    return {quint16(0x0112 + 2 * RegisterMapDetail::checkedChannel(Channel)), 2};
}
constexpr TRegister RegDecimals(int Channel) // high nibble DigitsHi, low nibble DigitsLo
{
    return {quint16(0x0116 + RegisterMapDetail::checkedChannel(Channel)), 1};
}
// Type 1 only: bit 0 channel 1, bit 1 channel 2 compensated by the built-in sensor.
constexpr TRegister RegColdJunction{0x0118, 1};
// Type 2 only: high bound first, then low bound (the reverse of the limits).
constexpr TRegister RegMeasRange(int Channel)
{
    return {quint16(0x0118 + 8 * RegisterMapDetail::checkedChannel(Channel)), 8};
}
// Type 2 only: quantity name (24 bytes), then unit (16 bytes).
constexpr TRegister RegQuantityName(int Channel)
{
    return {quint16(0x0128 + 0x28 * RegisterMapDetail::checkedChannel(Channel)), 40};
}

// Current values.
constexpr TRegister RegFaultState{0x0200, 5}; // fault register (4), signal level at the device (1)
constexpr TRegister RegChannelValue(int Channel)
{
    return {quint16(0x0205 + 4 * RegisterMapDetail::checkedChannel(Channel)), 4};
}
constexpr TRegister RegColdJunctionTemp{0x020D, 4};

// Commands, radio channel, calibration.
constexpr TRegister RegCommand{0x0300, 1};
constexpr TRegister RegRfChannel{0x0301, 1}; // written only
constexpr TRegister RegCalibrStatus{0x0302, 1};

// Firmware update. RegFwData's length is its 6-byte header; n image bytes follow.
constexpr TRegister RegFwInfo{0xFFF5, 10};
constexpr TRegister RegFwData{0xFFFF, 6};

// Blocks read as one item.
constexpr TRegister IdentificationBlock{0x0000, 40};
constexpr quint16 ConfigBlockAddress = 0x0100;
constexpr TRegister ConfigBlock(TDeviceType DevType)
{
    return {ConfigBlockAddress, quint16(DevType == TDeviceType::ThermoInputs ? 25 : 40)};
}
constexpr std::array<TRegister, 4> CurrentValueReads = {RegFaultState, RegChannelValue(1), RegChannelValue(2),
                                                        RegColdJunctionTemp};
// The unasked extra record: the fault register alone.
constexpr TRegister ExtraFaultRecord{0x0200, 4};

// Register values.
constexpr quint8 CommandRestart = 2;
constexpr quint8 TxPowerCodeLow = 0x6E;
constexpr quint8 TxPowerCodeMedium = 0x60;
constexpr quint8 TxPowerCodeHigh = 0xC0;
constexpr int RfChannelMin = 16;
constexpr int RfChannelMax = 23;
constexpr int QuantityNameLength = 24;
constexpr int MeasUnitNameLength = 16;
constexpr int MaxFwDataOverRadio = 32;

// Big-endian integers and singles at Offset; an access past the end of Data
// throws std::out_of_range.
quint16 GetWordBE(std::span<const quint8> Data, std::size_t Offset);
quint32 GetLongBE(std::span<const quint8> Data, std::size_t Offset);
float GetSingleBE(std::span<const quint8> Data, std::size_t Offset);
void PutWordBE(std::span<quint8> Data, std::size_t Offset, quint16 Value);
void PutLongBE(std::span<quint8> Data, std::size_t Offset, quint32 Value);
void PutSingleBE(std::span<quint8> Data, std::size_t Offset, float Value);

// A text field: the characters up to the first zero byte (or the whole field),
// untrimmed.
QString DecodeTextField(std::span<const quint8> Field);
// Text in Windows-1251, cut to Length bytes and padded with blanks to Length.
std::vector<quint8> EncodeTextField(const QString& Text, int Length);

// The comment as written and then kept in the device record: the text padded
// with blanks to 32 characters.
QString PadComment(const QString& Text);
std::array<quint8, 32> EncodeComment(const QString& Text);

// Quantity name and unit as written and kept: trimmed, cut to 24 and 16 characters.
QString NormalizeQuantityName(const QString& Name);
QString NormalizeMeasUnitName(const QString& Unit);
// Name padded to 24 bytes, then unit padded to 16.
std::array<quint8, 40> EncodeQuantityNames(const QString& Name, const QString& Unit);
// Each field cut at its own first zero byte and trimmed. False unless 40 bytes.
bool DecodeQuantityNames(std::span<const quint8> Data, QString& Name, QString& Unit);

// Alarm limits: low then high. Measuring range: high then low.
std::array<quint8, 8> EncodeAlarmLimits(float Low, float High);
std::array<quint8, 8> EncodeMeasRange(float Low, float High);

// The significant-digit count a write of Digits changes: DigitsHi for a
// thermocouple on a type 1 device, DigitsLo otherwise. ChosenSensor is the
// sensor type being written with it.
qint32& DigitsTarget(TDeviceType DevType, TSensorType ChosenSensor, TMeasureChannel& Channel);
// The RegDecimals byte: type 2 writes Digits alone; type 1 keeps the other
// nibble from the record.
quint8 EncodeDigitsByte(TDeviceType DevType, TSensorType ChosenSensor, const TMeasureChannel& Channel,
                        int Digits);
void DecodeDigitsByte(quint8 B, TMeasureChannel& Channel);

// The RegColdJunction byte for a write of channel Channel's flag; the other
// channel's bit comes from the device record.
quint8 EncodeColdJunctionByte(const TDevice& Device, int Channel, bool UseColdJunction);
void DecodeColdJunctionByte(quint8 B, TDevice& Device);

// The identification block as read.
struct TIdentification
{
    quint16 DeviceTypeCode = 0;
    quint16 SerialNum = 0;
    quint8 HwVersion = 0;
    quint16 SwVersion = 0;
    quint8 RfPowerCode = 0;
    QString Comment;

    TDeviceType DeviceType() const { return WordToDeviceType(DeviceTypeCode); }
};
// False unless Data is the 40-byte block.
bool DecodeIdentification(std::span<const quint8> Data, TIdentification& Id);
// Device type, versions, power code and comment; the serial number and the
// radio channel are the caller's.
void ApplyIdentification(const TIdentification& Id, TDevice& Device);
// The block as a device sends it (the comment padded with blanks).
std::array<quint8, 40> EncodeIdentification(const TIdentification& Id);

// Limits, enable flags, sensors, digits and, by device type, the cold-junction
// flags (type 1) or the ranges (otherwise) of both channels. False, leaving the
// device untouched, unless Data has the length of ConfigBlock(DevType).
bool DecodeConfigBlock(std::span<const quint8> Data, TDeviceType DevType, TDevice& Device);
// The block as a device of DevType sends it for the settings held in Device.
std::vector<quint8> EncodeConfigBlock(const TDevice& Device, TDeviceType DevType);

// The current-value items.
bool DecodeFaultState(std::span<const quint8> Data, quint32& FaultRegister, quint8& SignalAtDevice);
std::array<quint8, 5> EncodeFaultState(quint32 FaultRegister, quint8 SignalAtDevice);
bool DecodeSingleRegister(std::span<const quint8> Data, float& Value);

// RegFwInfo as written at the start of an update, and the running firmware's CRC
// in a read of it.
std::array<quint8, 10> EncodeFwInfo(quint8 HwVersion, quint16 DeviceTypeCode, quint16 ImageCrc,
                                    quint32 ImageLength);
bool DecodeFwInfoCrc(std::span<const quint8> Data, quint16& Crc);
// RegFwData: offset, byte count, then the bytes.
std::vector<quint8> EncodeFwData(quint32 Offset, std::span<const quint8> Bytes);
