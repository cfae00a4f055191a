#include "dispatcher/DeviceDispatcher.h"

#include "core/Logging.h"
#include "core/Sound.h"
#include "dispatcher/About.h"
#include "dispatcher/AddNewDev.h"
#include "dispatcher/CommandLine.h"
#include "dispatcher/DeviceListEdit.h"
#include "dispatcher/DeviceTableController.h"
#include "dispatcher/DeviceTableModel.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/EepromErrorDialog.h"
#include "dispatcher/GraphicAction.h"
#include "dispatcher/HelpManager.h"
#include "dispatcher/Journal.h"
#include "dispatcher/JournalMessage.h"
#include "dispatcher/MenuIcons.h"
#include "dispatcher/ModemSetup.h"
#include "dispatcher/Password.h"
#include "dispatcher/PollingCycle.h"
#include "dispatcher/Settings.h"
#include "dispatcher/SettingsApply.h"
#include "dispatcher/SettingsFile.h"
#include "dispatcher/WindowPlacement.h"
#include "platform/IniFile.h"
#include "platform/Prompts.h"
#include "ui_DeviceDispatcher.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QStatusBar>

TFormDeviceDispatcher* FormDeviceDispatcher = nullptr;

namespace {
const QString Caution = QStringLiteral("Внимание!");
} // namespace

TFormDeviceDispatcher::TFormDeviceDispatcher(const QStringList& Args, QWidget* Parent)
    : QMainWindow(Parent), ui(std::make_unique<Ui::TFormDeviceDispatcher>()), Args_(Args)
{
    ui->setupUi(this);
    PollingPanel_ = new QLabel(this);
    PollingPanel_->setMinimumWidth(200);
    MessagePanel_ = new QLabel(this);
    MessagePanel_->setMinimumWidth(50);
    statusBar()->addWidget(PollingPanel_);
    statusBar()->addWidget(MessagePanel_, 1);

    Model_ = new TDeviceTableModel(DevArray, this);
    ui->StringGridDeviceList->setModel(Model_);
    ui->StringGridDeviceList->verticalHeader()->hide();
    auto* table = new TDeviceTableController(ui->StringGridDeviceList, ui->ComboBoxColumnFilter, Model_);
    connect(table, &TDeviceTableController::DeviceDoubleClicked, this,
            &TFormDeviceDispatcher::StringGridDeviceListDblClick);

    Polling_ = new TPollingCycle(*this, this);
    TimerSoundRepeating.setParent(this);
    TimerSoundRepeating.setInterval(5000);
    connect(&TimerSoundRepeating, &QTimer::timeout, this, &TFormDeviceDispatcher::TimerSoundRepeatingTimer);
    connect(ui->ActionStartStopPolling, &QAction::triggered, Polling_,
            &TPollingCycle::ActionStartStopPollingExecute);

    const std::pair<QAction*, int> icons[] = {
        {ui->ActionOpenArchive, TMenuIcons::Archive},
        {ui->ActionLogDebugInfo, TMenuIcons::DebugLog},
        {ui->ActionFileExit, TMenuIcons::Exit},
        {ui->ActionStartStopPolling, TMenuIcons::StartPolling},
        {ui->ActionShowJournal, TMenuIcons::Journal},
        {ui->ActionAddSerialNum, TMenuIcons::AddDevice},
        {ui->ActionDeleteDevices, TMenuIcons::DeleteDevice},
        {ui->ActionShowGraphic, TMenuIcons::Chart},
        {ui->ActionShowSettingsForm, TMenuIcons::Settings},
        {ui->ActionSuperuserMode, TMenuIcons::ServiceMode},
        {ui->ActionHelpContents, TMenuIcons::HelpContents},
        {ui->ActionAboutProgram, TMenuIcons::About},
    };
    for (const auto& [action, index] : icons)
        action->setIcon(TMenuIcons::Icon(index));
    ui->ActionToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    // Disabled in the layout, there as soon as the application runs.
    ui->ActionHelpContents->setEnabled(true);

    TimerBlink.setParent(this);
    TimerBlink.setInterval(1000);
    connect(&TimerBlink, &QTimer::timeout, this, &TFormDeviceDispatcher::TimerBlinkTimer);
    TimerBlink.start();

    connect(ui->ActionOpenArchive, &QAction::triggered, this,
            &TFormDeviceDispatcher::ActionOpenArchiveExecute);
    connect(ui->ActionShowJournal, &QAction::triggered, this,
            &TFormDeviceDispatcher::ActionShowJournalExecute);
    connect(ui->ActionLogDebugInfo, &QAction::triggered, this,
            &TFormDeviceDispatcher::ActionLogDebugInfoExecute);
    connect(ui->ActionFileExit, &QAction::triggered, this, &QWidget::close);
    connect(ui->ActionAddSerialNum, &QAction::triggered, this,
            &TFormDeviceDispatcher::ActionAddSerialNumExecute);
    connect(ui->ActionDeleteDevices, &QAction::triggered, this,
            &TFormDeviceDispatcher::ActionDeleteDevicesExecute);
    connect(ui->ActionSuperuserMode, &QAction::triggered, this,
            &TFormDeviceDispatcher::ActionSuperuserModeExecute);
    connect(ui->ActionAboutProgram, &QAction::triggered, this,
            &TFormDeviceDispatcher::ActionAboutProgramExecute);
    connect(ui->ActionShowSettingsForm, &QAction::triggered, this,
            &TFormDeviceDispatcher::ActionShowSettingsFormExecute);
    connect(ui->ActionHelpContents, &QAction::triggered, this,
            &TFormDeviceDispatcher::ActionHelpContentsExecute);
    connect(ui->ActionShowGraphic, &QAction::triggered, this,
            &TFormDeviceDispatcher::ActionShowGraphicExecute);

    FormCreate();
}

TFormDeviceDispatcher::~TFormDeviceDispatcher()
{
    if (FormDeviceDispatcher == this)
        FormDeviceDispatcher = nullptr;
}

void TFormDeviceDispatcher::FormCreate()
{
    FirstShowDone_ = false;
    ArchivePathChosen = false;
    PollingBusy = false;
    LoadAlarmSound();
    ui->ComboBoxColumnFilter->hide();

    const QFileInfo exe(QCoreApplication::applicationFilePath());
    IniFileName = exe.absolutePath() + QLatin1Char('/') + exe.completeBaseName() + QStringLiteral(".ini");
    const QString iniParam = GetParamValue(Args_, QStringLiteral("ini"));
    if (!iniParam.isEmpty())
        IniFileName = iniParam;

    LoadSettings(IniFileName);
    setWindowTitle(QStringLiteral("Кловарис (канал радиомодема №") + QString::number(RFChannel) +
                   QLatin1Char(')'));
    THelpManager::Instance().SetApplicationHelpFile(exe.absolutePath() + QLatin1Char('/') +
                                                    exe.completeBaseName() + QStringLiteral(".chm"));

    const QString pwd = GetParamValue(Args_, QStringLiteral("pwd"));
    if (!pwd.isEmpty() && IsServiceCode(pwd))
        SuperuserMode = true;
}

void TFormDeviceDispatcher::LoadSettings(const QString& FileName)
{
    QStringList warnings;
    // A missing key leaves that side of the window as it stands.
    TWindowGeometry geometry{height(), width(), x(), y()};
    const QList<quint16> serials = ReadSettings(FileName, warnings, &geometry);
    if (geometry.Width > 0 && geometry.Height > 0)
        resize(geometry.Width, geometry.Height);
    move(geometry.XPos, geometry.YPos);
    KeepWindowOnScreen(*this);
    for (const QString& w : warnings)
        AddJournalMessage(w);
    RebuildDevArray(serials);
    ConnectModem(Connection, RFMainPort, RFChannel, RFPowerLevel,
                 [this](const QString& Text) { AddJournalMessage(Text); });
    ReloadStringgrid();
    PollingActive = false;
    UpdatePollingActionState();
    TimerPoll().stop();
}

QTimer& TFormDeviceDispatcher::TimerPoll()
{
    return Polling_->TimerPoll();
}

void TFormDeviceDispatcher::showEvent(QShowEvent* Event)
{
    QMainWindow::showEvent(Event);
    if (!FirstShowDone_) {
        FirstShowDone_ = true;
        // Asked once the window stands and the message loop runs, so a refusal
        // can end the loop.
        QTimer::singleShot(0, this, &TFormDeviceDispatcher::FirstShowSetup);
    }
}

void TFormDeviceDispatcher::terminate()
{
    TerminateRequested_ = true;
    Q_EMIT TerminateApplication();
}

void TFormDeviceDispatcher::FirstShowSetup()
{
    Prompts& prompts = Prompts::Current();
    if (!QFileInfo(IniFileName).isFile()) {
        const QString chosen = prompts.SaveFileName(
            this, QStringLiteral("Укажите расположение файла настроек программы"), IniFileName,
            QStringLiteral("Файлы настроек (*.ini)"), QStringLiteral("ini"), QStringLiteral("Принять"));
        bool ok = !chosen.isEmpty();
        if (ok && !QFileInfo::exists(chosen)) {
            QFile file(chosen);
            ok = file.open(QIODevice::WriteOnly);
        }
        ok = ok && QFileInfo(chosen).isFile();
        if (!ok) {
            prompts.Message(
                this,
                QStringLiteral("Не удалось создать файл настроек программы. Дальнейшая работа невозможна."),
                Caution);
            terminate();
            return;
        }
        IniFileName = chosen;
        LoadSettings(IniFileName);
    }

    while (ArchivePath.isEmpty() || !QFileInfo(ArchivePath).isDir()) {
        const QString folder =
            prompts.Folder(this, QStringLiteral("Укажите папку для архива программы"), ArchivePath);
        if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
            prompts.Message(this,
                            QStringLiteral("Не удалось создать папку архива. Дальнейшая работа невозможна."),
                            Caution);
            terminate();
            return;
        }
        ArchivePath = folder;
        if (QFileInfo::exists(QDir(folder).filePath(QStringLiteral("Devices.cds"))) &&
            !prompts.YesNo(
                this, QStringLiteral("В указанной папке найдены файлы архива. Использовать найденные файлы?"),
                Caution)) {
            ArchivePath.clear();
            continue;
        }
        ArchivePathChosen = true;
    }
    ArchiveDir = QDir::fromNativeSeparators(ArchivePath);
    if (!ArchiveDir.endsWith(QLatin1Char('/')))
        ArchiveDir += QLatin1Char('/');
    // A history file that cannot be made ends the run (the archive window says so
    // and asks for it); the remaining steps still run, but no shutdown follows.
    if (ArchiveWindow_ && !ArchiveWindow_->OpenArchiveFiles())
        TerminateRequested_ = true;

    if (ArchivePathChosen) {
        QString err;
        if (!WriteArchivePath(IniFileName, ArchivePath, err))
            AddJournalMessage(err);
    }
    Polling_->ApplyPollInterval();
    TimerPoll().start();
}

void TFormDeviceDispatcher::closeEvent(QCloseEvent* Event)
{
    // A device left with half an image may not start again: the operator confirms.
    if (!TerminateRequested_ && DeviceConfigWindow_ && DeviceConfigWindow_->FwUpdateRunning() &&
        !Prompts::Current().YesNo(this, QStringLiteral("Прервать процедуру обновления ПО?"),
                                  QStringLiteral("Внимание"))) {
        Event->ignore();
        return;
    }
    if (!TerminateRequested_) {
        if (PollingActive)
            Polling_->ActionStartStopPollingExecute();
        if (GraphicWindows_)
            GraphicWindows_->CloseAllGraphicForms();
        if (ArchiveWindow_)
            ArchiveWindow_->CloseArchiveFiles();
        // Whoever keeps a row (the configuration window) lets go of it before it is freed.
        std::vector<TTableDevice*> rows;
        for (const auto& row : DevArray)
            rows.push_back(row.get());
        for (TTableDevice* row : rows)
            Q_EMIT DeviceRowDeleting(row);
        ClearDevArray();
        QString err;
        if (Connection && Connection->Connected)
            Connection->Close(false, err);
        Connection.reset();
        // Size of the client area, position of the frame: what resize() and move()
        // take back at the next start, so the window never creeps by its frame.
        if (!WriteWindowGeometry(IniFileName, height(), width(), x(), y(), err))
            AddJournalMessage(err);
    }
    Event->accept();
}

void TFormDeviceDispatcher::AddJournalMessage(const QString& Text)
{
    ::AddJournalMessage(Text);
}

void TFormDeviceDispatcher::ShowStatusMessage(const QString& Text, bool WithTime)
{
    MessagePanel_->setText(
        WithTime ? FormatLogTimeStamp(QDateTime::currentDateTime()) + QStringLiteral(": ") + Text : Text);
}

QString TFormDeviceDispatcher::StatusPanelText(int Panel) const
{
    return Panel == 0 ? PollingPanel_->text() : MessagePanel_->text();
}

void TFormDeviceDispatcher::UpdatePollingActionState()
{
    ui->ActionStartStopPolling->setText(PollingActive ? QStringLiteral("Прекратить")
                                                      : QStringLiteral("Начать"));
    ui->ActionStartStopPolling->setIcon(
        TMenuIcons::Icon(PollingActive ? TMenuIcons::StopPolling : TMenuIcons::StartPolling));
    ui->ActionStartStopPolling->setToolTip(PollingActive ? QStringLiteral("Прекратить опрос")
                                                         : QStringLiteral("Начать опрос"));
    UpdatePollingStatusText();
}

void TFormDeviceDispatcher::UpdatePollingStatusText()
{
    if (!PollingActive) {
        PollingPanel_->setText(QStringLiteral("Опрос остановлен"));
        return;
    }
    QString text;
    if (PollMode == 0) {
        text = QStringLiteral("Непрерывный опрос");
    } else {
        static const QString units[] = {QStringLiteral(" секунд"), QStringLiteral(" минут"),
                                        QStringLiteral(" часов")};
        if (PollUnits >= 0 && PollUnits <= 2)
            text = QStringLiteral("Опрос с интервалом ") + QString::number(PollValue) + units[PollUnits];
    }
    PollingPanel_->setMinimumWidth(ui->Label1->fontMetrics().horizontalAdvance(text) + 20);
    PollingPanel_->setText(text);
}

void TFormDeviceDispatcher::ReloadStringgrid()
{
    Model_->ReloadStringgrid();
}

IArchiveWriter* TFormDeviceDispatcher::ArchiveWriter()
{
    return ArchiveWindow_ ? &ArchiveWindow_->ArchiveWriter() : nullptr;
}

bool TFormDeviceDispatcher::GetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double& Min,
                                              double& Max) const
{
    return GraphicWindows_ && GraphicWindows_->GetChartAxisRange(Line, Axis, Min, Max);
}

void TFormDeviceDispatcher::SetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double Min, double Max)
{
    if (GraphicWindows_)
        GraphicWindows_->SetChartAxisRange(Line, Axis, Min, Max);
}

void TFormDeviceDispatcher::MarkChartOverflow(const TGraphLine& Line, bool OverMin, bool OverMax)
{
    if (GraphicWindows_)
        GraphicWindows_->MarkChartOverflow(Line, OverMin, OverMax);
}

void TFormDeviceDispatcher::ActionShowGraphicExecute()
{
    if (!GraphicWindows_)
        return;
    if (!AttachSelectedGraphLines(*GraphicWindows_)) {
        Prompts::Current().Message(
            this, QStringLiteral("Нет данных для отображения или не выбраны устройства в списке"),
            QStringLiteral("Внимание!"));
        return;
    }
    GraphicWindows_->ShowAllGraphicForms();
}

void TFormDeviceDispatcher::EnableSoundRepeatTimer()
{
    // Enabling a running timer must not push the next repetition back.
    if (!TimerSoundRepeating.isActive())
        TimerSoundRepeating.start();
}

void TFormDeviceDispatcher::TimerSoundRepeatingTimer()
{
    if (SoundRepeatMode == TSoundRepeatMode::Repeat && AlarmKind != 0)
        PlayAlarmSound(false, AlarmKind, SoundMode);
    else
        TimerSoundRepeating.stop();
}

void TFormDeviceDispatcher::TimerBlinkTimer()
{
    if (PollingActive || TimerPoll().isActive())
        return;
    ui->ActionStartStopPolling->setIcon(
        TMenuIcons::Icon(BlinkPhase_ ? TMenuIcons::StartPolling : TMenuIcons::StartPollingDim));
    TimerBlink.setInterval(BlinkPhase_ ? 2000 : 500);
    BlinkPhase_ = !BlinkPhase_;
}

bool TFormDeviceDispatcher::ConfigShows(const TDevice& Device) const
{
    return DeviceConfigWindow_ && DeviceConfigWindow_->ShowsDevice(Device);
}

void TFormDeviceDispatcher::ConfigUpdateCurrentValues()
{
    if (DeviceConfigWindow_)
        DeviceConfigWindow_->UpdateCurrentValues();
}

void TFormDeviceDispatcher::ConfigUpdateAllValues()
{
    if (DeviceConfigWindow_)
        DeviceConfigWindow_->UpdateAllValues();
}

bool TFormDeviceDispatcher::FwUpdateActive() const
{
    return DeviceConfigWindow_ && DeviceConfigWindow_->FwUpdateActive();
}

bool TFormDeviceDispatcher::CalibrBusy() const
{
    return DeviceConfigWindow_ && DeviceConfigWindow_->CalibrBusy();
}

void TFormDeviceDispatcher::StringGridDeviceListDblClick(TTableDevice* Row)
{
    if (!Row)
        return;
    // While a firmware update runs the window only comes forward, keeping its device.
    Q_EMIT OpenDeviceConfig(FwUpdateActive() ? nullptr : Row);
}

void TFormDeviceDispatcher::ActionOpenArchiveExecute()
{
    if (PollingActive) {
        Prompts::Current().Message(this, QStringLiteral("Работа с архивом недоступна в режиме опроса"),
                                   QStringLiteral("Внимание"));
        return;
    }
    const bool anySelected = std::any_of(DevArray.begin(), DevArray.end(),
                                         [](const auto& Row) { return Row->Selected && !Row->Hidden; });
    if (!anySelected) {
        Prompts::Current().Message(
            this, QStringLiteral("Не выбраны устройства, для которых будут извлекаться данные из архива!"),
            QStringLiteral("Внимание"));
        return;
    }
    if (ArchiveWindow_)
        ArchiveWindow_->ShowArchiveViewer();
}

void TFormDeviceDispatcher::ShowMessageBox(const QString& Text, const QString& Caption)
{
    Prompts::Current().Message(this, Text, Caption);
}

void TFormDeviceDispatcher::ShowWarning(const QString& Text)
{
    if (FormEepromErrorDialog)
        FormEepromErrorDialog->ShowMessage(Text);
}

void TFormDeviceDispatcher::ActionShowJournalExecute()
{
    if (!FormJournal)
        return;
    FormJournal->show();
    FormJournal->raise();
    FormJournal->activateWindow();
}

void TFormDeviceDispatcher::ActionLogDebugInfoExecute()
{
    LogDebugInfo = ui->ActionLogDebugInfo->isChecked();
}

void TFormDeviceDispatcher::ActionAddSerialNumExecute()
{
    TDeviceListEdit edit(*this, this);
    edit.AskSerialNum = [] { return FormAddNewDevice ? FormAddNewDevice->AskSerialNum() : std::nullopt; };
    edit.ActionAddSerialNumExecute();
}

void TFormDeviceDispatcher::ActionDeleteDevicesExecute()
{
    TDeviceListEdit edit(*this, this);
    edit.RowDeleting = [this](TTableDevice* Row) { Q_EMIT DeviceRowDeleting(Row); };
    // Deleted devices took their lines off the charts; a refused or declined
    // delete leaves the windows, their zoom and their marks alone.
    if (edit.ActionDeleteDevicesExecute() && GraphicWindows_)
        GraphicWindows_->ReshowOpenGraphicForms();
}

void TFormDeviceDispatcher::ActionSuperuserModeExecute()
{
    // The dialog itself switches service mode on; its result says nothing more.
    if (FormPassword)
        FormPassword->exec();
}

void TFormDeviceDispatcher::ActionAboutProgramExecute()
{
    if (FormAbout)
        FormAbout->exec();
}

void TFormDeviceDispatcher::ActionShowSettingsFormExecute()
{
    if (!FormSettings)
        return;
    if (const auto values = FormSettings->Execute())
        ApplySettings(*values, {this, &TimerPoll(), [this] { UpdatePollingStatusText(); }});
}

void TFormDeviceDispatcher::ActionHelpContentsExecute()
{
    THelpManager::Instance().ShowTableOfContents();
}
