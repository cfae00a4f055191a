#include "dispatcher/ChmBrowser.h"

#include "dispatcher/ChmFile.h"

#include <QDesktopServices>
#include <QRegularExpression>

namespace {

const QString Scheme = QStringLiteral("chm");

bool isStorageLink(const QUrl& Url)
{
    const QString scheme = Url.scheme().toLower();
    return scheme == QLatin1String("ms-its") || scheme == QLatin1String("mk") ||
           scheme == QLatin1String("its");
}

} // namespace

TChmBrowser::TChmBrowser(QWidget* Parent) : QTextBrowser(Parent)
{
    setOpenLinks(true);
    setOpenExternalLinks(false);
}

void TChmBrowser::SetHelpFile(const TChmFile* File)
{
    File_ = File;
    clearHistory();
    clear();
}

QUrl TChmBrowser::TopicUrl(const QString& Path)
{
    const QString topic = TChmFile::TopicPath(Path);
    const qsizetype hash = topic.indexOf(QLatin1Char('#'));
    QUrl url;
    url.setScheme(Scheme);
    url.setPath(hash < 0 ? topic : topic.left(hash));
    if (hash >= 0)
        url.setFragment(topic.mid(hash + 1));
    return url;
}

QString TChmBrowser::UrlTopic(const QUrl& Url)
{
    return Url.hasFragment() ? Url.path() + QLatin1Char('#') + Url.fragment() : Url.path();
}

QUrl TChmBrowser::InsideUrl(const QUrl& Name) const
{
    // "ms-its:help.chm::/page.htm" names a page of this file like a relative link does.
    if (isStorageLink(Name))
        return TopicUrl(QUrl::fromPercentEncoding(Name.toEncoded()));
    if (Name.isRelative()) {
        const QUrl base = source().isEmpty() ? TopicUrl(QStringLiteral("/")) : source();
        return base.resolved(Name);
    }
    return Name;
}

void TChmBrowser::doSetSource(const QUrl& Name, QTextDocument::ResourceType Type)
{
    if (Name.isEmpty()) {
        QTextBrowser::doSetSource(Name, Type);
        return;
    }
    const QUrl url = InsideUrl(Name);
    if (url.scheme() != Scheme) {
        // Web and mail links belong to the desktop; anything else (scripts) is ignored.
        static const QStringList outside = {QStringLiteral("http"), QStringLiteral("https"),
                                            QStringLiteral("ftp"), QStringLiteral("mailto")};
        if (outside.contains(url.scheme().toLower()))
            QDesktopServices::openUrl(url);
        return;
    }
    QTextBrowser::doSetSource(url, Type);
}

QVariant TChmBrowser::loadResource(int Type, const QUrl& Name)
{
    const QUrl url = InsideUrl(Name);
    if (url.scheme() != Scheme || !File_)
        return {};
    QByteArray data;
    if (!File_->Read(url.path(), data)) {
        if (Type != QTextDocument::HtmlResource)
            return {};
        return QStringLiteral("<html><body><h3>Страница не найдена</h3><p>") + url.path().toHtmlEscaped() +
               QStringLiteral("</p></body></html>");
    }
    if (Type == QTextDocument::HtmlResource) {
        // Qt reads a linked style sheet only when the link gives its type; pages often leave it out.
        static const QRegularExpression untypedStyleSheet(
            QStringLiteral(R"(<link\b(?![^>]*\btype\s*=)([^>]*\brel\s*=\s*["']?stylesheet[^>]*)>)"),
            QRegularExpression::CaseInsensitiveOption);
        return File_->DecodeText(data).replace(untypedStyleSheet,
                                               QStringLiteral("<link type=\"text/css\"\\1>"));
    }
    if (Type == QTextDocument::StyleSheetResource || Type == QTextDocument::MarkdownResource)
        return File_->DecodeText(data);
    return data;
}
