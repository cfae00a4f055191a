#include "platform/CodePage.h"

#include <QStringDecoder>
#include <array>

namespace {

// The code page as two tables, built once from the platform's converter. A
// table lookup per character is exact and fast, and it avoids the converter's
// error flag, which stays set for good after the first unmappable character.
struct TTables
{
    std::array<char16_t, 256> ToUnicode{};
    std::array<qint16, 0x10000> FromUnicode{}; // -1: no byte for this character

    TTables()
    {
        FromUnicode.fill(-1);
        QByteArray all(256, '\0');
        for (int i = 0; i < 256; ++i)
            all[i] = char(i);
        QStringDecoder dec("windows-1251", QStringConverter::Flag::Stateless);
        const QString text = dec.decode(all);
        Q_ASSERT(dec.isValid() && text.size() == 256);
        for (int i = 0; i < 256 && i < text.size(); ++i) {
            ToUnicode[std::size_t(i)] = text.at(i).unicode();
            FromUnicode[text.at(i).unicode()] = qint16(i);
        }
    }
};

const TTables& tables()
{
    static const TTables t;
    return t;
}

} // namespace

QString CodePage::FromWindows1251(QByteArrayView Bytes)
{
    const TTables& t = tables();
    QString s(Bytes.size(), Qt::Uninitialized);
    QChar* out = s.data();
    for (qsizetype i = 0; i < Bytes.size(); ++i)
        out[i] = QChar(t.ToUnicode[quint8(Bytes[i])]);
    return s;
}

QByteArray CodePage::ToWindows1251(QStringView Text)
{
    const TTables& t = tables();
    QByteArray out;
    out.reserve(Text.size());
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const QChar c = Text.at(i);
        if (c.isHighSurrogate() && i + 1 < Text.size() && Text.at(i + 1).isLowSurrogate()) {
            out.append('?'); // one character outside the BMP, one byte
            ++i;
            continue;
        }
        const qint16 b = t.FromUnicode[c.unicode()];
        out.append(b < 0 ? '?' : char(b));
    }
    return out;
}

bool CodePage::IsWindows1251(QStringView Text)
{
    const TTables& t = tables();
    for (const QChar c : Text)
        if (t.FromUnicode[c.unicode()] < 0)
            return false;
    return true;
}

QStringList CodePage::MissingFromWindows1251(QStringView Text)
{
    const TTables& t = tables();
    QStringList missing;
    for (qsizetype i = 0; i < Text.size(); ++i) {
        qsizetype n = 1;
        if (Text.at(i).isHighSurrogate() && i + 1 < Text.size() && Text.at(i + 1).isLowSurrogate())
            n = 2;
        else if (t.FromUnicode[Text.at(i).unicode()] >= 0)
            continue;
        const QString c = Text.mid(i, n).toString();
        if (!missing.contains(c))
            missing << c;
        i += n - 1;
    }
    return missing;
}
