#include "platform/IniFile.h"
#include "support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <csignal>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

class IniFileTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    QString path(const QString& name = QStringLiteral("klov.ini")) const { return dir.filePath(name); }

    void put(const QByteArray& bytes, const QString& name = QStringLiteral("klov.ini")) const
    {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }

    QByteArray get(const QString& name = QStringLiteral("klov.ini")) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir dir;
    QString error;
};

// A file as someone edits it by hand.
const QByteArray handEdited = "Orphan=before any section\n"
                              "; settings of the dispatcher\n"
                              "[archive]\n"
                              "  ArchivePath   =   /var/lib/klov  \n"
                              "FILEREBUILDHOUR=7\n"
                              "[Communication]\n"
                              "RFChannel = 0x10\n"
                              "RFPowerLevel=\"1\"\n"
                              "Quoted='single'\n"
                              "Unbalanced=\"left\n"
                              "Mixed=\"a'\n"
                              "Inner=a \"b\" c\n"
                              "Empty=\n"
                              ";RFMainPort=9\n"
                              "NoEquals\n"
                              "RFChannel=20\n"
                              "[ Graphic Температура ]\n"
                              "Color=255\n"
                              "[COMMUNICATION]\n"
                              "RFMainPort=5\n";

TEST_F(IniFileTest, HandEditedFileReadsAsTheProfileFunctionsReadIt)
{
    put(handEdited);
    const IniFile ini(path());

    // Names in any case, blanks around names and values dropped.
    EXPECT_EQ(ini.ReadString("Archive", "archivepath", "-"), QStringLiteral("/var/lib/klov"));
    EXPECT_EQ(ini.ReadInteger("ARCHIVE", "FileRebuildHour", -1), 7);
    // The first of duplicate keys wins; hexadecimal with 0x.
    EXPECT_EQ(ini.ReadInteger("Communication", "RFChannel", 0), 16);
    // One pair of matching quotes goes, nothing else.
    EXPECT_EQ(ini.ReadInteger("Communication", "RFPowerLevel", 0), 1);
    EXPECT_EQ(ini.ReadString("Communication", "Quoted", "-"), QStringLiteral("single"));
    EXPECT_EQ(ini.ReadString("Communication", "Unbalanced", "-"), QStringLiteral("\"left"));
    EXPECT_EQ(ini.ReadString("Communication", "Mixed", "-"), QStringLiteral("\"a'"));
    EXPECT_EQ(ini.ReadString("Communication", "Inner", "-"), QStringLiteral("a \"b\" c"));
    // "Key=" is an empty value, not a missing one.
    EXPECT_EQ(ini.ReadString("Communication", "Empty", "-"), QString());
    EXPECT_TRUE(ini.ValueExists("Communication", "EMPTY"));
    // Comments, lines without '=' and keys of a repeated section are not entries.
    EXPECT_EQ(ini.ReadInteger("Communication", "RFMainPort", 1), 1);
    EXPECT_FALSE(ini.ValueExists("Communication", "NoEquals"));
    // Cyrillic names compare without case too.
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("graphic ТЕМПЕРАТУРА"), "color", 0), 255);
    // A key before any section belongs to none.
    EXPECT_EQ(ini.ReadString("", "Orphan", "-"), QStringLiteral("-"));
    for (const QString& s : ini.ReadSections())
        EXPECT_FALSE(ini.ValueExists(s, "Orphan")) << s.toStdString();

    EXPECT_EQ(ini.ReadSections(),
              (QStringList{"archive", "Communication", QStringLiteral("Graphic Температура")}));
    EXPECT_EQ(ini.ReadSection("communication"),
              (QStringList{"RFChannel", "RFPowerLevel", "Quoted", "Unbalanced", "Mixed", "Inner", "Empty"}));
    EXPECT_TRUE(ini.SectionExists(QStringLiteral("GRAPHIC температура")));
    EXPECT_FALSE(ini.SectionExists("Polling"));
    EXPECT_EQ(ini.ReadString("Polling", "Mode", "dflt"), QStringLiteral("dflt"));
}

TEST_F(IniFileTest, IntegersAcceptDecimalAndHexadecimalAndFallBackOnGarbage)
{
    struct Case
    {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"10", 10},
        {"0x10", 16},
        {"0X1f", 31},
        {"$10", 16},
        {"$ff", 255},
        {"x10", 16},
        {"-5", -5},
        {"+7", 7},
        {"-$10", -16},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", std::numeric_limits<int>::min()},
        {"$FFFFFFFF", -1},
        {"0x80000000", std::numeric_limits<int>::min()},
        // Garbage of every kind gives the default.
        {"2147483648", -99},
        {"$100000000", -99},
        {"12abc", -99},
        {"abc", -99},
        {"", -99},
        {"0x", -99},
        {"$", -99},
        {"-", -99},
        {"1.5", -99},
        {"1,5", -99},
        {"1 2", -99},
        {"0xG", -99},
        {"--1", -99},
        {"\xd9\xa3", -99}, // an Arabic-Indic three is no digit here
    };
    for (const Case& c : cases)
        EXPECT_EQ(IniFile::StrToIntDef(QString::fromUtf8(c.text), -99), c.expected) << c.text;

    put("[Polling]\nMode = $10 \nUnits=  0x0A\nValue=ten\nBig=99999999999\n");
    const IniFile ini(path());
    EXPECT_EQ(ini.ReadInteger("Polling", "Mode", 0), 16);
    EXPECT_EQ(ini.ReadInteger("Polling", "Units", 0), 10);
    EXPECT_EQ(ini.ReadInteger("Polling", "Value", 10), 10);
    EXPECT_EQ(ini.ReadInteger("Polling", "Big", 3), 3);
    EXPECT_EQ(ini.ReadInteger("Polling", "Missing", 42), 42);
}

TEST_F(IniFileTest, BooleansAreIntegersZeroOrNot)
{
    put("[S]\nZero=0\nOne=1\nTwo=2\nNeg=-1\nHex=0x0\nWord=true\nEmpty=\n");
    IniFile ini(path());
    EXPECT_FALSE(ini.ReadBool("S", "Zero", true));
    EXPECT_TRUE(ini.ReadBool("S", "One", false));
    EXPECT_TRUE(ini.ReadBool("S", "Two", false));
    EXPECT_TRUE(ini.ReadBool("S", "Neg", false));
    EXPECT_FALSE(ini.ReadBool("S", "Hex", true));
    for (const bool dflt : {false, true}) {
        EXPECT_EQ(ini.ReadBool("S", "Word", dflt), dflt);
        EXPECT_EQ(ini.ReadBool("S", "Empty", dflt), dflt);
        EXPECT_EQ(ini.ReadBool("S", "Missing", dflt), dflt);
    }
    ASSERT_TRUE(ini.WriteBool("S", "Zero", true, error));
    ASSERT_TRUE(ini.WriteBool("S", "One", false, error));
    EXPECT_EQ(get(), QByteArray("[S]\nZero=1\nOne=0\nTwo=2\nNeg=-1\nHex=0x0\nWord=true\nEmpty=\n"));
}

TEST_F(IniFileTest, Windows1251FileIsWrittenBackInWindows1251)
{
    QStringEncoder cp1251("windows-1251");
    ASSERT_TRUE(cp1251.isValid());
    const QByteArray before =
        cp1251(QStringLiteral("; Настройки котельной\r\n[Graphic Температура]\r\n"
                              "Units=°C\r\nName=Давление\r\n[Communication]\r\nRFMainPort=3\r\n"));
    put(before);

    IniFile ini(path());
    EXPECT_EQ(ini.ReadString(QStringLiteral("Graphic температура"), "Name", "-"), QStringLiteral("Давление"));
    EXPECT_EQ(ini.ReadString(QStringLiteral("Graphic Температура"), "Units", "-"), QStringLiteral("°C"));

    // Every other line keeps its bytes; the new ones are in the file's code page.
    ASSERT_TRUE(ini.WriteString(QStringLiteral("Graphic Температура"), "Name", QStringLiteral("Ток"), error));
    ASSERT_TRUE(ini.WriteInteger(QStringLiteral("Communication"), "RFChannel", 17, error));
    ASSERT_TRUE(ini.WriteString(QStringLiteral("Журнал"), "Комментарий", QStringLiteral("Цех №2"), error));
    const QByteArray after =
        cp1251(QStringLiteral("; Настройки котельной\r\n[Graphic Температура]\r\n"
                              "Units=°C\r\nName=Ток\r\n[Communication]\r\nRFMainPort=3\r\n"
                              "RFChannel=17\r\n[Журнал]\r\nКомментарий=Цех №2\r\n"));
    EXPECT_EQ(get(), after);
    EXPECT_EQ(ini.ReadString(QStringLiteral("журнал"), QStringLiteral("комментарий"), "-"),
              QStringLiteral("Цех №2"));

    // What the code page cannot hold is refused with a Russian text, the file as it was.
    EXPECT_FALSE(
        ini.WriteString(QStringLiteral("Graphic Температура"), "Name", QStringLiteral("温度"), error));
    EXPECT_EQ(error, QStringLiteral("Не удалось записать файл \"%1\": текст \"Name=温度\" нельзя записать в "
                                    "кодировке Windows-1251, в которой хранится файл. Файл оставлен без "
                                    "изменений.")
                         .arg(path()));
    EXPECT_EQ(get(), after);

    // A UTF-16 file stays in UTF-16.
    const auto utf16 = [](const QString& Text) {
        return QByteArray("\xFF\xFE") +
               QByteArray(reinterpret_cast<const char*>(Text.utf16()), Text.size() * 2);
    };
    put(utf16(QStringLiteral("[Sound]\r\n")), "unicode.ini");
    ASSERT_TRUE(IniFile(path("unicode.ini"))
                    .WriteString("Sound", QStringLiteral("Файл"), QStringLiteral("温度.wav"), error));
    EXPECT_EQ(get("unicode.ini"), utf16(QStringLiteral("[Sound]\r\nФайл=温度.wav\r\n")));
}

TEST_F(IniFileTest, ByteOrderMarksAreUnderstood)
{
    put("\xEF\xBB\xBF[A]\nk=\xD0\xB4\xD0\xB0\n");
    IniFile ini(path());
    EXPECT_EQ(ini.ReadString("A", "k", "-"), QStringLiteral("да"));
    ASSERT_TRUE(ini.WriteString("A", "n", "1", error));
    EXPECT_EQ(get(), QByteArray("\xEF\xBB\xBF[A]\nk=\xD0\xB4\xD0\xB0\nn=1\n"));

    QByteArray utf16("\xFF\xFE");
    const QString text = QStringLiteral("[Sound]\r\nSoundMode=1\r\n");
    utf16.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    put(utf16, "unicode.ini");
    EXPECT_EQ(IniFile(path("unicode.ini")).ReadInteger("Sound", "SoundMode", 2), 1);
}

TEST_F(IniFileTest, WritingOneKeyLeavesEveryOtherLineAsItWas)
{
    // Mixed line endings, odd blanks, comments, a last line without a line ending.
    const QByteArray before = "; top\r\n"
                              "[Archive]\r\n"
                              "ArchivePath = /data \r\n"
                              "  FileRebuildHour = 1\t; not a comment\r\n"
                              "\r\n"
                              "[Polling]\n"
                              "mode=0\n"
                              "Value=10";
    put(before);
    IniFile ini(path());

    // The key keeps its spelling and the blanks before the value.
    ASSERT_TRUE(ini.WriteInteger("ARCHIVE", "fileREBUILDhour", 5, error)) << error.toStdString();
    QByteArray expected = before;
    expected.replace("  FileRebuildHour = 1\t; not a comment", "  FileRebuildHour = 5");
    EXPECT_EQ(get(), expected);

    ASSERT_TRUE(ini.WriteInteger("Polling", "Mode", 1, error));
    expected.replace("mode=0", "mode=1");
    EXPECT_EQ(get(), expected);

    // Writing the value that is there already changes nothing.
    ASSERT_TRUE(ini.WriteInteger("Polling", "Mode", 1, error));
    EXPECT_EQ(get(), expected);
    EXPECT_EQ(ini.ReadInteger("Archive", "FileRebuildHour", 0), 5);
}

TEST_F(IniFileTest, NewKeysGoToTheEndOfTheirSectionAndNewSectionsToTheEnd)
{
    put("[Archive]\r\n"
        "ArchivePath=/data\r\n"
        "; old=1\r\n"
        "\r\n"
        "; the polling\r\n"
        "[Polling]\r\n"
        "Mode=0\r\n"
        "[Empty]\r\n"
        "[Sound]\r\n"
        "SoundMode=2");
    IniFile ini(path());
    ASSERT_TRUE(ini.WriteInteger("archive", "FileRebuildHour", 3, error));
    ASSERT_TRUE(ini.WriteString("Empty", "First", "x", error));
    ASSERT_TRUE(ini.WriteInteger("Sound", "SoundRepeatMode", 1, error));
    ASSERT_TRUE(ini.WriteInteger("General", "WindowWidth", 800, error));
    ASSERT_TRUE(
        ini.WriteString(QStringLiteral("Graphic Температура"), "Title", QStringLiteral("Т, °С"), error));
    EXPECT_EQ(QString::fromUtf8(get()), QStringLiteral("[Archive]\r\n"
                                                       "ArchivePath=/data\r\n"
                                                       "FileRebuildHour=3\r\n"
                                                       "; old=1\r\n"
                                                       "\r\n"
                                                       "; the polling\r\n"
                                                       "[Polling]\r\n"
                                                       "Mode=0\r\n"
                                                       "[Empty]\r\n"
                                                       "First=x\r\n"
                                                       "[Sound]\r\n"
                                                       "SoundMode=2\r\n"
                                                       "SoundRepeatMode=1\r\n"
                                                       "[General]\r\n"
                                                       "WindowWidth=800\r\n"
                                                       "[Graphic Температура]\r\n"
                                                       "Title=Т, °С\r\n"));
}

TEST_F(IniFileTest, MissingFileReadsEmptyAndIsCreatedByTheFirstWrite)
{
    IniFile ini(path());
    EXPECT_EQ(ini.ReadString("Archive", "ArchivePath", "dflt"), QStringLiteral("dflt"));
    EXPECT_EQ(ini.ReadInteger("Communication", "RFChannel", 16), 16);
    EXPECT_TRUE(ini.ReadSections().isEmpty());
    EXPECT_TRUE(ini.ReadSection("Archive").isEmpty());
    // Removing from nothing succeeds and creates nothing.
    EXPECT_TRUE(ini.EraseSection("Archive", error));
    EXPECT_TRUE(ini.DeleteKey("Archive", "ArchivePath", error));
    EXPECT_FALSE(QFile::exists(path()));

    ASSERT_TRUE(ini.WriteString("Devices", "DevicesList", "12,34", error));
    ASSERT_TRUE(ini.WriteInteger("Devices", "Count", 2, error));
    EXPECT_EQ(get(), QByteArray("[Devices]\nDevicesList=12,34\nCount=2\n"));

    // An empty existing file is the same as a missing one.
    put("", "empty.ini");
    IniFile empty(path("empty.ini"));
    EXPECT_EQ(empty.ReadInteger("Sound", "SoundMode", 2), 2);
    ASSERT_TRUE(empty.WriteInteger("Sound", "SoundMode", 1, error));
    EXPECT_EQ(get("empty.ini"), QByteArray("[Sound]\nSoundMode=1\n"));
}

TEST_F(IniFileTest, EveryCallSeesTheFileAsItIsNow)
{
    put("[A]\nk=1\n");
    IniFile first(path());
    IniFile second(path());
    EXPECT_EQ(first.ReadInteger("A", "k", 0), 1);
    ASSERT_TRUE(second.WriteInteger("A", "k", 2, error));
    EXPECT_EQ(first.ReadInteger("A", "k", 0), 2);
    // Same size, same second: an edit by hand is seen at once and not overwritten.
    put("[A]\nk=3\n");
    EXPECT_EQ(first.ReadInteger("A", "k", 0), 3);
    ASSERT_TRUE(first.WriteInteger("A", "j", 4, error));
    EXPECT_EQ(get(), QByteArray("[A]\nk=3\nj=4\n"));
}

TEST_F(IniFileTest, EraseSectionAndDeleteKeyRemoveEveryCopy)
{
    put("; head\n[A]\nk=1\n; about k\nK=2\nj=3\n[B]\nx=1\n[a]\nm=4\n[C]\ny=2\n");
    IniFile ini(path());
    ASSERT_TRUE(ini.DeleteKey("a", "k", error));
    EXPECT_EQ(get(), QByteArray("; head\n[A]\n; about k\nj=3\n[B]\nx=1\n[a]\nm=4\n[C]\ny=2\n"));
    EXPECT_FALSE(ini.ValueExists("A", "k"));

    ASSERT_TRUE(ini.EraseSection("A", error));
    EXPECT_EQ(get(), QByteArray("; head\n[B]\nx=1\n[C]\ny=2\n"));
    EXPECT_FALSE(ini.SectionExists("A"));
    EXPECT_EQ(ini.ReadSections(), (QStringList{"B", "C"}));

    // A section without keys is listed but does not count as present.
    put("[Empty]\n; nothing\n[]\nx=1\n[Full]\nk=1\n");
    EXPECT_EQ(ini.ReadSections(), (QStringList{"Empty", "Full"}));
    EXPECT_FALSE(ini.SectionExists("Empty"));
    EXPECT_TRUE(ini.SectionExists("full"));
}

TEST_F(IniFileTest, NamesAndValuesCannotBreakTheFileApart)
{
    IniFile ini(path());
    ASSERT_TRUE(ini.WriteString("Graphic a\nb", "Title", "one\r\ntwo", error));
    EXPECT_EQ(get(), QByteArray("[Graphic a b]\nTitle=one  two\n"));
    EXPECT_EQ(ini.ReadString("Graphic a\nb", "Title", "-"), QStringLiteral("one  two"));

    // A ']' inside a name survives: the header ends at the last ']'.
    ASSERT_TRUE(ini.WriteInteger("Graphic [x]", "Color", 7, error));
    EXPECT_EQ(ini.ReadInteger("Graphic [x]", "Color", 0), 7);

    const QByteArray before = get();
    for (const char* key : {"a=b", "", "  ", ";c", "[d"}) {
        error.clear();
        EXPECT_FALSE(ini.WriteString("S", key, "v", error)) << key;
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_FALSE(ini.WriteString(" ", "k", "v", error));
    EXPECT_EQ(get(), before);
}

TEST_F(IniFileTest, FailedWritesReportAndLeaveTheFileAlone)
{
    // A folder in the way of the folder: nothing can be created there.
    put("not a folder", "plain");
    IniFile inFile(dir.filePath("plain/klov.ini"));
    EXPECT_EQ(inFile.ReadInteger("A", "k", 5), 5);
    EXPECT_FALSE(inFile.WriteInteger("A", "k", 1, error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Не удалось записать файл \""))) << error.toStdString();
    EXPECT_EQ(get("plain"), QByteArray("not a folder"));

    // A file that exists but cannot be read is never replaced by one holding only the new key.
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.ini"));
    IniFile folder(path("folder.ini"));
    EXPECT_EQ(folder.ReadString("A", "k", "-"), QStringLiteral("-"));
    error.clear();
    EXPECT_FALSE(folder.WriteInteger("A", "k", 1, error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(folder.EraseSection("A", error));
    EXPECT_TRUE(QFileInfo(path("folder.ini")).isDir());

    // The same where a new file could be put in its place: a socket exists, cannot
    // be opened, and could be renamed over.
    const QString socketPath = path("socket.ini");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(socketPath);
    ASSERT_LT(native.size(), static_cast<qsizetype>(sizeof(addr.sun_path)));
    std::memcpy(addr.sun_path, native.constData(), static_cast<size_t>(native.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)), 0);
    IniFile socketIni(socketPath);
    error.clear();
    EXPECT_FALSE(socketIni.WriteInteger("A", "k", 1, error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Не удалось прочитать файл \""))) << error.toStdString();
    EXPECT_FALSE(socketIni.DeleteKey("A", "k", error));
    EXPECT_FALSE(QFileInfo(socketPath).isFile());
    ::close(fd);
}

TEST_F(IniFileTest, FullDiskDuringSaveLeavesTheOldFileWhole)
{
    QByteArray before = "[Archive]\nArchivePath=/data\n[Devices]\nDevicesList=";
    for (int i = 0; i < 300; ++i)
        before += QByteArray::number(10000 + i) + ',';
    before += "1\n[Sound]\nSoundMode=2\n";
    put(before);

    IniFile ini(path());
    {
        // The new file would be a little longer than the old one and than the limit.
        FileSizeLimit full(static_cast<rlim_t>(before.size() + 2));
        ASSERT_TRUE(full.ok());
        EXPECT_FALSE(ini.WriteString("Archive", "ArchivePath", "/a/much/longer/folder", error));
    }
    EXPECT_TRUE(error.startsWith(QStringLiteral("Не удалось записать файл \""))) << error.toStdString();
    // The system's reason in Russian too.
    EXPECT_TRUE(error.endsWith(QStringLiteral("(файл слишком велик)"))) << error.toStdString();
    EXPECT_EQ(get(), before);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"klov.ini"});

    // With room again the same write goes through.
    ASSERT_TRUE(ini.WriteString("Archive", "ArchivePath", "/a/much/longer/folder", error));
    EXPECT_EQ(ini.ReadString("Archive", "ArchivePath", "-"), QStringLiteral("/a/much/longer/folder"));
    EXPECT_EQ(ini.ReadInteger("Sound", "SoundMode", 0), 2);
}

} // namespace
