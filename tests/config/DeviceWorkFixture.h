#pragma once

#include "config/DeviceWork.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/VirtualClock.h"
#include "support/QStringPrinter.h"
#include "support/RecordingConfigHost.h"
#include "support/ScriptedPrompts.h"
#include "support/SimModemLink.h"
#include "tools/netsim/SimModem.h"

#include <functional>
#include <gtest/gtest.h>

// Device 1234 of the configuration window's host behind the simulated modem in
// virtual time; questions are scripted, and every window-message pump is
// counted and runs onPump.
class DeviceWorkFixture : public ::testing::Test
{
protected:
    static constexpr quint16 Serial = 1234;

    DeviceWorkFixture() : clockScope(clock)
    {
        Prompts::SetCurrent(&prompts);
        host.link = &link;
        host.device.SerialNum = Serial;
        host.device.SignalAtDevice = 0x30;
        host.device.SignalAtPC = 0x30;
        EventPump::SetHandler([this] {
            ++pumps;
            if (onPump)
                onPump();
        });
    }
    ~DeviceWorkFixture() override
    {
        EventPump::SetHandler({});
        Prompts::SetCurrent(nullptr);
    }

    VirtualClock clock;
    ScopedClock clockScope;
    ScriptedPrompts prompts;
    SimModem modem;
    SimModemLink link{modem, clock};
    RecordingConfigHost host;
    TDeviceWork work{host};
    int pumps = 0;
    std::function<void()> onPump;
};
