#pragma once

#include <QString>
#include <QStringList>

// The desktop application that opens files of a MIME type, found the way the
// desktop's own launchers find it: the defaults named in the mimeapps.list files
// of the XDG configuration and data folders first, then associations added there,
// then any installed application entry (.desktop file) that lists the type and
// whose association was not removed. Only an entry whose program is installed
// counts, and not one run in a terminal.
class TDesktopApplication
{
public:
    // False when no installed application handles MimeType.
    bool Find(const QString& MimeType);

    // The entry's file and name.
    const QString& DesktopFile() const { return desktopFile_; }
    const QString& Name() const { return name_; }
    // The program, found on PATH unless the entry names it with a path.
    const QString& Program() const { return program_; }
    // Its arguments to open FileName: the entry's command line with the file (or
    // its URL) put in place of the field code, also one inside an argument, and
    // the other codes expanded; the file after the rest when it has none.
    QStringList Arguments(const QString& FileName) const;

private:
    bool take(const QString& File);

    QString desktopFile_;
    QString name_;
    QString icon_;
    QString program_;
    QStringList exec_; // the command line split, the program first
};
