// klov-mkvfw: writes a firmware image file.
//
//   klov-mkvfw [--type N] [--hw N] [--length N | --image FILE] [--seed N]
//              [--bad-crc] [--length-delta N] [--trailer N] OUT.VFW
//
// Without --image the image is --length bytes (default 1024) of a pattern
// chosen by --seed.

#include "tools/mkvfw/VfwWriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.addHelpOption();
    p.addOption({QStringLiteral("type"), QStringLiteral("device type code"), QStringLiteral("N"),
                 QStringLiteral("1")});
    p.addOption(
        {QStringLiteral("hw"), QStringLiteral("hardware version"), QStringLiteral("N"), QStringLiteral("1")});
    p.addOption({QStringLiteral("length"), QStringLiteral("image length"), QStringLiteral("N"),
                 QStringLiteral("1024")});
    p.addOption({QStringLiteral("image"), QStringLiteral("image bytes from a file"), QStringLiteral("FILE")});
    p.addOption(
        {QStringLiteral("seed"), QStringLiteral("pattern seed"), QStringLiteral("N"), QStringLiteral("1")});
    p.addOption({QStringLiteral("bad-crc"), QStringLiteral("header checksum off by one")});
    p.addOption({QStringLiteral("length-delta"), QStringLiteral("added to the header's length"),
                 QStringLiteral("N"), QStringLiteral("0")});
    p.addOption({QStringLiteral("trailer"), QStringLiteral("bytes appended after the image"),
                 QStringLiteral("N"), QStringLiteral("0")});
    p.addPositionalArgument(QStringLiteral("out"), QStringLiteral("file to write"));
    p.process(app);
    if (p.positionalArguments().size() != 1)
        p.showHelp(2);

    VfwFile file;
    file.DeviceType = quint16(p.value(QStringLiteral("type")).toUInt());
    file.HwVersion = quint8(p.value(QStringLiteral("hw")).toUInt());
    if (p.isSet(QStringLiteral("image"))) {
        QFile in(p.value(QStringLiteral("image")));
        if (!in.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read the image file\n");
            return 1;
        }
        file.Image = in.readAll();
    } else {
        file.Image = VfwWriter::Pattern(p.value(QStringLiteral("length")).toInt(),
                                        p.value(QStringLiteral("seed")).toUInt());
    }
    file.BadCrc = p.isSet(QStringLiteral("bad-crc"));
    file.LengthDelta = p.value(QStringLiteral("length-delta")).toLongLong();
    file.Trailer = VfwWriter::Pattern(p.value(QStringLiteral("trailer")).toInt(), 99);
    if (!VfwWriter::Write(p.positionalArguments().first(), file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(p.positionalArguments().first()));
        return 1;
    }
    return 0;
}
