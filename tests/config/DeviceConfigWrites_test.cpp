#include "charts/Graphic.h"
#include "charts/GraphicForms.h"
#include "core/RegisterMap.h"
#include "dispatcher/DeviceTableModel.h"
#include "dispatcher/SettingsFile.h"
#include "platform/CodePage.h"
#include "platform/IniFile.h"
#include "tests/config/ConfigFixture.h"

#include <QTemporaryDir>
#include <QWidget>
#include <cmath>
#include <limits>

using namespace DeviceReplies;

namespace {

const QString Attention = QStringLiteral("Внимание|");

} // namespace

TEST_F(ConfigWritesTest, ChannelSettingsSendOnlyTheChangedRegistersInOrder)
{
    TTableDevice& row = addRow(1234, TDeviceType::UnifiedInputs);
    TDevice& d = *row.Device;

    // Only the alarm limits of channel 2: one item, low limit first.
    TChannelInputs in = UnchangedInputs(row, 2);
    in.AlertMin = QStringLiteral(" -1,5 ");
    in.AlertMax = QStringLiteral("250");
    link.Reply(MakeNetReply(1234, WriteAck(0x0108, 8)));
    EXPECT_EQ(writes(row).WriteChannelParams(2, in), TWriteResult::Done);
    ASSERT_EQ(link.Sent.size(), 1u);
    EXPECT_EQ(SentItems(link.Sent[0]), (std::vector<SentItem>{W(0x0108, Pair(-1.5f, 250))}));
    EXPECT_EQ(d.Channel2->MinAlert, -1.5f);
    EXPECT_EQ(d.Channel2->MaxAlert, 250.0f);

    // Everything of channel 1 at once: enable, digits, sensor, limits, range (high first).
    in = UnchangedInputs(row, 1);
    in.Enabled = false;
    in.Digits = 5;
    in.SensorType = SensorTypeToByte(TSensorType::Voltage);
    in.SensorModel = 2;
    in.AlertMax = QStringLiteral("80");
    in.RangeMin = QStringLiteral("4");
    link.Sent.clear();
    link.Reply(MakeNetReply(1234, Join({WriteAck(0x0110, 1), WriteAck(0x0116, 1), WriteAck(0x0112, 2),
                                        WriteAck(0x0100, 8), WriteAck(0x0118, 8)})));
    EXPECT_EQ(writes(row).WriteChannelParams(1, in), TWriteResult::Done);
    ASSERT_EQ(link.Sent.size(), 1u);
    EXPECT_EQ(SentItems(link.Sent[0]),
              (std::vector<SentItem>{W(0x0110, {0}), W(0x0116, {5}), W(0x0112, {3, 2}),
                                     W(0x0100, Pair(0, 80)), W(0x0118, Pair(20, 4))}));
    EXPECT_FALSE(d.Channel1->Enabled);
    EXPECT_EQ(d.Channel1->DigitsLo, 5);
    EXPECT_EQ(d.Channel1->SensorType, TSensorType::Voltage);
    EXPECT_EQ(d.Channel1->SensorModel, 2);
    EXPECT_EQ(d.Channel1->MaxAlert, 80.0f);
    EXPECT_EQ(d.Channel1->MinBound, 4.0f);
    EXPECT_EQ(d.Channel1->MaxBound, 20.0f);

    // Nothing changed: nothing sent, and that counts as done.
    link.Sent.clear();
    EXPECT_EQ(writes(row).WriteChannelParams(1, UnchangedInputs(row, 1)), TWriteResult::Done);
    EXPECT_TRUE(link.Sent.empty());
    EXPECT_TRUE(journalLines().isEmpty());
}

TEST_F(ConfigWritesTest, DigitsByteKeepsTheOtherNibbleOnTypeOneOnly)
{
    TTableDevice& t1 = addRow(1, TDeviceType::ThermoInputs);
    TTableDevice& t2 = addRow(2, TDeviceType::UnifiedInputs);

    // Thermocouple: the new count goes high, the stored low nibble stays.
    t1.Device->Channel1->DigitsLo = 4;
    TChannelInputs in = UnchangedInputs(t1, 1);
    in.Digits = 5;
    link.Reply(MakeNetReply(1, WriteAck(0x0116, 1)));
    EXPECT_EQ(writes(t1).WriteChannelParams(1, in), TWriteResult::Done);
    EXPECT_EQ(SentItems(link.Sent.back()), (std::vector<SentItem>{W(0x0116, {0x54})}));
    EXPECT_EQ(t1.Device->Channel1->DigitsHi, 5);
    EXPECT_EQ(t1.Device->Channel1->DigitsLo, 4);

    // Resistance thermometer with DigitsHi 5: the new count goes low.
    TMeasureChannel& ch2 = *t1.Device->Channel2;
    ch2.SensorType = TSensorType::ResistanceThermometer;
    ch2.SensorModel = 7;
    ch2.DigitsHi = 5;
    ch2.DigitsLo = 5;
    in = UnchangedInputs(t1, 2);
    in.Digits = 4;
    link.Reply(MakeNetReply(1, WriteAck(0x0117, 1)));
    EXPECT_EQ(writes(t1).WriteChannelParams(2, in), TWriteResult::Done);
    EXPECT_EQ(SentItems(link.Sent.back()), (std::vector<SentItem>{W(0x0117, {0x54})}));
    EXPECT_EQ(ch2.DigitsLo, 4);
    EXPECT_EQ(ch2.DigitsHi, 5);

    // Type 2: the count alone.
    t2.Device->Channel1->DigitsHi = 5;
    in = UnchangedInputs(t2, 1);
    in.Digits = 5;
    link.Reply(MakeNetReply(2, WriteAck(0x0116, 1)));
    EXPECT_EQ(writes(t2).WriteChannelParams(1, in), TWriteResult::Done);
    EXPECT_EQ(SentItems(link.Sent.back()), (std::vector<SentItem>{W(0x0116, {0x05})}));

    // Cold-junction byte: this channel's bit from the box, the other's from the record.
    t1.Device->Channel2->UseColdJunction = true;
    in = UnchangedInputs(t1, 1);
    in.ColdJunction = true;
    link.Reply(MakeNetReply(1, WriteAck(0x0118, 1)));
    EXPECT_EQ(writes(t1).WriteChannelParams(1, in), TWriteResult::Done);
    EXPECT_EQ(SentItems(link.Sent.back()), (std::vector<SentItem>{W(0x0118, {0x03})}));
    EXPECT_TRUE(t1.Device->Channel1->UseColdJunction);
}

TEST_F(ConfigWritesTest, InputsAreCheckedWithTheCommaRuleBeforeAnythingIsSent)
{
    TTableDevice& row = addRow(7, TDeviceType::UnifiedInputs);
    struct Case
    {
        std::function<void(TChannelInputs&)> Edit;
        QString Message;
    };
    const std::vector<Case> cases = {
        {[](TChannelInputs& i) { i.SensorType.reset(); },
         QStringLiteral("Не указан вид датчика второго канала!")},
        {[](TChannelInputs& i) { i.SensorModel.reset(); },
         QStringLiteral("Не указан тип датчика второго канала!")},
        {[](TChannelInputs& i) { i.AlertMin = QStringLiteral("1.5"); },
         QStringLiteral("Недопустимое минимальное предельное значение для сигнализации второго канала!")},
        {[](TChannelInputs& i) { i.AlertMax = QStringLiteral("abc"); },
         QStringLiteral("Недопустимое максимальное предельное значение для сигнализации второго канала!")},
        // Fits a double but not a single.
        {[](TChannelInputs& i) { i.AlertMax = QStringLiteral("1E39"); },
         QStringLiteral("Недопустимое максимальное предельное значение для сигнализации второго канала!")},
        // Not zero, but a single holds it only as zero or as a denormal.
        {[](TChannelInputs& i) { i.AlertMin = QStringLiteral("1e-50"); },
         QStringLiteral("Недопустимое минимальное предельное значение для сигнализации второго канала!")},
        // Too small even for a double, which reads it as 0.
        {[](TChannelInputs& i) { i.AlertMax = QStringLiteral("1e-400"); },
         QStringLiteral("Недопустимое максимальное предельное значение для сигнализации второго канала!")},
        {[](TChannelInputs& i) { i.RangeMin = QString(); },
         QStringLiteral("Недопустимое минимальная граница диапазона второго канала!")},
        {[](TChannelInputs& i) { i.RangeMax = QStringLiteral("2,,0"); },
         QStringLiteral("Недопустимое максимальная граница диапазона второго канала!")},
        {[](TChannelInputs& i) { i.Digits = 6; },
         QStringLiteral("Недопустимое количество значащих разрядов для второго канала!")},
    };
    for (const Case& c : cases) {
        TChannelInputs in = UnchangedInputs(row, 2);
        in.AlertMin = QStringLiteral("-3");
        c.Edit(in);
        prompts.Messages.clear();
        EXPECT_EQ(writes(row).WriteChannelParams(2, in), TWriteResult::Refused) << c.Message.toStdString();
        EXPECT_EQ(prompts.Messages, QStringList{Attention + c.Message});
    }
    EXPECT_TRUE(link.Sent.empty());
    EXPECT_EQ(row.Device->Channel2->MinAlert, 0.0f);

    // The comma with blanks around the number is accepted; a low limit above the
    // high one is not questioned.
    TChannelInputs in = UnchangedInputs(row, 2);
    in.AlertMin = QStringLiteral("  150,25 ");
    link.Reply(MakeNetReply(7, WriteAck(0x0108, 8)));
    EXPECT_EQ(writes(row).WriteChannelParams(2, in), TWriteResult::Done);
    EXPECT_EQ(SentItems(link.Sent.back()), (std::vector<SentItem>{W(0x0108, Pair(150.25f, 100))}));
}

TEST(ConfigWritesParse, ZeroInAnyWritingIsAcceptedAndTheSmallestNormalSingleToo)
{
    for (const char* text : {"0", "-0", "0,0", " 0,000 ", "0e-400", "-0,0E+50"}) {
        const std::optional<float> v = TDeviceConfigWrites::ParseSingle(QString::fromLatin1(text));
        ASSERT_TRUE(v.has_value()) << text;
        EXPECT_EQ(*v, 0.0f) << text;
    }
    // Rounds to the smallest normal single; just below it a denormal is left.
    EXPECT_EQ(TDeviceConfigWrites::ParseSingle(QStringLiteral("1,1754943E-38")),
              std::numeric_limits<float>::min());
    EXPECT_FALSE(TDeviceConfigWrites::ParseSingle(QStringLiteral("1,1754942E-38")).has_value());
}

TEST_F(ConfigWritesTest, AStoredNanLimitIsRewrittenWhenTyped)
{
    TTableDevice& row = addRow(7, TDeviceType::ThermoInputs);
    row.Device->Channel1->MinAlert = std::numeric_limits<float>::quiet_NaN();
    row.Device->Channel1->MinBound = std::numeric_limits<float>::quiet_NaN();
    // Left as shown, it is not touched.
    TChannelInputs in = UnchangedInputs(row, 1);
    in.Digits = 5;
    link.Reply(MakeNetReply(7, WriteAck(0x0116, 1)));
    EXPECT_EQ(writes(row).WriteChannelParams(1, in), TWriteResult::Done);
    ASSERT_EQ(link.Sent.size(), 1u);
    EXPECT_EQ(SentItems(link.Sent[0]), (std::vector<SentItem>{W(0x0116, {0x54})}));

    in = UnchangedInputs(row, 1);
    in.AlertMin = QStringLiteral("0");
    link.Reply(MakeNetReply(7, WriteAck(0x0100, 8)));
    EXPECT_EQ(writes(row).WriteChannelParams(1, in), TWriteResult::Done);
    ASSERT_EQ(link.Sent.size(), 2u);
    EXPECT_EQ(SentItems(link.Sent[1]), (std::vector<SentItem>{W(0x0100, Pair(0, 100))}));
    EXPECT_EQ(row.Device->Channel1->MinAlert, 0.0f);
}

TEST_F(ConfigWritesTest, OnlyAcknowledgedItemsReachTheRecord)
{
    TTableDevice& row = addRow(55, TDeviceType::UnifiedInputs);
    TDevice& d = *row.Device;
    TChannelInputs in = UnchangedInputs(row, 1);
    in.Enabled = false;
    in.SensorType = SensorTypeToByte(TSensorType::Voltage);
    in.SensorModel = 1;
    in.AlertMax = QStringLiteral("90");
    in.RangeMax = QStringLiteral("10");
    // Enable acknowledged, sensor refused, limits answered short, range acknowledged;
    // the reply also carries a fault register of its own.
    const auto fault = std::vector<quint8>{0, 0, 0, 0x21};
    link.Reply(MakeNetReply(55, Join({WriteAck(0x0110, 1), ErrorItem(5), WriteAck(0x0100, 4),
                                      WriteAck(0x0118, 8), ExtraItem(0x0200, fault)})));
    PollingActive = true;
    EXPECT_EQ(writes(row).WriteChannelParams(1, in), TWriteResult::Failed);
    EXPECT_FALSE(d.Channel1->Enabled);
    EXPECT_EQ(d.Channel1->SensorType, TSensorType::Current);
    EXPECT_EQ(d.Channel1->MaxAlert, 100.0f);
    EXPECT_EQ(d.Channel1->MaxBound, 10.0f);
    EXPECT_EQ(d.FaultRegister, 0x21u);
    // The item's error first, then the fault bits the extra record raised.
    const QStringList lines = journalLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("Ошибка при установке типа датчика измерительного канала №1: "
                                       "передаваемые параметры имеют недопустимые значения"));
    EXPECT_EQ(lines[1], FaultRaised(QStringLiteral("00055"), 0));
    // The range was the one archive-relevant record acknowledged.
    EXPECT_EQ(archive.log, QStringList{QStringLiteral("channels 55")});

    // Not polling: the archive hears nothing.
    archive.log.clear();
    PollingActive = false;
    in = UnchangedInputs(row, 1);
    in.AlertMax = QStringLiteral("90");
    link.Reply(MakeNetReply(55, WriteAck(0x0100, 8)));
    EXPECT_EQ(writes(row).WriteChannelParams(1, in), TWriteResult::Done);
    EXPECT_EQ(d.Channel1->MaxAlert, 90.0f);
    EXPECT_TRUE(archive.log.isEmpty());
}

TEST_F(ConfigWritesTest, ASilentDeviceLosesItsLinkAndTheWindowIsRefilled)
{
    TTableDevice& row = addRow(9, TDeviceType::UnifiedInputs);
    TChannelInputs in = UnchangedInputs(row, 1);
    in.AlertMax = QStringLiteral("1");
    const float before = row.Device->Channel1->MaxAlert;
    EXPECT_EQ(writes(row).WriteChannelParams(1, in), TWriteResult::LinkLost);
    EXPECT_EQ(link.Sent.size(), 3u); // three attempts
    EXPECT_EQ(row.Status, dsNoLink);
    EXPECT_EQ(refills, 1);
    EXPECT_EQ(row.Device->Channel1->MaxAlert, before);
    ASSERT_EQ(journalLines().size(), 1);
    EXPECT_TRUE(journalLines()[0].endsWith(QStringLiteral(" при обмене с устройством сер.№ 00009")));
}

TEST_F(ConfigWritesTest, EachExchangeBuildsItsOwnRequestList)
{
    TTableDevice& row = addRow(9, TDeviceType::ThermoInputs);
    // What a polling step left in the shared buffer is neither sent nor touched.
    RequestArray.assign(2, TNetRequest{});
    RequestArray[0].NetFunc = NetFunction::Read;
    RequestArray[0].RegAddr = 0x0200;
    RequestArray[0].DataLen = 5;
    const std::vector<TNetRequest> before = RequestArray;
    link.Reply(MakeNetReply(9, WriteAck(0x0300, 1)));
    EXPECT_EQ(writes(row).RestartDevice(), TWriteResult::Done);
    EXPECT_EQ(SentItems(link.Sent.back()), (std::vector<SentItem>{W(0x0300, {2})}));
    ASSERT_EQ(RequestArray.size(), before.size());
    EXPECT_EQ(RequestArray[0].RegAddr, 0x0200);
    EXPECT_EQ(RequestArray[0].ReplyLen, 0);

    // The radio channel question runs a dialog between the two exchanges; whatever
    // the polling does meanwhile, the second exchange sends its own item.
    link.Sent.clear();
    row.Device->RfPowerCode = TxPowerCodeLow;
    link.Reply(MakeNetReply(9, WriteAck(0x0007, 1)));
    link.Reply(MakeNetReply(9, WriteAck(0x0301, 1)));
    prompts.YesAnswers = {true};
    EXPECT_EQ(writes(row).WriteRfParams(2, 20), TWriteResult::Done);
    ASSERT_EQ(link.Sent.size(), 2u);
    EXPECT_EQ(SentItems(link.Sent[0]), (std::vector<SentItem>{W(0x0007, {0xC0})}));
    EXPECT_EQ(SentItems(link.Sent[1]), (std::vector<SentItem>{W(0x0301, {20})}));
    EXPECT_EQ(row.Device->RfPowerCode, TxPowerCodeHigh);
    EXPECT_EQ(row.Device->RfChannel, 20);
}

TEST_F(ConfigWritesTest, RadioSettingsAskBeforeTheChannelAndNeedAPowerLevel)
{
    TTableDevice& row = addRow(9, TDeviceType::ThermoInputs);
    // No level and no new channel: nothing to apply.
    EXPECT_EQ(writes(row).WriteRfParams(-1, 18), TWriteResult::Refused);
    EXPECT_EQ(prompts.Messages,
              QStringList{Attention + QStringLiteral("Не выбран уровень мощности радио передатчика!")});

    // No to the channel question with the power unchanged: nothing sent, done.
    prompts.YesAnswers = {false};
    EXPECT_EQ(writes(row).WriteRfParams(1, 20), TWriteResult::Done);
    EXPECT_EQ(prompts.Questions.size(), 1);
    EXPECT_TRUE(link.Sent.empty());
    EXPECT_EQ(row.Device->RfChannel, 18);

    // A refused power level is journalled and keeps the record.
    link.Reply(MakeNetReply(9, ErrorItem(5)));
    EXPECT_EQ(writes(row).WriteRfParams(0, 18), TWriteResult::Failed);
    EXPECT_EQ(row.Device->RfPowerCode, TxPowerCodeMedium);
    EXPECT_EQ(journalLines(),
              QStringList{QStringLiteral("Ошибка при установке уровня мощности радио передатчика: "
                                         "передаваемые параметры имеют недопустимые значения")});
}

TEST_F(ConfigWritesTest, SerialChangeGoesToTheOldAddressAndTheRowFollows)
{
    TTableDevice& row = addRow(1234, TDeviceType::ThermoInputs);
    addRow(2000, TDeviceType::ThermoInputs);
    TDevice& d = *row.Device;
    PollingActive = true;
    QTemporaryDir dir;
    IniFileName = dir.filePath(QStringLiteral("klov.ini"));
    QString err;
    ASSERT_TRUE(WriteDevicesList(IniFileName, err)) << err.toStdString();

    // Hardware version checks come first; nothing is sent.
    for (const QString& bad :
         {QStringLiteral("256"), QStringLiteral("-1"), QStringLiteral("3,5"), QString()}) {
        prompts.Messages.clear();
        EXPECT_EQ(writes(row).WriteSerialAndHwVersion(4321, bad), TWriteResult::Refused);
        EXPECT_EQ(prompts.Messages,
                  QStringList{Attention + QStringLiteral("Недопустимая аппаратная версия устройства!")});
    }
    // A number another row holds would give two rows one address.
    prompts.Messages.clear();
    EXPECT_EQ(writes(row).WriteSerialAndHwVersion(2000, QStringLiteral("3")), TWriteResult::Refused);
    EXPECT_EQ(prompts.Messages.size(), 1);
    EXPECT_TRUE(link.Sent.empty());

    prompts.YesAnswers = {true};
    link.Reply(MakeNetReply(1234, WriteAck(0x0002, 2)));
    link.Reply(MakeNetReply(4321, WriteAck(0x0004, 1)));
    const int reloads = hooks.reloads;
    EXPECT_EQ(writes(row).WriteSerialAndHwVersion(4321, QStringLiteral(" 7")), TWriteResult::Done);
    ASSERT_EQ(link.Sent.size(), 2u);
    EXPECT_EQ(Destination(link.Sent[0]), 1234);
    EXPECT_EQ(SentItems(link.Sent[0]), (std::vector<SentItem>{W(0x0002, {0x10, 0xE1})}));
    EXPECT_EQ(Destination(link.Sent[1]), 4321);
    EXPECT_EQ(SentItems(link.Sent[1]), (std::vector<SentItem>{W(0x0004, {7})}));
    EXPECT_EQ(d.SerialNum, 4321);
    EXPECT_EQ(d.HwVersion, 7);
    EXPECT_GT(hooks.reloads, reloads);
    EXPECT_EQ(d.Channel1->GraphLine->Title, ChannelLineTitle(4321, 1));
    EXPECT_EQ(d.Channel2->GraphLine->Series->Title(), ChannelLineTitle(4321, 2));
    EXPECT_EQ(archive.log, (QStringList{QStringLiteral("device 4321"), QStringLiteral("channels 4321")}));
    // The next start loads the device under its new number.
    EXPECT_EQ(
        IniFile(IniFileName).ReadString(QStringLiteral("Devices"), QStringLiteral("DevicesList"), QString()),
        QStringLiteral("4321,2000"));

    // A refused serial keeps the old one and sends the hardware version there.
    link.Sent.clear();
    prompts.YesAnswers = {true};
    link.Reply(MakeNetReply(4321, ErrorItem(5)));
    link.Reply(MakeNetReply(4321, WriteAck(0x0004, 1)));
    EXPECT_EQ(writes(row).WriteSerialAndHwVersion(0, QStringLiteral("8")), TWriteResult::Failed);
    EXPECT_EQ(d.SerialNum, 4321);
    EXPECT_EQ(d.HwVersion, 8);
    ASSERT_EQ(link.Sent.size(), 2u);
    EXPECT_EQ(Destination(link.Sent[1]), 4321);
    EXPECT_EQ(journalLines().last(), QStringLiteral("Ошибка при изменении серийного номера устройства: "
                                                    "передаваемые параметры имеют недопустимые значения"));
}

TEST_F(ConfigWritesTest, CommentNamesAndChecksum)
{
    TTableDevice& row = addRow(31, TDeviceType::UnifiedInputs);
    TDevice& d = *row.Device;
    PollingActive = true;
    TDeviceTableModel table;
    table.ReloadStringgrid();
    hooks.onReload = [&table] { table.ReloadStringgrid(); };

    // An unchanged comment sends nothing.
    EXPECT_EQ(writes(row).WriteComment(QStringLiteral("Котельная")), TWriteResult::Done);
    EXPECT_TRUE(link.Sent.empty());
    link.Reply(MakeNetReply(31, WriteAck(0x0008, 32)));
    EXPECT_EQ(writes(row).WriteComment(QStringLiteral("Цех 3")), TWriteResult::Done);
    const auto comment = EncodeComment(QStringLiteral("Цех 3"));
    EXPECT_EQ(SentItems(link.Sent.back()),
              (std::vector<SentItem>{W(0x0008, std::vector<quint8>(comment.begin(), comment.end()))}));
    EXPECT_EQ(d.Comment, PadComment(QStringLiteral("Цех 3")));
    EXPECT_EQ(table.index(0, 7).data().toString(), d.Comment) << "shown without waiting for a poll";
    EXPECT_EQ(archive.log, QStringList{QStringLiteral("device 31")});

    // A reply of the wrong length keeps the record and journals nothing.
    link.Reply(MakeNetReply(31, WriteAck(0x0008, 31)));
    EXPECT_EQ(writes(row).WriteComment(QStringLiteral("Цех 4")), TWriteResult::Failed);
    EXPECT_EQ(d.Comment, PadComment(QStringLiteral("Цех 3")));
    EXPECT_TRUE(journalLines().isEmpty());

    // Names: trimmed, cut and compared before sending.
    link.Sent.clear();
    EXPECT_EQ(writes(row).WriteQuantityName(2, QStringLiteral(" Давление "), QStringLiteral("МПа ")),
              TWriteResult::Done);
    EXPECT_TRUE(link.Sent.empty());
    link.Reply(MakeNetReply(31, WriteAck(0x0150, 40)));
    EXPECT_EQ(writes(row).WriteQuantityName(2, QStringLiteral("Расход"), QStringLiteral("м3/ч")),
              TWriteResult::Done);
    const auto names = EncodeQuantityNames(QStringLiteral("Расход"), QStringLiteral("м3/ч"));
    EXPECT_EQ(SentItems(link.Sent.back()),
              (std::vector<SentItem>{W(0x0150, std::vector<quint8>(names.begin(), names.end()))}));
    EXPECT_EQ(d.Channel2->QuantityName, QStringLiteral("Расход"));
    EXPECT_EQ(d.Channel2->MeasUnitName, QStringLiteral("м3/ч"));

    // Checksum: bytes 4..5 of the firmware info.
    QString crc;
    link.Reply(MakeNetReply(31, ReadItem(0xFFF5, std::vector<quint8>{0, 3, 0, 2, 0xAB, 0x0C, 0, 0, 1, 0})));
    EXPECT_TRUE(writes(row).ReadFirmwareCrc(crc));
    EXPECT_EQ(crc, QStringLiteral("CRC: AB0C"));
    EXPECT_EQ(SentItems(link.Sent.back()), (std::vector<SentItem>{{NetFunction::Read, 0xFFF5, {}}}));

    // A device error on the read is journalled once in a row.
    link.Reply(MakeNetReply(31, ErrorItem(2)));
    link.Reply(MakeNetReply(31, ErrorItem(2)));
    EXPECT_FALSE(writes(row).ReadFirmwareCrc(crc));
    EXPECT_FALSE(writes(row).ReadFirmwareCrc(crc));
    EXPECT_EQ(journalLines(),
              QStringList{QStringLiteral("регистр по запрашиваемому адресу отсутствует при чтении "
                                         "параметров прошивки устройства сер.№ 00031")});

    // No reply: the row loses its link and the polling is told; the window is not refilled.
    EXPECT_FALSE(writes(row).ReadFirmwareCrc(crc));
    EXPECT_EQ(row.Status, dsNoLink);
    EXPECT_EQ(stopChecks, 1);
    EXPECT_EQ(refills, 0);
}

TEST_F(ConfigWritesTest, TheNamePartLeftAloneGoesOutAsTheDeviceHoldsIt)
{
    TTableDevice& row = addRow(32, TDeviceType::UnifiedInputs);
    const TMeasureChannel& ch = *row.Device->Channel1;
    // The device holds " Давление" and "МПа", padded with zero bytes; the record, trimmed.
    std::vector<quint8> held(40, 0);
    const QByteArray name = CodePage::ToWindows1251(u" Давление");
    const QByteArray unit = CodePage::ToWindows1251(u"МПа");
    std::copy(name.begin(), name.end(), held.begin());
    std::copy(unit.begin(), unit.end(), held.begin() + 24);

    // The unit alone: the register is read, and the name goes back byte for byte.
    link.Reply(MakeNetReply(32, ReadItem(0x0128, held)));
    link.Reply(MakeNetReply(32, WriteAck(0x0128, 40)));
    EXPECT_EQ(writes(row).WriteQuantityName(1, QStringLiteral("Давление"), QStringLiteral("бар")),
              TWriteResult::Done);
    ASSERT_EQ(link.Sent.size(), 2u);
    EXPECT_EQ(SentItems(link.Sent[0]), (std::vector<SentItem>{{NetFunction::Read, 0x0128, {}}}));
    std::vector<quint8> sent(held.begin(), held.begin() + 24);
    const std::vector<quint8> bar = EncodeTextField(QStringLiteral("бар"), 16);
    sent.insert(sent.end(), bar.begin(), bar.end());
    EXPECT_EQ(SentItems(link.Sent[1]), (std::vector<SentItem>{W(0x0128, sent)}));
    EXPECT_EQ(ch.MeasUnitName, QStringLiteral("бар"));

    // The name alone (channel 2 holds the same): the unit as held, zero bytes included.
    link.Sent.clear();
    link.Reply(MakeNetReply(32, ReadItem(0x0150, held)));
    link.Reply(MakeNetReply(32, WriteAck(0x0150, 40)));
    EXPECT_EQ(writes(row).WriteQuantityName(2, QStringLiteral("Расход"), QStringLiteral("МПа")),
              TWriteResult::Done);
    ASSERT_EQ(link.Sent.size(), 2u);
    sent = EncodeTextField(QStringLiteral("Расход"), 24);
    sent.insert(sent.end(), held.begin() + 24, held.end());
    EXPECT_EQ(SentItems(link.Sent[1]), (std::vector<SentItem>{W(0x0150, sent)}));
}

TEST_F(ConfigWritesTest, ChannelLinesFollowTheEnableAndTheQuantity)
{
    QWidget owner;
    TGraphicForms forms(&owner);
    TTableDevice& selected = addRow(41, TDeviceType::UnifiedInputs);
    TTableDevice& other = addRow(42, TDeviceType::UnifiedInputs);
    selected.Selected = true;
    for (TTableDevice* row : {&selected, &other})
        row->Device->Channel1->Enabled = false;

    // Switched on in a selected row: the line goes into the window of its pair.
    TChannelInputs in = UnchangedInputs(selected, 1);
    in.Enabled = true;
    link.Reply(MakeNetReply(41, WriteAck(0x0110, 1)));
    TDeviceConfigWrites w = writes(selected);
    w.Graphics = &forms;
    EXPECT_EQ(w.WriteChannelParams(1, in), TWriteResult::Done);
    TGraphLine& line = *selected.Device->Channel1->GraphLine;
    ASSERT_NE(line.GraphForm, nullptr);
    EXPECT_EQ(line.GraphForm->QuantityName, QStringLiteral("Давление"));
    EXPECT_EQ(line.GraphForm->MeasUnitName, QStringLiteral("МПа"));
    EXPECT_EQ(line.Series->ParentChart(), forms.GraphicChart(line.GraphForm));

    // A row that is not selected gets no chart line.
    in = UnchangedInputs(other, 1);
    in.Enabled = true;
    link.Reply(MakeNetReply(42, WriteAck(0x0110, 1)));
    TDeviceConfigWrites w2 = writes(other);
    w2.Graphics = &forms;
    EXPECT_EQ(w2.WriteChannelParams(1, in), TWriteResult::Done);
    EXPECT_EQ(other.Device->Channel1->GraphLine->GraphForm, nullptr);
    EXPECT_EQ(other.Device->Channel1->GraphLine->Series->ParentChart(), nullptr);
    EXPECT_EQ(forms.GraphicForms().size(), 1u);

    // A new quantity and unit move the shown line to the window of the new pair,
    // which shows since the line's window was on the screen.
    line.GraphForm->show();
    link.Reply(MakeNetReply(41, WriteAck(0x0128, 40)));
    EXPECT_EQ(w.WriteQuantityName(1, QStringLiteral("Расход"), QStringLiteral("м3/ч")), TWriteResult::Done);
    ASSERT_EQ(forms.GraphicForms().size(), 2u);
    EXPECT_EQ(line.GraphForm, forms.GraphicForms()[1].data());
    EXPECT_EQ(line.GraphForm->QuantityName, QStringLiteral("Расход"));
    EXPECT_EQ(line.Series->ParentChart(), forms.GraphicChart(line.GraphForm));
    EXPECT_TRUE(line.GraphForm->isVisible());
}

namespace {

// A question during which the application shuts down: every row is freed before
// the answer comes back.
class ShutdownDuringQuestion : public ScriptedPrompts
{
public:
    bool YesNo(QWidget* Parent, const QString& Text, const QString& Caption) override
    {
        const bool yes = ScriptedPrompts::YesNo(Parent, Text, Caption);
        DevArray.clear();
        return yes;
    }
};

} // namespace

TEST_F(ConfigWritesTest, ARowFreedDuringAQuestionIsNotWrittenTo)
{
    ShutdownDuringQuestion shutdown;
    Prompts::SetCurrent(&shutdown);

    // Serial number: the answer does not matter, the hardware version that would
    // follow is not sent either.
    for (const bool yes : {true, false}) {
        TTableDevice& row = addRow(70, TDeviceType::UnifiedInputs);
        shutdown.YesAnswers = {yes};
        EXPECT_EQ(writes(row).WriteSerialAndHwVersion(71, QStringLiteral("9")), TWriteResult::RowGone);
        EXPECT_EQ(shutdown.Questions.size(), yes ? 1 : 2);
    }
    // Radio channel after the power level went out.
    TTableDevice& row = addRow(72, TDeviceType::UnifiedInputs);
    link.Reply(MakeNetReply(72, WriteAck(0x0007, 1)));
    shutdown.YesAnswers = {true};
    EXPECT_EQ(writes(row).WriteRfParams(0, 20), TWriteResult::RowGone);
    ASSERT_EQ(link.Sent.size(), 1u);
    EXPECT_EQ(SentItems(link.Sent[0]), (std::vector<SentItem>{W(0x0007, {0x6E})}));
    EXPECT_TRUE(journalLines().isEmpty());
    Prompts::SetCurrent(&prompts);
}
