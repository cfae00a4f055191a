#include "platform/CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

constexpr const char* CodecName = "windows-1251";

// One converter each for the whole run: the application is single-threaded and
// a stateless single-byte conversion leaves nothing behind between calls.
QStringDecoder& decoder()
{
    thread_local QStringDecoder dec(CodecName, QStringConverter::Flag::Stateless);
    return dec;
}

QStringEncoder& encoder()
{
    thread_local QStringEncoder enc(CodecName, QStringConverter::Flag::Stateless);
    return enc;
}

// Encodes one code point (one or two UTF-16 units); false when the code page
// has no byte for it.
bool encodeOne(QStringView Unit, char& Out)
{
    QStringEncoder& enc = encoder();
    enc.resetState();
    const QByteArray b = enc.encode(Unit);
    const bool ok = !enc.hasError() && b.size() == 1;
    enc.resetState();
    if (ok)
        Out = b.at(0);
    return ok;
}

} // namespace

QString CodePage::FromWindows1251(QByteArrayView Bytes)
{
    QStringDecoder& dec = decoder();
    dec.resetState();
    QString s = dec.decode(Bytes);
    dec.resetState();
    return s;
}

QByteArray CodePage::ToWindows1251(QStringView Text)
{
    QStringEncoder& enc = encoder();
    enc.resetState();
    QByteArray whole = enc.encode(Text);
    const bool clean = !enc.hasError() && whole.size() == Text.size();
    enc.resetState();
    if (clean)
        return whole;

    // Some character has no byte: the encoder's substitute (0x1A) cannot be told
    // from a real U+001A, so go character by character.
    QByteArray out;
    out.reserve(Text.size());
    for (qsizetype i = 0; i < Text.size();) {
        const qsizetype len = (Text.at(i).isHighSurrogate() && i + 1 < Text.size() &&
                               Text.at(i + 1).isLowSurrogate())
                                  ? 2
                                  : 1;
        char c = '?';
        if (!encodeOne(Text.mid(i, len), c))
            c = '?';
        out.append(c);
        i += len;
    }
    return out;
}

bool CodePage::IsWindows1251(QStringView Text)
{
    for (qsizetype i = 0; i < Text.size(); ++i) {
        char c;
        if (Text.at(i).isSurrogate() || !encodeOne(Text.mid(i, 1), c))
            return false;
    }
    return true;
}
