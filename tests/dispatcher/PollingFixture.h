#pragma once

#include "core/Device.h"
#include "core/Sound.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/Journal.h"
#include "dispatcher/PollingCycle.h"
#include "platform/SoundOut.h"
#include "support/CountingSound.h"
#include "support/DeviceReplies.h"
#include "support/FakeConnection.h"
#include "support/JournalLines.h"
#include "support/QStringPrinter.h"
#include "support/RecordingHooks.h"
#include "support/SharedState.h"

#include <QCoreApplication>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>

// The shared state of the main window's unit, a journal window, recording hooks
// and a scripted link, reset around every test.
class PollingTest : public ::testing::Test
{
protected:
    PollingTest() : soundScope(sound)
    {
        ResetDispatcherState();
        journal = std::make_unique<TFormJournal>();
        FormJournal = journal.get();
        JournalReady = true;
        hooks.link = &link;
        SoundMode = TSoundMode::Speaker;
    }
    ~PollingTest() override { ResetDispatcherState(); }

    TTableDevice& addRow(quint16 Serial, quint8 Status = dsOk)
    {
        DevArray.push_back(std::make_unique<TTableDevice>(Serial));
        DevArray.back()->Status = Status;
        return *DevArray.back();
    }

    // A type 1 device whose two channels are enabled and configured for values.
    TTableDevice& addMeasuringRow(quint16 Serial, float Low = 0, float High = 100)
    {
        TTableDevice& row = addRow(Serial);
        row.Device->DeviceType = TDeviceType::ThermoInputs;
        for (int n = 1; n <= 2; ++n) {
            TMeasureChannel& ch = row.Device->Channel(n);
            ch.Enabled = true;
            ch.ValueValid = true;
            ch.SensorType = TSensorType::Voltage;
            ch.MinAlert = Low;
            ch.MaxAlert = High;
        }
        return row;
    }

    QStringList journalLines() const { return JournalLines(*journal); }

    // Lets the event loop run until the cycle in flight has ended.
    void finishCycle()
    {
        for (int i = 0; i < 10000 && PollingBusy; ++i)
            QCoreApplication::processEvents();
        ASSERT_FALSE(PollingBusy) << "the cycle did not end";
    }
    void runCycle()
    {
        polling.PollAllDevices();
        finishCycle();
    }

    // Frames sent to a device, by the register of their first item.
    static quint16 firstRegister(const FakeConnection::Bytes& Frame)
    {
        return quint16(Frame[6] << 8 | Frame[7]);
    }
    static quint16 destination(const FakeConnection::Bytes& Frame)
    {
        return quint16(Frame[0] << 8 | Frame[1]);
    }

    CountingSound sound;
    ScopedSoundOut soundScope;
    std::unique_ptr<TFormJournal> journal;
    FakeConnection link;
    RecordingHooks hooks;
    TPollingCycle polling{hooks};
    TDeviceReader& reader = polling.Reader();
};
