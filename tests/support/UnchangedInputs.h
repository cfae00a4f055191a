#pragma once

#include "config/DeviceConfigWrites.h"
#include "core/Device.h"
#include "core/StringFunc.h"
#include "dispatcher/TableDevice.h"

// The window's inputs for channel N of Row that change nothing on the device.
inline TChannelInputs UnchangedInputs(const TTableDevice& Row, int N)
{
    const TMeasureChannel& ch = Row.Device->Channel(N);
    TChannelInputs in;
    in.Enabled = ch.Enabled;
    in.AlertMin = FormatFloat3(ch.MinAlert);
    in.AlertMax = FormatFloat3(ch.MaxAlert);
    in.RangeMin = FormatFloat3(ch.MinBound);
    in.RangeMax = FormatFloat3(ch.MaxBound);
    in.ColdJunction = ch.UseColdJunction;
    in.SensorType = SensorTypeToByte(ch.SensorType);
    in.SensorModel = ch.SensorModel;
    in.Digits = ch.SignificantDigits();
    return in;
}
