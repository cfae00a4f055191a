#pragma once

#include <QIcon>

// The pictures of the main window's actions, drawn by the application, under the
// indices the actions refer to (19 start, 20 stop, 35 the dimmed start shown while
// blinking, ...). An index without a picture gives an empty icon.
class TMenuIcons
{
public:
    static constexpr int Exit = 8;
    static constexpr int Settings = 9;
    static constexpr int Chart = 10;
    static constexpr int HelpContents = 11;
    static constexpr int ServiceMode = 13;
    static constexpr int StartPolling = 19;
    static constexpr int StopPolling = 20;
    static constexpr int Journal = 22;
    static constexpr int Archive = 24;
    static constexpr int DebugLog = 27;
    static constexpr int About = 30;
    static constexpr int AddDevice = 33;
    static constexpr int DeleteDevice = 34;
    static constexpr int StartPollingDim = 35;

    static QIcon Icon(int Index);
};
