#pragma once

#include <QTextBrowser>

class TChmFile;

// Shows the pages of a help file: pages, pictures and style sheets come out of
// the file through loadResource, links between pages stay inside it ("chm:"
// URLs), links to the web go to the desktop's browser.
class TChmBrowser : public QTextBrowser
{
    Q_OBJECT

public:
    explicit TChmBrowser(QWidget* Parent = nullptr);

    // The file the pages come from; not owned, nullptr shows nothing.
    void SetHelpFile(const TChmFile* File);

    // "/a/b.htm#c" and back.
    static QUrl TopicUrl(const QString& Path);
    static QString UrlTopic(const QUrl& Url);

    QVariant loadResource(int Type, const QUrl& Name) override;

protected:
    void doSetSource(const QUrl& Name, QTextDocument::ResourceType Type) override;

private:
    QUrl InsideUrl(const QUrl& Name) const;

    const TChmFile* File_ = nullptr;
};
