#include "dispatcher/RunEnd.h"

#include "dispatcher/DispatcherState.h"
#include "dispatcher/ZarOdudEvud.h"

#include <QtGlobal>
#include <cstdlib>

void EndRun()
{
    FinalizeZarOdudEvud();
    EndDispatcherState();
}

void EndRunAtExit()
{
    // Handlers run in the reverse order of registration, so this one runs before
    // the destructors of every static made up to now, Qt's included.
    static const bool registered = std::atexit(EndRun) == 0;
    Q_UNUSED(registered);
}
