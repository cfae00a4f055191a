#pragma once

#include "support/SureWait.h"
#include "tools/netsim/NetSimServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

// Runs the event loop until Done holds (true) or TimeoutMs have passed (false).
// Events run in slices of at most SliceMs: a slice ends as soon as nothing is
// pending, but an armed zero-time timer keeps it busy to its end, so the slice
// bounds how late Done is seen.
inline bool RunEventsUntil(const std::function<bool()>& Done, int TimeoutMs, int SliceMs = 20)
{
    QElapsedTimer timer;
    timer.start();
    while (!Done()) {
        if (timer.elapsed() > TimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, SliceMs);
    }
    return true;
}

// Tests that talk to the simulated radio network: a temporary folder of their
// own published as the ports folder through KLOV_PORTS_DIR, and the simulator
// serving the modem there. A derived TearDown ends with this one.
class SimNetworkTest : public ::testing::Test
{
protected:
    // The ports folder is the temporary folder itself, or the folder Sub inside it.
    ::testing::AssertionResult publishPorts(const QString& Sub = QString())
    {
        if (!dir.isValid())
            return ::testing::AssertionFailure() << "no temporary folder";
        portsDir = Sub.isEmpty() ? dir.path() : dir.filePath(Sub);
        if (!QDir().mkpath(portsDir))
            return ::testing::AssertionFailure() << "cannot make " << portsDir.toStdString();
        qputenv("KLOV_PORTS_DIR", portsDir.toLocal8Bit());
        return ::testing::AssertionSuccess();
    }

    // The simulated modem as COM<Port> in the ports folder.
    ::testing::AssertionResult startSim(int Port)
    {
        QString err;
        if (!sim.Start(portsDir, Port, err))
            return ::testing::AssertionFailure() << err.toStdString();
        return ::testing::AssertionSuccess();
    }

    void TearDown() override
    {
        sim.Stop();
        qunsetenv("KLOV_PORTS_DIR");
    }

    QTemporaryDir dir;
    QString portsDir;
    NetSimServer sim;
};
