#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <array>

// Frames of the firmware update over a USB serial port: the radio frame layout
// (destination, source 0, payload length, one item, CRC-16 high byte first),
// written and read raw on the device's own port.
namespace FwUsbFrames {

constexpr int BlockSize = 236;
constexpr int ParamFrameSize = 21;
constexpr int MaxFrameSize = 253;

// The 21-byte frame writing the update parameter block.
QByteArray ParamFrame(quint16 Serial, const std::array<quint8, 10>& FwInfo);
// A block frame of Block.size() + 17 bytes.
QByteArray BlockFrame(quint16 Serial, quint32 Offset, const QByteArray& Block);

// Checks of a reply as read.
enum class TReplyCheck
{
    Ok,
    WrongLength,
    WrongCrc,
};
TReplyCheck CheckReply(const QByteArray& Reply);
// An error item (bit 7 of the first item's function): its code in Code.
bool IsErrorReply(const QByteArray& Reply, quint8& Code);
// The echo of a write of Register with DataLen bytes.
bool IsWriteEcho(const QByteArray& Reply, quint16 Register, int DataLen);

} // namespace FwUsbFrames
