#include "core/RS232Comm.h"
#include "core/Sound.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/IntSpinEdit.h"
#include "dispatcher/Journal.h"
#include "dispatcher/ModemSetup.h"
#include "dispatcher/Settings.h"
#include "dispatcher/SettingsApply.h"
#include "platform/IniFile.h"
#include "platform/SoundOut.h"
#include "support/FileSizeLimit.h"
#include "support/JournalLines.h"
#include "support/QStringPrinter.h"
#include "support/RawPty.h"
#include "support/ScriptedPrompts.h"
#include "support/SharedState.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {

const QString Caution = QStringLiteral("Внимание|");

// The dialog on its own, with the running settings, a journal window, scripted
// message boxes and a bare pty published as COM7 (the modem's port).
class SettingsDialog : public ::testing::Test
{
protected:
    SettingsDialog()
    {
        ResetDispatcherState();
        qputenv("KLOV_PORTS_DIR", pty.PortsDir().toLocal8Bit());
        Prompts::SetCurrent(&prompts);
        FormJournal = &journal;
        JournalReady = true;
        archive = dir.filePath(QStringLiteral("arch"));
        QDir().mkpath(archive);
        ArchivePath = archive;
        ArchiveDir = archive + QLatin1Char('/');
        IniFileName = dir.filePath(QStringLiteral("klov.ini"));
    }
    ~SettingsDialog() override
    {
        Prompts::SetCurrent(nullptr);
        qunsetenv("KLOV_PORTS_DIR");
        ResetDispatcherState();
    }

    template <class T> T* child(const char* Name) const
    {
        T* w = form.findChild<T*>(QString::fromLatin1(Name));
        EXPECT_TRUE(w) << Name;
        return w;
    }

    // The main link on the pty, open.
    void openLink(int Port = RawPty::PortNum)
    {
        Connection = std::make_unique<TComConnection>(MainLinkSettings(Port));
        QString err;
        Connection->Open(false, err);
        ASSERT_TRUE(Connection->Connected) << err.toStdString();
    }

    void select(const char* Combo, const QString& Text) const
    {
        QComboBox* c = child<QComboBox>(Combo);
        c->setCurrentIndex(c->findText(Text));
        ASSERT_EQ(c->currentText(), Text);
    }

    void clickApply() const { QTest::mouseClick(child<QPushButton>("ButtonSaveSettings"), Qt::LeftButton); }
    void clickSaveAs() const
    {
        QTest::mouseClick(child<QPushButton>("ButtonSaveSettingsAsIniFile"), Qt::LeftButton);
    }

    QStringList journalLines() const { return JournalLines(journal); }

    QTemporaryDir dir;
    RawPty pty;
    ScriptedPrompts prompts;
    TFormJournal journal;
    TFormSettings form;
    QString archive;
};

// Tones and wave images counted apart.
class SampleSound : public SoundOut
{
public:
    bool PlayWave(const QByteArray&) override
    {
        ++waves;
        return true;
    }
    bool PlayTones(std::span<const Tone>) override
    {
        ++tones;
        return true;
    }
    void Stop() override {}
    bool IsPlaying() const override { return false; }
    int waves = 0;
    int tones = 0;
};

} // namespace

TEST_F(SettingsDialog, IsFilledFromTheRunningSettingsAndReadsThemBack)
{
    openLink();
    FileRebuildHour = 6;
    FileRebuildMin = 45;
    RFChannel = 19;
    RFPowerLevel = 1;
    PollMode = 1;
    PollUnits = 2;
    PollValue = 3;
    SoundMode = TSoundMode::Speaker;
    SoundRepeatMode = TSoundRepeatMode::Repeat;

    form.FillFrom(CurrentSettingsValues(), Connection->Settings().PortNum);

    EXPECT_EQ(form.windowTitle(), QStringLiteral("Настройки программы"));
    EXPECT_EQ(child<QLineEdit>("JvDirectoryEditArchive")->text(), archive);
    EXPECT_EQ(child<QSpinBox>("JvSpinEditArcRebuildHour")->value(), 6);
    EXPECT_EQ(child<QSpinBox>("JvSpinEditArcRebuildMin")->value(), 45);
    EXPECT_EQ(child<QComboBox>("ComboBoxComPortNumber")->currentText(), QStringLiteral("COM7"));
    EXPECT_EQ(child<QSpinBox>("JvSpinEditRfChannelNumber")->value(), 19);
    EXPECT_EQ(child<QComboBox>("ComboBoxRfPowerLevel")->currentText(), QStringLiteral("Средний"));
    EXPECT_TRUE(child<QRadioButton>("RadioButtonPollingMode1")->isChecked());
    EXPECT_EQ(child<QSpinBox>("JvSpinEditPollingIntervalValue")->value(), 3);
    EXPECT_EQ(child<QComboBox>("ComboBoxPollingIntervalUnits")->currentText(), QStringLiteral("часов"));
    EXPECT_TRUE(child<QRadioButton>("RadioButtonSoundSource1")->isChecked());
    EXPECT_TRUE(child<QRadioButton>("RadioButtonSoundRepeating1")->isChecked());

    TSettingsValues v;
    QString err;
    ASSERT_TRUE(form.ReadValues(v, err)) << err.toStdString();
    EXPECT_EQ(v.ArchivePath, archive);
    EXPECT_EQ(v.FileRebuildHour, 6);
    EXPECT_EQ(v.FileRebuildMin, 45);
    EXPECT_EQ(v.RFMainPort, 7);
    EXPECT_EQ(v.RFChannel, 19);
    EXPECT_EQ(v.RFPowerLevel, 1);
    EXPECT_EQ(v.Mode, 1);
    EXPECT_EQ(v.Units, 2);
    EXPECT_EQ(v.Value, 3);
    EXPECT_EQ(v.SoundMode, 1);
    EXPECT_EQ(v.SoundRepeatMode, 1);

    // A port the list does not hold leaves the first one selected.
    form.FillFrom(CurrentSettingsValues(), 200);
    const QComboBox* ports = child<QComboBox>("ComboBoxComPortNumber");
    EXPECT_TRUE(ports->findText(QStringLiteral("COM7")) >= 0);
    EXPECT_EQ(ports->currentIndex(), 0);
}

TEST_F(SettingsDialog, ListsAndCaptionsAreTheSystemsOwn)
{
    const QComboBox* power = child<QComboBox>("ComboBoxRfPowerLevel");
    ASSERT_EQ(power->count(), 3);
    EXPECT_EQ(power->itemText(0), QStringLiteral("Низкий"));
    EXPECT_EQ(power->itemText(1), QStringLiteral("Средний"));
    EXPECT_EQ(power->itemText(2), QStringLiteral("Высокий"));
    const QComboBox* units = child<QComboBox>("ComboBoxPollingIntervalUnits");
    ASSERT_EQ(units->count(), 3);
    EXPECT_EQ(units->itemText(0), QStringLiteral("секунд"));
    EXPECT_EQ(units->itemText(1), QStringLiteral("минут"));
    EXPECT_EQ(units->itemText(2), QStringLiteral("часов"));
    EXPECT_EQ(child<QPushButton>("ButtonSaveSettings")->text(), QStringLiteral("Применить"));
    EXPECT_EQ(child<QPushButton>("ButtonSaveSettingsAsIniFile")->text(),
              QStringLiteral("Сохранить в файл ..."));
    EXPECT_EQ(child<QToolButton>("BitBtnPlaySample")->toolTip(),
              QStringLiteral("Проверить выбранный вариант сигнализации"));
    EXPECT_EQ(child<QRadioButton>("RadioButtonSoundSource1")->text(), QStringLiteral("Встроенный динамик"));
    EXPECT_EQ(child<TIntSpinEdit>("JvSpinEditRfChannelNumber")->Lowest(), 16);
    EXPECT_EQ(child<TIntSpinEdit>("JvSpinEditRfChannelNumber")->Highest(), 23);
}

TEST_F(SettingsDialog, ApplyIsRefusedWithItsMessageAndTheDialogStaysOpen)
{
    form.FillFrom(CurrentSettingsValues(), RawPty::PortNum);
    form.show();
    QSignalSpy accepted(&form, &QDialog::accepted);

    child<QComboBox>("ComboBoxComPortNumber")->setCurrentIndex(-1);
    clickApply();
    EXPECT_EQ(prompts.Messages, QStringList{Caution + QStringLiteral("Не указан СОМ-порт!")});
    select("ComboBoxComPortNumber", QStringLiteral("COM7"));

    // The folder in use counts, not a valid one typed into the dialog.
    prompts.Messages.clear();
    ArchivePath = dir.filePath(QStringLiteral("deleted"));
    child<QLineEdit>("JvDirectoryEditArchive")->setText(archive);
    clickApply();
    EXPECT_EQ(prompts.Messages, QStringList{Caution + QStringLiteral("Папка архива программы не найдена!")});
    ArchivePath = archive;

    // A number field left empty is no number, never a silent 0.
    prompts.Messages.clear();
    child<QSpinBox>("JvSpinEditArcRebuildHour")->findChild<QLineEdit*>()->setText(QString());
    clickApply();
    EXPECT_EQ(prompts.Messages,
              QStringList{Caution + QStringLiteral("Недопустимое значение \"\" в поле \"Час\": введите целое "
                                                   "число от 0 до 23!")});
    child<QSpinBox>("JvSpinEditArcRebuildHour")->setValue(2);

    // 600 hours does not fit the poll timer, even in continuous mode.
    prompts.Messages.clear();
    child<QSpinBox>("JvSpinEditPollingIntervalValue")->setValue(600);
    select("ComboBoxPollingIntervalUnits", QStringLiteral("часов"));
    clickApply();
    EXPECT_EQ(prompts.Messages,
              QStringList{Caution + QStringLiteral("Интервал опроса не может быть больше 596 часов!")});
    child<QSpinBox>("JvSpinEditPollingIntervalValue")->setValue(596);

    // Typed with keys: neither Enter nor the focus leaving for the button puts
    // another number in place of the one typed, so its check refuses it.
    prompts.Messages.clear();
    QSpinBox* interval = child<QSpinBox>("JvSpinEditPollingIntervalValue");
    interval->setFocus();
    interval->selectAll();
    QTest::keyClicks(interval, QStringLiteral("0"));
    QTest::keyClick(interval, Qt::Key_Return);
    clickApply();
    ASSERT_FALSE(prompts.Messages.isEmpty());
    for (const QString& m : prompts.Messages)
        EXPECT_EQ(m,
                  Caution + QStringLiteral("Недопустимое значение \"0\" в поле \"Интервал опроса\": введите "
                                           "целое число от 1 до 2147483!"));
    EXPECT_EQ(interval->text(), QStringLiteral("0"));
    interval->setValue(596);

    // A list with nothing chosen (an out-of-range value from a hand-edited file)
    // is refused by its name, never stored as -1.
    prompts.Messages.clear();
    child<QComboBox>("ComboBoxRfPowerLevel")->setCurrentIndex(-1);
    clickApply();
    EXPECT_EQ(prompts.Messages,
              QStringList{Caution + QStringLiteral("Не выбрано значение в поле \"Мощность передачи\"!")});
    child<QComboBox>("ComboBoxRfPowerLevel")->setCurrentIndex(0);
    prompts.Messages.clear();
    TSettingsValues handEdited = CurrentSettingsValues();
    handEdited.SoundMode = -1;
    form.FillFrom(handEdited, RawPty::PortNum);
    clickApply();
    EXPECT_EQ(prompts.Messages,
              QStringList{Caution + QStringLiteral("Не выбрано значение в поле \"Источник звука\"!")});
    form.FillFrom(CurrentSettingsValues(), RawPty::PortNum);
    child<QSpinBox>("JvSpinEditPollingIntervalValue")->setValue(596);
    select("ComboBoxPollingIntervalUnits", QStringLiteral("часов"));

    // The port search may list a port the link cannot take.
    prompts.Messages.clear();
    child<QComboBox>("ComboBoxComPortNumber")->addItem(QStringLiteral("COM256"));
    select("ComboBoxComPortNumber", QStringLiteral("COM256"));
    clickApply();
    ASSERT_EQ(prompts.Messages.size(), 1);
    EXPECT_TRUE(prompts.Messages[0].contains(QStringLiteral("COM256")));

    EXPECT_EQ(accepted.count(), 0);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(QFile::exists(IniFileName));

    prompts.Messages.clear();
    select("ComboBoxComPortNumber", QStringLiteral("COM7"));
    clickApply();
    EXPECT_TRUE(prompts.Messages.isEmpty());
    EXPECT_EQ(accepted.count(), 1);
    EXPECT_FALSE(form.isVisible());
}

TEST(ComPortItem, NumberAfterTheFirstComInOneToTwoFiftyFive)
{
    int port = -1;
    QString err;
    EXPECT_TRUE(ParseComPortItem(QStringLiteral("COM1"), port, err));
    EXPECT_EQ(port, 1);
    EXPECT_TRUE(ParseComPortItem(QStringLiteral("COM255"), port, err));
    EXPECT_EQ(port, 255);
    EXPECT_FALSE(ParseComPortItem(QString(), port, err));
    EXPECT_EQ(err, QStringLiteral("Не указан СОМ-порт!"));
    for (const char* bad : {"COM256", "COM0", "COMx", "COM", "ttyS0"}) {
        err.clear();
        EXPECT_FALSE(ParseComPortItem(QString::fromLatin1(bad), port, err)) << bad;
        EXPECT_TRUE(err.contains(QString::fromLatin1(bad))) << bad;
    }
    EXPECT_EQ(port, 255);
}

TEST_F(SettingsDialog, SaveAsWritesOnlyTheElevenKeysToTheOtherFileAndAppliesNothing)
{
    openLink();
    form.FillFrom(CurrentSettingsValues(), RawPty::PortNum);
    form.show();
    QSignalSpy accepted(&form, &QDialog::accepted);
    const QString typed = dir.filePath(QStringLiteral("elsewhere"));
    child<QLineEdit>("JvDirectoryEditArchive")->setText(typed);
    child<QSpinBox>("JvSpinEditArcRebuildHour")->setValue(5);
    child<QSpinBox>("JvSpinEditArcRebuildMin")->setValue(15);
    child<QSpinBox>("JvSpinEditRfChannelNumber")->setValue(21);
    select("ComboBoxRfPowerLevel", QStringLiteral("Низкий"));
    child<QRadioButton>("RadioButtonPollingMode1")->setChecked(true);
    child<QSpinBox>("JvSpinEditPollingIntervalValue")->setValue(7);
    select("ComboBoxPollingIntervalUnits", QStringLiteral("минут"));
    child<QRadioButton>("RadioButtonSoundSource0")->setChecked(true);
    child<QRadioButton>("RadioButtonSoundRepeating1")->setChecked(true);

    // Cancelled: nothing written.
    clickSaveAs();
    EXPECT_EQ(prompts.ProposedIni, dir.path() + QStringLiteral("/*.ini"));

    const QString other = dir.filePath(QStringLiteral("other.ini"));
    prompts.SaveAnswer = other;
    clickSaveAs();
    EXPECT_TRUE(prompts.Messages.isEmpty());

    const IniFile file(other);
    EXPECT_EQ(file.ReadSections(), QStringList({QStringLiteral("Archive"), QStringLiteral("Communication"),
                                                QStringLiteral("Polling"), QStringLiteral("Sound")}));
    EXPECT_EQ(file.ReadSection(QStringLiteral("Archive")),
              QStringList({QStringLiteral("ArchivePath"), QStringLiteral("FileRebuildHour"),
                           QStringLiteral("FileRebuildMin")}));
    EXPECT_EQ(file.ReadSection(QStringLiteral("Communication")),
              QStringList({QStringLiteral("RFMainPort"), QStringLiteral("RFChannel"),
                           QStringLiteral("RFPowerLevel")}));
    EXPECT_EQ(file.ReadSection(QStringLiteral("Polling")),
              QStringList({QStringLiteral("Mode"), QStringLiteral("Units"), QStringLiteral("Value")}));
    EXPECT_EQ(file.ReadSection(QStringLiteral("Sound")),
              QStringList({QStringLiteral("SoundMode"), QStringLiteral("SoundRepeatMode")}));
    EXPECT_EQ(file.ReadString(QStringLiteral("Archive"), QStringLiteral("ArchivePath"), QString()), typed);
    const auto integer = [&file](const char* Section, const char* Key) {
        return file.ReadInteger(QString::fromLatin1(Section), QString::fromLatin1(Key), -99);
    };
    EXPECT_EQ(integer("Archive", "FileRebuildHour"), 5);
    EXPECT_EQ(integer("Archive", "FileRebuildMin"), 15);
    EXPECT_EQ(integer("Communication", "RFMainPort"), 7);
    EXPECT_EQ(integer("Communication", "RFChannel"), 21);
    EXPECT_EQ(integer("Communication", "RFPowerLevel"), 0);
    EXPECT_EQ(integer("Polling", "Mode"), 1);
    EXPECT_EQ(integer("Polling", "Units"), 1);
    EXPECT_EQ(integer("Polling", "Value"), 7);
    EXPECT_EQ(integer("Sound", "SoundMode"), 0);
    EXPECT_EQ(integer("Sound", "SoundRepeatMode"), 1);

    // Nothing applied, the modem not asked, the dialog still open.
    EXPECT_FALSE(QFile::exists(IniFileName));
    EXPECT_EQ(ArchivePath, archive);
    EXPECT_EQ(RFChannel, 16);
    EXPECT_EQ(PollMode, 0);
    EXPECT_EQ(SoundMode, TSoundMode::Multimedia);
    EXPECT_TRUE(pty.ReadAvailable(50).isEmpty());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(accepted.count(), 0);
}

TEST_F(SettingsDialog, SaveAsKeepsTheOtherFilesContentsAndIsRefusedLikeApply)
{
    const QString other = dir.filePath(QStringLiteral("other.ini"));
    {
        QFile f(other);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("; kept\n[Devices]\nDevicesList=5,6\n[Polling]\nValue=99\n[General]\nWindowWidth=640\n");
    }
    form.FillFrom(CurrentSettingsValues(), RawPty::PortNum);
    prompts.SaveAnswer = other;

    ArchivePath = dir.filePath(QStringLiteral("deleted"));
    clickSaveAs();
    EXPECT_EQ(prompts.Messages, QStringList{Caution + QStringLiteral("Папка архива программы не найдена!")});
    EXPECT_TRUE(prompts.ProposedIni.isEmpty()) << "the save dialog was shown";
    EXPECT_EQ(IniFile(other).ReadInteger(QStringLiteral("Polling"), QStringLiteral("Value"), -1), 99);

    ArchivePath = archive;
    prompts.Messages.clear();
    clickSaveAs();
    EXPECT_TRUE(prompts.Messages.isEmpty());
    QFile f(other);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("; kept\n[Devices]\nDevicesList=5,6\n[Polling]\n")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("[General]\nWindowWidth=640\n"))) << text.toStdString();
    EXPECT_EQ(IniFile(other).ReadInteger(QStringLiteral("Polling"), QStringLiteral("Value"), -1), 10);
}

TEST_F(SettingsDialog, SamplePlaysTheChosenSourceOnly)
{
    SampleSound sound;
    ScopedSoundOut scope(sound);
    const QByteArray savedWave = WaveData;
    WaveData = QByteArray(101, 'w');
    form.FillFrom(CurrentSettingsValues(), RawPty::PortNum);
    QToolButton* play = child<QToolButton>("BitBtnPlaySample");

    child<QRadioButton>("RadioButtonSoundSource0")->setChecked(true);
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_EQ(sound.tones + sound.waves, 0);
    child<QRadioButton>("RadioButtonSoundSource1")->setChecked(true);
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_EQ(sound.tones, 1);
    child<QRadioButton>("RadioButtonSoundSource2")->setChecked(true);
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_EQ(sound.waves, 1);
    // The sample plays whatever AlarmKind says, and a short image stays silent.
    EXPECT_EQ(AlarmKind, 0);
    WaveData = QByteArray(100, 'w');
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_EQ(sound.waves, 1);
    WaveData = savedWave;
}

namespace {

// Applying, window-free: a stand-in main window and a poll timer.
class ApplySettingsTest : public SettingsDialog
{
protected:
    TSettingsApplyTarget target()
    {
        return {
            &mainWindow, &timer, [this] {
                ++statusUpdates;
                // The file is written before the status bar, and the modem is asked after it.
                valueInFileAtStatus =
                    IniFile(IniFileName).ReadInteger(QStringLiteral("Polling"), QStringLiteral("Value"), -1);
                ptyAtStatus = pty.ReadAvailable(0);
            }};
    }

    QWidget mainWindow;
    QTimer timer;
    int statusUpdates = 0;
    int valueInFileAtStatus = -1;
    QByteArray ptyAtStatus;
};

} // namespace

TEST_F(ApplySettingsTest, RunningValuesTimerFileAndStatusChangeInOrderAndAnUnchangedModemIsLeftAlone)
{
    {
        QFile f(IniFileName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Devices]\nDevicesList=1,2\n[Sound]\nSoundMode=2\n[General]\nWindowWidth=700\n");
    }
    openLink();
    const TComConnection* link = Connection.get();
    timer.start(500);
    mainWindow.setWindowTitle(QStringLiteral("до"));

    TSettingsValues v = CurrentSettingsValues();
    v.RFMainPort = RawPty::PortNum;
    v.ArchivePath = dir.filePath(QStringLiteral("new"));
    v.FileRebuildHour = 4;
    v.FileRebuildMin = 30;
    v.Mode = 1;
    v.Units = 1;
    v.Value = 2;
    v.SoundMode = 0;
    v.SoundRepeatMode = 1;
    ApplySettings(v, target());

    EXPECT_EQ(ArchivePath, v.ArchivePath);
    EXPECT_EQ(ArchiveDir, archive + QLatin1Char('/'));
    EXPECT_EQ(FileRebuildHour, 4);
    EXPECT_EQ(FileRebuildMin, 30);
    EXPECT_EQ(PollIntervalSec, 120);
    EXPECT_EQ(timer.interval(), 120000);
    EXPECT_TRUE(timer.isActive());
    EXPECT_EQ(SoundMode, TSoundMode::None);
    EXPECT_EQ(SoundRepeatMode, TSoundRepeatMode::Repeat);
    EXPECT_EQ(statusUpdates, 1);
    EXPECT_EQ(valueInFileAtStatus, 2);

    const IniFile file(IniFileName);
    EXPECT_EQ(file.ReadSections(), QStringList({QStringLiteral("Devices"), QStringLiteral("Sound"),
                                                QStringLiteral("General"), QStringLiteral("Archive"),
                                                QStringLiteral("Communication"), QStringLiteral("Polling")}));
    EXPECT_EQ(file.ReadString(QStringLiteral("Devices"), QStringLiteral("DevicesList"), QString()),
              QStringLiteral("1,2"));
    EXPECT_EQ(file.ReadInteger(QStringLiteral("Sound"), QStringLiteral("SoundMode"), -1), 0);
    EXPECT_EQ(file.ReadInteger(QStringLiteral("Communication"), QStringLiteral("RFMainPort"), -1), 7);

    // Same port, channel and power: the link stays as it was and the modem hears nothing.
    EXPECT_EQ(Connection.get(), link);
    EXPECT_TRUE(Connection->Connected);
    EXPECT_TRUE(pty.ReadAvailable(50).isEmpty());
    EXPECT_TRUE(journalLines().isEmpty()) << journalLines().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(mainWindow.windowTitle(), QStringLiteral("до"));
}

TEST_F(ApplySettingsTest, AFileThatCannotTakeTheKeysLeavesEverythingAsItWas)
{
    const QByteArray before("[Archive]\nFileRebuildHour=3\n[Polling]\nMode=0\nUnits=0\nValue=10\n");
    {
        QFile f(IniFileName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(before);
    }
    openLink();
    pty.ReadAvailable(20);
    timer.setInterval(500);
    const TSettingsValues old = CurrentSettingsValues();
    const int oldSeconds = PollIntervalSec;
    TSettingsValues v = old;
    v.FileRebuildHour = 4;
    v.Mode = 1;
    v.Units = 1;
    v.Value = 2;
    v.RFChannel = old.RFChannel + 1;
    v.SoundMode = 0;
    {
        // A full disk: the file cannot grow by the new keys.
        FileSizeLimit full(before.size() + 40);
        ASSERT_TRUE(full.ok());
        EXPECT_FALSE(ApplySettings(v, target()));
    }
    QFile f(IniFileName);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    const TSettingsValues now = CurrentSettingsValues();
    EXPECT_EQ(now.FileRebuildHour, old.FileRebuildHour);
    EXPECT_EQ(now.Mode, old.Mode);
    EXPECT_EQ(now.Value, old.Value);
    EXPECT_EQ(now.RFChannel, old.RFChannel);
    EXPECT_EQ(now.SoundMode, old.SoundMode);
    EXPECT_EQ(PollIntervalSec, oldSeconds);
    EXPECT_EQ(timer.interval(), 500);
    EXPECT_EQ(statusUpdates, 0);
    EXPECT_TRUE(pty.ReadAvailable(50).isEmpty()) << "the modem heard nothing";
    ASSERT_EQ(prompts.Messages.size(), 1);
    EXPECT_TRUE(prompts.Messages[0].startsWith(
        Caution + QStringLiteral("Настройки не применены: не удалось сохранить их в файле настроек. "
                                 "Действуют прежние настройки.\n")))
        << prompts.Messages[0].toStdString();
}

TEST_F(ApplySettingsTest, ContinuousModePollsEvery500MsWhateverTheIntervalSays)
{
    TSettingsValues v = CurrentSettingsValues();
    v.Mode = 0;
    v.Units = 2;
    v.Value = 3;
    timer.setInterval(10000);
    ApplySettings(v, target());
    EXPECT_EQ(timer.interval(), 500);
    EXPECT_FALSE(timer.isActive());
    EXPECT_EQ(PollIntervalSec, 3 * 3600);
}

TEST_F(ApplySettingsTest, ChannelAndPowerAreSetAndReadBack)
{
    openLink();
    // Two status replies waiting: channel 19 and then power code 0x6E (low).
    ASSERT_TRUE(pty.Write(QByteArray("S\x13\xC0\x00\x00\x00S\x13\x6E\x00\x00\x00", 12)));
    TSettingsValues v = CurrentSettingsValues();
    v.RFMainPort = RawPty::PortNum;
    v.RFChannel = 19;
    v.RFPowerLevel = 0;
    ApplySettings(v, target());

    EXPECT_TRUE(ptyAtStatus.isEmpty());
    // The last command may still be on its way: the replies were waiting for it.
    EXPECT_EQ(pty.ReadExactly(10, SureWaitMs), QByteArray("#C\x13#S#P\x6E#S"));
    EXPECT_TRUE(pty.ReadAvailable(20).isEmpty());
    EXPECT_TRUE(journalLines().isEmpty()) << journalLines().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(RFChannel, 19);
    EXPECT_EQ(RFPowerLevel, 0);
    EXPECT_EQ(mainWindow.windowTitle(), QStringLiteral("Кловарис (канал радиомодема №19)"));
}

TEST_F(ApplySettingsTest, ReadBackThatDiffersIsJournalledAndTheNewValuesStillCount)
{
    openLink();
    // The modem stays on channel 16 at high power.
    ASSERT_TRUE(pty.Write(QByteArray("S\x10\xC0\x00\x00\x00S\x10\xC0\x00\x00\x00", 12)));
    ASSERT_TRUE(ApplyModemSettings(RawPty::PortNum, 20, 1, &mainWindow));
    EXPECT_EQ(journalLines(),
              QStringList({QStringLiteral("Не удалось установить требуемый номер радиоканала передатчика!"),
                           QStringLiteral(
                               "Не удалось установить требуемый уровень мощности передачи радиомодема!")}));
    EXPECT_EQ(RFChannel, 20);
    EXPECT_EQ(RFPowerLevel, 1);
    EXPECT_EQ(mainWindow.windowTitle(), QStringLiteral("Кловарис (канал радиомодема №20)"));
}

TEST_F(ApplySettingsTest, ClosedPortOnTheSameNumberJournalsEveryModemCommand)
{
    Connection = std::make_unique<TComConnection>(MainLinkSettings(RawPty::PortNum));
    ASSERT_TRUE(ApplyModemSettings(RawPty::PortNum, 17, 0, &mainWindow));
    EXPECT_EQ(journalLines(),
              QStringList({QStringLiteral("COM-порт не подключен! при установке номера канала радиомодема"),
                           QStringLiteral("COM-порт не подключен! при чтении номера канала радиомодема"),
                           QStringLiteral("COM-порт не подключен! при установке уровня мощности передачи "
                                          "радиомодема"),
                           QStringLiteral("COM-порт не подключен! при чтении уровня мощности передачи "
                                          "радиомодема")}));
    EXPECT_EQ(RFChannel, 17);
    EXPECT_EQ(RFPowerLevel, 0);
    EXPECT_EQ(mainWindow.windowTitle(), QStringLiteral("Кловарис (канал радиомодема №17)"));
}

TEST_F(ApplySettingsTest, PortThatDoesNotOpenEndsTheModemStepsButTheFileHoldsTheChoice)
{
    // COM9 points nowhere.
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("none")), pty.PortsDir() + QStringLiteral("/COM9")));
    openLink();
    const TComConnection* link = Connection.get();
    mainWindow.setWindowTitle(QStringLiteral("Кловарис (канал радиомодема №16)"));
    TSettingsValues v = CurrentSettingsValues();
    v.RFMainPort = 9;
    v.RFChannel = 18;
    v.RFPowerLevel = 0;
    ApplySettings(v, target());

    EXPECT_EQ(journalLines(), QStringList{QStringLiteral(
                                  "Попытка открыть несуществующий COM-порт при соединении с СОМ-портом")});
    EXPECT_EQ(Connection.get(), link);
    EXPECT_FALSE(Connection->Connected);
    EXPECT_EQ(Connection->Settings().PortNum, 9);
    EXPECT_EQ(RFMainPort, 9);
    EXPECT_EQ(RFChannel, 16);
    EXPECT_EQ(RFPowerLevel, 2);
    EXPECT_EQ(mainWindow.windowTitle(), QStringLiteral("Кловарис (канал радиомодема №16)"));
    const IniFile file(IniFileName);
    EXPECT_EQ(file.ReadInteger(QStringLiteral("Communication"), QStringLiteral("RFMainPort"), -1), 9);
    EXPECT_EQ(file.ReadInteger(QStringLiteral("Communication"), QStringLiteral("RFChannel"), -1), 18);
    EXPECT_EQ(file.ReadInteger(QStringLiteral("Communication"), QStringLiteral("RFPowerLevel"), -1), 0);
    // The old port was let go: the modem there can be opened again.
    TComConnection again(MainLinkSettings(RawPty::PortNum));
    QString err;
    again.Open(false, err);
    EXPECT_TRUE(again.Connected) << err.toStdString();
    again.Close(false, err);
}

TEST_F(ApplySettingsTest, NewPortIsOpenedOnTheSameLinkAndGetsTheModemCommands)
{
    RawPty second;
    ASSERT_TRUE(
        QFile::link(QFile::symLinkTarget(second.LinkPath()), pty.PortsDir() + QStringLiteral("/COM8")));
    openLink();
    const TComConnection* link = Connection.get();
    ASSERT_TRUE(ApplyModemSettings(8, 17, 2, &mainWindow));

    EXPECT_EQ(Connection.get(), link);
    EXPECT_TRUE(Connection->Connected);
    EXPECT_EQ(Connection->Settings().PortNum, 8);
    EXPECT_EQ(second.ReadAvailable(50), QByteArray("#C\x11#S"));
    EXPECT_TRUE(pty.ReadAvailable(0).isEmpty());
    // The new modem gave no status: the channel last known (none) differs.
    EXPECT_EQ(journalLines(),
              QStringList{QStringLiteral("Не удалось установить требуемый номер радиоканала передатчика!")});
    EXPECT_EQ(RFChannel, 17);
}
