#include "dispatcher/AddNewDev.h"
#include "dispatcher/DeviceDispatcher.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/IntSpinEdit.h"
#include "platform/IniFile.h"
#include "platform/Prompts.h"
#include "support/FileSizeLimit.h"
#include "support/NoModemPorts.h"
#include "support/QStringPrinter.h"
#include "support/ScriptedPrompts.h"
#include "support/SharedState.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QSpinBox>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

namespace {

// The real main window, offscreen, with scripted message boxes and the real add
// dialog driven by keys.
class DeviceListEditTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        PublishNoModemPorts(dir.path());
        QDir().mkpath(dir.filePath(QStringLiteral("arch")));
        Prompts::SetCurrent(&prompts);
    }
    void TearDown() override
    {
        addDialog.reset();
        window.reset();
        Prompts::SetCurrent(nullptr);
        qunsetenv("KLOV_PORTS_DIR");
        ResetDispatcherState();
    }

    void start(const char* DevicesList)
    {
        ini = dir.filePath(QStringLiteral("klov.ini"));
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(
            "; operator's notes\n[Archive]\nArchivePath=" + dir.filePath(QStringLiteral("arch")).toUtf8() +
            "\n[Devices]\nDevicesList=" + DevicesList + "\n[Sound]\nSoundMode=0\n");
        f.close();
        window = std::make_unique<TFormDeviceDispatcher>(
            QStringList{QStringLiteral("/opt/klov/klov"), QStringLiteral("-ini=") + ini});
        addDialog = std::make_unique<TFormAddNewDevice>(window.get());
        FormAddNewDevice = addDialog.get();
        window->show();
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        ASSERT_TRUE(prompts.Messages.isEmpty()) << prompts.Messages.join('\n').toStdString();
    }

    void trigger(const char* Name)
    {
        QAction* action = window->findChild<QAction*>(QString::fromLatin1(Name));
        ASSERT_TRUE(action);
        action->trigger();
    }

    // The add action with the dialog answered by keys: Keys typed over the offered
    // number, then Last pressed.
    void add(const char* Keys, Qt::Key Last = Qt::Key_Return)
    {
        dialogOpened = false;
        QTimer::singleShot(0, addDialog.get(), [this, Keys, Last] {
            // Fires after the action when it never opened the dialog: then it only says so.
            dialogOpened = addDialog->isVisible();
            if (!dialogOpened)
                return;
            TIntSpinEdit* spin = addDialog->SpinEditNewSN();
            QTest::keyClicks(spin, QString::fromLatin1(Keys));
            QTest::keyClick(spin, Last);
        });
        trigger("ActionAddSerialNum");
        QCoreApplication::processEvents();
    }

    QByteArray fileBytes() const
    {
        QFile f(ini);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void setStoredList(const QString& Text)
    {
        QString error;
        ASSERT_TRUE(
            IniFile(ini).WriteString(QStringLiteral("Devices"), QStringLiteral("DevicesList"), Text, error));
    }
    QString storedList() const
    {
        return IniFile(ini).ReadString(QStringLiteral("Devices"), QStringLiteral("DevicesList"),
                                       QStringLiteral("-"));
    }

    // DevArray in table order.
    QList<quint16> rows() const
    {
        QList<quint16> serials;
        for (const auto& row : DevArray)
            serials << row->Device->SerialNum;
        return serials;
    }
    // The serial column of the table as drawn.
    QStringList shown() const
    {
        const auto* view = window->findChild<QTableView*>(QStringLiteral("StringGridDeviceList"));
        QStringList texts;
        for (int r = 0; r < view->model()->rowCount(); ++r)
            texts << view->model()->index(r, 3).data().toString();
        return texts;
    }
    void select(std::initializer_list<int> Positions)
    {
        for (const int p : Positions)
            DevArray[static_cast<std::size_t>(p)]->Selected = true;
        window->ReloadStringgrid();
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    std::unique_ptr<TFormDeviceDispatcher> window;
    std::unique_ptr<TFormAddNewDevice> addDialog;
    QString ini;
    bool dialogOpened = false;
};

const QString Caution = QStringLiteral("Внимание|");

} // namespace

TEST_F(DeviceListEditTest, AddingWhilePollingIsRefusedWithoutAsking)
{
    start("12");
    const QByteArray before = fileBytes();
    PollingActive = true;
    add("7");
    PollingActive = false;
    EXPECT_FALSE(dialogOpened);
    EXPECT_EQ(
        prompts.Messages,
        QStringList{Caution + QStringLiteral("Добавление нового устройства невозможно в режиме опроса!")});
    EXPECT_EQ(rows(), QList<quint16>{12});
    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(addDialog->SerialNum(), 1);
}

TEST_F(DeviceListEditTest, NewNumberGoesToTheEndOfTableAndFileWhateverTheSortAndFilter)
{
    start("12, 345");
    // Sorted descending by serial, filtered to linked rows: nothing shows.
    SortColumn = 3;
    SortDirection = 2;
    std::swap(DevArray[0], DevArray[1]);
    FilterColumn = 1;
    FilterText = QStringLiteral("Ок");
    for (auto& row : DevArray)
        row->Hidden = true;
    window->ReloadStringgrid();
    ASSERT_TRUE(shown().isEmpty());

    add("7");
    EXPECT_TRUE(dialogOpened);
    EXPECT_TRUE(prompts.Messages.isEmpty()) << prompts.Messages.join('\n').toStdString();
    EXPECT_EQ(storedList(), QStringLiteral("12,345,7"));
    // Every other line stays as it was.
    EXPECT_TRUE(fileBytes().startsWith("; operator's notes\n[Archive]\nArchivePath="));
    EXPECT_TRUE(fileBytes().endsWith("\n[Devices]\nDevicesList=12,345,7\n[Sound]\nSoundMode=0\n"));
    EXPECT_EQ(rows(), (QList<quint16>{345, 12, 7}));
    const TTableDevice& added = *DevArray.back();
    EXPECT_FALSE(added.Hidden);
    EXPECT_FALSE(added.Selected);
    EXPECT_EQ(added.Status, dsNoLink);
    EXPECT_EQ(added.Device->Channel1->GraphLine->Title, QStringLiteral("№00007К1"));
    EXPECT_EQ(added.Device->Channel2->GraphLine->Title, QStringLiteral("№00007К2"));
    EXPECT_EQ(shown(), QStringList{QStringLiteral("00007")});
}

TEST_F(DeviceListEditTest, FirstNumberOfAnEmptyListIsWrittenAlone)
{
    start("");
    add("65535");
    EXPECT_EQ(storedList(), QStringLiteral("65535"));
    EXPECT_EQ(shown(), QStringList{QStringLiteral("65535")});
}

TEST_F(DeviceListEditTest, TheStoredListDecidesWhatIsADuplicate)
{
    start("12,345");
    add("345");
    EXPECT_EQ(prompts.Messages,
              QStringList{Caution + QStringLiteral("Устройство с таким номером уже есть в списке!")});
    EXPECT_EQ(storedList(), QStringLiteral("12,345"));
    EXPECT_EQ(rows(), (QList<quint16>{12, 345}));

    // The file changed behind the table: a number only the file holds is refused,
    // one only the table holds is taken. The last number is offered again.
    prompts.Messages.clear();
    setStoredList(QStringLiteral("12, 99"));
    add("99");
    EXPECT_EQ(prompts.Messages,
              QStringList{Caution + QStringLiteral("Устройство с таким номером уже есть в списке!")});
    EXPECT_EQ(rows(), (QList<quint16>{12, 345}));
    prompts.Messages.clear();
    add("345");
    EXPECT_TRUE(prompts.Messages.isEmpty());
    EXPECT_EQ(storedList(), QStringLiteral("12,99,345"));
    EXPECT_EQ(rows(), (QList<quint16>{12, 345, 345}));
    prompts.Messages.clear();
    add("", Qt::Key_Enter);
    EXPECT_EQ(prompts.Messages,
              QStringList{Caution + QStringLiteral("Устройство с таким номером уже есть в списке!")});
}

TEST_F(DeviceListEditTest, EscapeInTheDialogAddsNothing)
{
    start("12");
    const QByteArray before = fileBytes();
    add("500", Qt::Key_Escape);
    EXPECT_TRUE(dialogOpened);
    EXPECT_FALSE(addDialog->isVisible());
    EXPECT_TRUE(prompts.Messages.isEmpty());
    EXPECT_EQ(rows(), QList<quint16>{12});
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(DeviceListEditTest, UnparsedItemsStayWhenAddingAndGoWhenRemoving)
{
    start("abc, 5");
    add("6");
    EXPECT_EQ(storedList(), QStringLiteral("abc,5,6"));

    // A number out of range in a hand-edited list stops the add.
    prompts.Messages.clear();
    setStoredList(QStringLiteral("65548,5"));
    const QByteArray before = fileBytes();
    add("12");
    ASSERT_EQ(prompts.Messages.size(), 1);
    EXPECT_TRUE(prompts.Messages[0].startsWith(
        Caution + QStringLiteral("Список устройств в файле настроек содержит номер вне диапазона 0..65535.")))
        << prompts.Messages[0].toStdString();
    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(rows(), (QList<quint16>{5, 6}));

    // Both rows of 12 selected: the first removal takes every 12 and the item abc
    // from the file, the second finds its number gone, says so and still goes.
    prompts.Messages.clear();
    setStoredList(QStringLiteral("12,abc,12,5,-3"));
    window->LoadSettings(ini);
    ASSERT_EQ(rows(), (QList<quint16>{12, 12, 5}));
    select({0, 1});
    prompts.YesAnswers = {true};
    trigger("ActionDeleteDevices");
    EXPECT_EQ(prompts.Questions,
              QStringList{QStringLiteral("Удалить из списка устройства с номерами 00012, 00012?")});
    EXPECT_EQ(storedList(), QStringLiteral("5"));
    EXPECT_EQ(prompts.Messages,
              QStringList{Caution + QStringLiteral("Устройство с номером 12 не найдено в списке!")});
    EXPECT_EQ(rows(), QList<quint16>{5});
    EXPECT_EQ(shown(), QStringList{QStringLiteral("00005")});
}

TEST_F(DeviceListEditTest, DeletingWhilePollingOrWithoutSelectionIsRefused)
{
    start("12,345");
    const QByteArray before = fileBytes();
    trigger("ActionDeleteDevices");
    EXPECT_EQ(prompts.Messages,
              QStringList{Caution + QStringLiteral("Не выделены устройства для удаления!")});

    prompts.Messages.clear();
    select({1});
    PollingActive = true;
    trigger("ActionDeleteDevices");
    PollingActive = false;
    EXPECT_EQ(prompts.Messages,
              QStringList{Caution + QStringLiteral("Удаление устройства невозможно в режиме опроса!")});
    EXPECT_TRUE(prompts.Questions.isEmpty());
    EXPECT_EQ(rows(), (QList<quint16>{12, 345}));
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(DeviceListEditTest, SelectedRowsGoAfterYesHiddenOnesIncluded)
{
    start("12,7,345,8");
    // 00012 is hidden by the filter; 00007 is shown but not selected.
    DevArray[0]->Hidden = true;
    select({0, 2});
    ASSERT_EQ(shown(),
              (QStringList{QStringLiteral("00007"), QStringLiteral("00345"), QStringLiteral("00008")}));
    const QByteArray before = fileBytes();

    QList<quint16> told;
    QObject::connect(window.get(), &TFormDeviceDispatcher::DeviceRowDeleting, window.get(),
                     [&told](TTableDevice* Row) {
                         // Still in the table and whole when announced.
                         const bool present = std::any_of(DevArray.begin(), DevArray.end(),
                                                          [Row](const auto& R) { return R.get() == Row; });
                         EXPECT_TRUE(present);
                         told << Row->Device->SerialNum;
                     });

    prompts.YesAnswers = {false};
    trigger("ActionDeleteDevices");
    const QString question = QStringLiteral("Удалить из списка устройства с номерами 00012, 00345?");
    EXPECT_EQ(prompts.Questions, QStringList{question});
    EXPECT_EQ(prompts.QuestionCaptions, QStringList{QStringLiteral("Внимание")});
    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(rows(), (QList<quint16>{12, 7, 345, 8}));
    EXPECT_TRUE(told.isEmpty());

    prompts.YesAnswers = {true};
    trigger("ActionDeleteDevices");
    EXPECT_EQ(prompts.Questions, (QStringList{question, question}));
    EXPECT_TRUE(prompts.Messages.isEmpty()) << prompts.Messages.join('\n').toStdString();
    EXPECT_EQ(storedList(), QStringLiteral("7,8"));
    EXPECT_EQ(rows(), (QList<quint16>{7, 8}));
    EXPECT_EQ(shown(), (QStringList{QStringLiteral("00007"), QStringLiteral("00008")}));
    EXPECT_EQ(told, (QList<quint16>{12, 345}));
}

TEST_F(DeviceListEditTest, FailedWriteChangesNeitherTableNorFile)
{
    start("12,345");
    const QByteArray before = fileBytes();
    {
        FileSizeLimit limit(16);
        ASSERT_TRUE(limit.ok());
        add("7");
    }
    ASSERT_EQ(prompts.Messages.size(), 1);
    EXPECT_TRUE(prompts.Messages[0].startsWith(
        Caution +
        QStringLiteral("Устройство с номером 00007 не добавлено: не удалось сохранить список "
                       "устройств в файле настроек.\nНе удалось записать файл \"") +
        ini))
        << prompts.Messages[0].toStdString();
    EXPECT_EQ(rows(), (QList<quint16>{12, 345}));
    EXPECT_EQ(fileBytes(), before);

    // Deleting stops at the first number the file does not take: one message,
    // every row stays.
    prompts.Messages.clear();
    select({0, 1});
    prompts.YesAnswers = {true};
    int told = 0;
    QObject::connect(window.get(), &TFormDeviceDispatcher::DeviceRowDeleting, window.get(),
                     [&told] { ++told; });
    {
        FileSizeLimit limit(16);
        ASSERT_TRUE(limit.ok());
        trigger("ActionDeleteDevices");
    }
    ASSERT_EQ(prompts.Messages.size(), 1);
    EXPECT_TRUE(prompts.Messages[0].startsWith(
        Caution + QStringLiteral("Устройство с номером 00012 не удалено: не удалось сохранить список "
                                 "устройств в файле настроек.\nНе удалось записать файл \"")))
        << prompts.Messages[0].toStdString();
    EXPECT_EQ(rows(), (QList<quint16>{12, 345}));
    EXPECT_EQ(shown(), (QStringList{QStringLiteral("00012"), QStringLiteral("00345")}));
    EXPECT_EQ(fileBytes(), before);
    EXPECT_EQ(told, 0);

    // Once the file takes writes again, the same rows go.
    prompts.Messages.clear();
    prompts.YesAnswers = {true};
    trigger("ActionDeleteDevices");
    EXPECT_TRUE(prompts.Messages.isEmpty());
    EXPECT_EQ(storedList(), QString());
    EXPECT_TRUE(rows().isEmpty());
}
