#include "archive/Archive.h"
#include "charts/Graphic.h"
#include "charts/GraphicForms.h"
#include "charts/PlotWidget.h"
#include "charts/PrintDialog.h"
#include "config/DeviceConfig.h"
#include "dispatcher/About.h"
#include "dispatcher/AddNewDev.h"
#include "dispatcher/DeviceDispatcher.h"
#include "dispatcher/EepromErrorDialog.h"
#include "dispatcher/Journal.h"
#include "dispatcher/JournalMessage.h"
#include "dispatcher/Password.h"
#include "dispatcher/RunEnd.h"
#include "dispatcher/Settings.h"
#include "dispatcher/ZarOdudEvud.h"
#include "platform/Prompts.h"
#include "platform/QtGapTranslator.h"
#include "platform/TerminationSignals.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <csignal>

namespace {

// Unexpected failures are shown and the run goes on.
class KlovApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject* Receiver, QEvent* Event) override
    {
        try {
            return QApplication::notify(Receiver, Event);
        } catch (const std::exception& e) {
            QMessageBox::critical(activeWindow(), QStringLiteral("Кловарис"), QString::fromUtf8(e.what()));
        }
        return false;
    }
};

// Qt's own dialogs and texts (file dialogs, "Yes"/"No", overwrite questions,
// serial port errors) in Russian, like the rest of the program. Without the
// translations installed they stay in English.
void InstallQtTranslations(QApplication& App)
{
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* catalog : {"qtbase_ru", "qtserialport_ru", "qtmultimedia_ru"}) {
        auto* translator = new QTranslator(&App);
        if (translator->load(QString::fromLatin1(catalog), folder))
            QApplication::installTranslator(translator);
        else
            delete translator;
    }
    QApplication::installTranslator(new TQtGapTranslator(&App));
}

} // namespace

int main(int argc, char* argv[])
{
    // Past a file-size limit a write must fail and be reported like a full disk,
    // not end the process without a word.
    std::signal(SIGXFSZ, SIG_IGN);
    KlovApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("klov"));
    QApplication::setApplicationVersion(QStringLiteral(KLOV_VERSION));
    InstallQtTranslations(app);
    // Help requests (F1 in a window, the help menu) go to the compiled-help viewer.
    InitializeZarOdudEvud();

    // The ten windows of the run, in this order: the main window's creation runs
    // before any other exists (its journal messages wait for the journal window).
    TFormDeviceDispatcher mainWindow(QApplication::arguments());
    FormDeviceDispatcher = &mainWindow;
    // The chart windows are made on demand as children of the main window.
    TGraphicForms graphicForms(&mainWindow);
    mainWindow.SetGraphicWindows(&graphicForms);
    TFormDeviceConfig deviceConfig(&mainWindow);
    FormDeviceConfig = &deviceConfig;
    deviceConfig.SetDispatcher(&mainWindow, &mainWindow.Polling(), &graphicForms);
    mainWindow.SetDeviceConfigWindow(&deviceConfig);
    TFormSettings settings(&mainWindow);
    FormSettings = &settings;
    TFormEepromErrorDialog warning(&mainWindow);
    FormEepromErrorDialog = &warning;
    ConnectNetWarnings(&warning);
    TFormPassword password(&mainWindow);
    FormPassword = &password;
    TFormPrintDialog printDialog(&mainWindow);
    FormPrintDialog = &printDialog;
    SetPrintChartHandler([](TPlotWidget& Chart) {
        QString error;
        if (!PrintChart(Chart, error))
            Prompts::Current().Message(Chart.window(), error, QStringLiteral("Кловарис"),
                                       QMessageBox::Critical);
    });
    TFormArchive archive(&mainWindow);
    FormArchive = &archive;
    mainWindow.SetArchiveWindow(&archive);
    archive.SetGraphicForms(&graphicForms);
    TFormJournal journal(&mainWindow);
    FormJournal = &journal;
    ShowEarlyJournalMessages(journal);
    TFormAddNewDevice addNewDevice(&mainWindow);
    FormAddNewDevice = &addNewDevice;
    TFormAbout about(&mainWindow);
    FormAbout = &about;

    QObject::connect(&mainWindow, &TFormDeviceDispatcher::OpenDeviceConfig, &deviceConfig,
                     [&deviceConfig](TTableDevice* Row) {
                         // While an update or a calibration step runs, the window keeps its device.
                         if (Row && !deviceConfig.ProcedureRunning()) {
                             // A window showing another device closes first, with its own close handling.
                             if (deviceConfig.isVisible())
                                 deviceConfig.close();
                             deviceConfig.TableDevice = Row;
                         }
                         deviceConfig.show();
                         deviceConfig.raise();
                         deviceConfig.activateWindow();
                     });
    // A deleted row must not stay behind in the configuration window.
    QObject::connect(&mainWindow, &TFormDeviceDispatcher::DeviceRowDeleting, &deviceConfig,
                     &TFormDeviceConfig::TableDeviceDeleting);

    // A refused first show ends the run without the shutdown that saves settings.
    QObject::connect(
        &mainWindow, &TFormDeviceDispatcher::TerminateApplication, &app, [] { QCoreApplication::exit(1); },
        Qt::QueuedConnection);
    // So does a history file of the archive that cannot be created.
    QObject::connect(
        &archive, &TFormArchive::TerminateApplication, &app, [] { QCoreApplication::exit(1); },
        Qt::QueuedConnection);
    // A system shutdown closes the window like the operator would.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::Requested, &mainWindow, &QWidget::close);

    // Qt ends the process through exit() when the display goes away.
    EndRunAtExit();
    mainWindow.show();
    const int rc = QApplication::exec();
    mainWindow.SetDeviceConfigWindow(nullptr);
    ConnectNetWarnings(nullptr);
    EndRun();
    return rc;
}
