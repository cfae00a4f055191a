#include "ArchiveFixture.h"
#include "archive/ArchiveStore.h"

#include <cmath>
#include <unistd.h>

namespace {

class ArchiveStoreTest : public ArchiveTest
{
protected:
    // A new file of the kind, opened.
    void makeOpen(TArchiveStore& Store, const QString& Name)
    {
        Store.SetFileName(path(Name));
        QString err;
        ASSERT_EQ(Store.Create(err), TArchiveStore::TCreateResult::Created) << err.toStdString();
        ASSERT_TRUE(Store.Open(err));
        EXPECT_TRUE(err.isEmpty());
    }
};

} // namespace

TEST_F(ArchiveStoreTest, FilesHoldTheirTablesFieldsAndIndexes)
{
    const struct
    {
        TArchiveKind Kind;
        const char* Name;
        QStringList Fields;
        QStringList Indexes;
    } kinds[] = {
        {TArchiveKind::Devices,
         "Devices.cds",
         {"ID", "UpdateDateTime", "SerialNum", "DeviceType", "Comment"},
         {"SerialIdx", "TIdx"}},
        {TArchiveKind::Channels,
         "Channels.cds",
         {"ID", "UpdateDateTime", "SerialNum", "ChannelNum", "SensorType", "MinAlert", "MaxAlert", "MinBound",
          "MaxBound", "QuantityName", "MeasUnitName"},
         {"SerialIdx", "TIdx"}},
        {TArchiveKind::Measures,
         "Measures20240305.cds",
         {"ID", "SerialNum", "MeasDateTime", "ChannelNum", "MeasValue"},
         {"SerialIdx", "TSCIdx"}},
    };
    for (const auto& k : kinds) {
        SCOPED_TRACE(k.Name);
        TArchiveStore store(k.Kind);
        makeOpen(store, QString::fromLatin1(k.Name));
        store.Close();
        // Closed: one whole file, no write-ahead log beside it, no temporary left.
        EXPECT_EQ(files(), QStringList{QString::fromLatin1(k.Name)});

        {
            RawDb raw(path(QString::fromLatin1(k.Name)));
            const QString table = store.Kind() == TArchiveKind::Devices    ? QStringLiteral("Devices")
                                  : store.Kind() == TArchiveKind::Channels ? QStringLiteral("Channels")
                                                                           : QStringLiteral("Measures");
            EXPECT_EQ(
                raw.Column(("SELECT name FROM pragma_table_info('" + table.toStdString() + "')").c_str()),
                k.Fields);
            EXPECT_EQ(raw.Column("SELECT name FROM sqlite_schema WHERE type = 'index' ORDER BY name"),
                      k.Indexes);
            EXPECT_EQ(raw.Column(("SELECT count(*) FROM " + table.toStdString()).c_str()), QStringList{"0"});
            EXPECT_EQ(raw.Column("PRAGMA journal_mode"), QStringList{"wal"});
        }
        QFile::remove(path(QString::fromLatin1(k.Name)));
    }
}

TEST_F(ArchiveStoreTest, IndexDirectionsAndKeysAreTheNamedOnes)
{
    TArchiveStore devices(TArchiveKind::Devices);
    makeOpen(devices, QStringLiteral("Devices.cds"));
    TArchiveStore measures(TArchiveKind::Measures);
    makeOpen(measures, QStringLiteral("Measures20240305.cds"));
    RawDb d(path(QStringLiteral("Devices.cds")));
    EXPECT_EQ(d.Column("SELECT name || ':' || desc FROM pragma_index_xinfo('TIdx') WHERE key"),
              QStringList{"UpdateDateTime:1"});
    RawDb m(path(QStringLiteral("Measures20240305.cds")));
    EXPECT_EQ(m.Column("SELECT name || ':' || desc FROM pragma_index_xinfo('TSCIdx') WHERE key"),
              (QStringList{"MeasDateTime:0", "SerialNum:0", "ChannelNum:0"}));
}

TEST_F(ArchiveStoreTest, ValuesComeBackExactlyAndTextsKeepTheirFieldSizes)
{
    TArchiveStore channels(TArchiveKind::Channels);
    makeOpen(channels, QStringLiteral("Channels.cds"));
    TChannelRecord rec;
    rec.UpdateDateTime = Stamp(2024, 3, 5, 10, 0, 0, 1);
    rec.SerialNum = 65535;
    rec.ChannelNum = 2;
    rec.SensorType = 1 * 256 + 3;
    rec.MinAlert = double(0.1f);
    rec.MaxAlert = double(-1e-30f);
    rec.MinBound = double(3.4e38f);
    rec.MaxBound = double(std::nextafter(1.0f, 2.0f));
    rec.QuantityName = QStringLiteral("Температура теплоносителя подачи"); // 32 characters
    rec.MeasUnitName = QStringLiteral("°C");
    QString err;
    ASSERT_TRUE(channels.AppendChannel(rec, err));

    TChannelRecord back;
    ASSERT_TRUE(channels.NewestChannel(65535, 2, back, err));
    EXPECT_EQ(back.ID, 1);
    EXPECT_EQ(back.UpdateDateTime, rec.UpdateDateTime);
    EXPECT_EQ(back.SensorType, 259);
    EXPECT_EQ(float(back.MinAlert), 0.1f);
    EXPECT_EQ(back.MinAlert, double(0.1f));
    EXPECT_EQ(back.MaxAlert, rec.MaxAlert);
    EXPECT_EQ(back.MinBound, rec.MinBound);
    EXPECT_EQ(back.MaxBound, rec.MaxBound);
    EXPECT_EQ(back.QuantityName, rec.QuantityName.left(24));
    EXPECT_EQ(back.MeasUnitName, QStringLiteral("°C"));

    TArchiveStore devices(TArchiveKind::Devices);
    makeOpen(devices, QStringLiteral("Devices.cds"));
    TDeviceRecord dev;
    dev.SerialNum = 7;
    dev.Comment = QString(40, QChar(u'Ж'));
    ASSERT_TRUE(devices.AppendDevice(dev, err));
    TDeviceRecord devBack;
    ASSERT_TRUE(devices.NewestDevice(7, devBack, err));
    EXPECT_EQ(devBack.Comment, QString(32, QChar(u'Ж')));

    // The file itself refuses what the fields cannot hold.
    RawDb raw(path(QStringLiteral("Devices.cds")));
    EXPECT_FALSE(raw.Exec("INSERT INTO Devices(Comment) VALUES('123456789012345678901234567890123')"));
    EXPECT_FALSE(raw.Exec("INSERT INTO Devices(SerialNum) VALUES(2147483648)"));
    EXPECT_FALSE(raw.Exec("INSERT INTO Devices(SerialNum) VALUES('abc')"));
}

TEST_F(ArchiveStoreTest, NullFieldsAndMissingRowsReadAsZeroAndEmpty)
{
    TArchiveStore channels(TArchiveKind::Channels);
    makeOpen(channels, QStringLiteral("Channels.cds"));
    {
        RawDb raw(path(QStringLiteral("Channels.cds")));
        ASSERT_TRUE(
            raw.Exec("INSERT INTO Channels(SerialNum, ChannelNum, UpdateDateTime) VALUES(5, 1, 45000)"));
    }
    TChannelRecord rec;
    rec.MinAlert = 9;
    rec.QuantityName = QStringLiteral("x");
    QString err;
    ASSERT_TRUE(channels.NewestChannel(5, 1, rec, err));
    EXPECT_EQ(rec.SerialNum, 5);
    EXPECT_EQ(rec.SensorType, 0);
    EXPECT_EQ(rec.MinAlert, 0.0);
    EXPECT_TRUE(rec.QuantityName.isEmpty());
    EXPECT_TRUE(rec.MeasUnitName.isEmpty());

    rec.MaxBound = 3;
    ASSERT_TRUE(channels.NewestChannel(5, 2, rec, err));
    EXPECT_EQ(rec.ID, 0);
    EXPECT_EQ(rec.MaxBound, 0.0);
    ASSERT_TRUE(channels.ChannelInForce(5, 1, 44999, rec, err));
    EXPECT_EQ(rec.ID, 0);
}

TEST_F(ArchiveStoreTest, RowInForceIsTheNewestNotLaterThanTheTime)
{
    TArchiveStore devices(TArchiveKind::Devices);
    makeOpen(devices, QStringLiteral("Devices.cds"));
    QString err;
    const auto add = [&](qint32 Serial, TDateTime At, const QString& Comment) {
        TDeviceRecord r;
        r.SerialNum = Serial;
        r.UpdateDateTime = At;
        r.DeviceType = 1;
        r.Comment = Comment;
        ASSERT_TRUE(devices.AppendDevice(r, err));
    };
    const TDateTime t1 = Stamp(2024, 3, 1, 12, 0), t2 = Stamp(2024, 3, 3, 12, 0),
                    t3 = Stamp(2024, 3, 5, 12, 0);
    add(10, t2, QStringLiteral("b"));
    add(10, t1, QStringLiteral("a")); // written later with an earlier clock
    add(11, t3, QStringLiteral("other"));
    add(10, t3, QStringLiteral("c"));
    add(10, t3, QStringLiteral("d")); // same time stamp: the later row wins

    TDeviceRecord r;
    ASSERT_TRUE(devices.NewestDevice(10, r, err));
    EXPECT_EQ(r.Comment, QStringLiteral("d"));
    ASSERT_TRUE(devices.DeviceInForce(10, t2 + OneSecond, r, err));
    EXPECT_EQ(r.Comment, QStringLiteral("b"));
    ASSERT_TRUE(devices.DeviceInForce(10, t2, r, err));
    EXPECT_EQ(r.Comment, QStringLiteral("b"));
    ASSERT_TRUE(devices.DeviceInForce(10, t2 - OneSecond, r, err));
    EXPECT_EQ(r.Comment, QStringLiteral("a"));
    ASSERT_TRUE(devices.DeviceInForce(10, t1 - OneSecond, r, err));
    EXPECT_EQ(r.ID, 0);
    EXPECT_TRUE(r.Comment.isEmpty());
    ASSERT_TRUE(devices.DeviceInForce(11, t3, r, err));
    EXPECT_EQ(r.Comment, QStringLiteral("other"));
}

TEST_F(ArchiveStoreTest, ValuesReadInIndexOrderAndPerDevice)
{
    TArchiveStore measures(TArchiveKind::Measures);
    makeOpen(measures, QStringLiteral("Measures20240305.cds"));
    const TDateTime t0 = Stamp(2024, 3, 5, 10, 0);
    QString err;
    const auto add = [&](qint32 Serial, TDateTime At, qint32 Ch, double V) {
        ASSERT_TRUE(measures.AppendMeasure({0, Serial, At, Ch, V}, err));
    };
    add(2, t0 + 2 * OneSecond, 2, 22);
    add(2, t0 + 2 * OneSecond, 1, 21);
    add(1, t0 + 2 * OneSecond, 1, 11);
    add(2, t0, 1, 1);
    add(2, t0 + 5 * OneSecond, 1, 5);

    std::vector<double> values;
    ASSERT_TRUE(measures.ReadMeasures(
        t0, t0 + 2 * OneSecond, [&](const TMeasureRecord& R) { values.push_back(R.MeasValue); }, err));
    EXPECT_EQ(values, (std::vector<double>{1, 11, 21, 22}));

    values.clear();
    ASSERT_TRUE(measures.ReadDeviceMeasures(
        2, t0 + OneSecond, t0 + 5 * OneSecond,
        [&](const TMeasureRecord& R) {
            EXPECT_EQ(R.SerialNum, 2);
            values.push_back(R.MeasValue);
        },
        err));
    EXPECT_EQ(values, (std::vector<double>{21, 22, 5}));

    values.clear();
    ASSERT_TRUE(measures.ReadDeviceMeasures(
        3, 0, 1e6, [&](const TMeasureRecord& R) { values.push_back(R.MeasValue); }, err));
    EXPECT_TRUE(values.empty());
}

TEST_F(ArchiveStoreTest, ForeignDamagedAndMissingFilesGiveTheOpenText)
{
    const QString name = path(QStringLiteral("Measures20240305.cds"));
    const QString text = QStringLiteral("Не удалось открыть базу данных измерений!");
    TArchiveStore store(TArchiveKind::Measures);
    store.SetFileName(name);
    QString err;

    EXPECT_FALSE(store.Open(err)); // missing
    EXPECT_EQ(err, text);

    const auto refused = [&](const char* What) {
        SCOPED_TRACE(What);
        err.clear();
        EXPECT_FALSE(store.Open(err));
        EXPECT_EQ(err, text);
        EXPECT_FALSE(store.Active());
        QFile::remove(name);
        QFile::remove(name + QStringLiteral("-wal"));
        QFile::remove(name + QStringLiteral("-shm"));
    };

    writeBytes(name, QByteArray());
    refused("empty file");
    writeBytes(name, QByteArray(10000, 'x'));
    refused("not a database");
    writeBytes(name, QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\xff'));
    refused("damaged header");
    {
        RawDb other(name);
        ASSERT_TRUE(other.Exec("CREATE TABLE Measures(ID, SerialNum, MeasDateTime, ChannelNum, MeasValue)"));
    }
    refused("another program's database");
    {
        TArchiveStore channels(TArchiveKind::Channels);
        channels.SetFileName(name);
        ASSERT_EQ(channels.Create(err), TArchiveStore::TCreateResult::Created);
    }
    refused("a history file under a day file's name");
    {
        TArchiveStore later(TArchiveKind::Measures);
        later.SetFileName(name);
        ASSERT_EQ(later.Create(err), TArchiveStore::TCreateResult::Created);
        RawDb raw(name);
        ASSERT_TRUE(raw.Exec("PRAGMA user_version = 3"));
    }
    refused("a later schema");

    // Damage deep inside an otherwise good file shows when it is read or written.
    {
        TArchiveStore good(TArchiveKind::Measures);
        good.SetFileName(name);
        ASSERT_EQ(good.Create(err), TArchiveStore::TCreateResult::Created);
        ASSERT_TRUE(good.Open(err));
        for (int i = 0; i < 3000; ++i)
            ASSERT_TRUE(good.AppendMeasure({0, i % 10, 45000.0 + i * OneSecond, 1 + i % 2, double(i)}, err));
    }
    {
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_GT(f.size(), 8 * 4096);
        for (qint64 page = 2; page * 4096 < f.size(); ++page) {
            f.seek(page * 4096);
            f.write(QByteArray(4096, '\x5a'));
        }
    }
    if (store.Open(err)) {
        int rows = 0;
        EXPECT_FALSE(store.ReadMeasures(
            0, 1e6, [&](const TMeasureRecord&) { ++rows; }, err));
        EXPECT_EQ(err, text);
        store.Close();
    } else {
        EXPECT_EQ(err, text);
    }
}

TEST_F(ArchiveStoreTest, MissingNamedIndexesAreAddedOnOpen)
{
    TArchiveStore store(TArchiveKind::Measures);
    makeOpen(store, QStringLiteral("Measures20240305.cds"));
    store.Close();
    {
        RawDb raw(path(QStringLiteral("Measures20240305.cds")));
        ASSERT_TRUE(raw.Exec("DROP INDEX TSCIdx; DROP INDEX SerialIdx"));
    }
    QString err;
    ASSERT_TRUE(store.Open(err));
    RawDb raw(path(QStringLiteral("Measures20240305.cds")));
    EXPECT_EQ(raw.Column("SELECT name FROM sqlite_schema WHERE type = 'index' ORDER BY name"),
              (QStringList{"SerialIdx", "TSCIdx"}));
}

TEST_F(ArchiveStoreTest, CreateLeavesAnExistingFileAloneAndReportsAnUnwritableFolder)
{
    TArchiveStore store(TArchiveKind::Devices);
    store.SetFileName(path(QStringLiteral("Devices.cds")));
    writeBytes(store.FileName(), "not ours");
    QString err;
    EXPECT_EQ(store.Create(err), TArchiveStore::TCreateResult::Created);
    QFile f(store.FileName());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("not ours"));
    EXPECT_EQ(files(), QStringList{QStringLiteral("Devices.cds")});

    store.SetFileName(path(QStringLiteral("gone/Devices.cds")));
    EXPECT_EQ(store.Create(err), TArchiveStore::TCreateResult::NotWritten);
    EXPECT_FALSE(err.isEmpty());
}

TEST_F(ArchiveStoreTest, ReadOnlyFolderIsNamedAsTheCause)
{
    // Root may write anywhere: the check runs as an ordinary user then.
    const QString folder = dir.filePath(QStringLiteral("ro"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    const int rc = RunInChild([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return 10;
        for (const TArchiveKind kind : {TArchiveKind::Devices, TArchiveKind::Measures}) {
            TArchiveStore store(kind);
            store.SetFileName(folder + QStringLiteral("/Devices.cds"));
            QString err;
            if (store.Create(err) != TArchiveStore::TCreateResult::NotWritten ||
                err != QStringLiteral("доступ запрещён"))
                return 11;
        }
        return 0;
    });
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(QDir(folder).isEmpty());
}

TEST_F(ArchiveStoreTest, ClosedFileAloneHoldsEveryRow)
{
    TArchiveStore store(TArchiveKind::Measures);
    makeOpen(store, QStringLiteral("Measures20240305.cds"));
    QString err;
    for (int i = 0; i < 500; ++i)
        ASSERT_TRUE(store.AppendMeasure({0, 1, 45000.0 + i * OneSecond, 1, double(i)}, err));
    store.Close();
    // Copied without anything beside it, as a user would carry it away.
    ASSERT_TRUE(QDir().mkpath(dir.filePath(QStringLiteral("copy"))));
    ASSERT_TRUE(QFile::copy(path(QStringLiteral("Measures20240305.cds")),
                            dir.filePath(QStringLiteral("copy/Measures20240305.cds"))));
    EXPECT_EQ(files(), QStringList{QStringLiteral("Measures20240305.cds")});
    TArchiveStore copy(TArchiveKind::Measures);
    copy.SetFileName(dir.filePath(QStringLiteral("copy/Measures20240305.cds")));
    ASSERT_TRUE(copy.Open(err));
    int rows = 0;
    ASSERT_TRUE(copy.ReadMeasures(
        0, 1e6, [&](const TMeasureRecord& R) { EXPECT_EQ(R.MeasValue, rows++); }, err));
    EXPECT_EQ(rows, 500);
}

TEST_F(ArchiveStoreTest, DayFileWrittenOverInPlaceAfterItsPageCheckIsCheckedAgain)
{
    const QString name = QStringLiteral("Measures20240305.cds");
    const TDateTime t0 = Stamp(2024, 3, 5, 10, 0);
    TArchiveStore store(TArchiveKind::Measures);
    makeOpen(store, name);
    std::vector<TMeasureRecord> recs;
    for (int i = 0; i < 3000; ++i)
        recs.push_back({0, 1, t0 + i * OneSecond, 1, double(i)});
    QString err;
    ASSERT_TRUE(store.AppendMeasures(recs, err));
    store.Close();
    ASSERT_TRUE(store.Open(err, true)) << err.toStdString();
    store.Close();

    // Written over in place, as another file's bytes copied over it would be.
    ASSERT_FALSE(damageMiddleThird(path(name), 5).isEmpty());
    EXPECT_FALSE(store.Open(err, true));
    EXPECT_EQ(err, store.OpenErrorText());
    EXPECT_TRUE(store.Damaged());
}
