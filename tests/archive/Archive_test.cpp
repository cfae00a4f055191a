#include "ArchiveFixture.h"
#include "archive/Archive.h"
#include "platform/Prompts.h"

#include <QFileInfo>
#include <QSignalSpy>

namespace {

class RecordingPrompts : public Prompts
{
public:
    void Message(QWidget*, const QString& Text, const QString& Caption, QMessageBox::Icon Icon) override
    {
        Messages << Caption + QStringLiteral("|") + Text;
        Icons << Icon;
    }

    QStringList Messages;
    QList<QMessageBox::Icon> Icons;
};

class FormArchiveTest : public ArchiveTest
{
protected:
    FormArchiveTest() { Prompts::SetCurrent(&prompts); }
    ~FormArchiveTest() override { Prompts::SetCurrent(nullptr); }

    RecordingPrompts prompts;
    TFormArchive form;
};

} // namespace

TEST_F(FormArchiveTest, EmptyFolderGetsTheTwoHistoryFilesAndNoDayFile)
{
    form.InitArchiveFiles();
    EXPECT_EQ(files(), (QStringList{QStringLiteral("Channels.cds"), QStringLiteral("Devices.cds")}));
    EXPECT_TRUE(deviceRows().empty());
    EXPECT_TRUE(channelRows().empty());
    EXPECT_EQ(form.Writer().cdsDevices.FileName(), path(QStringLiteral("Devices.cds")));
    EXPECT_EQ(form.Writer().cdsChannels.FileName(), path(QStringLiteral("Channels.cds")));
    EXPECT_FALSE(form.Writer().cdsDevices.Active());
    EXPECT_TRUE(form.Writer().CurrentMeasuresDate().isEmpty());
    EXPECT_TRUE(prompts.Messages.isEmpty());
}

TEST_F(FormArchiveTest, AnExistingHistoryFileIsLeftUntouched)
{
    {
        TArchiveStore devices(TArchiveKind::Devices);
        devices.SetFileName(path(QStringLiteral("Devices.cds")));
        QString err;
        ASSERT_EQ(devices.Create(err), TArchiveStore::TCreateResult::Created);
        ASSERT_TRUE(devices.Open(err));
        ASSERT_TRUE(devices.AppendDevice({0, 45000.5, 12, 2, QStringLiteral("old")}, err));
    }
    QFile before(path(QStringLiteral("Devices.cds")));
    ASSERT_TRUE(before.open(QIODevice::ReadOnly));
    const QByteArray bytes = before.readAll();
    const QDateTime modified = QFileInfo(before).lastModified();

    form.InitArchiveFiles();
    EXPECT_EQ(files(), (QStringList{QStringLiteral("Channels.cds"), QStringLiteral("Devices.cds")}));
    QFile after(path(QStringLiteral("Devices.cds")));
    ASSERT_TRUE(after.open(QIODevice::ReadOnly));
    EXPECT_EQ(after.readAll(), bytes);
    EXPECT_EQ(QFileInfo(after).lastModified(), modified);
    EXPECT_TRUE(channelRows().empty());
    ASSERT_EQ(deviceRows().size(), 1u);
}

TEST_F(FormArchiveTest, FileThatCannotBeCreatedIsReportedAndEndsTheRun)
{
    QSignalSpy terminate(&form, &TFormArchive::TerminateApplication);
    ArchiveDir = path(QStringLiteral("missing/"));
    form.InitArchiveFiles();
    ASSERT_EQ(prompts.Messages.size(), 2);
    const QString tail = QStringLiteral("\"!\r\nУстраните причину и перезапустите программу.");
    const QString dev = QStringLiteral("Кловарис|Не удалось создать файл базы данных устройств: \"");
    const QString chn = QStringLiteral("Кловарис|Не удалось создать файл базы данных каналов устройств: \"");
    EXPECT_TRUE(prompts.Messages[0].startsWith(dev) && prompts.Messages[0].endsWith(tail))
        << prompts.Messages[0].toStdString();
    EXPECT_TRUE(prompts.Messages[1].startsWith(chn) && prompts.Messages[1].endsWith(tail))
        << prompts.Messages[1].toStdString();
    // The system's reason sits between the quotes.
    EXPECT_GT(prompts.Messages[0].size(), dev.size() + tail.size());
    EXPECT_EQ(prompts.Icons, (QList<QMessageBox::Icon>{QMessageBox::Critical, QMessageBox::Critical}));
    EXPECT_EQ(terminate.count(), 2);
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(FormArchiveTest, StoreWithoutAFileCannotBeOpenedForWriting)
{
    QSignalSpy terminate(&form, &TFormArchive::TerminateApplication);
    TArchiveStore unnamed(TArchiveKind::Measures);
    EXPECT_FALSE(form.InitArchiveFile(unnamed, QStringLiteral("измерений")));
    EXPECT_EQ(prompts.Messages, QStringList{QStringLiteral(
                                    "Кловарис|Не удалось открыть базу данных измерений! Устаните причину и "
                                    "перезапустите программу.")});
    EXPECT_EQ(terminate.count(), 0);
    EXPECT_TRUE(files().isEmpty());
}

TEST_F(FormArchiveTest, DeviceHistoryGrowsOnlyOnAChange)
{
    form.InitArchiveFiles();
    TArchiveWriter& w = form.Writer();
    QString err = QStringLiteral("stale");
    TDevice unknown(500);
    // Type 0 and an empty comment equal what a missing row reads as.
    EXPECT_TRUE(w.UpdateDeviceRecord(unknown, err));
    EXPECT_TRUE(err.isEmpty());
    EXPECT_TRUE(deviceRows().empty());

    TDevice d(501);
    d.DeviceType = TDeviceType::UnifiedInputs;
    d.Comment = QStringLiteral("Котельная №2");
    const TDateTime before = NowTDateTime();
    EXPECT_TRUE(w.UpdateDeviceRecord(d, err));
    EXPECT_TRUE(w.UpdateDeviceRecord(d, err));
    auto rows = deviceRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].SerialNum, 501);
    EXPECT_EQ(rows[0].DeviceType, 2);
    EXPECT_EQ(rows[0].Comment, d.Comment);
    EXPECT_GE(rows[0].UpdateDateTime, before);
    EXPECT_LE(rows[0].UpdateDateTime, NowTDateTime());

    d.Comment = QStringLiteral("котельная №2"); // case counts
    EXPECT_TRUE(w.UpdateDeviceRecord(d, err));
    d.DeviceType = TDeviceType::ThermoInputs;
    EXPECT_TRUE(w.UpdateDeviceRecord(d, err));
    EXPECT_TRUE(w.UpdateDeviceRecord(d, err));
    // Back to a state recorded before is a change from the newest row.
    d.DeviceType = TDeviceType::UnifiedInputs;
    d.Comment = QStringLiteral("Котельная №2");
    EXPECT_TRUE(w.UpdateDeviceRecord(d, err));
    rows = deviceRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].Comment, QStringLiteral("котельная №2"));
    EXPECT_EQ(rows[2].DeviceType, 1);
    EXPECT_EQ(rows[3].DeviceType, 2);
}

TEST_F(FormArchiveTest, ChannelHistoryRecordsEachChangedChannelOnce)
{
    form.InitArchiveFiles();
    TArchiveWriter& w = form.Writer();
    QString err;
    TDevice d(600);
    TMeasureChannel& ch1 = d.Channel(1);
    ch1.SensorType = TSensorType::Thermocouple;
    ch1.SensorModel = 3;
    ch1.MinAlert = 0.1f;
    ch1.MaxAlert = 650.5f;
    ch1.MinBound = -50;
    ch1.MaxBound = 1200;
    ch1.QuantityName = QStringLiteral("Температура");
    ch1.MeasUnitName = QStringLiteral("°C");
    // Channel 2 all zero and empty: as good as no row.
    EXPECT_TRUE(w.UpdateChannelRecords(d, err));
    EXPECT_TRUE(w.UpdateChannelRecords(d, err));
    auto rows = channelRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].ChannelNum, 1);
    EXPECT_EQ(rows[0].SensorType, 1 * 256 + 3);
    EXPECT_EQ(rows[0].MinAlert, double(0.1f));
    EXPECT_EQ(rows[0].MaxAlert, 650.5);
    EXPECT_EQ(rows[0].MinBound, -50.0);
    EXPECT_EQ(rows[0].MaxBound, 1200.0);
    EXPECT_EQ(rows[0].QuantityName, QStringLiteral("Температура"));
    EXPECT_EQ(rows[0].MeasUnitName, QStringLiteral("°C"));
    EXPECT_FALSE(w.cdsChannels.Active());

    d.Channel(2).MeasUnitName = QStringLiteral("мА");
    EXPECT_TRUE(w.UpdateChannelRecords(d, err));
    rows = channelRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].SerialNum, 600);
    EXPECT_EQ(rows[1].ChannelNum, 2);
    EXPECT_EQ(rows[1].MeasUnitName, QStringLiteral("мА"));

    // The least step of a single is a change; texts compare case-sensitively.
    ch1.MinAlert = std::nextafter(0.1f, 1.0f);
    EXPECT_TRUE(w.UpdateChannelRecords(d, err));
    d.Channel(2).MeasUnitName = QStringLiteral("МА");
    EXPECT_TRUE(w.UpdateChannelRecords(d, err));
    ch1.SensorModel = 4;
    EXPECT_TRUE(w.UpdateChannelRecords(d, err));
    EXPECT_TRUE(w.UpdateChannelRecords(d, err));
    rows = channelRows();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[2].ChannelNum, 1);
    EXPECT_EQ(rows[2].MinAlert, double(std::nextafter(0.1f, 1.0f)));
    EXPECT_EQ(rows[3].ChannelNum, 2);
    EXPECT_EQ(rows[4].SensorType, 1 * 256 + 4);
    EXPECT_TRUE(err.isEmpty());
}

TEST_F(FormArchiveTest, ForeignHistoryFileGivesItsTextWithoutACrash)
{
    writeBytes(path(QStringLiteral("Devices.cds")), QByteArray(3000, '\0'));
    writeBytes(path(QStringLiteral("Channels.cds")), "SQLite format 3");
    form.InitArchiveFiles();
    TDevice d(7);
    d.Comment = QStringLiteral("x");
    QString err;
    EXPECT_FALSE(form.Writer().UpdateDeviceRecord(d, err));
    EXPECT_EQ(err, QStringLiteral("Не удалось открыть базу данных устройств!"));
    EXPECT_FALSE(form.Writer().UpdateChannelRecords(d, err));
    EXPECT_EQ(err, QStringLiteral("Не удалось открыть базу данных каналов устройств!"));
    EXPECT_TRUE(prompts.Messages.isEmpty());
}
