#include "config/FwImageFile.h"
#include "core/Device.h"
#include "support/QStringPrinter.h"
#include "support/TestFirmware.h"
#include "tools/mkvfw/VfwWriter.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray validFile(int Length = 100, quint16 Type = 1, quint8 Hw = 3)
{
    return VfwWriter::Make(TestFirmware(Length, 7, Type, Hw));
}

} // namespace

TEST(FwImageFile, AcceptedFileKeepsHeaderAndImage)
{
    TFwImageFile f;
    QString err;
    const QByteArray data = validFile(100, 2, 5);
    ASSERT_TRUE(f.LoadBytes(data, err)) << err.toStdString();
    EXPECT_TRUE(f.HasImage());
    EXPECT_EQ(f.Image(), data.mid(16));
    EXPECT_EQ(f.Header().ImageLength, 100u);
    EXPECT_EQ(f.Header().DeviceType, 2);
    EXPECT_EQ(f.Header().HwVersion, 5);
    EXPECT_EQ(f.Header().ImageCrc, VfwWriter::Crc16(data.mid(16)));
    EXPECT_EQ(f.HwVersionText(), QStringLiteral("Аппаратная версия: 5"));
    EXPECT_EQ(f.DeviceTypeText(), QStringLiteral("Тип устройства: ЛО РВ-Т/Н"));
    EXPECT_EQ(f.LengthText(), QStringLiteral("Длина файла: 100 байт"));
}

TEST(FwImageFile, EachCheckRefusesWithItsTextAndLeavesNothingLoaded)
{
    struct Case
    {
        const char* what;
        VfwFile file;
        QString message;
    };
    VfwFile good;
    good.Image = VfwWriter::Pattern(40);
    VfwFile longer = good;
    longer.Trailer = QByteArray(1, 'x');
    VfwFile badCrc = good;
    badCrc.BadCrc = true;
    VfwFile unknown = good;
    unknown.DeviceType = 3;
    VfwFile shortLen = good;
    shortLen.LengthDelta = -1;
    VfwFile empty;
    empty.Image = QByteArray();
    const Case cases[] = {
        {"one byte appended", longer, QStringLiteral("Неверная длина файла!")},
        {"header length one short", shortLen, QStringLiteral("Неверная длина файла!")},
        {"checksum", badCrc, QStringLiteral("Неверная контрольная сумма!")},
        {"type 3", unknown, QStringLiteral("Неизвестный тип устройства!")},
        {"empty image", empty, QStringLiteral("Неверная длина файла!")},
    };
    for (const Case& c : cases) {
        TFwImageFile f;
        QString err;
        ASSERT_TRUE(f.LoadBytes(validFile(), err)) << c.what;
        EXPECT_FALSE(f.LoadBytes(VfwWriter::Make(c.file), err)) << c.what;
        EXPECT_EQ(err, c.message) << c.what;
        EXPECT_FALSE(f.HasImage()) << c.what;
        EXPECT_TRUE(f.FileData().isEmpty()) << c.what;
        // The refused file's header is still there to be shown.
        EXPECT_TRUE(f.HeaderShown()) << c.what;
    }
}

TEST(FwImageFile, ChangedImageByteIsACheckSumErrorAfterTheHeaderIsKnown)
{
    QByteArray data = validFile(64);
    data[16 + 30] = char(data[16 + 30] ^ 1);
    TFwImageFile f;
    QString err;
    EXPECT_FALSE(f.LoadBytes(data, err));
    EXPECT_EQ(err, QStringLiteral("Неверная контрольная сумма!"));
    EXPECT_EQ(f.LengthText(), QStringLiteral("Длина файла: 64 байт"));
}

TEST(FwImageFile, UnknownTypeNameAndUpperCaseChecksum)
{
    TFwFileHeader h;
    h.DeviceType = 3;
    h.ImageCrc = 0x0A5F;
    h.ImageLength = 1;
    TFwImageFile f;
    QString err;
    EXPECT_FALSE(f.LoadBytes(h.Encode() + QByteArray(1, '\0'), err));
    EXPECT_EQ(err, QStringLiteral("Неизвестный тип устройства!"));
    EXPECT_EQ(f.DeviceTypeText(), QStringLiteral("Тип устройства: Неизвестный"));
    EXPECT_EQ(f.CrcText(), QStringLiteral("Контрольная сумма: 0x0A5F"));
}

TEST(FwImageFile, FileShorterThanTheHeaderIsRefusedWithoutAHeader)
{
    TFwImageFile f;
    QString err;
    EXPECT_FALSE(f.LoadBytes(validFile().left(9), err));
    EXPECT_EQ(err, QStringLiteral("Неверная длина файла!"));
    EXPECT_FALSE(f.HeaderShown());
    EXPECT_FALSE(f.LoadBytes(QByteArray(), err));
}

TEST(FwImageFile, LoadsFromDiskAndReportsAMissingFile)
{
    QTemporaryDir dir;
    VfwFile file;
    file.Image = VfwWriter::Pattern(300, 3);
    ASSERT_TRUE(VfwWriter::Write(dir.filePath(QStringLiteral("a.vfw")), file));
    TFwImageFile f;
    QString err;
    EXPECT_TRUE(f.Load(dir.filePath(QStringLiteral("a.vfw")), err)) << err.toStdString();
    EXPECT_EQ(f.Image(), file.Image);
    EXPECT_FALSE(f.Load(dir.filePath(QStringLiteral("none.vfw")), err));
    EXPECT_FALSE(err.isEmpty());
    EXPECT_FALSE(f.HasImage());
    // A device that never ends is not read.
    EXPECT_FALSE(f.Load(QStringLiteral("/dev/zero"), err));
    EXPECT_EQ(err, QStringLiteral("Не удалось полностью считать файл!"));
    EXPECT_FALSE(f.HasImage());
}

TEST(FwImageFile, FileFarTooLongIsRefusedOnItsHeaderAlone)
{
    // A disk image chosen by mistake must not be read into memory whole.
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("big.vfw"));
    constexpr qint64 length = TFwImageFile::MaxImageLength + 1;
    TFwFileHeader h;
    h.DeviceType = 2;
    h.HwVersion = 9;
    h.ImageLength = quint32(length);
    {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(h.Encode()), TFwFileHeader::Size);
        ASSERT_TRUE(file.resize(TFwFileHeader::Size + length));
    }
    TFwImageFile f;
    QString err;
    EXPECT_FALSE(f.Load(name, err));
    EXPECT_EQ(err, QStringLiteral("Неверная длина файла!"));
    ASSERT_TRUE(f.HeaderShown());
    EXPECT_EQ(f.HwVersionText(), QStringLiteral("Аппаратная версия: 9"));
    EXPECT_EQ(f.LengthText(), QStringLiteral("Длина файла: 16777217 байт"));
    EXPECT_FALSE(f.HasImage());
}

TEST(FwImageFile, DeviceQuestionsComeTypeFirstAndNotInServiceMode)
{
    TDevice d(1);
    d.DeviceType = TDeviceType::ThermoInputs;
    d.HwVersion = 3;
    TFwFileHeader h;
    h.DeviceType = 2;
    h.HwVersion = 3;
    EXPECT_EQ(TFwImageFile::DeviceQuestions(h, d, false), QStringList{TFwImageFile::TypeQuestion});
    h.HwVersion = 4;
    EXPECT_EQ(TFwImageFile::DeviceQuestions(h, d, false),
              (QStringList{TFwImageFile::TypeQuestion, TFwImageFile::HwVersionQuestion}));
    EXPECT_TRUE(TFwImageFile::DeviceQuestions(h, d, true).isEmpty());
    h.DeviceType = 1;
    h.HwVersion = 3;
    EXPECT_TRUE(TFwImageFile::DeviceQuestions(h, d, false).isEmpty());
}
