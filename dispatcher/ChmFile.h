#pragma once

#include "dispatcher/ChmSitemap.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <vector>

struct chmFile;

// A compiled HTML help file opened for reading through libchm: its files by
// path, the title, default topic and language from the system file, the
// contents and index sitemaps and the map of help context numbers to topics.
// Paths inside the file start with "/" and are matched without regard to case.
class TChmFile
{
public:
    TChmFile() = default;
    ~TChmFile();
    TChmFile(const TChmFile&) = delete;
    TChmFile& operator=(const TChmFile&) = delete;

    // Opens FileName and reads its system file, sitemaps and context map; a file
    // that is missing or is no readable help file fails with a Russian text.
    bool Open(const QString& FileName, QString& ErrorText);
    void Close();
    bool IsOpen() const { return Handle_ != nullptr; }
    QString FileName() const { return FileName_; }

    // Every file stored, folders left out ("/intro.htm", "/#SYSTEM", ...).
    QStringList Files() const;
    bool Contains(const QString& Path) const;
    // The whole file at Path (a link: any "#fragment" is ignored).
    bool Read(const QString& Path, QByteArray& Data) const;
    // Text of a page or sitemap: the code page its meta tag names, else the code
    // page of the help file's language.
    QString DecodeText(const QByteArray& Data) const;

    QString Title() const { return Title_; }
    QString DefaultTopic() const { return DefaultTopic_; }
    QString ContentsFile() const { return ContentsFile_; }
    QString IndexFile() const { return IndexFile_; }
    quint32 Language() const { return Lcid_; }
    const std::vector<TChmTopic>& Contents() const { return Contents_; }
    const std::vector<TChmTopic>& Index() const { return Index_; }
    // The topic path for a help context number; empty when the file maps none.
    QString TopicForContext(quint32 ContextId) const { return Contexts_.value(ContextId); }
    const QMap<quint32, QString>& Contexts() const { return Contexts_; }

    // A link as pages and sitemaps write it ("intro.htm", "ms-its:x.chm::/a/b.htm#c",
    // "a\\b.htm") as an absolute path inside the file, the fragment kept.
    static QString TopicPath(const QString& Link);

private:
    bool ReadSystem();
    void ReadContexts();
    std::vector<TChmTopic> ReadSitemap(const QString& Path) const;
    QString AnsiText(const QByteArray& Data) const;

    chmFile* Handle_ = nullptr;
    QString FileName_;
    QString Title_;
    QString DefaultTopic_;
    QString ContentsFile_;
    QString IndexFile_;
    quint32 Lcid_ = 0;
    QByteArray CodePage_;
    std::vector<TChmTopic> Contents_;
    std::vector<TChmTopic> Index_;
    QMap<quint32, QString> Contexts_;
};
