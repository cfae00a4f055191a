#pragma once

#include "core/Device.h"
#include "core/RegisterMap.h"
#include "support/FakeConnection.h"

#include <algorithm>
#include <initializer_list>
#include <span>
#include <vector>

// Reply items and whole replies of a measuring device, as the modem hands them over.
namespace DeviceReplies {

using Bytes = std::vector<quint8>;

inline Bytes ReadItem(quint16 Reg, std::span<const quint8> Data)
{
    Bytes item(4 + Data.size());
    item[0] = 0x01;
    item[1] = quint8(Reg >> 8);
    item[2] = quint8(Reg);
    item[3] = quint8(Data.size());
    std::copy(Data.begin(), Data.end(), item.begin() + 4);
    return item;
}

inline Bytes ErrorItem(quint8 Code)
{
    return {0x80, Code};
}

inline Bytes ExtraItem(quint16 Reg, std::span<const quint8> Data)
{
    Bytes item = ReadItem(Reg, Data);
    item[0] = 0x03;
    return item;
}

inline Bytes Join(std::initializer_list<Bytes> Items)
{
    Bytes all;
    for (const Bytes& i : Items)
        all.insert(all.end(), i.begin(), i.end());
    return all;
}

inline Bytes Single(float V)
{
    Bytes b(4);
    PutSingleBE(b, 0, V);
    return b;
}

// The four items of a current-value read.
inline Bytes CurrentItems(quint32 Fault, float V1, float V2, float ColdJunction = 20, quint8 Level = 0x30)
{
    const auto fault = EncodeFaultState(Fault, Level);
    return Join({ReadItem(0x0200, fault), ReadItem(0x0205, Single(V1)), ReadItem(0x0209, Single(V2)),
                 ReadItem(0x020D, Single(ColdJunction))});
}

inline Bytes CurrentReply(quint16 Serial, quint32 Fault, float V1, float V2, float ColdJunction = 20)
{
    return MakeNetReply(Serial, CurrentItems(Fault, V1, V2, ColdJunction));
}

inline TIdentification Identification(quint16 Serial, quint16 Type, const QString& Comment = QString())
{
    TIdentification id;
    id.DeviceTypeCode = Type;
    id.SerialNum = Serial;
    id.HwVersion = 3;
    id.SwVersion = 0x0102;
    id.RfPowerCode = 0x60;
    id.Comment = Comment;
    return id;
}

inline Bytes IdentificationReply(quint16 Serial, const TIdentification& Id)
{
    return MakeNetReply(Serial, ReadItem(0x0000, EncodeIdentification(Id)));
}

inline Bytes ConfigReply(quint16 Serial, const TDevice& Settings, TDeviceType Type)
{
    return MakeNetReply(Serial, ReadItem(0x0100, EncodeConfigBlock(Settings, Type)));
}

inline Bytes NamesReply(quint16 Serial, int Channel, const QString& Name, const QString& Unit)
{
    return MakeNetReply(Serial, ReadItem(RegQuantityName(Channel).Address, EncodeQuantityNames(Name, Unit)));
}

inline Bytes ErrorReply(quint16 Serial, quint8 Code)
{
    return MakeNetReply(Serial, ErrorItem(Code));
}

} // namespace DeviceReplies
