#include "platform/IniFile.h"

#include "platform/SystemError.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <cerrno>
#include <limits>
#include <optional>
#include <unistd.h>

namespace {

struct Line
{
    QString Text; // without its line ending
    QString Eol;  // "\r\n", "\n", "\r", or "" for a last line without one
};

// The file as lines, and what is needed to write it back the same way.
// The encoding a file was read in, and so is written back in.
enum class TextEncoding
{
    Utf8,
    Utf16LE,
    Utf16BE,
    Windows1251,
    Latin1,
};

struct Document
{
    QList<Line> Lines;
    bool Utf8Bom = false;
    TextEncoding Encoding = TextEncoding::Utf8;
    QString NewEol = QStringLiteral("\n");
};

bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

QString trimBlanks(QStringView s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b).toString();
}

// Names as the caller gives them: a line break would split the line it is written on.
QString normalizedName(const QString& name)
{
    QString n = name;
    n.replace(QLatin1Char('\r'), QLatin1Char(' '));
    n.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return trimBlanks(n);
}

bool sameName(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) == 0;
}

// A "[name]" line gives the name between '[' and the last ']' (or the line end).
std::optional<QString> sectionName(const QString& text)
{
    const QString t = trimBlanks(text);
    if (!t.startsWith(QLatin1Char('[')))
        return std::nullopt;
    qsizetype end = t.lastIndexOf(QLatin1Char(']'));
    if (end < 1)
        end = t.size();
    return trimBlanks(QStringView(t).mid(1, end - 1));
}

bool isComment(const QString& text)
{
    const QString t = trimBlanks(text);
    return t.startsWith(QLatin1Char(';'));
}

// A "key=value" line gives the key; comments, headers and lines without '=' give none.
std::optional<QString> entryKey(const QString& text)
{
    if (isComment(text) || sectionName(text))
        return std::nullopt;
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq < 0)
        return std::nullopt;
    QString key = trimBlanks(QStringView(text).left(eq));
    if (key.isEmpty())
        return std::nullopt;
    return key;
}

QString entryValue(const QString& text)
{
    QString v = trimBlanks(QStringView(text).mid(text.indexOf(QLatin1Char('=')) + 1));
    if (v.size() >= 2 && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\'')) &&
        v.back() == v.front())
        v = v.mid(1, v.size() - 2);
    return v;
}

QString decode(const QByteArray& bytes, bool& utf8Bom, TextEncoding& encoding)
{
    utf8Bom = false;
    encoding = TextEncoding::Utf8;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        utf8Bom = true;
        return QString::fromUtf8(bytes.mid(3));
    }
    if (bytes.startsWith("\xFF\xFE")) {
        encoding = TextEncoding::Utf16LE;
        return QStringDecoder(QStringDecoder::Utf16LE)(bytes.mid(2));
    }
    if (bytes.startsWith("\xFE\xFF")) {
        encoding = TextEncoding::Utf16BE;
        return QStringDecoder(QStringDecoder::Utf16BE)(bytes.mid(2));
    }

    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    // Files written on Windows are in the ANSI code page.
    QStringDecoder cp1251("windows-1251");
    if (cp1251.isValid()) {
        encoding = TextEncoding::Windows1251;
        return cp1251(bytes);
    }
    encoding = TextEncoding::Latin1;
    return QString::fromLatin1(bytes);
}

// The document's text in the encoding it was read in. A line that encoding
// cannot hold gives false and the error, so the file is not touched.
bool encode(const QString& fileName, const Document& doc, QByteArray& bytes, QString& error)
{
    bytes.clear();
    switch (doc.Encoding) {
    case TextEncoding::Utf8:
        if (doc.Utf8Bom)
            bytes = "\xEF\xBB\xBF";
        for (const Line& l : doc.Lines)
            bytes += (l.Text + l.Eol).toUtf8();
        return true;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
        const bool le = doc.Encoding == TextEncoding::Utf16LE;
        bytes = le ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF");
        QStringEncoder utf16(le ? QStringEncoder::Utf16LE : QStringEncoder::Utf16BE);
        for (const Line& l : doc.Lines)
            bytes += utf16(l.Text + l.Eol);
        return true;
    }
    case TextEncoding::Windows1251:
    case TextEncoding::Latin1:
        break;
    }
    const bool cp1251 = doc.Encoding == TextEncoding::Windows1251;
    // One encoder for the file: its error stays set, so the first line it sees
    // set is the one that cannot be held.
    QStringEncoder encoder = cp1251 ? QStringEncoder("windows-1251") : QStringEncoder(QStringEncoder::Latin1);
    for (const Line& l : doc.Lines) {
        bytes += encoder(l.Text + l.Eol);
        if (encoder.hasError()) {
            error = QStringLiteral(
                        "Не удалось записать файл \"%1\": текст \"%2\" нельзя записать в кодировке %3, "
                        "в которой хранится файл. Файл оставлен без изменений.")
                        .arg(fileName, l.Text,
                             cp1251 ? QStringLiteral("Windows-1251") : QStringLiteral("ISO-8859-1"));
            bytes.clear();
            return false;
        }
    }
    return true;
}

QList<Line> splitLines(const QString& text)
{
    QList<Line> lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\n') && c != QLatin1Char('\r'))
            continue;
        const bool crlf = c == QLatin1Char('\r') && i + 1 < n && text[i + 1] == QLatin1Char('\n');
        lines.append({text.mid(start, i - start), crlf ? QStringLiteral("\r\n") : QString(c)});
        if (crlf)
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append({text.mid(start), QString()});
    return lines;
}

bool load(const QString& fileName, Document& doc, QString& error)
{
    doc = Document();
    QFile file(fileName);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Не удалось прочитать файл \"%1\" (%2)")
                    .arg(fileName, SystemError::Russian(file.errorString()));
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error = QStringLiteral("Не удалось прочитать файл \"%1\" (%2)")
                    .arg(fileName, SystemError::Russian(file.errorString()));
        return false;
    }
    doc.Lines = splitLines(decode(bytes, doc.Utf8Bom, doc.Encoding));
    for (const Line& l : doc.Lines) {
        if (!l.Eol.isEmpty()) {
            doc.NewEol = l.Eol;
            break;
        }
    }
    return true;
}

// Reads never fail: an unreadable file reads as empty, like a missing one.
Document loadForReading(const QString& fileName)
{
    Document doc;
    QString ignored;
    if (!load(fileName, doc, ignored))
        doc = Document();
    return doc;
}

bool save(const QString& fileName, const Document& doc, QString& error)
{
    QByteArray bytes;
    if (!encode(fileName, doc, bytes, error))
        return false;

    // No direct-write fallback: where no temporary file can be made beside the
    // target, failing is better than a file cut short by a crash or a full disk.
    // commit() overlooks a flush that fails while it closes (a full disk then
    // gives a short file renamed over the good one), so flush and sync first.
    QSaveFile file(fileName);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush() ||
        ::fsync(file.handle()) != 0 || !file.commit()) {
        // The system's own reason: Qt's text for a failed flush is often "Unknown error".
        const int reason = errno;
        error = QStringLiteral("Не удалось записать файл \"%1\" (%2)")
                    .arg(fileName,
                         reason != 0 ? SystemError::Text(reason) : SystemError::Russian(file.errorString()));
        file.cancelWriting();
        return false;
    }
    return true;
}

struct Range
{
    qsizetype Header = -1; // the "[name]" line, -1 when the section is missing
    qsizetype End = 0;     // the next header or the end of the file
};

Range findSection(const Document& doc, const QString& name, qsizetype from = 0)
{
    Range r;
    for (qsizetype i = from; i < doc.Lines.size(); ++i) {
        const auto s = sectionName(doc.Lines[i].Text);
        if (!s)
            continue;
        if (r.Header >= 0) {
            r.End = i;
            return r;
        }
        if (sameName(*s, name))
            r.Header = i;
    }
    r.End = doc.Lines.size();
    return r;
}

qsizetype findKey(const Document& doc, const Range& r, const QString& key)
{
    if (r.Header < 0)
        return -1;
    for (qsizetype i = r.Header + 1; i < r.End; ++i) {
        const auto k = entryKey(doc.Lines[i].Text);
        if (k && sameName(*k, key))
            return i;
    }
    return -1;
}

void insertLine(Document& doc, qsizetype at, const QString& text)
{
    if (at > 0 && doc.Lines[at - 1].Eol.isEmpty())
        doc.Lines[at - 1].Eol = doc.NewEol;
    doc.Lines.insert(at, {text, doc.NewEol});
}

// ASCII digits only: other Unicode digits are not numbers in these files.
int digitValue(QChar c, bool hex)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (hex && u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (hex && u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

bool validNames(const QString& section, const QString& key, QString& error)
{
    if (section.isEmpty() || key.isEmpty() || key.contains(QLatin1Char('=')) ||
        key.startsWith(QLatin1Char(';')) || key.startsWith(QLatin1Char('['))) {
        error = QStringLiteral("Недопустимое имя раздела или параметра: [%1] %2").arg(section, key);
        return false;
    }
    return true;
}

// Sets one value in the document; false when it already held it.
bool setEntry(Document& doc, const QString& section, const QString& key, const QString& Value)
{
    QString value = Value;
    value.replace(QLatin1Char('\r'), QLatin1Char(' '));
    value.replace(QLatin1Char('\n'), QLatin1Char(' '));

    const Range r = findSection(doc, section);
    if (r.Header < 0) {
        insertLine(doc, doc.Lines.size(), QLatin1Char('[') + section + QLatin1Char(']'));
        insertLine(doc, doc.Lines.size(), key + QLatin1Char('=') + value);
        return true;
    }

    const qsizetype at = findKey(doc, r, key);
    if (at >= 0) {
        // Keep the key as spelled and the blanks around '='; only the value changes.
        QString& text = doc.Lines[at].Text;
        qsizetype keep = text.indexOf(QLatin1Char('=')) + 1;
        while (keep < text.size() && isBlank(text[keep]))
            ++keep;
        const QString updated = text.left(keep) + value;
        if (updated == text)
            return false;
        text = updated;
        return true;
    }

    // After the last line of the section that is not blank and not a comment, so
    // blank lines and comments heading the next section stay with it.
    qsizetype last = r.Header;
    for (qsizetype i = r.Header + 1; i < r.End; ++i) {
        const QString t = trimBlanks(doc.Lines[i].Text);
        if (!t.isEmpty() && !isComment(t))
            last = i;
    }
    insertLine(doc, last + 1, key + QLatin1Char('=') + value);
    return true;
}

} // namespace

IniFile::IniFile(const QString& FileName) : FileName_(FileName) {}

QString IniFile::ReadString(const QString& Section, const QString& Ident, const QString& Default) const
{
    const Document doc = loadForReading(FileName_);
    const qsizetype i = findKey(doc, findSection(doc, normalizedName(Section)), normalizedName(Ident));
    return i < 0 ? Default : entryValue(doc.Lines[i].Text);
}

int IniFile::ReadInteger(const QString& Section, const QString& Ident, int Default) const
{
    const Document doc = loadForReading(FileName_);
    const qsizetype i = findKey(doc, findSection(doc, normalizedName(Section)), normalizedName(Ident));
    return i < 0 ? Default : StrToIntDef(entryValue(doc.Lines[i].Text), Default);
}

bool IniFile::ReadBool(const QString& Section, const QString& Ident, bool Default) const
{
    return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

bool IniFile::WriteString(const QString& Section, const QString& Ident, const QString& Value, QString& Error)
{
    return WriteStrings({{Section, Ident, Value}}, Error);
}

bool IniFile::WriteStrings(const QList<TEntry>& Entries, QString& Error)
{
    for (const TEntry& e : Entries) {
        if (!validNames(normalizedName(e.Section), normalizedName(e.Ident), Error))
            return false;
    }
    Document doc;
    if (!load(FileName_, doc, Error))
        return false; // never replace a file we could not read
    bool changed = false;
    for (const TEntry& e : Entries)
        changed = setEntry(doc, normalizedName(e.Section), normalizedName(e.Ident), e.Value) || changed;
    return !changed || save(FileName_, doc, Error);
}

bool IniFile::WriteInteger(const QString& Section, const QString& Ident, int Value, QString& Error)
{
    return WriteString(Section, Ident, QString::number(Value), Error);
}

bool IniFile::WriteBool(const QString& Section, const QString& Ident, bool Value, QString& Error)
{
    return WriteString(Section, Ident, Value ? QStringLiteral("1") : QStringLiteral("0"), Error);
}

QStringList IniFile::ReadSection(const QString& Section) const
{
    const Document doc = loadForReading(FileName_);
    const Range r = findSection(doc, normalizedName(Section));
    QStringList keys;
    if (r.Header < 0)
        return keys;
    for (qsizetype i = r.Header + 1; i < r.End; ++i) {
        const auto k = entryKey(doc.Lines[i].Text);
        if (k && !keys.contains(*k, Qt::CaseInsensitive))
            keys.append(*k);
    }
    return keys;
}

QStringList IniFile::ReadSections() const
{
    const Document doc = loadForReading(FileName_);
    QStringList names;
    for (const Line& l : doc.Lines) {
        const auto s = sectionName(l.Text);
        if (s && !s->isEmpty() && !names.contains(*s, Qt::CaseInsensitive))
            names.append(*s);
    }
    return names;
}

bool IniFile::SectionExists(const QString& Section) const
{
    return !ReadSection(Section).isEmpty();
}

bool IniFile::ValueExists(const QString& Section, const QString& Ident) const
{
    return ReadSection(Section).contains(normalizedName(Ident), Qt::CaseInsensitive);
}

bool IniFile::EraseSection(const QString& Section, QString& Error)
{
    const QString section = normalizedName(Section);
    Document doc;
    if (!load(FileName_, doc, Error))
        return false;
    bool changed = false;
    for (Range r = findSection(doc, section); r.Header >= 0; r = findSection(doc, section, r.Header)) {
        doc.Lines.remove(r.Header, r.End - r.Header);
        changed = true;
    }
    return !changed || save(FileName_, doc, Error);
}

bool IniFile::DeleteKey(const QString& Section, const QString& Ident, QString& Error)
{
    const QString key = normalizedName(Ident);
    Document doc;
    if (!load(FileName_, doc, Error))
        return false;
    bool changed = false;
    for (;;) {
        const qsizetype i = findKey(doc, findSection(doc, normalizedName(Section)), key);
        if (i < 0)
            break;
        doc.Lines.remove(i);
        changed = true;
    }
    return !changed || save(FileName_, doc, Error);
}

int IniFile::StrToIntDef(const QString& Text, int Default)
{
    qsizetype i = 0;
    const qsizetype n = Text.size();
    while (i < n && Text[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (Text[i] == QLatin1Char('-') || Text[i] == QLatin1Char('+'))) {
        negative = Text[i] == QLatin1Char('-');
        ++i;
    }
    bool hex = false;
    if (i < n &&
        (Text[i] == QLatin1Char('$') || Text[i] == QLatin1Char('x') || Text[i] == QLatin1Char('X'))) {
        hex = true;
        ++i;
    } else if (i + 1 < n && Text[i] == QLatin1Char('0') &&
               (Text[i + 1] == QLatin1Char('x') || Text[i + 1] == QLatin1Char('X'))) {
        hex = true;
        i += 2;
    }
    if (i >= n)
        return Default;

    quint64 value = 0;
    for (; i < n; ++i) {
        const int digit = digitValue(Text[i], hex);
        if (digit < 0)
            return Default;
        value = value * (hex ? 16 : 10) + static_cast<quint64>(digit);
        // Hexadecimal fills all 32 bits ($FFFFFFFF is -1); decimal must fit a signed int.
        const quint64 limit =
            hex ? 0xFFFFFFFFull : static_cast<quint64>(std::numeric_limits<int>::max()) + (negative ? 1 : 0);
        if (value > limit)
            return Default;
    }
    const quint32 bits = static_cast<quint32>(value);
    return static_cast<int>(negative ? 0u - bits : bits);
}
