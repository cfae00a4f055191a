#include "dispatcher/DeviceDispatcher.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/Journal.h"
#include "dispatcher/Settings.h"
#include "platform/IniFile.h"
#include "support/JournalLines.h"
#include "support/QStringPrinter.h"
#include "support/RawPty.h"
#include "support/ScriptedPrompts.h"
#include "support/SharedState.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace {

// The main window started on a settings file whose modem is a bare pty (COM7),
// with the settings dialog created as at start-up.
class SettingsAction : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetDispatcherState();
        ASSERT_TRUE(dir.isValid());
        qputenv("KLOV_PORTS_DIR", pty.PortsDir().toLocal8Bit());
        Prompts::SetCurrent(&prompts);
        QDir().mkpath(dir.filePath(QStringLiteral("arch")));
        ini = dir.filePath(QStringLiteral("klov.ini"));
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write((QStringLiteral("[Archive]\nArchivePath=") + dir.filePath(QStringLiteral("arch")) +
                 QStringLiteral("\nFileRebuildHour=3\n[Devices]\nDevicesList=11\n"
                                "[Communication]\nRFMainPort=7\nRFChannel=18\n"))
                    .toUtf8());
        f.close();

        window = std::make_unique<TFormDeviceDispatcher>(
            QStringList{QStringLiteral("/opt/klov/klov"), QStringLiteral("-ini=") + ini});
        FormDeviceDispatcher = window.get();
        FormJournal = &journal;
        JournalReady = true;
        window->show();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        settings = std::make_unique<TFormSettings>(window.get());
        FormSettings = settings.get();
        // What the start-up said to the modem.
        pty.ReadAvailable(50);
    }
    void TearDown() override
    {
        PollingActive = false;
        settings.reset();
        window.reset();
        Prompts::SetCurrent(nullptr);
        qunsetenv("KLOV_PORTS_DIR");
        ResetDispatcherState();
    }

    template <class T> T* child(const char* Name) const
    {
        T* w = settings->findChild<T*>(QString::fromLatin1(Name));
        EXPECT_TRUE(w) << Name;
        return w;
    }

    // Runs the settings action; Operator works the dialog from inside its modal
    // loop. A dialog Operator leaves open is closed, so the action always returns.
    void runDialog(const std::function<void()>& Operator)
    {
        bool shown = false;
        QTimer::singleShot(0, settings.get(), [&] {
            shown = settings->isVisible() && settings->isModal();
            Operator();
            if (settings->isVisible())
                settings->reject();
        });
        window->findChild<QAction*>(QStringLiteral("ActionShowSettingsForm"))->trigger();
        EXPECT_TRUE(shown);
    }

    QByteArray iniBytes() const
    {
        QFile f(ini);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    RawPty pty;
    ScriptedPrompts prompts;
    TFormJournal journal;
    QString ini;
    std::unique_ptr<TFormDeviceDispatcher> window;
    std::unique_ptr<TFormSettings> settings;
};

} // namespace

TEST_F(SettingsAction, ApplyReachesTheTimerTheFileTheStatusBarTheModemAndTheCaption)
{
    ASSERT_TRUE(window->TimerPoll().isActive());
    ASSERT_EQ(window->TimerPoll().interval(), 500);
    PollingActive = true;

    runDialog([this] {
        EXPECT_EQ(child<QSpinBox>("JvSpinEditArcRebuildHour")->value(), 3);
        EXPECT_EQ(child<QSpinBox>("JvSpinEditRfChannelNumber")->value(), 18);
        EXPECT_EQ(child<QComboBox>("ComboBoxComPortNumber")->currentText(), QStringLiteral("COM7"));
        child<QRadioButton>("RadioButtonPollingMode1")->setChecked(true);
        child<QSpinBox>("JvSpinEditPollingIntervalValue")->setValue(2);
        child<QComboBox>("ComboBoxPollingIntervalUnits")->setCurrentIndex(1);
        child<QSpinBox>("JvSpinEditRfChannelNumber")->setValue(20);
        QTest::mouseClick(child<QPushButton>("ButtonSaveSettings"), Qt::LeftButton);
    });

    EXPECT_TRUE(prompts.Messages.isEmpty()) << prompts.Messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(window->TimerPoll().interval(), 120000);
    EXPECT_TRUE(window->TimerPoll().isActive());
    EXPECT_EQ(window->StatusPanelText(0), QStringLiteral("Опрос с интервалом 2 минут"));
    const IniFile file(ini);
    EXPECT_EQ(file.ReadInteger(QStringLiteral("Polling"), QStringLiteral("Mode"), -1), 1);
    EXPECT_EQ(file.ReadInteger(QStringLiteral("Polling"), QStringLiteral("Units"), -1), 1);
    EXPECT_EQ(file.ReadInteger(QStringLiteral("Polling"), QStringLiteral("Value"), -1), 2);
    EXPECT_EQ(file.ReadInteger(QStringLiteral("Communication"), QStringLiteral("RFChannel"), -1), 20);
    EXPECT_EQ(file.ReadString(QStringLiteral("Devices"), QStringLiteral("DevicesList"), QString()),
              QStringLiteral("11"));
    // The modem was told the channel and asked for it back; it said nothing.
    EXPECT_TRUE(pty.ReadAvailable(50).endsWith(QByteArray("#C\x14#S")));
    EXPECT_EQ(JournalLines(journal),
              QStringList{QStringLiteral("Не удалось установить требуемый номер радиоканала передатчика!")});
    EXPECT_EQ(RFChannel, 20);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Кловарис (канал радиомодема №20)"));
}

TEST_F(SettingsAction, ClosingTheDialogChangesNothingEvenAfterEdits)
{
    const QByteArray before = iniBytes();
    runDialog([this] {
        child<QLineEdit>("JvDirectoryEditArchive")->setText(dir.filePath(QStringLiteral("other")));
        child<QRadioButton>("RadioButtonPollingMode1")->setChecked(true);
        child<QSpinBox>("JvSpinEditRfChannelNumber")->setValue(23);
        child<QRadioButton>("RadioButtonSoundSource0")->setChecked(true);
        settings->reject();
    });
    EXPECT_EQ(iniBytes(), before);
    EXPECT_EQ(ArchivePath, dir.filePath(QStringLiteral("arch")));
    EXPECT_EQ(PollMode, 0);
    EXPECT_EQ(RFChannel, 18);
    EXPECT_EQ(SoundMode, TSoundMode::Multimedia);
    EXPECT_EQ(window->TimerPoll().interval(), 500);
    EXPECT_TRUE(pty.ReadAvailable(50).isEmpty());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Кловарис (канал радиомодема №18)"));
}

TEST_F(SettingsAction, ATypedFolderThatDoesNotExistIsRefusedAndNothingChanges)
{
    const QByteArray before = iniBytes();
    const QString gone = dir.filePath(QStringLiteral("gone"));
    runDialog([this, gone] {
        child<QLineEdit>("JvDirectoryEditArchive")->setText(gone);
        child<QRadioButton>("RadioButtonSoundSource0")->setChecked(true);
        QTest::mouseClick(child<QPushButton>("ButtonSaveSettings"), Qt::LeftButton);
        EXPECT_TRUE(settings->isVisible());
    });
    EXPECT_EQ(prompts.Messages, QStringList{QStringLiteral("Внимание|Папка архива программы не найдена!")});
    EXPECT_EQ(iniBytes(), before);
    EXPECT_EQ(ArchivePath, dir.filePath(QStringLiteral("arch")));
    EXPECT_EQ(SoundMode, TSoundMode::Multimedia);

    // The next apply with a folder that exists goes through.
    prompts.Messages.clear();
    const QString other = dir.filePath(QStringLiteral("other"));
    ASSERT_TRUE(QDir().mkpath(other));
    runDialog([this, other] {
        child<QLineEdit>("JvDirectoryEditArchive")->setText(other);
        child<QRadioButton>("RadioButtonSoundSource0")->setChecked(true);
        QTest::mouseClick(child<QPushButton>("ButtonSaveSettings"), Qt::LeftButton);
        EXPECT_FALSE(settings->isVisible());
    });
    EXPECT_TRUE(prompts.Messages.isEmpty()) << prompts.Messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(ArchivePath, other);
    EXPECT_EQ(IniFile(ini).ReadString(QStringLiteral("Archive"), QStringLiteral("ArchivePath"), QString()),
              other);
}
