#include "dispatcher/ChmFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QtEndian>
#include <cctype>
#include <chm_lib.h>

namespace {

// A damaged directory may claim any length; nothing in a help file comes near this.
constexpr quint64 MaxStoredFile = 256 * 1024 * 1024;

QByteArray codePageForLanguage(quint32 Lcid)
{
    switch (Lcid & 0x3FF) {
    case 0x19: // Russian
    case 0x22: // Ukrainian
    case 0x23: // Belarusian
    case 0x02: // Bulgarian
    case 0x2F: // Macedonian
    case 0x3F: // Kazakh
    case 0x40: // Kyrgyz
    case 0x44: // Tatar
    case 0x50: // Mongolian
        return "windows-1251";
    case 0x1A: // Serbian in Cyrillic, else Croatian and Serbian in Latin
        return (Lcid == 0x0C1A || Lcid == 0x1C1A) ? "windows-1251" : "windows-1250";
    case 0x05: // Czech
    case 0x15: // Polish
    case 0x0E: // Hungarian
    case 0x1B: // Slovak
    case 0x24: // Slovenian
    case 0x18: // Romanian
    case 0x1C: // Albanian
        return "windows-1250";
    case 0x08:
        return "windows-1253";
    case 0x1F:
    case 0x2C:
        return "windows-1254";
    case 0x0D:
        return "windows-1255";
    case 0x01:
    case 0x29:
        return "windows-1256";
    case 0x25:
    case 0x26:
    case 0x27:
        return "windows-1257";
    case 0x2A:
        return "windows-1258";
    case 0x1E:
        return "windows-874";
    case 0x11:
        return "Shift_JIS";
    case 0x12:
        return "windows-949";
    case 0x04: // Chinese: traditional for Taiwan, Hong Kong and Macao
        return (Lcid == 0x0404 || Lcid == 0x0C04 || Lcid == 0x1404) ? "Big5" : "GBK";
    default:
        return "windows-1252";
    }
}

QByteArray zeroTerminatedAt(const QByteArray& Data, qsizetype Offset)
{
    if (Offset < 0 || Offset >= Data.size())
        return {};
    const qsizetype end = Data.indexOf('\0', Offset);
    return Data.mid(Offset, (end < 0 ? Data.size() : end) - Offset);
}

quint32 u32At(const QByteArray& Data, qsizetype Offset)
{
    return qFromLittleEndian<quint32>(Data.constData() + Offset);
}

int collectFile(chmFile*, chmUnitInfo* Info, void* Context)
{
    if (!(Info->flags & CHM_ENUMERATE_DIRS))
        static_cast<QStringList*>(Context)->append(QString::fromUtf8(Info->path));
    return CHM_ENUMERATOR_CONTINUE;
}

// The stored file a link names: the system's own files ("/#SYSTEM", "/$FIftiMain",
// "::DataSpace/NameList") as they are, topics without their fragment.
QString storedPath(const QString& Path)
{
    if (Path.startsWith(QLatin1String("::")) || Path.startsWith(QLatin1String("/#")) ||
        Path.startsWith(QLatin1String("/$")))
        return Path;
    QString path = TChmFile::TopicPath(Path);
    const qsizetype hash = path.indexOf(QLatin1Char('#'));
    if (hash >= 0)
        path.truncate(hash);
    return path;
}

const TChmTopic* firstWithTopic(const std::vector<TChmTopic>& Topics)
{
    for (const TChmTopic& t : Topics) {
        if (!t.Local().isEmpty())
            return &t;
        if (const TChmTopic* child = firstWithTopic(t.Children))
            return child;
    }
    return nullptr;
}

} // namespace

TChmFile::~TChmFile()
{
    Close();
}

void TChmFile::Close()
{
    if (Handle_)
        chm_close(Handle_);
    Handle_ = nullptr;
    FileName_.clear();
    Title_.clear();
    DefaultTopic_.clear();
    ContentsFile_.clear();
    IndexFile_.clear();
    Lcid_ = 0;
    CodePage_.clear();
    Contents_.clear();
    Index_.clear();
    Contexts_.clear();
}

bool TChmFile::Open(const QString& FileName, QString& ErrorText)
{
    Close();
    const QFileInfo info(FileName);
    const QString shown = QDir::toNativeSeparators(info.absoluteFilePath());
    if (!info.exists()) {
        ErrorText = QStringLiteral("Файл справки не найден: ") + shown;
        return false;
    }
    QFile file(info.absoluteFilePath());
    if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
        ErrorText = QStringLiteral("Не удалось открыть файл справки: ") + shown;
        return false;
    }
    // The language in the file header, unless the system file names one.
    const QByteArray header = file.read(0x18);
    file.close();
    Lcid_ = header.size() == 0x18 ? u32At(header, 0x14) : 0;
    CodePage_ = codePageForLanguage(Lcid_);

    const QString corrupt = QStringLiteral("Файл справки повреждён или не является файлом справки: ") + shown;
    Handle_ = chm_open(QFile::encodeName(info.absoluteFilePath()).constData());
    if (!Handle_) {
        ErrorText = corrupt;
        return false;
    }
    QStringList files;
    if (!chm_enumerate(Handle_, CHM_ENUMERATE_ALL, collectFile, &files) || files.isEmpty() || !ReadSystem()) {
        Close();
        ErrorText = corrupt;
        return false;
    }
    FileName_ = info.absoluteFilePath();

    // Files compiled without the names in the system file still carry the sitemaps.
    const auto firstWithSuffix = [&files](const char* Suffix) {
        for (const QString& f : files) {
            if (f.startsWith(QLatin1Char('/')) && f.endsWith(QLatin1String(Suffix), Qt::CaseInsensitive))
                return f;
        }
        return QString();
    };
    if (ContentsFile_.isEmpty())
        ContentsFile_ = firstWithSuffix(".hhc");
    if (IndexFile_.isEmpty())
        IndexFile_ = firstWithSuffix(".hhk");
    Contents_ = ReadSitemap(ContentsFile_);
    Index_ = ReadSitemap(IndexFile_);
    ReadContexts();

    if (DefaultTopic_.isEmpty()) {
        if (const TChmTopic* first = firstWithTopic(Contents_))
            DefaultTopic_ = TopicPath(first->Local());
        else if (Contains(QStringLiteral("/index.htm")))
            DefaultTopic_ = QStringLiteral("/index.htm");
        else
            DefaultTopic_ = firstWithSuffix(".htm");
    }
    return true;
}

bool TChmFile::ReadSystem()
{
    if (!Contains(QStringLiteral("/#SYSTEM")))
        return true;
    QByteArray system;
    if (!Read(QStringLiteral("/#SYSTEM"), system) || system.size() < 4)
        return false;
    QByteArray contents, index, topic, title;
    qsizetype pos = 4;
    while (pos + 4 <= system.size()) {
        const quint16 code = qFromLittleEndian<quint16>(system.constData() + pos);
        const quint16 length = qFromLittleEndian<quint16>(system.constData() + pos + 2);
        pos += 4;
        if (pos + length > system.size())
            break;
        const QByteArray data = system.mid(pos, length);
        pos += length;
        switch (code) {
        case 0:
            contents = zeroTerminatedAt(data, 0);
            break;
        case 1:
            index = zeroTerminatedAt(data, 0);
            break;
        case 2:
            topic = zeroTerminatedAt(data, 0);
            break;
        case 3:
            title = zeroTerminatedAt(data, 0);
            break;
        case 4:
            if (data.size() >= 4)
                Lcid_ = u32At(data, 0);
            break;
        default:
            break;
        }
    }
    // Names and the title are in the language's code page.
    CodePage_ = codePageForLanguage(Lcid_);
    const auto path = [this](const QByteArray& Name) {
        return Name.isEmpty() ? QString() : TopicPath(AnsiText(Name));
    };
    ContentsFile_ = path(contents);
    IndexFile_ = path(index);
    DefaultTopic_ = path(topic);
    Title_ = AnsiText(title);
    return true;
}

void TChmFile::ReadContexts()
{
    QByteArray ivb;
    QByteArray strings;
    if (!Read(QStringLiteral("/#IVB"), ivb) || ivb.size() < 4 || !Read(QStringLiteral("/#STRINGS"), strings))
        return;
    const qsizetype end = std::min<qsizetype>(ivb.size(), 4 + static_cast<qsizetype>(u32At(ivb, 0)));
    for (qsizetype pos = 4; pos + 8 <= end; pos += 8) {
        const QByteArray topic = zeroTerminatedAt(strings, static_cast<qsizetype>(u32At(ivb, pos + 4)));
        if (!topic.isEmpty())
            Contexts_.insert(u32At(ivb, pos), TopicPath(AnsiText(topic)));
    }
}

std::vector<TChmTopic> TChmFile::ReadSitemap(const QString& Path) const
{
    QByteArray data;
    if (Path.isEmpty() || !Read(Path, data))
        return {};
    return ParseChmSitemap(DecodeText(data));
}

QStringList TChmFile::Files() const
{
    QStringList files;
    if (Handle_)
        chm_enumerate(Handle_, CHM_ENUMERATE_ALL, collectFile, &files);
    return files;
}

bool TChmFile::Contains(const QString& Path) const
{
    if (!Handle_)
        return false;
    const QByteArray key = storedPath(Path).toUtf8();
    chmUnitInfo info;
    return !key.endsWith('/') && key.size() <= CHM_MAX_PATHLEN &&
           chm_resolve_object(Handle_, key.constData(), &info) == CHM_RESOLVE_SUCCESS;
}

bool TChmFile::Read(const QString& Path, QByteArray& Data) const
{
    Data.clear();
    if (!Handle_)
        return false;
    const QByteArray key = storedPath(Path).toUtf8();
    chmUnitInfo info;
    if (key.endsWith('/') || key.size() > CHM_MAX_PATHLEN ||
        chm_resolve_object(Handle_, key.constData(), &info) != CHM_RESOLVE_SUCCESS ||
        info.length > MaxStoredFile)
        return false;
    if (info.length == 0)
        return true;
    Data.resize(static_cast<qsizetype>(info.length));
    const LONGINT64 got = chm_retrieve_object(Handle_, &info, reinterpret_cast<unsigned char*>(Data.data()),
                                              0, static_cast<LONGINT64>(info.length));
    if (got != static_cast<LONGINT64>(info.length)) {
        Data.clear();
        return false;
    }
    return true;
}

QString TChmFile::AnsiText(const QByteArray& Data) const
{
    QStringDecoder decoder(CodePage_.isEmpty() ? "windows-1252" : CodePage_.constData());
    return decoder.isValid() ? decoder.decode(Data) : QString::fromLatin1(Data);
}

QString TChmFile::DecodeText(const QByteArray& Data) const
{
    if (Data.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(Data.mid(3));
    if (Data.startsWith("\xFF\xFE") || Data.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(Data.startsWith("\xFF\xFE") ? QStringConverter::Utf16LE
                                                           : QStringConverter::Utf16BE);
        return decoder.decode(Data.mid(2));
    }
    const QByteArray head = Data.left(2048).toLower();
    const qsizetype at = head.indexOf("charset=");
    if (at >= 0) {
        qsizetype i = at + 8;
        while (i < head.size() && (head[i] == '"' || head[i] == '\'' || head[i] == ' '))
            ++i;
        const qsizetype start = i;
        while (i < head.size() && (std::isalnum(static_cast<unsigned char>(head[i])) || head[i] == '-' ||
                                   head[i] == '_' || head[i] == ':' || head[i] == '.'))
            ++i;
        QStringDecoder decoder(head.mid(start, i - start).constData());
        if (decoder.isValid())
            return decoder.decode(Data);
    }
    return AnsiText(Data);
}

QString TChmFile::TopicPath(const QString& Link)
{
    QString s = Link.trimmed();
    // "ms-its:help.chm::/page.htm", "mk:@MSITStore:help.chm::/page.htm": the part after "::".
    const qsizetype storage = s.indexOf(QLatin1String("::"));
    if (storage >= 0)
        s = s.mid(storage + 2);
    s.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QString fragment;
    const qsizetype hash = s.indexOf(QLatin1Char('#'));
    if (hash >= 0) {
        fragment = s.mid(hash);
        s.truncate(hash);
    }
    QStringList parts;
    for (const QString& segment : s.split(QLatin1Char('/'))) {
        if (segment == QLatin1String("..")) {
            if (!parts.isEmpty())
                parts.removeLast();
        } else if (!segment.isEmpty() && segment != QLatin1String(".")) {
            parts << segment;
        }
    }
    QString path = QLatin1Char('/') + parts.join(QLatin1Char('/'));
    // A folder keeps its closing slash.
    if (s.endsWith(QLatin1Char('/')) && path.size() > 1)
        path += QLatin1Char('/');
    return path + fragment;
}
