#pragma once

#include "config/ConfigHost.h"
#include "core/Device.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>
#include <array>
#include <functional>

// The configuration window as the firmware update and the calibration see it:
// one device, its row status, a link, and every control change recorded.
class RecordingConfigHost : public TConfigHost
{
public:
    RecordingConfigHost() : device(1234) { device.DeviceType = TDeviceType::ThermoInputs; }

    TDevice* Device() override { return rowGone ? nullptr : &device; }
    quint8 RowStatus() const override { return status; }
    void SetRowNoLink() override
    {
        status = 0;
        ++noLinkCount;
    }
    TConnection* Link() override { return link; }
    bool SuperuserMode() const override { return superuser; }
    bool PollingActive() const override { return polling; }
    void StopPolling() override
    {
        polling = false;
        ++pollingStops;
    }
    bool ReadDeviceConfig(QString& ErrMsg) override
    {
        ++configReads;
        if (readConfig)
            return readConfig(ErrMsg);
        ErrMsg = QStringLiteral("Превышен таймаут ожидания ответа");
        return false;
    }
    void CheckAlarmCondition() override { ++alarmChecks; }
    void ProcessExtraRecords(std::span<const TNetRequest>, int Count) override { extraRecords += Count; }
    void AddJournalMessage(const QString& Text) override { journal << Text; }
    void UpdateAllValues() override { ++refreshes; }

    void SetFwStartButtonEnabled(bool UsbButton, bool Enabled) override
    {
        (UsbButton ? usbButton : radioButton) = Enabled;
    }
    void SetFwFileChoiceEnabled(bool On) override { fileChoice = On; }
    void ClearFwFileChoice() override { ++fileChoiceCleared; }
    void ShowFwHeader(const QString& Hw, const QString& Type, const QString& Crc,
                      const QString& Length) override
    {
        header = {Hw, Type, Crc, Length};
    }
    void SetFwWaitMessage(const QString& Text) override { waitMessage = Text; }
    void SetFwProgress(int Max, int Position) override
    {
        progressMax = Max;
        progress = Position;
    }
    void SetFwSentBytesText(const QString& Text) override { sentBytes = Text; }
    void ClearFwResults() override { results.clear(); }
    // The time stamp is cut off; that it is there is checked once.
    void AddFwResultLine(const QString& Line) override
    {
        static const QRegularExpression stamp(
            QStringLiteral(": \\d\\d.\\d\\d.\\d{4} \\d\\d.\\d\\d.\\d\\d\\.\\d{3}$"));
        const auto m = stamp.match(Line);
        stampedResults += m.hasMatch() ? 1 : 0;
        results << (m.hasMatch() ? Line.left(m.capturedStart()) : Line);
        if (onResult)
            onResult(results.last());
    }
    void SetBusyCursor(bool On) override { busyCursor = On; }
    QString UsbPortText() const override { return usbPort; }
    int UsbReadTimeout() const override { return usbTimeout; }
    void CloseWindow() override { ++closes; }

    void SetCalibrInstruction(int Kind, const QString& Text) override { instruction.at(Kind) = Text; }
    void SetCalibrButton(int Kind, const QString& Caption, bool Enabled) override
    {
        caption.at(Kind) = Caption;
        enabled.at(Kind) = Enabled;
    }
    void ShowCalibrPanel(int DeviceType) override { panel = DeviceType; }
    void SetCalibrLeds(int DeviceType, quint8 Bits) override
    {
        ledType = DeviceType;
        leds = Bits;
        ++ledUpdates;
    }

    TDevice device;
    bool rowGone = false;
    quint8 status = 1;
    TConnection* link = nullptr;
    bool superuser = false;
    bool polling = false;
    std::function<bool(QString&)> readConfig;
    int noLinkCount = 0;
    int pollingStops = 0;
    int configReads = 0;
    int alarmChecks = 0;
    int extraRecords = 0;
    int refreshes = 0;
    QStringList journal;

    bool radioButton = false;
    bool usbButton = false;
    bool fileChoice = true;
    int fileChoiceCleared = 0;
    QStringList header;
    QString waitMessage;
    int progressMax = -1;
    int progress = 0;
    QString sentBytes;
    QStringList results;
    int stampedResults = 0;
    std::function<void(const QString&)> onResult;
    bool busyCursor = false;
    QString usbPort;
    int usbTimeout = 50;
    int closes = 0;

    std::array<QString, 4> instruction;
    std::array<QString, 4> caption = {QStringLiteral("Начать"), QStringLiteral("Начать"),
                                      QStringLiteral("Начать"), QStringLiteral("Начать")};
    std::array<bool, 4> enabled = {true, true, true, true};
    int panel = -1;
    int ledType = -1;
    quint8 leds = 0;
    int ledUpdates = 0;
};
