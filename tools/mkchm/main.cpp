// Compiles a help project into a .chm file, every file stored uncompressed.
// Usage: klov-mkchm <project.hhp> [<output.chm>]
//
// The project is the help workshop's text file: [OPTIONS] with "Contents file",
// "Index file", "Default topic", "Title", "Language" and "Compiled file", [ALIAS]
// lines NAME=topic.htm and [MAP] lines "#define NAME number". Every other file of
// the project's folder tree goes into the help file.

#include "tools/mkchm/ChmWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

namespace {

void fail(const QString& Text)
{
    std::fprintf(stderr, "klov-mkchm: %s\n", Text.toLocal8Bit().constData());
}

quint32 parseNumber(const QByteArray& Text, bool* Ok)
{
    const QByteArray t = Text.trimmed().split(' ').value(0);
    return t.startsWith("0x") || t.startsWith("0X") ? t.mid(2).toUInt(Ok, 16) : t.toUInt(Ok, 10);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2 || args.size() > 3) {
        std::fprintf(stderr, "usage: klov-mkchm <project.hhp> [<output.chm>]\n");
        return 2;
    }
    const QFileInfo projectInfo(args[1]);
    QFile project(projectInfo.filePath());
    if (!project.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("cannot read ") + project.fileName());
        return 1;
    }

    TChmWriter writer;
    QByteArray section;
    QByteArray compiled;
    QMap<QByteArray, QByteArray> aliases;
    QMap<QByteArray, quint32> map;
    for (QByteArray line : project.readAll().split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(';'))
            continue;
        if (line.startsWith('[')) {
            section = line.toUpper();
            continue;
        }
        if (section == "[MAP]") {
            const QList<QByteArray> parts = line.simplified().split(' ');
            bool ok = false;
            const quint32 id = parts.size() == 3 && parts[0] == "#define" ? parseNumber(parts[2], &ok) : 0;
            if (!ok) {
                fail(QStringLiteral("bad [MAP] line: ") + QString::fromLocal8Bit(line));
                return 1;
            }
            map.insert(parts[1], id);
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = line.left(eq).trimmed();
        const QByteArray value = line.mid(eq + 1).trimmed();
        if (section == "[ALIAS]") {
            aliases.insert(key, value);
        } else if (section == "[OPTIONS]") {
            const QByteArray k = key.toLower();
            if (k == "contents file")
                writer.SetContentsFile(value);
            else if (k == "index file")
                writer.SetIndexFile(value);
            else if (k == "default topic")
                writer.SetDefaultTopic(value);
            else if (k == "title")
                writer.SetTitle(value);
            else if (k == "compiled file")
                compiled = value;
            else if (k == "language") {
                bool ok = false;
                const quint32 lcid = parseNumber(value, &ok);
                if (ok)
                    writer.SetLanguage(lcid);
            }
        }
    }
    for (auto it = map.begin(); it != map.end(); ++it) {
        if (!aliases.contains(it.key())) {
            fail(QStringLiteral("no [ALIAS] for ") + QString::fromLocal8Bit(it.key()));
            return 1;
        }
        writer.AddContext(it.value(), aliases.value(it.key()));
    }

    const QDir root = projectInfo.absoluteDir();
    QDirIterator files(root.path(), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (suffix == QLatin1String("hhp") || suffix == QLatin1String("chm"))
            continue;
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) {
            fail(QStringLiteral("cannot read ") + path);
            return 1;
        }
        writer.AddFile(QLatin1Char('/') + root.relativeFilePath(path), f.readAll());
    }

    QString output = args.value(2);
    if (output.isEmpty())
        output = root.filePath(compiled.isEmpty() ? projectInfo.completeBaseName() + QStringLiteral(".chm")
                                                  : QString::fromLocal8Bit(compiled));
    QString error;
    if (!writer.Write(output, error)) {
        fail(error);
        return 1;
    }
    return 0;
}
