#pragma once

#include "ConfigFixture.h"
#include "config/DeviceConfig.h"

// The configuration window on the fixture's dispatcher; closed, and service
// mode left, at the end.
class ConfigWindowFixture : public ConfigWritesTest
{
protected:
    ConfigWindowFixture() { window.SetDispatcher(&hooks, &polling, nullptr); }
    ~ConfigWindowFixture() override
    {
        window.close();
        SuperuserMode = false;
    }

    template <class T> T* child(const char* Name)
    {
        T* w = window.findChild<T*>(QLatin1String(Name));
        EXPECT_NE(w, nullptr) << Name;
        return w;
    }

    TFormDeviceConfig window;
};
