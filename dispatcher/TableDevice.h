#pragma once

#include "core/Device.h"

#include <QMetaType>
#include <QString>
#include <memory>

// Row status of the device table.
enum TDeviceStatus : quint8
{
    dsNoLink = 0,
    dsOk = 1,
    dsWarning = 2,
    dsAlarm = 3,
};

// One row of the device table; owns its device (and through it the channels and
// their chart lines).
class TTableDevice
{
public:
    explicit TTableDevice(quint16 SerialNum);

    bool Selected = false;
    quint8 Status = dsNoLink;
    bool Hidden = false;
    std::unique_ptr<TDevice> Device;
};

// Rows travel in item roles and signals.
Q_DECLARE_METATYPE(TTableDevice*)
