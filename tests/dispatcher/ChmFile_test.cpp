#include "dispatcher/ChmFile.h"
#include "support/QStringPrinter.h"
#include "support/SampleHelp.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class ChmFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("klov.chm"));
        ASSERT_TRUE(SampleHelp::Write(path));
    }

    QByteArray fileBytes() const
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

    void writeBytes(const QString& Path, const QByteArray& Bytes) const
    {
        QFile f(Path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(Bytes);
    }

    QTemporaryDir dir;
    QString path;
    QString error;
};

} // namespace

TEST_F(ChmFileTest, ListsAndReadsStoredFilesByAnySpellingOfTheirPath)
{
    TChmFile chm;
    ASSERT_TRUE(chm.Open(path, error)) << error.toStdString();
    EXPECT_TRUE(chm.IsOpen());
    EXPECT_EQ(chm.FileName(), QFileInfo(path).absoluteFilePath());

    const QStringList files = chm.Files();
    for (const char* expected : {"/intro.htm", "/journal.htm", "/archive/period.htm", "/images/logo.png",
                                 "/klov.hhc", "/klov.hhk", "/#SYSTEM", "/#IVB", "/#STRINGS"})
        EXPECT_TRUE(files.contains(QString::fromLatin1(expected))) << expected;
    EXPECT_FALSE(files.contains(QStringLiteral("/images/"))) << "folders are not files";

    const QByteArray journal =
        SampleHelp::Page(QStringLiteral("Журнал предупреждений"),
                         QStringLiteral("<p>Журнал хранит изменения неисправностей.</p>"
                                        "<p><a href=\"ms-its:klov.chm::/intro.htm\">"
                                        "В начало</a></p>"));
    QByteArray data;
    ASSERT_TRUE(chm.Read(QStringLiteral("/journal.htm"), data));
    EXPECT_EQ(data, journal);
    ASSERT_TRUE(chm.Read(QStringLiteral("JOURNAL.HTM#top"), data));
    EXPECT_EQ(data, journal);
    ASSERT_TRUE(chm.Read(QStringLiteral("ms-its:klov.chm::/archive\\period.htm#dates"), data));
    EXPECT_TRUE(data.startsWith("<html>"));
    ASSERT_TRUE(chm.Read(QStringLiteral("/images/logo.png"), data));
    EXPECT_EQ(data, SampleHelp::Logo());

    EXPECT_FALSE(chm.Read(QStringLiteral("/missing.htm"), data));
    EXPECT_TRUE(data.isEmpty());
    EXPECT_FALSE(chm.Read(QStringLiteral("/images/"), data));
    EXPECT_TRUE(chm.Contains(QStringLiteral("Intro.htm")));
    EXPECT_FALSE(chm.Contains(QStringLiteral("/images")));
    EXPECT_FALSE(chm.Contains(QString(600, QLatin1Char('a'))));

    // Pages without a charset of their own are in the language's code page.
    EXPECT_TRUE(chm.DecodeText(journal).contains(QStringLiteral("Журнал хранит изменения")));
    EXPECT_EQ(chm.DecodeText(QByteArray("<meta charset=\"utf-8\">") + QStringLiteral("ёж").toUtf8()),
              QStringLiteral("<meta charset=\"utf-8\">ёж"));
    EXPECT_EQ(chm.DecodeText(QByteArray("\xEF\xBB\xBF") + QStringLiteral("ёж").toUtf8()),
              QStringLiteral("ёж"));
}

TEST_F(ChmFileTest, SystemFileGivesTitleDefaultTopicLanguageAndSitemaps)
{
    TChmFile chm;
    ASSERT_TRUE(chm.Open(path, error));
    EXPECT_EQ(chm.Title(), QStringLiteral("Справка Кловарис"));
    EXPECT_EQ(chm.DefaultTopic(), QStringLiteral("/intro.htm"));
    EXPECT_EQ(chm.Language(), 0x0419u);
    EXPECT_EQ(chm.ContentsFile(), QStringLiteral("/klov.hhc"));
    EXPECT_EQ(chm.IndexFile(), QStringLiteral("/klov.hhk"));
}

TEST_F(ChmFileTest, ContentsAndIndexAreParsedFromTheSitemaps)
{
    TChmFile chm;
    ASSERT_TRUE(chm.Open(path, error));

    const auto& contents = chm.Contents();
    ASSERT_EQ(contents.size(), 3u);
    EXPECT_EQ(contents[0].Name(), QStringLiteral("Введение"));
    EXPECT_EQ(contents[0].Local(), QStringLiteral("intro.htm"));
    EXPECT_EQ(contents[1].Name(), QStringLiteral("Окна программы"));
    EXPECT_TRUE(contents[1].Locals.isEmpty());
    ASSERT_EQ(contents[1].Children.size(), 2u);
    EXPECT_EQ(contents[1].Children[1].Name(), QStringLiteral("Выбор периода"));
    EXPECT_EQ(TChmFile::TopicPath(contents[1].Children[1].Local()), QStringLiteral("/archive/period.htm"));
    EXPECT_EQ(contents[2].Name(), QStringLiteral("Печать \"графиков\""));
    EXPECT_TRUE(contents[2].Children.empty());

    const auto& index = chm.Index();
    ASSERT_EQ(index.size(), 3u);
    EXPECT_EQ(index[0].Name(), QStringLiteral("архив"));
    ASSERT_EQ(index[0].Children.size(), 1u);
    EXPECT_EQ(index[0].Children[0].Local(), QStringLiteral("archive/period.htm#dates"));
    const TChmTopic& print = index[2];
    EXPECT_EQ(print.Name(), QStringLiteral("печать"));
    EXPECT_EQ(print.Locals, (QStringList{QStringLiteral("print.htm"), QStringLiteral("journal.htm")}));
    EXPECT_EQ(print.TopicTitle(0), QStringLiteral("Печать графиков"));
    EXPECT_EQ(print.TopicTitle(1), QStringLiteral("Журнал предупреждений"));
    EXPECT_EQ(index[1].TopicTitle(0), QStringLiteral("журнал"));
}

TEST_F(ChmFileTest, ContextNumbersLeadToTheirTopics)
{
    TChmFile chm;
    ASSERT_TRUE(chm.Open(path, error));
    EXPECT_EQ(chm.TopicForContext(10), QStringLiteral("/journal.htm"));
    EXPECT_EQ(chm.TopicForContext(9), QStringLiteral("/archive/period.htm"));
    EXPECT_EQ(chm.TopicForContext(70), QStringLiteral("/print.htm"));
    EXPECT_TRUE(chm.TopicForContext(11).isEmpty());
    EXPECT_EQ(chm.Contexts().size(), 3);
}

TEST_F(ChmFileTest, ManyFilesSpreadOverSeveralDirectoryChunksStayReachable)
{
    TChmWriter writer;
    for (int i = 0; i < 700; ++i)
        writer.AddFile(QStringLiteral("/pages/Topic%1.htm").arg(i),
                       QByteArray("page ") + QByteArray::number(i));
    const QString big = dir.filePath(QStringLiteral("big.chm"));
    ASSERT_TRUE(writer.Write(big, error)) << error.toStdString();
    ASSERT_GT(QFileInfo(big).size(), 3 * 4096) << "the directory must need an index chunk";

    TChmFile chm;
    ASSERT_TRUE(chm.Open(big, error));
    EXPECT_EQ(chm.Files().filter(QStringLiteral("/pages/")).size(), 700);
    int wrong = 0;
    QByteArray data;
    for (int i = 0; i < 700; ++i) {
        if (!chm.Read(QStringLiteral("pages/topic%1.htm").arg(i), data) ||
            data != QByteArray("page ") + QByteArray::number(i))
            ++wrong;
    }
    EXPECT_EQ(wrong, 0);
    // Without names in the system file and without sitemaps the first page is the default.
    EXPECT_TRUE(chm.ContentsFile().isEmpty());
    EXPECT_TRUE(chm.Contents().empty());
    EXPECT_TRUE(chm.DefaultTopic().startsWith(QStringLiteral("/pages/Topic")));
}

TEST_F(ChmFileTest, SitemapsAndDefaultTopicAreFoundWithoutTheSystemFileNames)
{
    TChmWriter writer = SampleHelp::Writer();
    writer.SetContentsFile({});
    writer.SetIndexFile({});
    writer.SetDefaultTopic({});
    const QString bare = dir.filePath(QStringLiteral("bare.chm"));
    ASSERT_TRUE(writer.Write(bare, error));
    TChmFile chm;
    ASSERT_TRUE(chm.Open(bare, error));
    EXPECT_EQ(chm.ContentsFile(), QStringLiteral("/klov.hhc"));
    EXPECT_EQ(chm.IndexFile(), QStringLiteral("/klov.hhk"));
    EXPECT_EQ(chm.Contents().size(), 3u);
    EXPECT_EQ(chm.DefaultTopic(), QStringLiteral("/intro.htm"));
}

TEST_F(ChmFileTest, MissingUnreadableAndDamagedFilesFailWithARussianText)
{
    TChmFile chm;
    const QString missing = dir.filePath(QStringLiteral("nohelp.chm"));
    EXPECT_FALSE(chm.Open(missing, error));
    EXPECT_EQ(error, QStringLiteral("Файл справки не найден: ") + QDir::toNativeSeparators(missing));
    EXPECT_FALSE(chm.IsOpen());

    EXPECT_FALSE(chm.Open(dir.path(), error));
    EXPECT_EQ(error,
              QStringLiteral("Не удалось открыть файл справки: ") + QDir::toNativeSeparators(dir.path()));

    const QByteArray good = fileBytes();
    const QString damagedText = QStringLiteral("Файл справки повреждён или не является файлом справки: ");
    const QString bad = dir.filePath(QStringLiteral("bad.chm"));
    // Damage of every kind: nothing, text, a wrong signature, a directory cut short,
    // a system file cut short.
    QByteArray wrongSignature = good;
    wrongSignature[0] = 'X';
    const QList<QByteArray> damaged = {QByteArray(),
                                       QByteArray("<html>not a help file</html>"),
                                       wrongSignature,
                                       good.left(0x60 + 0x18 + 0x54 + 100),
                                       good.left(0x60 + 0x18 + 0x54 + 4096 + 30),
                                       QByteArray(8192, '\0')};
    for (qsizetype i = 0; i < damaged.size(); ++i) {
        writeBytes(bad, damaged[i]);
        error.clear();
        EXPECT_FALSE(chm.Open(bad, error)) << "case " << i;
        EXPECT_EQ(error, damagedText + QDir::toNativeSeparators(bad)) << "case " << i;
        EXPECT_FALSE(chm.IsOpen());
        QByteArray data;
        EXPECT_FALSE(chm.Read(QStringLiteral("/intro.htm"), data));
    }

    // A file cut inside its pages opens, and the pages that are gone fail to read.
    writeBytes(bad, good.left(good.size() - 200));
    ASSERT_TRUE(chm.Open(bad, error)) << error.toStdString();
    QByteArray data;
    EXPECT_TRUE(chm.Read(QStringLiteral("/intro.htm"), data));
    EXPECT_FALSE(chm.Read(QStringLiteral("/print.htm"), data));
    EXPECT_TRUE(data.isEmpty());

    // A failed open leaves nothing of the file opened before.
    ASSERT_TRUE(chm.Open(path, error));
    EXPECT_FALSE(chm.Open(missing, error));
    EXPECT_FALSE(chm.IsOpen());
    EXPECT_TRUE(chm.Title().isEmpty());
    EXPECT_TRUE(chm.Contexts().isEmpty());
}

TEST(ChmTopicPath, LinksBecomeAbsolutePathsInsideTheFile)
{
    EXPECT_EQ(TChmFile::TopicPath(QStringLiteral("intro.htm")), QStringLiteral("/intro.htm"));
    EXPECT_EQ(TChmFile::TopicPath(QStringLiteral(" /intro.htm ")), QStringLiteral("/intro.htm"));
    EXPECT_EQ(TChmFile::TopicPath(QStringLiteral("ms-its:klov.chm::/a/b.htm#c")),
              QStringLiteral("/a/b.htm#c"));
    EXPECT_EQ(TChmFile::TopicPath(QStringLiteral("mk:@MSITStore:C:\\Program Files\\klov.chm::/a.htm")),
              QStringLiteral("/a.htm"));
    EXPECT_EQ(TChmFile::TopicPath(QStringLiteral("a\\..\\b\\.\\c.htm")), QStringLiteral("/b/c.htm"));
    EXPECT_EQ(TChmFile::TopicPath(QStringLiteral("../../x.htm")), QStringLiteral("/x.htm"));
    EXPECT_EQ(TChmFile::TopicPath(QStringLiteral("images/")), QStringLiteral("/images/"));
    EXPECT_EQ(TChmFile::TopicPath(QString()), QStringLiteral("/"));
}
