#include "ConfigWindowFixture.h"
#include "config/DeviceConfigPages.h"
#include "config/LedIndicator.h"
#include "platform/EventPump.h"
#include "platform/VirtualClock.h"
#include "support/SimModemLink.h"
#include "support/SimNetwork.h"
#include "support/TestFirmware.h"
#include "tools/netsim/SimModem.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr quint16 Serial = 1234;
const QString FlashingRefusal =
    QStringLiteral("Внимание|Команда недоступна во время обновления ПО устройства!");

// The simulated modem in virtual time, a base of its own so that it outlives
// the window.
struct ModemInVirtualTime
{
    ModemInVirtualTime() : clockScope(clock) {}

    VirtualClock clock;
    ScopedClock clockScope;
    SimModem modem;
    SimModemLink simLink{modem, clock};
};

// The configuration window's firmware and calibration pages driven by clicks,
// against the simulated modem in virtual time.
class ConfigPagesTest : protected ModemInVirtualTime, public ConfigWindowFixture
{
protected:
    ConfigPagesTest()
    {
        hooks.link = &simLink;
        modem.AddDevice(Serial, 1, 16);
        EventPump::SetHandler([this] {
            QCoreApplication::processEvents();
            if (onPump)
                onPump();
        });
    }
    ~ConfigPagesTest() override { EventPump::SetHandler({}); }
    TTableDevice& openRow()
    {
        TTableDevice& row = addRow(Serial, TDeviceType::ThermoInputs);
        row.Device->SignalAtDevice = 0x30;
        row.Device->SignalAtPC = 0x30;
        window.TableDevice = &row;
        window.show();
        return row;
    }
    QString chooseFile(int Length)
    {
        const VfwFile s = TestFirmware(Length, 5);
        image = s.Image;
        const QString name = dir.filePath(QStringLiteral("fw.vfw"));
        EXPECT_TRUE(VfwWriter::Write(name, s));
        window.Pages().JvFilenameEditFirmwarePathAfterDialog(name);
        return name;
    }
    quint16 runningCrc()
    {
        quint16 crc = 0;
        modem.WithDevice(Serial, [&](SimDevice& d) { crc = d.FirmwareCrc(); });
        return crc;
    }
    QStringList memo()
    {
        return child<QPlainTextEdit>("MemoFWResults")->toPlainText().split(QLatin1Char('\n'));
    }
    void showPage(const char* Name)
    {
        child<QTabWidget>("PageControlDevParams")->setCurrentWidget(child<QWidget>(Name));
    }
    void click(const char* Name) { QTest::mouseClick(child<QPushButton>(Name), Qt::LeftButton); }

    QTemporaryDir dir;
    QByteArray image;
    std::function<void()> onPump;
};

} // namespace

TEST_F(ConfigPagesTest, RadioUpdateByClicks)
{
    openRow();
    showPage("TabSheetSoftwareUpdate");
    EXPECT_FALSE(child<QPushButton>("ButtonStartFwUpdate")->isEnabled());
    EXPECT_TRUE(child<QWidget>("GroupBoxUsbUpdate")->isHidden());
    const QString name = chooseFile(100);
    EXPECT_EQ(child<QLineEdit>("JvFilenameEditFirmwarePath")->text(), name);
    EXPECT_EQ(child<QLabel>("LabelNewFwFileLength")->text(), QStringLiteral("Длина файла: 100 байт"));
    EXPECT_EQ(child<QLabel>("LabelNewHwVersion")->text(), QStringLiteral("Аппаратная версия: 3"));
    ASSERT_TRUE(child<QPushButton>("ButtonStartFwUpdate")->isEnabled());

    bool sawRunning = false;
    onPump = [&] {
        // While the blocks go, the main window refuses polling and the device stays.
        sawRunning = sawRunning || (window.FwUpdateActive() && window.ProcedureRunning() &&
                                    child<QProgressBar>("ProgressBarFWSend")->isVisible() &&
                                    !child<QPushButton>("ButtonStartFwUpdate")->isEnabled());
    };
    click("ButtonStartFwUpdate");
    EXPECT_TRUE(window.FwUpdateActive());
    EXPECT_TRUE(child<QLabel>("LabelRfFwWaitMsg")->isVisible());
    ASSERT_TRUE(RunEventsUntil([&] { return !window.ProcedureRunning(); }, 5000));
    EXPECT_TRUE(sawRunning);
    EXPECT_EQ(memo().filter(QStringLiteral("Записан фрагмент")).size(), 4);
    EXPECT_TRUE(memo().last().startsWith(QStringLiteral("Передача прошивки завершена: ")));
    EXPECT_EQ(prompts.Messages, QStringList{QStringLiteral("Внимание|Передача прошивки завершена")});
    EXPECT_EQ(runningCrc(), VfwWriter::Crc16(image));
    EXPECT_FALSE(child<QProgressBar>("ProgressBarFWSend")->isVisible());
    EXPECT_FALSE(child<QLabel>("LabelRfFwWaitMsg")->isVisible());
    EXPECT_TRUE(child<QPushButton>("ButtonStartFwUpdate")->isEnabled());
    EXPECT_FALSE(window.FwUpdateActive());
}

TEST_F(ConfigPagesTest, ClosingDuringTheTransferAbortsAndClosesAtTheNextBlock)
{
    openRow();
    showPage("TabSheetSoftwareUpdate");
    chooseFile(200);
    prompts.YesAnswers = {false, true};
    int closes = 0;
    onPump = [&] {
        if (memo().filter(QStringLiteral("Записан фрагмент")).size() == 2 && closes < 2) {
            ++closes;
            window.close();
            EXPECT_TRUE(window.isVisible());
        }
    };
    click("ButtonStartFwUpdate");
    ASSERT_TRUE(RunEventsUntil([&] { return !window.ProcedureRunning(); }, 5000));
    EXPECT_EQ(prompts.Questions.size(), 2);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(runningCrc(), 0x5A17);
    EXPECT_TRUE(child<QLineEdit>("JvFilenameEditFirmwarePath")->text().isEmpty());
    EXPECT_FALSE(child<QPushButton>("ButtonStartFwUpdate")->isEnabled());
    EXPECT_TRUE(journalLines().last().endsWith(
        QStringLiteral("Обновление ПО устройства сер.№ 01234 прервано, прошивка передана не полностью")));
}

TEST_F(ConfigPagesTest, CalibrationByClicksLightsItsLeds)
{
    SuperuserMode = true;
    openRow();
    showPage("TabSheetCalibr");
    auto* leds0 = child<TLedIndicator>("JvLEDCalibr_TSTP_0_TP");
    EXPECT_FALSE(leds0->Active());
    EXPECT_TRUE(child<QWidget>("PanelLorvTsTp")->isVisible());
    EXPECT_FALSE(child<QWidget>("PanelLorvTn")->isVisible());
    click("BitBtnCalibrProceedTP");
    EXPECT_EQ(child<QPushButton>("BitBtnCalibrProceedTP")->text(), QStringLiteral("Далее"));
    EXPECT_TRUE(window.CalibrBusy());
    click("BitBtnCalibrProceedTP");
    EXPECT_TRUE(leds0->Active());
    EXPECT_FALSE(child<TLedIndicator>("JvLEDCalibr_TSTP_150_TP")->Active());
    EXPECT_EQ(child<QLabel>("StaticTextCalibrInstructionTP")->text(),
              QStringLiteral(
                  "Подключите ко входам термопары канала 2 напряжение 150 мВ и нажмите кнопку \"Далее\""));
    EXPECT_TRUE(journalLines().filter(QStringLiteral("***CalibrStep1: read 0")).size() == 1);
}

TEST_F(ConfigPagesTest, RowDeletedDuringACalibrationWaitClosesTheWindowFirst)
{
    SuperuserMode = true;
    TTableDevice& row = openRow();
    click("BitBtnCalibrProceedTS");
    onPump = [&] {
        if (window.TableDevice)
            window.TableDeviceDeleting(&row);
    };
    const int sends = simLink.sends;
    click("BitBtnCalibrProceedTS");
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.TableDevice, nullptr);
    EXPECT_FALSE(window.CalibrBusy());
    // Write and echo only: nothing was sent for the row once it was going.
    EXPECT_EQ(simLink.sends - sends, 2);
    EXPECT_EQ(child<QPushButton>("BitBtnCalibrProceedTS")->text(), QStringLiteral("Начать"));
}

TEST_F(ConfigPagesTest, LedsOfOneDeviceAreNotShownForTheNextOne)
{
    SuperuserMode = true;
    modem.WithDevice(
        Serial, [](SimDevice& d) { d.SetRegisters(SimDevice::RegCalibrStatus, QByteArray(1, char(0x0F))); });
    openRow();
    showPage("TabSheetCalibr");
    auto* led = child<TLedIndicator>("JvLEDCalibr_TSTP_400_TS");
    ASSERT_TRUE(led->Active());
    window.close();

    // The next device does not answer its status read: its LEDs are unknown, not lit.
    TTableDevice& other = addRow(4321, TDeviceType::ThermoInputs);
    window.TableDevice = &other;
    window.show();
    EXPECT_FALSE(led->Active());
    EXPECT_FALSE(child<TLedIndicator>("JvLEDCalibr_TSTP_0_TP")->Active());
}

TEST_F(ConfigPagesTest, NothingOfTheWindowIsSentOrStartedDuringARadioTransfer)
{
    SuperuserMode = true;
    TTableDevice& row = openRow();
    quint8 enabledAtDevice = 0;
    modem.WithDevice(Serial,
                     [&](SimDevice& d) { enabledAtDevice = d.Register8(SimDevice::RegChannelEnable1); });
    showPage("TabSheetSoftwareUpdate");
    chooseFile(200);
    int sent = -1;
    onPump = [&] {
        if (sent < 0 && memo().filter(QStringLiteral("Записан фрагмент")).size() == 2) {
            const int before = simLink.sends;
            sent = 0;
            showPage("TabSheetCalibr");
            click("BitBtnCalibrProceedTP");
            prompts.YesAnswers = {true};
            click("ButtonSendDevReset");
            child<QCheckBox>("CheckBoxCh1Enabled")->click();
            click("ButtonApplyCh1Params");
            sent = simLink.sends - before;
        }
    };
    click("ButtonStartFwUpdate");
    ASSERT_TRUE(RunEventsUntil([&] { return !window.ProcedureRunning(); }, 5000));
    EXPECT_EQ(sent, 0);
    EXPECT_FALSE(window.CalibrBusy());
    EXPECT_TRUE(journalLines().filter(QStringLiteral("***CalibrStep")).isEmpty());
    EXPECT_EQ(prompts.Messages, (QStringList{FlashingRefusal, FlashingRefusal, FlashingRefusal,
                                             QStringLiteral("Внимание|Передача прошивки завершена")}));
    EXPECT_EQ(runningCrc(), VfwWriter::Crc16(image));
    EXPECT_TRUE(row.Device->Channel(1).Enabled);
    modem.WithDevice(Serial, [&](SimDevice& d) {
        EXPECT_EQ(d.Restarts(), 1); // the one into the new image
        EXPECT_EQ(d.Register8(SimDevice::RegChannelEnable1), enabledAtDevice);
    });
}

TEST_F(ConfigPagesTest, WritesOfTheWindowSendNothingWhileACalibrationWaits)
{
    SuperuserMode = true;
    openRow();
    click("BitBtnCalibrProceedTP");
    ASSERT_TRUE(window.CalibrBusy());
    chooseFile(100);
    const int sends = simLink.sends;
    prompts.YesAnswers = {true};
    child<QPushButton>("ButtonSendDevReset")->click();
    child<QPushButton>("ButtonStartFwUpdate")->click();
    child<QPushButton>("ButtonEditComment")->click();
    child<QLineEdit>("EditDevComment")->setText(QStringLiteral("Цех 2"));
    child<QPushButton>("ButtonEditComment")->click();
    EXPECT_EQ(simLink.sends, sends);
    // One message per refused command, and only the one that says why.
    const QString refusal =
        QStringLiteral("Внимание|Команда недоступна во время настройки измерительных входов устройства!");
    EXPECT_EQ(prompts.Messages, (QStringList{refusal, refusal, refusal}));
    EXPECT_FALSE(child<QLineEdit>("EditDevComment")->isHidden());
    EXPECT_FALSE(window.FwUpdateRunning());
    EXPECT_TRUE(window.CalibrBusy());
}

TEST_F(ConfigPagesTest, StatusResetIsRefusedWhileACalibrationWaits)
{
    SuperuserMode = true;
    openRow();
    click("BitBtnCalibrProceedTP");
    const int sends = simLink.sends;
    prompts.YesAnswers = {true};
    click("ButtonResetCalibrStatus");
    EXPECT_EQ(simLink.sends, sends);
    EXPECT_EQ(prompts.Messages, QStringList{QStringLiteral("Внимание|Команда недоступна во время настройки "
                                                           "измерительных входов устройства!")});
}

TEST_F(ConfigPagesTest, TheUsbPortChosenSurvivesALookAtAnotherPage)
{
    for (const QString& port : {QStringLiteral("COM200"), QStringLiteral("COM201")})
        ASSERT_TRUE(QFile(dir.filePath(port)).open(QIODevice::WriteOnly));
    qputenv("KLOV_PORTS_DIR", QFile::encodeName(dir.path()));
    const auto unset = qScopeGuard([] { qunsetenv("KLOV_PORTS_DIR"); });
    SuperuserMode = true;
    openRow();
    showPage("TabSheetSoftwareUpdate");
    auto* box = child<QComboBox>("ComboBoxUsbUpdatePortNum");
    box->setCurrentIndex(box->findText(QStringLiteral("COM201")));
    showPage("TabSheetMeasures");
    showPage("TabSheetSoftwareUpdate");
    EXPECT_EQ(box->currentText(), QStringLiteral("COM201"));
    // Gone from the list, it is not replaced by another port on any later look.
    ASSERT_TRUE(QFile::remove(dir.filePath(QStringLiteral("COM201"))));
    showPage("TabSheetMeasures");
    showPage("TabSheetSoftwareUpdate");
    EXPECT_EQ(box->currentIndex(), -1);
    showPage("TabSheetMeasures");
    showPage("TabSheetSoftwareUpdate");
    EXPECT_EQ(box->currentIndex(), -1);
}

TEST_F(ConfigPagesTest, ShutdownDuringTheTransferLetsGoOfTheRowAndTheLink)
{
    openRow();
    showPage("TabSheetSoftwareUpdate");
    chooseFile(300);
    bool shutDown = false;
    onPump = [&] {
        if (!shutDown && memo().filter(QStringLiteral("Записан фрагмент")).size() == 2) {
            shutDown = true;
            // What the main window's close does: every row announced, then freed, then the link.
            for (const auto& row : DevArray)
                window.TableDeviceDeleting(row.get());
            DevArray.clear();
            hooks.link = nullptr;
        }
    };
    const int sends = simLink.sends;
    click("ButtonStartFwUpdate");
    ASSERT_TRUE(RunEventsUntil([&] { return !window.ProcedureRunning(); }, 5000));
    ASSERT_TRUE(shutDown);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.TableDevice, nullptr);
    // Parameters and two blocks; nothing went out once the rows were going.
    EXPECT_EQ(simLink.sends - sends, 3);
    EXPECT_TRUE(prompts.Messages.isEmpty());
    EXPECT_TRUE(memo().last().startsWith(
        QStringLiteral("Передача прошивки прервана, прошивка передана не полностью: ")));
    EXPECT_EQ(runningCrc(), 0x5A17);
}
