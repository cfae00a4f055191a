#include "dispatcher/TableDevice.h"

TTableDevice::TTableDevice(quint16 SerialNum) : Device(std::make_unique<TDevice>(SerialNum)) {}
