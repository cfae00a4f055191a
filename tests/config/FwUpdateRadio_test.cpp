#include "FwFixture.h"
#include "core/RS232Comm.h"
#include "core/RegisterMap.h"

namespace {

const QString Done = QStringLiteral("Внимание|Передача прошивки завершена");

using FwRadio = FwFixture;

} // namespace

TEST_F(FwRadio, HundredBytesGoInFourBlocksAndTheDeviceRunsTheNewImage)
{
    const VfwFile s = firmware(100, 2, 7);
    host.superuser = true; // another type and version load without a question
    choose(s);
    ASSERT_TRUE(fw.File().HasImage());
    EXPECT_TRUE(host.radioButton);
    EXPECT_TRUE(host.usbButton);
    EXPECT_EQ(host.header.value(2),
              QStringLiteral("Контрольная сумма: 0x") +
                  QStringLiteral("%1").arg(VfwWriter::Crc16(s.Image), 4, 16, QLatin1Char('0')).toUpper());

    fw.ButtonStartFwUpdateClick(false);
    EXPECT_TRUE(fw.FwUpdateActive());
    EXPECT_FALSE(host.radioButton);
    EXPECT_TRUE(host.usbButton);
    EXPECT_FALSE(host.fileChoice);
    EXPECT_TRUE(host.busyCursor);
    EXPECT_EQ(host.waitMessage, QStringLiteral("Ожидание ответа от устройства..."));
    EXPECT_EQ(fw.TimerInitFwUpdate.interval(), 50);
    EXPECT_EQ(runTimer(), 1);

    EXPECT_EQ(blockLines(),
              (QStringList{
                  QStringLiteral("Записан фрагмент прошивки длиной 32 байт со смещением 0 байт"),
                  QStringLiteral("Записан фрагмент прошивки длиной 32 байт со смещением 32 байт"),
                  QStringLiteral("Записан фрагмент прошивки длиной 32 байт со смещением 64 байт"),
                  QStringLiteral("Записан фрагмент прошивки длиной 4 байт со смещением 96 байт"),
              }));
    EXPECT_EQ(host.results.last(), QStringLiteral("Передача прошивки завершена"));
    EXPECT_EQ(host.stampedResults, host.results.size());
    EXPECT_EQ(host.sentBytes, QStringLiteral("Передано 100 байт"));
    EXPECT_EQ(prompts.Messages, QStringList{Done});
    EXPECT_EQ(runningCrc(), VfwWriter::Crc16(s.Image));
    modem.WithDevice(Serial, [&](SimDevice& d) {
        EXPECT_EQ(d.FirmwareImage(), s.Image);
        EXPECT_EQ(d.Restarts(), 1);
    });
    // The shown device takes the file's type and version.
    EXPECT_EQ(host.device.DeviceType, TDeviceType::UnifiedInputs);
    EXPECT_EQ(host.device.HwVersion, 7);
    // Idle again, with everything given back.
    EXPECT_FALSE(fw.Running());
    EXPECT_FALSE(fw.FwUpdateActive());
    EXPECT_TRUE(host.radioButton);
    EXPECT_TRUE(host.fileChoice);
    EXPECT_FALSE(host.busyCursor);
    EXPECT_TRUE(host.waitMessage.isEmpty());
    EXPECT_EQ(host.progressMax, -1);
}

TEST_F(FwRadio, TenAttemptsPacedThenTheNoAnswerMessage)
{
    choose(firmware(64));
    modem.SetFault(Serial, SimFault::Silence());
    fw.ButtonStartFwUpdateClick(false);
    const int ticks = runTimer();
    EXPECT_EQ(ticks, 11);
    // First after 50 ms, then every 2000 ms; the message one interval after the tenth.
    QList<int> expected{50};
    for (int i = 0; i < 10; ++i)
        expected << 2000;
    EXPECT_EQ(intervals, expected);
    EXPECT_EQ(fw.FwInitAttempts(), 10);
    // Three radio attempts per exchange.
    EXPECT_EQ(link.sends, 30);
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral(
                  "Внимание|Устройство не ответило на инициализацию процедуры обновления ПО!")});
    EXPECT_FALSE(fw.Running());
    EXPECT_TRUE(host.radioButton);
    EXPECT_TRUE(host.waitMessage.isEmpty());
    EXPECT_EQ(runningCrc(), OldCrc);
}

TEST_F(FwRadio, WaitLabelCountsTheAttempts)
{
    choose(firmware(40));
    modem.SetFault(Serial, SimFault::Silence());
    fw.ButtonStartFwUpdateClick(false);
    clock.Advance(50);
    fw.TimerInitFwUpdateTimer();
    fw.TimerInitFwUpdateTimer();
    EXPECT_EQ(host.waitMessage, QStringLiteral("Ожидание ответа от устройства... (2)"));
    // The device wakes up: the third attempt is accepted and the image goes in.
    modem.SetFault(Serial, SimFault::None());
    EXPECT_EQ(runTimer(), 1);
    EXPECT_EQ(runningCrc(), VfwWriter::Crc16(firmware(40).Image));
}

TEST_F(FwRadio, SignalThresholdBeforeTheStart)
{
    choose(firmware(40));
    // Byte 13 is -67.5 dBm: enough.
    host.device.SignalAtDevice = 13;
    host.device.SignalAtPC = 0x30;
    fw.ButtonStartFwUpdateClick(false);
    EXPECT_TRUE(fw.Running());
    EXPECT_TRUE(prompts.Messages.isEmpty());
    runTimer();
    EXPECT_EQ(prompts.Messages, QStringList{Done});

    // Byte 12 is -68 dBm: refused, at the device or at the PC alike.
    for (const bool atPc : {false, true}) {
        prompts.Messages.clear();
        host.device.SignalAtDevice = atPc ? 0x30 : 12;
        host.device.SignalAtPC = atPc ? 12 : 0x30;
        const int sends = link.sends;
        fw.ButtonStartFwUpdateClick(false);
        EXPECT_FALSE(fw.Running());
        EXPECT_EQ(link.sends, sends);
        EXPECT_EQ(prompts.Messages,
                  QStringList{QStringLiteral(
                      "Внимание|Уровень радиосигнала (68) не достаточен для обновления ПО устройства!")});
    }
}

TEST_F(FwRadio, WeakReplyToTheParametersEndsTheStart)
{
    choose(firmware(40));
    modem.WithDevice(Serial, [](SimDevice& d) { d.SetPcLevel(11); }); // -68,5 dBm
    fw.ButtonStartFwUpdateClick(false);
    EXPECT_EQ(runTimer(), 1);
    EXPECT_EQ(
        prompts.Messages,
        QStringList{QStringLiteral("Внимание|Уровень радиосигнала (68,5) не достаточен для обновления ПО!")});
    EXPECT_FALSE(fw.Running());
    EXPECT_TRUE(blockLines().isEmpty());
    EXPECT_EQ(runningCrc(), OldCrc);
}

TEST_F(FwRadio, RefusedParametersEndTheStartWithoutFurtherAttempts)
{
    choose(firmware(40));
    modem.SetFault(Serial, SimFault::ErrorItem(5));
    fw.ButtonStartFwUpdateClick(false);
    EXPECT_EQ(runTimer(), 1);
    EXPECT_EQ(link.sends, 1);
    EXPECT_EQ(prompts.Messages,
              QStringList{
                  QStringLiteral("Внимание|Устройство ответило: \"Недопустимые параметры обновления ПО\"!")});
    EXPECT_EQ(host.journal,
              QStringList{QStringLiteral("Ошибка при записи параметров обновления ПО устройства: "
                                         "передаваемые параметры имеют недопустимые значения")});
    EXPECT_FALSE(fw.Running());
}

TEST_F(FwRadio, DeviceThatFailsTheImageCheckIsNeverASuccess)
{
    choose(firmware(100));
    modem.WithDevice(Serial, [](SimDevice& d) { d.Firmware().SetFault({SimFwFaultMode::BadCrc, 0, 5}); });
    fw.ButtonStartFwUpdateClick(false);
    runTimer();
    EXPECT_EQ(blockLines().size(), 4);
    EXPECT_FALSE(host.results.contains(QStringLiteral("Передача прошивки завершена")));
    ASSERT_EQ(prompts.Messages.size(), 1);
    EXPECT_FALSE(prompts.Messages[0].contains(QStringLiteral("завершена")));
    EXPECT_TRUE(prompts.Messages[0].startsWith(QStringLiteral(
        "Внимание|Прошивка не обновлена: контрольная сумма прошивки устройства 0x5A17 вместо 0x")));
    EXPECT_EQ(runningCrc(), OldCrc);
    // The shown device keeps its type and version.
    EXPECT_EQ(host.device.HwVersion, 3);
    EXPECT_FALSE(fw.Running());
}

TEST_F(FwRadio, RefusedBlockEndsTheTransferWithTheDeviceText)
{
    choose(firmware(100));
    struct Case
    {
        quint8 code;
        QString text;
    };
    // Code 9 has no text of its own and still ends with a message.
    for (const Case& c : {Case{5, QStringLiteral("передаваемые параметры имеют недопустимые значения")},
                          Case{9, QStringLiteral("устройство ответило кодом ошибки 9")}}) {
        prompts.Messages.clear();
        host.results.clear();
        modem.WithDevice(Serial, [&](SimDevice& d) {
            d.Firmware().SetFault({SimFwFaultMode::Refuse, 2, c.code});
        });
        fw.ButtonStartFwUpdateClick(false);
        runTimer();
        EXPECT_EQ(blockLines().size(), 2) << c.code;
        const QString said = QStringLiteral("Прошивка не обновлена: ") + c.text;
        EXPECT_EQ(prompts.Messages, QStringList{QStringLiteral("Внимание|") + said});
        EXPECT_EQ(host.results.last(), said);
        EXPECT_TRUE(host.journal.contains(said + QStringLiteral(" (устройство сер.№ 01234)")));
        EXPECT_FALSE(fw.Running());
        EXPECT_TRUE(host.radioButton);
        EXPECT_EQ(runningCrc(), OldCrc);
    }
}

TEST_F(FwRadio, DeviceSilentInTheMiddleLosesItsLinkAfterTheBlockWindow)
{
    choose(firmware(100));
    modem.WithDevice(Serial, [](SimDevice& d) { d.Firmware().SetFault({SimFwFaultMode::Silence, 1, 5}); });
    fw.ButtonStartFwUpdateClick(false);
    const qint64 before = clock.NowMs();
    runTimer();
    EXPECT_EQ(blockLines().size(), 1);
    EXPECT_GE(clock.NowMs() - before, 10000);
    EXPECT_EQ(prompts.Messages, QStringList{QStringLiteral(
                                    "Внимание|Прошивка не обновлена: Превышен таймаут ожидания ответа")});
    EXPECT_EQ(host.status, 0);
    EXPECT_FALSE(fw.Running());
    EXPECT_TRUE(host.radioButton);
    EXPECT_EQ(runningCrc(), OldCrc);
}

TEST_F(FwRadio, AbortInTheMiddleKeepsTheOldFirmwareAndSaysSo)
{
    choose(firmware(100));
    fw.ButtonStartFwUpdateClick(false);
    // The operator closes the window after the second block: first No, then Yes.
    prompts.YesAnswers = {false, true};
    int asked = 0;
    onPump = [&] {
        if (blockLines().size() == 2 && asked < 2) {
            ++asked;
            EXPECT_FALSE(fw.FormCloseQuery()); // the window stays open either way
        }
    };
    runTimer();
    EXPECT_EQ(prompts.Questions, (QStringList{TFwUpdate::AbortQuestion, TFwUpdate::AbortQuestion}));
    EXPECT_EQ(blockLines().size(), 2);
    EXPECT_EQ(host.results.last(),
              QStringLiteral("Передача прошивки прервана, прошивка передана не полностью"));
    EXPECT_EQ(
        host.journal.last(),
        QStringLiteral("Обновление ПО устройства сер.№ 01234 прервано, прошивка передана не полностью"));
    EXPECT_EQ(host.closes, 1);
    EXPECT_TRUE(prompts.Messages.isEmpty());
    EXPECT_EQ(runningCrc(), OldCrc);
    // The image is gone with the abort.
    EXPECT_FALSE(fw.File().HasImage());
    EXPECT_FALSE(host.radioButton);
    EXPECT_EQ(host.fileChoiceCleared, 1);
    EXPECT_FALSE(fw.Running());
    EXPECT_TRUE(fw.FormCloseQuery());
}

TEST_F(FwRadio, AbortInTheStartPhaseDoesNotStopTheNextTransfer)
{
    choose(firmware(40));
    modem.SetFault(Serial, SimFault::Silence());
    fw.ButtonStartFwUpdateClick(false);
    clock.Advance(50);
    fw.TimerInitFwUpdateTimer();
    prompts.YesAnswers = {true};
    EXPECT_FALSE(fw.FormCloseQuery());
    EXPECT_FALSE(fw.Running());
    EXPECT_FALSE(fw.TimerInitFwUpdate.isActive());
    EXPECT_FALSE(fw.FwUpdateActive());

    // The silent attempt cost the row its link; it is back for the next start.
    EXPECT_EQ(host.status, 0);
    host.status = 1;
    modem.SetFault(Serial, SimFault::None());
    choose(firmware(40));
    fw.ButtonStartFwUpdateClick(false);
    runTimer();
    EXPECT_EQ(blockLines().size(), 2);
    EXPECT_EQ(prompts.Messages, QStringList{Done});
    EXPECT_EQ(host.closes, 0);
}

TEST_F(FwRadio, RowDeletedDuringTheTransferEndsItWithoutTouchingTheDevice)
{
    choose(firmware(100));
    fw.ButtonStartFwUpdateClick(false);
    onPump = [&] {
        if (blockLines().size() == 1 && !host.rowGone) {
            host.rowGone = true;
            fw.AbortForRowGone();
        }
    };
    const int before = host.refreshes;
    runTimer();
    EXPECT_EQ(blockLines().size(), 1);
    EXPECT_FALSE(fw.Running());
    EXPECT_TRUE(prompts.Messages.isEmpty());
    // The results say the image went in part only.
    EXPECT_EQ(host.results.last(),
              QStringLiteral("Передача прошивки прервана, прошивка передана не полностью"));
    EXPECT_EQ(host.closes, 0);
    EXPECT_EQ(host.refreshes, before);
    EXPECT_EQ(runningCrc(), OldCrc);
}

TEST_F(FwRadio, StartChecksTheImageAgainstTheShownDeviceEveryTime)
{
    // Loaded for a device of the same type, then another device is shown.
    choose(firmware(40, 1, 3));
    EXPECT_TRUE(prompts.Questions.isEmpty());
    host.device.DeviceType = TDeviceType::UnifiedInputs;
    prompts.YesAnswers = {false};
    fw.ButtonStartFwUpdateClick(false);
    EXPECT_EQ(prompts.Questions, QStringList{TFwImageFile::TypeQuestion});
    EXPECT_FALSE(fw.Running());
    EXPECT_EQ(link.sends, 0);
    // Yes goes on; the hardware versions agree, so nothing more is asked.
    prompts.YesAnswers = {true};
    fw.ButtonStartFwUpdateClick(false);
    EXPECT_EQ(prompts.Questions.size(), 2);
    EXPECT_TRUE(fw.Running());
}

TEST_F(FwRadio, StartRefusals)
{
    fw.ButtonStartFwUpdateClick(false);
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral("Внимание|Выберите корректный файл для обновления ПО устройства!")});
    prompts.Messages.clear();

    choose(firmware(40));
    host.polling = true;
    prompts.YesAnswers = {false};
    fw.ButtonStartFwUpdateClick(false);
    EXPECT_EQ(prompts.Questions,
              QStringList{QStringLiteral(
                  "Для обновления ПО устройства опрос должен быть остановлен. Прекратить опрос?")});
    EXPECT_FALSE(fw.Running());
    EXPECT_EQ(host.pollingStops, 0);

    link.Connected = false;
    prompts.YesAnswers = {true};
    fw.ButtonStartFwUpdateClick(false);
    EXPECT_EQ(host.pollingStops, 1);
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral("Внимание|Соединение с радиомодулем не установлено!")});
    EXPECT_FALSE(fw.Running());
}

TEST_F(FwRadio, FileChoiceIsIgnoredWhileAnUpdateRuns)
{
    const VfwFile first = firmware(100);
    choose(first);
    fw.ButtonStartFwUpdateClick(false);
    onPump = [&] {
        if (blockLines().size() == 1 && files == 1)
            choose(firmware(64));
    };
    runTimer();
    EXPECT_EQ(files, 2);
    EXPECT_EQ(blockLines().size(), 4);
    EXPECT_EQ(runningCrc(), VfwWriter::Crc16(first.Image));
    EXPECT_EQ(fw.File().Image(), first.Image);
}

TEST_F(FwRadio, RowWithoutLinkIsReadFirst)
{
    choose(firmware(40));
    host.status = 0;
    host.readConfig = [&](QString&) {
        host.status = 1;
        return true;
    };
    fw.ButtonStartFwUpdateClick(false);
    EXPECT_EQ(host.configReads, 1);
    EXPECT_EQ(host.alarmChecks, 1);
    EXPECT_TRUE(fw.Running());

    // A failed read leaves the row without link: no start, and the firmware page says why.
    fw.FormCloseQuery();
    prompts.YesAnswers = {true};
    fw.FormCloseQuery();
    choose(firmware(40));
    host.status = 0;
    host.readConfig = {};
    fw.ButtonStartFwUpdateClick(false);
    EXPECT_FALSE(fw.Running());
    EXPECT_EQ(host.journal.last(), QStringLiteral("Превышен таймаут ожидания ответа при чтении конфигурации "
                                                  "устройства сер.№ 01234при настройке измерительных входов "
                                                  "устройства (write 101)"));
    EXPECT_EQ(host.results.last(), QStringLiteral("Обновление ПО не начато: Превышен таймаут ожидания ответа "
                                                  "при чтении конфигурации устройства сер.№ 01234"));
}

TEST_F(FwRadio, TickWhileARefusalIsShownDoesNotTryAgain)
{
    // The message box runs window messages: the pacing timer's next tick comes
    // while the refusal is still on the screen, and the device would now accept.
    struct TickingPrompts : ScriptedPrompts
    {
        std::function<void()> OnMessage;
        void Message(QWidget* P, const QString& Text, const QString& Caption, QMessageBox::Icon I) override
        {
            ScriptedPrompts::Message(P, Text, Caption, I);
            if (OnMessage)
                OnMessage();
        }
    } ticking;
    Prompts::SetCurrent(&ticking);
    ticking.OnMessage = [this] {
        modem.SetFault(Serial, SimFault::None());
        clock.Advance(TFwUpdate::AttemptIntervalMs);
        fw.TimerInitFwUpdateTimer();
    };
    choose(firmware(40));
    modem.SetFault(Serial, SimFault::ErrorItem(5));
    fw.ButtonStartFwUpdateClick(false);
    runTimer();
    Prompts::SetCurrent(&prompts);

    EXPECT_EQ(ticking.Messages,
              QStringList{
                  QStringLiteral("Внимание|Устройство ответило: \"Недопустимые параметры обновления ПО\"!")});
    EXPECT_EQ(link.sends, 1);
    EXPECT_TRUE(blockLines().isEmpty());
    EXPECT_EQ(runningCrc(), OldCrc);
    EXPECT_FALSE(fw.Running());
}
