#include "config/FwUpdate.h"

#include "config/ConfigHost.h"
#include "config/DeviceWork.h"
#include "config/FwUsbFrames.h"
#include "core/Device.h"
#include "core/Logging.h"
#include "core/RS232Comm.h"
#include "core/RegisterMap.h"
#include "core/StringFunc.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/Prompts.h"

#include <QDateTime>
#include <QFileInfo>
#include <QScopedValueRollback>
#include <algorithm>
#include <array>

const QString TFwUpdate::NoImageMessage =
    QStringLiteral("Выберите корректный файл для обновления ПО устройства!");
const QString TFwUpdate::NoInitAnswerMessage =
    QStringLiteral("Устройство не ответило на инициализацию процедуры обновления ПО!");
const QString TFwUpdate::BadParamsMessage =
    QStringLiteral("Устройство ответило: \"Недопустимые параметры обновления ПО\"!");
const QString TFwUpdate::TransferDoneMessage = QStringLiteral("Передача прошивки завершена");
const QString TFwUpdate::UsbSilentMessage =
    QStringLiteral("Устройство не отвечает! Повторите процедуру обновления с начала.");
const QString TFwUpdate::AbortQuestion = QStringLiteral("Прервать процедуру обновления ПО?");
const QString TFwUpdate::NotUpdatedPrefix = QStringLiteral("Прошивка не обновлена: ");

namespace {

const QString Caption = QStringLiteral("Внимание");
const QString WaitText = QStringLiteral("Ожидание ответа от устройства...");

// A device error whose code has no text of its own still says what happened.
QString DeviceErrorText(const QString& Text, quint8 Code)
{
    return Text.isEmpty() ? QStringLiteral("устройство ответило кодом ошибки ") + QString::number(Code)
                          : Text;
}

QString HexCrc(quint16 Crc)
{
    return QStringLiteral("0x") + QStringLiteral("%1").arg(Crc, 4, 16, QLatin1Char('0')).toUpper();
}

// "COM<n>" with n in 1..255; 0 for anything else.
int PortNumberOf(const QString& Text)
{
    bool ok = false;
    const int n = Text.mid(3).toInt(&ok);
    return ok && n >= 1 && n <= 255 ? n : 0;
}

} // namespace

TFwUpdate::TFwUpdate(TConfigHost& Host, TDeviceWork& Work, QObject* Parent)
    : QObject(Parent), Host_(Host), Work_(Work)
{
    TimerInitFwUpdate.setInterval(500);
    connect(&TimerInitFwUpdate, &QTimer::timeout, this, &TFwUpdate::TimerInitFwUpdateTimer);
}

TFwUpdate::~TFwUpdate()
{
    if (FwComConnection_) {
        QString err;
        FwComConnection_->Close(false, err);
    }
}

void TFwUpdate::message(const QString& Text)
{
    Prompts::Current().Message(Host_.DialogParent(), Text, Caption);
}

void TFwUpdate::addResultLine(const QString& Text)
{
    Host_.AddFwResultLine(Text + QStringLiteral(": ") + FormatLogTimeStamp(QDateTime::currentDateTime()));
}

void TFwUpdate::LoadFile(const QString& Name)
{
    if (!QFileInfo::exists(Name) || Running())
        return;
    QString err;
    const bool ok = File_.Load(Name, err);
    if (File_.HeaderShown())
        Host_.ShowFwHeader(File_.HwVersionText(), File_.DeviceTypeText(), File_.CrcText(),
                           File_.LengthText());
    if (!ok) {
        message(err);
        return;
    }
    if (const TDevice* device = Host_.Device()) {
        for (const QString& q :
             TFwImageFile::DeviceQuestions(File_.Header(), *device, Host_.SuperuserMode())) {
            if (!Prompts::Current().YesNo(Host_.DialogParent(), q, QStringLiteral("Внимание!"))) {
                File_.Clear();
                return;
            }
        }
    }
    Host_.SetFwStartButtonEnabled(false, true);
    Host_.SetFwStartButtonEnabled(true, true);
}

void TFwUpdate::ButtonStartFwUpdateClick(bool ViaUsb)
{
    if (Running())
        return;
    QString err;
    if (!File_.HasImage() || !TFwImageFile::Check(File_.FileData(), err)) {
        message(NoImageMessage);
        return;
    }
    TDevice* device = Host_.Device();
    if (!device)
        return;
    // The file was compared with the device shown when it was loaded; this one may differ.
    for (const QString& q : TFwImageFile::DeviceQuestions(File_.Header(), *device, Host_.SuperuserMode())) {
        if (!Prompts::Current().YesNo(Host_.DialogParent(), q, QStringLiteral("Внимание!")))
            return;
    }
    if (!Work_.DisablePolling(TDeviceWork::ForFirmware))
        return;
    // The questions let window messages run: the row may be gone by now.
    device = Host_.Device();
    if (!device)
        return;
    if (!ViaUsb) {
        if (!Work_.RfSignalLevelSufficient(TDeviceWork::ForFirmware))
            return;
        device = Host_.Device();
        if (!device)
            return;
        FwViaComPort_ = false;
        Host_.SetFwStartButtonEnabled(false, false);
        FwUpdateActive_ = true;
        Host_.SetFwWaitMessage(WaitText);
    } else {
        if (Host_.UsbPortText().isEmpty()) {
            message(QStringLiteral("Не выбран СОМ-порт для обновления ПО устройства!"));
            return;
        }
        if (!PortNumberOf(Host_.UsbPortText())) {
            message(QStringLiteral("Неверный номер СОМ-порта для обновления ПО устройства!"));
            return;
        }
        FwViaComPort_ = true;
        Host_.ClearFwResults();
        if (!prepareUsbLink())
            return;
        Host_.SetFwStartButtonEnabled(false, false);
        Host_.SetFwStartButtonEnabled(true, false);
    }
    Image_ = File_.Image();
    Header_ = File_.Header();
    Device_ = device;
    Serial_ = device->SerialNum;
    RowGone_ = false;
    // An abort confirmed after the last transfer must not stop this one.
    FwAbortRequested_ = false;
    Phase_ = TPhase::Starting;
    Host_.SetFwFileChoiceEnabled(false);
    FwInitAttempts_ = 0;
    FwInitDone_ = false;
    TimerInitFwUpdate.setInterval(FirstAttemptMs);
    TimerInitFwUpdate.start();
    Host_.SetBusyCursor(true);
}

bool TFwUpdate::prepareUsbLink()
{
    const int port = PortNumberOf(Host_.UsbPortText());
    const int timeout = Host_.UsbReadTimeout();
    QString err;
    if (FwComConnection_ && (FwComConnection_->Settings().PortNum != port || !FwComConnection_->Connected)) {
        // Another port was chosen: the old one is let go, not used behind the operator's back.
        // A link that is not open is made anew too: its time-out cannot be set while closed.
        FwComConnection_->Close(false, err);
        FwComConnection_.reset();
    }
    if (!FwComConnection_) {
        TComSettings s;
        s.PortNum = quint8(port);
        s.BaudRate = 115200;
        s.ByteSize = 8;
        s.Parity = 0;
        s.StopBits = 0;
        s.InQueueSize = 4096;
        s.OutQueueSize = 4096;
        s.ReadTimeout = timeout;
        FwComConnection_ = std::make_unique<TComConnection>(s);
    }
    if (FwComConnection_->Settings().ReadTimeout != timeout &&
        !FwComConnection_->SetReadTimeout(timeout, false, err)) {
        message(err);
        return false;
    }
    if (!FwComConnection_->Connected) {
        FwComConnection_->Open(false, err);
        if (!FwComConnection_->Connected) {
            if (!err.isEmpty())
                message(err + QStringLiteral(" при соединении с СОМ-портом при обновлении ПО!"));
            return false;
        }
    }
    return true;
}

void TFwUpdate::TimerInitFwUpdateTimer()
{
    // A message box of an attempt runs window messages, the timer's ticks among
    // them: a tick inside a tick would try again behind a refusal being shown.
    if (InTick_)
        return;
    const QScopedValueRollback inTick(InTick_, true);
    if (Phase_ != TPhase::Starting) {
        TimerInitFwUpdate.stop();
        return;
    }
    TimerInitFwUpdate.setInterval(AttemptIntervalMs);
    if (FwInitAttempts_ < MaxInitAttempts && !FwInitDone_ && !Image_.isEmpty()) {
        switch (SendFwUpdateParams()) {
        case TAttempt::Accepted:
            FwInitDone_ = true;
            TimerInitFwUpdate.stop();
            WMStartFwTransfer();
            return;
        case TAttempt::Failed:
            ++FwInitAttempts_;
            if (!FwViaComPort_)
                Host_.SetFwWaitMessage(WaitText + QStringLiteral(" (") + QString::number(FwInitAttempts_) +
                                       QStringLiteral(")"));
            return;
        case TAttempt::Refused:
            TimerInitFwUpdate.stop();
            endStart();
            return;
        }
    }
    if (!FwInitDone_) {
        TimerInitFwUpdate.stop();
        if (FwInitAttempts_ >= MaxInitAttempts)
            message(NoInitAnswerMessage);
        endStart();
    }
}

TFwUpdate::TAttempt TFwUpdate::SendFwUpdateParams()
{
    return FwViaComPort_ ? sendParamsUsb() : sendParamsRadio();
}

TFwUpdate::TAttempt TFwUpdate::sendParamsRadio()
{
    TDevice& device = *Device_;
    const auto info =
        EncodeFwInfo(Header_.HwVersion, Header_.DeviceType, Header_.ImageCrc, Header_.ImageLength);
    std::array<TNetRequest, 1> req = {TDeviceWork::WriteRequest(RegFwInfo.Address, info)};
    const TDeviceExchange x = Work_.Exchange(device, req);
    if (!x.Ok) {
        Work_.Epilogue(device, x);
        return TAttempt::Failed;
    }
    const TConnection* link = Host_.Link();
    if (link && link->Connected && Host_.RowStatus() != 0) {
        const double level = TDeviceWork::SignalLevel(device);
        if (level > TDeviceWork::MaxSignalLevel) {
            message(QStringLiteral("Уровень радиосигнала (") + FloatToStr(level) +
                    QStringLiteral(") не достаточен для обновления ПО!"));
            return TAttempt::Refused;
        }
    }
    TAttempt result = TAttempt::Failed;
    if (req[0].Failed) {
        if (req[0].ErrorCode == 5)
            message(BadParamsMessage);
        Host_.AddJournalMessage(QStringLiteral("Ошибка при записи параметров обновления ПО устройства: ") +
                                DeviceErrorText(x.Error, req[0].ErrorCode));
        result = TAttempt::Refused;
    } else if (req[0].ReplyLen == req[0].DataLen) {
        result = TAttempt::Accepted;
    }
    Work_.Epilogue(device, x);
    return result;
}

bool TFwUpdate::sendUsbFrame(const QByteArray& Frame)
{
    QString err;
    if (FwComConnection_->Send(
            std::span<const quint8>(reinterpret_cast<const quint8*>(Frame.constData()), Frame.size()),
            int(Frame.size()), false, err))
        return true;
    message(err);
    addResultLine(err);
    // The port itself failed (the cable pulled): no attempt on it can succeed.
    dropUsbLink();
    return false;
}

bool TFwUpdate::usbReplyFramed(const QByteArray& Reply)
{
    switch (FwUsbFrames::CheckReply(Reply)) {
    case FwUsbFrames::TReplyCheck::WrongLength:
        addResultLine(WrongLengthMessage);
        return false;
    case FwUsbFrames::TReplyCheck::WrongCrc:
        addResultLine(WrongCrcMessage);
        return false;
    case FwUsbFrames::TReplyCheck::Ok:
        break;
    }
    return true;
}

TFwUpdate::TAttempt TFwUpdate::sendParamsUsb()
{
    TComConnection& link = *FwComConnection_;
    const auto info =
        EncodeFwInfo(Header_.HwVersion, Header_.DeviceType, Header_.ImageCrc, Header_.ImageLength);
    const QByteArray frame = FwUsbFrames::ParamFrame(Serial_, info);
    if (!sendUsbFrame(frame))
        return TAttempt::Refused;
    QString err;
    std::array<quint8, FwUsbFrames::ParamFrameSize> buf{};
    int count = FwUsbFrames::ParamFrameSize;
    if (!link.Receive(buf, false, err, count, false, false)) {
        addResultLine(err == ReceiveTimeoutMessage ? WaitText : err);
        if (err == ReceiveTimeoutMessage)
            return TAttempt::Failed;
        dropUsbLink();
        return TAttempt::Refused;
    }
    if (count <= 0)
        return TAttempt::Failed;
    const QByteArray reply(reinterpret_cast<const char*>(buf.data()), count);
    if (!usbReplyFramed(reply))
        return TAttempt::Failed;
    quint8 code = 0;
    if (FwUsbFrames::IsErrorReply(reply, code)) {
        if (code == 5)
            message(BadParamsMessage);
        addResultLine(QStringLiteral("Ошибка при записи параметров обновления ПО устройства: ") +
                      DeviceErrorText(QString(), code));
        return TAttempt::Refused;
    }
    if (FwUsbFrames::IsWriteEcho(reply, RegFwInfo.Address, RegFwInfo.Length)) {
        addResultLine(
            QStringLiteral("Регистр параметров обновления ПО записан, передаем данные прошивки..."));
        return TAttempt::Accepted;
    }
    return TAttempt::Failed;
}

void TFwUpdate::dropUsbLink()
{
    // Closed, the link is opened afresh at the next start: a replugged cable works again.
    QString err;
    FwComConnection_->Close(false, err);
}

bool TFwUpdate::pumpAndCheck()
{
    EventPump::ProcessMessages();
    return FwAbortRequested_ || RowGone_;
}

void TFwUpdate::WMStartFwTransfer()
{
    Phase_ = TPhase::Transfer;
    const quint32 length = quint32(Image_.size());
    Host_.SetFwProgress(int(length), 0);
    quint32 offset = 0;
    int timeouts = 0;
    QString failReason;
    TEnd end = TEnd::Completed;
    while (offset < length) {
        if (pumpAndCheck()) {
            end = RowGone_ ? TEnd::RowGone : TEnd::Aborted;
            break;
        }
        const int blockSize = FwViaComPort_ ? FwUsbFrames::BlockSize : RadioBlockSize;
        const int n = int(std::min<quint32>(quint32(blockSize), length - offset));
        if (!FwViaComPort_)
            Host_.SetFwWaitMessage(QString());
        end = FwViaComPort_ ? sendUsbBlock(offset, n, timeouts) : sendRadioBlock(offset, n, failReason);
        if (end != TEnd::Completed)
            break;
        addResultLine(QStringLiteral("Записан фрагмент прошивки длиной ") + QString::number(n) +
                      QStringLiteral(" байт со смещением ") + QString::number(offset) +
                      QStringLiteral(" байт"));
        offset += quint32(n);
        if (!FwViaComPort_)
            Host_.SetFwSentBytesText(QStringLiteral("Передано ") + QString::number(offset) +
                                     QStringLiteral(" байт"));
        Host_.SetFwProgress(int(length), int(offset));
    }

    // Over the radio the device is asked for the checksum of what it runs; its USB
    // port takes writes only, so there its echo of the last block is the answer.
    QString verifyErr;
    const bool installed = end == TEnd::Completed && (FwViaComPort_ || verifyInstalled(verifyErr));
    if (end == TEnd::Completed && RowGone_)
        end = TEnd::RowGone;
    const bool viaUsb = FwViaComPort_;
    endUpdate();

    switch (end) {
    case TEnd::Completed:
        if (!installed) {
            reportNotUpdated(verifyErr);
            return;
        }
        addResultLine(TransferDoneMessage);
        if (!viaUsb && Device_) {
            // Nothing is writable until the next poll has read the new type's block and names.
            if (Device_->SetDeviceType(WordToDeviceType(Header_.DeviceType)))
                Host_.SetRowNoLink();
            Device_->HwVersion = Header_.HwVersion;
            Host_.UpdateAllValues();
        }
        message(TransferDoneMessage);
        return;
    case TEnd::Aborted:
    case TEnd::RowGone:
        FwAbortRequested_ = false;
        addResultLine(QStringLiteral("Передача прошивки прервана, прошивка передана не полностью"));
        Host_.AddJournalMessage(QStringLiteral("Обновление ПО устройства сер.№ ") + SerialToStr(Serial_) +
                                QStringLiteral(" прервано, прошивка передана не полностью"));
        // A row going away has closed the window already.
        if (end == TEnd::Aborted)
            Host_.CloseWindow();
        return;
    case TEnd::Failed:
        // The USB transfer has told its own story in the result lines.
        if (!viaUsb)
            reportNotUpdated(failReason);
        return;
    }
}

void TFwUpdate::reportNotUpdated(const QString& Reason)
{
    const QString text = NotUpdatedPrefix + Reason;
    addResultLine(text);
    Host_.AddJournalMessage(text + QStringLiteral(" (устройство сер.№ ") + SerialToStr(Serial_) +
                            QStringLiteral(")"));
    message(text);
}

TFwUpdate::TEnd TFwUpdate::sendRadioBlock(quint32 Offset, int N, QString& Reason)
{
    const auto data = EncodeFwData(
        Offset, std::span<const quint8>(reinterpret_cast<const quint8*>(Image_.constData()) + Offset, N));
    for (;;) {
        const qint64 start = Clock::Current().NowMs();
        TDeviceExchange x;
        do {
            if (pumpAndCheck())
                return RowGone_ ? TEnd::RowGone : TEnd::Aborted;
            std::array<TNetRequest, 1> req = {TDeviceWork::WriteRequest(RegFwData.Address, data)};
            x = Work_.Exchange(*Device_, req);
            if (!x.Ok) {
                // A modem port that failed stays closed: trying on would only spin.
                const TConnection* link = Host_.Link();
                if (!link || !link->Connected)
                    break;
                continue;
            }
            if (req[0].Failed) {
                Reason = DeviceErrorText(x.Error, req[0].ErrorCode);
                return TEnd::Failed;
            }
            if (req[0].ReplyLen == req[0].DataLen)
                return TEnd::Completed;
        } while (Clock::Current().NowMs() - start < BlockWindowMs);
        if (RowGone_)
            return TEnd::RowGone;
        const TConnection* link = Host_.Link();
        if (x.NoReply || !link || !link->Connected) {
            // A silent device, or a modem port that is gone: trying on cannot help.
            Host_.SetRowNoLink();
            Host_.UpdateAllValues();
            Reason = x.Error.isEmpty() ? QStringLiteral("устройство не отвечает") : x.Error;
            return TEnd::Failed;
        }
        if (!x.Error.isEmpty())
            message(x.Error);
    }
}

TFwUpdate::TEnd TFwUpdate::sendUsbBlock(quint32 Offset, int N, int& Timeouts)
{
    TComConnection& link = *FwComConnection_;
    const QByteArray frame = FwUsbFrames::BlockFrame(Serial_, Offset, Image_.mid(Offset, N));
    for (int resends = 0;; ++resends) {
        if (resends > MaxUsbResends) {
            addResultLine(UsbSilentMessage);
            message(UsbSilentMessage);
            return TEnd::Failed;
        }
        if (resends > 0 && pumpAndCheck())
            return RowGone_ ? TEnd::RowGone : TEnd::Aborted;
        if (!sendUsbFrame(frame))
            return TEnd::Failed;
        if (pumpAndCheck())
            return RowGone_ ? TEnd::RowGone : TEnd::Aborted;
        QString err;
        std::array<quint8, FwUsbFrames::MaxFrameSize> buf{};
        int count = FwUsbFrames::MaxFrameSize;
        if (!link.Receive(buf, false, err, count, false, false)) {
            addResultLine(err);
            if (err != ReceiveTimeoutMessage) {
                dropUsbLink();
                return TEnd::Failed;
            }
            if (++Timeouts > MaxUsbTimeouts) {
                message(UsbSilentMessage);
                return TEnd::Failed;
            }
            continue;
        }
        if (count <= 0)
            continue;
        const QByteArray reply(reinterpret_cast<const char*>(buf.data()), count);
        if (!usbReplyFramed(reply))
            return TEnd::Failed;
        quint8 code = 0;
        if (FwUsbFrames::IsErrorReply(reply, code)) {
            addResultLine(QStringLiteral("Ошибка при записи обновления ПО устройства: ") +
                          DeviceErrorText(QString(), code));
            if (code == 5) {
                // The device refuses this image: it must not be offered again.
                File_.Clear();
                return TEnd::Failed;
            }
            continue;
        }
        if (FwUsbFrames::IsWriteEcho(reply, RegFwData.Address, N + 6))
            return TEnd::Completed;
    }
}

bool TFwUpdate::verifyInstalled(QString& ErrMsg)
{
    // The device restarts into the new image meanwhile: the operator sees that it is awaited.
    Host_.SetFwWaitMessage(WaitText);
    const qint64 start = Clock::Current().NowMs();
    bool answered = false;
    quint16 running = 0;
    for (bool first = true; first || Clock::Current().NowMs() - start < VerifyWindowMs; first = false) {
        if (!first)
            Clock::Current().SleepMs(VerifyPauseMs);
        EventPump::ProcessMessages();
        const TConnection* link = Host_.Link();
        if (RowGone_ || !link || !link->Connected)
            break;
        quint16 crc = 0;
        if (readRunningCrc(crc)) {
            answered = true;
            running = crc;
            if (crc == Header_.ImageCrc)
                return true;
        }
    }
    if (answered)
        ErrMsg = QStringLiteral("контрольная сумма прошивки устройства ") + HexCrc(running) +
                 QStringLiteral(" вместо ") + HexCrc(Header_.ImageCrc) +
                 QStringLiteral(". Повторите процедуру обновления с начала.");
    else
        ErrMsg = QStringLiteral(
            "устройство не подтвердило установку новой прошивки. Повторите процедуру обновления "
            "с начала.");
    return false;
}

bool TFwUpdate::readRunningCrc(quint16& Crc)
{
    std::array<TNetRequest, 1> req = {TDeviceWork::ReadRequest(RegFwInfo.Address, quint8(RegFwInfo.Length))};
    const TDeviceExchange x = Work_.Exchange(*Device_, req);
    if (!x.Ok || req[0].Failed || req[0].ReplyLen != req[0].DataLen)
        return false;
    return DecodeFwInfoCrc(std::span<const quint8>(req[0].Data.data(), req[0].ReplyLen), Crc);
}

void TFwUpdate::endStart()
{
    // After an abort or a refused image there is nothing to start again with.
    if (File_.HasImage()) {
        Host_.SetFwStartButtonEnabled(false, true);
        Host_.SetFwStartButtonEnabled(true, true);
    }
    FwUpdateActive_ = false;
    Host_.SetBusyCursor(false);
    Host_.SetFwWaitMessage(QString());
    Host_.SetFwFileChoiceEnabled(true);
    Phase_ = TPhase::Idle;
}

void TFwUpdate::endUpdate()
{
    Host_.SetFwProgress(-1, 0);
    endStart();
}

bool TFwUpdate::FormCloseQuery()
{
    // A row that is going away has already ended the update.
    if (!Running() || RowGone_)
        return true;
    if (Prompts::Current().YesNo(Host_.DialogParent(), AbortQuestion, Caption))
        requestAbort();
    return false;
}

void TFwUpdate::requestAbort()
{
    TimerInitFwUpdate.stop();
    FwUpdateActive_ = false;
    Host_.SetBusyCursor(false);
    Host_.SetFwWaitMessage(QString());
    Host_.ClearFwFileChoice();
    Host_.SetFwStartButtonEnabled(false, false);
    Host_.SetFwStartButtonEnabled(true, false);
    File_.Clear();
    if (Phase_ == TPhase::Transfer) {
        FwAbortRequested_ = true;
        return;
    }
    // The start phase ends here; the device has at most the parameters.
    Host_.SetFwFileChoiceEnabled(true);
    Phase_ = TPhase::Idle;
    addResultLine(QStringLiteral("Обновление ПО прервано до передачи прошивки"));
}

void TFwUpdate::AbortForRowGone()
{
    if (!Running())
        return;
    RowGone_ = true;
    Device_ = nullptr;
    if (Phase_ == TPhase::Starting) {
        TimerInitFwUpdate.stop();
        endStart();
    }
}
