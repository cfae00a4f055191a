#include "platform/EventPump.h"

#include <QCoreApplication>

namespace {
EventPump::Handler& handler()
{
    static EventPump::Handler h;
    return h;
}
} // namespace

void EventPump::ProcessMessages()
{
    if (handler())
        handler()();
    else if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

void EventPump::SetHandler(Handler h)
{
    handler() = std::move(h);
}
