#pragma once

#include <QByteArray>
#include <QtGlobal>

// Firmware image files for tests and for trying the update by hand: a 16-byte
// header (hardware version, device type code, CRC-16 of the image, image length,
// big-endian) followed by the image. The checksum is computed here on its own,
// so a file made with it tests the reader rather than repeating it.
struct VfwFile
{
    quint8 HwVersion = 1;
    quint16 DeviceType = 1;
    QByteArray Image;
    // Deliberate faults: a header checksum off by one, a length that is not the
    // image's, bytes appended after the image.
    bool BadCrc = false;
    qint64 LengthDelta = 0;
    QByteArray Trailer;
};

namespace VfwWriter {

// CRC-16/MODBUS (reflected 0xA001, start 0xFFFF).
quint16 Crc16(const QByteArray& Data);
// Count bytes of a repeatable pattern that depends on Seed.
QByteArray Pattern(int Count, quint32 Seed = 1);
QByteArray Make(const VfwFile& File);
bool Write(const QString& FileName, const VfwFile& File);

} // namespace VfwWriter
