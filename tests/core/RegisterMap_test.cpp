#include "core/RegisterMap.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <vector>

namespace {

using Bytes = std::vector<quint8>;

template <std::size_t N> Bytes vec(const std::array<quint8, N>& a)
{
    return Bytes(a.begin(), a.end());
}

// Copies Src into Block at the register's place within a block starting at Base.
void place(Bytes& Block, quint16 Base, const TRegister& Reg, const Bytes& Src)
{
    ASSERT_EQ(Src.size(), Reg.Length);
    std::copy(Src.begin(), Src.end(), Block.begin() + (Reg.Address - Base));
}

Bytes singleBytes(float v)
{
    Bytes b(4);
    PutSingleBE(b, 0, v);
    return b;
}

} // namespace

TEST(RegisterMap, BlocksHoldExactlyTheirRegisters)
{
    // Identification: the comment ends the 40-byte block.
    EXPECT_EQ(RegComment.Address + RegComment.Length,
              IdentificationBlock.Address + IdentificationBlock.Length);
    EXPECT_EQ(RegSerialNumber.Address, RegDeviceType.Address + RegDeviceType.Length);
    EXPECT_EQ(RegTxPower.Address, RegSwVersion.Address + RegSwVersion.Length);

    // Type 1: the cold-junction byte is the last byte of its configuration block.
    const TRegister c1 = ConfigBlock(TDeviceType::ThermoInputs);
    EXPECT_EQ(RegColdJunction.Address + RegColdJunction.Length, c1.Address + c1.Length);
    EXPECT_EQ(RegDecimals(2).Address + 1, RegColdJunction.Address);
    // Type 2: 0x0118 starts channel 1's range and channel 2's range ends the block.
    const TRegister c2 = ConfigBlock(TDeviceType::UnifiedInputs);
    EXPECT_EQ(RegMeasRange(1).Address, RegColdJunction.Address);
    EXPECT_EQ(RegMeasRange(2).Address + RegMeasRange(2).Length, c2.Address + c2.Length);
    EXPECT_EQ(c1.Length, 25);
    EXPECT_EQ(c2.Length, 40);
    // The names follow the configuration block and each other.
    EXPECT_EQ(RegQuantityName(1).Address, c2.Address + c2.Length);
    EXPECT_EQ(RegQuantityName(2).Address, RegQuantityName(1).Address + RegQuantityName(1).Length);
    EXPECT_EQ(RegQuantityName(1).Length, QuantityNameLength + MeasUnitNameLength);

    // Current values are four adjacent registers.
    for (std::size_t i = 1; i < CurrentValueReads.size(); ++i)
        EXPECT_EQ(CurrentValueReads[i].Address,
                  CurrentValueReads[i - 1].Address + CurrentValueReads[i - 1].Length);
    EXPECT_EQ(CurrentValueReads.back(), RegColdJunctionTemp);
    // The largest single item fits the 64 data bytes of a request.
    EXPECT_LE(RegQuantityName(2).Length, 64);
    EXPECT_LE(RegFwData.Length + MaxFwDataOverRadio, 64);
    EXPECT_EQ(ExtraFaultRecord.Address, RegFaultState.Address);

    EXPECT_THROW(RegAlarmLimits(0), std::out_of_range);
    EXPECT_THROW(RegChannelValue(3), std::out_of_range);
}

TEST(RegisterMap, IntegersAndSinglesAreBigEndianAndBoundsChecked)
{
    const Bytes b{0x12, 0x34, 0x56, 0x78, 0x9A};
    EXPECT_EQ(GetWordBE(b, 0), 0x1234);
    EXPECT_EQ(GetWordBE(b, 3), 0x789A);
    EXPECT_EQ(GetLongBE(b, 1), 0x3456789Au);
    EXPECT_THROW(GetWordBE(b, 4), std::out_of_range);
    EXPECT_THROW(GetLongBE(b, 2), std::out_of_range);
    EXPECT_THROW(GetSingleBE(b, std::size_t(-1)), std::out_of_range);

    EXPECT_EQ(singleBytes(42.0f), (Bytes{0x42, 0x28, 0x00, 0x00}));
    EXPECT_EQ(singleBytes(0.1f), (Bytes{0x3D, 0xCC, 0xCC, 0xCD}));
    EXPECT_EQ(GetSingleBE(singleBytes(-273.15f), 0), -273.15f);

    Bytes w(3, 0xEE);
    PutWordBE(w, 1, 0xABCD);
    EXPECT_EQ(w, (Bytes{0xEE, 0xAB, 0xCD}));
    EXPECT_THROW(PutLongBE(w, 0, 1), std::out_of_range);
    EXPECT_EQ(w, (Bytes{0xEE, 0xAB, 0xCD})); // nothing written past or before
}

TEST(RegisterMap, LimitsAreLowFirstAndRangesHighFirst)
{
    const Bytes limits = vec(EncodeAlarmLimits(-10.0f, 100.0f));
    EXPECT_EQ(Bytes(limits.begin(), limits.begin() + 4), singleBytes(-10.0f));
    EXPECT_EQ(Bytes(limits.begin() + 4, limits.end()), singleBytes(100.0f));

    const Bytes range = vec(EncodeMeasRange(4.0f, 20.0f));
    EXPECT_EQ(Bytes(range.begin(), range.begin() + 4), singleBytes(20.0f));
    EXPECT_EQ(Bytes(range.begin() + 4, range.end()), singleBytes(4.0f));
}

TEST(RegisterMap, ConfigurationBlockOfAThermoDevice)
{
    Bytes block(25, 0);
    const quint16 base = ConfigBlockAddress;
    place(block, base, RegAlarmLimits(1), vec(EncodeAlarmLimits(-50.0f, 600.0f)));
    place(block, base, RegAlarmLimits(2), vec(EncodeAlarmLimits(0.0f, 150.0f)));
    place(block, base, RegChannelEnable(1), {0x80}); // any non-zero value enables
    place(block, base, RegChannelEnable(2), {0x00});
    place(block, base, RegSensorType(1), {1, 7});
    place(block, base, RegSensorType(2), {6, 3}); // 6 is no known type
    place(block, base, RegDecimals(1), {0x45});
    place(block, base, RegDecimals(2), {0x54});
    place(block, base, RegColdJunction, {0xFE}); // bit 0 clear, bit 1 set, rest ignored

    TDevice d(1);
    d.Channel1->MinBound = 7.0f;
    ASSERT_TRUE(DecodeConfigBlock(block, TDeviceType::ThermoInputs, d));
    const TMeasureChannel& c1 = *d.Channel1;
    const TMeasureChannel& c2 = *d.Channel2;
    EXPECT_EQ(c1.MinAlert, -50.0f);
    EXPECT_EQ(c1.MaxAlert, 600.0f);
    EXPECT_EQ(c2.MaxAlert, 150.0f);
    EXPECT_TRUE(c1.Enabled);
    EXPECT_FALSE(c2.Enabled);
    EXPECT_EQ(c1.SensorType, TSensorType::Thermocouple);
    EXPECT_EQ(c1.SensorModel, 7);
    EXPECT_EQ(c2.SensorType, TSensorType::None);
    EXPECT_EQ(c2.SensorModel, 3);
    EXPECT_EQ(c1.DigitsHi, 4);
    EXPECT_EQ(c1.DigitsLo, 5);
    EXPECT_EQ(c2.DigitsHi, 5);
    EXPECT_EQ(c2.DigitsLo, 4);
    EXPECT_FALSE(c1.UseColdJunction);
    EXPECT_TRUE(c2.UseColdJunction);
    EXPECT_EQ(c1.MinBound, 7.0f); // no range on this type
}

TEST(RegisterMap, ConfigurationBlockOfAUnifiedSignalDevice)
{
    Bytes block(40, 0);
    const quint16 base = ConfigBlockAddress;
    place(block, base, RegSensorType(1), {4, 1});
    place(block, base, RegDecimals(1), {0x05});
    place(block, base, RegMeasRange(1), vec(EncodeMeasRange(4.0f, 20.0f)));
    place(block, base, RegMeasRange(2), vec(EncodeMeasRange(0.0f, 10.0f)));
    // The byte at 0x0118 is the range's first byte here, not cold-junction flags.
    ASSERT_EQ(block[0x18], 0x41);

    TDevice d(2);
    d.Channel1->UseColdJunction = true;
    ASSERT_TRUE(DecodeConfigBlock(block, TDeviceType::UnifiedInputs, d));
    EXPECT_EQ(d.Channel1->MaxBound, 20.0f);
    EXPECT_EQ(d.Channel1->MinBound, 4.0f);
    EXPECT_EQ(d.Channel2->MaxBound, 10.0f);
    EXPECT_EQ(d.Channel2->MinBound, 0.0f);
    EXPECT_EQ(d.Channel1->SensorType, TSensorType::Current);
    EXPECT_EQ(d.Channel1->DigitsHi, 0);
    EXPECT_EQ(d.Channel1->DigitsLo, 5);
    EXPECT_TRUE(d.Channel1->UseColdJunction);
}

TEST(RegisterMap, ConfigurationBlockOfTheWrongLengthChangesNothing)
{
    TDevice d(3);
    d.Channel1->MinAlert = 1.0f;
    EXPECT_FALSE(DecodeConfigBlock(Bytes(40, 0xFF), TDeviceType::ThermoInputs, d));
    EXPECT_FALSE(DecodeConfigBlock(Bytes(25, 0xFF), TDeviceType::UnifiedInputs, d));
    EXPECT_FALSE(DecodeConfigBlock(Bytes(), TDeviceType::UnifiedInputs, d));
    EXPECT_EQ(d.Channel1->MinAlert, 1.0f);
    EXPECT_EQ(d.Channel1->DigitsHi, 4);
}

TEST(RegisterMap, IdentificationBlock)
{
    Bytes block(40, 0);
    place(block, 0, RegDeviceType, {0x00, 0x02});
    place(block, 0, RegSerialNumber, {0x30, 0x39}); // 12345
    place(block, 0, RegHwVersion, {3});
    place(block, 0, RegSwVersion, {1, 7});
    place(block, 0, RegTxPower, {TxPowerCodeHigh});
    Bytes comment(32, 0);
    const Bytes text{0xCA, 0xEB, 0xEE, 0xE2, 0x20, 0x20}; // "Клов  "
    std::copy(text.begin(), text.end(), comment.begin());
    place(block, 0, RegComment, comment);

    TIdentification id;
    ASSERT_TRUE(DecodeIdentification(block, id));
    EXPECT_EQ(id.DeviceType(), TDeviceType::UnifiedInputs);
    EXPECT_EQ(id.SerialNum, 12345);
    EXPECT_EQ(id.SwVersion, 0x0107);
    EXPECT_EQ(id.Comment, QStringLiteral("Клов  ")); // blanks kept

    TDevice d(12345);
    d.RfChannel = 17;
    ApplyIdentification(id, d);
    EXPECT_EQ(d.DeviceType, TDeviceType::UnifiedInputs);
    EXPECT_EQ(d.HwVersion, 3);
    EXPECT_EQ(d.RfPowerCode, TxPowerCodeHigh);
    EXPECT_EQ(d.Comment, id.Comment);
    EXPECT_EQ(d.RfChannel, 17);

    // 32 non-zero bytes give 32 characters; a zero at the start gives none.
    std::fill(block.begin() + 8, block.end(), quint8('x'));
    ASSERT_TRUE(DecodeIdentification(block, id));
    EXPECT_EQ(id.Comment, QString(32, QLatin1Char('x')));
    block[8] = 0;
    ASSERT_TRUE(DecodeIdentification(block, id));
    EXPECT_TRUE(id.Comment.isEmpty());

    place(block, 0, RegDeviceType, {0x01, 0x01});
    ASSERT_TRUE(DecodeIdentification(block, id));
    EXPECT_EQ(id.DeviceType(), TDeviceType::Unknown);
    EXPECT_FALSE(DecodeIdentification(Bytes(39, 0), id));
}

TEST(RegisterMap, QuantityNameOfExactly24CharactersLeavesNoBlank)
{
    const QString name = QStringLiteral("Давление в трубопроводе1"); // 24 characters
    ASSERT_EQ(name.size(), 24);
    const Bytes field = vec(EncodeQuantityNames(name, QStringLiteral(" кПа ")));
    ASSERT_EQ(field.size(), 40u);
    EXPECT_EQ(field[0], 0xC4); // Д
    EXPECT_EQ(field[23], '1');
    EXPECT_EQ(field[24], 0xEA); // к: the unit starts right after the name
    EXPECT_EQ(Bytes(field.begin() + 24, field.begin() + 27), (Bytes{0xEA, 0xCF, 0xE0}));
    EXPECT_TRUE(std::all_of(field.begin() + 27, field.end(), [](quint8 b) { return b == ' '; }));

    QString n;
    QString u;
    ASSERT_TRUE(DecodeQuantityNames(field, n, u));
    EXPECT_EQ(n, name);
    EXPECT_EQ(u, QStringLiteral("кПа"));
}

TEST(RegisterMap, QuantityNamesAreTrimmedCutAndPadded)
{
    const Bytes field =
        vec(EncodeQuantityNames(QStringLiteral("  Ток  "), QStringLiteral("0123456789abcdefXYZ")));
    EXPECT_EQ(Bytes(field.begin(), field.begin() + 4), (Bytes{0xD2, 0xEE, 0xEA, ' '}));
    EXPECT_TRUE(std::all_of(field.begin() + 3, field.begin() + 24, [](quint8 b) { return b == ' '; }));
    EXPECT_EQ(field[39], 'f'); // unit cut to 16
    EXPECT_EQ(NormalizeQuantityName(QStringLiteral(" \tA\n")), QStringLiteral("A"));
    EXPECT_EQ(NormalizeMeasUnitName(QString(20, QLatin1Char('u'))), QString(16, QLatin1Char('u')));
    EXPECT_EQ(NormalizeQuantityName(QString(30, QLatin1Char('n'))).size(), 24);

    // Reading: each field ends at its own zero byte; control characters trimmed.
    Bytes read(40, ' ');
    read[0] = 0x01;
    read[1] = 'P';
    read[2] = 0;
    read[3] = 'X'; // after the zero: not part of the name
    read[24] = 'B';
    read[25] = 'a';
    read[26] = 'r';
    read[27] = '\t';
    QString n;
    QString u;
    ASSERT_TRUE(DecodeQuantityNames(read, n, u));
    EXPECT_EQ(n, QStringLiteral("P"));
    EXPECT_EQ(u, QStringLiteral("Bar"));
    EXPECT_FALSE(DecodeQuantityNames(Bytes(39, ' '), n, u));
}

TEST(RegisterMap, TextFieldsAreCutAtZeroAndPaddedWithBlanks)
{
    EXPECT_EQ(DecodeTextField(Bytes{'a', 'b', 0, 'c'}), QStringLiteral("ab"));
    EXPECT_EQ(DecodeTextField(Bytes{0xD1, 0xCE, 0xCC}), QStringLiteral("СОМ")); // Cyrillic, not Latin COM
    EXPECT_EQ(EncodeTextField(QStringLiteral("Ж中"), 4), (Bytes{0xC6, '?', ' ', ' '}));
    EXPECT_EQ(EncodeTextField(QStringLiteral("abcdef"), 3), (Bytes{'a', 'b', 'c'}));

    const Bytes comment = vec(EncodeComment(QStringLiteral("Котельная")));
    EXPECT_EQ(comment[0], 0xCA);
    EXPECT_EQ(comment[8], 0xFF); // я
    EXPECT_TRUE(std::all_of(comment.begin() + 9, comment.end(), [](quint8 b) { return b == ' '; }));
    EXPECT_EQ(PadComment(QStringLiteral("ab")), QStringLiteral("ab") + QString(30, QLatin1Char(' ')));
    EXPECT_EQ(PadComment(QString(40, QLatin1Char('z'))), QString(32, QLatin1Char('z')));
    // The padded comment reads back as it is kept in the device record.
    EXPECT_EQ(DecodeTextField(EncodeComment(QStringLiteral("ab"))), PadComment(QStringLiteral("ab")));
}

TEST(RegisterMap, DigitsNibbles)
{
    TDevice d(1);
    TMeasureChannel& ch = *d.Channel1;
    ch.DigitsHi = 4;
    ch.DigitsLo = 4;
    // Thermocouple on type 1: new digits go high, the stored low nibble stays.
    EXPECT_EQ(EncodeDigitsByte(TDeviceType::ThermoInputs, TSensorType::Thermocouple, ch, 5), 0x54);
    EXPECT_EQ(&DigitsTarget(TDeviceType::ThermoInputs, TSensorType::Thermocouple, ch), &ch.DigitsHi);
    // Resistance thermometer on type 1: the stored high nibble stays.
    ch.DigitsHi = 5;
    EXPECT_EQ(EncodeDigitsByte(TDeviceType::ThermoInputs, TSensorType::ResistanceThermometer, ch, 4), 0x54);
    EXPECT_EQ(&DigitsTarget(TDeviceType::ThermoInputs, TSensorType::ResistanceThermometer, ch), &ch.DigitsLo);
    // Type 2: the digits alone.
    EXPECT_EQ(EncodeDigitsByte(TDeviceType::UnifiedInputs, TSensorType::Current, ch, 5), 0x05);
    EXPECT_EQ(&DigitsTarget(TDeviceType::UnifiedInputs, TSensorType::Thermocouple, ch), &ch.DigitsLo);
    // A nibble never spills into the other one.
    ch.DigitsLo = 0x1F;
    EXPECT_EQ(EncodeDigitsByte(TDeviceType::ThermoInputs, TSensorType::Thermocouple, ch, 0x15), 0x5F);

    DecodeDigitsByte(0x45, ch);
    EXPECT_EQ(ch.DigitsHi, 4);
    EXPECT_EQ(ch.DigitsLo, 5);
    DecodeDigitsByte(0xF0, ch);
    EXPECT_EQ(ch.DigitsHi, 15);
    EXPECT_EQ(ch.DigitsLo, 0);
}

TEST(RegisterMap, ColdJunctionByteKeepsTheOtherChannelsFlag)
{
    TDevice d(1);
    d.Channel2->UseColdJunction = true;
    EXPECT_EQ(EncodeColdJunctionByte(d, 1, true), 0x03);
    EXPECT_EQ(EncodeColdJunctionByte(d, 1, false), 0x02);
    d.Channel1->UseColdJunction = true;
    d.Channel2->UseColdJunction = false;
    EXPECT_EQ(EncodeColdJunctionByte(d, 2, false), 0x01);
    EXPECT_EQ(EncodeColdJunctionByte(d, 2, true), 0x03);
    EXPECT_THROW(EncodeColdJunctionByte(d, 3, true), std::out_of_range);
    DecodeColdJunctionByte(0x01, d);
    EXPECT_TRUE(d.Channel1->UseColdJunction);
    EXPECT_FALSE(d.Channel2->UseColdJunction);
}

TEST(RegisterMap, CurrentValueItems)
{
    quint32 faults = 0;
    quint8 level = 0;
    ASSERT_TRUE(DecodeFaultState(Bytes{0x80, 0x00, 0x08, 0x01, 0x7F}, faults, level));
    EXPECT_EQ(faults, 0x80000801u);
    EXPECT_EQ(level, 0x7F);
    EXPECT_FALSE(DecodeFaultState(Bytes{0, 0, 0, 0}, faults, level));

    float v = 0;
    ASSERT_TRUE(DecodeSingleRegister(Bytes{0x42, 0x28, 0x00, 0x00}, v));
    EXPECT_EQ(v, 42.0f);
    EXPECT_FALSE(DecodeSingleRegister(Bytes{0x42, 0x28, 0x00}, v));
    EXPECT_EQ(v, 42.0f);
}

TEST(RegisterMap, FirmwareRegisters)
{
    EXPECT_EQ(vec(EncodeFwInfo(3, 2, 0xBEEF, 0x00012345)),
              (Bytes{0x00, 0x03, 0x00, 0x02, 0xBE, 0xEF, 0x00, 0x01, 0x23, 0x45}));
    quint16 crc = 0;
    ASSERT_TRUE(DecodeFwInfoCrc(Bytes{9, 9, 9, 9, 0x12, 0xAB, 9, 9, 9, 9}, crc));
    EXPECT_EQ(crc, 0x12AB);
    EXPECT_FALSE(DecodeFwInfoCrc(Bytes(9, 0), crc));

    const Bytes data{0xDE, 0xAD, 0xBE};
    EXPECT_EQ(EncodeFwData(0x00000120, data), (Bytes{0x00, 0x00, 0x01, 0x20, 0x00, 0x03, 0xDE, 0xAD, 0xBE}));
    EXPECT_EQ(EncodeFwData(0, {}).size(), 6u);
}

TEST(RegisterMap, BlocksEncodedForADeviceReadBackTheSame)
{
    TIdentification id;
    id.DeviceTypeCode = 1;
    id.SerialNum = 40000;
    id.HwVersion = 200;
    id.SwVersion = 0x0203;
    id.RfPowerCode = TxPowerCodeLow;
    id.Comment = QStringLiteral("Цех №2");
    TIdentification back;
    ASSERT_TRUE(DecodeIdentification(EncodeIdentification(id), back));
    EXPECT_EQ(back.SerialNum, 40000);
    EXPECT_EQ(back.SwVersion, 0x0203);
    EXPECT_EQ(back.RfPowerCode, TxPowerCodeLow);
    EXPECT_EQ(back.Comment, PadComment(id.Comment));

    for (const TDeviceType dt : {TDeviceType::ThermoInputs, TDeviceType::UnifiedInputs}) {
        TDevice src(1);
        src.Channel1->MinAlert = -1.5f;
        src.Channel1->MaxAlert = 99.25f;
        src.Channel2->Enabled = true;
        src.Channel2->SensorType = TSensorType::Voltage;
        src.Channel2->SensorModel = 2;
        src.Channel2->DigitsHi = 5;
        src.Channel2->DigitsLo = 4;
        src.Channel2->UseColdJunction = dt == TDeviceType::ThermoInputs;
        src.Channel1->MinBound = 4.0f;
        src.Channel1->MaxBound = 20.0f;
        const Bytes block = EncodeConfigBlock(src, dt);
        ASSERT_EQ(block.size(), ConfigBlock(dt).Length);
        TDevice dst(1);
        ASSERT_TRUE(DecodeConfigBlock(block, dt, dst));
        EXPECT_EQ(dst.Channel1->MinAlert, -1.5f);
        EXPECT_EQ(dst.Channel1->MaxAlert, 99.25f);
        EXPECT_TRUE(dst.Channel2->Enabled);
        EXPECT_EQ(dst.Channel2->SensorType, TSensorType::Voltage);
        EXPECT_EQ(dst.Channel2->SensorModel, 2);
        EXPECT_EQ(dst.Channel2->DigitsHi, 5);
        EXPECT_EQ(dst.Channel2->DigitsLo, 4);
        if (dt == TDeviceType::ThermoInputs) {
            EXPECT_TRUE(dst.Channel2->UseColdJunction);
            EXPECT_EQ(block.back(), 0x02);
        } else {
            EXPECT_EQ(dst.Channel1->MaxBound, 20.0f);
            EXPECT_EQ(dst.Channel1->MinBound, 4.0f);
        }
    }
    EXPECT_EQ(vec(EncodeFaultState(0x00000809u, 0x80)), (Bytes{0x00, 0x00, 0x08, 0x09, 0x80}));
}
