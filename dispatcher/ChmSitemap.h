#pragma once

#include <QString>
#include <QStringList>
#include <vector>

// One entry of a help file's contents (.hhc) or index (.hhk) sitemap. In the
// contents Names holds the caption; in the index the first name is the keyword
// and any further names are the titles of its topics, one per Locals entry.
struct TChmTopic
{
    QStringList Names;
    QStringList Locals;
    QString SeeAlso;
    std::vector<TChmTopic> Children;

    QString Name() const { return Names.value(0); }
    QString Local() const { return Locals.value(0); }
    // The title shown for topic I of an index keyword: its own name when the
    // sitemap gives one, else the keyword.
    QString TopicTitle(int I) const { return Names.size() > I + 1 ? Names[I + 1] : Name(); }
};

// Reads the sitemap HTML the help workshop writes: nested <UL> lists whose <LI>
// items carry an <OBJECT type="text/sitemap"> with <param> children. Tolerant of
// what hand-edited files do: tags in any case, unclosed <LI>, attribute values in
// single, double or no quotes, character references.
std::vector<TChmTopic> ParseChmSitemap(const QString& Html);
