#include "config/DeviceConfigPages.h"

#include "config/DeviceConfig.h"
#include "config/LedIndicator.h"
#include "core/Device.h"
#include "core/RS232Comm.h"
#include "dispatcher/DispatcherHooks.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/JournalMessage.h"
#include "dispatcher/PollingCycle.h"
#include "dispatcher/TableDevice.h"
#include "platform/Prompts.h"
#include "ui_DeviceConfig.h"

#include <QApplication>
#include <QFileDialog>

namespace {

const QColor LedLit(0x00, 0xFF, 0x00);
const QColor LedUnlit(0x80, 0x80, 0x80);

} // namespace

TDeviceConfigPages::TDeviceConfigPages(TFormDeviceConfig& Form, Ui::TFormDeviceConfig& U)
    : Form_(Form), Ui_(U), Work_(*this), Fw_(*this, Work_), Calibr_(*this, Work_)
{
    Instructions_ = {U.StaticTextCalibrInstructionTP, U.StaticTextCalibrInstructionTS,
                     U.StaticTextCalibrInstructionUCurr, U.StaticTextCalibrInstructionUVolt};
    ProceedButtons_ = {U.BitBtnCalibrProceedTP, U.BitBtnCalibrProceedTS, U.BitBtnCalibrProceedUCurrent,
                       U.BitBtnCalibrProceedUVolt};

    U.LabelRfFwWaitMsg->hide();
    U.LabelRfFwSentBytesCount->hide();
    U.ProgressBarFWSend->hide();
    U.ButtonStartFwUpdate->setEnabled(false);
    U.ButtonStartUsbUpdate->setEnabled(false);
    for (TLedIndicator* led : {U.JvLEDCalibr_TSTP_0_TP, U.JvLEDCalibr_TSTP_150_TP, U.JvLEDCalibr_TSTP_0_TS,
                               U.JvLEDCalibr_TSTP_400_TS, U.JvLEDCalibr_TN_Volt_0V, U.JvLEDCalibr_TN_Curr_0mA,
                               U.JvLEDCalibr_TN_Curr_20mA_1, U.JvLEDCalibr_TN_Curr_20mA_2,
                               U.JvLEDCalibr_TN_Volt_10V_1, U.JvLEDCalibr_TN_Volt_10V_2}) {
        led->SetColorOn(LedLit);
        led->SetColorOff(LedUnlit);
        led->SetActive(false);
    }

    connect(U.ButtonFirmwarePathBrowse, &QToolButton::clicked, this, &TDeviceConfigPages::browseFirmware);
    // The two procedures share the device and the window messages each lets run:
    // one never starts inside the other, so no command reaches a device being flashed.
    connect(U.ButtonStartFwUpdate, &QPushButton::clicked, this, [this] {
        if (!RefuseCommand())
            Fw_.ButtonStartFwUpdateClick(false);
    });
    connect(U.ButtonStartUsbUpdate, &QPushButton::clicked, this, [this] {
        if (!RefuseCommand())
            Fw_.ButtonStartFwUpdateClick(true);
    });
    for (int kind = 0; kind < 4; ++kind)
        connect(ProceedButtons_[kind], &QPushButton::clicked, this, [this, kind] {
            if (!RefuseCommand(false))
                Calibr_.BitBtnCalibrProceedClick(kind);
        });
    // The reset is a write like the window's others: during a calibration it would
    // clear what the steps have set and drop the calibration back to its start.
    for (QPushButton* b : {U.ButtonResetCalibrStatus, U.Button1})
        connect(b, &QPushButton::clicked, this, [this] {
            if (!RefuseCommand())
                Calibr_.ButtonResetCalibrStatusClick();
        });
    connect(U.ComboBoxUsbUpdatePortNum, &QComboBox::activated, this, [this] { UsbPortGone_ = false; });
    connect(&Form, &TFormDeviceConfig::TabSheetCalibrShow, this, &TDeviceConfigPages::calibrPageShown);
    connect(U.PageControlDevParams, &QTabWidget::currentChanged, this, [this](int Index) {
        QWidget* page = Ui_.PageControlDevParams->widget(Index);
        if (page == Ui_.TabSheetSoftwareUpdate)
            TabSheetSoftwareUpdateShow();
        else if (page == Ui_.TabSheetCalibr)
            calibrPageShown();
    });
    TabSheetSoftwareUpdateShow();
}

TDeviceConfigPages::~TDeviceConfigPages()
{
    if (BusyCursor_)
        QApplication::restoreOverrideCursor();
}

bool TDeviceConfigPages::FormCloseQuery()
{
    if (!Fw_.FormCloseQuery())
        return false;
    Calibr_.Abort();
    return true;
}

void TDeviceConfigPages::TableDeviceDeleting()
{
    Fw_.AbortForRowGone();
    Calibr_.Abort();
}

QString TDeviceConfigPages::CommandBlockedText(bool WithCalibration) const
{
    if (Fw_.Running())
        return QStringLiteral("Команда недоступна во время обновления ПО устройства!");
    if (WithCalibration && (Calibr_.CalibrBusy() || Calibr_.Working()))
        return QStringLiteral("Команда недоступна во время настройки измерительных входов устройства!");
    return QString();
}

bool TDeviceConfigPages::RefuseCommand(bool WithCalibration)
{
    const QString text = CommandBlockedText(WithCalibration);
    if (text.isEmpty())
        return false;
    Prompts::Current().Message(&Form_, text, QStringLiteral("Внимание"));
    return true;
}

void TDeviceConfigPages::calibrPageShown()
{
    // Its status read would reach a device being flashed; the page keeps what it
    // showed for this device before.
    if (!Fw_.Running())
        Calibr_.TabSheetCalibrShow();
}

void TDeviceConfigPages::TabSheetSoftwareUpdateShow()
{
    if (::SuperuserMode) {
        // The image must go to the port the operator chose, not to the list's first;
        // a chosen port gone from the list leaves none chosen.
        QComboBox& ports = *Ui_.ComboBoxUsbUpdatePortNum;
        const QString chosen = ports.currentText();
        FillComPortList(ports);
        if (!chosen.isEmpty() || UsbPortGone_) {
            ports.setCurrentIndex(chosen.isEmpty() ? -1 : ports.findText(chosen));
            // Until the operator picks again: the refilled list would offer its first.
            UsbPortGone_ = ports.currentIndex() < 0;
        }
        Ui_.GroupBoxUsbUpdate->show();
    } else {
        Ui_.GroupBoxUsbUpdate->hide();
    }
}

void TDeviceConfigPages::browseFirmware()
{
    if (Fw_.Running())
        return;
    QString selected = QStringLiteral("Vornak Firmware files (*.VFW)");
    const QString name = QFileDialog::getOpenFileName(
        &Form_, QString(), QString(), QStringLiteral("All files (*.*);;Vornak Firmware files (*.VFW)"),
        &selected, QFileDialog::ReadOnly);
    if (!name.isEmpty())
        JvFilenameEditFirmwarePathAfterDialog(name);
}

void TDeviceConfigPages::JvFilenameEditFirmwarePathAfterDialog(const QString& Name)
{
    if (Fw_.Running())
        return;
    Ui_.JvFilenameEditFirmwarePath->setText(Name);
    Fw_.LoadFile(Name);
}

TDevice* TDeviceConfigPages::Device()
{
    return Form_.TableDevice ? Form_.TableDevice->Device.get() : nullptr;
}

quint8 TDeviceConfigPages::RowStatus() const
{
    return Form_.TableDevice ? Form_.TableDevice->Status : quint8(dsNoLink);
}

void TDeviceConfigPages::SetRowNoLink()
{
    if (Form_.TableDevice)
        Form_.TableDevice->Status = dsNoLink;
}

TConnection* TDeviceConfigPages::Link()
{
    return Form_.Hooks_ ? Form_.Hooks_->Link() : nullptr;
}

bool TDeviceConfigPages::SuperuserMode() const
{
    return ::SuperuserMode;
}

bool TDeviceConfigPages::PollingActive() const
{
    return ::PollingActive;
}

void TDeviceConfigPages::StopPolling()
{
    if (Form_.Polling_ && ::PollingActive)
        Form_.Polling_->ActionStartStopPollingExecute();
}

bool TDeviceConfigPages::ReadDeviceConfig(QString& ErrMsg)
{
    if (!Form_.Polling_ || !Form_.TableDevice)
        return false;
    return Form_.Polling_->Reader().ReadDeviceConfig(*Form_.TableDevice, ErrMsg);
}

void TDeviceConfigPages::CheckAlarmCondition()
{
    if (Form_.Polling_ && Form_.TableDevice)
        Form_.Polling_->Reader().CheckAlarmCondition(*Form_.TableDevice);
}

void TDeviceConfigPages::ProcessExtraRecords(std::span<const TNetRequest> Extra, int Count)
{
    if (Form_.Polling_ && Device())
        Form_.Polling_->Reader().ProcessExtraRecords(*Device(), Extra, Count);
}

void TDeviceConfigPages::AddJournalMessage(const QString& Text)
{
    ::AddJournalMessage(Text);
}

void TDeviceConfigPages::UpdateAllValues()
{
    Form_.UpdateAllValues();
}

void TDeviceConfigPages::ReloadStringgrid()
{
    if (Form_.Hooks_)
        Form_.Hooks_->ReloadStringgrid();
}

QWidget* TDeviceConfigPages::DialogParent()
{
    return &Form_;
}

void TDeviceConfigPages::SetFwStartButtonEnabled(bool UsbButton, bool Enabled)
{
    (UsbButton ? Ui_.ButtonStartUsbUpdate : Ui_.ButtonStartFwUpdate)->setEnabled(Enabled);
}

void TDeviceConfigPages::SetFwFileChoiceEnabled(bool On)
{
    Ui_.ButtonFirmwarePathBrowse->setEnabled(On);
}

void TDeviceConfigPages::ClearFwFileChoice()
{
    Ui_.JvFilenameEditFirmwarePath->clear();
}

void TDeviceConfigPages::ShowFwHeader(const QString& HwVersion, const QString& DevType, const QString& Crc,
                                      const QString& Length)
{
    Ui_.LabelNewHwVersion->setText(HwVersion);
    Ui_.LabelNewFwDevType->setText(DevType);
    Ui_.LabelNewFWFileCRC->setText(Crc);
    Ui_.LabelNewFwFileLength->setText(Length);
}

void TDeviceConfigPages::SetFwWaitMessage(const QString& Text)
{
    Ui_.LabelRfFwWaitMsg->setText(Text);
    Ui_.LabelRfFwWaitMsg->setVisible(!Text.isEmpty());
}

void TDeviceConfigPages::SetFwProgress(int Max, int Position)
{
    const bool shown = Max >= 0;
    Ui_.ProgressBarFWSend->setVisible(shown);
    Ui_.LabelRfFwSentBytesCount->setVisible(shown && !Fw_.FwViaComPort());
    if (!shown)
        return;
    Ui_.ProgressBarFWSend->setRange(0, Max);
    Ui_.ProgressBarFWSend->setValue(Position);
}

void TDeviceConfigPages::SetFwSentBytesText(const QString& Text)
{
    Ui_.LabelRfFwSentBytesCount->setText(Text);
}

void TDeviceConfigPages::ClearFwResults()
{
    Ui_.MemoFWResults->clear();
}

void TDeviceConfigPages::AddFwResultLine(const QString& Line)
{
    Ui_.MemoFWResults->appendPlainText(Line);
}

void TDeviceConfigPages::SetBusyCursor(bool On)
{
    if (On == BusyCursor_)
        return;
    BusyCursor_ = On;
    if (On)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

QString TDeviceConfigPages::UsbPortText() const
{
    return Ui_.ComboBoxUsbUpdatePortNum->currentText();
}

int TDeviceConfigPages::UsbReadTimeout() const
{
    return Ui_.JvSpinEditUsbUpdateBlockSendDelay->value();
}

void TDeviceConfigPages::CloseWindow()
{
    Form_.close();
}

void TDeviceConfigPages::SetCalibrInstruction(int Kind, const QString& Text)
{
    Instructions_.at(Kind)->setText(Text);
}

void TDeviceConfigPages::SetCalibrButton(int Kind, const QString& Caption, bool Enabled)
{
    ProceedButtons_.at(Kind)->setText(Caption);
    ProceedButtons_.at(Kind)->setEnabled(Enabled);
}

void TDeviceConfigPages::ShowCalibrPanel(int DeviceType)
{
    Ui_.PanelLorvUnknown->setVisible(DeviceType != 1 && DeviceType != 2);
    Ui_.PanelLorvTsTp->setVisible(DeviceType == 1);
    Ui_.PanelLorvTn->setVisible(DeviceType == 2);
}

void TDeviceConfigPages::SetCalibrLeds(int DeviceType, quint8 Bits)
{
    const auto set = [Bits](TLedIndicator* Led, int Bit) { Led->SetActive((Bits >> Bit) & 1); };
    if (DeviceType == 1) {
        set(Ui_.JvLEDCalibr_TSTP_0_TP, 0);
        set(Ui_.JvLEDCalibr_TSTP_150_TP, 1);
        set(Ui_.JvLEDCalibr_TSTP_0_TS, 2);
        set(Ui_.JvLEDCalibr_TSTP_400_TS, 3);
    } else if (DeviceType == 2) {
        set(Ui_.JvLEDCalibr_TN_Volt_0V, 0);
        set(Ui_.JvLEDCalibr_TN_Curr_0mA, 1);
        set(Ui_.JvLEDCalibr_TN_Curr_20mA_1, 2);
        set(Ui_.JvLEDCalibr_TN_Curr_20mA_2, 3);
        set(Ui_.JvLEDCalibr_TN_Volt_10V_1, 4);
        set(Ui_.JvLEDCalibr_TN_Volt_10V_2, 5);
    }
}
