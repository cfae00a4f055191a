// Reading the archive for a period: which day files, which rows, in what
// order, with which settings in force, and how often window messages run.

#include "ArchiveFixture.h"
#include "archive/ArchiveDay.h"
#include "archive/ArchiveReader.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"

namespace {

struct Got
{
    qint32 Serial;
    qint32 Channel;
    TDateTime When;
    float Value;
    QString Quantity;
    QString Unit;
    float MinAlert;
    float MaxAlert;
    QString Comment;
};

class ArchiveReaderTest : public ArchiveTest
{
protected:
    ArchiveReaderTest()
    {
        devices.SetFileName(path(QStringLiteral("Devices.cds")));
        channels.SetFileName(path(QStringLiteral("Channels.cds")));
        QString err;
        EXPECT_EQ(devices.Create(err), TArchiveStore::TCreateResult::Created);
        EXPECT_EQ(channels.Create(err), TArchiveStore::TCreateResult::Created);
        EXPECT_TRUE(devices.Open(err));
        EXPECT_TRUE(channels.Open(err));
    }

    // Appends values to a day file, made when missing.
    void store(const QString& Name, const std::vector<TMeasureRecord>& Rows)
    {
        TArchiveStore s(TArchiveKind::Measures);
        s.SetFileName(path(Name));
        QString err;
        if (!QFile::exists(path(Name))) {
            ASSERT_EQ(s.Create(err), TArchiveStore::TCreateResult::Created);
        }
        ASSERT_TRUE(s.Open(err));
        for (const TMeasureRecord& r : Rows)
            ASSERT_TRUE(s.AppendMeasure(r, err));
    }
    static TMeasureRecord value(qint32 Serial, TDateTime When, qint32 Channel, double Value)
    {
        return {0, Serial, When, Channel, Value};
    }

    void channelRow(TDateTime At, qint32 Serial, qint32 Channel, const QString& Quantity, const QString& Unit,
                    double Min, double Max)
    {
        QString err;
        ASSERT_TRUE(channels.AppendChannel({0, At, Serial, Channel, 0, Min, Max, 0, 0, Quantity, Unit}, err));
    }
    void deviceRow(TDateTime At, qint32 Serial, const QString& Comment)
    {
        QString err;
        ASSERT_TRUE(devices.AppendDevice({0, At, Serial, 1, Comment}, err));
    }

    std::vector<Got> read(TDateTime Start, TDateTime End, const std::vector<quint16>& Serials,
                          bool* Ok = nullptr, QString* ErrOut = nullptr)
    {
        std::vector<Got> got;
        TArchiveReader reader(devices, channels);
        reader.OnStrayFile = [this](const QString& Name) { stray << Name; };
        reader.OnDay = [this](const QDate& Day) { days << Day; };
        QString err;
        const bool ok = reader.Read(
            ArchiveDir, Start, End, Serials, true,
            [&](const TArchiveValue& V) {
                got.push_back({V.SerialNum, V.ChannelNum, V.MeasDateTime, V.Value, V.Channel->QuantityName,
                               V.Channel->MeasUnitName, float(V.Channel->MinAlert),
                               float(V.Channel->MaxAlert), V.Device->Comment});
            },
            err);
        if (Ok)
            *Ok = ok;
        else
            EXPECT_TRUE(ok) << err.toStdString();
        if (ErrOut)
            *ErrOut = err;
        return got;
    }

    // The values alone, without the settings; the files passed over are added to
    // Unreadable as "name|reason", the tables read in part as "name|serial|reason|values taken".
    std::vector<float> readValues(TDateTime Start, TDateTime End, const std::vector<quint16>& Serials,
                                  QStringList& Unreadable)
    {
        std::vector<float> got;
        TArchiveReader reader(devices, channels);
        reader.OnUnreadableFile = [&](const QString& Name, const QString& Reason) {
            Unreadable << Name + QLatin1Char('|') + Reason;
        };
        reader.OnUnreadableTable = [&](const QString& Name, quint16 Serial, const QString& Reason,
                                       qint64 Taken) {
            Unreadable << Name + QStringLiteral("|%1|%2|%3").arg(Serial).arg(Reason).arg(Taken);
        };
        QString err;
        EXPECT_TRUE(reader.Read(
            ArchiveDir, Start, End, Serials, false, [&](const TArchiveValue& V) { got.push_back(V.Value); },
            err))
            << err.toStdString();
        return got;
    }

    static std::vector<float> values(const std::vector<Got>& G)
    {
        std::vector<float> v;
        for (const Got& g : G)
            v.push_back(g.Value);
        return v;
    }

    TArchiveStore devices{TArchiveKind::Devices};
    TArchiveStore channels{TArchiveKind::Channels};
    QStringList stray;
    QList<QDate> days;
};

TEST_F(ArchiveReaderTest, APeriodAcrossADayStartReadsBothFilesInTimeOrder)
{
    FileRebuildHour = 8;
    FileRebuildMin = 30;
    // The file of 4 March holds 4 March 08:30 to 5 March 08:29:59.999.
    store(QStringLiteral("Measures20240304.cds"),
          {value(7, Stamp(2024, 3, 4, 9, 0), 1, 1), value(7, Stamp(2024, 3, 5, 8, 29, 59, 999), 1, 2),
           value(7, Stamp(2024, 3, 5, 8, 0), 1, 3)});
    store(QStringLiteral("Measures20240305.cds"),
          {value(7, Stamp(2024, 3, 5, 8, 30), 1, 4), value(7, Stamp(2024, 3, 5, 9, 0), 1, 5)});
    store(QStringLiteral("Measures20240306.cds"), {value(7, Stamp(2024, 3, 6, 9, 0), 1, 6)});

    const auto got = read(Stamp(2024, 3, 5, 8, 0), Stamp(2024, 3, 5, 9, 0), {7});
    // Within a file by time; files by date. Both ends are included.
    EXPECT_EQ(values(got), (std::vector<float>{3, 2, 4, 5}));
    EXPECT_EQ(days, (QList<QDate>{QDate(2024, 3, 4), QDate(2024, 3, 5)}));
    EXPECT_TRUE(stray.isEmpty());
}

TEST_F(ArchiveReaderTest, AMovedDayStartHidesNoStoredValue)
{
    // Written while the day started at 08:30: the file of 5 March holds the
    // early hours of 6 March. With the day start now at midnight the period of
    // 6 March 01:00 to 07:00 still finds them.
    store(QStringLiteral("Measures20240305.cds"),
          {value(7, Stamp(2024, 3, 5, 23, 0), 1, 1), value(7, Stamp(2024, 3, 6, 5, 0), 1, 2)});
    store(QStringLiteral("Measures20240306.cds"), {value(7, Stamp(2024, 3, 6, 6, 0), 1, 3)});
    EXPECT_EQ(values(read(Stamp(2024, 3, 6, 1, 0), Stamp(2024, 3, 6, 7, 0), {7})),
              (std::vector<float>{2, 3}));

    // A value stamped exactly at the end of the period, at a midnight, is read
    // from the file of the day that begins there.
    store(QStringLiteral("Measures20240307.cds"), {value(7, Stamp(2024, 3, 7, 0, 0), 1, 4)});
    EXPECT_EQ(values(read(Stamp(2024, 3, 6, 5, 30), Stamp(2024, 3, 7, 0, 0), {7})),
              (std::vector<float>{3, 4}));
}

TEST_F(ArchiveReaderTest, APeriodAcrossTwoMonthsAndAYear)
{
    store(QStringLiteral("Measures20231231.cds"), {value(7, Stamp(2023, 12, 31, 23, 59), 2, 1)});
    store(QStringLiteral("Measures20240101.cds"), {value(7, Stamp(2024, 1, 1, 0, 1), 2, 2)});
    store(QStringLiteral("Measures20240131.cds"), {value(7, Stamp(2024, 1, 31, 23, 0), 2, 3)});
    store(QStringLiteral("Measures20240201.cds"), {value(7, Stamp(2024, 2, 1, 1, 0), 2, 4)});
    store(QStringLiteral("Measures20240229.cds"), {value(7, Stamp(2024, 2, 29, 12, 0), 2, 5)});
    store(QStringLiteral("Measures20240301.cds"), {value(7, Stamp(2024, 3, 1, 12, 0), 2, 6)});

    EXPECT_EQ(values(read(Stamp(2024, 1, 31, 22, 0), Stamp(2024, 3, 1, 0, 0), {7})),
              (std::vector<float>{3, 4, 5}));
    EXPECT_EQ(values(read(Stamp(2023, 12, 31, 0, 0), Stamp(2024, 1, 1, 1, 0), {7})),
              (std::vector<float>{1, 2}));
}

TEST_F(ArchiveReaderTest, EachValueGetsTheSettingsInForceAtItsStamp)
{
    const TDateTime t0 = Stamp(2024, 3, 5, 10, 0);
    // Channel 1: nothing recorded before 10:00, then the quantity, the unit
    // and the limits change; two rows written at the same moment: the later
    // written counts.
    channelRow(t0, 7, 1, QStringLiteral("Температура"), QStringLiteral("°C"), -5, 50);
    channelRow(t0 + 3600 * OneSecond, 7, 1, QStringLiteral("Давление"), QStringLiteral("кПа"), 0, 0.5);
    channelRow(t0 + 7200 * OneSecond, 7, 1, QStringLiteral("Давление"), QStringLiteral("МПа"), 0, 1);
    channelRow(t0 + 7200 * OneSecond, 7, 1, QStringLiteral("Давление"), QStringLiteral("бар"), 1, 2);
    // Another device's and another channel's rows do not count for channel 1.
    channelRow(t0 - 1, 8, 1, QStringLiteral("Чужое"), QStringLiteral("x"), 9, 9);
    channelRow(t0 - 1, 7, 2, QStringLiteral("Уровень"), QStringLiteral("м"), 1, 3);
    deviceRow(t0 - 1, 7, QStringLiteral("Котёл"));
    deviceRow(t0 + 5400 * OneSecond, 7, QStringLiteral("Котёл 2"));

    store(QStringLiteral("Measures20240305.cds"),
          {value(7, t0 - OneSecond, 1, 1), value(7, t0, 1, 2), value(7, t0 + 3599 * OneSecond, 1, 3),
           value(7, t0 + 3600 * OneSecond, 1, 4), value(7, t0 + 7200 * OneSecond, 1, 5),
           value(7, t0 + 7200 * OneSecond, 2, 6)});
    const auto got = read(Stamp(2024, 3, 5, 0, 0), Stamp(2024, 3, 5, 23, 0), {7});
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[0].Quantity, QString());
    EXPECT_EQ(got[0].Unit, QString());
    EXPECT_EQ(got[0].MinAlert, 0.0f);
    EXPECT_EQ(got[0].MaxAlert, 0.0f);
    // The device row of the day before is in force.
    EXPECT_EQ(got[0].Comment, QStringLiteral("Котёл"));
    EXPECT_EQ(got[1].Quantity, QStringLiteral("Температура"));
    EXPECT_EQ(got[1].MinAlert, -5.0f);
    EXPECT_EQ(got[1].Comment, QStringLiteral("Котёл"));
    EXPECT_EQ(got[2].Unit, QStringLiteral("°C"));
    EXPECT_EQ(got[3].Quantity, QStringLiteral("Давление"));
    EXPECT_EQ(got[3].Unit, QStringLiteral("кПа"));
    EXPECT_EQ(got[3].MaxAlert, 0.5f);
    EXPECT_EQ(got[3].Comment, QStringLiteral("Котёл"));
    EXPECT_EQ(got[4].Unit, QStringLiteral("бар"));
    EXPECT_EQ(got[4].Comment, QStringLiteral("Котёл 2"));
    EXPECT_EQ(got[4].MinAlert, 1.0f);
    EXPECT_EQ(got[5].Channel, 2);
    EXPECT_EQ(got[5].Unit, QStringLiteral("м"));
    EXPECT_EQ(got[5].MaxAlert, 3.0f);
}

TEST_F(ArchiveReaderTest, StartAfterEndNoFileAndFilesOutsideThePeriodReadNothing)
{
    bool ok = false;
    EXPECT_TRUE(read(Stamp(2024, 3, 5, 0, 0), Stamp(2024, 3, 6, 0, 0), {7}, &ok).empty());
    EXPECT_TRUE(ok);
    EXPECT_TRUE(days.isEmpty());

    store(QStringLiteral("Measures20240305.cds"), {value(7, Stamp(2024, 3, 5, 12, 0), 1, 1)});
    EXPECT_TRUE(read(Stamp(2024, 3, 5, 13, 0), Stamp(2024, 3, 5, 11, 0), {7}).empty());
    EXPECT_TRUE(days.isEmpty()) << "no file is even opened";

    // A file of the period whose values all lie outside it is passed over and
    // the following files are still read.
    store(QStringLiteral("Measures20240306.cds"), {value(7, Stamp(2024, 3, 6, 12, 0), 1, 2)});
    store(QStringLiteral("Measures20240307.cds"), {value(7, Stamp(2024, 3, 7, 12, 0), 1, 3)});
    days.clear();
    EXPECT_EQ(values(read(Stamp(2024, 3, 5, 13, 0), Stamp(2024, 3, 7, 12, 0), {7})),
              (std::vector<float>{2, 3}));
    EXPECT_EQ(days.size(), 3);

    // A selected device with no stored value contributes nothing.
    EXPECT_TRUE(read(Stamp(2024, 3, 5, 0, 0), Stamp(2024, 3, 8, 0, 0), {8}).empty());
}

TEST_F(ArchiveReaderTest, StrayNamesArePassedOverAndSuffixedFilesBelongToTheirDate)
{
    store(QStringLiteral("Measures20240305.cds"), {value(7, Stamp(2024, 3, 5, 1, 0), 1, 1)});
    store(QStringLiteral("Measures20240305_2.cds"), {value(7, Stamp(2024, 3, 5, 2, 0), 1, 2)});
    store(QStringLiteral("Measures20240305_10.cds"), {value(7, Stamp(2024, 3, 5, 4, 0), 1, 4)});
    store(QStringLiteral("Measures20240305_3.cds"), {value(7, Stamp(2024, 3, 5, 3, 0), 1, 3)});
    store(QStringLiteral("Measures20240306.cds"), {value(7, Stamp(2024, 3, 6, 1, 0), 1, 5)});
    for (const char* name : {"Measures20240230.cds", "Measures2024030.cds", "MeasuresABCDEFGH.cds",
                             "Measures20240305_.cds", "Measures20240305_x.cds", "Measures20240305.cds.cds"})
        writeBytes(path(QString::fromLatin1(name)), "junk");
    // Not day files at all: left alone without a word.
    writeBytes(path(QStringLiteral("notes.txt")), "x");

    EXPECT_EQ(values(read(Stamp(2024, 3, 5, 0, 0), Stamp(2024, 3, 6, 12, 0), {7})),
              (std::vector<float>{1, 2, 3, 4, 5}));
    stray.sort();
    EXPECT_EQ(stray, (QStringList{
                         QStringLiteral("Measures20240230.cds"), QStringLiteral("Measures2024030.cds"),
                         QStringLiteral("Measures20240305.cds.cds"), QStringLiteral("Measures20240305_.cds"),
                         QStringLiteral("Measures20240305_x.cds"), QStringLiteral("MeasuresABCDEFGH.cds")}));

    TDayFileName file;
    ASSERT_TRUE(TArchiveReader::ParseDayFileName(QStringLiteral("Measures20240229_12.cds"), file));
    EXPECT_EQ(file.Date, QDate(2024, 2, 29));
    EXPECT_EQ(file.Part, 12);
    EXPECT_FALSE(TArchiveReader::ParseDayFileName(QStringLiteral("Measures20230229.cds"), file));
    EXPECT_FALSE(TArchiveReader::ParseDayFileName(QStringLiteral("measures20240305.cds"), file));
}

TEST_F(ArchiveReaderTest, SeveralDevicesComeInTheTimeIndexOrderAndARepeatedSerialCountsOnce)
{
    std::vector<TMeasureRecord> rows;
    // Devices answer in an order of their own; some stamps are shared.
    for (int i = 0; i < 300; ++i) {
        const qint32 serial = (i * 7) % 5 + 1;
        const TDateTime when = Stamp(2024, 3, 5, 10, 0) + double(i / 3) * OneSecond;
        rows.push_back(value(serial, when, 2, i));
        rows.push_back(value(serial, when, 1, -i));
    }
    store(QStringLiteral("Measures20240305.cds"), rows);

    const auto got = read(Stamp(2024, 3, 5, 0, 0), Stamp(2024, 3, 6, 0, 0), {4, 2, 4, 1, 2});
    std::vector<Got> expected;
    TArchiveStore s(TArchiveKind::Measures);
    s.SetFileName(path(QStringLiteral("Measures20240305.cds")));
    QString err;
    ASSERT_TRUE(s.Open(err));
    ASSERT_TRUE(s.ReadMeasures(
        -1e9, 1e9,
        [&](const TMeasureRecord& R) {
            if (R.SerialNum == 1 || R.SerialNum == 2 || R.SerialNum == 4)
                expected.push_back(
                    {R.SerialNum, R.ChannelNum, R.MeasDateTime, float(R.MeasValue), {}, {}, 0, 0, {}});
        },
        err));
    ASSERT_EQ(got.size(), expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].Serial, expected[i].Serial) << i;
        EXPECT_EQ(got[i].Channel, expected[i].Channel) << i;
        EXPECT_EQ(got[i].When, expected[i].When) << i;
        EXPECT_EQ(got[i].Value, expected[i].Value) << i;
    }
}

TEST_F(ArchiveReaderTest, UnreadableFilesArePassedOverAndADamagedTableHidesNoOtherTableOfItsFile)
{
    // A file damaged inside: device 7's values were written before device 8's,
    // so the middle of the file is 7's table and 8's, at its end, is intact.
    // One that does not open, beside which the writer went on in a "_2" file; an
    // empty one, a database of no program of ours.
    std::vector<TMeasureRecord> rows;
    for (int i = 0; i < 20000; ++i)
        rows.push_back(value(7, Stamp(2024, 3, 5, 1, 0) + double(i) * OneSecond, 1, i));
    for (int i = 0; i < 2000; ++i)
        rows.push_back(value(8, Stamp(2024, 3, 5, 1, 0) + double(i) * 10 * OneSecond, 1, 100000 + i));
    store(QStringLiteral("Measures20240305.cds"), rows);
    ASSERT_FALSE(damageMiddleThird(path(QStringLiteral("Measures20240305.cds")), 3).isEmpty());
    writeBytes(path(QStringLiteral("Measures20240306.cds")), QByteArray(4096, 'x'));
    store(QStringLiteral("Measures20240306_2.cds"),
          {value(7, Stamp(2024, 3, 6, 12, 0), 1, -2), value(8, Stamp(2024, 3, 6, 12, 0), 1, -20)});
    writeBytes(path(QStringLiteral("Measures20240307.cds")), QByteArray());
    store(QStringLiteral("Measures20240308.cds"), {value(7, Stamp(2024, 3, 8, 12, 0), 1, -4)});

    const QString damaged = QStringLiteral("|файл повреждён или не является файлом архива измерений");
    for (const std::vector<quint16>& serials : {std::vector<quint16>{7}, std::vector<quint16>{7, 8}}) {
        QStringList unreadable;
        const std::vector<float> got =
            readValues(Stamp(2024, 3, 5, 0, 0), Stamp(2024, 3, 9, 0, 0), serials, unreadable);
        const bool with8 = serials.size() == 2;
        const std::vector<float> rest = with8 ? std::vector<float>{-2, -20, -4} : std::vector<float>{-2, -4};
        ASSERT_GT(got.size(), rest.size());
        EXPECT_EQ(std::vector<float>(got.end() - qsizetype(rest.size()), got.end()), rest);
        const std::size_t of8 = std::size_t(std::count_if(got.begin(), got.end() - qsizetype(rest.size()),
                                                          [](float V) { return V >= 100000; }));
        const std::size_t of7 = got.size() - rest.size() - of8;
        // Part of 7's table, counted as taken from it; the whole of 8's.
        EXPECT_GT(of7, 0u);
        EXPECT_LT(of7, 20000u);
        EXPECT_EQ(of8, with8 ? 2000u : 0u);
        EXPECT_EQ(unreadable, (QStringList{QStringLiteral("Measures20240305.cds|7|ошибка чтения файла|") +
                                               QString::number(of7),
                                           QStringLiteral("Measures20240306.cds") + damaged,
                                           QStringLiteral("Measures20240307.cds") + damaged}));
    }
}

// Ten milliseconds pass at every look at the clock.
class SteppingClock : public Clock
{
public:
    qint64 NowMs() override { return now += 10; }
    void SleepMs(int Ms) override { now += Ms; }
    qint64 now = 0;
};

TEST_F(ArchiveReaderTest, WindowMessagesRunEveryThirtyMillisecondsOfReadingNotForEveryRow)
{
    std::vector<TMeasureRecord> rows;
    for (int i = 0; i < 20000; ++i)
        rows.push_back(value(1 + i % 2, Stamp(2024, 3, 5, 1, 0) + double(i / 2) * OneSecond, 1, i));
    store(QStringLiteral("Measures20240305.cds"), rows);

    SteppingClock clock;
    ScopedClock scoped(clock);
    int pumps = 0;
    EventPump::SetHandler([&pumps] { ++pumps; });
    const auto restore = qScopeGuard([] { EventPump::SetHandler({}); });
    for (const std::vector<quint16>& serials : {std::vector<quint16>{1}, std::vector<quint16>{1, 2}}) {
        pumps = 0;
        const std::size_t n = read(Stamp(2024, 3, 5, 0, 0), Stamp(2024, 3, 6, 0, 0), serials).size();
        ASSERT_EQ(n, 10000u * serials.size());
        // The clock is looked at every 64 rows and moves 10 ms each time, so
        // about one pump per 3 looks; never one per row.
        EXPECT_GT(pumps, int(n / 64 / 4));
        EXPECT_LT(pumps, int(n / 64));
    }
}

} // namespace
