#include "dispatcher/DeviceDispatcher.h"
#include "dispatcher/DispatcherState.h"
#include "platform/IniFile.h"
#include "platform/Prompts.h"

#include "support/QStringPrinter.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Answers the start-up questions from a script and records what was asked.
class ScriptedPrompts : public Prompts
{
public:
    void Message(QWidget*, const QString& Text, const QString& Caption, QMessageBox::Icon) override
    {
        Messages << Caption + QStringLiteral("|") + Text;
    }
    bool YesNo(QWidget*, const QString& Text, const QString&) override
    {
        Questions << Text;
        return YesAnswers.isEmpty() ? false : YesAnswers.takeFirst();
    }
    QString SaveFileName(QWidget*, const QString&, const QString& Proposed, const QString&, const QString&,
                         const QString&) override
    {
        ProposedIni = Proposed;
        return SaveAnswer;
    }
    QString Folder(QWidget*, const QString&, const QString&) override
    {
        ++FolderAsked;
        return Folders.isEmpty() ? QString() : Folders.takeFirst();
    }

    QStringList Messages;
    QStringList Questions;
    QList<bool> YesAnswers;
    QString SaveAnswer;
    QString ProposedIni;
    QStringList Folders;
    int FolderAsked = 0;
};

class MainWindowStart : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // No modem anywhere: port 1 is a dangling entry, so it reads as missing.
        QDir().mkpath(dir.filePath(QStringLiteral("ports")));
        QFile::link(dir.filePath(QStringLiteral("none")), dir.filePath(QStringLiteral("ports/COM1")));
        qputenv("KLOV_PORTS_DIR", dir.filePath(QStringLiteral("ports")).toLocal8Bit());
        Prompts::SetCurrent(&prompts);
    }
    void TearDown() override
    {
        window.reset();
        Prompts::SetCurrent(nullptr);
        qunsetenv("KLOV_PORTS_DIR");
        ClearDevArray();
        Connection.reset();
        ArchivePath.clear();
        ArchiveDir.clear();
        SuperuserMode = false;
    }

    void start(const QStringList& extraArgs)
    {
        window = std::make_unique<TFormDeviceDispatcher>(QStringList{QStringLiteral("/opt/klov/klov")} + extraArgs);
        window->show();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
    }

    QString writeIni(const QString& text)
    {
        const QString path = dir.filePath(QStringLiteral("klov.ini"));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(text.toUtf8());
        return path;
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    std::unique_ptr<TFormDeviceDispatcher> window;
};

} // namespace

TEST_F(MainWindowStart, RefusedSettingsFileEndsTheRunWithoutWritingAnything)
{
    const QString ini = dir.filePath(QStringLiteral("missing.ini"));
    start({QStringLiteral("-ini=") + ini});
    EXPECT_EQ(prompts.ProposedIni, ini);
    ASSERT_EQ(prompts.Messages.size(), 1);
    EXPECT_EQ(prompts.Messages[0], QStringLiteral("Внимание!|Не удалось создать файл настроек программы. "
                                                  "Дальнейшая работа невозможна."));
    EXPECT_TRUE(window->TerminateRequested());
    EXPECT_EQ(prompts.FolderAsked, 0);
    window->close();
    EXPECT_FALSE(QFile::exists(ini));
}

TEST_F(MainWindowStart, FolderWithArchiveFilesIsUsedOnlyAfterTheOperatorAgrees)
{
    const QString used = dir.filePath(QStringLiteral("old"));
    const QString fresh = dir.filePath(QStringLiteral("fresh"));
    QDir().mkpath(used);
    QDir().mkpath(fresh);
    QFile(used + QStringLiteral("/Devices.cds")).open(QIODevice::WriteOnly);
    const QString ini = writeIni(QStringLiteral("; hand-made\n[Communication]\nRFChannel=17\n"));
    prompts.Folders = {used, fresh};
    prompts.YesAnswers = {false};

    start({QStringLiteral("/INI:") + ini, QStringLiteral("-pwd=2719460853")});
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Кловарис (канал радиомодема №17)"));
    EXPECT_TRUE(SuperuserMode);
    EXPECT_EQ(prompts.FolderAsked, 2);
    EXPECT_EQ(prompts.Questions,
              QStringList{QStringLiteral("В указанной папке найдены файлы архива. Использовать найденные файлы?")});
    EXPECT_TRUE(prompts.Messages.isEmpty());
    EXPECT_FALSE(window->TerminateRequested());
    EXPECT_EQ(ArchivePath, fresh);
    EXPECT_EQ(IniFile(ini).ReadString(QStringLiteral("Archive"), QStringLiteral("ArchivePath"), QString()), fresh);
    EXPECT_TRUE(window->TimerPoll().isActive());
    EXPECT_EQ(window->TimerPoll().interval(), 500);
    EXPECT_EQ(window->StatusPanelText(0), QStringLiteral("Опрос остановлен"));
}

TEST_F(MainWindowStart, WrongServiceCodeLeavesServiceModeOff)
{
    QDir().mkpath(dir.filePath(QStringLiteral("arch")));
    const QString ini = writeIni(QStringLiteral("[Archive]\nArchivePath=") + dir.filePath(QStringLiteral("arch")) + "\n");
    start({QStringLiteral("-ini=") + ini, QStringLiteral("-pwd=2719460854")});
    EXPECT_FALSE(SuperuserMode);
    EXPECT_EQ(prompts.FolderAsked, 0);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Кловарис (канал радиомодема №16)"));
}
