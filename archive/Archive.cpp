#include "archive/Archive.h"

#include "archive/ArchiveReader.h"
#include "archive/CsvExport.h"
#include "archive/ExcelIO.h"
#include "archive/Export.h"
#include "charts/ColorValue.h"
#include "charts/Graphic.h"
#include "charts/GraphicForms.h"
#include "charts/PlotWidget.h"
#include "core/DateTime.h"
#include "core/Device.h"
#include "core/StringFunc.h"
#include "dispatcher/ChartHooks.h"
#include "dispatcher/DeviceReader.h"
#include "dispatcher/DispatcherHooks.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/JournalMessage.h"
#include "platform/Prompts.h"
#include "ui_Archive.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLayout>
#include <QScopeGuard>
#include <QShowEvent>
#include <unordered_map>
#ifdef __GLIBC__
#include <malloc.h>
#endif

TFormArchive* FormArchive = nullptr;

const QString TFormArchive::WaitText = QStringLiteral("Идет извлечение данных из архива, подождите...");

namespace {

const QString Caption = QStringLiteral("Кловарис");
const QString Attention = QStringLiteral("Внимание");
const QString FixAndRestart = QStringLiteral(" Устраните причину и перезапустите программу.");

// The pickers show whole seconds; milliseconds they may still hold would shift
// the period by an amount the operator cannot see.
QTime wholeSeconds(const QTime& Time)
{
    return QTime(Time.hour(), Time.minute(), Time.second());
}

} // namespace

// The lines of one chart run, found by serial and channel.
class TFormArchive::TReplayLines
{
public:
    explicit TReplayLines(TGraphicForms& Forms) : Forms(Forms), Hooks(Forms), Reader(Hooks) {}

    struct TSlot
    {
        TGraphLine* Line = nullptr;
        // The channel row the window was last looked up for.
        const TChannelRecord* Channel = nullptr;
    };

    TGraphicForms& Forms;
    // The replay lines are drawn as the polling draws its own; the chart windows
    // answer the axis and overflow questions.
    TChartHooks<> Hooks;
    TDeviceReader Reader;
    std::unordered_map<qint64, TSlot> Slots;
};

TFormArchive::TFormArchive(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TFormArchive>()), ExcelRecordLimit_(MaxExcelRecords)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    ui->LabelWaitDataLoading->hide();
    ArchiveGraphMode = false;
    connect(ui->ButtonAccept, &QPushButton::clicked, this, &TFormArchive::ButtonAcceptClick);
    connect(ui->ButtonCancel, &QPushButton::clicked, this, &TFormArchive::ButtonCancelClick);
}

TFormArchive::~TFormArchive()
{
    DestroyArchiveGraphicLinesArray();
    if (FormArchive == this)
        FormArchive = nullptr;
}

void TFormArchive::InitArchiveFiles()
{
    const struct
    {
        TArchiveStore& Store;
        QString Name;
    } files[] = {
        {Writer_.cdsDevices, QStringLiteral("Devices.cds")},
        {Writer_.cdsChannels, QStringLiteral("Channels.cds")},
    };
    for (const auto& f : files) {
        f.Store.SetFileName(ArchiveDir + f.Name);
        if (!QFileInfo::exists(f.Store.FileName()))
            InitArchiveFile(f.Store, f.Store.DatabaseWord());
    }
}

bool TFormArchive::InitArchiveFile(TArchiveStore& Store, const QString& Word)
{
    QString sysErr;
    switch (Store.Create(sysErr)) {
    case TArchiveStore::TCreateResult::Created:
        break;
    case TArchiveStore::TCreateResult::NotStarted:
        Prompts::Current().Message(this,
                                   QStringLiteral("Не удалось открыть базу данных ") + Word +
                                       QStringLiteral("! Устаните причину и перезапустите программу."),
                                   Caption, QMessageBox::Critical);
        return false;
    case TArchiveStore::TCreateResult::NotWritten:
        Prompts::Current().Message(this,
                                   QStringLiteral("Не удалось создать файл базы данных ") + Word +
                                       QStringLiteral(": \"") + sysErr + QStringLiteral("\"!\r\n") +
                                       QStringLiteral("Устраните причину и перезапустите программу."),
                                   Caption, QMessageBox::Critical);
        TerminateRequested_ = true;
        Q_EMIT TerminateApplication();
        break;
    }
    return true;
}

bool TFormArchive::OpenArchiveFiles()
{
    InitArchiveFiles();
    return !TerminateRequested_;
}

void TFormArchive::CloseArchiveFiles()
{
    // The main window closes (a system shutdown) while a run reads: the run
    // stops at its next look and touches neither files nor lines afterwards.
    if (Running_)
        Abandoned_ = true;
    Writer_.CloseAll();
    DestroyArchiveGraphicLinesArray();
}

void TFormArchive::DestroyArchiveGraphicLinesArray()
{
    ArchiveGraphicLinesArray.clear();
}

void TFormArchive::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    if (Event->spontaneous())
        return;
    // The last 24 hours up to this opening.
    const QDate today = QDate::currentDate();
    const QTime now = wholeSeconds(QTime::currentTime());
    ui->DateTimePickerStartDate->setDate(today.addDays(-1));
    ui->DateTimePickerEndDate->setDate(today);
    ui->DateTimePickerStartTime->setTime(now);
    ui->DateTimePickerEndTime->setTime(now);
}

void TFormArchive::closeEvent(QCloseEvent* Event)
{
    // The run in progress owns the window until it ends...
    if (Running_ && !Abandoned_) {
        Event->ignore();
        return;
    }
    // ...unless the application is closing: a tool window that refused would
    // cancel the quit and leave the process running without a window.
    if (Running_) {
        QWidget::closeEvent(Event);
        return;
    }
    QDialog::closeEvent(Event);
}

void TFormArchive::reject()
{
    if (!Running_)
        QDialog::reject();
}

void TFormArchive::ButtonCancelClick()
{
    reject();
}

void TFormArchive::ButtonAcceptClick()
{
    if (Running_)
        return;
    runViewer();
    accept();
}

int TFormArchive::destination() const
{
    if (ui->RadioDestinationGraph->isChecked())
        return 0;
    if (ui->RadioDestinationExcel->isChecked())
        return 1;
    if (ui->RadioDestinationCsv->isChecked())
        return 2;
    return -1;
}

bool TFormArchive::clearChartsForReplay()
{
    if (!GraphicForms_)
        return true;
    GraphicForms_->CloseAllGraphicForms();
    bool anyPoint = false;
    for (const auto& form : GraphicForms_->GraphicForms()) {
        if (!form)
            continue;
        const TPlotWidget& chart = form->Chart();
        for (int i = 0; i < chart.SeriesCount() && !anyPoint; ++i)
            anyPoint = chart.Series(i).Count() > 0;
    }
    if (anyPoint) {
        if (!Prompts::Current().YesNo(
                this, QStringLiteral("Текущие данные на графике будут очищены, продолжить?"), Attention))
            return false;
        for (const auto& form : GraphicForms_->GraphicForms()) {
            if (!form)
                continue;
            TPlotWidget& chart = form->Chart();
            for (int i = 0; i < chart.SeriesCount(); ++i)
                chart.Series(i).Clear();
            while (chart.SeriesCount() > 0)
                chart.Series(0).SetParentChart(nullptr);
        }
    }
    DestroyArchiveGraphicLinesArray();
    return true;
}

bool TFormArchive::openHistory(TArchiveStore& Store, const QString& ShortText)
{
    QString err;
    // The writer may hold the file open; if it was deleted or replaced since
    // (its folder gone), the history must come from what is on disk now.
    if (Store.Active() && Store.FileMoved())
        Store.Close();
    if (Store.FileName().isEmpty())
        Store.SetFileName(ArchiveDir + (Store.Kind() == TArchiveKind::Devices
                                            ? QStringLiteral("Devices.cds")
                                            : QStringLiteral("Channels.cds")));
    if (Store.Open(err))
        return true;
    ConnectionError = ShortText;
    Prompts::Current().Message(this, ShortText + FixAndRestart, QStringLiteral("Внимание!"),
                               QMessageBox::NoIcon);
    return false;
}

void TFormArchive::setWaiting(bool Waiting)
{
    if (Waiting)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
    ui->LabelWaitDataLoading->setText(WaitText);
    ui->LabelWaitDataLoading->setVisible(Waiting);
    ui->ButtonAccept->setVisible(!Waiting);
    ui->ButtonCancel->setVisible(!Waiting);
    // Laid out and painted now: no window message runs before the reading starts.
    layout()->activate();
    repaint();
}

void TFormArchive::showDay(const QDate& Day)
{
    ui->LabelWaitDataLoading->setText(WaitText + QStringLiteral("\nЧтение данных за ") +
                                      Day.toString(QStringLiteral("dd.MM.yyyy")));
    layout()->activate();
    repaint();
}

void TFormArchive::replayValue(const TArchiveValue& Value)
{
    TReplayLines& replay = *Replay_;
    const TChannelRecord& ch = *Value.Channel;
    TReplayLines::TSlot& slot = replay.Slots[qint64(Value.SerialNum) << 32 | quint32(Value.ChannelNum)];
    // The window of the row's quantity and unit exists from its first row on;
    // the line stays in the window of its channel's first row.
    if (slot.Channel != Value.Channel) {
        slot.Channel = Value.Channel;
        TFormGraphic* form = replay.Forms.FindOrCreateGraphicForm(ch.QuantityName, ch.MeasUnitName);
        if (!slot.Line) {
            const QString title = QStringLiteral("№") + SerialToStr(quint32(Value.SerialNum)) +
                                  QStringLiteral("К") + QString::number(Value.ChannelNum) +
                                  QStringLiteral("_a");
            auto line = std::make_unique<TGraphLine>(title, ColorFromValue(0x008000), form,
                                                     replay.Forms.GraphicChart(form));
            // Drawn once at the end, not at every point.
            line->Series->SetActive(false);
            slot.Line = line.get();
            ArchiveGraphicLinesArray.push_back(std::move(line));
        }
    }
    const float minAlert = float(ch.MinAlert);
    const float maxAlert = float(ch.MaxAlert);
    replay.Reader.AddGraphPoint(*slot.Line, Value.Value<minAlert, Value.Value> maxAlert, Value.Value,
                                Value.MeasDateTime);
}

void TFormArchive::showReplay()
{
    for (const auto& line : ArchiveGraphicLinesArray)
        line->Series->SetActive(true);
    if (!GraphicForms_)
        return;
    // Every chart window is shown, with or without replay lines, without
    // automatic zoom so the replayed period stays in view.
    for (const auto& form : GraphicForms_->GraphicForms()) {
        if (!form)
            continue;
        if (form->isVisible())
            form->close();
        if (auto* autoZoom = form->findChild<QCheckBox*>(QStringLiteral("CBAutoZoom")))
            autoZoom->setChecked(false);
        form->show();
        form->SetDefaultLineColors();
    }
}

void TFormArchive::runViewer()
{
    const int dest = destination();
    if (dest < 0) {
        Prompts::Current().Message(this, QStringLiteral("Не выбран способ отображения данных!"), Attention,
                                   QMessageBox::NoIcon);
        return;
    }
    if (dest == 1 && !IsExcelInstalled()) {
        Prompts::Current().Message(this,
                                   QStringLiteral("Приложение Microsoft Excel не найдено на компьютере!"),
                                   Caption, QMessageBox::NoIcon);
        return;
    }
    if (PollingActive) {
        Prompts::Current().Message(this, QStringLiteral("Работа с архивом недоступна в режиме опроса"),
                                   Attention, QMessageBox::NoIcon);
        return;
    }

    // Both ends at .000 of the second shown, both included.
    const TDateTime start = DateTimeToTDateTime(
        QDateTime(ui->DateTimePickerStartDate->date(), wholeSeconds(ui->DateTimePickerStartTime->time())));
    const TDateTime end = DateTimeToTDateTime(
        QDateTime(ui->DateTimePickerEndDate->date(), wholeSeconds(ui->DateTimePickerEndTime->time())));

    std::vector<quint16> serials;
    for (const auto& row : DevArray) {
        if (!row->Selected || row->Hidden)
            continue;
        const quint16 serial = row->Device->SerialNum;
        if (std::find(serials.begin(), serials.end(), serial) == serials.end())
            serials.push_back(serial);
    }
    if (serials.empty()) {
        Prompts::Current().Message(this,
                                   QStringLiteral("Не найдены данные измерений для выбранных устройств!"),
                                   Attention, QMessageBox::NoIcon);
        return;
    }

    ExportTables.clear();
    // A month of values takes gigabytes: the tables go once written or refused,
    // and their memory back to the system.
    const auto releaseTables = [] {
        TExportTableArray().swap(ExportTables);
#ifdef __GLIBC__
        malloc_trim(0);
#endif
    };
    const auto released = qScopeGuard(releaseTables);
    if (dest == 0 && !clearChartsForReplay())
        return;
    if (GraphicForms_)
        GraphicForms_->CloseAllGraphicForms();

    // Every way out from here leaves the files closed, the writer's day file
    // where it was and the chart mode off, a failed day file included.
    const auto closeFiles = qScopeGuard([this] {
        Writer_.cdsChannels.Close();
        Writer_.cdsDevices.Close();
        Writer_.CloseMeasures();
        ArchiveGraphMode = false;
        Replay_.reset();
    });
    if (!openHistory(Writer_.cdsDevices, QStringLiteral("Не удалось открыть базу данных устройств!")) ||
        !openHistory(Writer_.cdsChannels,
                     QStringLiteral("Не удалось открыть базу данных каналов устройств!")))
        return;
    // The writer's values of today are read from its day file.
    Writer_.CloseMeasures();

    ArchiveGraphMode = true;
    Running_ = true;
    Abandoned_ = false;
    setWaiting(true);
    bool read = false;
    QStringList unreadable;
    std::vector<std::pair<QString, qint64>> partlyRead;
    // A device with more time stamps than a sheet holds: the workbook is refused
    // at once, not after the rest of the period was read.
    QString excelRefusal;
    {
        const auto endWait = qScopeGuard([this] {
            Running_ = false;
            setWaiting(false);
        });
        if (dest == 0 && GraphicForms_)
            Replay_ = std::make_unique<TReplayLines>(*GraphicForms_);
        TArchiveReader reader(Writer_.cdsDevices, Writer_.cdsChannels);
        reader.OnStrayFile = [](const QString& Name) {
            AddJournalMessage(QStringLiteral("Файл архива \"") + Name +
                              QStringLiteral("\" пропущен: в имени нет правильной даты"));
        };
        reader.OnUnreadableFile = [&](const QString& Name, const QString& Reason) {
            AddJournalMessage(QStringLiteral("Файл архива \"") + Name + QStringLiteral("\" пропущен: ") +
                              Reason);
            unreadable << Name;
        };
        // Named with the device: the other devices of the file came through in full.
        reader.OnUnreadableTable = [&](const QString& Name, quint16 Serial, const QString& Reason,
                                       qint64 Taken) {
            const QString device = QStringLiteral("прибор ") + SerialToStr(Serial);
            AddJournalMessage(QStringLiteral("Файл архива \"") + Name +
                              QStringLiteral("\" прочитан не полностью: ") + Reason + QStringLiteral(", ") +
                              device + QStringLiteral(", извлечено значений: ") + QString::number(Taken));
            partlyRead.emplace_back(Name + QStringLiteral(", ") + device, Taken);
        };
        reader.OnDay = [this](const QDate& Day) { showDay(Day); };
        reader.Cancelled = [this, &excelRefusal] { return Abandoned_ || !excelRefusal.isEmpty(); };
        QString err;
        read = reader.Read(
            ArchiveDir, start, end, serials, dest != 0,
            [&](const TArchiveValue& V) {
                if (Abandoned_ || !excelRefusal.isEmpty())
                    return;
                if (dest == 0) {
                    if (Replay_)
                        replayValue(V);
                    return;
                }
                const TExportTable& table = AddExportRecord(
                    quint16(V.SerialNum), WordToDeviceType(quint16(V.Device->DeviceType)), V.Device->Comment,
                    quint8(V.ChannelNum), V.MeasDateTime, V.Value, float(V.Channel->MinAlert),
                    float(V.Channel->MaxAlert), V.Channel->QuantityName, V.Channel->MeasUnitName);
                if (dest == 1)
                    ExcelTableFits(table, excelRefusal, ExcelRecordLimit_);
            },
            err);
        if (!read) {
            ConnectionError = err;
            Prompts::Current().Message(this, err + FixAndRestart, QStringLiteral("Внимание!"),
                                       QMessageBox::NoIcon);
        }
    }
    if (!read || Abandoned_)
        return;

    // Told before the output appears, so its files are known to be incomplete.
    if (!unreadable.isEmpty() || !partlyRead.empty())
        reportUnreadable(unreadable, partlyRead);

    switch (dest) {
    case 0:
        showReplay();
        break;
    case 1:
        if (!excelRefusal.isEmpty()) {
            releaseTables();
            Prompts::Current().Message(this, excelRefusal, Caption, QMessageBox::Warning);
        } else {
            ExportToExcel(ExportTables, this);
        }
        break;
    default:
        ExportToCSV(ExportTables, this);
        break;
    }
}

void TFormArchive::reportUnreadable(const QStringList& Unread,
                                    const std::vector<std::pair<QString, qint64>>& PartlyRead)
{
    // A long list (a folder gone in mid-run) stays a box of readable height;
    // the journal names every file.
    constexpr int Shown = 10;
    const auto more = [](qsizetype Count) {
        return Count > Shown ? QStringLiteral("\nи ещё ") + QString::number(Count - Shown) +
                                   QStringLiteral(" (см. журнал)")
                             : QString();
    };
    QString text;
    if (!Unread.isEmpty()) {
        text = QStringLiteral("Не удалось прочитать файлы архива, данные из них не извлечены:");
        for (qsizetype i = 0; i < std::min<qsizetype>(Unread.size(), Shown); ++i)
            text += QLatin1Char('\n') + Unread[i];
        text += more(Unread.size());
    }
    if (!PartlyRead.empty()) {
        if (!text.isEmpty())
            text += QStringLiteral("\n\n");
        text += QStringLiteral("Файлы архива прочитаны не полностью, извлечена только часть данных:");
        for (std::size_t i = 0; i < std::min<std::size_t>(PartlyRead.size(), Shown); ++i)
            text += QLatin1Char('\n') + PartlyRead[i].first + QStringLiteral(" (извлечено значений: ") +
                    QString::number(PartlyRead[i].second) + QLatin1Char(')');
        text += more(qsizetype(PartlyRead.size()));
    }
    Prompts::Current().Message(this, text, QStringLiteral("Внимание!"), QMessageBox::NoIcon);
}
