#include "platform/DesktopApplication.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>
#include <map>
#include <set>

namespace {

// One group of a desktop entry or a mimeapps.list; localised keys are left out
// and the first of two equal keys counts.
using Group = std::map<QString, QString>;

std::map<QString, Group> readGroups(const QString& File)
{
    std::map<QString, Group> groups;
    QFile file(File);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return groups;
    Group* current = nullptr;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            current = &groups[line.mid(1, line.size() - 2)];
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        const QString key = line.left(eq).trimmed();
        if (current && eq > 0 && !key.contains(QLatin1Char('[')))
            current->emplace(key, line.mid(eq + 1).trimmed());
    }
    return groups;
}

QString value(const std::map<QString, Group>& Groups, const QString& GroupName, const QString& Key)
{
    const auto group = Groups.find(GroupName);
    if (group == Groups.end())
        return {};
    const auto it = group->second.find(Key);
    return it == group->second.end() ? QString() : it->second;
}

QStringList listOf(const QString& Value)
{
    QStringList items = Value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& item : items)
        item = item.trimmed();
    items.removeAll(QString());
    return items;
}

// An XDG base folder variable: a home folder and a list of system folders.
QString homeDir(const char* Variable, const QString& Default)
{
    const QString dir = qEnvironmentVariable(Variable);
    return QDir::isAbsolutePath(dir) ? dir : QDir::home().filePath(Default);
}

QStringList systemDirs(const char* Variable, const QString& Default)
{
    QStringList dirs;
    const QString list = qEnvironmentVariable(Variable, Default);
    for (const QString& dir : list.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir))
            dirs << dir;
    }
    return dirs;
}

QStringList applicationDirs()
{
    QStringList dirs{homeDir("XDG_DATA_HOME", QStringLiteral(".local/share"))};
    dirs << systemDirs("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    for (QString& dir : dirs)
        dir = QDir(dir).filePath(QStringLiteral("applications"));
    return dirs;
}

// The mimeapps.list files, the one that counts most first; a desktop's own
// list comes before the common one of its folder.
QStringList mimeappsLists()
{
    QStringList dirs{homeDir("XDG_CONFIG_HOME", QStringLiteral(".config"))};
    dirs << systemDirs("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    dirs << applicationDirs();
    const QStringList desktops =
        qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower().split(QLatin1Char(':'), Qt::SkipEmptyParts);
    QStringList lists;
    for (const QString& dir : dirs) {
        for (const QString& desktop : desktops)
            lists << QDir(dir).filePath(desktop + QStringLiteral("-mimeapps.list"));
        lists << QDir(dir).filePath(QStringLiteral("mimeapps.list"));
    }
    return lists;
}

// Installed entries by desktop id ("kde/calc.desktop" is "kde-calc.desktop");
// an id found in an earlier folder hides the later ones.
std::map<QString, QString> installedEntries()
{
    std::map<QString, QString> entries;
    for (const QString& dir : applicationDirs()) {
        QDirIterator it(dir, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            QString id = QDir(dir).relativeFilePath(file);
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            entries.emplace(id, file);
        }
    }
    return entries;
}

// The general escapes of a string value (\s \n \t \r \\).
QString unescapeValue(const QString& Value)
{
    QString out;
    for (qsizetype i = 0; i < Value.size(); ++i) {
        if (Value[i] != QLatin1Char('\\') || i + 1 == Value.size()) {
            out += Value[i];
            continue;
        }
        const QChar next = Value[++i];
        if (next == QLatin1Char('s'))
            out += QLatin1Char(' ');
        else if (next == QLatin1Char('n'))
            out += QLatin1Char('\n');
        else if (next == QLatin1Char('t'))
            out += QLatin1Char('\t');
        else if (next == QLatin1Char('r'))
            out += QLatin1Char('\r');
        else if (next == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        else
            out += QLatin1Char('\\') + next;
    }
    return out;
}

// The command line of Exec split into arguments: blanks separate them, double
// quotes group, and within quotes a backslash keeps the next of "`$\ as it is.
QStringList splitExec(const QString& Exec)
{
    QStringList args;
    QString arg;
    bool quoted = false;
    bool started = false;
    static const QString escapable = QStringLiteral("\"`$\\");
    for (qsizetype i = 0; i < Exec.size(); ++i) {
        const QChar c = Exec[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < Exec.size() && escapable.contains(Exec[i + 1]))
                arg += Exec[++i];
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                arg += c;
        } else if (c == QLatin1Char('"')) {
            quoted = started = true;
        } else if (c.isSpace()) {
            if (started)
                args << arg;
            arg.clear();
            started = false;
        } else {
            arg += c;
            started = true;
        }
    }
    if (started)
        args << arg;
    return args;
}

QString findProgram(const QString& Name)
{
    if (Name.contains(QLatin1Char('/'))) {
        const QFileInfo file(Name);
        return file.isFile() && file.isExecutable() ? file.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(Name);
}

} // namespace

bool TDesktopApplication::Find(const QString& MimeType)
{
    const std::map<QString, QString> installed = installedEntries();
    const QStringList lists = mimeappsLists();
    std::set<QString> removed;
    QStringList added;
    const auto takeId = [&](const QString& Id) {
        const auto it = installed.find(Id);
        return it != installed.end() && take(it->second);
    };

    for (const QString& list : lists) {
        const auto groups = readGroups(list);
        for (const QString& id : listOf(value(groups, QStringLiteral("Default Applications"), MimeType))) {
            if (takeId(id))
                return true;
        }
        for (const QString& id : listOf(value(groups, QStringLiteral("Removed Associations"), MimeType)))
            removed.insert(id);
        for (const QString& id : listOf(value(groups, QStringLiteral("Added Associations"), MimeType))) {
            if (!removed.count(id))
                added << id;
        }
    }
    for (const QString& id : added) {
        if (takeId(id))
            return true;
    }
    for (const auto& [id, file] : installed) {
        if (removed.count(id))
            continue;
        const QStringList types =
            listOf(value(readGroups(file), QStringLiteral("Desktop Entry"), QStringLiteral("MimeType")));
        if (types.contains(MimeType) && take(file))
            return true;
    }
    return false;
}

bool TDesktopApplication::take(const QString& File)
{
    const auto groups = readGroups(File);
    const auto entry = [&](const char* Key) {
        return value(groups, QStringLiteral("Desktop Entry"), QLatin1String(Key));
    };
    // A terminal program started without a terminal shows nothing.
    if (entry("Type") != QLatin1String("Application") || entry("Hidden") == QLatin1String("true") ||
        entry("Terminal") == QLatin1String("true"))
        return false;
    const QString tryExec = entry("TryExec");
    if (!tryExec.isEmpty() && findProgram(unescapeValue(tryExec)).isEmpty())
        return false;
    const QStringList exec = splitExec(unescapeValue(entry("Exec")));
    const QString program = exec.isEmpty() ? QString() : findProgram(exec.first());
    if (program.isEmpty())
        return false;
    desktopFile_ = File;
    name_ = unescapeValue(entry("Name"));
    icon_ = unescapeValue(entry("Icon"));
    program_ = program;
    exec_ = exec;
    return true;
}

QStringList TDesktopApplication::Arguments(const QString& FileName) const
{
    const QString url = QString::fromLatin1(QUrl::fromLocalFile(FileName).toEncoded());
    QStringList args;
    bool placed = false;
    for (qsizetype i = 1; i < exec_.size(); ++i) {
        const QString& arg = exec_[i];
        if (arg == QLatin1String("%i")) {
            if (!icon_.isEmpty())
                args << QStringLiteral("--icon") << icon_;
            continue;
        }
        // Codes may stand inside an argument ("--file=%f"); the deprecated and
        // unknown ones expand to nothing.
        QString expanded;
        for (qsizetype j = 0; j < arg.size(); ++j) {
            if (arg[j] != QLatin1Char('%') || j + 1 == arg.size()) {
                expanded += arg[j];
                continue;
            }
            const char16_t code = arg[++j].unicode();
            if (code == u'f' || code == u'F') {
                expanded += FileName;
                placed = true;
            } else if (code == u'u' || code == u'U') {
                expanded += url;
                placed = true;
            } else if (code == u'c') {
                expanded += name_;
            } else if (code == u'k') {
                expanded += desktopFile_;
            } else if (code == u'%') {
                expanded += QLatin1Char('%');
            }
        }
        // A code on its own that gives nothing gives no argument.
        const bool lone = arg.size() == 2 && arg[0] == QLatin1Char('%') && arg != QLatin1String("%%");
        if (!(lone && expanded.isEmpty()))
            args << expanded;
    }
    if (!placed)
        args << FileName;
    return args;
}
