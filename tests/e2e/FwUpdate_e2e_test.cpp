#include "config/DeviceWork.h"
#include "config/FwUpdate.h"
#include "config/FwUsbFrames.h"
#include "core/NetComm.h"
#include "core/RS232Comm.h"
#include "core/RegisterMap.h"
#include "platform/EventPump.h"
#include "support/QStringPrinter.h"
#include "support/RecordingConfigHost.h"
#include "support/ScriptedPrompts.h"
#include "support/SimNetwork.h"
#include "support/TestFirmware.h"
#include "tools/mkvfw/VfwWriter.h"
#include "tools/netsim/SimUsbDevice.h"

#include <algorithm>
#include <array>
#include <gtest/gtest.h>

namespace {

constexpr int ModemPort = 15;
constexpr int UsbPort = 21;
constexpr int OtherUsbPort = 22;
constexpr quint16 Serial = 1234;

// Firmware updates through real serial links: the radio modem of the simulator
// on one pty, a device on its own USB port on another.
class FwUpdateE2e : public SimNetworkTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(publishPorts());
        Prompts::SetCurrent(&prompts);
        host.device.SerialNum = Serial;
        host.device.DeviceType = TDeviceType::ThermoInputs;
        host.device.HwVersion = 3;
        host.device.SignalAtDevice = 0x30;
        host.device.SignalAtPC = 0x30;
        // Every read waits out its time-out (nothing fills its buffer): an answer
        // comes well after the link's purge behind the frame and well inside the read.
        host.usbTimeout = 500;
        usbDevice.SetTurnaroundMs(150);
        otherDevice.SetTurnaroundMs(150);
    }
    void TearDown() override
    {
        Prompts::SetCurrent(nullptr);
        QString err;
        if (link)
            link->Close(false, err);
        EventPump::SetHandler({});
        usbServer.Stop();
        otherServer.Stop();
        SimNetworkTest::TearDown();
    }

    void choose(int Length)
    {
        const VfwFile s = TestFirmware(Length, 42);
        image = s.Image;
        const QString name = dir.filePath(QStringLiteral("fw.vfw"));
        ASSERT_TRUE(VfwWriter::Write(name, s));
        fw.LoadFile(name);
        ASSERT_TRUE(fw.File().HasImage());
    }
    // The pacing timer's ticks, without waiting for them.
    void runTimer()
    {
        for (int i = 0; i < 12 && fw.TimerInitFwUpdate.isActive(); ++i)
            fw.TimerInitFwUpdateTimer();
    }
    ::testing::AssertionResult startUsb(NetSimServer& Server, int Port)
    {
        QString err;
        if (!Server.Start(portsDir, Port, err))
            return ::testing::AssertionFailure() << err.toStdString();
        return ::testing::AssertionSuccess();
    }
    // The device behind the simulated modem, reached over the host's own link.
    ::testing::AssertionResult useRadioDevice()
    {
        ::testing::AssertionResult started = startSim(ModemPort);
        if (!started)
            return started;
        if (!sim.Modem().AddDevice(Serial, 1, 16))
            return ::testing::AssertionFailure() << "the device was not added";
        TComSettings settings;
        settings.PortNum = ModemPort;
        link = std::make_unique<TComConnection>(settings);
        QString err;
        if (!link->Open(false, err))
            return ::testing::AssertionFailure() << err.toStdString();
        host.link = link.get();
        return ::testing::AssertionSuccess();
    }
    // The USB device served on its port, which the host chooses.
    ::testing::AssertionResult useUsbDevice()
    {
        host.usbPort = QStringLiteral("COM%1").arg(UsbPort);
        return startUsb(usbServer, UsbPort);
    }
    // What crossed the device's USB port, from the simulator's record of it: every
    // frame the PC wrote. A frame torn by a stall of the machine longer than the
    // device's gap between frames is here, though the device never took it.
    QList<QByteArray> usbFramesWritten() const
    {
        const QByteArray bytes = usbServer.Received();
        QList<QByteArray> frames;
        for (qsizetype at = 0; at + 5 <= bytes.size();) {
            const qsizetype size = quint8(bytes[at + 4]) + 7;
            frames << bytes.mid(at, size);
            at += size;
        }
        return frames;
    }
    static bool isBlockFrame(const QByteArray& F)
    {
        return F.size() > 8 && quint8(F[6]) == quint8(RegFwData.Address >> 8) &&
               quint8(F[7]) == quint8(RegFwData.Address);
    }
    int blockFramesWritten() const
    {
        const QList<QByteArray> frames = usbFramesWritten();
        return int(std::count_if(frames.begin(), frames.end(), isBlockFrame));
    }
    // The device leaves these frames unanswered, counted from the transfer's first
    // block: parameter frames a restarting device did not hear shift nothing.
    void dropFromFirstBlock(const QList<int>& Offsets)
    {
        EventPump::SetHandler([this, Offsets, set = false]() mutable {
            if (set)
                return;
            set = true;
            const int first = usbDevice.FramesReceived();
            QSet<int> frames;
            for (const int o : Offsets)
                frames << first + o;
            usbDevice.DropFrames(frames);
        });
    }
    int timeOuts() const { return int(host.results.count(ReceiveTimeoutMessage)); }
    quint16 usbRunningCrc(SimUsbDevice& D)
    {
        quint16 crc = 0;
        D.WithDevice([&](SimDevice& d) { crc = d.FirmwareCrc(); });
        return crc;
    }

    ScriptedPrompts prompts;
    RecordingConfigHost host;
    TDeviceWork work{host};
    TFwUpdate fw{host, work};
    std::unique_ptr<TComConnection> link;
    QByteArray image;
    SimUsbDevice usbDevice{Serial, 1};
    NetSimServer usbServer{usbDevice};
    SimUsbDevice otherDevice{Serial, 1};
    NetSimServer otherServer{otherDevice};
};

} // namespace

TEST_F(FwUpdateE2e, RadioUpdateInstallsAndTheNextReadShowsTheNewChecksum)
{
    ASSERT_TRUE(useRadioDevice());

    choose(100);
    fw.ButtonStartFwUpdateClick(false);
    runTimer();
    EXPECT_EQ(host.results.filter(QStringLiteral("Записан фрагмент")).size(), 4);
    EXPECT_EQ(prompts.Messages, QStringList{QStringLiteral("Внимание|Передача прошивки завершена")});

    QString err;
    std::array<TNetRequest, 1> req = {TDeviceWork::ReadRequest(RegFwInfo.Address, 10)};
    std::array<TNetRequest, 11> extra{};
    int extraCount = 0;
    quint8 level = 0;
    bool noReply = false;
    ASSERT_TRUE(NetExchange(*link, Serial, req, err, extra, extraCount, level, noReply)) << err.toStdString();
    quint16 crc = 0;
    ASSERT_TRUE(DecodeFwInfoCrc(std::span<const quint8>(req[0].Data.data(), 10), crc));
    EXPECT_EQ(crc, VfwWriter::Crc16(image));
}

TEST_F(FwUpdateE2e, ModemVanishingMidTransferEndsItWithThePortsText)
{
    ASSERT_TRUE(useRadioDevice());

    choose(200);
    int pumpsAfterGone = 0;
    EventPump::SetHandler([&] {
        if (!link->Connected)
            ++pumpsAfterGone;
        else if (host.results.filter(QStringLiteral("Записан фрагмент")).size() == 2)
            sim.Modem().SetFault(Serial, SimFault::PortGone());
    });
    fw.ButtonStartFwUpdateClick(false);
    runTimer();
    EventPump::SetHandler({});
    EXPECT_EQ(host.results.filter(QStringLiteral("Записан фрагмент")).size(), 2);
    // The port's own failure is shown at once, not a retry loop on a closed link.
    ASSERT_EQ(prompts.Messages.size(), 1);
    EXPECT_TRUE(prompts.Messages[0].startsWith(QStringLiteral("Внимание|Прошивка не обновлена: Ошибка")))
        << prompts.Messages[0].toStdString();
    EXPECT_LE(pumpsAfterGone, 1);
    EXPECT_EQ(host.status, 0);
    EXPECT_FALSE(fw.Running());
}

TEST_F(FwUpdateE2e, UsbUpdateEndToEnd)
{
    ASSERT_TRUE(useUsbDevice());
    host.results << QStringLiteral("old line");
    choose(500);
    fw.ButtonStartFwUpdateClick(true);
    EXPECT_FALSE(fw.FwUpdateActive());
    EXPECT_TRUE(fw.Running());
    EXPECT_FALSE(host.radioButton);
    EXPECT_FALSE(host.usbButton);
    runTimer();

    // A frame lost on the way, or answered after the read's time-out, is waited out
    // once and sent again; the rest is the same.
    QStringList lines = host.results;
    EXPECT_EQ(lines.removeAll(ReceiveTimeoutMessage) +
                  lines.removeAll(QStringLiteral("Ожидание ответа от устройства...")),
              usbFramesWritten().size() - 4);
    EXPECT_EQ(lines.mid(0, 4),
              (QStringList{
                  QStringLiteral("Регистр параметров обновления ПО записан, передаем данные прошивки..."),
                  QStringLiteral("Записан фрагмент прошивки длиной 236 байт со смещением 0 байт"),
                  QStringLiteral("Записан фрагмент прошивки длиной 236 байт со смещением 236 байт"),
                  QStringLiteral("Записан фрагмент прошивки длиной 28 байт со смещением 472 байт"),
              }));
    EXPECT_EQ(lines.last(), QStringLiteral("Передача прошивки завершена"));
    EXPECT_EQ(prompts.Messages, QStringList{QStringLiteral("Внимание|Передача прошивки завершена")});
    // Parameters and three blocks, a frame sent again taken again; the port is
    // never asked anything but writes.
    std::vector<QByteArray> taken = usbDevice.Frames();
    taken.erase(std::unique(taken.begin(), taken.end()), taken.end());
    QList<int> sizes;
    for (const QByteArray& f : taken)
        sizes << int(f.size());
    EXPECT_EQ(sizes, (QList<int>{21, 253, 253, 45}));
    EXPECT_EQ(usbRunningCrc(usbDevice), VfwWriter::Crc16(image));
    EXPECT_FALSE(fw.Running());
    EXPECT_TRUE(host.usbButton);
    // The device's type and version are not taken over after a USB update.
    EXPECT_EQ(host.refreshes, 0);
}

TEST_F(FwUpdateE2e, UsbTimeOutsCountOverTheWholeTransfer)
{
    ASSERT_TRUE(useUsbDevice());
    // 1200 bytes: six blocks, five of them unanswered once.
    choose(1200);
    dropFromFirstBlock({0, 2, 4, 6, 8});
    const quint16 original = usbRunningCrc(usbDevice);
    fw.ButtonStartFwUpdateClick(true);
    runTimer();
    // A block frame lost on the way, or answered after the read's time-out (the
    // machine stalled), is a time-out more, and that sixth one ends the transfer.
    const bool done = prompts.Messages == QStringList{QStringLiteral("Внимание|Передача прошивки завершена")};
    EXPECT_EQ(timeOuts(), done ? 5 : 6);
    if (!done) {
        EXPECT_EQ(prompts.Messages, QStringList{QStringLiteral("Внимание|") + TFwUpdate::UsbSilentMessage});
    }
    EXPECT_EQ(usbRunningCrc(usbDevice), done ? VfwWriter::Crc16(image) : original);

    // The sixth time-out of one transfer ends it, though every block was answered in the end.
    prompts.Messages.clear();
    const quint16 installed = usbRunningCrc(usbDevice);
    choose(1190);
    dropFromFirstBlock({0, 2, 4, 6, 8, 10});
    fw.ButtonStartFwUpdateClick(true);
    runTimer();
    EXPECT_EQ(timeOuts(), 6);
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral(
                  "Внимание|Устройство не отвечает! Повторите процедуру обновления с начала.")});
    EXPECT_FALSE(host.results.contains(QStringLiteral("Передача прошивки завершена")));
    EXPECT_EQ(usbRunningCrc(usbDevice), installed);
    EXPECT_FALSE(fw.Running());
}

TEST_F(FwUpdateE2e, UsbParametersUnansweredTenTimes)
{
    ASSERT_TRUE(useUsbDevice());
    choose(100);
    usbDevice.WithDevice([](SimDevice& d) { d.SetFault(SimFault::Silence()); });
    // Nothing is ever answered: a short time-out loses nothing.
    host.usbTimeout = 50;
    fw.ButtonStartFwUpdateClick(true);
    for (int i = 0; i < 11; ++i)
        fw.TimerInitFwUpdateTimer();
    EXPECT_EQ(host.results, QStringList(10, QStringLiteral("Ожидание ответа от устройства...")));
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral(
                  "Внимание|Устройство не ответило на инициализацию процедуры обновления ПО!")});
    // The last frame may still be on its way to the simulator.
    usbServer.WaitReceived(10 * FwUsbFrames::ParamFrameSize, SureWaitMs);
    EXPECT_EQ(usbFramesWritten().size(), 10);
    EXPECT_FALSE(fw.Running());
}

TEST_F(FwUpdateE2e, UsbRefusals)
{
    ASSERT_TRUE(useUsbDevice());
    choose(300);

    // Code 5 on a block discards the image.
    usbDevice.WithDevice([](SimDevice& d) { d.Firmware().SetFault({SimFwFaultMode::Refuse, 1, 5}); });
    fw.ButtonStartFwUpdateClick(true);
    runTimer();
    EXPECT_EQ(host.results.filter(QStringLiteral("Записан фрагмент")).size(), 1);
    EXPECT_TRUE(host.results.contains(
        QStringLiteral("Ошибка при записи обновления ПО устройства: устройство ответило "
                       "кодом ошибки 5")));
    EXPECT_TRUE(prompts.Messages.isEmpty());
    EXPECT_FALSE(fw.File().HasImage());
    EXPECT_FALSE(host.usbButton);
    fw.ButtonStartFwUpdateClick(true);
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral("Внимание|Выберите корректный файл для обновления ПО устройства!")});

    // A device error on the parameters ends the start without another attempt.
    choose(300);
    usbDevice.WithDevice([](SimDevice& d) {
        d.Firmware().SetFault({});
        d.SetFault(SimFault::ErrorItem(1));
    });
    const int before = usbDevice.FramesReceived();
    fw.ButtonStartFwUpdateClick(true);
    runTimer();
    EXPECT_EQ(usbDevice.FramesReceived() - before, 1);
    EXPECT_EQ(host.results.last(),
              QStringLiteral("Ошибка при записи параметров обновления ПО устройства: устройство "
                             "ответило кодом ошибки 1"));
    EXPECT_FALSE(fw.Running());
}

TEST_F(FwUpdateE2e, BusyBlockIsResentUpToTheLimit)
{
    ASSERT_TRUE(useUsbDevice());
    choose(300);
    usbDevice.WithDevice([](SimDevice& d) { d.Firmware().SetFault({SimFwFaultMode::Refuse, 0, 1}); });
    // Only the first block is refused; it goes again and the update completes.
    fw.ButtonStartFwUpdateClick(true);
    runTimer();
    EXPECT_EQ(host.results.count(
                  QStringLiteral("Ошибка при записи обновления ПО устройства: устройство ответило кодом "
                                 "ошибки 1")),
              1)
        << host.results.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(prompts.Messages, QStringList{QStringLiteral("Внимание|Передача прошивки завершена")});

    // A device that refuses every block gives up after the resends: the block goes
    // once and ten times again, then the transfer ends.
    prompts.Messages.clear();
    choose(300);
    usbDevice.WithDevice([](SimDevice& d) { d.Firmware().SetFault({SimFwFaultMode::Refuse, 0, 1, true}); });
    const int before = blockFramesWritten();
    fw.ButtonStartFwUpdateClick(true);
    runTimer();
    EXPECT_EQ(blockFramesWritten() - before, 1 + 10);
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral(
                  "Внимание|Устройство не отвечает! Повторите процедуру обновления с начала.")});
    EXPECT_FALSE(fw.Running());
    EXPECT_TRUE(fw.File().HasImage());
}

TEST_F(FwUpdateE2e, ChosenPortChangeRemakesTheLink)
{
    ASSERT_TRUE(startUsb(usbServer, UsbPort));
    ASSERT_TRUE(startUsb(otherServer, OtherUsbPort));
    host.usbPort = QStringLiteral("COM%1").arg(UsbPort);
    choose(100);
    fw.ButtonStartFwUpdateClick(true);
    runTimer();
    EXPECT_EQ(usbRunningCrc(usbDevice), VfwWriter::Crc16(image));
    ASSERT_NE(fw.FwComConnection(), nullptr);
    EXPECT_EQ(fw.FwComConnection()->Settings().PortNum, UsbPort);

    host.usbPort = QStringLiteral("COM%1").arg(OtherUsbPort);
    host.usbTimeout = 600;
    const int first = usbDevice.FramesReceived();
    choose(200);
    fw.ButtonStartFwUpdateClick(true);
    runTimer();
    EXPECT_EQ(fw.FwComConnection()->Settings().PortNum, OtherUsbPort);
    EXPECT_EQ(fw.FwComConnection()->Settings().ReadTimeout, 600);
    EXPECT_EQ(usbDevice.FramesReceived(), first);
    EXPECT_EQ(usbRunningCrc(otherDevice), VfwWriter::Crc16(image));
}

TEST_F(FwUpdateE2e, UsbTransferCanBeAbortedByClosingTheWindow)
{
    ASSERT_TRUE(useUsbDevice());
    choose(1000);
    prompts.YesAnswers = {true};
    EventPump::SetHandler([this] {
        if (host.results.filter(QStringLiteral("Записан фрагмент")).size() == 2 &&
            prompts.Questions.isEmpty()) {
            EXPECT_FALSE(fw.FormCloseQuery());
        }
    });
    fw.ButtonStartFwUpdateClick(true);
    runTimer();
    EventPump::SetHandler({});
    EXPECT_EQ(prompts.Questions, QStringList{TFwUpdate::AbortQuestion});
    EXPECT_EQ(host.results.filter(QStringLiteral("Записан фрагмент")).size(), 2);
    EXPECT_EQ(host.results.last(),
              QStringLiteral("Передача прошивки прервана, прошивка передана не полностью"));
    EXPECT_EQ(host.closes, 1);
    EXPECT_EQ(usbRunningCrc(usbDevice), 0x5A17);
    EXPECT_FALSE(fw.Running());
    EXPECT_TRUE(fw.FormCloseQuery());
}

TEST_F(FwUpdateE2e, UsbStartRefusals)
{
    choose(100);
    fw.ButtonStartFwUpdateClick(true);
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral("Внимание|Не выбран СОМ-порт для обновления ПО устройства!")});
    prompts.Messages.clear();
    // Numbers above 96 exist only through the ports folder: nothing there.
    host.usbPort = QStringLiteral("COM200");
    fw.ButtonStartFwUpdateClick(true);
    ASSERT_EQ(prompts.Messages.size(), 1);
    EXPECT_TRUE(
        prompts.Messages[0].endsWith(QStringLiteral(" при соединении с СОМ-портом при обновлении ПО!")));
    EXPECT_FALSE(fw.Running());
    EXPECT_TRUE(host.usbButton);
    prompts.Messages.clear();
    host.usbPort = QStringLiteral("COMX");
    fw.ButtonStartFwUpdateClick(true);
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral("Внимание|Неверный номер СОМ-порта для обновления ПО устройства!")});
}

TEST_F(FwUpdateE2e, CablePulledMidTransferEndsItAndAReplugWorksAgain)
{
    ASSERT_TRUE(useUsbDevice());
    choose(1000);
    EventPump::SetHandler([this] {
        if (host.results.filter(QStringLiteral("Записан фрагмент")).size() == 2)
            usbServer.Stop();
    });
    fw.ButtonStartFwUpdateClick(true);
    runTimer();
    EventPump::SetHandler({});
    EXPECT_EQ(host.results.filter(QStringLiteral("Записан фрагмент")).size(), 2);
    EXPECT_FALSE(host.results.contains(QStringLiteral("Передача прошивки завершена")));
    EXPECT_FALSE(prompts.Messages.contains(QStringLiteral("Внимание|Передача прошивки завершена")));
    EXPECT_FALSE(fw.Running());
    EXPECT_TRUE(host.usbButton);

    // The cable is back: the next start opens the port again, with the interval
    // changed meanwhile, and the image goes in.
    prompts.Messages.clear();
    ASSERT_TRUE(startUsb(usbServer, UsbPort));
    host.usbTimeout = 600;
    fw.ButtonStartFwUpdateClick(true);
    runTimer();
    EXPECT_EQ(prompts.Messages, QStringList{QStringLiteral("Внимание|Передача прошивки завершена")});
    EXPECT_EQ(usbRunningCrc(usbDevice), VfwWriter::Crc16(image));
    EXPECT_EQ(fw.FwComConnection()->Settings().ReadTimeout, 600);

    // Pulled again before the parameters went: one message, not one per attempt.
    prompts.Messages.clear();
    fw.ButtonStartFwUpdateClick(true);
    ASSERT_TRUE(fw.Running());
    usbServer.Stop();
    runTimer();
    EXPECT_EQ(prompts.Messages.size(), 1);
    EXPECT_FALSE(fw.Running());
}
