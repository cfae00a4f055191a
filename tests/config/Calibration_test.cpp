#include "DeviceWorkFixture.h"
#include "config/Calibration.h"

namespace {

const QString Start = QStringLiteral("Начать");
const QString Next = QStringLiteral("Далее");

// Input calibration of device 1234 against the simulated modem in virtual time.
class Calibr : public DeviceWorkFixture
{
protected:
    void useType(int Type)
    {
        modem.AddDevice(Serial, Type, 16);
        host.device.DeviceType = TDeviceType(Type);
    }
    quint8 statusBits()
    {
        quint8 bits = 0;
        modem.WithDevice(Serial, [&](SimDevice& d) { bits = d.Register8(SimDevice::RegCalibrStatus); });
        return bits;
    }
    QStringList stepLines() const { return host.journal.filter(QStringLiteral("***CalibrStep")); }

    TCalibration cal{host, work};
};

} // namespace

TEST_F(Calibr, ThermocoupleInputsInTwoSteps)
{
    useType(1);
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    EXPECT_TRUE(cal.CalibrBusy());
    EXPECT_EQ(cal.CalibrStep(), 1);
    EXPECT_EQ(host.instruction[0],
              QStringLiteral("Замкните входы термопары на каналах 1 и 2 и нажмите кнопку \"Далее\""));
    EXPECT_EQ(host.caption[0], Next);
    EXPECT_EQ(link.sends, 0);

    const qint64 t0 = clock.NowMs();
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    EXPECT_EQ(stepLines(), (QStringList{QStringLiteral("***CalibrStep1: write 101"),
                                        QStringLiteral("***CalibrStep1: read 101"),
                                        QStringLiteral("***CalibrStep1: read 0")}));
    // 200 ms to the echo, then rounds of 500 ms until the device's second has passed.
    EXPECT_GE(clock.NowMs() - t0, 1000);
    EXPECT_EQ(pumps, 2);
    EXPECT_EQ(host.instruction[0],
              QStringLiteral("Подключите ко входам термопары канала 2 напряжение 150 мВ и "
                             "нажмите кнопку \"Далее\""));
    EXPECT_EQ(host.caption[0], Next);
    EXPECT_TRUE(host.enabled[0]);
    EXPECT_EQ(host.leds, 0x01);
    EXPECT_EQ(cal.CalibrStep(), 2);

    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    EXPECT_EQ(stepLines().mid(3), (QStringList{QStringLiteral("***CalibrStep2: write 102"),
                                               QStringLiteral("***CalibrStep2: read 102"),
                                               QStringLiteral("***CalibrStep2: read 0")}));
    EXPECT_EQ(host.instruction[0],
              QStringLiteral("Настройка входов термоэлектрических преобразователей завершена"));
    EXPECT_EQ(host.caption[0], Start);
    EXPECT_TRUE(host.enabled[0]);
    EXPECT_FALSE(cal.CalibrBusy());
    EXPECT_EQ(cal.CalibrStep(), 0);
    EXPECT_EQ(host.ledType, 1);
    EXPECT_EQ(host.leds, 0x03);
    EXPECT_EQ(statusBits(), 0x03);
}

TEST_F(Calibr, EachKindWritesItsCodes)
{
    struct Case
    {
        int type;
        int kind;
        QList<int> codes;
        quint8 bits;
    };
    for (const Case& c : {Case{1, 1, {103, 104}, 0x0C}, Case{2, 2, {101, 103, 104}, 0x0E},
                          Case{2, 3, {102, 105, 106}, 0x31}}) {
        modem.RemoveAllDevices();
        host.journal.clear();
        useType(c.type);
        cal.BitBtnCalibrProceedClick(c.kind);
        for (int i = 0; i < c.codes.size(); ++i) {
            EXPECT_EQ(host.instruction[c.kind], TCalibration::Instruction(c.kind, i + 1)) << c.kind;
            cal.BitBtnCalibrProceedClick(c.kind);
        }
        QStringList writes;
        for (int i = 0; i < c.codes.size(); ++i)
            writes << QStringLiteral("***CalibrStep%1: write %2").arg(i + 1).arg(c.codes[i]);
        EXPECT_EQ(stepLines().filter(QStringLiteral("write")), writes) << c.kind;
        EXPECT_EQ(host.instruction[c.kind], TCalibration::Instruction(c.kind, 0));
        EXPECT_EQ(statusBits(), c.bits) << c.kind;
        EXPECT_EQ(host.leds, c.bits) << c.kind;
        EXPECT_FALSE(cal.CalibrBusy());
    }
}

TEST_F(Calibr, WrongEchoEndsTheCalibration)
{
    useType(1);
    modem.WithDevice(Serial, [](SimDevice& d) { d.SetCommandEchoOverride(0x42); });
    cal.BitBtnCalibrProceedClick(TCalibration::KindResistance);
    cal.BitBtnCalibrProceedClick(TCalibration::KindResistance);
    EXPECT_EQ(host.instruction[1],
              QStringLiteral("Ошибка при настройке измерительных входов устройства (read 103). "
                             "Процедура настройки прекращена."));
    EXPECT_EQ(host.caption[1], Start);
    EXPECT_TRUE(host.enabled[1]);
    EXPECT_FALSE(cal.CalibrBusy());
    EXPECT_EQ(cal.CalibrStep(), 0);
    EXPECT_EQ(stepLines(), QStringList{QStringLiteral("***CalibrStep1: write 103")});
}

TEST_F(Calibr, DeviceThatNeverFinishesIsGivenFortyOneRounds)
{
    useType(2);
    modem.WithDevice(Serial, [](SimDevice& d) { d.SetCommandBusyMs(1000000); });
    cal.BitBtnCalibrProceedClick(TCalibration::KindCurrent);
    const int sends = link.sends;
    cal.BitBtnCalibrProceedClick(TCalibration::KindCurrent);
    // Write, echo and 41 reads.
    EXPECT_EQ(link.sends - sends, 2 + 41);
    EXPECT_EQ(pumps, 41);
    EXPECT_EQ(host.instruction[2],
              QStringLiteral(" Ошибка при настройке измерительных входов устройства (read 0). "
                             "Процедура настройки прекращена. Устраните проблему и начните "
                             "настройку заново."));
    EXPECT_FALSE(cal.CalibrBusy());
    EXPECT_EQ(host.status, 1);
}

TEST_F(Calibr, SilenceDuringTheWaitCostsTheLink)
{
    useType(1);
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    onPump = [&] { modem.SetFault(Serial, SimFault::Silence()); };
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    EXPECT_EQ(host.instruction[0],
              QStringLiteral("Превышен таймаут ожидания ответа Ошибка при настройке измерительных "
                             "входов устройства (read 0). Процедура настройки прекращена. "
                             "Устраните проблему и начните настройку заново."));
    EXPECT_EQ(host.journal.last(),
              QStringLiteral("Превышен таймаут ожидания ответа при обмене с устройством сер.№ 01234"));
    EXPECT_EQ(host.status, 0);
    EXPECT_FALSE(cal.CalibrBusy());
}

TEST_F(Calibr, BusyDeviceRefusesTheWrite)
{
    useType(1);
    modem.SetFault(Serial, SimFault::ErrorItem(1));
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    EXPECT_EQ(host.journal,
              QStringList{QStringLiteral("Ошибка при настройке измерительных входов устройства (write "
                                         "101): устройство занято, необходимо повторить команду позже")});
    EXPECT_EQ(host.instruction[0],
              QStringLiteral("устройство занято, необходимо повторить команду позже Процедура "
                             "настройки прекращена. Устраните проблему и начните настройку "
                             "заново."));
    EXPECT_EQ(host.caption[0], Start);
}

TEST_F(Calibr, OtherKindsButtonIsRefusedWhileACalibrationRuns)
{
    useType(1);
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    cal.BitBtnCalibrProceedClick(TCalibration::KindResistance);
    EXPECT_EQ(link.sends, 0);
    EXPECT_EQ(prompts.Messages,
              QStringList{
                  QStringLiteral("Внимание|Сначала завершите начатую настройку других входов устройства!")});
    EXPECT_EQ(cal.CalibrKind(), TCalibration::KindThermocouple);
    EXPECT_EQ(cal.CalibrStep(), 1);
    EXPECT_TRUE(host.instruction[1].isEmpty());
    EXPECT_EQ(host.caption[1], Start);
    EXPECT_EQ(host.caption[0], Next);
    // The running kind goes on with its own code.
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    EXPECT_EQ(stepLines().first(), QStringLiteral("***CalibrStep1: write 101"));
    EXPECT_EQ(statusBits(), 0x01);
}

TEST_F(Calibr, ClicksDuringAStepAreIgnored)
{
    useType(1);
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    prompts.YesAnswers = {true};
    onPump = [&] {
        EXPECT_TRUE(cal.Working());
        cal.BitBtnCalibrProceedClick(TCalibration::KindResistance);
        cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
        cal.ButtonResetCalibrStatusClick();
        cal.TabSheetCalibrShow();
    };
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    EXPECT_TRUE(prompts.Questions.isEmpty());
    EXPECT_EQ(stepLines(), (QStringList{QStringLiteral("***CalibrStep1: write 101"),
                                        QStringLiteral("***CalibrStep1: read 101"),
                                        QStringLiteral("***CalibrStep1: read 0")}));
    EXPECT_EQ(cal.CalibrKind(), 0);
    EXPECT_EQ(cal.CalibrStep(), 2);
    EXPECT_EQ(statusBits(), 0x01);
}

TEST_F(Calibr, RowDeletedDuringTheWaitEndsTheCalibration)
{
    useType(1);
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    onPump = [&] {
        host.rowGone = true;
        cal.Abort();
    };
    const int sends = link.sends;
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    // Write and echo, then nothing more.
    EXPECT_EQ(link.sends - sends, 2);
    EXPECT_EQ(pumps, 1);
    EXPECT_FALSE(cal.CalibrBusy());
    EXPECT_EQ(cal.CalibrStep(), 0);
    EXPECT_FALSE(cal.Working());
    EXPECT_EQ(stepLines().size(), 2);
}

TEST_F(Calibr, ResetClearsTheStatusBits)
{
    useType(2);
    modem.WithDevice(Serial,
                     [](SimDevice& d) { d.SetRegisters(SimDevice::RegCalibrStatus, QByteArray(1, '\x3F')); });
    cal.TabSheetCalibrShow();
    EXPECT_EQ(host.panel, 2);
    EXPECT_EQ(host.leds, 0x3F);
    cal.BitBtnCalibrProceedClick(TCalibration::KindVoltage);
    prompts.YesAnswers = {false, true};
    cal.ButtonResetCalibrStatusClick();
    EXPECT_EQ(statusBits(), 0x3F);
    cal.ButtonResetCalibrStatusClick();
    EXPECT_EQ(prompts.Questions, (QStringList{TCalibration::ResetQuestion, TCalibration::ResetQuestion}));
    EXPECT_EQ(statusBits(), 0);
    EXPECT_EQ(host.leds, 0);
    EXPECT_EQ(host.instruction[3],
              QStringLiteral("Сброс признаков настройки измерительных входов устройства выполнен"));
    // The running calibration ended with it.
    EXPECT_FALSE(cal.CalibrBusy());
    EXPECT_EQ(host.caption[3], Start);
}

TEST_F(Calibr, StatusReadFailureOfATypeTwoDeviceShowsOnItsOwnPanel)
{
    useType(2);
    modem.SetFault(Serial, SimFault::ErrorItem(2));
    cal.TabSheetCalibrShow();
    EXPECT_EQ(cal.CalibrKind(), TCalibration::KindCurrent);
    EXPECT_TRUE(host.instruction[0].isEmpty());
    EXPECT_TRUE(host.instruction[2].endsWith(
        QStringLiteral("Не удалось прочитать регистр состояния настройки измерительных входов устройства!")));
}

TEST_F(Calibr, UnknownTypeShowsTheHintAndStillReadsTheStatus)
{
    useType(1);
    host.device.DeviceType = TDeviceType::Unknown;
    cal.TabSheetCalibrShow();
    EXPECT_EQ(host.panel, 0);
    EXPECT_EQ(link.sends, 1);
    EXPECT_EQ(host.ledUpdates, 0);
}

TEST_F(Calibr, StatusReadFailures)
{
    useType(1);
    modem.SetFault(Serial, SimFault::ErrorItem(2));
    cal.ReadCalibrStatusRegister();
    EXPECT_EQ(host.journal,
              QStringList{QStringLiteral("Ошибка при чтении состояния настройки измерительных входов "
                                         "устройства: регистр по запрашиваемому адресу отсутствует")});
    EXPECT_EQ(host.instruction[0],
              QStringLiteral("регистр по запрашиваемому адресу отсутствует Не удалось прочитать "
                             "регистр состояния настройки измерительных входов устройства!"));
    modem.SetFault(Serial, SimFault::Silence());
    cal.ReadCalibrStatusRegister();
    EXPECT_EQ(host.status, 0);
    EXPECT_EQ(host.instruction[0],
              QStringLiteral("Превышен таймаут ожидания ответа Не удалось прочитать регистр "
                             "состояния настройки измерительных входов устройства!"));
}

TEST_F(Calibr, StartNeedsPollingStoppedAndASignal)
{
    useType(1);
    host.polling = true;
    prompts.YesAnswers = {false};
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    EXPECT_EQ(prompts.Questions,
              QStringList{QStringLiteral("Для настройки измерительных входов устройства опрос должен "
                                         "быть остановлен. Прекратить опрос?")});
    EXPECT_FALSE(cal.CalibrBusy());

    host.polling = false;
    host.device.SignalAtDevice = 12;
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    EXPECT_EQ(prompts.Messages, QStringList{QStringLiteral(
                                    "Внимание|Уровень радиосигнала (68) не достаточен для настройки входов "
                                    "устройства!")});
    EXPECT_FALSE(cal.CalibrBusy());

    // A row without link whose read fails says so in the instruction box.
    host.device.SignalAtDevice = 0x30;
    host.status = 0;
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    EXPECT_EQ(host.instruction[0],
              QStringLiteral("Превышен таймаут ожидания ответа Процедура настройки прекращена. "
                             "Устраните проблему и начните настройку заново."));
    EXPECT_FALSE(cal.CalibrBusy());
    EXPECT_EQ(link.sends, 0);
}

// Another type answers under the serial number now (a spare, or the other type's
// firmware): the type-1 panel's buttons start nothing and show its panel instead.
TEST_F(Calibr, OldPanelsButtonsShowTheNewTypesPanelInstead)
{
    useType(2);
    host.device.DeviceType = TDeviceType::ThermoInputs;
    host.status = 0;
    host.readConfig = [&](QString&) {
        host.device.DeviceType = TDeviceType::UnifiedInputs;
        host.status = 1;
        return true;
    };
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    EXPECT_FALSE(cal.CalibrBusy());
    EXPECT_EQ(host.panel, 2);
    EXPECT_EQ(host.instruction[2], QStringLiteral("Тип устройства изменился. Начните настройку заново."));
    // Shown for type 1 again, and a poll finds type 2: not even polling is stopped.
    host.device.DeviceType = TDeviceType::ThermoInputs;
    cal.TabSheetCalibrShow();
    host.device.DeviceType = TDeviceType::UnifiedInputs;
    host.polling = true;
    cal.ButtonResetCalibrStatusClick();
    cal.BitBtnCalibrProceedClick(TCalibration::KindResistance);
    EXPECT_TRUE(prompts.Questions.isEmpty());
    // Type 1 found while the reset's question is open: its panel, and no reset.
    prompts.YesAnswers = {true};
    prompts.OnQuestion = [&] { host.device.DeviceType = TDeviceType::ThermoInputs; };
    cal.ButtonResetCalibrStatusClick();
    EXPECT_EQ(host.panel, 1);
    // A calibration under way ends when its page shows the device is of type 2 now.
    host.polling = false;
    cal.BitBtnCalibrProceedClick(TCalibration::KindThermocouple);
    ASSERT_TRUE(cal.CalibrBusy());
    host.device.DeviceType = TDeviceType::UnifiedInputs;
    cal.TabSheetCalibrShow();
    EXPECT_FALSE(cal.CalibrBusy());
    EXPECT_EQ(host.caption[0], Start);
}
