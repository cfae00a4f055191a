#pragma once

#include "config/FwImageFile.h"

#include <QObject>
#include <QTimer>
#include <memory>

class TComConnection;
struct TComSettings;
class TConfigHost;
class TDevice;
class TDeviceWork;

// The firmware update of the shown device, over the radio or over the device's
// own USB serial port: the chosen image file, the paced start that has the
// device accept the update parameters, the block transfer and, once the last
// block is answered over the radio, a read of the checksum of the firmware the
// device runs, so that only an image the device took is reported as installed.
// The USB port takes writes only: there the echo of the last block ends it.
//
// The image, its parameters and the device's serial number are copied at the
// start; the file choice is locked and a new start is ignored until the update
// ends. Window messages run between two exchanges; an abort (the window closed)
// or the shown row going away reaches the transfer through flags it checks
// right after them.
class TFwUpdate : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxInitAttempts = 10;
    static constexpr int FirstAttemptMs = 50;
    static constexpr int AttemptIntervalMs = 2000;
    static constexpr int RadioBlockSize = 32;
    static constexpr int BlockWindowMs = 10000;
    // Read time-outs of one USB transfer that are survived.
    static constexpr int MaxUsbTimeouts = 5;
    // Times one USB block is sent again for any reason before the transfer gives up.
    static constexpr int MaxUsbResends = 10;
    // How long the device has to show the new firmware's checksum after the last
    // block over the radio, and the pause between two reads of it.
    static constexpr int VerifyWindowMs = 10000;
    static constexpr int VerifyPauseMs = 500;

    static const QString NoImageMessage;
    static const QString NoInitAnswerMessage;
    static const QString BadParamsMessage;
    static const QString TransferDoneMessage;
    static const QString UsbSilentMessage;
    static const QString AbortQuestion;
    // Starts every result line, journal line and message of a radio transfer that failed.
    static const QString NotUpdatedPrefix;

    TFwUpdate(TConfigHost& Host, TDeviceWork& Work, QObject* Parent = nullptr);
    ~TFwUpdate() override;

    // The file dialog closed on Name.
    void LoadFile(const QString& Name);
    const TFwImageFile& File() const { return File_; }

    // A click on the radio start button or (ViaUsb) the USB one.
    void ButtonStartFwUpdateClick(bool ViaUsb);
    // Paces the start: first attempt 50 ms after it, then every 2000 ms.
    QTimer TimerInitFwUpdate;
    void TimerInitFwUpdateTimer();

    // An update over the radio is running (the main window refuses polling).
    bool FwUpdateActive() const { return FwUpdateActive_; }
    // Any update, radio or USB, in its start or transfer phase.
    bool Running() const { return Phase_ != TPhase::Idle; }
    bool FwViaComPort() const { return FwViaComPort_; }
    int FwInitAttempts() const { return FwInitAttempts_; }

    // The window is being closed: asks whether to abort a running update. True
    // when the window may close now; a confirmed abort of a transfer closes it later.
    bool FormCloseQuery();
    // The shown row is about to be freed: the update ends at once, without
    // touching the device again.
    void AbortForRowGone();

    TComConnection* FwComConnection() const { return FwComConnection_.get(); }

private:
    enum class TPhase
    {
        Idle,
        Starting,
        Transfer,
    };
    enum class TAttempt
    {
        Accepted,
        Failed,
        Refused,
    };
    enum class TEnd
    {
        Completed,
        Failed,
        Aborted,
        RowGone,
    };

    void message(const QString& Text);
    void addResultLine(const QString& Text);
    bool prepareUsbLink();
    void dropUsbLink();
    // False when the port failed: reported, and the USB link dropped.
    bool sendUsbFrame(const QByteArray& Frame);
    // False, with its result line, for a reply of the wrong length or checksum.
    bool usbReplyFramed(const QByteArray& Reply);
    TAttempt SendFwUpdateParams();
    TAttempt sendParamsRadio();
    TAttempt sendParamsUsb();
    void WMStartFwTransfer();
    // Window messages run; true when the transfer must stop (abort, row gone).
    bool pumpAndCheck();
    // Failed comes with the reason in Reason.
    TEnd sendRadioBlock(quint32 Offset, int N, QString& Reason);
    TEnd sendUsbBlock(quint32 Offset, int N, int& Timeouts);
    bool verifyInstalled(QString& ErrMsg);
    // The one report of a radio transfer that did not end with the new firmware running.
    void reportNotUpdated(const QString& Reason);
    bool readRunningCrc(quint16& Crc);
    void endStart();
    void endUpdate();
    void requestAbort();

    TConfigHost& Host_;
    TDeviceWork& Work_;
    TFwImageFile File_;
    std::unique_ptr<TComConnection> FwComConnection_;

    TPhase Phase_ = TPhase::Idle;
    bool FwUpdateActive_ = false;
    bool FwViaComPort_ = false;
    int FwInitAttempts_ = 0;
    bool FwInitDone_ = false;
    bool FwAbortRequested_ = false;
    bool RowGone_ = false;
    bool InTick_ = false;

    // Copies taken at the start.
    QByteArray Image_;
    TFwFileHeader Header_;
    quint16 Serial_ = 0;
    TDevice* Device_ = nullptr;
};
