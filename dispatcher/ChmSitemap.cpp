#include "dispatcher/ChmSitemap.h"

#include <QHash>
#include <optional>

namespace {

QString decodeEntities(const QString& Text)
{
    if (!Text.contains(QLatin1Char('&')))
        return Text;
    static const QHash<QString, QChar> named = {
        {QStringLiteral("amp"), QLatin1Char('&')},   {QStringLiteral("lt"), QLatin1Char('<')},
        {QStringLiteral("gt"), QLatin1Char('>')},    {QStringLiteral("quot"), QLatin1Char('"')},
        {QStringLiteral("apos"), QLatin1Char('\'')}, {QStringLiteral("nbsp"), QChar(0x00A0)},
        {QStringLiteral("laquo"), QChar(0x00AB)},    {QStringLiteral("raquo"), QChar(0x00BB)},
        {QStringLiteral("mdash"), QChar(0x2014)},    {QStringLiteral("ndash"), QChar(0x2013)},
        {QStringLiteral("reg"), QChar(0x00AE)},      {QStringLiteral("copy"), QChar(0x00A9)},
    };
    QString out;
    out.reserve(Text.size());
    for (qsizetype i = 0; i < Text.size(); ++i) {
        const qsizetype semi = Text[i] == QLatin1Char('&') ? Text.indexOf(QLatin1Char(';'), i + 1) : -1;
        if (semi < 0 || semi - i > 10) {
            out += Text[i];
            continue;
        }
        const QString name = Text.mid(i + 1, semi - i - 1);
        bool ok = false;
        char32_t code = 0;
        if (name.startsWith(QLatin1String("#x")) || name.startsWith(QLatin1String("#X")))
            code = name.mid(2).toUInt(&ok, 16);
        else if (name.startsWith(QLatin1Char('#')))
            code = name.mid(1).toUInt(&ok, 10);
        if (ok && code > 0 && code <= 0x10FFFF) {
            out += QString::fromUcs4(&code, 1);
            i = semi;
        } else if (named.contains(name.toLower())) {
            out += named.value(name.toLower());
            i = semi;
        } else {
            out += Text[i];
        }
    }
    return out;
}

struct TTag
{
    QString Name; // lower case, "/ul" for a closing tag
    QHash<QString, QString> Attributes;
};

// Reads the tag that starts at Pos ('<'); Pos ends after its '>'.
TTag readTag(const QString& Html, qsizetype& Pos)
{
    TTag tag;
    qsizetype i = Pos + 1;
    const qsizetype n = Html.size();
    const auto skipSpace = [&] {
        while (i < n && Html[i].isSpace())
            ++i;
    };
    const auto readName = [&] {
        const qsizetype start = i;
        while (i < n && !Html[i].isSpace() && Html[i] != QLatin1Char('>') && Html[i] != QLatin1Char('=') &&
               !(Html[i] == QLatin1Char('/') && i > start))
            ++i;
        return Html.mid(start, i - start).toLower();
    };
    skipSpace();
    tag.Name = readName();
    while (i < n && Html[i] != QLatin1Char('>')) {
        skipSpace();
        if (i < n && Html[i] == QLatin1Char('/')) {
            ++i;
            continue;
        }
        const QString attribute = readName();
        if (attribute.isEmpty()) {
            if (i < n && Html[i] != QLatin1Char('>'))
                ++i;
            continue;
        }
        skipSpace();
        QString value;
        if (i < n && Html[i] == QLatin1Char('=')) {
            ++i;
            skipSpace();
            if (i < n && (Html[i] == QLatin1Char('"') || Html[i] == QLatin1Char('\''))) {
                const QChar quote = Html[i];
                const qsizetype end = Html.indexOf(quote, i + 1);
                const qsizetype stop = end < 0 ? n : end;
                value = Html.mid(i + 1, stop - i - 1);
                i = end < 0 ? n : end + 1;
            } else {
                const qsizetype start = i;
                while (i < n && !Html[i].isSpace() && Html[i] != QLatin1Char('>'))
                    ++i;
                value = Html.mid(start, i - start);
            }
        }
        tag.Attributes.insert(attribute, decodeEntities(value));
    }
    Pos = i < n ? i + 1 : n;
    return tag;
}

} // namespace

std::vector<TChmTopic> ParseChmSitemap(const QString& Html)
{
    std::vector<TChmTopic> root;
    // The lists being filled, innermost last. A <UL> opens the children of the
    // item just read; items outside any list go to the top level.
    std::vector<std::vector<TChmTopic>*> lists;
    std::optional<TChmTopic> item;
    const auto current = [&]() -> std::vector<TChmTopic>& { return lists.empty() ? root : *lists.back(); };

    qsizetype pos = 0;
    while (true) {
        pos = Html.indexOf(QLatin1Char('<'), pos);
        if (pos < 0)
            break;
        if (Html.mid(pos, 4) == QLatin1String("<!--")) {
            const qsizetype end = Html.indexOf(QLatin1String("-->"), pos + 4);
            pos = end < 0 ? Html.size() : end + 3;
            continue;
        }
        const TTag tag = readTag(Html, pos);
        if (tag.Name == QLatin1String("ul")) {
            std::vector<TChmTopic>& list = current();
            if (lists.empty())
                lists.push_back(&root);
            else
                lists.push_back(list.empty() ? &list : &list.back().Children);
        } else if (tag.Name == QLatin1String("/ul")) {
            if (!lists.empty())
                lists.pop_back();
        } else if (tag.Name == QLatin1String("object")) {
            if (tag.Attributes.value(QStringLiteral("type"))
                    .compare(QLatin1String("text/sitemap"), Qt::CaseInsensitive) == 0)
                item.emplace();
        } else if (tag.Name == QLatin1String("param") && item) {
            const QString name = tag.Attributes.value(QStringLiteral("name")).toLower();
            const QString value = tag.Attributes.value(QStringLiteral("value"));
            if (name == QLatin1String("name"))
                item->Names << value;
            else if (name == QLatin1String("local") ||
                     (name == QLatin1String("url") && item->Locals.isEmpty()))
                item->Locals << value;
            else if (name == QLatin1String("see also"))
                item->SeeAlso = value;
        } else if (tag.Name == QLatin1String("/object") && item) {
            if (!item->Names.isEmpty() || !item->Locals.isEmpty())
                current().push_back(std::move(*item));
            item.reset();
        }
    }
    return root;
}
