#include "core/Device.h"

#include "core/StringFunc.h"

#include <stdexcept>

const std::array<QString, FaultNameCount> FaultNames = {
    QStringLiteral("Неисправность шины энергонезависимой памяти"),
    QStringLiteral("Нет данных от датчика холодных концов"),
    QStringLiteral("Датчик холодных концов возможно не калиброван"),
    QStringLiteral("Не удалость считать данные с микросхемы энергонезависимой памяти, загружены настройки "
                   "по-умолчанию"),
    QStringLiteral("Ошибка при передаче дынных через радио-трансивер"),
    QStringLiteral("Неисправность шины радио-трансивера"),
    QStringLiteral("Принят радио-пакет с переполнением длины"),
    QStringLiteral("Принят радио-пакет нулевой длины"),
    QStringLiteral("Принято сетевое сообщение некорректной длины"),
    QStringLiteral("Принято сетевое сообщение с неверной контрольной суммой"),
    QStringLiteral("Неверные значения калибровочных констант"),
    QStringLiteral("Выход сигнала датчика за пределы входного диапазона на канале 1"),
    QStringLiteral("Выход сигнала датчика за пределы входного диапазона на канале 2"),
};

namespace {

bool isTemperatureSensor(TSensorType SensorType)
{
    return SensorType == TSensorType::Thermocouple || SensorType == TSensorType::ResistanceThermometer;
}

} // namespace

QString GetQuantityName(TSensorType SensorType)
{
    return isTemperatureSensor(SensorType) ? QStringLiteral("Температура") : QString();
}

QString GetUnitName(TSensorType SensorType)
{
    return isTemperatureSensor(SensorType) ? QStringLiteral("°C") : QString();
}

int GetMinSignificantDigits(TSensorType)
{
    return 4;
}

int GetMaxSignificantDigits(TSensorType)
{
    return 5;
}

QString GetSensorTypeName(TSensorType SensorType)
{
    switch (SensorType) {
    case TSensorType::None:
        return QStringLiteral("-");
    case TSensorType::Thermocouple:
        return QStringLiteral("преобразователь термоэлектрический");
    case TSensorType::ResistanceThermometer:
        return QStringLiteral("термопреобразователь сопротивления");
    case TSensorType::Voltage:
        return QStringLiteral("унифицированный сигнал напряжения");
    case TSensorType::Current:
        return QStringLiteral("унифицированный сигнал тока");
    case TSensorType::OneWire:
        return QStringLiteral("датчик с интерфейсом 1-Wire");
    }
    return QString();
}

QString GetSensorModelName(TSensorType SensorType, quint8 Model)
{
    switch (SensorType) {
    case TSensorType::None:
        return QStringLiteral("-");
    case TSensorType::Thermocouple:
        switch (Model) {
        case 0:
            return QStringLiteral("-");
        case 1:
            return QStringLiteral("ТПП13(R)");
        case 2:
            return QStringLiteral("ТПП10(S)");
        case 3:
            return QStringLiteral("ТПР(B)");
        case 4:
            return QStringLiteral("ТЖК(J)");
        case 5:
            return QStringLiteral("ТМК(T)");
        case 6:
            return QStringLiteral("ТХКн(E)");
        case 7:
            return QStringLiteral("ТХА(K)");
        case 8:
            return QStringLiteral("ТНН(N)");
        // 10 and 11 are never offered; a device reporting them shows the text of 9.
        case 9:
        case 10:
        case 11:
            return QStringLiteral("ТВР(A-1)");
        case 12:
            return QStringLiteral("ТХК(L)");
        case 13:
            return QStringLiteral("ТМК(M)");
        default:
            return QString();
        }
    case TSensorType::ResistanceThermometer:
        switch (Model) {
        case 0:
            return QStringLiteral("-");
        case 1:
            return QStringLiteral("M");
        case 2:
            return QStringLiteral("Pt");
        case 3:
            return QStringLiteral("П");
        case 4:
            return QStringLiteral("H");
        case 5:
            return QStringLiteral("50M");
        case 6:
            return QStringLiteral("100M");
        case 7:
            return QStringLiteral("50П");
        case 8:
            return QStringLiteral("100П");
        case 9:
            return QStringLiteral("Pt50");
        case 10:
            return QStringLiteral("Pt100");
        default:
            return QString();
        }
    case TSensorType::Voltage:
        switch (Model) {
        case 0:
            return QStringLiteral("-");
        case 1:
            return QStringLiteral("0-5 В");
        case 2:
            return QStringLiteral("0-10 В");
        default:
            return QString();
        }
    case TSensorType::Current:
        switch (Model) {
        case 0:
            return QStringLiteral("-");
        case 1:
            return QStringLiteral("4-20 мА");
        default:
            return QString();
        }
    case TSensorType::OneWire:
        return QString();
    }
    return QString();
}

TSupportedSensorArray GetSupportedSensors(TDeviceType DevType)
{
    switch (DevType) {
    case TDeviceType::ThermoInputs:
        return {
            {SensorTypeToByte(TSensorType::Thermocouple), {2, 3, 4, 7, 12}},
            {SensorTypeToByte(TSensorType::ResistanceThermometer), {7, 8, 9, 10, 5, 6}},
        };
    case TDeviceType::UnifiedInputs:
        return {
            {SensorTypeToByte(TSensorType::Current), {1}},
            {SensorTypeToByte(TSensorType::Voltage), {1, 2}},
        };
    case TDeviceType::Unknown:
        break;
    }
    return {};
}

TSensorType ByteToSensorType(quint8 B)
{
    return B <= 5 ? static_cast<TSensorType>(B) : TSensorType::None;
}

quint8 SensorTypeToByte(TSensorType T)
{
    return static_cast<quint8>(T);
}

TDeviceType WordToDeviceType(quint16 W)
{
    return W <= 2 ? static_cast<TDeviceType>(W) : TDeviceType::Unknown;
}

quint16 DeviceTypeToWord(TDeviceType T)
{
    return static_cast<quint16>(T);
}

bool GetDeviceTypeName(TDeviceType T, QString& S)
{
    switch (T) {
    case TDeviceType::Unknown:
        S = QStringLiteral("Неизвестный");
        return true;
    case TDeviceType::ThermoInputs:
        S = QStringLiteral("ЛО РВ-ТС/ТП");
        return true;
    case TDeviceType::UnifiedInputs:
        S = QStringLiteral("ЛО РВ-Т/Н");
        return true;
    }
    return false;
}

QString ChannelLineTitle(quint16 SerialNum, int ChannelNum)
{
    return QStringLiteral("№") + SerialToStr(SerialNum) + QStringLiteral("К") + QString::number(ChannelNum);
}

TGraphLine::TGraphLine(const QString& Title, const QColor& Color, TFormGraphic* GraphForm,
                       IParentChart* Chart)
    : Title(Title), Series(std::make_unique<TMemoryChartSeries>()), GraphForm(GraphForm)
{
    Series->SetColor(Color);
    Series->SetTitle(Title);
    if (Chart)
        Series->SetParentChart(Chart);
}

TGraphLine::~TGraphLine()
{
    if (Series)
        Series->SetParentChart(nullptr);
    Series.reset();
}

TMeasureChannel::TMeasureChannel(quint8 ChannelNum, const QString& LineTitle)
    : ChannelNum(ChannelNum), GraphLine(std::make_unique<TGraphLine>(LineTitle, DefaultLineColor))
{
}

int TMeasureChannel::SignificantDigits() const
{
    return SensorType == TSensorType::Thermocouple ? DigitsHi : DigitsLo;
}

TDevice::TDevice(quint16 SerialNum)
    : SerialNum(SerialNum), Channel1(std::make_unique<TMeasureChannel>(1, ChannelLineTitle(SerialNum, 1))),
      Channel2(std::make_unique<TMeasureChannel>(2, ChannelLineTitle(SerialNum, 2)))
{
}

TDevice::~TDevice()
{
    if (Channel1)
        Channel1->GraphLine.reset();
    Channel1.reset();
    if (Channel2)
        Channel2->GraphLine.reset();
    Channel2.reset();
}

TMeasureChannel& TDevice::Channel(int Num)
{
    return const_cast<TMeasureChannel&>(static_cast<const TDevice*>(this)->Channel(Num));
}

const TMeasureChannel& TDevice::Channel(int Num) const
{
    const std::unique_ptr<TMeasureChannel>& ch = Num == 1 ? Channel1 : Channel2;
    if ((Num != 1 && Num != 2) || !ch)
        throw std::out_of_range("channel number out of range");
    return *ch;
}

bool TDevice::SetDeviceType(TDeviceType Type)
{
    if (Type == DeviceType)
        return false;
    DeviceType = Type;
    ConfigRead = false;
    Channel1->NamesRead = false;
    Channel2->NamesRead = false;
    return true;
}
