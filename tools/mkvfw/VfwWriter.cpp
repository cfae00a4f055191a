#include "tools/mkvfw/VfwWriter.h"

#include <QFile>
#include <QString>

namespace VfwWriter {

quint16 Crc16(const QByteArray& Data)
{
    quint16 crc = 0xFFFF;
    for (const char c : Data) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

QByteArray Pattern(int Count, quint32 Seed)
{
    QByteArray out(Count, '\0');
    quint32 x = Seed * 2654435761u + 12345u;
    for (int i = 0; i < Count; ++i) {
        x = x * 1103515245u + 12345u;
        out[i] = char(x >> 16);
    }
    return out;
}

QByteArray Make(const VfwFile& File)
{
    const quint16 crc = quint16(Crc16(File.Image) + (File.BadCrc ? 1 : 0));
    const quint32 length = quint32(qint64(File.Image.size()) + File.LengthDelta);
    QByteArray file(16, '\0');
    file[0] = char(0x56); // not read by the application
    file[1] = char(File.HwVersion);
    file[2] = char(File.DeviceType >> 8);
    file[3] = char(File.DeviceType);
    file[4] = char(crc >> 8);
    file[5] = char(crc);
    for (int i = 0; i < 4; ++i)
        file[6 + i] = char(length >> (24 - 8 * i));
    return file + File.Image + File.Trailer;
}

bool Write(const QString& FileName, const VfwFile& File)
{
    QFile f(FileName);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray data = Make(File);
    return f.write(data) == data.size() && f.flush();
}

} // namespace VfwWriter
