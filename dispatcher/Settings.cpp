#include "dispatcher/Settings.h"

#include "core/RS232Comm.h"
#include "core/Sound.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/IntSpinEdit.h"
#include "dispatcher/SettingsApply.h"
#include "platform/Prompts.h"
#include "ui_Settings.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QFileInfo>
#include <QStyle>
#include <algorithm>

TFormSettings* FormSettings = nullptr;

namespace {

const QString Caution = QStringLiteral("Внимание");

// The number typed into a field, refused with a message naming the field when it
// is none or out of the field's bounds.
bool spinValue(const TIntSpinEdit& Spin, const QString& Field, int& Value, QString& Error)
{
    if (!Spin.TypedValue(Value)) {
        Error = Spin.RefusalText(Field);
        return false;
    }
    return true;
}

// A list or radio group with nothing chosen (a value out of range in a
// hand-edited settings file) is refused rather than stored as -1.
bool chosenIndex(int Index, const QString& Field, int& Value, QString& Error)
{
    if (Index < 0) {
        Error = QStringLiteral("Не выбрано значение в поле \"%1\"!").arg(Field);
        return false;
    }
    Value = Index;
    return true;
}

void addButtons(QButtonGroup& Group, std::initializer_list<QAbstractButton*> Buttons)
{
    int id = 0;
    for (QAbstractButton* b : Buttons)
        Group.addButton(b, id++);
}

// Like a radio group's item index: clamped to the items, -1 for none checked.
void setRadioIndex(QButtonGroup& Group, int Index)
{
    const int count = static_cast<int>(Group.buttons().size());
    Index = std::clamp(Index, -1, count - 1);
    if (Index >= 0) {
        Group.button(Index)->setChecked(true);
        return;
    }
    Group.setExclusive(false);
    for (QAbstractButton* b : Group.buttons())
        b->setChecked(false);
    Group.setExclusive(true);
}

// An index outside the list selects nothing.
void setComboIndex(QComboBox& Combo, int Index)
{
    Combo.setCurrentIndex(Index >= 0 && Index < Combo.count() ? Index : -1);
}

} // namespace

TFormSettings::TFormSettings(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TFormSettings>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    PollingModeGroup_ = new QButtonGroup(this);
    addButtons(*PollingModeGroup_, {ui->RadioButtonPollingMode0, ui->RadioButtonPollingMode1});
    SoundSourceGroup_ = new QButtonGroup(this);
    addButtons(*SoundSourceGroup_,
               {ui->RadioButtonSoundSource0, ui->RadioButtonSoundSource1, ui->RadioButtonSoundSource2});
    SoundRepeatingGroup_ = new QButtonGroup(this);
    addButtons(*SoundRepeatingGroup_, {ui->RadioButtonSoundRepeating0, ui->RadioButtonSoundRepeating1});

    QAction* browse = ui->JvDirectoryEditArchive->addAction(style()->standardIcon(QStyle::SP_DirOpenIcon),
                                                            QLineEdit::TrailingPosition);
    browse->setToolTip(QStringLiteral("Выбрать папку"));
    connect(browse, &QAction::triggered, this, &TFormSettings::browseArchiveFolder);
    ui->BitBtnPlaySample->setIcon(style()->standardIcon(QStyle::SP_MediaVolume));

    connect(ui->ButtonSaveSettings, &QPushButton::clicked, this, &TFormSettings::ButtonSaveSettingsClick);
    connect(ui->ButtonSaveSettingsAsIniFile, &QPushButton::clicked, this,
            &TFormSettings::ButtonSaveSettingsAsIniFileClick);
    connect(ui->BitBtnPlaySample, &QToolButton::clicked, this, &TFormSettings::BitBtnPlaySampleClick);

    FormCreate();
}

TFormSettings::~TFormSettings()
{
    if (FormSettings == this)
        FormSettings = nullptr;
}

void TFormSettings::FormCreate()
{
    ui->ComboBoxRfPowerLevel->addItems(
        {QStringLiteral("Низкий"), QStringLiteral("Средний"), QStringLiteral("Высокий")});
    ui->ComboBoxPollingIntervalUnits->addItems(
        {QStringLiteral("секунд"), QStringLiteral("минут"), QStringLiteral("часов")});
}

std::optional<TSettingsValues> TFormSettings::Execute()
{
    FillFrom(CurrentSettingsValues(), Connection ? Connection->Settings().PortNum : RFMainPort);
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    TSettingsValues values;
    QString err;
    // Accepted only after the same reading succeeded.
    if (!ReadValues(values, err))
        return std::nullopt;
    return values;
}

void TFormSettings::FillFrom(const TSettingsValues& Values, int PortNum)
{
    ui->JvDirectoryEditArchive->setText(Values.ArchivePath);
    ui->JvSpinEditArcRebuildHour->setValue(Values.FileRebuildHour);
    ui->JvSpinEditArcRebuildMin->setValue(Values.FileRebuildMin);

    QComboBox& ports = *ui->ComboBoxComPortNumber;
    FillComPortList(ports);
    ports.setCurrentIndex(ports.count() > 0 ? 0 : -1);
    const int current = ports.findText(QStringLiteral("COM") + QString::number(PortNum));
    if (current >= 0)
        ports.setCurrentIndex(current);

    ui->JvSpinEditRfChannelNumber->setValue(Values.RFChannel);
    setComboIndex(*ui->ComboBoxRfPowerLevel, Values.RFPowerLevel);
    setRadioIndex(*PollingModeGroup_, Values.Mode);
    ui->JvSpinEditPollingIntervalValue->setValue(Values.Value);
    setComboIndex(*ui->ComboBoxPollingIntervalUnits, Values.Units);
    setRadioIndex(*SoundSourceGroup_, Values.SoundMode);
    setRadioIndex(*SoundRepeatingGroup_, Values.SoundRepeatMode);
}

bool TFormSettings::ReadValues(TSettingsValues& Values, QString& Error) const
{
    TSettingsValues v;
    v.ArchivePath = ui->JvDirectoryEditArchive->text();
    if (!spinValue(*ui->JvSpinEditArcRebuildHour, QStringLiteral("Час"), v.FileRebuildHour, Error) ||
        !spinValue(*ui->JvSpinEditArcRebuildMin, QStringLiteral("Минута"), v.FileRebuildMin, Error) ||
        !ParseComPortItem(ui->ComboBoxComPortNumber->currentText(), v.RFMainPort, Error) ||
        !spinValue(*ui->JvSpinEditRfChannelNumber, QStringLiteral("№ радиоканала"), v.RFChannel, Error) ||
        !spinValue(*ui->JvSpinEditPollingIntervalValue, QStringLiteral("Интервал опроса"), v.Value, Error))
        return false;
    if (!chosenIndex(ui->ComboBoxRfPowerLevel->currentIndex(), QStringLiteral("Мощность передачи"),
                     v.RFPowerLevel, Error) ||
        !chosenIndex(PollingModeGroup_->checkedId(), QStringLiteral("Периодичность опроса"), v.Mode, Error) ||
        !chosenIndex(ui->ComboBoxPollingIntervalUnits->currentIndex(),
                     QStringLiteral("Интервал опроса: единицы"), v.Units, Error) ||
        !chosenIndex(SoundSourceGroup_->checkedId(), QStringLiteral("Источник звука"), v.SoundMode, Error) ||
        !chosenIndex(SoundRepeatingGroup_->checkedId(), QStringLiteral("Сигнал"), v.SoundRepeatMode, Error))
        return false;

    // The poll timer takes at most 2147483647 ms, whichever mode is chosen now.
    if (v.Units <= 2 && !IsValidPollInterval(PollIntervalSecFor(v.Units, v.Value, 1))) {
        static const int perUnit[] = {1, 60, 3600};
        Error = QStringLiteral("Интервал опроса не может быть больше %1 %2!")
                    .arg(MaxPollIntervalSec / perUnit[v.Units])
                    .arg(ui->ComboBoxPollingIntervalUnits->currentText());
        return false;
    }
    Values = v;
    return true;
}

bool TFormSettings::validate(bool Applying)
{
    const QString noFolder = QStringLiteral("Папка архива программы не найдена!");
    QString error;
    if (ui->ComboBoxComPortNumber->currentText().isEmpty())
        error = QStringLiteral("Не указан СОМ-порт!");
    // The folder in use, not the one typed: the running archive stays there.
    else if (!QFileInfo(ArchivePath).isDir())
        error = noFolder;
    // A typed folder that is missing would become the folder in use and refuse
    // every later apply of the run.
    else if (Applying && !QFileInfo(ui->JvDirectoryEditArchive->text()).isDir())
        error = noFolder;
    else {
        TSettingsValues ignored;
        ReadValues(ignored, error);
    }
    if (error.isEmpty())
        return true;
    Prompts::Current().Message(this, error, Caution);
    return false;
}

void TFormSettings::ButtonSaveSettingsClick()
{
    if (validate(true))
        accept();
}

void TFormSettings::ButtonSaveSettingsAsIniFileClick()
{
    // The file may be meant for another computer: its folder is not checked here.
    if (!validate(false))
        return;
    const QString folder = IniFileName.left(IniFileName.lastIndexOf(QLatin1Char('/')) + 1);
    const QString fileName = Prompts::Current().SaveFileName(
        this, QStringLiteral("Сохранение настроек программы в \"ini\" файл"),
        folder + QStringLiteral("*.ini"), QStringLiteral("Файлы настроек (*.ini)"), QStringLiteral("ini"),
        QStringLiteral("Сохранить"));
    if (fileName.isEmpty())
        return;
    TSettingsValues values;
    QString err;
    if (!ReadValues(values, err) || !WriteCommSettings(fileName, values, err))
        Prompts::Current().Message(this, err, Caution);
}

void TFormSettings::BitBtnPlaySampleClick()
{
    switch (SoundSourceGroup_->checkedId()) {
    case 1:
        PlayAlarmSound(true, 1, TSoundMode::Speaker);
        break;
    case 2:
        PlayAlarmSound(true, 1, TSoundMode::Multimedia);
        break;
    default:
        break;
    }
}

void TFormSettings::browseArchiveFolder()
{
    const QString folder = Prompts::Current().Folder(
        this, QStringLiteral("Укажите папку для архива программы"), ui->JvDirectoryEditArchive->text());
    if (!folder.isEmpty())
        ui->JvDirectoryEditArchive->setText(folder);
}
