#include "core/DeviceFunc.h"

#include "core/Device.h"

double RssiToDbm(quint8 Rssi)
{
    return static_cast<qint8>(Rssi) / 2.0 - 74.0;
}

quint8 RssiToSignalLevel(quint8 Rssi)
{
    const double d = RssiToDbm(Rssi);
    if (d >= -20)
        return 4;
    if (d >= -40)
        return 3;
    if (d >= -60)
        return 2;
    if (d >= -80)
        return 1;
    return 0;
}

void FillFaultFlagsList(quint32 FaultRegister, QStringList& Lines)
{
    for (int bit = 0; bit < FaultNameCount; ++bit)
        if (FaultRegister & (quint32(1) << bit))
            Lines.append(FaultNames[std::size_t(bit)]);
}

bool DeviceErrorChanged(const QString& Text, TDevice& Device)
{
    if (Text == Device.LastErrorText)
        return false;
    Device.LastErrorText = Text;
    return true;
}
