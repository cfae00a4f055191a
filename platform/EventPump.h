#pragma once

#include <functional>

// Lets pending window messages run. Long procedures call this between steps;
// tests replace it to observe or to run their own work at those points.
class EventPump
{
public:
    using Handler = std::function<void()>;

    static void ProcessMessages();
    // An empty handler restores the default (QCoreApplication::processEvents).
    static void SetHandler(Handler handler);
};
