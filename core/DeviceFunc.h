#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

class TDevice;

// A signal-level byte (at the device or at the PC's modem) in dBm: the byte as a
// signed value, halved, minus 74.
double RssiToDbm(quint8 Rssi);
// Bars 0..4 of the signal-level pictures; each bound (-20, -40, -60, -80 dBm)
// belongs to the higher level.
quint8 RssiToSignalLevel(quint8 Rssi);
// Appends the texts of the set fault bits 0..12 in bit order; Lines is not cleared.
void FillFaultFlagsList(quint32 FaultRegister, QStringList& Lines);
// True when Text is a new error for Device (differs from the last one compared,
// the empty text included); remembers it. Callers journal only a true result
// with a non-empty text, so one error is journalled once in a row.
bool DeviceErrorChanged(const QString& Text, TDevice& Device);
