#include "PollingFixture.h"
#include "core/RegisterMap.h"

using namespace DeviceReplies;

namespace {

class ConfigRead : public PollingTest
{
protected:
    bool read(TTableDevice& Row)
    {
        err.clear();
        return reader.ReadDeviceConfig(Row, err);
    }

    // The registers and lengths of the frames sent so far (one read item each, or
    // the four current-value items).
    std::vector<std::pair<quint16, int>> reads() const
    {
        std::vector<std::pair<quint16, int>> r;
        for (const auto& f : link.Sent)
            r.emplace_back(firstRegister(f), f[8]);
        return r;
    }

    QString err;
};

// The settings a device reports in its configuration block.
struct Settings
{
    TDevice D{1};
    Settings()
    {
        D.Channel1->Enabled = true;
        D.Channel1->SensorType = TSensorType::Thermocouple;
        D.Channel1->SensorModel = 7;
        D.Channel1->MinAlert = 50;
        D.Channel1->MaxAlert = 450;
        D.Channel1->DigitsHi = 4;
        D.Channel1->DigitsLo = 5;
        D.Channel1->UseColdJunction = true;
        D.Channel1->MinBound = -10;
        D.Channel1->MaxBound = 110;
        D.Channel2->Enabled = false;
        D.Channel2->SensorType = TSensorType::Voltage;
        D.Channel2->SensorModel = 2;
        D.Channel2->MinAlert = 1;
        D.Channel2->MaxAlert = 9;
        D.Channel2->DigitsHi = 3;
        D.Channel2->DigitsLo = 3;
    }
};

const std::pair<quint16, int> IdRead{0x0000, 40};
const std::pair<quint16, int> ValuesRead{0x0200, 5};

} // namespace

TEST_F(ConfigRead, TypeOneReadsIdentificationValuesAndConfiguration)
{
    TTableDevice& row = addRow(1234, dsNoLink);
    RFChannel = 18;
    const Settings s;
    link.Reply(IdentificationReply(
                   1234, Identification(1234, 1, QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"))))
        .Reply(CurrentReply(1234, 0, 1, 2))
        .Reply(MakeNetReply(1234, ReadItem(0x0100, EncodeConfigBlock(s.D, TDeviceType::ThermoInputs)), 0x44));
    EXPECT_TRUE(read(row)) << err.toStdString();

    const TDevice& d = *row.Device;
    EXPECT_EQ(reads(), (std::vector<std::pair<quint16, int>>{IdRead, ValuesRead, {0x0100, 25}}));
    EXPECT_EQ(d.DeviceType, TDeviceType::ThermoInputs);
    EXPECT_EQ(d.HwVersion, 3);
    EXPECT_EQ(d.SwVersion, 0x0102);
    EXPECT_EQ(d.RfPowerCode, 0x60);
    EXPECT_EQ(d.RfChannel, 18);
    EXPECT_EQ(d.Comment, QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345"));
    EXPECT_EQ(d.SignalAtPC, 0x44);
    EXPECT_TRUE(d.Channel1->Enabled);
    EXPECT_EQ(d.Channel1->SensorType, TSensorType::Thermocouple);
    EXPECT_EQ(d.Channel1->SensorModel, 7);
    EXPECT_FLOAT_EQ(d.Channel1->MinAlert, 50);
    EXPECT_FLOAT_EQ(d.Channel1->MaxAlert, 450);
    EXPECT_EQ(d.Channel1->DigitsHi, 4);
    EXPECT_EQ(d.Channel1->DigitsLo, 5);
    EXPECT_TRUE(d.Channel1->UseColdJunction);
    EXPECT_FALSE(d.Channel2->UseColdJunction);
    EXPECT_FALSE(d.Channel2->Enabled);
    EXPECT_FLOAT_EQ(d.Channel1->MaxBound, 0) << "type 1 has no ranges";
    EXPECT_EQ(d.Channel1->QuantityName, QStringLiteral("Температура"));
    EXPECT_EQ(d.Channel1->MeasUnitName, QStringLiteral("°C"));
    EXPECT_TRUE(d.Channel2->QuantityName.isEmpty());
    EXPECT_TRUE(journalLines().isEmpty());
}

TEST_F(ConfigRead, DigitsByteSplitsIntoItsNibbles)
{
    TTableDevice& row = addRow(1234, dsNoLink);
    TDevice s(1);
    auto block = EncodeConfigBlock(s, TDeviceType::ThermoInputs);
    block[0x16] = 0x45;
    block[0x17] = 0x93;
    link.Reply(IdentificationReply(1234, Identification(1234, 1)))
        .Reply(CurrentReply(1234, 0, 1, 2))
        .Reply(MakeNetReply(1234, ReadItem(0x0100, block)));
    ASSERT_TRUE(read(row));
    EXPECT_EQ(row.Device->Channel1->DigitsHi, 4);
    EXPECT_EQ(row.Device->Channel1->DigitsLo, 5);
    EXPECT_EQ(row.Device->Channel2->DigitsHi, 9);
    EXPECT_EQ(row.Device->Channel2->DigitsLo, 3);
}

TEST_F(ConfigRead, CommentEndsAtItsFirstZeroByteAndKeepsBlanks)
{
    TTableDevice& row = addRow(1234, dsNoLink);
    row.Device->Comment = QStringLiteral("старый");
    auto id = EncodeIdentification(Identification(1234, 0, QStringLiteral(" A b ")));
    link.Reply(MakeNetReply(1234, ReadItem(0x0000, id)));
    EXPECT_FALSE(read(row)) << "type 0 ends the read";
    EXPECT_EQ(row.Device->Comment, QStringLiteral(" A b ") + QString(27, QLatin1Char(' ')));

    id[8] = 0;
    link.Reply(MakeNetReply(1234, ReadItem(0x0000, id)));
    EXPECT_FALSE(read(row));
    EXPECT_TRUE(row.Device->Comment.isEmpty());
    EXPECT_EQ(link.Sent.size(), 2u) << "nothing read after an unknown type";
}

TEST_F(ConfigRead, AnotherSerialNumberFailsButSetsTheDeviceType)
{
    TTableDevice& row = addRow(1234, dsNoLink);
    row.Device->Comment = QStringLiteral("прежний");
    link.Reply(IdentificationReply(1234, Identification(1235, 2, QStringLiteral("чужой"))));
    EXPECT_FALSE(read(row));
    EXPECT_EQ(err, QStringLiteral("Неверный серийный номер 01235 для устройства с серийным номером 01234"));
    EXPECT_EQ(row.Device->DeviceType, TDeviceType::UnifiedInputs);
    EXPECT_EQ(row.Device->Comment, QStringLiteral("прежний"));
    EXPECT_EQ(row.Status, dsNoLink);
    EXPECT_EQ(link.Sent.size(), 1u);
}

TEST_F(ConfigRead, TypeTwoCompletesWithTheSecondNamesAfterTheFirstFailed)
{
    TTableDevice& row = addRow(1234, dsNoLink);
    row.Device->Channel1->QuantityName = QStringLiteral("Старое");
    row.Device->Channel1->MeasUnitName = QStringLiteral("ед");
    // Read by an earlier read.
    row.Device->DeviceType = TDeviceType::UnifiedInputs;
    row.Device->Channel1->NamesRead = true;
    Settings s;
    link.Reply(IdentificationReply(1234, Identification(1234, 2)))
        .Reply(CurrentReply(1234, 0, 1, 2))
        .Reply(ConfigReply(1234, s.D, TDeviceType::UnifiedInputs))
        .Reply(ErrorReply(1234, 2))
        .Reply(MakeNetReply(1234, ReadItem(0x0150, EncodeQuantityNames(QStringLiteral("  Уровень\t"),
                                                                       QStringLiteral("м ")))));
    EXPECT_TRUE(read(row)) << err.toStdString();
    EXPECT_EQ(reads(), (std::vector<std::pair<quint16, int>>{
                           IdRead, ValuesRead, {0x0100, 40}, {0x0128, 40}, {0x0150, 40}}));
    const TDevice& d = *row.Device;
    EXPECT_EQ(d.Channel1->QuantityName, QStringLiteral("Старое"));
    EXPECT_EQ(d.Channel1->MeasUnitName, QStringLiteral("ед"));
    EXPECT_EQ(d.Channel2->QuantityName, QStringLiteral("Уровень"));
    EXPECT_EQ(d.Channel2->MeasUnitName, QStringLiteral("м"));
    EXPECT_FLOAT_EQ(d.Channel1->MaxBound, 110);
    EXPECT_FLOAT_EQ(d.Channel1->MinBound, -10);
    EXPECT_EQ(journalLines(),
              QStringList{QStringLiteral("регистр по запрашиваемому адресу отсутствует при чтении "
                                         "конфигурации устройства сер.№ 01234")});

    // The second names failing ends the read as incomplete.
    link.Reply(IdentificationReply(1234, Identification(1234, 2)))
        .Reply(CurrentReply(1234, 0, 1, 2))
        .Reply(ConfigReply(1234, s.D, TDeviceType::UnifiedInputs))
        .Reply(NamesReply(1234, 1, QStringLiteral("Давление"), QStringLiteral("кПа")))
        .Reply(ErrorReply(1234, 3));
    EXPECT_FALSE(read(row));
    EXPECT_EQ(d.Channel1->QuantityName, QStringLiteral("Давление"));
    EXPECT_EQ(err, QStringLiteral("недопустимая длина операции записи/чтения"));
}

TEST_F(ConfigRead, TypeTwoWhoseBlockWasNeverReadIsNotConfigured)
{
    // Type 2 now, its block refused, its names read fine.
    const auto script = [this](quint16 Serial) {
        link.Reply(IdentificationReply(Serial, Identification(Serial, 2)))
            .Reply(CurrentReply(Serial, 0, 1, 2))
            .Reply(ErrorReply(Serial, 5))
            .Reply(NamesReply(Serial, 1, QStringLiteral("Давление"), QStringLiteral("кПа")))
            .Reply(NamesReply(Serial, 2, QStringLiteral("Уровень"), QStringLiteral("м")));
    };
    TTableDevice& row = addRow(1234, dsNoLink);
    script(1234);
    EXPECT_FALSE(read(row));
    EXPECT_EQ(err, QStringLiteral("передаваемые параметры имеют недопустимые значения")) << "journalled once";

    // A configured device now of another type: what was read of the old type no longer stands.
    TTableDevice& changed = addRow(1235, dsOk);
    changed.Device->DeviceType = TDeviceType::ThermoInputs;
    changed.Device->ConfigRead = changed.Device->Channel1->NamesRead = changed.Device->Channel2->NamesRead =
        true;
    script(1235);
    EXPECT_FALSE(read(changed));
    EXPECT_EQ(changed.Status, dsNoLink);
}

TEST_F(ConfigRead, TypeOneWithAFailedConfigurationItemStillSetsTheNames)
{
    TTableDevice& row = addRow(1234, dsNoLink);
    row.Device->DeviceType = TDeviceType::ThermoInputs;
    row.Device->Channel1->SensorType = TSensorType::ResistanceThermometer;
    row.Device->Channel2->SensorType = TSensorType::Current;
    row.Device->Channel2->QuantityName = QStringLiteral("Ток");
    link.Reply(IdentificationReply(1234, Identification(1234, 1)))
        .Reply(CurrentReply(1234, 0, 1, 2))
        .Reply(ErrorReply(1234, 1));
    EXPECT_FALSE(read(row));
    EXPECT_EQ(row.Device->Channel1->QuantityName, QStringLiteral("Температура"));
    EXPECT_EQ(row.Device->Channel1->MeasUnitName, QStringLiteral("°C"));
    EXPECT_TRUE(row.Device->Channel2->QuantityName.isEmpty());
    EXPECT_EQ(journalLines(),
              QStringList{QStringLiteral("устройство занято, необходимо повторить команду позже при "
                                         "чтении конфигурации устройства сер.№ 01234")});
}

TEST_F(ConfigRead, ExtraRecordsFollowGoodAndShortItemsButNotFailedOnes)
{
    TTableDevice& row = addRow(1234, dsNoLink);
    const std::array<quint8, 4> fault{0, 0, 0, 1};
    const std::vector<quint8> shortId(39, 0);
    link.Reply(MakeNetReply(1234, Join({ReadItem(0x0000, shortId), ExtraItem(0x0200, fault)})));
    EXPECT_FALSE(read(row)) << "a short identification leaves the type unknown";
    EXPECT_EQ(row.Device->FaultRegister, 1u);

    row.Device->FaultRegister = 0;
    link.Reply(MakeNetReply(1234, Join({ErrorItem(2), ExtraItem(0x0200, fault)})));
    EXPECT_FALSE(read(row));
    EXPECT_EQ(row.Device->FaultRegister, 0u);
}

TEST_F(ConfigRead, NoReplyDropsTheLinkAndEndsTheRead)
{
    TTableDevice& row = addRow(1234, dsOk);
    hooks.configDevice = row.Device.get();
    PollingActive = true;
    link.Silence().Silence().Silence();
    EXPECT_FALSE(read(row));
    EXPECT_EQ(row.Status, dsNoLink);
    EXPECT_EQ(link.Sent.size(), 3u);
    EXPECT_TRUE(PollingActive) << "the port is still open";
    EXPECT_EQ(journalLines(), QStringList{QStringLiteral(
                                  "Превышен таймаут ожидания ответа при обмене с устройством сер.№ 01234")});

    // At the configuration step the open configuration window is refreshed too.
    link.Reply(IdentificationReply(1234, Identification(1234, 1)))
        .Reply(CurrentReply(1234, 0, 1, 2))
        .Silence()
        .Silence()
        .Silence();
    row.Status = dsOk;
    hooks.configCalls.clear();
    EXPECT_FALSE(read(row));
    EXPECT_EQ(row.Status, dsNoLink);
    EXPECT_EQ(hooks.configCalls, (QStringList{QStringLiteral("current"), QStringLiteral("all")}));
}

TEST_F(ConfigRead, FailedValuesWithPendingMemoryFaultWarnAndGoOn)
{
    TTableDevice& row = addRow(1234, dsNoLink);
    EepromFaultPending = true;
    auto bad = CurrentReply(1234, 0, 1, 2);
    bad[5] ^= 1; // length byte
    link.Reply(IdentificationReply(1234, Identification(1234, 1)))
        .Reply(bad)
        .Reply(ConfigReply(1234, TDevice(1), TDeviceType::ThermoInputs));
    EXPECT_TRUE(read(row));
    EXPECT_EQ(hooks.warnings, QStringList{QStringLiteral("Устройство серийный № 01234: ") + FaultNames[3]});
}

TEST_F(ConfigRead, ChannelThatDoesNotFitTheRecordLeavesItsChannel)
{
    TTableDevice& row = addRow(1234, dsNoLink);
    row.Device->RfChannel = 17;
    RFChannel = 300;
    link.Reply(IdentificationReply(1234, Identification(1234, 1)))
        .Reply(CurrentReply(1234, 0, 1, 2))
        .Reply(ConfigReply(1234, TDevice(1), TDeviceType::ThermoInputs));
    EXPECT_TRUE(read(row));
    EXPECT_EQ(row.Device->RfChannel, 17) << "300 would have become 44";
    EXPECT_EQ(row.Device->HwVersion, 3);
}
