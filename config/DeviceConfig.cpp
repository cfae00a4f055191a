#include "config/DeviceConfig.h"

#include "config/DeviceConfigPages.h"
#include "config/DeviceConfigWrites.h"
#include "config/LedIndicator.h"
#include "core/Device.h"
#include "core/DeviceFunc.h"
#include "core/RS232Comm.h"
#include "core/RegisterMap.h"
#include "core/StringFunc.h"
#include "dispatcher/DeviceIcons.h"
#include "dispatcher/DeviceTable.h"
#include "dispatcher/DispatcherHooks.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/PollingCycle.h"
#include "dispatcher/TableDevice.h"
#include "platform/Prompts.h"
#include "ui_DeviceConfig.h"

#include <QCloseEvent>
#include <QPixmap>
#include <QShowEvent>
#include <QSignalBlocker>
#include <cmath>

TFormDeviceConfig* FormDeviceConfig = nullptr;

namespace {

const QString CaptionAttention = QStringLiteral("Внимание");
const QColor LedGrey(0x80, 0x80, 0x80);
const QColor LedLime(0x00, 0xFF, 0x00);
const QString NoFaults = QStringLiteral("Неисправности отсутствуют");
const QString FaultsFound = QStringLiteral("Обнаружены неисправности");

struct TChannelControls
{
    QCheckBox* Enabled;
    QLabel* Value;
    QLabel* MeasUnits;
    QLabel* Alert;
    QComboBox* SensorType;
    QLabel* SubtypeCaption;
    QComboBox* SensorSubtype;
    QSpinBox* Digits;
    QLineEdit* AlertMin;
    QLineEdit* AlertMax;
    QCheckBox* ColdJunction;
    QWidget* UniversalOut;
    QLineEdit* QuantityName;
    QLineEdit* MeasUnitsEdit;
    QLineEdit* RangeMin;
    QLineEdit* RangeMax;
    QPushButton* Apply;
};

TChannelControls controls(Ui::TFormDeviceConfig& U, int Channel)
{
    if (Channel == 1)
        return {U.CheckBoxCh1Enabled,
                U.StaticTextCh1Value,
                U.StaticTextCh1MeasUnits,
                U.LabelCh1Alert,
                U.ComboBoxCh1SensorType,
                U.LabelSensorSubtypeCh1Caption,
                U.ComboBoxCh1SensorSubtype,
                U.JvSpinEditCh1SignificantBits,
                U.EditCh1AlertMinValue,
                U.EditCh1AlertMaxValue,
                U.CheckBoxCh1ColdJunctionEnable,
                U.PanelCh1UniversalOut,
                U.EditCh1MeasQuantityName,
                U.EditCh1MeasUnits,
                U.EditCh1RangeMinValue,
                U.EditCh1RangeMaxValue,
                U.ButtonApplyCh1Params};
    return {U.CheckBoxCh2Enabled,
            U.StaticTextCh2Value,
            U.StaticTextCh2MeasUnits,
            U.LabelCh2Alert,
            U.ComboBoxCh2SensorType,
            U.LabelSensorSubtypeCh2Caption,
            U.ComboBoxCh2SensorSubtype,
            U.JvSpinEditCh2SignificantBits,
            U.EditCh2AlertMinValue,
            U.EditCh2AlertMaxValue,
            U.CheckBoxCh2ColdJunctionEnable,
            U.PanelCh2UniversalOut,
            U.EditCh2MeasQuantityName,
            U.EditCh2MeasUnits,
            U.EditCh2RangeMinValue,
            U.EditCh2RangeMaxValue,
            U.ButtonApplyCh2Params};
}

// A list with no item chosen shows Text in its place.
void clearCombo(QComboBox* Box, const QString& Text)
{
    Box->setCurrentIndex(-1);
    Box->setPlaceholderText(Text);
}

void setPicture(QLabel* Image, const QPixmap& Picture)
{
    Image->setPixmap(Picture);
}

// The radio page shows a channel or a power level the device does not hold yet.
bool rfPending(const Ui::TFormDeviceConfig& U, const TTableDevice* Row)
{
    if (!Row || !Row->Device)
        return false;
    const TDevice& d = *Row->Device;
    const int power = U.ComboBoxRfTxPowerLevel->currentIndex();
    return U.JvSpinEditRfChannel->value() != d.RfChannel ||
           (power >= 0 && RfPowerLevelToCode(power) != d.RfPowerCode);
}

} // namespace

QPixmap StatusPictures(int Index)
{
    return TDeviceIcons::StatusPicture(Index);
}

QPixmap SignalLevelPictures(int Level)
{
    return TDeviceIcons::SignalLevelPicture(Level, 24);
}

TFormDeviceConfig::TFormDeviceConfig(QWidget* Parent)
    : QWidget(Parent, Qt::Window), ui(std::make_unique<Ui::TFormDeviceConfig>())
{
    ui->setupUi(this);
    FormCreate();
    Pages_ = std::make_unique<TDeviceConfigPages>(*this, *ui);
}

TFormDeviceConfig::~TFormDeviceConfig()
{
    if (FormDeviceConfig == this)
        FormDeviceConfig = nullptr;
}

void TFormDeviceConfig::SetDispatcher(TDispatcherHooks* Hooks, TPollingCycle* Polling,
                                      IGraphicWindows* Graphics)
{
    Hooks_ = Hooks;
    Polling_ = Polling;
    Graphics_ = Graphics;
}

void TFormDeviceConfig::FormCreate()
{
    ui->ComboBoxRfTxPowerLevel->addItems(
        {QStringLiteral("Низкий"), QStringLiteral("Средний"), QStringLiteral("Высокий")});
    ui->LabelFaultsState->setText(NoFaults);
    ui->LabelFaultsStateMeas->setText(NoFaults);
    ui->ButtonSendDevReset->setEnabled(true);
    ui->EditDevComment->hide();

    // The serial spin has its own «Записать» and marks nothing here.
    auto rfChanged = [this] { ui->ButtonApplyRfParams->setEnabled(rfPending(*ui, TableDevice)); };
    connect(ui->JvSpinEditRfChannel, &QSpinBox::valueChanged, this, rfChanged);
    connect(ui->ComboBoxRfTxPowerLevel, &QComboBox::currentIndexChanged, this, rfChanged);

    for (int n = 1; n <= 2; ++n) {
        const TChannelControls c = controls(*ui, n);
        auto changed = [this, n] { ChSettingsChanged(n); };
        connect(c.SensorType, &QComboBox::currentIndexChanged, this, changed);
        connect(c.SensorType, &QComboBox::activated, this, [this, n] { ComboBoxSensorTypeSelect(n); });
        connect(c.SensorSubtype, &QComboBox::currentIndexChanged, this, changed);
        connect(c.Enabled, &QCheckBox::toggled, this, changed);
        connect(c.ColdJunction, &QCheckBox::toggled, this, changed);
        connect(c.Digits, &QSpinBox::valueChanged, this, changed);
        for (QLineEdit* e : {c.AlertMin, c.AlertMax, c.QuantityName, c.MeasUnitsEdit, c.RangeMin, c.RangeMax})
            connect(e, &QLineEdit::textChanged, this, changed);
        connect(c.Apply, &QPushButton::clicked, this, [this, n] { ButtonApplyChannelParamsClick(n); });
    }
    connect(ui->EditDevComment, &QLineEdit::textChanged, this,
            [this] { ui->ButtonEditComment->setEnabled(true); });

    connect(ui->ButtonApplyRfParams, &QPushButton::clicked, this,
            &TFormDeviceConfig::ButtonApplyRfParamsClick);
    connect(ui->ButtonSendDevReset, &QPushButton::clicked, this, &TFormDeviceConfig::ButtonSendDevResetClick);
    connect(ui->ButtonWriteROParams, &QPushButton::clicked, this,
            &TFormDeviceConfig::ButtonWriteROParamsClick);
    connect(ui->ButtonEditComment, &QPushButton::clicked, this, &TFormDeviceConfig::ButtonEditCommentClick);
    connect(ui->ButtonReadFirmwareInfo, &QPushButton::clicked, this,
            &TFormDeviceConfig::ButtonReadFirmwareInfoClick);
}

void TFormDeviceConfig::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    if (!Event->spontaneous())
        FormShow();
}

void TFormDeviceConfig::setCalibrPageVisible(bool Visible)
{
    ui->PageControlDevParams->setTabVisible(ui->PageControlDevParams->indexOf(ui->TabSheetCalibr), Visible);
}

void TFormDeviceConfig::FormShow()
{
    if (SuperuserMode) {
        setCalibrPageVisible(true);
        Q_EMIT TabSheetCalibrShow();
        ui->GroupBoxEditCommonSettings->show();
        ui->ComboBoxRfTxPowerLevel->setEnabled(true);
    } else {
        setCalibrPageVisible(false);
        ui->PageControlDevParams->setCurrentWidget(ui->TabSheetMeasures);
        ui->GroupBoxEditCommonSettings->hide();
        ui->ComboBoxRfTxPowerLevel->setEnabled(false);
    }
    UpdateAllValues();
    ui->EditDevComment->hide();
    ui->StaticTextDevComment->show();
    if (TableDevice && TableDevice->Device)
        ui->StaticTextDevComment->setText(TrimRightBlanksAndControls(TableDevice->Device->Comment));
    ui->ButtonEditComment->setText(QStringLiteral("Изменить"));
    ui->StaticTextDevCurrentFwCRC->clear();
    ui->PageControlDevParams->setCurrentWidget(ui->TabSheetMeasures);
}

bool TFormDeviceConfig::FwUpdateActive() const
{
    return Pages_ && Pages_->FwUpdateActive();
}

bool TFormDeviceConfig::CalibrBusy() const
{
    return Pages_ && Pages_->CalibrBusy();
}

bool TFormDeviceConfig::FwUpdateRunning() const
{
    return Pages_ && Pages_->Firmware().Running();
}

bool TFormDeviceConfig::ProcedureRunning() const
{
    return Pages_ && Pages_->ProcedureRunning();
}

void TFormDeviceConfig::closeEvent(QCloseEvent* Event)
{
    // An update asks whether to abort and keeps the window open either way.
    if (Pages_ && !Pages_->FormCloseQuery()) {
        Event->ignore();
        return;
    }
    QWidget::closeEvent(Event);
}

void TFormDeviceConfig::TableDeviceDeleting(TTableDevice* Row)
{
    if (!Row || TableDevice != Row)
        return;
    // Whatever runs on the row ends before the row goes.
    if (Pages_)
        Pages_->TableDeviceDeleting();
    if (isVisible())
        close();
    TableDevice = nullptr;
}

bool TFormDeviceConfig::ShowsDevice(const TDevice& Device) const
{
    return isVisible() && TableDevice && TableDevice->Device.get() == &Device;
}

void TFormDeviceConfig::ShowAlertCondition(const TMeasureChannel& Channel)
{
    QLabel* label = Channel.ChannelNum == 1 ? ui->LabelCh1Alert : ui->LabelCh2Alert;
    if (!Channel.Enabled) {
        label->hide();
        return;
    }
    const QString nearStyle = QStringLiteral("QLabel { color: red; background-color: palette(button); }");
    const QString overStyle = QStringLiteral("QLabel { color: yellow; background-color: red; }");
    switch (Channel.LimitState) {
    case 1:
        label->setText(QStringLiteral("Близко к нижнему порогу!"));
        label->setStyleSheet(nearStyle);
        break;
    case 2:
        label->setText(QStringLiteral("Близко к верхнему порогу!"));
        label->setStyleSheet(nearStyle);
        break;
    case 3:
        label->setText(QStringLiteral("Выход за нижний порог!"));
        label->setStyleSheet(overStyle);
        break;
    case 4:
        label->setText(QStringLiteral("Выход за верхний порог!"));
        label->setStyleSheet(overStyle);
        break;
    default:
        label->hide();
        return;
    }
    label->show();
}

void TFormDeviceConfig::showChannelValue(int Channel)
{
    const TDevice& d = *TableDevice->Device;
    const TMeasureChannel& ch = d.Channel(Channel);
    const TChannelControls c = controls(*ui, Channel);
    if (!ch.Enabled) {
        c.Value->clear();
        c.MeasUnits->clear();
    } else if (!ch.ValueValid) {
        c.Value->setText(QStringLiteral("---"));
    } else {
        QString text = QStringLiteral("---");
        if (std::isfinite(ch.Value)) {
            const int digits = ch.SensorType == TSensorType::Thermocouple ? ch.DigitsHi : ch.DigitsLo;
            FormatSignificant(FloatToStr(ch.Value), digits, text);
        }
        c.Value->setText(text);
        c.MeasUnits->setText(QStringLiteral(" ") + ch.MeasUnitName);
    }
    ShowAlertCondition(ch);
}

void TFormDeviceConfig::UpdateCurrentValues()
{
    if (!TableDevice || !TableDevice->Device)
        return;
    const TDevice& d = *TableDevice->Device;
    const bool linked = TableDevice->Status != dsNoLink;
    QString statusText;
    StatusToText(linked ? dsOk : dsNoLink, statusText);
    ui->LabelDevStatus->setText(statusText);
    setPicture(ui->ImageDevStatus, StatusPictures(linked ? 1 : 0));

    TLedIndicator* leds[] = {ui->JvLEDFaults, ui->JvLEDFaultsMeas};
    QLabel* faultLabels[] = {ui->LabelFaultsState, ui->LabelFaultsStateMeas};
    if (!linked) {
        for (QLabel* l : {ui->ImageReceivedSignalPowerDev, ui->ImageReceivedSignalPowerPC})
            l->clear();
        ui->LabelReceivedSignalPowerDev->clear();
        ui->LabelReceivedSignalPowerPC->clear();
        ui->MemoDevFaultFlags->clear();
        for (TLedIndicator* led : leds) {
            led->SetColorOn(LedGrey);
            led->SetActive(true);
        }
        for (QLabel* l : faultLabels)
            l->clear();
        for (int n = 1; n <= 2; ++n) {
            const TChannelControls c = controls(*ui, n);
            c.Value->clear();
            c.MeasUnits->clear();
            c.Alert->hide();
        }
        ui->StaticTextColdJunctionTemp->clear();
        return;
    }

    setPicture(ui->ImageReceivedSignalPowerDev, SignalLevelPictures(RssiToSignalLevel(d.SignalAtDevice)));
    setPicture(ui->ImageReceivedSignalPowerPC, SignalLevelPictures(RssiToSignalLevel(d.SignalAtPC)));
    ui->LabelReceivedSignalPowerDev->setText(FormatFloat3(RssiToDbm(d.SignalAtDevice)));
    ui->LabelReceivedSignalPowerPC->setText(FormatFloat3(RssiToDbm(d.SignalAtPC)));

    for (TLedIndicator* led : leds) {
        led->SetColorOn(LedLime);
        led->SetActive(d.FaultRegister == 0);
    }
    for (QLabel* l : faultLabels)
        l->setText(d.FaultRegister != 0 ? FaultsFound : NoFaults);
    QStringList lines;
    FillFaultFlagsList(d.FaultRegister, lines);
    // Set anew only when it changed: every poll would scroll the list back to its top.
    const QString faults = lines.join(QLatin1Char('\n'));
    if (ui->MemoDevFaultFlags->toPlainText() != faults)
        ui->MemoDevFaultFlags->setPlainText(faults);

    showChannelValue(1);
    showChannelValue(2);

    bool showTemp = d.ColdJunctionValid;
    if (d.DeviceType == TDeviceType::ThermoInputs)
        showTemp = showTemp && (d.Channel1->UseColdJunction || d.Channel2->UseColdJunction);
    if (showTemp) {
        const double t = std::nearbyint(double(d.ColdJunctionTemp) * 10) / 10;
        ui->StaticTextColdJunctionTemp->setText(FloatToStr(t) + QStringLiteral(" °С"));
    } else {
        ui->StaticTextColdJunctionTemp->clear();
    }
}

void TFormDeviceConfig::fillChannel(int Channel)
{
    const TDevice& d = *TableDevice->Device;
    const TMeasureChannel& ch = d.Channel(Channel);
    const TChannelControls c = controls(*ui, Channel);
    c.Enabled->setEnabled(true);
    c.Enabled->setChecked(ch.Enabled);
    UpdateSensorComboboxes(Channel);
    c.AlertMin->setEnabled(true);
    c.AlertMax->setEnabled(true);
    fillNumber(c.AlertMin, ch.MinAlert);
    fillNumber(c.AlertMax, ch.MaxAlert);
    if (d.DeviceType != TDeviceType::ThermoInputs) {
        for (QLineEdit* e : {c.RangeMin, c.RangeMax, c.QuantityName, c.MeasUnitsEdit})
            e->setEnabled(true);
        fillNumber(c.RangeMin, ch.MinBound);
        fillNumber(c.RangeMax, ch.MaxBound);
        // The record is trimmed already; trimming again would drop a no-break
        // space, and the untouched text would then differ from the record.
        c.QuantityName->setText(ch.QuantityName);
        c.MeasUnitsEdit->setText(ch.MeasUnitName);
    } else {
        c.ColdJunction->setEnabled(true);
        c.ColdJunction->setChecked(ch.UseColdJunction);
    }
    c.Digits->setEnabled(true);
    if (d.DeviceType == TDeviceType::ThermoInputs && ch.SensorType == TSensorType::Thermocouple)
        c.Digits->setValue(ch.DigitsHi);
    else
        c.Digits->setValue(ch.DigitsLo);
    FilledDigits_[std::size_t(Channel - 1)] = c.Digits->value();
}

void TFormDeviceConfig::clearChannel(int Channel)
{
    const TChannelControls c = controls(*ui, Channel);
    c.ColdJunction->setEnabled(false);
    c.ColdJunction->setChecked(false);
    c.Enabled->setEnabled(false);
    c.Enabled->setChecked(false);
    c.Value->clear();
    c.MeasUnits->clear();
    for (QComboBox* box : {c.SensorType, c.SensorSubtype}) {
        box->setEnabled(false);
        clearCombo(box, QStringLiteral("-"));
    }
    for (QLineEdit* e : {c.AlertMin, c.AlertMax, c.RangeMin, c.RangeMax, c.QuantityName, c.MeasUnitsEdit}) {
        e->setEnabled(false);
        e->setText(QStringLiteral("-"));
        FilledNumbers_.remove(e);
    }
    c.Digits->setRange(4, 5);
    c.Digits->setValue(4);
    c.Digits->setEnabled(false);
    FilledDigits_[std::size_t(Channel - 1)] = c.Digits->value();
}

void TFormDeviceConfig::fillNumber(QLineEdit* Edit, float Value)
{
    const QString text = FormatFloat3(Value);
    Edit->setText(text);
    FilledNumbers_.insert(Edit, text);
}

void TFormDeviceConfig::settleNumber(const QLineEdit* Edit, float Stored)
{
    // A typed number the device took is what the edit shows now; the text filled
    // in before stands for a value the device no longer holds.
    const auto filled = FilledNumbers_.find(Edit);
    if (filled == FilledNumbers_.end() || *filled == Edit->text())
        return;
    const std::optional<float> typed = TDeviceConfigWrites::ParseSingle(Edit->text());
    if (typed && *typed == Stored)
        *filled = Edit->text();
}

std::optional<int> TFormDeviceConfig::typedDigits(int Channel) const
{
    const int value = controls(*ui, Channel).Digits->value();
    if (value == FilledDigits_[std::size_t(Channel - 1)])
        return std::nullopt;
    return value;
}

std::optional<QString> TFormDeviceConfig::typedNumber(const QLineEdit* Edit) const
{
    // The shown text is rounded to three decimals: left as it is, it must not
    // replace the stored value.
    const auto filled = FilledNumbers_.constFind(Edit);
    if (filled != FilledNumbers_.constEnd() && *filled == Edit->text())
        return std::nullopt;
    return Edit->text();
}

void TFormDeviceConfig::showIdentity()
{
    const TDevice& d = *TableDevice->Device;
    QString typeName;
    GetDeviceTypeName(d.DeviceType, typeName);
    const QString serial5 = SerialToStr(d.SerialNum);
    setWindowTitle(QStringLiteral("Параметры устройства ") + typeName + QStringLiteral(", серийный №") +
                   serial5);
    ui->StaticTextDevType->setText(typeName);
    ui->StaticTextDevSerialNum->setText(serial5);
}

void TFormDeviceConfig::UpdateAllValues()
{
    if (!TableDevice || !TableDevice->Device)
        return;
    const TDevice& d = *TableDevice->Device;
    const bool type1 = d.DeviceType == TDeviceType::ThermoInputs;
    if (type1) {
        ui->LabelTxkCaption->setText(QStringLiteral("Температура встроенного датчика ХК:"));
        ui->PanelCh1UniversalOut->hide();
        ui->PanelCh2UniversalOut->hide();
        ui->LabelSensorSubtypeCh1Caption->setText(QStringLiteral("НСХ:"));
        ui->LabelSensorSubtypeCh2Caption->setText(QStringLiteral("НСХ:"));
    } else {
        ui->LabelTxkCaption->setText(QStringLiteral("Температура устройства:"));
        ui->CheckBoxCh1ColdJunctionEnable->hide();
        ui->CheckBoxCh2ColdJunctionEnable->hide();
        ui->PanelCh1UniversalOut->show();
        ui->PanelCh2UniversalOut->show();
        ui->LabelSensorSubtypeCh1Caption->setText(QStringLiteral("Тип сигнала:"));
        ui->LabelSensorSubtypeCh2Caption->setText(QStringLiteral("Тип сигнала:"));
    }

    const TSupportedSensorArray sensors = GetSupportedSensors(d.DeviceType);
    for (QComboBox* box : {ui->ComboBoxCh1SensorType, ui->ComboBoxCh2SensorType}) {
        box->clear();
        for (const TSupportedSensor& s : sensors)
            box->addItem(GetSensorTypeName(ByteToSensorType(s.SensorType)), int(s.SensorType));
    }

    showIdentity();
    ui->JvSpinEditDevSerialNum->setValue(d.SerialNum);

    const bool linked = TableDevice->Status != dsNoLink;
    if (linked) {
        ui->JvSpinEditDevSerialNum->setEnabled(true);
        ui->EditDevHwVer->setEnabled(true);
        ui->StaticTextDevHwVer->setText(QString::number(d.HwVersion));
        ui->StaticTextDevSwVer->setText(QString::number(d.SwVersion >> 8) + QLatin1Char('.') +
                                        QString::number(d.SwVersion & 0xFF));
        ui->StaticTextDevComment->setText(d.Comment);
        ui->ButtonEditComment->setEnabled(true);
        ui->EditDevHwVer->setText(QString::number(d.HwVersion));
        // A code the list does not know shows no level, rather than the previous device's.
        if (const int level = RfPowerCodeToLevel(d.RfPowerCode); level >= 0)
            ui->ComboBoxRfTxPowerLevel->setCurrentIndex(level);
        else
            clearCombo(ui->ComboBoxRfTxPowerLevel, QStringLiteral("-"));
        if (SuperuserMode)
            ui->ComboBoxRfTxPowerLevel->setEnabled(true);
        fillChannel(1);
        fillChannel(2);
    } else {
        ui->JvSpinEditDevSerialNum->setEnabled(false);
        ui->EditDevHwVer->setEnabled(false);
        ui->StaticTextDevHwVer->setText(QStringLiteral("-"));
        ui->StaticTextDevSwVer->setText(QStringLiteral("-"));
        ui->EditDevHwVer->setText(QStringLiteral("-"));
        ui->StaticTextDevComment->clear();
        ui->ButtonEditComment->setEnabled(false);
        clearCombo(ui->ComboBoxRfTxPowerLevel, QStringLiteral("-"));
        ui->ComboBoxRfTxPowerLevel->setEnabled(false);
        clearChannel(1);
        clearChannel(2);
        ui->StaticTextColdJunctionTemp->clear();
    }
    ui->JvSpinEditRfChannel->setValue(d.RfChannel);
    ui->JvSpinEditRfChannel->setEnabled(true);

    UpdateCurrentValues();
    ui->ButtonApplyRfParams->setEnabled(false);
    ui->ButtonApplyCh1Params->setEnabled(false);
    ui->ButtonApplyCh2Params->setEnabled(false);
    if (Polling_)
        Polling_->StopPollingIfLinkLost();
}

void TFormDeviceConfig::UpdateSensorComboboxes(int Channel)
{
    const TMeasureChannel& ch = TableDevice->Device->Channel(Channel);
    const TChannelControls c = controls(*ui, Channel);
    c.SensorType->setEnabled(true);
    c.SensorSubtype->setEnabled(true);
    clearCombo(c.SensorType, QString());
    clearCombo(c.SensorSubtype, QString());
    const int typeIndex = c.SensorType->findData(int(SensorTypeToByte(ch.SensorType)));
    if (typeIndex >= 0)
        c.SensorType->setCurrentIndex(typeIndex);
    ComboBoxSensorTypeSelect(Channel);
    const int modelIndex = c.SensorSubtype->findData(int(ch.SensorModel));
    if (modelIndex >= 0)
        c.SensorSubtype->setCurrentIndex(modelIndex);
}

void TFormDeviceConfig::ComboBoxSensorTypeSelect(int Channel)
{
    if (!TableDevice || !TableDevice->Device)
        return;
    const TChannelControls c = controls(*ui, Channel);
    if (c.SensorType->currentIndex() < 0)
        return;
    const TSensorType type = ByteToSensorType(quint8(c.SensorType->currentData().toInt()));
    c.Digits->setRange(GetMinSignificantDigits(type), GetMaxSignificantDigits(type));
    // The device keeps a count per kind on type 1: show the one the new kind uses,
    // so that an untouched spin writes nothing.
    TDevice& d = *TableDevice->Device;
    c.Digits->setValue(DigitsTarget(d.DeviceType, type, d.Channel(Channel)));
    // A count outside the spin's range shows clamped; left so, it is not written.
    FilledDigits_[std::size_t(Channel - 1)] = c.Digits->value();
    c.SensorSubtype->clear();
    for (const TSupportedSensor& s : GetSupportedSensors(TableDevice->Device->DeviceType)) {
        if (s.SensorType != SensorTypeToByte(type))
            continue;
        for (quint8 model : s.Models)
            c.SensorSubtype->addItem(GetSensorModelName(type, model), int(model));
    }
    clearCombo(c.SensorSubtype, QString());
    c.ColdJunction->setVisible(type == TSensorType::Thermocouple);
}

void TFormDeviceConfig::ChSettingsChanged(int Channel)
{
    controls(*ui, Channel).Apply->setEnabled(true);
}

std::unique_ptr<TDeviceConfigWrites> TFormDeviceConfig::makeWrites()
{
    if (!Hooks_ || !Polling_ || !TableDevice || !TableDevice->Device)
        return nullptr;
    // Every write of the window comes here: nothing but the running procedure
    // itself may reach a device being flashed or calibrated.
    if (Pages_->RefuseCommand())
        return nullptr;
    auto w = std::make_unique<TDeviceConfigWrites>(*Hooks_, Polling_->Reader(), *TableDevice);
    w->Parent = this;
    w->Graphics = Graphics_;
    w->RefillWindow = [this] { UpdateAllValues(); };
    w->StopPollingIfLinkLost = [this] { Polling_->StopPollingIfLinkLost(); };
    return w;
}

void TFormDeviceConfig::ButtonApplyRfParamsClick()
{
    auto w = makeWrites();
    if (!w)
        return;
    const TWriteResult r =
        w->WriteRfParams(ui->ComboBoxRfTxPowerLevel->currentIndex(), ui->JvSpinEditRfChannel->value());
    // What was not written, a declined channel too, stays shown and marked.
    if (r != TWriteResult::Refused && r != TWriteResult::RowGone)
        ui->ButtonApplyRfParams->setEnabled(rfPending(*ui, TableDevice));
}

void TFormDeviceConfig::ButtonApplyChannelParamsClick(int Channel)
{
    auto w = makeWrites();
    if (!w)
        return;
    const TChannelControls c = controls(*ui, Channel);
    // A name the device cannot hold stops the whole apply, before anything is sent.
    if (TableDevice->Device->DeviceType != TDeviceType::ThermoInputs &&
        !w->QuantityNameFits(Channel, c.QuantityName->text(), c.MeasUnitsEdit->text()))
        return;
    TChannelInputs in;
    in.Enabled = c.Enabled->isChecked();
    in.AlertMin = typedNumber(c.AlertMin);
    in.AlertMax = typedNumber(c.AlertMax);
    in.RangeMin = typedNumber(c.RangeMin);
    in.RangeMax = typedNumber(c.RangeMax);
    in.ColdJunction = c.ColdJunction->isChecked();
    if (c.SensorType->currentIndex() >= 0)
        in.SensorType = quint8(c.SensorType->currentData().toInt());
    if (c.SensorSubtype->currentIndex() >= 0)
        in.SensorModel = quint8(c.SensorSubtype->currentData().toInt());
    in.Digits = typedDigits(Channel);
    const TWriteResult r = w->WriteChannelParams(Channel, in);
    if (r == TWriteResult::Refused || r == TWriteResult::LinkLost)
        return;
    TMeasureChannel& ch = TableDevice->Device->Channel(Channel);
    // A count the device took is what the spin stands for from now on.
    if (in.Digits && in.SensorType &&
        DigitsTarget(TableDevice->Device->DeviceType, ByteToSensorType(*in.SensorType), ch) == *in.Digits)
        FilledDigits_[std::size_t(Channel - 1)] = *in.Digits;
    settleNumber(c.AlertMin, ch.MinAlert);
    settleNumber(c.AlertMax, ch.MaxAlert);
    if (TableDevice->Device->DeviceType != TDeviceType::ThermoInputs) {
        settleNumber(c.RangeMin, ch.MinBound);
        settleNumber(c.RangeMax, ch.MaxBound);
    }
    if (r == TWriteResult::Done)
        c.Apply->setEnabled(false);
    // A name or unit that did not reach the device stays marked as pending, unless
    // the lost link has already shown the window afresh.
    if (TableDevice->Device->DeviceType != TDeviceType::ThermoInputs && !UpdateChannelQuantityName(Channel) &&
        TableDevice->Status != dsNoLink)
        c.Apply->setEnabled(true);
}

bool TFormDeviceConfig::UpdateChannelQuantityName(int Channel)
{
    auto w = makeWrites();
    if (!w)
        return false;
    const TChannelControls c = controls(*ui, Channel);
    const TWriteResult r = w->WriteQuantityName(Channel, c.QuantityName->text(), c.MeasUnitsEdit->text());
    if (r != TWriteResult::Done)
        return false;
    // The half left alone went out as the device held it, which may differ from
    // what the edit showed: the edits follow the record, so no later apply sends
    // the old text back.
    const TMeasureChannel& ch = TableDevice->Device->Channel(Channel);
    for (auto [edit, text] :
         {std::pair{c.QuantityName, &ch.QuantityName}, std::pair{c.MeasUnitsEdit, &ch.MeasUnitName}}) {
        const QSignalBlocker quiet(edit);
        if (edit->text() != *text)
            edit->setText(*text);
    }
    c.MeasUnits->setText(ch.MeasUnitName);
    return true;
}

void TFormDeviceConfig::ButtonSendDevResetClick()
{
    if (!makeWrites())
        return;
    if (!Prompts::Current().YesNo(this, QStringLiteral("Отправить команду на перезагрузку устройства?"),
                                  CaptionAttention))
        return;
    // The question let window messages run: the row may have left the window meanwhile.
    if (auto w = makeWrites())
        w->RestartDevice();
}

void TFormDeviceConfig::ButtonWriteROParamsClick()
{
    auto w = makeWrites();
    if (!w)
        return;
    const TWriteResult r =
        w->WriteSerialAndHwVersion(ui->JvSpinEditDevSerialNum->value(), ui->EditDevHwVer->text());
    if (r == TWriteResult::Refused || r == TWriteResult::LinkLost || r == TWriteResult::RowGone)
        return;
    // The labels and the caption name the device by what it acknowledged.
    showIdentity();
    ui->StaticTextDevHwVer->setText(QString::number(TableDevice->Device->HwVersion));
}

void TFormDeviceConfig::ButtonEditCommentClick()
{
    if (!TableDevice || !TableDevice->Device)
        return;
    if (ui->EditDevComment->isHidden()) {
        // The stored comment is padded with blanks to the edit's length, where typing
        // at its end would do nothing; the write pads it again.
        QString comment = TableDevice->Device->Comment;
        while (comment.endsWith(QLatin1Char(' ')))
            comment.chop(1);
        ui->EditDevComment->setText(comment);
        FilledComment_ = comment;
        ui->StaticTextDevComment->hide();
        ui->EditDevComment->show();
        ui->ButtonEditComment->setText(QStringLiteral("Записать"));
        ui->ButtonEditComment->setEnabled(false);
        return;
    }
    const TWriteResult r = UpdateDeviceComment();
    if (r == TWriteResult::Done) {
        ui->EditDevComment->hide();
        ui->StaticTextDevComment->setText(TrimRightBlanksAndControls(TableDevice->Device->Comment));
        ui->StaticTextDevComment->show();
        ui->ButtonEditComment->setText(QStringLiteral("Изменить"));
        ui->ButtonEditComment->setEnabled(true);
    } else if (r != TWriteResult::Refused) {
        Prompts::Current().Message(this, QStringLiteral("Ошибка при изменении комментария устройства!"),
                                   CaptionAttention);
    }
}

TWriteResult TFormDeviceConfig::UpdateDeviceComment()
{
    auto w = makeWrites();
    if (!w)
        return Pages_->CommandBlockedText().isEmpty() ? TWriteResult::Failed : TWriteResult::Refused;
    if (ui->EditDevComment->text() == FilledComment_)
        return TWriteResult::Done;
    return w->WriteComment(ui->EditDevComment->text());
}

void TFormDeviceConfig::ButtonReadFirmwareInfoClick()
{
    auto w = makeWrites();
    if (!w)
        return;
    QString crc;
    if (w->ReadFirmwareCrc(crc)) {
        ui->StaticTextDevCurrentFwCRC->setText(crc);
        ui->StaticTextDevCurrentFwCRC->show();
    }
}
