#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// An ini file read and written the way the Windows profile functions treat it, so
// files written on Windows and files edited by hand read the same:
//
// - Section and key names compare case-insensitively (Unicode), with the blanks
//   around them ignored. Lines before the first section belong to no section.
// - A value is the text after the first '=' with the blanks around it removed; one
//   pair of matching surrounding quotes ('..' or "..") is removed as well, as the
//   profile functions do. Nothing else is unquoted or unescaped. A value written
//   with surrounding blanks or quotes therefore reads back without them.
// - Lines starting with ';' are comments. The first of duplicate keys wins; of
//   duplicate sections the first is the one read and written.
// - Writing changes only the line it concerns: every other line keeps its bytes and
//   its place. A new key goes after the last entry of its section, a new section at
//   the end of the file. New lines take the file's line ending ("\n" in a new file).
// - Every write is saved at once through a temporary file renamed over the old one,
//   so a crash or a full disk leaves either the old file or the new one, never half.
//   A missing file reads as empty and is created by the first write.
// - Files are read as UTF-8 (a byte-order mark is kept), UTF-16 with a byte-order
//   mark, or Windows-1251 when they are not valid UTF-8, and written back in the
//   encoding they were read in (a new file in UTF-8). A write that this encoding
//   cannot hold (a character Windows-1251 lacks) fails with a Russian text and
//   leaves the file as it was.
//
// Every call reads the file again: settings files are a few KB, a read and parse
// costs microseconds, and a file changed meanwhile by another object, another
// program or the user is never overwritten with stale content. No cache can miss
// a change within the file system's time-stamp resolution.
class IniFile
{
public:
    explicit IniFile(const QString& FileName);

    const QString& FileName() const { return FileName_; }

    // The raw value, or Default when the section or key is missing. "Key=" gives "".
    QString ReadString(const QString& Section, const QString& Ident, const QString& Default) const;
    // Decimal, or hexadecimal after "$", "0x", "0X" or "x"; a sign may come first.
    // A missing key or a value that does not convert gives Default.
    int ReadInteger(const QString& Section, const QString& Ident, int Default) const;
    // An integer: 0 is false, any other true; anything else gives Default.
    bool ReadBool(const QString& Section, const QString& Ident, bool Default) const;

    // Line breaks in names and values are written as blanks; a key holding '=' or
    // an empty name is refused. On failure the file on disk is left as it was and
    // Error holds a Russian text.
    bool WriteString(const QString& Section, const QString& Ident, const QString& Value, QString& Error);
    struct TEntry
    {
        QString Section;
        QString Ident;
        QString Value;
    };
    // Several values in one save, in order: on failure none of them is written.
    bool WriteStrings(const QList<TEntry>& Entries, QString& Error);
    // Decimal.
    bool WriteInteger(const QString& Section, const QString& Ident, int Value, QString& Error);
    // "1" or "0".
    bool WriteBool(const QString& Section, const QString& Ident, bool Value, QString& Error);

    // The keys of the section in file order, each once, as spelled in the file.
    QStringList ReadSection(const QString& Section) const;
    // The section names in file order, each once, as spelled in the file.
    QStringList ReadSections() const;
    // A section counts as present when it holds at least one key.
    bool SectionExists(const QString& Section) const;
    bool ValueExists(const QString& Section, const QString& Ident) const;

    // Removes every section of that name with all its lines.
    bool EraseSection(const QString& Section, QString& Error);
    // Removes every line of that key from the section.
    bool DeleteKey(const QString& Section, const QString& Ident, QString& Error);

    // The Integer reading rules on their own.
    static int StrToIntDef(const QString& Text, int Default);

private:
    QString FileName_;
};
