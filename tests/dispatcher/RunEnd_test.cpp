// Ways out of the process while the modem link is open: exit() runs no
// destructor of main()'s objects but does run the globals' ones, after Qt's own
// statics are gone.

#include "dispatcher/DispatcherState.h"
#include "dispatcher/ModemSetup.h"
#include "dispatcher/RunEnd.h"
#include "dispatcher/ZarOdudEvud.h"
#include "support/RawPty.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The status of a child that has the help viewer, opens the link on a pty, adds a
// device row and ends through exit(ExitCode) from inside the event loop, as Qt
// does when the display goes.
int exitWithOpenLink(int ExitCode)
{
    RawPty modem;
    qputenv("KLOV_PORTS_DIR", QFile::encodeName(modem.PortsDir()));
    const pid_t pid = ::fork();
    if (pid == 0) {
        InitializeZarOdudEvud();
        EndRunAtExit();
        Connection = std::make_unique<TComConnection>(MainLinkSettings(RawPty::PortNum));
        QString err;
        if (!Connection->Open(false, err))
            ::_exit(90);
        DevArray.push_back(std::make_unique<TTableDevice>(1234));
        QTimer::singleShot(0, [ExitCode] { std::exit(ExitCode); });
        QCoreApplication::exec();
        ::_exit(91);
    }
    qunsetenv("KLOV_PORTS_DIR");
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid)
        return -1;
    return status;
}

TEST(RunEnd, ExitWithTheLinkOpenEndsCleanly)
{
    for (const int code : {0, 1}) {
        const int status = exitWithOpenLink(code);
        ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), code);
    }
}

} // namespace
