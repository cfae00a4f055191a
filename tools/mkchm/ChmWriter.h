#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

// Builds a compiled HTML help file (ITSF version 3) with every file stored
// uncompressed in content section 0: enough for readers that resolve files
// through the directory, which is all the help viewer needs. The directory is
// split into listing chunks with one index chunk above them when it outgrows one
// chunk. Texts in the system file (title, topic names) are taken as bytes in the
// code page of the help file's language, as the help compiler stores them.
class TChmWriter
{
public:
    // Path inside the help file, "/" first ("/intro.htm", "/images/logo.png").
    void AddFile(const QString& Path, const QByteArray& Data);
    void SetTitle(const QByteArray& Title) { Title_ = Title; }
    void SetDefaultTopic(const QByteArray& Topic) { DefaultTopic_ = Topic; }
    void SetContentsFile(const QByteArray& Name) { ContentsFile_ = Name; }
    void SetIndexFile(const QByteArray& Name) { IndexFile_ = Name; }
    void SetLanguage(quint32 Lcid) { Lcid_ = Lcid; }
    // A help context number and the topic it opens ("journal.htm").
    void AddContext(quint32 ContextId, const QByteArray& Topic) { Contexts_.insert(ContextId, Topic); }
    // Directory chunk size; the help compiler uses 4096.
    void SetChunkSize(int Size) { ChunkSize_ = Size; }

    // The whole file; empty with a reason when the directory cannot be laid out.
    QByteArray Build(QString& ErrorText) const;
    bool Write(const QString& FileName, QString& ErrorText) const;

private:
    QByteArray SystemFile() const;
    QByteArray StringsAndIvb(QByteArray& Ivb) const;

    QMap<QString, QByteArray> Files_;
    QByteArray Title_;
    QByteArray DefaultTopic_;
    QByteArray ContentsFile_;
    QByteArray IndexFile_;
    quint32 Lcid_ = 0x0419;
    QMap<quint32, QByteArray> Contexts_;
    int ChunkSize_ = 4096;
};
