#include "config/Calibration.h"

#include "config/ConfigHost.h"
#include "config/DeviceWork.h"
#include "core/Device.h"
#include "core/DeviceFunc.h"
#include "core/RegisterMap.h"
#include "core/StringFunc.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/Prompts.h"

#include <array>

const QString TCalibration::ResetQuestion =
    QStringLiteral("Вы уверены, что хотите сбросить признаки настройки измерительных входов устройства?");
const QString TCalibration::OtherKindRunningMessage =
    QStringLiteral("Сначала завершите начатую настройку других входов устройства!");

namespace {

const QString Start = QStringLiteral("Начать");
const QString Next = QStringLiteral("Далее");
const QString StopTail =
    QStringLiteral(" Процедура настройки прекращена. Устраните проблему и начните настройку заново.");
const QString RetryText =
    QStringLiteral("Произошла ошибка, процедура настройки прекращена. Начните настройку заново.");

constexpr std::array<std::array<quint8, 3>, 4> Codes = {{
    {0x65, 0x66, 0},
    {0x67, 0x68, 0},
    {0x65, 0x67, 0x68},
    {0x66, 0x69, 0x6A},
}};

const QString TypeChangedText = QStringLiteral("Тип устройства изменился. Начните настройку заново.");

} // namespace

int TCalibration::StepCount(int Kind)
{
    return Kind <= KindResistance ? 2 : 3;
}

quint8 TCalibration::StepCode(int Kind, int Step)
{
    return Codes.at(Kind).at(Step - 1);
}

QString TCalibration::Instruction(int Kind, int Step)
{
    switch (Kind * 4 + Step) {
    case 0 * 4 + 1:
        return QStringLiteral("Замкните входы термопары на каналах 1 и 2 и нажмите кнопку \"Далее\"");
    case 0 * 4 + 2:
        return QStringLiteral(
            "Подключите ко входам термопары канала 2 напряжение 150 мВ и нажмите кнопку \"Далее\"");
    case 0 * 4 + 0:
        return QStringLiteral("Настройка входов термоэлектрических преобразователей завершена");
    case 1 * 4 + 1:
        return QStringLiteral(
            "Подключите к каналу 1 по 4-х проводной схеме сопротивление номиналом 0 Ом и нажмите "
            "кнопку \"Далее\"");
    case 1 * 4 + 2:
        return QStringLiteral(
            "Подключите к каналу 1 по 4-х проводной схеме сопротивление номиналом 400 Ом и нажмите "
            "кнопку \"Далее\"");
    case 1 * 4 + 0:
        return QStringLiteral("Настройка входов термопреобразователей сопротивления завершена");
    case 2 * 4 + 1:
        return QStringLiteral("Оставьте токовые входы канала 1 неподключенными и нажмите кнопку \"Далее\"");
    case 2 * 4 + 2:
        return QStringLiteral("Подайте ток 20 мА на токовый вход канала 1 и нажмите кнопку \"Далее\"");
    case 2 * 4 + 3:
        return QStringLiteral("Подайте ток 20 мА на токовый вход канала 2 и нажмите кнопку \"Далее\"");
    case 2 * 4 + 0:
        return QStringLiteral("Настройка унифицированных токовых входов завершена");
    case 3 * 4 + 1:
        return QStringLiteral(
            "Оставьте входы напряжения канала 1 неподключенными и нажмите кнопку \"Далее\"");
    case 3 * 4 + 2:
        return QStringLiteral("Подайте напряжение 10 В на вход канала 1 и нажмите кнопку \"Далее\"");
    case 3 * 4 + 3:
        return QStringLiteral("Подайте напряжение 10 В на вход канала 2 и нажмите кнопку \"Далее\"");
    case 3 * 4 + 0:
        return QStringLiteral("Настройка унифицированных входов напряжения завершена");
    default:
        return QString();
    }
}

TCalibration::TCalibration(TConfigHost& Host, TDeviceWork& Work) : Host_(Host), Work_(Work)
{
    Work_.SetCalibrErrorHandler([this](const QString& Text) { CalibrError(Text); });
}

void TCalibration::setInstruction(const QString& Text)
{
    Host_.SetCalibrInstruction(CalibrKind_, Text);
}

void TCalibration::CalibrError(const QString& Text)
{
    setInstruction(Text);
    Host_.SetCalibrButton(CalibrKind_, Start, true);
    CalibrStep_ = 0;
    CalibrBusy_ = false;
}

void TCalibration::Abort()
{
    if (Working_)
        Aborted_ = true;
    if (!CalibrBusy_)
        return;
    Host_.SetCalibrButton(CalibrKind_, Start, true);
    CalibrStep_ = 0;
    CalibrBusy_ = false;
}

void TCalibration::TabSheetCalibrShow()
{
    if (Working_)
        return;
    // A calibration begun on inputs the device no longer has ends, and the page
    // is shown from there.
    const TDevice* device = Host_.Device();
    if (!device || (CalibrBusy_ && showPresentType(CalibrKind_)))
        return;
    const int type = int(device->DeviceType);
    Host_.ShowCalibrPanel(type);
    if (type == 1 || type == 2) {
        const int first = type == 1 ? KindThermocouple : KindCurrent;
        // Texts of a failed status read go to a box the operator can see.
        if (!CalibrBusy_ && CalibrKind_ != first && CalibrKind_ != first + 1)
            CalibrKind_ = first;
        Host_.SetCalibrInstruction(first, QString());
        Host_.SetCalibrInstruction(first + 1, QString());
        // Until this device's status is read, the LEDs must not show the last device's.
        Host_.SetCalibrLeds(type, 0);
    }
    ReadCalibrStatusRegister();
}

bool TCalibration::showPresentType(int Kind)
{
    const TDevice* device = Host_.Device();
    if (!device)
        return true;
    if (int(device->DeviceType) == (Kind <= KindResistance ? 1 : 2))
        return false;
    // The signal a calibration under way asked for is on inputs this device does not have.
    Abort();
    TabSheetCalibrShow();
    setInstruction(TypeChangedText);
    return true;
}

void TCalibration::ReadCalibrStatusRegister()
{
    TDevice* device = Host_.Device();
    if (!device)
        return;
    std::array<TNetRequest, 1> req = {TDeviceWork::ReadRequest(RegCalibrStatus.Address, 1)};
    const TDeviceExchange x = Work_.Exchange(*device, req);
    if (!x.Ok) {
        Work_.Epilogue(*device, x);
        CalibrError(
            x.Error +
            QStringLiteral(
                " Не удалось прочитать регистр состояния настройки измерительных входов устройства!"));
        return;
    }
    Work_.Epilogue(*device, x);
    if (req[0].Failed) {
        Host_.AddJournalMessage(
            QStringLiteral("Ошибка при чтении состояния настройки измерительных входов устройства: ") +
            x.Error);
        CalibrError(
            x.Error +
            QStringLiteral(
                " Не удалось прочитать регистр состояния настройки измерительных входов устройства!"));
        return;
    }
    if (req[0].ReplyLen != req[0].DataLen) {
        CalibrError(QStringLiteral("Ошибка при чтении состояния настройки измерительных входов устройства."));
        return;
    }
    const int type = int(device->DeviceType);
    if (type == 1)
        Host_.SetCalibrLeds(type, req[0].Data[0] & 0x0F);
    else if (type == 2)
        Host_.SetCalibrLeds(type, req[0].Data[0] & 0x3F);
}

void TCalibration::ButtonResetCalibrStatusClick()
{
    // The operator answers for the device whose panel is shown.
    if (Working_ || showPresentType(CalibrKind_))
        return;
    // A poll while the question was open may have found another type.
    if (!Prompts::Current().YesNo(Host_.DialogParent(), ResetQuestion, QStringLiteral("Внимание!")) ||
        showPresentType(CalibrKind_))
        return;
    TDevice* device = Host_.Device();
    if (!device)
        return;
    const std::array<quint8, 1> zero = {0};
    std::array<TNetRequest, 1> req = {TDeviceWork::WriteRequest(RegCalibrStatus.Address, zero)};
    const TDeviceExchange x = Work_.Exchange(*device, req);
    Work_.Epilogue(*device, x);
    const QString failed =
        QStringLiteral("Ошибка при сбросе признаков настройки измерительных входов устройства");
    if (!x.Ok) {
        CalibrError(failed + QStringLiteral(": ") + x.Error);
    } else if (req[0].Failed) {
        Host_.AddJournalMessage(failed + QStringLiteral(": ") + x.Error);
        CalibrError(failed + QStringLiteral(": ") + x.Error);
    } else if (req[0].ReplyLen != req[0].DataLen) {
        CalibrError(failed);
    } else {
        ReadCalibrStatusRegister();
        CalibrError(QStringLiteral("Сброс признаков настройки измерительных входов устройства выполнен"));
    }
}

void TCalibration::BitBtnCalibrProceedClick(int Kind)
{
    // The device under this serial number may have been replaced or re-flashed
    // since the panel was shown: a step code would run another input's step.
    if (Working_ || Kind < KindThermocouple || Kind > KindVoltage || showPresentType(Kind))
        return;
    // The step machine is one for all kinds: another kind's button would write its
    // codes against the signal the running calibration asked for.
    if (CalibrBusy_ && Kind != CalibrKind_) {
        Prompts::Current().Message(Host_.DialogParent(), OtherKindRunningMessage, QStringLiteral("Внимание"));
        return;
    }
    CalibrKind_ = Kind;
    if (CalibrStep_ == 0) {
        if (!Work_.DisablePolling(TDeviceWork::ForCalibration) || CalibrBusy_)
            return;
        const bool sufficient = Work_.RfSignalLevelSufficient(TDeviceWork::ForCalibration);
        // Its configuration read of a row without link may have found another type.
        if (showPresentType(Kind) || !sufficient)
            return;
        CalibrBusy_ = true;
        setInstruction(Instruction(Kind, 1));
        Host_.SetCalibrButton(Kind, Next, true);
        CalibrStep_ = 1;
        return;
    }
    Working_ = true;
    Aborted_ = false;
    runStep(CalibrStep_);
    Working_ = false;
    Aborted_ = false;
}

TCalibration::TRegResult TCalibration::commandExchange(bool Write, quint8 Value, quint8& Read, QString& Err)
{
    TDevice* device = Host_.Device();
    if (!device)
        return TRegResult::Aborted;
    const std::array<quint8, 1> data = {Value};
    std::array<TNetRequest, 1> req = {Write ? TDeviceWork::WriteRequest(RegCommand.Address, data)
                                            : TDeviceWork::ReadRequest(RegCommand.Address, 1)};
    const TDeviceExchange x = Work_.Exchange(*device, req);
    Err = x.Error;
    Work_.Epilogue(*device, x);
    if (!x.Ok)
        return TRegResult::ExchangeFailed;
    if (req[0].Failed)
        return TRegResult::RequestFailed;
    if (req[0].ReplyLen != req[0].DataLen)
        return TRegResult::WrongLength;
    Read = req[0].Data[0];
    return TRegResult::Ok;
}

void TCalibration::runStep(int Step)
{
    const int kind = CalibrKind_;
    Host_.SetCalibrButton(kind, Next, false);
    const quint8 code = StepCode(kind, Step);
    const QString codeText = QString::number(code);
    const QString stepTag = QStringLiteral("***CalibrStep") + QString::number(Step);
    QString err;
    quint8 value = 0;

    // Failures of the write and the echo read end alike.
    const auto failed = [&](TRegResult R, const QString& Op) {
        switch (R) {
        case TRegResult::RequestFailed:
            Host_.AddJournalMessage(QStringLiteral("Ошибка при настройке измерительных входов устройства (") +
                                    Op + QStringLiteral(" ") + codeText + QStringLiteral("): ") + err);
            CalibrError(err + StopTail);
            return true;
        case TRegResult::WrongLength:
            CalibrError(RetryText);
            return true;
        case TRegResult::ExchangeFailed:
            CalibrError(err + StopTail);
            return true;
        case TRegResult::Aborted:
            return true;
        case TRegResult::Ok:
            return false;
        }
        return false;
    };

    if (failed(commandExchange(true, code, value, err), QStringLiteral("write")))
        return;
    Host_.AddJournalMessage(stepTag + QStringLiteral(": write ") + codeText);

    Clock::Current().SleepMs(EchoPauseMs);

    if (failed(commandExchange(false, 0, value, err), QStringLiteral("read")))
        return;
    if (value != code) {
        CalibrError(QStringLiteral("Ошибка при настройке измерительных входов устройства (read ") + codeText +
                    QStringLiteral("). Процедура настройки прекращена."));
        return;
    }
    setInstruction(QStringLiteral("Ждите..."));
    Host_.AddJournalMessage(stepTag + QStringLiteral(": read ") + codeText);

    bool done = false;
    TDeviceExchange last;
    for (int round = 0; round < WaitRounds && !done; ++round) {
        EventPump::ProcessMessages();
        if (Aborted_)
            return;
        Clock::Current().SleepMs(WaitPauseMs);
        TDevice* device = Host_.Device();
        if (!device)
            return;
        std::array<TNetRequest, 1> req = {TDeviceWork::ReadRequest(RegCommand.Address, 1)};
        last = Work_.Exchange(*device, req);
        if (!last.Ok)
            continue;
        if (last.ExtraCount > 0)
            Host_.ProcessExtraRecords(last.Extra, last.ExtraCount);
        if (req[0].Failed) {
            Host_.AddJournalMessage(
                QStringLiteral("Ошибка при настройке измерительных входов устройства (read 0): ") +
                last.Error);
            CalibrError(last.Error + StopTail);
            return;
        }
        if (req[0].ReplyLen == req[0].DataLen && req[0].Data[0] == 0)
            done = true;
    }
    if (!done) {
        TDevice* device = Host_.Device();
        if (device && DeviceErrorChanged(last.Error, *device) && !last.Error.isEmpty())
            Host_.AddJournalMessage(last.Error + QStringLiteral(" при обмене с устройством сер.№ ") +
                                    SerialToStr(device->SerialNum));
        CalibrError(
            last.Error +
            QStringLiteral(" Ошибка при настройке измерительных входов устройства (read 0). Процедура "
                           "настройки прекращена. Устраните проблему и начните настройку заново."));
        if (last.NoReply) {
            Host_.SetRowNoLink();
            Host_.UpdateAllValues();
        }
        return;
    }
    Host_.AddJournalMessage(stepTag + QStringLiteral(": read 0"));

    if (Step < StepCount(kind)) {
        setInstruction(Instruction(kind, Step + 1));
        Host_.SetCalibrButton(kind, Next, true);
        CalibrStep_ = Step + 1;
    } else {
        setInstruction(Instruction(kind, 0));
        Host_.SetCalibrButton(kind, Start, true);
        CalibrStep_ = 0;
        CalibrBusy_ = false;
    }
    ReadCalibrStatusRegister();
}
