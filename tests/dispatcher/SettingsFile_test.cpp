#include "core/Sound.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/ModemSetup.h"
#include "dispatcher/PollingCycle.h"
#include "dispatcher/SettingsFile.h"
#include "support/QStringPrinter.h"
#include "support/RawPty.h"

#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>

namespace {

class SettingsFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        fileName = dir.filePath(QStringLiteral("klov.ini"));
        // Far from every default, so a key that is not read shows.
        ArchivePath = QStringLiteral("/old");
        FileRebuildHour = 5;
        FileRebuildMin = 6;
        RFMainPort = 9;
        RFChannel = 20;
        RFPowerLevel = 0;
        PollMode = 1;
        PollUnits = 2;
        PollValue = 3;
        PollIntervalSec = 777;
        SoundMode = TSoundMode::None;
        SoundRepeatMode = TSoundRepeatMode::Repeat;
    }

    void TearDown() override { ClearDevArray(); }

    void writeFile(const QByteArray& Content) const
    {
        QFile f(fileName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Content);
    }

    QByteArray fileContent() const
    {
        QFile f(fileName);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    QString fileName;
};

TEST(DevicesList, BlanksEmptyAndNonNumericPiecesAreSkippedInOrder)
{
    EXPECT_EQ(ParseDevicesList(QStringLiteral(" 12,0034,abc,,65535 ,7")), (QList<quint16>{12, 34, 65535, 7}));
    EXPECT_EQ(ParseDevicesList(QString()), QList<quint16>{});
    EXPECT_EQ(ParseDevicesList(QStringLiteral(",,")), QList<quint16>{});
    // Duplicates each give a row; a trailing comma adds nothing.
    EXPECT_EQ(ParseDevicesList(QStringLiteral("5,5,0,")), (QList<quint16>{5, 5, 0}));
    // "1 2" is 12 once the blanks are gone; a tab is not a blank.
    EXPECT_EQ(ParseDevicesList(QStringLiteral("1 2,\t3")), QList<quint16>{12});
}

TEST(DevicesList, NumbersOutOfRangeAreSkippedWithAWarning)
{
    QStringList warnings;
    EXPECT_EQ(ParseDevicesList(QStringLiteral("-1,65536,8,99999999999999999999999,x"), &warnings),
              QList<quint16>{8});
    // The 64-bit overflow is not a number at all and is skipped silently, like "x".
    ASSERT_EQ(warnings.size(), 2);
    EXPECT_EQ(warnings[0], QStringLiteral("Файл настроек: серийный номер \"-1\" в списке DevicesList "
                                          "(раздел Devices) вне диапазона 0..65535 и пропущен"));
    EXPECT_TRUE(warnings[1].contains(QStringLiteral("\"65536\"")));
    // Without a list the same input is parsed all the same.
    EXPECT_EQ(ParseDevicesList(QStringLiteral("-1,8")), QList<quint16>{8});
}

TEST_F(SettingsFileTest, MissingAndEmptyFilesGiveEveryDefault)
{
    for (const bool exists : {false, true}) {
        SetUp();
        if (exists)
            writeFile(QByteArray());
        QStringList warnings;
        TWindowGeometry geometry{400, 600, 10, 20};
        const QList<quint16> serials = ReadSettings(fileName, warnings, &geometry);
        EXPECT_TRUE(serials.isEmpty());
        EXPECT_TRUE(warnings.isEmpty()) << warnings.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(ArchivePath, QString());
        EXPECT_EQ(FileRebuildHour, 0);
        EXPECT_EQ(FileRebuildMin, 0);
        EXPECT_EQ(RFMainPort, 1);
        EXPECT_EQ(RFChannel, 16);
        EXPECT_EQ(RFPowerLevel, 2);
        EXPECT_EQ(PollMode, 0);
        EXPECT_EQ(PollUnits, 0);
        EXPECT_EQ(PollValue, 10);
        EXPECT_EQ(PollIntervalSec, 10);
        EXPECT_EQ(SoundMode, TSoundMode::Multimedia);
        EXPECT_EQ(SoundRepeatMode, TSoundRepeatMode::Once);
        // The window keeps what it had.
        EXPECT_EQ(geometry.Height, 400);
        EXPECT_EQ(geometry.Width, 600);
        EXPECT_EQ(geometry.XPos, 10);
        EXPECT_EQ(geometry.YPos, 20);
        if (!exists) {
            EXPECT_FALSE(QFile::exists(fileName)) << "reading must not create the file";
        }
    }
}

TEST_F(SettingsFileTest, ValidValuesAreReadIncludingHexadecimal)
{
    writeFile("; hand made\n"
              "[Archive]\nArchivePath=/data/arch\nFileRebuildHour=23\nFileRebuildMin=0x3B\n"
              "[devices]\ndeviceslist= 12,0034,abc,,65535 ,7\n"
              "[Communication]\nRFMainPort=255\nRFChannel=0X17\nRFPowerLevel=0\n"
              "[Polling]\nMode=1\nUnits=1\nValue=5\n"
              "[Sound]\nSoundMode=1\nSoundRepeatMode=1\n"
              "[General]\nWindowHeight=700\nWindowWidth=900\nWindowXPos=-8\nWindowYPos=0x10\n");
    QStringList warnings;
    TWindowGeometry geometry{1, 2, 3, 4};
    EXPECT_EQ(ReadSettings(fileName, warnings, &geometry), (QList<quint16>{12, 34, 65535, 7}));
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(ArchivePath, QStringLiteral("/data/arch"));
    EXPECT_EQ(FileRebuildHour, 23);
    EXPECT_EQ(FileRebuildMin, 59);
    EXPECT_EQ(RFMainPort, 255);
    EXPECT_EQ(RFChannel, 23);
    EXPECT_EQ(RFPowerLevel, 0);
    EXPECT_EQ(PollMode, 1);
    EXPECT_EQ(PollUnits, 1);
    EXPECT_EQ(PollValue, 5);
    EXPECT_EQ(PollIntervalSec, 300);
    EXPECT_EQ(TPollingCycle::PollTimerInterval(PollMode, PollIntervalSec), 300000);
    EXPECT_EQ(SoundMode, TSoundMode::Speaker);
    EXPECT_EQ(SoundRepeatMode, TSoundRepeatMode::Repeat);
    EXPECT_EQ(geometry.Height, 700);
    EXPECT_EQ(geometry.Width, 900);
    EXPECT_EQ(geometry.XPos, -8);
    EXPECT_EQ(geometry.YPos, 16);
}

TEST_F(SettingsFileTest, ChannelWrittenAsHexReadsAsSixteen)
{
    writeFile("[Communication]\nRFChannel=0x10\n");
    QStringList warnings;
    ReadSettings(fileName, warnings);
    EXPECT_EQ(RFChannel, 16);
    EXPECT_TRUE(warnings.isEmpty());
}

TEST(PollInterval, UnitsAndTimerPeriod)
{
    EXPECT_EQ(PollIntervalSecFor(0, 7, 1), 7);
    EXPECT_EQ(PollIntervalSecFor(1, 2, 1), 120);
    EXPECT_EQ(PollIntervalSecFor(2, 3, 1), 10800);
    EXPECT_EQ(PollIntervalSecFor(3, 5, 42), 42);
    EXPECT_EQ(PollIntervalSecFor(-1, 5, 42), 42);
    // No 32-bit overflow on the way to the range check.
    EXPECT_EQ(PollIntervalSecFor(2, 2147483647, 0), 2147483647LL * 3600);
    EXPECT_FALSE(IsValidPollInterval(0));
    EXPECT_TRUE(IsValidPollInterval(1));
    EXPECT_TRUE(IsValidPollInterval(2147483));
    EXPECT_FALSE(IsValidPollInterval(2147484));
}

struct OutOfRangeCase
{
    const char* Section;
    const char* Key;
    const char* Text;
    int Default;
    std::function<int()> Read;
};

TEST_F(SettingsFileTest, EachOutOfRangeValueFallsBackToItsDefaultWithAWarning)
{
    const std::vector<OutOfRangeCase> cases = {
        {"Archive", "FileRebuildHour", "-1", 0, [] { return FileRebuildHour; }},
        {"Archive", "FileRebuildHour", "24", 0, [] { return FileRebuildHour; }},
        {"Archive", "FileRebuildMin", "-1", 0, [] { return FileRebuildMin; }},
        {"Archive", "FileRebuildMin", "60", 0, [] { return FileRebuildMin; }},
        {"Communication", "RFChannel", "0x110", 16, [] { return RFChannel; }},
        {"Polling", "Value", "0", 10, [] { return PollValue; }},
        {"Polling", "Value", "-5", 10, [] { return PollValue; }},
        {"Polling", "Value", "2147484", 10, [] { return PollValue; }},
        {"Sound", "SoundMode", "3", 2, [] { return static_cast<int>(SoundMode); }},
        {"Sound", "SoundMode", "-1", 2, [] { return static_cast<int>(SoundMode); }},
        {"Sound", "SoundRepeatMode", "2", 0, [] { return static_cast<int>(SoundRepeatMode); }},
        // A text that is not a number is out of range as well.
        {"Archive", "FileRebuildHour", "7h", 0, [] { return FileRebuildHour; }},
        {"Communication", "RFChannel", "16.5", 16, [] { return RFChannel; }},
        {"Polling", "Value", "ten", 10, [] { return PollValue; }},
        {"Sound", "SoundRepeatMode", "да", 0, [] { return static_cast<int>(SoundRepeatMode); }},
    };
    for (const OutOfRangeCase& c : cases) {
        SCOPED_TRACE(std::string(c.Key) + "=" + c.Text);
        SetUp();
        writeFile(QByteArray("[") + c.Section + "]\n" + c.Key + "=" + c.Text + "\n");
        QStringList warnings;
        ReadSettings(fileName, warnings);
        EXPECT_EQ(c.Read(), c.Default);
        ASSERT_EQ(warnings.size(), 1) << warnings.join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(warnings[0],
                  QStringLiteral("Файл настроек: недопустимое значение \"%1\" параметра %2 (раздел "
                                 "%3), принято значение по умолчанию %4")
                      .arg(QString::fromUtf8(c.Text), QLatin1String(c.Key), QLatin1String(c.Section))
                      .arg(c.Default));
        EXPECT_TRUE(IsValidPollInterval(PollIntervalSec));
    }
}

TEST_F(SettingsFileTest, PortOutOfRangeMeansNoPortAndTheLinkOpensNothing)
{
    // COM1 is there and would answer: a bad number must not fall back to it.
    RawPty modem;
    ASSERT_TRUE(QFile::link(modem.LinkPath(), modem.PortsDir() + QStringLiteral("/COM1")));
    qputenv("KLOV_PORTS_DIR", QFile::encodeName(modem.PortsDir()));
    for (const char* text : {"0", "256", "99999", "-1", "abc", "COM3", "1.5"}) {
        SCOPED_TRACE(text);
        SetUp();
        writeFile(QByteArray("[Communication]\nRFMainPort=") + text + "\n");
        QStringList warnings;
        ReadSettings(fileName, warnings);
        EXPECT_EQ(RFMainPort, 0);
        ASSERT_EQ(warnings.size(), 1);
        EXPECT_EQ(warnings[0],
                  QStringLiteral("Файл настроек: недопустимое значение \"%1\" параметра RFMainPort "
                                 "(раздел Communication), СОМ-порт не выбран")
                      .arg(QLatin1String(text)));
    }
    EXPECT_EQ(CurrentSettingsValues().RFMainPort, 0);
    std::unique_ptr<TComConnection> link;
    QStringList journal;
    ConnectModem(link, RFMainPort, RFChannel, RFPowerLevel,
                 [&journal](const QString& Line) { journal << Line; });
    ASSERT_TRUE(link);
    EXPECT_FALSE(link->Connected);
    EXPECT_EQ(journal, QStringList{QStringLiteral(
                           "Попытка открыть несуществующий COM-порт при соединении с СОМ-портом")});
    EXPECT_TRUE(modem.ReadAvailable(200).isEmpty());
    qunsetenv("KLOV_PORTS_DIR");
}

TEST_F(SettingsFileTest, IntervalIsCheckedInItsUnitsAndMayReachTheTimerLimit)
{
    writeFile("[Polling]\nMode=1\nUnits=2\nValue=600000\n");
    QStringList warnings;
    ReadSettings(fileName, warnings);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].contains(QStringLiteral("\"600000\" параметра Value")));
    // The default value in the units that were valid.
    EXPECT_EQ(PollUnits, 2);
    EXPECT_EQ(PollValue, 10);
    EXPECT_EQ(PollIntervalSec, 36000);

    writeFile("[Polling]\nMode=1\nUnits=0\nValue=2147483\n");
    warnings.clear();
    ReadSettings(fileName, warnings);
    EXPECT_TRUE(warnings.isEmpty());
    EXPECT_EQ(PollIntervalSec, 2147483);
    EXPECT_GT(TPollingCycle::PollTimerInterval(PollMode, PollIntervalSec), 0);

    // Another unit keeps the interval that was in force.
    writeFile("[Polling]\nUnits=9\nValue=30\n");
    warnings.clear();
    ReadSettings(fileName, warnings);
    EXPECT_TRUE(warnings.isEmpty());
    EXPECT_EQ(PollUnits, 9);
    EXPECT_EQ(PollIntervalSec, 2147483);
}

TEST_F(SettingsFileTest, ChannelPowerAndModeTheModemRefusesAreKeptForItToRefuse)
{
    writeFile("[Communication]\nRFChannel=5\nRFPowerLevel=7\n[Polling]\nMode=3\n");
    QStringList warnings;
    ReadSettings(fileName, warnings);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(RFChannel, 5);
    EXPECT_EQ(RFPowerLevel, 7);
    EXPECT_EQ(PollMode, 3);
    EXPECT_EQ(TPollingCycle::PollTimerInterval(PollMode, PollIntervalSec), 500);
}

TEST_F(SettingsFileTest, KeysWithoutARangeAndEmptyValuesReadAsDefaultsSilently)
{
    writeFile("[Communication]\nRFMainPort=\nRFChannel=\nRFPowerLevel=1.5\n[Polling]\nMode=x\nUnits=min\n"
              "[General]\nWindowHeight=abc\n");
    QStringList warnings;
    TWindowGeometry geometry{400, 600, 10, 20};
    ReadSettings(fileName, warnings, &geometry);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(RFMainPort, 1);
    EXPECT_EQ(RFChannel, 16);
    EXPECT_EQ(RFPowerLevel, 2);
    EXPECT_EQ(PollMode, 0);
    EXPECT_EQ(PollUnits, 0);
    EXPECT_EQ(geometry.Height, 400);
}

TEST_F(SettingsFileTest, RebuildDevArrayAppendsOneNewRowPerSerial)
{
    RebuildDevArray({3, 1});
    RebuildDevArray({12, 34, 12});
    ASSERT_EQ(DevArray.size(), 3u);
    EXPECT_EQ(DevArray[0]->Device->SerialNum, 12);
    EXPECT_EQ(DevArray[1]->Device->SerialNum, 34);
    EXPECT_EQ(DevArray[2]->Device->SerialNum, 12);
    EXPECT_NE(DevArray[0].get(), DevArray[2].get());
    EXPECT_EQ(DevArray[0]->Status, dsNoLink);
    EXPECT_FALSE(DevArray[0]->Selected);
    EXPECT_FALSE(DevArray[0]->Hidden);
    RebuildDevArray({});
    EXPECT_TRUE(DevArray.empty());
}

TEST_F(SettingsFileTest, WritersChangeOnlyTheirOwnLines)
{
    writeFile("; settings\r\n"
              "[Graphic Температура]\r\nLeft=5\r\n"
              "[Archive]\r\nArchivePath=/old\r\nKeep=1\r\n"
              "[Devices]\r\nDevicesList=1, 2\r\n"
              "[Polling]\r\nMode = 0\r\n");
    QString error;
    RebuildDevArray({7, 65535, 0});
    ASSERT_TRUE(WriteDevicesList(fileName, error)) << error.toStdString();
    ASSERT_TRUE(WriteArchivePath(fileName, QStringLiteral("/new/архив"), error));
    ASSERT_TRUE(WriteWindowGeometry(fileName, 480, 640, -4, 12, error));
    EXPECT_EQ(fileContent(), QStringLiteral("; settings\r\n"
                                            "[Graphic Температура]\r\nLeft=5\r\n"
                                            "[Archive]\r\nArchivePath=/new/архив\r\nKeep=1\r\n"
                                            "[Devices]\r\nDevicesList=7,65535,0\r\n"
                                            "[Polling]\r\nMode = 0\r\n"
                                            "[General]\r\nWindowHeight=480\r\nWindowWidth=640\r\n"
                                            "WindowXPos=-4\r\nWindowYPos=12\r\n")
                                 .toUtf8());

    TSettingsValues values;
    values.ArchivePath = QStringLiteral("/a");
    values.FileRebuildHour = 3;
    values.FileRebuildMin = 30;
    values.RFMainPort = 4;
    values.RFChannel = 21;
    values.RFPowerLevel = 1;
    values.Mode = 1;
    values.Units = 1;
    values.Value = 2;
    values.SoundMode = 0;
    values.SoundRepeatMode = 1;
    ASSERT_TRUE(WriteCommSettings(fileName, values, error));
    EXPECT_EQ(fileContent(), QStringLiteral("; settings\r\n"
                                            "[Graphic Температура]\r\nLeft=5\r\n"
                                            "[Archive]\r\nArchivePath=/a\r\nKeep=1\r\n"
                                            "FileRebuildHour=3\r\nFileRebuildMin=30\r\n"
                                            "[Devices]\r\nDevicesList=7,65535,0\r\n"
                                            "[Polling]\r\nMode = 1\r\nUnits=1\r\nValue=2\r\n"
                                            "[General]\r\nWindowHeight=480\r\nWindowWidth=640\r\n"
                                            "WindowXPos=-4\r\nWindowYPos=12\r\n"
                                            "[Communication]\r\nRFMainPort=4\r\nRFChannel=21\r\n"
                                            "RFPowerLevel=1\r\n"
                                            "[Sound]\r\nSoundMode=0\r\nSoundRepeatMode=1\r\n")
                                 .toUtf8());

    // What was written reads back as the running settings.
    QStringList warnings;
    TWindowGeometry geometry;
    EXPECT_EQ(ReadSettings(fileName, warnings, &geometry), (QList<quint16>{7, 65535, 0}));
    EXPECT_TRUE(warnings.isEmpty());
    EXPECT_EQ(PollIntervalSec, 120);
    EXPECT_EQ(geometry.Width, 640);
    const TSettingsValues back = CurrentSettingsValues();
    EXPECT_EQ(back.ArchivePath, values.ArchivePath);
    EXPECT_EQ(back.FileRebuildHour, 3);
    EXPECT_EQ(back.FileRebuildMin, 30);
    EXPECT_EQ(back.RFMainPort, 4);
    EXPECT_EQ(back.RFChannel, 21);
    EXPECT_EQ(back.RFPowerLevel, 1);
    EXPECT_EQ(back.Mode, 1);
    EXPECT_EQ(back.Units, 1);
    EXPECT_EQ(back.Value, 2);
    EXPECT_EQ(back.SoundMode, 0);
    EXPECT_EQ(back.SoundRepeatMode, 1);
}

TEST_F(SettingsFileTest, WritersReportAFileThatCannotBeWritten)
{
    const QString missing = dir.filePath(QStringLiteral("no/such/folder/klov.ini"));
    QString error;
    EXPECT_FALSE(WriteArchivePath(missing, QStringLiteral("/a"), error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(WriteCommSettings(missing, TSettingsValues(), error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(WriteWindowGeometry(missing, 1, 2, 3, 4, error));
    EXPECT_FALSE(error.isEmpty());
    error.clear();
    EXPECT_FALSE(WriteDevicesList(missing, error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(SettingsFileTest, AddingKeepsTheStoredListAndRefusesDuplicates)
{
    QString error;
    writeFile("[Devices]\nDevicesList=12, 345\n");
    EXPECT_EQ(AddSerialToDevicesList(fileName, 7, error), TDevicesListEdit::Done);
    EXPECT_EQ(fileContent(), QByteArray("[Devices]\nDevicesList=12,345,7\n"));
    EXPECT_EQ(AddSerialToDevicesList(fileName, 345, error), TDevicesListEdit::AlreadyPresent);
    EXPECT_EQ(fileContent(), QByteArray("[Devices]\nDevicesList=12,345,7\n"));

    writeFile("[Devices]\nDevicesList=\n");
    EXPECT_EQ(AddSerialToDevicesList(fileName, 7, error), TDevicesListEdit::Done);
    EXPECT_EQ(fileContent(), QByteArray("[Devices]\nDevicesList=7\n"));

    // Unparsed items stay; a number out of range stops the add.
    writeFile("[Devices]\nDevicesList=abc, 5\n");
    EXPECT_EQ(AddSerialToDevicesList(fileName, 6, error), TDevicesListEdit::Done);
    EXPECT_EQ(fileContent(), QByteArray("[Devices]\nDevicesList=abc,5,6\n"));
    writeFile("[Devices]\nDevicesList=65548,5\n");
    EXPECT_EQ(AddSerialToDevicesList(fileName, 12, error), TDevicesListEdit::OutOfRange);
    EXPECT_EQ(fileContent(), QByteArray("[Devices]\nDevicesList=65548,5\n"));
}

TEST_F(SettingsFileTest, RemovingDropsEveryOccurrenceAndTheUnparsedItems)
{
    QString error;
    writeFile("[Devices]\nDevicesList=12,abc,12,5,-3\n");
    EXPECT_EQ(RemoveSerialFromDevicesList(fileName, 12, error), TDevicesListEdit::Done);
    EXPECT_EQ(fileContent(), QByteArray("[Devices]\nDevicesList=5\n"));
    EXPECT_EQ(RemoveSerialFromDevicesList(fileName, 12, error), TDevicesListEdit::NotFound);
    EXPECT_EQ(fileContent(), QByteArray("[Devices]\nDevicesList=5\n"));
    EXPECT_EQ(RemoveSerialFromDevicesList(fileName, 5, error), TDevicesListEdit::Done);
    EXPECT_EQ(fileContent(), QByteArray("[Devices]\nDevicesList=\n"));
}

} // namespace
