#include "config/FwImageFile.h"

#include "core/Device.h"
#include "core/NetComm.h"

#include <QFile>
#include <QFileInfo>
#include <span>

const QString TFwImageFile::ShortReadMessage = QStringLiteral("Не удалось полностью считать файл!");
const QString TFwImageFile::UnknownTypeMessage = QStringLiteral("Неизвестный тип устройства!");
const QString TFwImageFile::WrongLengthMessage = QStringLiteral("Неверная длина файла!");
const QString TFwImageFile::WrongCrcMessage = QStringLiteral("Неверная контрольная сумма!");
const QString TFwImageFile::TypeQuestion = QStringLiteral(
    "Текущий тип устройства не соответствует типу устройства в прошивке, продолжить обновление?");
const QString TFwImageFile::HwVersionQuestion =
    QStringLiteral("Текущая аппаратная версия устройства не соответствует аппаратной версии устройства в "
                   "прошивке, продолжить обновление?");

namespace {

quint16 be16(const QByteArray& D, int At)
{
    return quint16(quint8(D[At]) << 8 | quint8(D[At + 1]));
}

quint16 imageCrc(const QByteArray& Image)
{
    quint16 crc = 0xFFFF;
    CalcCRC16(std::span<const quint8>(reinterpret_cast<const quint8*>(Image.constData()), Image.size()), crc);
    return crc;
}

} // namespace

bool TFwFileHeader::Decode(const QByteArray& Data, TFwFileHeader& Header)
{
    if (Data.size() < Size)
        return false;
    Header.HwVersion = quint8(Data[1]);
    Header.DeviceType = be16(Data, 2);
    Header.ImageCrc = be16(Data, 4);
    Header.ImageLength = quint32(be16(Data, 6)) << 16 | be16(Data, 8);
    return true;
}

QByteArray TFwFileHeader::Encode() const
{
    QByteArray h(Size, '\0');
    h[1] = char(HwVersion);
    h[2] = char(DeviceType >> 8);
    h[3] = char(DeviceType);
    h[4] = char(ImageCrc >> 8);
    h[5] = char(ImageCrc);
    for (int i = 0; i < 4; ++i)
        h[6 + i] = char(ImageLength >> (24 - 8 * i));
    return h;
}

bool TFwImageFile::Load(const QString& FileName, QString& ErrMsg)
{
    Clear();
    // A device or a pipe has no length to check and may never end: not an image file.
    if (!QFileInfo(FileName).isFile()) {
        ErrMsg = ShortReadMessage;
        return false;
    }
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly)) {
        ErrMsg = file.errorString();
        return false;
    }
    const qint64 size = file.size();
    if (size > TFwFileHeader::Size + MaxImageLength) {
        // Far beyond any device's memory: refused on its header, never read whole.
        HeaderShown_ = TFwFileHeader::Decode(file.read(TFwFileHeader::Size), Header_);
        ErrMsg = HeaderShown_ && WordToDeviceType(Header_.DeviceType) == TDeviceType::Unknown
                     ? UnknownTypeMessage
                     : WrongLengthMessage;
        return false;
    }
    const QByteArray data = file.read(size);
    if (data.size() != size) {
        ErrMsg = ShortReadMessage;
        return false;
    }
    return LoadBytes(data, ErrMsg);
}

bool TFwImageFile::LoadBytes(const QByteArray& FileData, QString& ErrMsg)
{
    Clear();
    HeaderShown_ = TFwFileHeader::Decode(FileData, Header_);
    if (!Check(FileData, ErrMsg))
        return false;
    FileData_ = FileData;
    Image_ = FileData.mid(TFwFileHeader::Size);
    return true;
}

bool TFwImageFile::Check(const QByteArray& FileData, QString& ErrMsg)
{
    TFwFileHeader h;
    if (!TFwFileHeader::Decode(FileData, h)) {
        ErrMsg = WrongLengthMessage;
        return false;
    }
    if (WordToDeviceType(h.DeviceType) == TDeviceType::Unknown) {
        ErrMsg = UnknownTypeMessage;
        return false;
    }
    if (h.ImageLength == 0 || h.ImageLength > MaxImageLength ||
        quint64(FileData.size()) - TFwFileHeader::Size != h.ImageLength) {
        ErrMsg = WrongLengthMessage;
        return false;
    }
    if (imageCrc(FileData.mid(TFwFileHeader::Size)) != h.ImageCrc) {
        ErrMsg = WrongCrcMessage;
        return false;
    }
    return true;
}

QStringList TFwImageFile::DeviceQuestions(const TFwFileHeader& Header, const TDevice& Device, bool Superuser)
{
    QStringList q;
    if (Superuser)
        return q;
    if (WordToDeviceType(Header.DeviceType) != Device.DeviceType)
        q << TypeQuestion;
    if (Header.HwVersion != Device.HwVersion)
        q << HwVersionQuestion;
    return q;
}

void TFwImageFile::Clear()
{
    FileData_.clear();
    Image_.clear();
    HeaderShown_ = false;
    Header_ = {};
}

QString TFwImageFile::HwVersionText() const
{
    return QStringLiteral("Аппаратная версия: ") + QString::number(Header_.HwVersion);
}

QString TFwImageFile::DeviceTypeText() const
{
    QString name;
    GetDeviceTypeName(WordToDeviceType(Header_.DeviceType), name);
    return QStringLiteral("Тип устройства: ") + name;
}

QString TFwImageFile::CrcText() const
{
    return QStringLiteral("Контрольная сумма: 0x") +
           QStringLiteral("%1").arg(Header_.ImageCrc, 4, 16, QLatin1Char('0')).toUpper();
}

QString TFwImageFile::LengthText() const
{
    return QStringLiteral("Длина файла: ") + QString::number(Header_.ImageLength) + QStringLiteral(" байт");
}
