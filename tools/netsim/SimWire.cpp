#include "tools/netsim/SimWire.h"

#include <bit>

namespace SimWire {

quint16 Crc16(const quint8* Data, qsizetype Count, quint16 Crc)
{
    for (qsizetype i = 0; i < Count; ++i) {
        quint8 byte = Data[i];
        for (int bit = 0; bit < 8; ++bit) {
            Crc = ((Crc ^ byte) & 1) ? quint16((Crc >> 1) ^ 0xA001) : quint16(Crc >> 1);
            byte >>= 1;
        }
    }
    return Crc;
}

quint16 Crc16(const QByteArray& Data)
{
    return Crc16(reinterpret_cast<const quint8*>(Data.constData()), Data.size());
}

quint16 ReadBE16(const quint8* P)
{
    return quint16((P[0] << 8) | P[1]);
}

quint32 ReadBE32(const quint8* P)
{
    return (quint32(P[0]) << 24) | (quint32(P[1]) << 16) | (quint32(P[2]) << 8) | quint32(P[3]);
}

void WriteBE16(quint8* P, quint16 Value)
{
    P[0] = quint8(Value >> 8);
    P[1] = quint8(Value);
}

void WriteBE32(quint8* P, quint32 Value)
{
    P[0] = quint8(Value >> 24);
    P[1] = quint8(Value >> 16);
    P[2] = quint8(Value >> 8);
    P[3] = quint8(Value);
}

void AppendBE16(QByteArray& Out, quint16 Value)
{
    Out.append(char(Value >> 8));
    Out.append(char(Value & 0xFF));
}

void AppendBE32(QByteArray& Out, quint32 Value)
{
    AppendBE16(Out, quint16(Value >> 16));
    AppendBE16(Out, quint16(Value));
}

QByteArray FloatBE(float Value)
{
    QByteArray out;
    AppendBE32(out, std::bit_cast<quint32>(Value));
    return out;
}

float FloatFromBE(const quint8* P)
{
    return std::bit_cast<float>(ReadBE32(P));
}

void AppendCrc(QByteArray& Frame)
{
    AppendBE16(Frame, Crc16(Frame));
}

bool CrcMatches(const QByteArray& Frame)
{
    if (Frame.size() < 3)
        return false;
    const auto* bytes = reinterpret_cast<const quint8*>(Frame.constData());
    return Crc16(bytes, Frame.size() - 2) == ReadBE16(bytes + Frame.size() - 2);
}

} // namespace SimWire
