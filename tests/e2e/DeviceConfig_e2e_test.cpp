#include "config/DeviceConfigWrites.h"
#include "core/Device.h"
#include "core/RegisterMap.h"
#include "core/StringFunc.h"
#include "dispatcher/DispatcherHooks.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/Journal.h"
#include "dispatcher/PollingCycle.h"
#include "platform/Prompts.h"
#include "support/JournalLines.h"
#include "support/QStringPrinter.h"
#include "support/RecordingHooks.h"
#include "support/ScriptedPrompts.h"
#include "support/SharedState.h"
#include "support/SimNetwork.h"
#include "support/SimPollingTest.h"
#include "support/UnchangedInputs.h"
#include "tools/netsim/SimWire.h"

#include <gtest/gtest.h>

namespace {

constexpr int ModemPort = 17;
constexpr quint16 Thermo = 1234;
constexpr quint16 Unified = 1235;

// Main window hooks with an archive that keeps what it was told; the link is
// the shared Connection.
class ArchiveHooks : public TDispatcherHooks
{
public:
    void ReloadStringgrid() override { ++reloads; }
    IArchiveWriter* ArchiveWriter() override { return &archive; }
    RecordingArchive archive;
    int reloads = 0;
};

// The configuration writes against simulated devices over the pty, between the
// steps of a running polling.
class ConfigOverTheModem : public SimPollingTest<ArchiveHooks>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(publishPorts());
        ASSERT_TRUE(startSim(ModemPort));
        ASSERT_TRUE(sim.Modem().AddDevice(Thermo, 1, 16));
        ASSERT_TRUE(sim.Modem().AddDevice(Unified, 2, 16));
        hookPolling(ModemPort, {Thermo, Unified});
        Prompts::SetCurrent(&prompts);
        polling.ActionStartStopPollingExecute();
        ASSERT_TRUE(PollingActive) << ConnectionError.toStdString();
        ASSERT_TRUE(
            RunEventsUntil([] { return configured(*DevArray[0]) && configured(*DevArray[1]); }, 10000));
    }
    void TearDown() override
    {
        // The questions stay scripted while the polling stops.
        SimPollingTest::TearDown();
        Prompts::SetCurrent(nullptr);
    }

    static bool configured(const TTableDevice& Row)
    {
        return Row.Status != dsNoLink && Row.Device->DeviceType != TDeviceType::Unknown &&
               Row.Device->Channel1->GraphLine->Series->Count() > 0;
    }

    TTableDevice& row(int Index) { return *DevArray[Index]; }

    TDeviceConfigWrites writes(TTableDevice& Row)
    {
        TDeviceConfigWrites w(hooks, polling.Reader(), Row);
        w.RefillWindow = [this] { ++refills; };
        return w;
    }

    QByteArray registers(quint16 Serial, quint16 Addr, int Len)
    {
        QByteArray bytes;
        EXPECT_TRUE(sim.Modem().WithDevice(Serial, [&](SimDevice& d) { bytes = d.Registers(Addr, Len); }));
        return bytes;
    }

    // Reads the device's configuration afresh into a record that forgot it.
    void readBack(TTableDevice& Row)
    {
        for (int n = 1; n <= 2; ++n) {
            TMeasureChannel& ch = Row.Device->Channel(n);
            ch.MinAlert = ch.MaxAlert = ch.MinBound = ch.MaxBound = -7;
            ch.DigitsHi = ch.DigitsLo = 0;
            ch.SensorModel = 0;
        }
        QString err;
        ASSERT_TRUE(polling.Reader().ReadDeviceConfig(Row, err)) << err.toStdString();
    }

    ScriptedPrompts prompts;
    int refills = 0;
};

} // namespace

TEST_F(ConfigOverTheModem, ChannelSettingsReachTheDeviceAndReadBack)
{
    TTableDevice& unified = row(1);
    // A register the operator does not touch is not sent: the device's own change
    // of it survives the write.
    ASSERT_TRUE(sim.Modem().WithDevice(Unified, [](SimDevice& d) { d.SetSensor(2, 3, 1); }));

    TChannelInputs in = UnchangedInputs(unified, 1);
    in.AlertMin = QStringLiteral("12,5");
    in.AlertMax = QStringLiteral("88");
    in.RangeMin = QStringLiteral("-10");
    in.Digits = 5;
    EXPECT_EQ(writes(unified).WriteChannelParams(1, in), TWriteResult::Done);
    // The range register holds the high bound first; the digits byte is the count alone.
    EXPECT_EQ(registers(Unified, 0x0118, 8), SimWire::FloatBE(100) + SimWire::FloatBE(-10));
    EXPECT_EQ(registers(Unified, 0x0100, 8), SimWire::FloatBE(12.5f) + SimWire::FloatBE(88));
    EXPECT_EQ(registers(Unified, 0x0116, 1), QByteArray(1, 0x05));
    EXPECT_EQ(registers(Unified, 0x0114, 2), QByteArray::fromHex("0301"));

    // Type 1, thermocouple on channel 1: the new count goes into the high nibble.
    TTableDevice& thermo = row(0);
    ASSERT_EQ(thermo.Device->Channel1->SensorType, TSensorType::Thermocouple);
    in = UnchangedInputs(thermo, 1);
    in.Digits = 5;
    in.ColdJunction = false;
    EXPECT_EQ(writes(thermo).WriteChannelParams(1, in), TWriteResult::Done);
    EXPECT_EQ(registers(Thermo, 0x0116, 1), QByteArray(1, 0x54));
    EXPECT_EQ(registers(Thermo, 0x0118, 1), QByteArray(1, 0x00));
    // Resistance thermometer on channel 2: the low nibble.
    in = UnchangedInputs(thermo, 2);
    in.Digits = 5;
    EXPECT_EQ(writes(thermo).WriteChannelParams(2, in), TWriteResult::Done);
    EXPECT_EQ(registers(Thermo, 0x0117, 1), QByteArray(1, 0x45));

    // A fresh read gives back what was written.
    readBack(unified);
    const TMeasureChannel& u1 = *unified.Device->Channel1;
    EXPECT_EQ(u1.MinAlert, 12.5f);
    EXPECT_EQ(u1.MaxAlert, 88.0f);
    EXPECT_EQ(u1.MinBound, -10.0f);
    EXPECT_EQ(u1.MaxBound, 100.0f);
    EXPECT_EQ(u1.DigitsLo, 5);
    EXPECT_EQ(unified.Device->Channel2->SensorModel, 1);
    readBack(thermo);
    EXPECT_EQ(thermo.Device->Channel1->DigitsHi, 5);
    EXPECT_EQ(thermo.Device->Channel1->DigitsLo, 4);
    EXPECT_EQ(thermo.Device->Channel2->DigitsLo, 5);
    EXPECT_FALSE(thermo.Device->Channel1->UseColdJunction);
    // The archive heard of the limits and range while polling ran.
    EXPECT_TRUE(hooks.archive.log.contains(QStringLiteral("channels 1235")));
    EXPECT_TRUE(journalLines().isEmpty()) << journalLines().join(QLatin1Char('\n')).toStdString();
}

TEST_F(ConfigOverTheModem, ARefusedItemIsJournalledAndNotCopied)
{
    TTableDevice& unified = row(1);
    // The device refuses the second item of the exchange (the alarm limits).
    ASSERT_TRUE(sim.Modem().SetFault(Unified, SimFault::ErrorItem(5, 1)));
    TChannelInputs in = UnchangedInputs(unified, 2);
    in.Enabled = false;
    in.AlertMax = QStringLiteral("7");
    const float before = unified.Device->Channel2->MaxAlert;
    EXPECT_EQ(writes(unified).WriteChannelParams(2, in), TWriteResult::Failed);
    ASSERT_TRUE(sim.Modem().SetFault(Unified, SimFault::None()));
    EXPECT_FALSE(unified.Device->Channel2->Enabled);
    EXPECT_EQ(unified.Device->Channel2->MaxAlert, before);
    EXPECT_EQ(journalLines().last(),
              QStringLiteral("Ошибка при установке пороговых значений измерительного "
                             "канала №2: передаваемые параметры имеют недопустимые значения"));

    // A value the device does not take (a power code it does not know is never
    // sent; an unknown sensor model is) comes back as a device error too.
    in = UnchangedInputs(unified, 1);
    in.SensorModel = 9;
    EXPECT_EQ(writes(unified).WriteChannelParams(1, in), TWriteResult::Failed);
    EXPECT_EQ(unified.Device->Channel1->SensorModel, 1);
}

TEST_F(ConfigOverTheModem, AnAnswerOfAnotherLengthIsNotCopied)
{
    TTableDevice& thermo = row(0);
    const QString comment = thermo.Device->Comment;
    // The device acknowledges the comment with one byte less than was written.
    ASSERT_TRUE(sim.Modem().SetFault(Thermo, SimFault::ShortItem(0)));
    EXPECT_EQ(writes(thermo).WriteComment(QStringLiteral("Насосная")), TWriteResult::Failed);
    TChannelInputs in = UnchangedInputs(thermo, 2);
    in.AlertMax = QStringLiteral("99");
    in.Enabled = false;
    EXPECT_EQ(writes(thermo).WriteChannelParams(2, in), TWriteResult::Failed);
    ASSERT_TRUE(sim.Modem().SetFault(Thermo, SimFault::None()));
    EXPECT_EQ(thermo.Device->Comment, comment);
    // Only the first item (the enable) was answered short.
    EXPECT_TRUE(thermo.Device->Channel2->Enabled);
    EXPECT_EQ(thermo.Device->Channel2->MaxAlert, 99.0f);
    // No journal line for a wrong length.
    EXPECT_TRUE(journalLines().isEmpty()) << journalLines().join(QLatin1Char('\n')).toStdString();
}

TEST_F(ConfigOverTheModem, ANewSerialIsFollowedByPollingTableAndArchive)
{
    TTableDevice& unified = row(1);
    prompts.YesAnswers = {true};
    const int reloads = hooks.reloads;
    EXPECT_EQ(writes(unified).WriteSerialAndHwVersion(1300, QStringLiteral("4")), TWriteResult::Done);
    EXPECT_EQ(unified.Device->SerialNum, 1300);
    EXPECT_EQ(unified.Device->HwVersion, 4);
    EXPECT_GT(hooks.reloads, reloads);
    EXPECT_EQ(unified.Device->Channel1->GraphLine->Title, ChannelLineTitle(1300, 1));
    EXPECT_TRUE(hooks.archive.log.contains(QStringLiteral("device 1300")));
    // The device answers under its new number only.
    EXPECT_FALSE(sim.Modem().WithDevice(Unified, [](SimDevice&) {}));
    EXPECT_EQ(registers(1300, 0x0004, 1), QByteArray(1, 0x04));

    // Polling goes on with the new number: fresh points and archive rows under it.
    hooks.archive.measurements.clear();
    const int points = unified.Device->Channel1->GraphLine->Series->Count();
    ASSERT_TRUE(RunEventsUntil(
        [&] { return unified.Device->Channel1->GraphLine->Series->Count() >= points + 2; }, 10000));
    EXPECT_NE(unified.Status, dsNoLink);
    ASSERT_FALSE(hooks.archive.measurements.empty());
    for (const auto& m : hooks.archive.measurements)
        EXPECT_TRUE(m.Serial == 1300 || m.Serial == Thermo) << m.Serial;
    EXPECT_TRUE(journalLines().isEmpty()) << journalLines().join(QLatin1Char('\n')).toStdString();
}

TEST_F(ConfigOverTheModem, ARestartedDeviceIsBackAfterAMoment)
{
    TTableDevice& thermo = row(0);
    EXPECT_EQ(writes(thermo).RestartDevice(), TWriteResult::Done);
    int restarts = 0;
    ASSERT_TRUE(sim.Modem().WithDevice(Thermo, [&](SimDevice& d) { restarts = d.Restarts(); }));
    EXPECT_EQ(restarts, 1);
    // Right after the restart it does not answer; a little later it does.
    QString crc;
    EXPECT_FALSE(writes(thermo).ReadFirmwareCrc(crc));
    EXPECT_EQ(thermo.Status, dsNoLink);
    ASSERT_TRUE(RunEventsUntil([&] { return thermo.Status != dsNoLink; }, 10000));
    EXPECT_TRUE(writes(thermo).ReadFirmwareCrc(crc));
    EXPECT_EQ(crc, QStringLiteral("CRC: 5A17"));
}
