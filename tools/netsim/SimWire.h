#pragma once

#include <QByteArray>
#include <QtGlobal>

// Byte-level helpers of the simulator: the frame checksum and big-endian fields.
// Kept here so the simulator never shares code with the side it is testing.
namespace SimWire {

// CRC-16/MODBUS: reflected polynomial 0xA001, no final xor. Frames start it at 0xFFFF.
quint16 Crc16(const quint8* Data, qsizetype Count, quint16 Crc = 0xFFFF);
quint16 Crc16(const QByteArray& Data);

quint16 ReadBE16(const quint8* P);
quint32 ReadBE32(const quint8* P);
void WriteBE16(quint8* P, quint16 Value);
void WriteBE32(quint8* P, quint32 Value);
void AppendBE16(QByteArray& Out, quint16 Value);
void AppendBE32(QByteArray& Out, quint32 Value);

// IEEE single precision, most significant byte first, as the devices keep values.
QByteArray FloatBE(float Value);
float FloatFromBE(const quint8* P);

// Appends the checksum of everything in Frame, high byte first.
void AppendCrc(QByteArray& Frame);
// The last two bytes are the checksum of the bytes before them.
bool CrcMatches(const QByteArray& Frame);

} // namespace SimWire
