#pragma once

#include <QString>
#include <array>
#include <cstddef>
#include <functional>
#include <span>

class TConnection;

// One register operation of a network exchange. Callers fill NetFunc, RegAddr,
// DataLen (and Data for a write); the exchange fills the reply fields.
struct TNetRequest
{
    static constexpr int MaxData = 64;

    quint8 NetFunc = 0; // 1 read, 2 write, 3 extra record (only in replies)
    quint16 RegAddr = 0;
    quint8 DataLen = 0;
    std::array<quint8, MaxData> Data{};
    quint8 ReplyLen = 0;
    bool Failed = false;
    quint8 ErrorCode = 0;
};
static_assert(sizeof(TNetRequest) == 72, "the request record keeps its fixed layout");
static_assert(offsetof(TNetRequest, Data) == 5 && offsetof(TNetRequest, ErrorCode) == 71);

namespace NetFunction {
constexpr quint8 Read = 1;
constexpr quint8 Write = 2;
constexpr quint8 ExtraRecord = 3;
} // namespace NetFunction

// Frame size limits of the radio network.
constexpr int MaxFrameSize = 51;
constexpr int PacketBufSize = 65;
// Entries of the extra-record buffer the callers keep.
constexpr int ExtraRecordsSize = 11;

// CRC-16 with the reflected polynomial 0xA001, no final xor. Crc is both the
// running value and the result; starting from 0xFFFF gives CRC-16/MODBUS.
quint16 CalcCRC16(std::span<const quint8> Data, quint16& Crc);
quint16 CalcCRC16(const quint8* Data, quint32 Count, quint16& Crc);

// One request/reply exchange with the device Addr: packs the requests into one
// frame, sends it (up to three attempts while no reply comes), checks the reply
// and unpacks it into Requests and Extra. False with a Russian text in ErrMsg when
// the exchange failed; a device error on a single request keeps the result true.
bool NetExchange(TConnection& Conn, quint16 Addr, std::span<TNetRequest> Requests, QString& ErrMsg,
                 std::span<TNetRequest> Extra, int& ExtraCount, quint8& RfLevel, bool& NoReply);

// Where the warning about a reply from another device goes (the warning window,
// once the main window has wired it). Empty by default: the warning is dropped.
using TNetWarningHandler = std::function<void(const QString&)>;
void SetNetWarningHandler(TNetWarningHandler Handler);

// Texts the callers and the tests compare against.
inline const QString NetNotInitializedMessage = QStringLiteral("Канал связи не инициализирован!");
inline const QString SendTooLongMessage =
    QStringLiteral("Суммарная длина отправляемого сообщения превышает допустимую!");
inline const QString ReplyTooLongMessage =
    QStringLiteral("Суммарная длина ожидаемого сообщения превышает допустимую!");
inline const QString WrongLengthMessage = QStringLiteral("Получен пакет неверной длины!");
inline const QString WrongCrcMessage = QStringLiteral("Ошибка контрольной суммы полученного пакета!");
inline const QString ReplyMismatchMessage =
    QStringLiteral("Ответ не соответствует запросу! Обработка ответа прекращена.");
