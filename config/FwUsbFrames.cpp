#include "config/FwUsbFrames.h"

#include "core/NetComm.h"
#include "core/RegisterMap.h"

#include <span>

namespace FwUsbFrames {

namespace {

std::span<const quint8> bytes(const QByteArray& A, int Count)
{
    return std::span<const quint8>(reinterpret_cast<const quint8*>(A.constData()), Count);
}

void appendBE16(QByteArray& F, quint16 V)
{
    F.append(char(V >> 8));
    F.append(char(V));
}

QByteArray frameHead(quint16 Serial, int PayloadLen, quint8 Func, quint16 Register, int DataLen)
{
    QByteArray f;
    appendBE16(f, Serial);
    appendBE16(f, 0);
    f.append(char(PayloadLen));
    f.append(char(Func));
    appendBE16(f, Register);
    f.append(char(DataLen));
    return f;
}

void appendCrc(QByteArray& F)
{
    quint16 crc = 0xFFFF;
    CalcCRC16(bytes(F, F.size()), crc);
    appendBE16(F, crc);
}

quint8 at(const QByteArray& A, int I)
{
    return quint8(A[I]);
}

} // namespace

QByteArray ParamFrame(quint16 Serial, const std::array<quint8, 10>& FwInfo)
{
    QByteArray f =
        frameHead(Serial, 4 + int(FwInfo.size()), NetFunction::Write, RegFwInfo.Address, int(FwInfo.size()));
    f.append(reinterpret_cast<const char*>(FwInfo.data()), int(FwInfo.size()));
    appendCrc(f);
    return f;
}

QByteArray BlockFrame(quint16 Serial, quint32 Offset, const QByteArray& Block)
{
    const int n = int(Block.size());
    QByteArray f = frameHead(Serial, n + 10, NetFunction::Write, RegFwData.Address, n + 6);
    for (int i = 0; i < 4; ++i)
        f.append(char(Offset >> (24 - 8 * i)));
    appendBE16(f, quint16(n));
    f.append(Block);
    appendCrc(f);
    return f;
}

TReplyCheck CheckReply(const QByteArray& Reply)
{
    if (Reply.size() < 7 || Reply.size() != at(Reply, 4) + 7)
        return TReplyCheck::WrongLength;
    quint16 crc = 0xFFFF;
    CalcCRC16(bytes(Reply, int(Reply.size()) - 2), crc);
    if (crc != quint16(at(Reply, Reply.size() - 2) << 8 | at(Reply, Reply.size() - 1)))
        return TReplyCheck::WrongCrc;
    return TReplyCheck::Ok;
}

bool IsErrorReply(const QByteArray& Reply, quint8& Code)
{
    if (Reply.size() < 7 || !(at(Reply, 5) & 0x80))
        return false;
    Code = at(Reply, 6);
    return true;
}

bool IsWriteEcho(const QByteArray& Reply, quint16 Register, int DataLen)
{
    return Reply.size() >= 11 && at(Reply, 5) == NetFunction::Write &&
           at(Reply, 6) == quint8(Register >> 8) && at(Reply, 7) == quint8(Register) &&
           at(Reply, 8) == quint8(DataLen);
}

} // namespace FwUsbFrames
