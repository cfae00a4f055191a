#include "PollingFixture.h"
#include "core/DateTime.h"
#include "core/StringFunc.h"
#include "dispatcher/JournalMessage.h"
#include "support/RecordingChart.h"

#include <cmath>
#include <limits>

using namespace DeviceReplies;

namespace {

class CurrentValues : public PollingTest
{
protected:
    CurrentValues() { PollingActive = true; }

    bool read(TTableDevice& Row)
    {
        err.clear();
        return reader.ReadCurrentValues(Row, err);
    }

    QString err;
};

} // namespace

TEST(ClassifyChannelValue, LimitsZeroAndHundred)
{
    TMeasureChannel ch(1, QStringLiteral("К1"));
    ch.Enabled = true;
    ch.MinAlert = 0;
    ch.MaxAlert = 100;
    const std::pair<float, int> cases[] = {{-0.1f, 3}, {0.f, 1},    {9.99f, 1}, {10.f, 0},
                                           {90.f, 0},  {90.01f, 2}, {100.f, 2}, {100.1f, 4}};
    for (const auto& [v, state] : cases) {
        ch.Value = v;
        TDeviceReader::ClassifyChannelValue(ch);
        EXPECT_EQ(ch.LimitState, state) << v;
    }
    // A disabled channel keeps its state.
    ch.Enabled = false;
    ch.Value = 50;
    TDeviceReader::ClassifyChannelValue(ch);
    EXPECT_EQ(ch.LimitState, 4);
}

TEST(ClassifyChannelValue, RangeIsTakenInSinglePrecision)
{
    // Max - Min rounds up as a single (97364824 against 97364820.35 in double),
    // which moves the near-low band just past this value.
    TMeasureChannel ch(1, QStringLiteral("К1"));
    ch.Enabled = true;
    ch.MinAlert = 531.652771f;
    ch.MaxAlert = 97365352.f;
    ch.Value = 9737014.f;
    TDeviceReader::ClassifyChannelValue(ch);
    EXPECT_EQ(ch.LimitState, 1);
}

TEST_F(CurrentValues, AlarmSoundsOncePerEntryIntoAlarm)
{
    TTableDevice& row = addMeasuringRow(1234);
    TMeasureChannel& ch = *row.Device->Channel1;
    ch.ValueValid = true;
    SoundRepeatMode = TSoundRepeatMode::Repeat;
    const int states[] = {0, 4, 4, 0, 3};
    const int statuses[] = {dsOk, dsAlarm, dsAlarm, dsOk, dsAlarm};
    for (int i = 0; i < 5; ++i) {
        ch.LimitState = quint8(states[i]);
        reader.CheckAlarmCondition(row);
        EXPECT_EQ(row.Status, statuses[i]) << i;
    }
    EXPECT_EQ(sound.sounds, 2);
    EXPECT_EQ(hooks.repeatTimerEnables, 2);
    EXPECT_EQ(AlarmKind, 1);
    EXPECT_TRUE(ch.AlarmSounded);
}

TEST_F(CurrentValues, RepetitionStopsOnlyWhenNoVisibleLinkedRowKeepsASoundedChannel)
{
    TTableDevice& a = addMeasuringRow(1);
    TTableDevice& b = addMeasuringRow(2);
    a.Device->Channel1->LimitState = 4;
    b.Device->Channel2->LimitState = 3;
    reader.CheckAlarmCondition(a);
    reader.CheckAlarmCondition(b);
    EXPECT_EQ(sound.sounds, 2);

    a.Device->Channel1->LimitState = 0;
    reader.CheckAlarmCondition(a);
    EXPECT_EQ(AlarmKind, 1) << "row b still sounds";

    a.Device->Channel1->LimitState = 4;
    reader.CheckAlarmCondition(a);
    b.Hidden = true;
    a.Device->Channel1->LimitState = 1;
    reader.CheckAlarmCondition(a);
    EXPECT_EQ(AlarmKind, 0) << "a hidden row does not keep the alarm";
    EXPECT_EQ(a.Status, dsWarning);

    // A linked, visible row does; one without link does not.
    b.Hidden = false;
    a.Device->Channel1->LimitState = 4;
    reader.CheckAlarmCondition(a);
    a.Device->Channel1->LimitState = 0;
    reader.CheckAlarmCondition(a);
    EXPECT_EQ(AlarmKind, 1);
    b.Status = dsNoLink;
    a.Device->Channel1->LimitState = 4;
    reader.CheckAlarmCondition(a);
    a.Device->Channel1->LimitState = 0;
    reader.CheckAlarmCondition(a);
    EXPECT_EQ(AlarmKind, 0);
    EXPECT_EQ(hooks.repeatTimerEnables, 0) << "repeat mode is off";
}

TEST_F(CurrentValues, StatusTakesOnlyEnabledValidChannels)
{
    TTableDevice& row = addMeasuringRow(1234);
    TMeasureChannel& ch1 = *row.Device->Channel1;
    TMeasureChannel& ch2 = *row.Device->Channel2;
    ch1.ValueValid = true;
    ch2.ValueValid = true;
    ch1.LimitState = 3;
    ch2.LimitState = 1;
    reader.CheckAlarmCondition(row);
    EXPECT_EQ(row.Status, dsAlarm) << "channel 2 near a limit does not lower an alarm";
    ch1.ValueValid = false;
    reader.CheckAlarmCondition(row);
    EXPECT_EQ(row.Status, dsWarning);
    ch2.Enabled = false;
    reader.CheckAlarmCondition(row);
    EXPECT_EQ(row.Status, dsOk);
    // The sound looks at enabled channels whatever their validity.
    EXPECT_EQ(sound.sounds, 1);
}

TEST_F(CurrentValues, FaultBitsChangingJournalClearingThenSetting)
{
    TTableDevice& row = addMeasuringRow(1234);
    TDevice& d = *row.Device;
    link.Reply(CurrentReply(1234, 0x0008, 10, 50)).Reply(CurrentReply(1234, 0x0800, 11, 51));

    ASSERT_TRUE(read(row));
    EXPECT_EQ(journalLines(), QStringList{FaultRaised(QStringLiteral("01234"), 3)});
    EXPECT_EQ(hooks.statusTexts, QStringList{QStringLiteral("Устройство сер.№ 01234: ") + FaultNames[3]});
    EXPECT_TRUE(EepromFaultPending);
    EXPECT_FLOAT_EQ(d.Channel1->Value, 10);

    ASSERT_TRUE(read(row));
    EXPECT_EQ(journalLines(),
              (QStringList{FaultRaised(QStringLiteral("01234"), 3), FaultCleared(QStringLiteral("01234"), 3),
                           FaultRaised(QStringLiteral("01234"), 11)}));
    EXPECT_EQ(hooks.statusTexts.size(), 1) << "bit 3 is clear now";
    EXPECT_TRUE(EepromFaultPending) << "only a configuration read clears it";
    EXPECT_FALSE(d.Channel1->ValueValid);
    EXPECT_FLOAT_EQ(d.Channel1->Value, 10) << "an invalid channel keeps its value";
    EXPECT_TRUE(d.Channel2->ValueValid);
    EXPECT_FLOAT_EQ(d.Channel2->Value, 51);
    EXPECT_EQ(d.PrevFaultRegister, 0x0800u);
}

TEST_F(CurrentValues, FirstReadJournalsEverySetBitInBitOrderAndIgnoresHighBits)
{
    TTableDevice& row = addMeasuringRow(77);
    link.Reply(CurrentReply(77, 0x00010021, 1, 2));
    ASSERT_TRUE(read(row));
    EXPECT_EQ(journalLines(), (QStringList{FaultRaised(QStringLiteral("00077"), 0),
                                           FaultRaised(QStringLiteral("00077"), 5)}));
    EXPECT_EQ(row.Device->PrevFaultRegister, 0x00010021u);
    EXPECT_EQ(row.Device->SignalAtDevice, 0x30);
    EXPECT_EQ(row.Device->SignalAtPC, 0x30);
}

TEST_F(CurrentValues, ThermocoupleWithColdJunctionIsInvalidWithoutColdJunctionData)
{
    TTableDevice& row = addMeasuringRow(1234);
    TDevice& d = *row.Device;
    d.Channel1->SensorType = TSensorType::Thermocouple; // without compensation
    d.Channel2->SensorType = TSensorType::Thermocouple;
    d.Channel2->UseColdJunction = true;
    d.ColdJunctionTemp = 5;
    link.Reply(CurrentReply(1234, 0x0002, 30, 40, 25));
    ASSERT_TRUE(read(row));
    EXPECT_FALSE(d.ColdJunctionValid);
    EXPECT_TRUE(d.Channel1->ValueValid);
    EXPECT_FLOAT_EQ(d.Channel1->Value, 30);
    EXPECT_FALSE(d.Channel2->ValueValid);
    EXPECT_FLOAT_EQ(d.Channel2->Value, 0);
    EXPECT_FLOAT_EQ(d.ColdJunctionTemp, 5) << "no temperature without its data";

    link.Reply(CurrentReply(1234, 0, 30, 40, 25));
    ASSERT_TRUE(read(row));
    EXPECT_TRUE(d.Channel2->ValueValid);
    EXPECT_FLOAT_EQ(d.Channel2->Value, 40);
    EXPECT_FLOAT_EQ(d.ColdJunctionTemp, 25);
}

TEST_F(CurrentValues, DisabledChannelIsReadButNotDecoded)
{
    TTableDevice& row = addMeasuringRow(1234);
    TDevice& d = *row.Device;
    d.Channel1->Enabled = false;
    link.Reply(CurrentReply(1234, 0, 500, 50));
    ASSERT_TRUE(read(row));
    EXPECT_EQ(link.Sent.size(), 1u);
    EXPECT_FLOAT_EQ(d.Channel1->Value, 0);
    EXPECT_EQ(d.Channel1->LimitState, 0);
    EXPECT_EQ(d.Channel1->GraphLine->Series->Count(), 0);
    reader.CheckAlarmCondition(row);
    EXPECT_EQ(row.Status, dsOk);
    EXPECT_EQ(sound.sounds, 0);
}

TEST_F(CurrentValues, NonNumericValueIsJournalledEveryTimeAndNeverStored)
{
    RecordingArchive archive;
    hooks.archive = &archive;
    TTableDevice& row = addMeasuringRow(1234);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    link.Reply(CurrentReply(1234, 0, 42, nan)).Reply(CurrentReply(1234, 0, 42, inf));
    ASSERT_TRUE(read(row));
    ASSERT_TRUE(read(row));
    const QString line =
        QStringLiteral("Получено нечисловое значение при чтении значения канала 2 устройства сер.№ 01234");
    EXPECT_EQ(journalLines(), (QStringList{line, line}));
    EXPECT_FLOAT_EQ(row.Device->Channel2->Value, 0);
    EXPECT_EQ(row.Device->Channel2->GraphLine->Series->Count(), 0);
    EXPECT_EQ(row.Device->Channel1->GraphLine->Series->Count(), 2);
    ASSERT_EQ(archive.measurements.size(), 2u);
    EXPECT_EQ(archive.measurements[0].Channel, 1);
}

TEST_F(CurrentValues, ValueIsRoundedClassifiedDrawnAndArchivedWithOneTimeStamp)
{
    RecordingArchive archive;
    hooks.archive = &archive;
    TTableDevice& row = addMeasuringRow(1234, 0, 100);
    TDevice& d = *row.Device;
    d.Channel1->DigitsLo = 3;
    d.Channel2->SensorType = TSensorType::Thermocouple;
    d.Channel2->DigitsHi = 3;
    const TDateTime before = NowTDateTime();
    link.Reply(CurrentReply(1234, 0, 12.3456f, 123.45f));
    ASSERT_TRUE(read(row));
    const TDateTime after = NowTDateTime();

    EXPECT_FLOAT_EQ(d.Channel1->Value, 12.3f);
    EXPECT_FLOAT_EQ(d.Channel2->Value, 123.45f) << "the integer part keeps its fraction";
    EXPECT_EQ(d.Channel1->LimitState, 0);
    EXPECT_EQ(d.Channel2->LimitState, 4);
    ASSERT_EQ(archive.measurements.size(), 2u);
    const IChartSeries& s1 = *d.Channel1->GraphLine->Series;
    ASSERT_EQ(s1.Count(), 1);
    EXPECT_DOUBLE_EQ(s1.YValue(0), double(12.3f));
    EXPECT_EQ(s1.PointColor(0), s1.Color());
    EXPECT_GE(s1.XValue(0), before);
    EXPECT_LE(s1.XValue(0), after);
    EXPECT_EQ(archive.measurements[0].Time, s1.XValue(0));
    EXPECT_EQ(archive.measurements[1].Time, s1.XValue(0));
    EXPECT_FLOAT_EQ(archive.measurements[1].Value, 123.45f);
    // Over the high limit: the chart window's mark, never the low one.
    EXPECT_EQ(hooks.overflowMarks, QStringList{d.Channel2->GraphLine->Title + QStringLiteral(" max")});

    // Without polling values are not decoded.
    PollingActive = false;
    link.Reply(CurrentReply(1234, 0, 50, 50));
    ASSERT_TRUE(read(row));
    EXPECT_FLOAT_EQ(d.Channel1->Value, 12.3f);
    EXPECT_EQ(archive.measurements.size(), 2u);
}

TEST_F(CurrentValues, ArchiveWriteRearmsTheJournalRule)
{
    RecordingArchive archive;
    hooks.archive = &archive;
    TTableDevice& row = addMeasuringRow(1234);
    const auto busyFault =
        MakeNetReply(1234, Join({ErrorItem(1), ReadItem(0x0205, Single(1)), ReadItem(0x0209, Single(2)),
                                 ReadItem(0x020D, Single(3))}));
    const QString busyLine =
        QStringLiteral("устройство занято, необходимо повторить команду позже при чтении "
                       "регистра неисправностей устройства сер.№ 01234");
    link.Reply(busyFault).Reply(busyFault);
    ASSERT_TRUE(read(row));
    ASSERT_TRUE(read(row));
    // The values went to the archive after the error each time, so each error is new.
    EXPECT_EQ(journalLines(), (QStringList{busyLine, busyLine}));
    EXPECT_TRUE(err.isEmpty());

    // Without values nothing rearms it.
    row.Device->Channel1->Enabled = false;
    row.Device->Channel2->Enabled = false;
    link.Reply(busyFault).Reply(busyFault).Reply(busyFault);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(read(row));
    EXPECT_EQ(journalLines().size(), 3);
    EXPECT_EQ(err, QStringLiteral("устройство занято, необходимо повторить команду позже"));

    // An item error after an archived value has no text left to journal.
    row.Device->Channel1->Enabled = true;
    link.Reply(
        MakeNetReply(1234, Join({ReadItem(0x0200, EncodeFaultState(0, 0x30)), ReadItem(0x0205, Single(1)),
                                 ReadItem(0x0209, Single(2)), ErrorItem(5)})));
    ASSERT_TRUE(read(row));
    EXPECT_EQ(journalLines().size(), 3);
    EXPECT_TRUE(err.isEmpty());

    // A failed archive write is journalled once with its own suffix, and leaves the
    // text empty for the caller.
    archive.MeasurementError = QStringLiteral("Ошибка записи архива");
    link.Reply(CurrentReply(1234, 0, 1, 2)).Reply(CurrentReply(1234, 0, 1, 2));
    ASSERT_TRUE(read(row));
    EXPECT_EQ(journalLines().last(), QStringLiteral("Ошибка записи архива для устройства сер.№ 01234"));
    EXPECT_TRUE(err.isEmpty());
    EXPECT_TRUE(row.Device->LastErrorText.isEmpty());
    ASSERT_TRUE(read(row));
    EXPECT_EQ(journalLines().size(), 5) << "rearmed after every attempt";
}

TEST_F(CurrentValues, ItemErrorsAreJournalledWithTheirSuffixes)
{
    TTableDevice& row = addMeasuringRow(1234);
    row.Device->Channel1->Enabled = false;
    row.Device->Channel2->Enabled = false;
    link.Reply(MakeNetReply(1234, Join({ErrorItem(2), ReadItem(0x0205, Single(1)),
                                        ReadItem(0x0209, Single(2)), ReadItem(0x020D, Single(3))})));
    ASSERT_TRUE(read(row));
    link.Reply(MakeNetReply(1234, Join({ReadItem(0x0200, EncodeFaultState(0, 1)), ReadItem(0x0205, Single(1)),
                                        ErrorItem(4), ReadItem(0x020D, Single(3))})));
    ASSERT_TRUE(read(row));
    EXPECT_EQ(
        journalLines(),
        (QStringList{QStringLiteral("регистр по запрашиваемому адресу отсутствует при чтении регистра "
                                    "неисправностей устройства сер.№ 01234"),
                     QStringLiteral("данная операция неприменима к указанному регистру при чтении значения "
                                    "канала 2 устройства сер.№ 01234")}));
}

TEST_F(CurrentValues, FailedExchangeJournalsOnceAndNoReplyDropsTheLink)
{
    TTableDevice& row = addMeasuringRow(1234);
    auto bad = CurrentReply(1234, 0, 1, 2);
    bad[bad.size() - 3] ^= 0xFF; // CRC
    link.Reply(bad).Reply(bad);
    EXPECT_FALSE(read(row));
    EXPECT_FALSE(read(row));
    EXPECT_EQ(err, QStringLiteral("Ошибка контрольной суммы полученного пакета!"));
    EXPECT_EQ(row.Status, dsOk);
    EXPECT_FALSE(read(row)); // silent: three attempts
    EXPECT_EQ(row.Status, dsNoLink);
    EXPECT_EQ(journalLines(),
              (QStringList{
                  QStringLiteral("Ошибка контрольной суммы полученного пакета! при обмене с устройством "
                                 "сер.№ 01234"),
                  QStringLiteral("Превышен таймаут ожидания ответа при обмене с устройством сер.№ 01234")}));
    EXPECT_TRUE(PollingActive) << "a silent device does not stop polling";
}

TEST_F(CurrentValues, FaultExtraRecordsAreAppliedOthersIgnored)
{
    TTableDevice& row = addMeasuringRow(1234);
    hooks.configDevice = row.Device.get();
    std::array<TNetRequest, ExtraRecordsSize> extra{};
    extra[0].RegAddr = 0x0300;
    extra[0].ReplyLen = 4;
    extra[1].RegAddr = 0x0200;
    extra[1].ReplyLen = 5; // wrong length
    extra[2].RegAddr = 0x0200;
    extra[2].ReplyLen = 4;
    PutLongBE(extra[2].Data, 0, 0x1008);
    reader.ProcessExtraRecords(*row.Device, extra, 3);
    EXPECT_EQ(row.Device->FaultRegister, 0x1008u);
    EXPECT_EQ(journalLines(), (QStringList{FaultRaised(QStringLiteral("01234"), 3),
                                           FaultRaised(QStringLiteral("01234"), 12)}));
    EXPECT_EQ(hooks.reloads, 1);
    EXPECT_EQ(hooks.configCalls, QStringList{QStringLiteral("current")});
    // The status-bar message and the pending flag wait for the next read.
    EXPECT_TRUE(hooks.statusTexts.isEmpty());
    EXPECT_FALSE(EepromFaultPending);

    // Counts beyond the buffer are bounded.
    reader.ProcessExtraRecords(*row.Device, std::span(extra).first(3), 50);
    EXPECT_EQ(hooks.reloads, 2);
}

TEST_F(CurrentValues, ExtraRecordInAReplyIsApplied)
{
    TTableDevice& row = addMeasuringRow(1234);
    const auto items = Join({ReadItem(0x0200, EncodeFaultState(0, 0x30)),
                             ExtraItem(0x0200, std::array<quint8, 4>{0, 0, 0, 1}),
                             ReadItem(0x0205, Single(1)), ReadItem(0x0209, Single(2))});
    link.Reply(MakeNetReply(1234, items));
    ASSERT_TRUE(read(row));
    EXPECT_EQ(row.Device->FaultRegister, 1u);
    EXPECT_EQ(journalLines(), QStringList{FaultRaised(QStringLiteral("01234"), 0)});
}

TEST_F(CurrentValues, FirstPointMovesTheChartAxesOntoIt)
{
    RecordingChart chart;
    TGraphLine line(QStringLiteral("№01234К1"), Qt::red);
    const TDateTime t = 45000.5;
    // Not in a chart: no axis work.
    reader.AddGraphPoint(line, false, false, 7, t);
    EXPECT_EQ(hooks.axisChanges, 0);

    line.Series->Clear();
    line.Series->SetParentChart(&chart);
    hooks.axes[{&line, TChartAxis::Bottom}] = {45001.0, 45002.0};
    hooks.axes[{&line, TChartAxis::Left}] = {0.0, 100.0};
    reader.AddGraphPoint(line, false, true, 7, t);
    const auto bottom = hooks.axes[{&line, TChartAxis::Bottom}];
    EXPECT_DOUBLE_EQ(bottom.first, t - 0.1);
    EXPECT_DOUBLE_EQ(bottom.second, t + 0.9);
    EXPECT_EQ(hooks.axes[(std::pair{&line, TChartAxis::Left})], (std::pair{0.0, 100.0})) << "7 is in view";
    EXPECT_EQ(hooks.axisChanges, 1);
    EXPECT_EQ(hooks.overflowMarks, QStringList{QStringLiteral("№01234К1 max")});

    // Only the first point does this.
    reader.AddGraphPoint(line, true, false, 500, t + 5);
    EXPECT_EQ(hooks.axisChanges, 1);
    EXPECT_EQ(line.Series->Count(), 2);

    line.Series->Clear();
    hooks.axes[{&line, TChartAxis::Left}] = {0.0, 100.0};
    reader.AddGraphPoint(line, false, false, 100, t);
    EXPECT_EQ(hooks.axes[(std::pair{&line, TChartAxis::Left})], (std::pair{50.0, 150.0})) << "on the edge";
}

TEST(JournalDeviceError, SameTextOnceInARowEmptyTextRearms)
{
    TFormJournal form;
    FormJournal = &form;
    TDevice d(5);
    EXPECT_TRUE(JournalDeviceError(QStringLiteral("ошибка"), d, QStringLiteral(" при X 00005")));
    EXPECT_FALSE(JournalDeviceError(QStringLiteral("ошибка"), d, QStringLiteral(" при Y 00005")));
    EXPECT_FALSE(JournalDeviceError(QString(), d, QStringLiteral(" при X 00005")));
    EXPECT_TRUE(d.LastErrorText.isEmpty());
    EXPECT_TRUE(JournalDeviceError(QStringLiteral("ошибка"), d, QStringLiteral(" при Z 00005")));
    const QStringList lines = form.Lines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(": ошибка при X 00005")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(": ошибка при Z 00005")));
    FormJournal = nullptr;
    JournalReady = false;
}
