#pragma once

#include "config/DeviceConfigWrites.h"
#include "core/Device.h"
#include "core/StringFunc.h"
#include "dispatcher/TableDevice.h"

// The window's inputs for channel N of Row that change nothing on the device:
// no limit, range or digit spin touched.
inline TChannelInputs UnchangedInputs(const TTableDevice& Row, int N)
{
    const TMeasureChannel& ch = Row.Device->Channel(N);
    TChannelInputs in;
    in.Enabled = ch.Enabled;
    in.ColdJunction = ch.UseColdJunction;
    in.SensorType = SensorTypeToByte(ch.SensorType);
    in.SensorModel = ch.SensorModel;
    return in;
}
