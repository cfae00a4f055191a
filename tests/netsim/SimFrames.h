#pragma once

#include <QByteArray>
#include <QList>

// Frames as the PC builds them, with a checksum computed here rather than by the
// simulator, so a wrong checksum in the simulator cannot hide behind itself.
namespace SimFrames {

inline quint16 ModbusCrc(const QByteArray& Data)
{
    quint16 crc = 0xFFFF;
    for (const char c : Data) {
        crc ^= quint8(c);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

inline QByteArray WithCrc(QByteArray Frame)
{
    const quint16 crc = ModbusCrc(Frame);
    Frame.append(char(crc >> 8));
    Frame.append(char(crc & 0xFF));
    return Frame;
}

inline QByteArray Read(quint16 Reg, quint8 Len)
{
    QByteArray item;
    item.append(char(1)).append(char(Reg >> 8)).append(char(Reg & 0xFF)).append(char(Len));
    return item;
}

inline QByteArray Write(quint16 Reg, const QByteArray& Data)
{
    QByteArray item;
    item.append(char(2)).append(char(Reg >> 8)).append(char(Reg & 0xFF)).append(char(Data.size()));
    return item + Data;
}

inline QByteArray Request(quint16 Dest, const QByteArray& Items)
{
    QByteArray f;
    f.append(char(Dest >> 8));
    f.append(char(Dest & 0xFF));
    f.append(char(0));
    f.append(char(0));
    f.append(char(Items.size()));
    return WithCrc(f + Items);
}

// The parts of a reply as the PC reads it: lead byte, frame, level, trailer.
struct Reply
{
    bool Valid = false; // sizes agree and the checksum matches
    quint16 Dest = 0;
    quint16 Source = 0;
    int Length = 0;
    QByteArray Items;
    quint8 PcLevel = 0;
};

inline Reply Parse(const QByteArray& Bytes)
{
    Reply r;
    if (Bytes.size() < 10)
        return r;
    const auto b = [&](int i) { return quint8(Bytes[i]); };
    r.Dest = quint16(b(1) << 8 | b(2));
    r.Source = quint16(b(3) << 8 | b(4));
    r.Length = b(5);
    r.Items = Bytes.mid(6, Bytes.size() - 10);
    r.PcLevel = b(Bytes.size() - 2);
    const QByteArray frame = Bytes.mid(1, Bytes.size() - 3);
    r.Valid = r.Length + 10 == Bytes.size() && SimFrames::WithCrc(frame.left(frame.size() - 2)) == frame;
    return r;
}

} // namespace SimFrames
