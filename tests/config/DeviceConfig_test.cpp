#include "config/LedIndicator.h"
#include "tests/config/ConfigWindowFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

using namespace DeviceReplies;

namespace {

class ConfigWindowTest : public ConfigWindowFixture
{
protected:
    QString text(const char* Name) { return child<QLabel>(Name)->text(); }
    bool applyEnabled(const char* Name) { return child<QPushButton>(Name)->isEnabled(); }

    void open(TTableDevice& Row)
    {
        window.TableDevice = &Row;
        window.show();
    }
};

} // namespace

TEST_F(ConfigWindowTest, ADeviceWithoutLinkShowsDashesAndGreyLamps)
{
    TTableDevice& row = addRow(321, TDeviceType::ThermoInputs);
    row.Status = dsNoLink;
    row.Device->RfChannel = 19;
    open(row);

    EXPECT_EQ(text("LabelDevStatus"), QStringLiteral("Нет связи"));
    EXPECT_EQ(text("StaticTextDevHwVer"), QStringLiteral("-"));
    EXPECT_EQ(text("StaticTextDevSwVer"), QStringLiteral("-"));
    EXPECT_EQ(text("StaticTextDevSerialNum"), QStringLiteral("00321"));
    EXPECT_EQ(child<QSpinBox>("JvSpinEditDevSerialNum")->text(), QStringLiteral("00321"));
    EXPECT_FALSE(child<QSpinBox>("JvSpinEditDevSerialNum")->isEnabled());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Параметры устройства ЛО РВ-ТС/ТП, серийный №00321"));
    for (const char* name :
         {"EditDevHwVer", "EditCh1AlertMinValue", "EditCh2AlertMaxValue", "EditCh1RangeMinValue"}) {
        EXPECT_EQ(child<QLineEdit>(name)->text(), QStringLiteral("-")) << name;
        EXPECT_FALSE(child<QLineEdit>(name)->isEnabled()) << name;
    }
    for (const char* name : {"ComboBoxCh1SensorType", "ComboBoxCh2SensorSubtype", "ComboBoxRfTxPowerLevel"}) {
        EXPECT_EQ(child<QComboBox>(name)->currentIndex(), -1) << name;
        EXPECT_FALSE(child<QComboBox>(name)->isEnabled()) << name;
    }
    EXPECT_TRUE(text("StaticTextCh1Value").isEmpty());
    EXPECT_TRUE(text("StaticTextColdJunctionTemp").isEmpty());
    EXPECT_TRUE(child<QPlainTextEdit>("MemoDevFaultFlags")->toPlainText().isEmpty());
    for (const char* name : {"JvLEDFaults", "JvLEDFaultsMeas"}) {
        EXPECT_TRUE(child<TLedIndicator>(name)->Active());
        EXPECT_EQ(child<TLedIndicator>(name)->CurrentColor(), QColor(0x80, 0x80, 0x80));
    }
    EXPECT_TRUE(child<QSpinBox>("JvSpinEditRfChannel")->isEnabled());
    EXPECT_EQ(child<QSpinBox>("JvSpinEditRfChannel")->value(), 19);
    EXPECT_FALSE(child<QSpinBox>("JvSpinEditCh1SignificantBits")->isEnabled());
    for (const char* name : {"ButtonApplyRfParams", "ButtonApplyCh1Params", "ButtonApplyCh2Params"})
        EXPECT_FALSE(applyEnabled(name)) << name;
    EXPECT_FALSE(child<QPushButton>("ButtonEditComment")->isEnabled());
}

TEST_F(ConfigWindowTest, ADeviceWithoutLinkAfterALinkedOneShowsNoTicks)
{
    TTableDevice& linked = addRow(321, TDeviceType::ThermoInputs);
    TTableDevice& silent = addRow(322, TDeviceType::ThermoInputs);
    silent.Status = dsNoLink;
    linked.Device->Channel(2).UseColdJunction = true;
    open(linked);
    ASSERT_TRUE(child<QCheckBox>("CheckBoxCh1Enabled")->isChecked());
    ASSERT_TRUE(child<QCheckBox>("CheckBoxCh2ColdJunctionEnable")->isChecked());
    window.close();
    open(silent);
    for (const char* name : {"CheckBoxCh1Enabled", "CheckBoxCh2ColdJunctionEnable"})
        EXPECT_FALSE(child<QCheckBox>(name)->isChecked()) << name;
}

TEST_F(ConfigWindowTest, ServiceModeControlsAppearOnlyInServiceMode)
{
    TTableDevice& row = addRow(321, TDeviceType::UnifiedInputs);
    QSignalSpy calibrShows(&window, &TFormDeviceConfig::TabSheetCalibrShow);
    auto* pages = child<QTabWidget>("PageControlDevParams");
    const int calibr = pages->indexOf(child<QWidget>("TabSheetCalibr"));

    open(row);
    EXPECT_FALSE(pages->isTabVisible(calibr));
    EXPECT_TRUE(child<QWidget>("GroupBoxEditCommonSettings")->isHidden());
    EXPECT_FALSE(child<QComboBox>("ComboBoxRfTxPowerLevel")->isEnabled());
    EXPECT_EQ(pages->currentWidget()->objectName(), QStringLiteral("TabSheetMeasures"));
    EXPECT_EQ(calibrShows.count(), 0);

    window.close();
    SuperuserMode = true;
    // The calibration page reads the calibration status at the show.
    link.Reply(MakeNetReply(321, {0x01, 0x03, 0x02, 0x01, 0x05}));
    open(row);
    EXPECT_EQ(link.Sent.size(), 1u);
    EXPECT_TRUE(pages->isTabVisible(calibr));
    EXPECT_FALSE(child<QWidget>("GroupBoxEditCommonSettings")->isHidden());
    EXPECT_TRUE(child<QComboBox>("ComboBoxRfTxPowerLevel")->isEnabled());
    EXPECT_EQ(child<QComboBox>("ComboBoxRfTxPowerLevel")->currentIndex(), 1);
    EXPECT_EQ(calibrShows.count(), 1);
}

TEST_F(ConfigWindowTest, ApplyButtonsFollowRealChangesAndTheWrites)
{
    TTableDevice& row = addRow(77, TDeviceType::UnifiedInputs);
    TDevice& d = *row.Device;
    d.Channel1->ValueValid = false;
    d.Channel2->Enabled = false;
    open(row);
    // Filling fired the change handlers; the buttons still end disabled, and the
    // refresh after a poll touches no edit.
    window.UpdateCurrentValues();
    for (const char* name : {"ButtonApplyRfParams", "ButtonApplyCh1Params", "ButtonApplyCh2Params"})
        EXPECT_FALSE(applyEnabled(name)) << name;
    EXPECT_EQ(text("StaticTextCh1Value"), QStringLiteral("---"));
    EXPECT_TRUE(text("StaticTextCh2Value").isEmpty());
    EXPECT_EQ(child<QLineEdit>("EditCh1AlertMaxValue")->text(), QStringLiteral("100"));

    // Typing a new high limit enables channel 1's button only.
    QLineEdit* maxEdit = child<QLineEdit>("EditCh1AlertMaxValue");
    maxEdit->selectAll();
    QTest::keyClicks(maxEdit, QStringLiteral("75,5"));
    EXPECT_TRUE(applyEnabled("ButtonApplyCh1Params"));
    EXPECT_FALSE(applyEnabled("ButtonApplyCh2Params"));

    // Apply: the limits go out, then the names (unchanged here, so nothing more).
    link.Reply(MakeNetReply(77, WriteAck(0x0100, 8)));
    QTest::mouseClick(child<QPushButton>("ButtonApplyCh1Params"), Qt::LeftButton);
    ASSERT_EQ(link.Sent.size(), 1u);
    EXPECT_EQ(SentItems(link.Sent[0]), (std::vector<SentItem>{W(0x0100, Pair(0, 75.5f))}));
    EXPECT_EQ(d.Channel1->MaxAlert, 75.5f);
    EXPECT_FALSE(applyEnabled("ButtonApplyCh1Params"));

    // A point is refused with a message and the button stays enabled.
    maxEdit->selectAll();
    QTest::keyClicks(maxEdit, QStringLiteral("60.5"));
    QTest::mouseClick(child<QPushButton>("ButtonApplyCh1Params"), Qt::LeftButton);
    EXPECT_EQ(link.Sent.size(), 1u);
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral("Внимание|Недопустимое максимальное предельное значение для "
                                         "сигнализации первого канала!")});
    EXPECT_TRUE(applyEnabled("ButtonApplyCh1Params"));

    // A new unit alone: no channel item, then the names in exchanges of their own
    // (the name as held, then both); the value's unit follows.
    link.Sent.clear();
    prompts.Messages.clear();
    maxEdit->setText(QStringLiteral("75,5"));
    auto* unit = child<QLineEdit>("EditCh1MeasUnits");
    unit->selectAll();
    QTest::keyClicks(unit, QStringLiteral("bar"));
    link.Reply(NamesReply(77, 1, QStringLiteral("Давление"), QStringLiteral("МПа")));
    link.Reply(MakeNetReply(77, WriteAck(0x0128, 40)));
    QTest::mouseClick(child<QPushButton>("ButtonApplyCh1Params"), Qt::LeftButton);
    ASSERT_EQ(link.Sent.size(), 2u);
    const auto names = EncodeQuantityNames(QStringLiteral("Давление"), QStringLiteral("bar"));
    EXPECT_EQ(SentItems(link.Sent[1]),
              (std::vector<SentItem>{W(0x0128, std::vector<quint8>(names.begin(), names.end()))}));
    EXPECT_EQ(d.Channel1->MeasUnitName, QStringLiteral("bar"));
    EXPECT_EQ(text("StaticTextCh1MeasUnits"), QStringLiteral("bar"));
    EXPECT_FALSE(applyEnabled("ButtonApplyCh1Params"));
    EXPECT_TRUE(prompts.Messages.isEmpty());

    // A channel number changed on the radio page enables its button.
    QTest::keyClick(child<QSpinBox>("JvSpinEditRfChannel"), Qt::Key_Up);
    EXPECT_TRUE(applyEnabled("ButtonApplyRfParams"));
}

TEST_F(ConfigWindowTest, LimitsAndRangeLeftAsShownAreNotRewrittenAndTypedBackAre)
{
    TTableDevice& row = addRow(78, TDeviceType::UnifiedInputs);
    TMeasureChannel& ch = *row.Device->Channel1;
    ch.MinAlert = -50.12345f;
    ch.MaxAlert = 150.0001f;
    ch.MinBound = 0.0004f;
    ch.MaxBound = 20.00001f;
    open(row);
    auto* maxEdit = child<QLineEdit>("EditCh1AlertMaxValue");
    EXPECT_EQ(child<QLineEdit>("EditCh1AlertMinValue")->text(), QStringLiteral("-50,123"));
    // A configuration read fills the edits anew; they are measured against that.
    ch.MaxAlert = 99.99999f;
    window.UpdateAllValues();
    EXPECT_EQ(maxEdit->text(), QStringLiteral("100"));

    // The digit count alone goes out; the shown, rounded numbers do not.
    QTest::keyClick(child<QSpinBox>("JvSpinEditCh1SignificantBits"), Qt::Key_Up);
    link.Reply(MakeNetReply(78, WriteAck(0x0116, 1)));
    QTest::mouseClick(child<QPushButton>("ButtonApplyCh1Params"), Qt::LeftButton);
    ASSERT_EQ(link.Sent.size(), 1u);
    EXPECT_EQ(SentItems(link.Sent[0]), (std::vector<SentItem>{W(0x0116, {5})}));

    // A typed limit is written, with the untouched one as stored.
    maxEdit->selectAll();
    QTest::keyClicks(maxEdit, QStringLiteral("150,5"));
    link.Reply(MakeNetReply(78, WriteAck(0x0100, 8)));
    QTest::mouseClick(child<QPushButton>("ButtonApplyCh1Params"), Qt::LeftButton);
    ASSERT_EQ(link.Sent.size(), 2u);
    EXPECT_EQ(SentItems(link.Sent[1]), (std::vector<SentItem>{W(0x0100, Pair(-50.12345f, 150.5f))}));
    EXPECT_EQ(ch.MaxAlert, 150.5f);

    // The text filled in, typed back: the device holds 150.5 now, so 100 goes out.
    maxEdit->selectAll();
    QTest::keyClicks(maxEdit, QStringLiteral("100"));
    link.Reply(MakeNetReply(78, WriteAck(0x0100, 8)));
    QTest::mouseClick(child<QPushButton>("ButtonApplyCh1Params"), Qt::LeftButton);
    ASSERT_EQ(link.Sent.size(), 3u);
    EXPECT_EQ(SentItems(link.Sent[2]), (std::vector<SentItem>{W(0x0100, Pair(-50.12345f, 100))}));
    EXPECT_EQ(ch.MaxAlert, 100.0f);
}

TEST_F(ConfigWindowTest, CommentIsEditedInPlace)
{
    TTableDevice& row = addRow(12, TDeviceType::ThermoInputs);
    open(row);
    auto* button = child<QPushButton>("ButtonEditComment");
    auto* edit = child<QLineEdit>("EditDevComment");
    EXPECT_EQ(text("StaticTextDevComment"), QStringLiteral("Котельная"));
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(edit->isHidden());
    EXPECT_EQ(button->text(), QStringLiteral("Записать"));
    EXPECT_FALSE(button->isEnabled());
    // Shown without the blanks it is stored with: typing at its end adds to it.
    EXPECT_EQ(edit->text(), QStringLiteral("Котельная"));
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClicks(edit, QStringLiteral(" 2"));
    EXPECT_EQ(edit->text(), QStringLiteral("Котельная 2"));

    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("Pump 2"));
    EXPECT_TRUE(button->isEnabled());
    // Refused by the device: the message, and the edit stays open.
    link.Reply(MakeNetReply(12, ErrorItem(4)));
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral("Внимание|Ошибка при изменении комментария устройства!")});
    EXPECT_FALSE(edit->isHidden());

    link.Reply(MakeNetReply(12, WriteAck(0x0008, 32)));
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(edit->isHidden());
    EXPECT_EQ(text("StaticTextDevComment"), QStringLiteral("Pump 2"));
    EXPECT_EQ(button->text(), QStringLiteral("Изменить"));
    EXPECT_EQ(row.Device->Comment, PadComment(QStringLiteral("Pump 2")));
}

TEST_F(ConfigWindowTest, ACommentLeftAsOpenedOrTextsTheDeviceCannotHoldSendNothing)
{
    TTableDevice& row = addRow(14, TDeviceType::UnifiedInputs);
    // As read from a device that fills the rest of the field with zero bytes.
    row.Device->Comment = DecodeTextField(std::array<quint8, 32>{'a', 'b', 'c'});
    open(row);
    auto* edit = child<QLineEdit>("EditDevComment");
    auto* button = child<QPushButton>("ButtonEditComment");
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, QStringLiteral("c"));
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(edit->isHidden());

    QTest::mouseClick(button, Qt::LeftButton);
    edit->setText(QStringLiteral("Датчик Ω №5")); // the test keyboard types ASCII only
    QTest::mouseClick(button, Qt::LeftButton);
    // A bad name stops the limits of the same apply as well.
    child<QLineEdit>("EditCh1MeasQuantityName")->setText(QStringLiteral("Уровень Ω"));
    QTest::keyClicks(child<QLineEdit>("EditCh1AlertMaxValue"), QStringLiteral("1"));
    QTest::mouseClick(child<QPushButton>("ButtonApplyCh1Params"), Qt::LeftButton);
    EXPECT_TRUE(link.Sent.empty());
    const QString tail =
        QStringLiteral(": «Ω». Устройство хранит текст в кодировке Windows-1251, в которой их нет.");
    EXPECT_EQ(prompts.Messages,
              (QStringList{QStringLiteral("Внимание|Недопустимые символы в комментарии") + tail,
                           QStringLiteral("Внимание|Недопустимые символы в названии измеряемой величины "
                                          "первого канала") +
                               tail}));
}

TEST_F(ConfigWindowTest, CurrentValuesFaultsAndTemperature)
{
    TTableDevice& row = addRow(5, TDeviceType::ThermoInputs);
    TDevice& d = *row.Device;
    d.ColdJunctionValid = true;
    d.ColdJunctionTemp = 21.25f;
    d.FaultRegister = 0x21;
    d.Channel1->ValueValid = true;
    d.Channel1->Value = std::numeric_limits<float>::infinity();
    d.Channel2->ValueValid = true;
    d.Channel2->LimitState = 4;
    open(row);
    // Neither channel compensated: no built-in temperature on type 1.
    EXPECT_TRUE(text("StaticTextColdJunctionTemp").isEmpty());
    EXPECT_EQ(text("StaticTextCh1Value"), QStringLiteral("---"));
    EXPECT_EQ(text("LabelCh2Alert"), QStringLiteral("Выход за верхний порог!"));
    EXPECT_FALSE(child<QLabel>("LabelCh2Alert")->isHidden());
    EXPECT_TRUE(child<QLabel>("LabelCh1Alert")->isHidden());
    EXPECT_EQ(text("LabelFaultsState"), QStringLiteral("Обнаружены неисправности"));
    EXPECT_FALSE(child<TLedIndicator>("JvLEDFaultsMeas")->Active());
    EXPECT_EQ(child<QPlainTextEdit>("MemoDevFaultFlags")->toPlainText(),
              FaultNames[0] + "\n" + FaultNames[5]);

    d.Channel2->UseColdJunction = true;
    d.FaultRegister = 0;
    window.UpdateCurrentValues();
    EXPECT_EQ(text("StaticTextColdJunctionTemp"), QStringLiteral("21,2 °С"));
    EXPECT_EQ(text("LabelFaultsStateMeas"), QStringLiteral("Неисправности отсутствуют"));
    EXPECT_TRUE(child<TLedIndicator>("JvLEDFaults")->Active());
    EXPECT_EQ(child<TLedIndicator>("JvLEDFaults")->CurrentColor(), QColor(0, 0xFF, 0));

    // The operator scrolled down the list: the next poll with the same faults
    // leaves it where it is, a new fault shows.
    d.FaultRegister = 0xFFFFFFFF;
    window.UpdateCurrentValues();
    QScrollBar* bar = child<QPlainTextEdit>("MemoDevFaultFlags")->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    bar->setValue(bar->maximum());
    const int scrolled = bar->value();
    window.UpdateCurrentValues();
    EXPECT_EQ(bar->value(), scrolled);
    d.FaultRegister = 0x1;
    window.UpdateCurrentValues();
    EXPECT_EQ(child<QPlainTextEdit>("MemoDevFaultFlags")->toPlainText(), FaultNames[0]);
}

TEST_F(ConfigWindowTest, ADeletedRowClosesTheWindowShowingIt)
{
    TTableDevice& shown = addRow(1, TDeviceType::ThermoInputs);
    TTableDevice& other = addRow(2, TDeviceType::ThermoInputs);
    open(shown);
    window.TableDeviceDeleting(&other);
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.TableDevice, &shown);
    window.TableDeviceDeleting(&shown);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.TableDevice, nullptr);
    // Buttons of a window without a row send nothing.
    window.ButtonApplyChannelParamsClick(1);
    window.ButtonSendDevResetClick();
    EXPECT_TRUE(link.Sent.empty());
}

namespace {

// The main window's side of the polling hooks: the configuration window is asked
// to refresh when it shows the polled device.
class WindowHooks : public RecordingHooks
{
public:
    TFormDeviceConfig* window = nullptr;
    bool ConfigShows(const TDevice& Device) const override { return window->ShowsDevice(Device); }
    void ConfigUpdateCurrentValues() override { window->UpdateCurrentValues(); }
    void ConfigUpdateAllValues() override { window->UpdateAllValues(); }
};

bool RunEventsUntilIdle()
{
    for (int i = 0; i < 10000 && PollingBusy; ++i)
        QCoreApplication::processEvents();
    return !PollingBusy;
}

} // namespace

TEST_F(ConfigWindowTest, PollingRefreshesTheWindowShowingTheDevice)
{
    WindowHooks windowHooks;
    windowHooks.link = &link;
    windowHooks.window = &window;
    TPollingCycle windowPolling(windowHooks);
    window.SetDispatcher(&windowHooks, &windowPolling, nullptr);
    TTableDevice& shown = addRow(61, TDeviceType::UnifiedInputs);
    TTableDevice& other = addRow(62, TDeviceType::UnifiedInputs);
    shown.Device->Channel1->ValueValid = true;
    open(shown);
    auto* alertMax = child<QLineEdit>("EditCh1AlertMaxValue");
    alertMax->setText(QStringLiteral("55"));

    PollingActive = true;
    link.Reply(CurrentReply(61, 0x01, 12.5f, 3, 20));
    link.Reply(CurrentReply(62, 0, 1, 2, 20));
    windowPolling.PollAllDevices();
    ASSERT_TRUE(RunEventsUntilIdle());
    // The shown device's poll refreshed values and faults; edits keep what is typed.
    EXPECT_EQ(text("StaticTextCh1Value"), QStringLiteral("12,50"));
    EXPECT_EQ(text("LabelFaultsState"), QStringLiteral("Обнаружены неисправности"));
    EXPECT_EQ(alertMax->text(), QStringLiteral("55"));
    EXPECT_TRUE(applyEnabled("ButtonApplyCh1Params"));

    // It stops answering: the window turns to the no-link display at once.
    link.Silence().Silence().Silence();
    link.Reply(CurrentReply(62, 0, 1, 2, 20));
    windowPolling.PollAllDevices();
    ASSERT_TRUE(RunEventsUntilIdle());
    EXPECT_EQ(shown.Status, dsNoLink);
    EXPECT_NE(other.Status, dsNoLink);
    EXPECT_EQ(text("LabelDevStatus"), QStringLiteral("Нет связи"));
    EXPECT_EQ(alertMax->text(), QStringLiteral("-"));
    EXPECT_FALSE(applyEnabled("ButtonApplyCh1Params"));
    PollingActive = false;
}

TEST_F(ConfigWindowTest, ServiceModeWritesANewSerialAndTheWindowNamesIt)
{
    SuperuserMode = true;
    TTableDevice& row = addRow(500, TDeviceType::UnifiedInputs);
    // The calibration page reads the calibration status at the show.
    link.Reply(MakeNetReply(500, {0x01, 0x03, 0x02, 0x01, 0x00}));
    open(row);
    ASSERT_EQ(link.Sent.size(), 1u);
    link.Sent.clear();
    auto* serial = child<QSpinBox>("JvSpinEditDevSerialNum");
    auto* hw = child<QLineEdit>("EditDevHwVer");
    serial->setValue(501);

    // A hardware version past a byte is refused before anything is sent.
    hw->setText(QStringLiteral("300"));
    QTest::mouseClick(child<QPushButton>("ButtonWriteROParams"), Qt::LeftButton);
    EXPECT_TRUE(link.Sent.empty());
    EXPECT_EQ(prompts.Messages,
              QStringList{QStringLiteral("Внимание|Недопустимая аппаратная версия устройства!")});

    hw->setText(QStringLiteral("3"));
    prompts.YesAnswers = {true};
    link.Reply(MakeNetReply(500, WriteAck(0x0002, 2)));
    QTest::mouseClick(child<QPushButton>("ButtonWriteROParams"), Qt::LeftButton);
    ASSERT_EQ(link.Sent.size(), 1u);
    EXPECT_EQ(Destination(link.Sent[0]), 500);
    EXPECT_EQ(row.Device->SerialNum, 501);
    EXPECT_EQ(text("StaticTextDevSerialNum"), QStringLiteral("00501"));
    EXPECT_TRUE(window.windowTitle().endsWith(QStringLiteral("№00501")));
}

TEST_F(ConfigWindowTest, TheRadioApplyMarksAndWritesOnlyAChannelOrPowerNotHeld)
{
    SuperuserMode = true;
    TTableDevice& high = addRow(40, TDeviceType::UnifiedInputs);
    TTableDevice& odd = addRow(41, TDeviceType::UnifiedInputs);
    high.Device->RfPowerCode = TxPowerCodeHigh;
    odd.Device->RfPowerCode = 0x50;
    // The calibration page reads the calibration status at each show.
    link.Reply(MakeNetReply(40, {0x01, 0x03, 0x02, 0x01, 0x00}));
    open(high);
    window.close();
    link.Reply(MakeNetReply(41, {0x01, 0x03, 0x02, 0x01, 0x00}));
    open(odd);
    // A power code the list does not know: no level, not the previous device's.
    EXPECT_EQ(child<QComboBox>("ComboBoxRfTxPowerLevel")->currentIndex(), -1);
    link.Sent.clear();
    auto* serial = child<QSpinBox>("JvSpinEditDevSerialNum");
    auto* channel = child<QSpinBox>("JvSpinEditRfChannel");
    // The serial spin has its own «Записать».
    serial->setValue(44);
    EXPECT_FALSE(applyEnabled("ButtonApplyRfParams"));
    serial->setValue(41);

    // A typed channel stays marked through «Записать» of serial and version,
    // and through a «Нет» to the channel question.
    QTest::keyClick(channel, Qt::Key_Up);
    QTest::mouseClick(child<QPushButton>("ButtonWriteROParams"), Qt::LeftButton);
    EXPECT_TRUE(applyEnabled("ButtonApplyRfParams"));
    prompts.YesAnswers = {false};
    QTest::mouseClick(child<QPushButton>("ButtonApplyRfParams"), Qt::LeftButton);
    EXPECT_TRUE(applyEnabled("ButtonApplyRfParams"));

    // Back to what the device holds: nothing pending.
    QTest::keyClick(channel, Qt::Key_Down);
    EXPECT_FALSE(applyEnabled("ButtonApplyRfParams"));

    // The channel goes out without a level.
    QTest::keyClick(channel, Qt::Key_Up);
    prompts.YesAnswers = {true};
    link.Reply(MakeNetReply(41, WriteAck(0x0301, 1)));
    QTest::mouseClick(child<QPushButton>("ButtonApplyRfParams"), Qt::LeftButton);
    ASSERT_EQ(link.Sent.size(), 1u);
    EXPECT_EQ(SentItems(link.Sent[0]), (std::vector<SentItem>{W(0x0301, {19})}));
}

TEST_F(ConfigWindowTest, ANewSensorKindShowsTheDigitCountStoredForIt)
{
    TTableDevice& row = addRow(42, TDeviceType::ThermoInputs);
    row.Device->Channel1->DigitsHi = 5; // digits byte 0x54
    open(row);
    auto* kind = child<QComboBox>("ComboBoxCh1SensorType");
    auto* digits = child<QSpinBox>("JvSpinEditCh1SignificantBits");
    // Thermocouple to resistance thermometer and back: the count of each, so
    // that an untouched spin writes nothing.
    QTest::keyClick(kind, Qt::Key_Down);
    EXPECT_EQ(digits->value(), 4);
    QTest::keyClick(kind, Qt::Key_Up);
    EXPECT_EQ(digits->value(), 5);
}

TEST_F(ConfigWindowTest, ADigitCountOutsideTheSpinIsWrittenOnlyWhenTheSpinChanges)
{
    TTableDevice& row = addRow(43, TDeviceType::ThermoInputs);
    TMeasureChannel& ch1 = *row.Device->Channel1;
    DecodeDigitsByte(0x33, ch1);
    DecodeDigitsByte(0xFF, *row.Device->Channel2);
    open(row);
    auto* digits = child<QSpinBox>("JvSpinEditCh1SignificantBits");
    EXPECT_EQ(digits->value(), 4);

    // The alarm max alone, on 0x33 and on 0xFF: the limits go out, no digits byte.
    for (const int n : {1, 2}) {
        auto* maxEdit = child<QLineEdit>(n == 1 ? "EditCh1AlertMaxValue" : "EditCh2AlertMaxValue");
        maxEdit->selectAll();
        QTest::keyClicks(maxEdit, QStringLiteral("90"));
        const quint16 reg = RegAlarmLimits(n).Address;
        link.Reply(MakeNetReply(43, WriteAck(reg, 8)));
        QTest::mouseClick(child<QPushButton>(n == 1 ? "ButtonApplyCh1Params" : "ButtonApplyCh2Params"),
                          Qt::LeftButton);
        EXPECT_EQ(SentItems(link.Sent.back()), (std::vector<SentItem>{W(reg, Pair(0, 90))})) << n;
    }

    // A new kind whose count (3) shows clamped: the sensor alone.
    QTest::keyClick(child<QComboBox>("ComboBoxCh1SensorType"), Qt::Key_Down);
    auto* model = child<QComboBox>("ComboBoxCh1SensorSubtype");
    model->setCurrentIndex(0);
    const quint8 kind = SensorTypeToByte(TSensorType::ResistanceThermometer);
    link.Reply(MakeNetReply(43, WriteAck(0x0112, 2)));
    QTest::mouseClick(child<QPushButton>("ButtonApplyCh1Params"), Qt::LeftButton);
    EXPECT_EQ(SentItems(link.Sent.back()),
              (std::vector<SentItem>{W(0x0112, {kind, quint8(model->currentData().toInt())})}));

    // The spin changed: the new count in its nibble, the other one as the device holds it.
    QTest::keyClick(digits, Qt::Key_Up);
    link.Reply(MakeNetReply(43, WriteAck(0x0116, 1)));
    QTest::mouseClick(child<QPushButton>("ButtonApplyCh1Params"), Qt::LeftButton);
    EXPECT_EQ(SentItems(link.Sent.back()), (std::vector<SentItem>{W(0x0116, {0x35})}));
    EXPECT_EQ(link.Sent.size(), 4u);
}

TEST_F(ConfigWindowTest, ANameTheDeviceDidNotTakeKeepsTheChannelButtonEnabled)
{
    TTableDevice& row = addRow(90, TDeviceType::UnifiedInputs);
    open(row);
    auto* apply = child<QPushButton>("ButtonApplyCh2Params");
    auto* maxEdit = child<QLineEdit>("EditCh2AlertMaxValue");
    auto* unit = child<QLineEdit>("EditCh2MeasUnits");
    maxEdit->selectAll();
    QTest::keyClicks(maxEdit, QStringLiteral("80"));
    unit->selectAll();
    QTest::keyClicks(unit, QStringLiteral("kPa"));

    // The limits are taken, the names refused: the unit is still to be sent.
    const auto held = [this] {
        link.Reply(NamesReply(90, 2, QStringLiteral("Давление"), QStringLiteral("МПа")));
    };
    link.Reply(MakeNetReply(90, WriteAck(0x0108, 8)));
    held();
    link.Reply(MakeNetReply(90, ErrorItem(5)));
    QTest::mouseClick(apply, Qt::LeftButton);
    ASSERT_EQ(link.Sent.size(), 3u);
    EXPECT_EQ(row.Device->Channel2->MaxAlert, 80.0f);
    EXPECT_EQ(row.Device->Channel2->MeasUnitName, QStringLiteral("МПа"));
    EXPECT_TRUE(apply->isEnabled());
    ASSERT_FALSE(journalLines().isEmpty());
    EXPECT_TRUE(journalLines().last().contains(QStringLiteral(
        "Ошибка при изменении наименования измеряемой величины и единиц измерения устройства: ")));

    // An acknowledgement of another length counts as not taken too.
    held();
    link.Reply(MakeNetReply(90, WriteAck(0x0150, 39)));
    QTest::mouseClick(apply, Qt::LeftButton);
    ASSERT_EQ(link.Sent.size(), 5u);
    EXPECT_EQ(row.Device->Channel2->MeasUnitName, QStringLiteral("МПа"));
    EXPECT_TRUE(apply->isEnabled());

    // Taken: nothing is pending any more.
    held();
    link.Reply(MakeNetReply(90, WriteAck(0x0150, 40)));
    QTest::mouseClick(apply, Qt::LeftButton);
    ASSERT_EQ(link.Sent.size(), 7u);
    EXPECT_EQ(row.Device->Channel2->MeasUnitName, QStringLiteral("kPa"));
    EXPECT_FALSE(apply->isEnabled());

    // The link lost on the names: the window shows the row without link, nothing pending.
    unit->selectAll();
    QTest::keyClicks(unit, QStringLiteral("bar"));
    link.Silence().Silence().Silence();
    QTest::mouseClick(apply, Qt::LeftButton);
    EXPECT_EQ(row.Status, dsNoLink);
    EXPECT_FALSE(apply->isEnabled());
}

// Names the window shows as the record holds them: an alarm-only apply sends the
// limits alone, before and after a unit write that found another name on the device.
TEST_F(ConfigWindowTest, UntouchedNamesAreNeverSentBack)
{
    TTableDevice& row = addRow(91, TDeviceType::UnifiedInputs);
    row.Device->Channel2->QuantityName = QStringLiteral("Давление\u00A0");
    open(row);
    auto* apply = child<QPushButton>("ButtonApplyCh2Params");
    auto* maxEdit = child<QLineEdit>("EditCh2AlertMaxValue");
    const auto alarmOnly = [&](const QString& Max) {
        maxEdit->selectAll();
        QTest::keyClicks(maxEdit, Max);
        link.Reply(MakeNetReply(91, WriteAck(0x0108, 8)));
        QTest::mouseClick(apply, Qt::LeftButton);
        EXPECT_EQ(SentItems(link.Sent.back()), (std::vector<SentItem>{W(0x0108, Pair(0, Max.toFloat()))}));
    };
    alarmOnly(QStringLiteral("80"));

    auto* unit = child<QLineEdit>("EditCh2MeasUnits");
    unit->selectAll();
    QTest::keyClicks(unit, QStringLiteral("kPa"));
    link.Reply(NamesReply(91, 2, QStringLiteral("Расход"), QStringLiteral("МПа")));
    link.Reply(MakeNetReply(91, WriteAck(0x0150, 40)));
    QTest::mouseClick(apply, Qt::LeftButton);
    EXPECT_EQ(child<QLineEdit>("EditCh2MeasQuantityName")->text(), QStringLiteral("Расход"));
    const std::size_t sent = link.Sent.size();
    alarmOnly(QStringLiteral("70"));
    EXPECT_EQ(link.Sent.size(), sent + 1);
}

TEST_F(ConfigWindowTest, ARowDeletedDuringTheRestartQuestionGetsNoCommand)
{
    // The main window announces the row, then frees it, while the question is open.
    class DeleteDuringQuestion : public ScriptedPrompts
    {
    public:
        TFormDeviceConfig* Window = nullptr;
        bool YesNo(QWidget* Parent, const QString& Text, const QString& Caption) override
        {
            Window->TableDeviceDeleting(DevArray.front().get());
            DevArray.clear();
            return ScriptedPrompts::YesNo(Parent, Text, Caption);
        }
    } deleting;
    deleting.Window = &window;
    deleting.YesAnswers = {true};
    Prompts::SetCurrent(&deleting);
    TTableDevice& row = addRow(91, TDeviceType::ThermoInputs);
    open(row);
    QTest::mouseClick(child<QPushButton>("ButtonSendDevReset"), Qt::LeftButton);
    EXPECT_EQ(deleting.Questions.size(), 1);
    EXPECT_TRUE(link.Sent.empty());
    EXPECT_FALSE(window.isVisible());
    Prompts::SetCurrent(&prompts);
}
