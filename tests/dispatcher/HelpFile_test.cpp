#include "dispatcher/ChmFile.h"
#include "dispatcher/HelpViewer.h"
#include "support/ScriptedPrompts.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <QVariant>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

namespace {

// The build compiles klov.chm beside klov, one folder above the test programs.
QString builtHelpFile()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../klov.chm"));
}

// Every help context a window form carries.
QMap<int, QString> formContexts()
{
    QMap<int, QString> contexts;
    const QDir forms(QStringLiteral(KLOV_FORMS_DIR));
    for (const QString& name : forms.entryList({QStringLiteral("*.ui")}, QDir::Files)) {
        QFile file(forms.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QXmlStreamReader xml(&file);
        bool inContext = false;
        while (!xml.atEnd()) {
            xml.readNext();
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("property"))
                inContext = xml.attributes().value(QLatin1String("name")) == QLatin1String("HelpContext");
            else if (inContext && xml.name() == QLatin1String("number")) {
                const int id = xml.readElementText().toInt();
                if (id != 0)
                    contexts.insert(id, name);
                inContext = false;
            }
        }
    }
    return contexts;
}

// The file a link of a page at PagePath points to, inside the help file; empty
// for links that leave it.
QString linkTarget(const QString& PagePath, const QString& Link)
{
    if (Link.startsWith(QLatin1Char('#')) || Link.contains(QLatin1String("://")) ||
        Link.startsWith(QLatin1String("mailto:")))
        return {};
    const QString dir = PagePath.left(PagePath.lastIndexOf(QLatin1Char('/')) + 1);
    const QString path = Link.section(QLatin1Char('#'), 0, 0);
    return QDir::cleanPath(dir + path);
}

void collectLocals(const std::vector<TChmTopic>& Topics, QStringList& Locals)
{
    for (const TChmTopic& t : Topics) {
        Locals += t.Locals;
        collectLocals(t.Children, Locals);
    }
}

class BuiltHelpFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(help.Open(builtHelpFile(), error)) << error.toStdString();
    }
    QString page(const QString& Path) const
    {
        QByteArray data;
        return help.Read(Path, data) ? help.DecodeText(data) : QString();
    }
    TChmFile help;
};

} // namespace

TEST_F(BuiltHelpFile, EveryWindowHelpContextOpensAPageOfItsOwn)
{
    const QMap<int, QString> contexts = formContexts();
    // The journal, the archive period and the chart print windows at least.
    ASSERT_TRUE(contexts.contains(9) && contexts.contains(10) && contexts.contains(70));
    QSet<QString> topics;
    for (auto it = contexts.begin(); it != contexts.end(); ++it) {
        const QString topic = help.TopicForContext(static_cast<quint32>(it.key()));
        ASSERT_FALSE(topic.isEmpty()) << "context " << it.key() << " of " << it.value().toStdString();
        EXPECT_TRUE(help.Contains(topic)) << topic.toStdString();
        EXPECT_TRUE(page(topic).contains(QLatin1String("<h1>"))) << topic.toStdString();
        topics.insert(topic);
    }
    EXPECT_EQ(topics.size(), contexts.size()) << "two windows share one page";
    EXPECT_EQ(help.TopicForContext(10), QStringLiteral("/journal.htm"));
    EXPECT_EQ(help.Title(), QStringLiteral("Справка Кловарис"));
    EXPECT_EQ(help.DefaultTopic(), QStringLiteral("/index.htm"));
}

TEST_F(BuiltHelpFile, ContentsIndexAndPageLinksLeadToStoredFiles)
{
    QStringList locals;
    collectLocals(help.Contents(), locals);
    const int contentsCount = locals.size();
    collectLocals(help.Index(), locals);
    EXPECT_GE(contentsCount, 15);
    EXPECT_GT(locals.size(), contentsCount + 20);

    QStringList pages;
    for (const QString& file : help.Files())
        if (file.endsWith(QLatin1String(".htm")))
            pages << file;
    ASSERT_GE(pages.size(), 15);
    QSet<QString> reached;
    for (const QString& local : locals) {
        const QString target = linkTarget(QStringLiteral("/"), local);
        EXPECT_TRUE(help.Contains(target)) << local.toStdString();
        reached.insert(target);
    }
    const QRegularExpression link(QStringLiteral("(?:href|src)=\"([^\"]+)\""));
    for (const QString& path : pages) {
        const QString text = page(path);
        EXPECT_FALSE(text.contains(QChar::ReplacementCharacter)) << path.toStdString();
        for (auto it = link.globalMatch(text); it.hasNext();) {
            const QString ref = it.next().captured(1);
            const QString target = linkTarget(path, ref);
            if (target.isEmpty())
                continue;
            EXPECT_TRUE(help.Contains(target)) << path.toStdString() << " -> " << ref.toStdString();
            const QString fragment = ref.section(QLatin1Char('#'), 1);
            if (!fragment.isEmpty()) {
                EXPECT_TRUE(page(target).contains(QStringLiteral("name=\"%1\"").arg(fragment)))
                    << path.toStdString() << " -> " << ref.toStdString();
            }
        }
    }
    // No page is left out of the contents.
    for (const QString& path : pages)
        EXPECT_TRUE(reached.contains(path)) << path.toStdString();
}

TEST_F(BuiltHelpFile, HelpRequestOfTheJournalShowsItsPage)
{
    ScriptedPrompts prompts;
    Prompts::SetCurrent(&prompts);
    {
        TFormHelpViewer viewer;
        viewer.HtmlHelp(nullptr, builtHelpFile(), HH_HELP_CONTEXT, QVariant(10));
        EXPECT_TRUE(prompts.Messages.isEmpty()) << prompts.Messages.join(u'\n').toStdString();
        EXPECT_EQ(viewer.CurrentTopic(), QStringLiteral("/journal.htm"));
        viewer.HtmlHelp(nullptr, builtHelpFile(), HH_HELP_CONTEXT, QVariant(70));
        EXPECT_EQ(viewer.CurrentTopic(), QStringLiteral("/print.htm"));
    }
    Prompts::SetCurrent(nullptr);
}
