#include "ArchiveFixture.h"
#include "archive/ArchiveDay.h"
#include "archive/ArchiveWriter.h"
#include "core/Device.h"
#include "dispatcher/Journal.h"
#include "support/FileSizeLimit.h"
#include "support/JournalLines.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <set>
#include <stdexcept>

namespace {

const QString MeasuresOpenText = QStringLiteral("Не удалось открыть базу данных измерений!");

class ArchiveWriterTest : public ArchiveTest
{
protected:
    ArchiveWriterTest()
    {
        writer.cdsDevices.SetFileName(path(QStringLiteral("Devices.cds")));
        writer.cdsChannels.SetFileName(path(QStringLiteral("Channels.cds")));
    }

    bool add(TDateTime At, float Value, int Channel = 1)
    {
        device.Channel(Channel).Value = Value;
        const bool ok = writer.AddMeasurement(device, Channel, At, err);
        EXPECT_EQ(ok, err.isEmpty());
        return ok;
    }

    std::vector<float> values(const QString& Name) const
    {
        std::vector<float> out;
        for (const TMeasureRecord& r : measures(Name))
            out.push_back(float(r.MeasValue));
        return out;
    }

    // The values of one device, in the order stored.
    std::vector<float> valuesOf(int Serial, const QString& Name) const
    {
        std::vector<float> out;
        for (const TMeasureRecord& r : measures(Name))
            if (r.SerialNum == Serial)
                out.push_back(float(r.MeasValue));
        return out;
    }

    // Each value the count stored before it: nothing lost, nothing twice.
    static bool counting(const std::vector<float>& V)
    {
        for (std::size_t i = 0; i < V.size(); ++i)
            if (V[i] != float(i))
                return false;
        return true;
    }

    // The day file Name of At with value 0 of this device, closed, and Rows
    // values of device 999 added behind the writer's back.
    bool dayWithOtherDevice(TDateTime At, const QString& Name, int Rows)
    {
        if (!add(At, 0))
            return false;
        writer.CloseMeasures();
        RawDb raw(Name);
        return raw.Exec(QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
                                       "WHERE x < %1) INSERT INTO Measures(SerialNum, MeasDateTime, "
                                       "ChannelNum, MeasValue) SELECT 999, 45356.25, 1, x FROM c")
                            .arg(Rows)
                            .toUtf8()
                            .constData());
    }

    TArchiveWriter writer;
    TDevice device{1234};
    QString err;
};

} // namespace

TEST_F(ArchiveWriterTest, ValuesGoToTheFileOfTheirArchiveDay)
{
    FileRebuildHour = 8;
    FileRebuildMin = 30;
    EXPECT_TRUE(add(Stamp(2024, 3, 5, 8, 29, 59, 999), 1));
    EXPECT_EQ(writer.CurrentMeasuresDate(), QStringLiteral("20240304"));
    EXPECT_TRUE(add(Stamp(2024, 3, 5, 8, 30, 0, 0), 2));
    EXPECT_EQ(writer.CurrentMeasuresDate(), QStringLiteral("20240305"));
    EXPECT_TRUE(add(Stamp(2024, 3, 6, 8, 29, 59, 999), 3));
    // The day start plus one day begins the next file.
    EXPECT_TRUE(add(Stamp(2024, 3, 6, 8, 30, 0, 0), 4));
    EXPECT_EQ(writer.CurrentMeasuresDate(), QStringLiteral("20240306"));
    // A late stamp a millisecond before the day start goes back to the day before.
    EXPECT_TRUE(add(Stamp(2024, 3, 6, 8, 29, 59, 999), 5));
    EXPECT_EQ(writer.CurrentMeasuresDate(), QStringLiteral("20240305"));

    EXPECT_EQ(values(QStringLiteral("Measures20240304.cds")), std::vector<float>{1});
    EXPECT_EQ(values(QStringLiteral("Measures20240305.cds")), (std::vector<float>{2, 3, 5}));
    EXPECT_EQ(values(QStringLiteral("Measures20240306.cds")), std::vector<float>{4});

    // A new daily change time counts from the next value on.
    FileRebuildHour = 0;
    FileRebuildMin = 0;
    EXPECT_TRUE(add(Stamp(2024, 3, 7, 0, 0), 6));
    EXPECT_TRUE(add(Stamp(2024, 3, 6, 23, 59, 59, 999), 7));
    EXPECT_EQ(values(QStringLiteral("Measures20240307.cds")), std::vector<float>{6});
    EXPECT_EQ(values(QStringLiteral("Measures20240306.cds")), (std::vector<float>{4, 7}));
}

TEST_F(ArchiveWriterTest, StoredRowsCarryTheValueTheStampAndTheChannel)
{
    device.Channel(2).Value = 0.1f;
    const TDateTime t = Stamp(2024, 3, 5, 0, 0);
    ASSERT_TRUE(writer.AddMeasurement(device, 2, t, err));
    const auto rows = measures(QStringLiteral("Measures20240305.cds"));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].ID, 1);
    EXPECT_EQ(rows[0].SerialNum, 1234);
    EXPECT_EQ(rows[0].MeasDateTime, t);
    EXPECT_EQ(rows[0].ChannelNum, 2);
    EXPECT_EQ(rows[0].MeasValue, double(0.1f));
    // Nothing but the day file was made; the history files are not the writer's to create here.
    EXPECT_EQ(cdsFiles(), QStringList{QStringLiteral("Measures20240305.cds")});

    EXPECT_THROW(writer.AddMeasurement(device, 3, t, err), std::out_of_range);
}

TEST_F(ArchiveWriterTest, RestartOnTheSameDayAppendsToTheDayFile)
{
    const TDateTime t = Stamp(2024, 3, 5, 12, 0);
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(add(t + i * OneSecond, float(i)));
    writer.CloseAll();
    {
        TArchiveWriter restarted;
        EXPECT_TRUE(restarted.CurrentMeasuresDate().isEmpty());
        for (int i = 3; i < 5; ++i) {
            device.Channel(1).Value = float(i);
            ASSERT_TRUE(restarted.AddMeasurement(device, 1, t + i * OneSecond, err));
        }
    }
    const auto rows = measures(QStringLiteral("Measures20240305.cds"));
    ASSERT_EQ(rows.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rows[i].ID, i + 1);
        EXPECT_EQ(rows[i].MeasValue, double(i));
    }
}

TEST_F(ArchiveWriterTest, PollingResumedDaysLaterWritesStraightIntoItsOwnDay)
{
    ASSERT_TRUE(add(Stamp(2024, 3, 5, 23, 0), 1));
    writer.CloseMeasures();
    ASSERT_TRUE(add(Stamp(2024, 3, 9, 1, 0), 2));
    EXPECT_EQ(cdsFiles(),
              (QStringList{QStringLiteral("Measures20240305.cds"), QStringLiteral("Measures20240309.cds")}));
    EXPECT_EQ(values(QStringLiteral("Measures20240309.cds")), std::vector<float>{2});
}

TEST_F(ArchiveWriterTest, EveryValueIsOnDiskWhenTheProgramDies)
{
    constexpr int N = 57;
    const TDateTime t = Stamp(2024, 3, 5, 12, 0);
    const int rc = RunInChild([&] {
        TArchiveWriter w;
        TDevice d(77);
        QString e;
        for (int i = 0; i < N; ++i) {
            d.Channel(1 + i % 2).Value = float(i) / 4;
            if (!w.AddMeasurement(d, 1 + i % 2, t + i * OneSecond, e))
                return 1;
        }
        std::abort(); // no close, no destructors
    });
    ASSERT_EQ(rc, 128 + SIGABRT);
    const auto rows = measures(QStringLiteral("Measures20240305.cds"));
    ASSERT_EQ(rows.size(), std::size_t(N));
    for (int i = 0; i < N; ++i) {
        EXPECT_EQ(rows[i].SerialNum, 77);
        EXPECT_EQ(rows[i].ChannelNum, 1 + i % 2);
        EXPECT_EQ(rows[i].MeasValue, double(i) / 4);
    }
}

TEST_F(ArchiveWriterTest, ForeignDayFileIsLeftAloneAndTheDayGoesOnBesideIt)
{
    writeBytes(path(QStringLiteral("Measures20240305.cds")), QByteArray(5000, 'z'));
    EXPECT_TRUE(add(Stamp(2024, 3, 5, 12, 0), 1));
    EXPECT_TRUE(add(Stamp(2024, 3, 5, 12, 1), 2));
    QFile f(path(QStringLiteral("Measures20240305.cds")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray(5000, 'z'));
    EXPECT_EQ(values(QStringLiteral("Measures20240305_2.cds")), (std::vector<float>{1, 2}));
    // The next day is a file of its own and works.
    EXPECT_TRUE(add(Stamp(2024, 3, 6, 0, 0), 3));
    EXPECT_EQ(values(QStringLiteral("Measures20240306.cds")), std::vector<float>{3});
}

TEST_F(ArchiveWriterTest, VanishedFolderGivesTheTextAndRecoversWhenItIsBack)
{
    const QString sub = dir.filePath(QStringLiteral("arch"));
    ASSERT_TRUE(QDir().mkpath(sub));
    ArchiveDir = sub + QLatin1Char('/');
    writer.cdsDevices.SetFileName(ArchiveDir + QStringLiteral("Devices.cds"));
    writer.cdsChannels.SetFileName(ArchiveDir + QStringLiteral("Channels.cds"));
    device.DeviceType = TDeviceType::ThermoInputs;
    ASSERT_TRUE(writer.UpdateDeviceRecord(device, err));
    device.Comment = QStringLiteral("A");
    ASSERT_TRUE(writer.UpdateDeviceRecord(device, err)); // appended, then closed
    ASSERT_TRUE(writer.UpdateDeviceRecord(device, err)); // unchanged, stays open
    ASSERT_TRUE(add(Stamp(2024, 3, 5, 12, 0), 1));
    ASSERT_TRUE(writer.cdsMeasures.Active());
    ASSERT_TRUE(writer.cdsDevices.Active());

    ASSERT_TRUE(QDir(sub).removeRecursively());
    EXPECT_FALSE(add(Stamp(2024, 3, 5, 12, 1), 2));
    EXPECT_EQ(err, MeasuresOpenText);
    EXPECT_FALSE(add(Stamp(2024, 3, 5, 12, 2), 3));
    EXPECT_EQ(err, MeasuresOpenText);
    device.Comment = QStringLiteral("B");
    EXPECT_FALSE(writer.UpdateDeviceRecord(device, err));
    EXPECT_EQ(err, QStringLiteral("Не удалось открыть базу данных устройств!"));
    EXPECT_FALSE(writer.UpdateChannelRecords(device, err));
    EXPECT_EQ(err, QStringLiteral("Не удалось открыть базу данных каналов устройств!"));

    ASSERT_TRUE(QDir().mkpath(sub));
    EXPECT_TRUE(add(Stamp(2024, 3, 5, 12, 3), 4));
    EXPECT_TRUE(writer.UpdateDeviceRecord(device, err));
    EXPECT_TRUE(writer.UpdateChannelRecords(device, err)) << err.toStdString();
    ArchiveDir = sub + QLatin1Char('/');
    EXPECT_EQ(values(QStringLiteral("Measures20240305.cds")), std::vector<float>{4});
    ASSERT_EQ(deviceRows().size(), 1u);
    EXPECT_EQ(deviceRows()[0].Comment, QStringLiteral("B"));
}

TEST_F(ArchiveWriterTest, FullDiskGivesTheTextAndTheNextValueTriesAgain)
{
    const TDateTime t = Stamp(2024, 3, 5, 12, 0);
    ASSERT_TRUE(add(t, 0));
    writer.CloseMeasures();
    // A file size limit makes writes fail as a full disk would, in a child so
    // the limit stays there.
    const int rc = RunInChild([&] {
        std::optional<FileSizeLimit> full(std::in_place, 256 * 1024);
        if (!full->ok())
            return 10;
        // Each value is the count stored before it, so the file shows any gap.
        int stored = 1;
        int failures = 0;
        QString e;
        for (int i = 1; i < 30000 && failures < 20; ++i) {
            device.Channel(1).Value = float(stored);
            if (writer.AddMeasurement(device, 1, t + i * OneSecond, e)) {
                ++stored;
            } else {
                ++failures;
                if (e != QStringLiteral("Не удалось записать данные в базу данных измерений!") &&
                    e != MeasuresOpenText)
                    return 12;
            }
        }
        if (failures == 0)
            return 11;
        full.reset();
        device.Channel(1).Value = float(stored);
        if (!writer.AddMeasurement(device, 1, t + 30001 * OneSecond, e))
            return 14;
        writer.CloseAll();
        return 0;
    });
    ASSERT_EQ(rc, 0);
    // Every value reported stored is there, in order, the failed ones are not,
    // and the value after the disk had room again is the last.
    const auto stored = values(QStringLiteral("Measures20240305.cds"));
    ASSERT_GE(stored.size(), 3u);
    for (std::size_t i = 0; i < stored.size(); ++i)
        EXPECT_EQ(stored[i], float(i));
    EXPECT_EQ(measures(QStringLiteral("Measures20240305.cds")).back().MeasDateTime, t + 30001 * OneSecond);
}

TEST_F(ArchiveWriterTest, FullDiskKeepsTheLogBoundedAndItIsMergedBackBeforeTheNextValue)
{
    // Another device's day so far; the file cannot grow, so no checkpoint can
    // merge the log back. A large file leaves the log room to meet its own bound,
    // a small one has the log meet the limit first.
    for (const int rows : {120000, 8000}) {
        SCOPED_TRACE(rows);
        const TDateTime t = Stamp(2024, 3, rows > 10000 ? 5 : 6, 12, 0);
        const QString name = path(rows > 10000 ? QStringLiteral("Measures20240305.cds")
                                               : QStringLiteral("Measures20240306.cds"));
        const QString wal = name + QStringLiteral("-wal");
        ASSERT_TRUE(dayWithOtherDevice(t, name, rows));
        const qint64 fileSize = QFileInfo(name).size();
        const int rc = RunInChild([&] {
            std::optional<FileSizeLimit> full(std::in_place, rlim_t(fileSize));
            int stored = 1;
            int failures = 0;
            QString e;
            for (int i = 1; i < 20000 && failures < 50; ++i) {
                device.Channel(1).Value = float(stored);
                writer.AddMeasurement(device, 1, t + i * OneSecond, e) ? ++stored : ++failures;
            }
            // Refused well before the limit, or filled up to it.
            const qint64 walSize = QFileInfo(wal).size();
            if (!full->ok() || failures < 50 ||
                (rows > 10000 ? walSize > 2 * 1024 * 1024 : walSize < fileSize / 2))
                return 10;
            // A little room again: it goes to merging the log back, not to the log.
            full.emplace(rlim_t(fileSize + 256 * 1024));
            device.Channel(1).Value = float(stored);
            if (!writer.AddMeasurement(device, 1, t + 20000 * OneSecond, e) ||
                QFileInfo(wal).size() > 64 * 1024)
                return 11;
            writer.CloseAll();
            return 0;
        });
        ASSERT_EQ(rc, 0);
        EXPECT_FALSE(QFileInfo::exists(wal));
        const std::vector<float> stored = valuesOf(1234, QFileInfo(name).fileName());
        ASSERT_GT(stored.size(), 2u);
        EXPECT_TRUE(counting(stored));
    }
}

TEST_F(ArchiveWriterTest, DamagedDayFileStaysAsItIsAndTheDayGoesOnInTheNextFile)
{
    HookedJournal journal;
    TDateTime t = Stamp(2024, 3, 5, 12, 0);
    for (int i = 0; i < 3000; ++i) {
        TDevice d(quint16(100 + i % 10));
        d.Channel(1).Value = float(i);
        ASSERT_TRUE(writer.AddMeasurement(d, 1, t += OneSecond, err));
    }
    writer.CloseAll();
    // Damaged inside: the header and the last pages, which appends touch, stay whole.
    const QString first = path(QStringLiteral("Measures20240305.cds"));
    const QByteArray damaged = damageMiddleThird(first, 21);
    ASSERT_FALSE(damaged.isEmpty());
    const auto bytes = [](const QString& Name) {
        QFile f(Name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };

    // A new run each value: the first goes to the next file, the later ones follow
    // it silently.
    const auto runWith = [&](float Value) {
        TArchiveWriter next;
        device.Channel(1).Value = Value;
        EXPECT_TRUE(next.AddMeasurement(device, 1, t += OneSecond, err)) << err.toStdString();
        next.CloseAll();
    };
    runWith(0);
    runWith(1);
    EXPECT_TRUE(bytes(first) == damaged);
    const QString second = path(QStringLiteral("Measures20240305_2.cds"));
    EXPECT_EQ(JournalLines(journal),
              QStringList{QStringLiteral("Файл архива \"") + first +
                          QStringLiteral("\" повреждён и оставлен без изменений; измерения за эти сутки "
                                         "записываются в файл \"") +
                          second + QStringLiteral("\"")});
    EXPECT_EQ(values(QStringLiteral("Measures20240305_2.cds")), (std::vector<float>{0, 1}));

    // A damaged continuation file gives the next one.
    writeBytes(second, QByteArray(3000, 'x'));
    runWith(2);
    EXPECT_EQ(values(QStringLiteral("Measures20240305_3.cds")), std::vector<float>{2});
    EXPECT_EQ(bytes(second), QByteArray(3000, 'x'));
    EXPECT_EQ(journal.Lines().size(), 2);
}

TEST_F(ArchiveWriterTest, LogThatMeetsTheLimitIsMergedBackAndStaysSmallUntilThereIsRoom)
{
    // Room for the file but not for a log grown to its checkpoint size; the log
    // meets it at a known device's value, or at one whose first value of the day
    // makes its table. The room left after the merge goes to values, not to the
    // log growing back into it; with the limit gone the log has its usual bound.
    for (const bool newDevices : {false, true}) {
        SCOPED_TRACE(newDevices);
        const TDateTime t = Stamp(2024, 3, newDevices ? 6 : 5, 12, 0);
        ASSERT_TRUE(add(t, 0));
        writer.CloseMeasures();
        const QString wal = writer.cdsMeasures.FileName() + QStringLiteral("-wal");
        const int count = newDevices ? 300 : 2000;
        const int rc = RunInChild([&] {
            std::optional<FileSizeLimit> full(std::in_place, newDevices ? 400 * 1024 : 200 * 1024);
            qint64 last = 0;
            qint64 largestAfterMerge = -1; // -1: not merged back yet
            QString e;
            for (int i = 1; i <= count + 300 && (!full || full->ok()); ++i) {
                if (i > count)
                    full.reset();
                TDevice d(quint16(newDevices ? 2000 + i : 1234));
                d.Channel(1).Value = float(i);
                if (!writer.AddMeasurement(d, 1, t + i * OneSecond, e))
                    return 11;
                const qint64 size = QFileInfo(wal).size();
                if (i <= count && (largestAfterMerge >= 0 || size < last))
                    largestAfterMerge = std::max(largestAfterMerge, size);
                last = size;
            }
            writer.CloseAll();
            return largestAfterMerge < 0           ? 10
                   : largestAfterMerge > 64 * 1024 ? 12
                   : last <= 64 * 1024             ? 13
                                                   : 0;
        });
        EXPECT_EQ(rc, 0);
        const std::vector<float> stored = values(QFileInfo(writer.cdsMeasures.FileName()).fileName());
        EXPECT_EQ(stored.size(), std::size_t(count + 301));
        EXPECT_TRUE(counting(stored));
    }
}

TEST_F(ArchiveWriterTest, TwoCopiesMakingTheSameDayFileAtOnceStoreEveryValueOnce)
{
    constexpr int Values = 40;
    const TDateTime t = Stamp(2024, 3, 5, 12, 0);
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        const QString sub = dir.filePath(QStringLiteral("run") + QString::number(round));
        ASSERT_TRUE(QDir().mkpath(sub));
        ArchiveDir = sub + QLatin1Char('/');
        // Both copies wait on the pipe; closing it starts them together.
        int start[2];
        ASSERT_EQ(::pipe(start), 0);
        std::fflush(stdout);
        std::fflush(stderr);
        pid_t copies[2];
        for (int copy = 0; copy < 2; ++copy) {
            if ((copies[copy] = fork()) != 0)
                continue;
            ::close(start[1]);
            char byte = 0;
            if (::read(start[0], &byte, 1) != 0)
                _exit(20);
            // A device both copies poll and one of each copy's own.
            TDevice devices[2] = {TDevice(1234), TDevice(quint16(2000 + copy))};
            TArchiveWriter w;
            QString e;
            for (int i = 0; i < Values; ++i) {
                devices[i % 2].Channel(1).Value = float(copy * 1000 + i);
                if (!w.AddMeasurement(devices[i % 2], 1, t + i * OneSecond, e))
                    _exit(21);
            }
            w.CloseAll();
            _exit(0);
        }
        ::close(start[0]);
        ::close(start[1]);
        for (const pid_t pid : copies) {
            int status = -1;
            ASSERT_EQ(waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
        // One day file, nothing judged damaged, no temporary left behind (a log
        // may stay when both close at the same moment).
        EXPECT_EQ(QDir(sub).entryList({QStringLiteral("*.cds"), QStringLiteral("*.tmp*")},
                                      QDir::Files | QDir::Hidden),
                  QStringList{"Measures20240305.cds"});
        std::multiset<float> stored, expected;
        std::set<qint64> ids;
        for (const TMeasureRecord& r : measures(QStringLiteral("Measures20240305.cds"))) {
            stored.insert(float(r.MeasValue));
            ids.insert(r.ID);
        }
        for (int i = 0; i < 2 * Values; ++i)
            expected.insert(float(i / Values * 1000 + i % Values));
        EXPECT_EQ(stored, expected);
        EXPECT_EQ(ids.size(), stored.size());
    }
}
