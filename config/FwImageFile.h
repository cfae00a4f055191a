#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class TDevice;

// The 16-byte header of a firmware image file; multi-byte fields big-endian.
struct TFwFileHeader
{
    static constexpr int Size = 16;

    quint8 HwVersion = 0;    // byte 1
    quint16 DeviceType = 0;  // bytes 2..3, the device type code
    quint16 ImageCrc = 0;    // bytes 4..5, CRC-16 of the image from 0xFFFF
    quint32 ImageLength = 0; // bytes 6..9

    // False when Data is shorter than the header.
    static bool Decode(const QByteArray& Data, TFwFileHeader& Header);
    QByteArray Encode() const;
};

// A firmware image file chosen for an update: the whole file, its header and
// the image. A file whose checks did not all pass leaves nothing loaded, so an
// update never sends an image that was refused.
class TFwImageFile
{
public:
    // The texts of the checks.
    static const QString ShortReadMessage;
    static const QString UnknownTypeMessage;
    static const QString WrongLengthMessage;
    static const QString WrongCrcMessage;
    static const QString TypeQuestion;
    static const QString HwVersionQuestion;
    // Longest image taken; a longer file is refused as a wrong length without
    // being read whole.
    static constexpr qint64 MaxImageLength = 16 * 1024 * 1024;

    // Reads the file whole and checks it (Check). False with the message when the
    // file cannot be read or a check fails; nothing stays loaded then. HeaderShown
    // tells whether the header could be decoded (a refused file still shows it).
    bool Load(const QString& FileName, QString& ErrMsg);
    // The same for bytes already read.
    bool LoadBytes(const QByteArray& FileData, QString& ErrMsg);

    // Checks of a whole file against its own header: type, length, checksum. A
    // file shorter than the header or announcing an empty image has a wrong length.
    static bool Check(const QByteArray& FileData, QString& ErrMsg);
    // The header against the device it is meant for: the questions to ask, in
    // order (type first, then hardware version); none in service mode.
    static QStringList DeviceQuestions(const TFwFileHeader& Header, const TDevice& Device, bool Superuser);

    void Clear();
    bool HasImage() const { return !Image_.isEmpty(); }
    bool HeaderShown() const { return HeaderShown_; }
    const TFwFileHeader& Header() const { return Header_; }
    const QByteArray& FileData() const { return FileData_; }
    const QByteArray& Image() const { return Image_; }

    // The texts of the header labels.
    QString HwVersionText() const;
    QString DeviceTypeText() const;
    QString CrcText() const;
    QString LengthText() const;

private:
    QByteArray FileData_;
    QByteArray Image_;
    TFwFileHeader Header_;
    bool HeaderShown_ = false;
};
