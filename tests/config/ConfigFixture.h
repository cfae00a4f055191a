#pragma once

#include "config/DeviceConfigWrites.h"
#include "core/Device.h"
#include "core/StringFunc.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/Journal.h"
#include "dispatcher/PollingCycle.h"
#include "platform/Prompts.h"
#include "support/DeviceReplies.h"
#include "support/FakeConnection.h"
#include "support/JournalLines.h"
#include "support/QStringPrinter.h"
#include "support/RecordingHooks.h"
#include "support/ScriptedPrompts.h"
#include "support/SharedState.h"
#include "support/UnchangedInputs.h"

#include <gtest/gtest.h>
#include <memory>
#include <vector>

// One register item of a request frame as the device receives it.
struct SentItem
{
    quint8 Func = 0;
    quint16 Reg = 0;
    std::vector<quint8> Data;

    bool operator==(const SentItem&) const = default;
};

inline std::ostream& operator<<(std::ostream& Out, const SentItem& I)
{
    Out << int(I.Func) << ":" << std::hex << I.Reg << "[";
    for (const quint8 b : I.Data)
        Out << " " << int(b);
    return Out << " ]" << std::dec;
}

// Frame: destination (2), source (2), length (1), items, CRC (2).
inline std::vector<SentItem> SentItems(const FakeConnection::Bytes& Frame)
{
    std::vector<SentItem> items;
    const std::size_t end = 5 + Frame[4];
    std::size_t p = 5;
    while (p + 4 <= end) {
        SentItem i;
        i.Func = Frame[p];
        i.Reg = quint16(Frame[p + 1] << 8 | Frame[p + 2]);
        const quint8 len = Frame[p + 3];
        p += 4;
        if (i.Func == NetFunction::Write) {
            i.Data.assign(Frame.begin() + p, Frame.begin() + p + len);
            p += len;
        }
        items.push_back(i);
    }
    return items;
}

inline quint16 Destination(const FakeConnection::Bytes& Frame)
{
    return quint16(Frame[0] << 8 | Frame[1]);
}

inline SentItem W(quint16 Reg, std::vector<quint8> Data)
{
    return {NetFunction::Write, Reg, std::move(Data)};
}

// The acknowledgement of a write item.
inline DeviceReplies::Bytes WriteAck(quint16 Reg, quint8 Len)
{
    return {0x02, quint8(Reg >> 8), quint8(Reg), Len};
}

inline std::vector<quint8> SingleBytes(float V)
{
    return DeviceReplies::Single(V);
}

inline std::vector<quint8> Pair(float A, float B)
{
    std::vector<quint8> v = SingleBytes(A);
    const std::vector<quint8> b = SingleBytes(B);
    v.insert(v.end(), b.begin(), b.end());
    return v;
}

// Shared state of the main window's unit, a journal, scripted prompts and a
// scripted link around one table row.
class ConfigWritesTest : public ::testing::Test
{
protected:
    ConfigWritesTest()
    {
        ResetDispatcherState();
        journal = std::make_unique<TFormJournal>();
        FormJournal = journal.get();
        JournalReady = true;
        hooks.link = &link;
        hooks.archive = &archive;
        Prompts::SetCurrent(&prompts);
    }
    ~ConfigWritesTest() override
    {
        Prompts::SetCurrent(nullptr);
        FormJournal = nullptr;
        JournalReady = false;
        ResetDispatcherState();
    }

    // A linked row whose device holds the settings of a freshly read device.
    TTableDevice& addRow(quint16 Serial, TDeviceType Type)
    {
        DevArray.push_back(std::make_unique<TTableDevice>(Serial));
        TTableDevice& row = *DevArray.back();
        row.Status = dsOk;
        TDevice& d = *row.Device;
        d.DeviceType = Type;
        d.RfChannel = 18;
        d.RfPowerCode = TxPowerCodeMedium;
        d.HwVersion = 3;
        d.Comment = PadComment(QStringLiteral("Котельная"));
        for (int n = 1; n <= 2; ++n) {
            TMeasureChannel& ch = d.Channel(n);
            ch.Enabled = true;
            ch.SensorType =
                Type == TDeviceType::ThermoInputs ? TSensorType::Thermocouple : TSensorType::Current;
            ch.SensorModel = Type == TDeviceType::ThermoInputs ? 2 : 1;
            ch.MinAlert = 0;
            ch.MaxAlert = 100;
            ch.MinBound = 0;
            ch.MaxBound = 20;
            ch.DigitsHi = 4;
            ch.DigitsLo = 4;
            ch.QuantityName = QStringLiteral("Давление");
            ch.MeasUnitName = QStringLiteral("МПа");
        }
        return row;
    }

    TDeviceConfigWrites writes(TTableDevice& Row)
    {
        TDeviceConfigWrites w(hooks, polling.Reader(), Row);
        w.RefillWindow = [this] { ++refills; };
        w.StopPollingIfLinkLost = [this] { ++stopChecks; };
        return w;
    }

    QStringList journalLines() const { return JournalLines(*journal); }

    std::unique_ptr<TFormJournal> journal;
    FakeConnection link;
    RecordingArchive archive;
    RecordingHooks hooks;
    TPollingCycle polling{hooks};
    ScriptedPrompts prompts;
    int refills = 0;
    int stopChecks = 0;
};
