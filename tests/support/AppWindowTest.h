#pragma once

#include "dispatcher/DeviceDispatcher.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/EepromErrorDialog.h"
#include "dispatcher/Journal.h"
#include "platform/Prompts.h"
#include "support/SharedState.h"
#include "support/SimNetwork.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>

// The application's own windows over the simulated radio network: the ports in
// "ports" and an archive folder inside the temporary folder, the simulated modem
// on one port, and the main window with its warning window and journal made as
// the program makes them. A derived TearDown ends with this one.
class AppWindowTest : public SimNetworkTest
{
protected:
    // Records every box and every file or folder asked for (none is chosen); each
    // question is answered with Yes.
    class RecordingPrompts : public Prompts
    {
    public:
        void Message(QWidget*, const QString& Text, const QString& Caption, QMessageBox::Icon) override
        {
            Shown << Caption + QLatin1Char('|') + Text;
        }
        bool YesNo(QWidget*, const QString& Text, const QString&) override
        {
            Shown << QStringLiteral("?|") + Text;
            return Yes;
        }
        QString SaveFileName(QWidget*, const QString& Title, const QString&, const QString&, const QString&,
                             const QString&) override
        {
            Shown << QStringLiteral("save|") + Title;
            return {};
        }
        QString Folder(QWidget*, const QString& Title, const QString&) override
        {
            Shown << QStringLiteral("folder|") + Title;
            return {};
        }

        QStringList Shown;
        bool Yes = true;
    };

    // For SetUp, under ASSERT_NO_FATAL_FAILURE.
    void startNetwork(int ModemPort)
    {
        ASSERT_TRUE(publishPorts(QStringLiteral("ports")));
        archiveDir = dir.filePath(QStringLiteral("archive"));
        ASSERT_TRUE(QDir().mkpath(archiveDir));
        Prompts::SetCurrent(&prompts);
        ASSERT_TRUE(startSim(ModemPort));
        modemPort = ModemPort;
    }

    void TearDown() override
    {
        ConnectNetWarnings(nullptr);
        if (window) {
            window->close();
            closeMoreWindows();
            window.reset(); // takes the journal and the warning window with it
        }
        ResetDispatcherState();
        Prompts::SetCurrent(nullptr);
        SimNetworkTest::TearDown();
    }

    // A settings file for the simulated modem and the device list, with an archive
    // folder that exists (so the first show asks nothing); Tail follows as it is.
    QString writeIni(const QList<quint16>& Serials, const QString& Tail)
    {
        QStringList list;
        for (const quint16 s : Serials)
            list << QString::number(s);
        const QString text = QStringLiteral("[Archive]\nArchivePath=") + archiveDir +
                             QStringLiteral("\n[Devices]\nDevicesList=") + list.join(QLatin1Char(',')) +
                             QStringLiteral("\n[Communication]\nRFMainPort=") + QString::number(modemPort) +
                             QStringLiteral("\nRFChannel=16\n") + Tail;
        const QString path = dir.filePath(QStringLiteral("klov.ini"));
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(text.toUtf8()) < 0)
            ADD_FAILURE() << "cannot write " << path.toStdString();
        return path;
    }

    // The windows as the program makes them, then the first show, which must ask
    // nothing and start the poll timer.
    void startApplication(const QString& Ini)
    {
        window = std::make_unique<TFormDeviceDispatcher>(
            QStringList{QStringLiteral("/opt/klov/klov"), QStringLiteral("-ini=") + Ini});
        FormDeviceDispatcher = window.get();
        warning = new TFormEepromErrorDialog(window.get());
        FormEepromErrorDialog = warning;
        ConnectNetWarnings(warning);
        makeMoreWindows();
        journal = new TFormJournal(window.get());
        FormJournal = journal;
        window->show();
        ASSERT_TRUE(RunEventsUntil([this] { return window->TimerPoll().isActive(); }, 5000, 10));
        ASSERT_TRUE(prompts.Shown.isEmpty()) << prompts.Shown.join(QLatin1Char('\n')).toStdString();
    }

    // Windows of a derived test, hooked to the main window before the journal is
    // made, and freed before the main window.
    virtual void makeMoreWindows() {}
    virtual void closeMoreWindows() {}

    RecordingPrompts prompts;
    QString archiveDir;
    int modemPort = 0;
    std::unique_ptr<TFormDeviceDispatcher> window;
    TFormEepromErrorDialog* warning = nullptr;
    TFormJournal* journal = nullptr;
};
