#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <csignal>
#include <gtest/gtest.h>

TEST(TerminationSignals, TermAndHangUpArriveAsOneQtSignalEach)
{
    TerminationSignals signals;
    ASSERT_TRUE(signals.Installed());
    QList<int> got;
    QObject::connect(&signals, &TerminationSignals::Requested, [&got](int n) { got << n; });

    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_EQ(::raise(SIGHUP), 0);
    QElapsedTimer timer;
    timer.start();
    while (got.size() < 2 && timer.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(got, (QList<int>{SIGTERM, SIGHUP}));
}

TEST(TerminationSignals, DefaultsComeBackWhenTheObjectGoes)
{
    {
        TerminationSignals signals;
        ASSERT_TRUE(signals.Installed());
    }
    struct sigaction current = {};
    ASSERT_EQ(::sigaction(SIGTERM, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_DFL);
}
