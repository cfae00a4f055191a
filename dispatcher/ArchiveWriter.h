#pragma once

#include "core/DateTime.h"

#include <QString>

class TDevice;

// What the polling asks of the measurement archive. The archive window
// implements it; every operation reports a failure through its result and a
// Russian text, which the polling journals. Only a channel number other than
// 1 or 2 (a programming error) throws.
class IArchiveWriter
{
public:
    virtual ~IArchiveWriter() = default;

    // Stores the device's settings as a history row when they changed.
    virtual bool UpdateDeviceRecord(const TDevice& Device, QString& ErrMsg) = 0;
    // The same for both channels of the device.
    virtual bool UpdateChannelRecords(const TDevice& Device, QString& ErrMsg) = 0;
    // One value of channel ChannelNum (1 or 2) taken at Time. Empties ErrMsg first.
    virtual bool AddMeasurement(const TDevice& Device, int ChannelNum, TDateTime Time, QString& ErrMsg) = 0;
    // Closes the measurement dataset when it is open, which writes the day's file.
    virtual void CloseMeasures() = 0;
};
