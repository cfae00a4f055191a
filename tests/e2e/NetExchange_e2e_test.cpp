#include "core/NetComm.h"
#include "core/RS232Comm.h"
#include "dispatcher/EepromErrorDialog.h"
#include "support/QStringPrinter.h"
#include "support/SimNetwork.h"

#include <QElapsedTimer>
#include <array>
#include <gtest/gtest.h>

namespace {

constexpr int ModemPort = 14;
// Nothing fills the read's buffer, so every exchange waits out the whole time-out;
// a reply comes well inside it and well after the link has purged its input behind
// the frame, however busy the machine. A reply read late would land in the next try.
constexpr int ReadTimeoutMs = 1000;
constexpr int TurnaroundMs = 200;

class RadioExchange : public SimNetworkTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(publishPorts());
        ASSERT_TRUE(startSim(ModemPort));
        sim.Modem().SetTurnaroundMs(TurnaroundMs);
        ASSERT_TRUE(sim.Modem().AddDevice(1234, 1, 16));
        ASSERT_TRUE(sim.Modem().AddDevice(1235, 2, 16));
        TComSettings settings;
        settings.PortNum = ModemPort;
        settings.ReadTimeout = ReadTimeoutMs;
        link = std::make_unique<TComConnection>(settings);
        QString err;
        ASSERT_TRUE(link->Open(false, err)) << err.toStdString();
    }
    void TearDown() override
    {
        SetNetWarningHandler({});
        QString err;
        if (link)
            link->Close(false, err);
        SimNetworkTest::TearDown();
    }

    // The polling's four reads.
    void fillPoll()
    {
        const std::pair<quint16, quint8> items[] = {{0x0200, 5}, {0x0205, 4}, {0x0209, 4}, {0x020D, 4}};
        for (int i = 0; i < 4; ++i) {
            requests[i] = TNetRequest{};
            requests[i].NetFunc = 1;
            requests[i].RegAddr = items[i].first;
            requests[i].DataLen = items[i].second;
        }
    }

    bool exchange(quint16 addr)
    {
        return NetExchange(*link, addr, requests, err, extra, extraCount, rfLevel, noReply);
    }

    std::unique_ptr<TComConnection> link;
    std::array<TNetRequest, 4> requests{};
    std::array<TNetRequest, 11> extra{};
    int extraCount = 0;
    quint8 rfLevel = 0;
    bool noReply = false;
    QString err;
};

} // namespace

TEST_F(RadioExchange, PollingReadIsAnsweredInFull)
{
    fillPoll();
    ASSERT_TRUE(exchange(1234)) << err.toStdString();
    EXPECT_TRUE(err.isEmpty());
    EXPECT_FALSE(noReply);
    for (const TNetRequest& r : requests) {
        EXPECT_FALSE(r.Failed);
        EXPECT_EQ(r.ReplyLen, r.DataLen) << r.RegAddr;
    }
    EXPECT_EQ(sim.Modem().FramesReceived(), 1);
}

TEST_F(RadioExchange, SilentDeviceCostsThreeAttempts)
{
    ASSERT_TRUE(sim.Modem().SetFault(1234, SimFault::Silence()));
    // Nothing answers, so a short time-out loses nothing.
    ASSERT_TRUE(link->SetReadTimeout(100, false, err));
    fillPoll();
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(exchange(1234));
    EXPECT_GE(timer.elapsed(), 300);
    EXPECT_EQ(err, QStringLiteral("Превышен таймаут ожидания ответа"));
    EXPECT_TRUE(noReply);
    EXPECT_TRUE(link->Connected);
    RunEventsUntil([this] { return sim.Modem().FramesReceived() >= 3; }, SureWaitMs);
    EXPECT_EQ(sim.Modem().FramesReceived(), 3);
}

TEST_F(RadioExchange, ReplyOnTheSecondAttemptEndsTheAttempts)
{
    ASSERT_TRUE(sim.Modem().SetFault(1234, SimFault::ReplyOnAttempt(2)));
    fillPoll();
    ASSERT_TRUE(exchange(1234)) << err.toStdString();
    EXPECT_FALSE(noReply);
    EXPECT_EQ(requests[1].ReplyLen, 4);
    EXPECT_EQ(sim.Modem().FramesReceived(), 2);
}

TEST_F(RadioExchange, ReplyFromAnotherDeviceOpensTheWarningWindow)
{
    TFormEepromErrorDialog dialog;
    ConnectNetWarnings(&dialog);
    ASSERT_TRUE(sim.Modem().SetFault(1235, SimFault::OtherSource(1234)));
    fillPoll();
    EXPECT_FALSE(exchange(1235));
    EXPECT_EQ(err, QStringLiteral("Получен пакет от другого устройства (№1234)!"));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.MessageText(),
              QStringLiteral("Получен пакет от другого устройства (№1234), возможно на данном радиоканале "
                             "работает другой радиомодем"));
    // A bad reply is not retried.
    EXPECT_EQ(sim.Modem().FramesReceived(), 1);
    ConnectNetWarnings(nullptr);
}

TEST_F(RadioExchange, DeviceErrorItemFailsOnlyItsRequest)
{
    ASSERT_TRUE(sim.Modem().SetFault(1234, SimFault::ErrorItem(1, 0)));
    fillPoll();
    ASSERT_TRUE(exchange(1234));
    EXPECT_TRUE(requests[0].Failed);
    EXPECT_EQ(requests[0].ErrorCode, 1);
    EXPECT_EQ(err, QStringLiteral("устройство занято, необходимо повторить команду позже"));
    EXPECT_FALSE(requests[1].Failed);
    EXPECT_EQ(requests[1].ReplyLen, 4);
}

TEST_F(RadioExchange, ModemVanishingMarksTheLinkClosed)
{
    ASSERT_TRUE(sim.Modem().SetFault(1234, SimFault::PortGone()));
    fillPoll();
    EXPECT_FALSE(exchange(1234));
    EXPECT_TRUE(noReply);
    EXPECT_FALSE(link->Connected);
    EXPECT_TRUE(err.startsWith(QStringLiteral("Ошибка"))) << err.toStdString();
}
