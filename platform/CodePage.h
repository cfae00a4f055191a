#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

// Texts in device registers and export files are Windows-1251, one byte per
// character. Every byte 0x00..0xFF decodes to one character (0x98, which the code
// page leaves unassigned, to U+0098), so decoding and encoding back is lossless.
class CodePage
{
public:
    // One character per byte.
    static QString FromWindows1251(QByteArrayView Bytes);
    // One byte per character; a character the code page lacks becomes '?', as the
    // Windows conversion does (a character outside the BMP is one '?').
    static QByteArray ToWindows1251(QStringView Text);
    // Whether every character of Text has a byte of its own in the code page.
    static bool IsWindows1251(QStringView Text);
    // The characters of Text the code page lacks, each once, in the order they
    // first appear (a character outside the BMP is one entry).
    static QStringList MissingFromWindows1251(QStringView Text);
};
