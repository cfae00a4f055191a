#pragma once

#include "core/NetComm.h"
#include "core/RegisterMap.h"

#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <span>
#include <vector>

class IGraphicWindows;
class QWidget;
class TDevice;
class TDeviceReader;
class TDispatcherHooks;
class TMeasureChannel;
class TTableDevice;

enum class TWriteResult
{
    Done,     // everything sent was acknowledged, or nothing needed sending
    Failed,   // something was not acknowledged; the record keeps the old values
    LinkLost, // the device did not answer: the row is without link now
    Refused,  // an input was not accepted; nothing was sent
    RowGone,  // the row left the table while a question was open; nothing more was done
};

// One channel's settings as the window holds them. A number is absent while its
// edit still holds the text the window filled in: that text is rounded to three
// decimals, so the stored value stands for it and nothing is sent for it.
struct TChannelInputs
{
    bool Enabled = false;
    std::optional<QString> AlertMin;
    std::optional<QString> AlertMax;
    std::optional<QString> RangeMin; // not used on type 1
    std::optional<QString> RangeMax;
    bool ColdJunction = false; // type 1 only
    std::optional<quint8> SensorType;
    std::optional<quint8> SensorModel;
    // Absent while the spin shows the count the window put there, which may be the
    // stored one clamped to the spin's range: the device keeps its byte then.
    std::optional<int> Digits;
};

// The writes of the configuration window to one row's device. Each operation
// checks its inputs first, then sends only the registers whose new value differs
// from the device record, and copies a value into the record only when the
// device acknowledged it (no error and the full length back). Every exchange
// builds its own request list and extra-record buffer, so whatever runs between
// two exchanges (a polling step, a dialog) cannot change what is sent.
class TDeviceConfigWrites
{
public:
    TDeviceConfigWrites(TDispatcherHooks& Hooks, TDeviceReader& Reader, TTableDevice& Row);

    // Parent of the message boxes and questions.
    QWidget* Parent = nullptr;
    // The chart windows a channel line moves into; none: lines stay where they are.
    IGraphicWindows* Graphics = nullptr;
    // The window shows the row again from the record after the link was lost.
    std::function<void()> RefillWindow;
    std::function<void()> StopPollingIfLinkLost;

    // Power level by list index (0 low, 1 medium, other high; -1 none chosen, and
    // then the power is not written), then the radio channel in an exchange of its
    // own after the operator agreed.
    TWriteResult WriteRfParams(int PowerIndex, int RfChannel);
    // Enable, digits, sensor, alarm limits, then cold-junction flags (type 1) or
    // range (other types), in one exchange.
    TWriteResult WriteChannelParams(int Channel, const TChannelInputs& In);
    // Type 2: the quantity name and unit of a channel, in one 40-byte write. When
    // only one of them changed, the register is read first and the other goes out
    // as the device holds it, byte for byte.
    TWriteResult WriteQuantityName(int Channel, const QString& Name, const QString& Unit);
    // Whether the device can hold the name and unit as they would be written;
    // false after a message naming the characters it cannot.
    bool QuantityNameFits(int Channel, const QString& Name, const QString& Unit);
    TWriteResult RestartDevice();
    // Service mode: the serial number (addressed to the old one, after the
    // operator agreed), then the hardware version (0..255).
    TWriteResult WriteSerialAndHwVersion(int SerialNum, const QString& HwVersionText);
    TWriteResult WriteComment(const QString& Text);
    // "CRC: XXXX" of the running firmware.
    bool ReadFirmwareCrc(QString& CrcText);

    // Single precision of an operator's number with a comma; nothing when the
    // text is not a number or the value does not fit a single: too large, or not
    // zero but too small to be held as a normal single.
    static std::optional<float> ParseSingle(const QString& Text);

private:
    struct TExchange
    {
        std::vector<TNetRequest> Items;
        std::array<TNetRequest, ExtraRecordsSize> Extra{};
        int ExtraCount = 0;
        quint8 Rssi = 0;
        bool NoReply = false;
        QString Error;
        bool Ok = false;
    };

    static TNetRequest writeItem(TRegister Reg, std::span<const quint8> Data);
    // Sends X to Addr. False when the link was lost (the operation ends there);
    // X.Ok tells whether the replies can be judged.
    bool send(TExchange& X, quint16 Addr);
    // One item sent to Addr: a refusal is journaled with ErrorText, Taken gets the
    // reply only when the device acknowledged it. Done, Failed or LinkLost.
    TWriteResult oneItem(quint16 Addr, const TNetRequest& Item, const QString& ErrorText,
                         const std::function<void(const TNetRequest&)>& Taken);
    // One register written to Addr; Store runs when the device took it.
    TWriteResult writeOne(quint16 Addr, TRegister Reg, std::span<const quint8> Data, const QString& ErrorText,
                          const std::function<void()>& Store);
    // One register read into Data (Reg.Length bytes); a refusal is journaled with
    // ErrorText. Done, Failed or LinkLost.
    TWriteResult readOne(TRegister Reg, const QString& ErrorText, std::span<quint8> Data);
    void applyExtraRecords(const TExchange& X);
    void journalItem(const QString& Text, const TExchange& X);
    void reportDevice();
    void reportChannels();
    void message(const QString& Text);
    // A character the code page lacks would reach the device as '?': false after
    // a message naming such characters of Text, Where telling which field.
    bool fitsDevice(const QString& Text, const QString& Where);
    // The channel's line into the chart window of its quantity and unit.
    void attachLine(TMeasureChannel& Channel);
    // After a quantity or unit change: a line shown in a chart moves to the window of the new pair.
    void followQuantity(TMeasureChannel& Channel);
    void serialChanged(quint16 OldSerial);
    // A question lets window messages run, and a shutdown meanwhile frees every row.
    bool rowInTable() const;

    TDispatcherHooks& Hooks_;
    TDeviceReader& Reader_;
    TTableDevice& Row_;
    TDevice& Device_;
};
