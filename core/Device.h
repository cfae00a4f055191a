#pragma once

#include "core/ChartSeries.h"

#include <QColor>
#include <QString>
#include <QtGlobal>
#include <array>
#include <memory>
#include <vector>

class TFormGraphic;

// Device type code as the device reports it in its identification.
enum class TDeviceType : quint8
{
    Unknown = 0,
    ThermoInputs = 1, // "ЛО РВ-ТС/ТП": thermocouples and resistance thermometers, cold-junction sensor
    UnifiedInputs = 2, // "ЛО РВ-Т/Н": unified voltage and current signals
};

enum class TSensorType : quint8
{
    None = 0,
    Thermocouple = 1,
    ResistanceThermometer = 2,
    Voltage = 3,
    Current = 4,
    OneWire = 5,
};

// A sensor type a device type accepts, with the accepted models in the order
// the configuration window lists them.
struct TSupportedSensor
{
    quint8 SensorType = 0;
    std::vector<quint8> Models;

    bool operator==(const TSupportedSensor&) const = default;
};
using TSupportedSensorArray = std::vector<TSupportedSensor>;

// Texts of the fault register bits 0..12; higher bits have none.
constexpr int FaultNameCount = 13;
extern const std::array<QString, FaultNameCount> FaultNames;

// Fault bits the polling acts upon.
constexpr int FaultBitNoColdJunctionData = 1;
constexpr int FaultBitEepromReadFailed = 3;
constexpr int FaultBitChannel1OutOfRange = 11;
constexpr int FaultBitChannel2OutOfRange = 12;

// "Температура" for thermocouples and resistance thermometers, else empty.
QString GetQuantityName(TSensorType SensorType);
// "°C" (Latin C) for thermocouples and resistance thermometers, else empty.
QString GetUnitName(TSensorType SensorType);
int GetMinSignificantDigits(TSensorType SensorType);
int GetMaxSignificantDigits(TSensorType SensorType);
// Empty above 5.
QString GetSensorTypeName(TSensorType SensorType);
// The nominal characteristic or signal range; empty where a type has no such model.
QString GetSensorModelName(TSensorType SensorType, quint8 Model);
// Empty for an unknown device type.
TSupportedSensorArray GetSupportedSensors(TDeviceType DevType);
// 0..5 unchanged, anything else None.
TSensorType ByteToSensorType(quint8 B);
quint8 SensorTypeToByte(TSensorType T);
// 0..2 unchanged, anything else Unknown.
TDeviceType WordToDeviceType(quint16 W);
quint16 DeviceTypeToWord(TDeviceType T);
// False, leaving S as it was, for a value outside the table.
bool GetDeviceTypeName(TDeviceType T, QString& S);

// The colour of a new chart line.
inline const QColor DefaultLineColor = QColor(0, 128, 0);
// "№" + five-digit serial + "К1" / "К2" (Cyrillic К).
QString ChannelLineTitle(quint16 SerialNum, int ChannelNum);

// One chart line: a title, the series it owns and the chart window showing it.
// Freeing the line takes the series out of its chart first.
class TGraphLine
{
public:
    // Chart, when given, is GraphForm's chart: the line is drawn there at once.
    // Lines are also attached later through GraphForm and Series->SetParentChart.
    TGraphLine(const QString& Title, const QColor& Color, TFormGraphic* GraphForm = nullptr,
               IParentChart* Chart = nullptr);
    ~TGraphLine();
    TGraphLine(const TGraphLine&) = delete;
    TGraphLine& operator=(const TGraphLine&) = delete;

    QString Title;
    std::unique_ptr<IChartSeries> Series;
    TFormGraphic* GraphForm = nullptr;
};

// One measuring channel of a device.
class TMeasureChannel
{
public:
    TMeasureChannel(quint8 ChannelNum, const QString& LineTitle);
    TMeasureChannel(const TMeasureChannel&) = delete;
    TMeasureChannel& operator=(const TMeasureChannel&) = delete;

    // DigitsHi while the sensor is a thermocouple, else DigitsLo.
    int SignificantDigits() const;

    quint8 ChannelNum = 1;
    bool Enabled = false;
    TSensorType SensorType = TSensorType::None;
    quint8 SensorModel = 0;
    float MinAlert = 0;
    float MaxAlert = 0;
    float MinBound = 0;
    float MaxBound = 0;
    bool ValueValid = false;
    float Value = 0;
    // 0 normal, 1 near the low limit, 2 near the high limit, 3 below the low
    // limit, 4 above the high limit.
    quint8 LimitState = 0;
    qint32 DigitsHi = 4;
    qint32 DigitsLo = 4;
    bool UseColdJunction = false;
    QString QuantityName;
    QString MeasUnitName;
    // The names above came from the device at least once (types other than 1).
    bool NamesRead = false;
    std::unique_ptr<TGraphLine> GraphLine;
    bool AlarmSounded = false;
};

// One measuring device with its two channels.
class TDevice
{
public:
    // A new device as a new table row makes it: everything 0, off or empty, the
    // two channels with their chart lines.
    explicit TDevice(quint16 SerialNum = 0);
    // Frees channel 1's line, channel 1, channel 2's line, then channel 2.
    ~TDevice();
    TDevice(const TDevice&) = delete;
    TDevice& operator=(const TDevice&) = delete;

    // Channel 1 or 2; any other number throws std::out_of_range.
    TMeasureChannel& Channel(int Num);
    const TMeasureChannel& Channel(int Num) const;
    // Another device type has another block and names: what was read of the old
    // type no longer describes the device and is forgotten. True when Type is new.
    bool SetDeviceType(TDeviceType Type);

    TDeviceType DeviceType = TDeviceType::Unknown;
    quint16 SerialNum = 0;
    quint8 HwVersion = 0;
    quint16 SwVersion = 0; // major in the high byte, minor in the low byte
    quint8 RfChannel = 0;
    quint8 RfPowerCode = 0;
    quint8 SignalAtDevice = 0;
    quint8 SignalAtPC = 0;
    quint32 FaultRegister = 0;
    quint32 PrevFaultRegister = 0;
    QString Comment;
    bool ColdJunctionValid = false;
    float ColdJunctionTemp = 0;
    // The configuration block of the present device type was read good at least
    // once; until then the channel settings are defaults, not the device's.
    bool ConfigRead = false;
    std::unique_ptr<TMeasureChannel> Channel1;
    std::unique_ptr<TMeasureChannel> Channel2;
    QString LastErrorText;
};
