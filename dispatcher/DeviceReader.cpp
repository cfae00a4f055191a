#include "dispatcher/DeviceReader.h"

#include "core/Device.h"
#include "core/RegisterMap.h"
#include "core/Sound.h"
#include "core/StringFunc.h"
#include "dispatcher/ArchiveWriter.h"
#include "dispatcher/DispatcherHooks.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/JournalMessage.h"

#include <algorithm>
#include <cmath>

namespace {

const QString SuffixExchange = QStringLiteral(" при обмене с устройством сер.№ ");
const QString SuffixFaultItem = QStringLiteral(" при чтении регистра неисправностей устройства сер.№ ");
const QString SuffixColdJunction = QStringLiteral(" при чтении температуры ХК устройства сер.№ ");
const QString SuffixDeviceType = QStringLiteral(" при чтении типа устройства сер.№ ");
const QString SuffixConfig = QStringLiteral(" при чтении конфигурации устройства сер.№ ");
const QString SuffixArchive = QStringLiteral(" для устройства сер.№ ");

bool bitSet(quint32 Register, int Bit)
{
    return (Register >> Bit) & 1u;
}

// Not failed by the device and answered with the length asked for.
bool itemGood(const TNetRequest& Item)
{
    return !Item.Failed && Item.ReplyLen == Item.DataLen;
}

std::span<const quint8> itemData(const TNetRequest& Item)
{
    return std::span<const quint8>(Item.Data).first(Item.DataLen);
}

bool inAlarm(const TMeasureChannel& Ch)
{
    return Ch.LimitState == 3 || Ch.LimitState == 4;
}

bool nearLimit(const TMeasureChannel& Ch)
{
    return Ch.LimitState == 1 || Ch.LimitState == 2;
}

} // namespace

TDeviceReader::TDeviceReader(TDispatcherHooks& Hooks) : Hooks_(Hooks) {}

void TDeviceReader::SetLinkLostHandler(std::function<void()> Handler)
{
    LinkLost_ = std::move(Handler);
}

bool TDeviceReader::exchange(quint16 Addr, QString& ErrMsg)
{
    TConnection* link = Hooks_.Link();
    if (!link) {
        // No link object at all reads like a closed one.
        ErrMsg = NetNotInitializedMessage;
        ExtraRecordCount = 0;
        NoReplyFlag = false;
        return false;
    }
    return NetExchange(*link, Addr, RequestArray, ErrMsg, ExtraRecords, ExtraRecordCount, LastRssiPC,
                       NoReplyFlag);
}

void TDeviceReader::setSingleRead(quint16 RegAddr, quint8 Length)
{
    RequestArray.assign(1, TNetRequest{});
    RequestArray[0].NetFunc = NetFunction::Read;
    RequestArray[0].RegAddr = RegAddr;
    RequestArray[0].DataLen = Length;
}

void TDeviceReader::linkLost(TTableDevice& Row)
{
    Row.Status = dsNoLink;
    if (LinkLost_)
        LinkLost_();
}

void TDeviceReader::applyExtraRecords(TDevice& D)
{
    if (ExtraRecordCount > 0)
        ProcessExtraRecords(D, ExtraRecords, ExtraRecordCount);
}

bool TDeviceReader::ReadCurrentValues(TTableDevice& Row, QString& ErrMsg)
{
    TDevice& D = *Row.Device;
    const QString serial5 = SerialToStr(D.SerialNum);

    RequestArray.assign(CurrentValueReads.size(), TNetRequest{});
    for (std::size_t i = 0; i < CurrentValueReads.size(); ++i) {
        RequestArray[i].NetFunc = NetFunction::Read;
        RequestArray[i].RegAddr = CurrentValueReads[i].Address;
        RequestArray[i].DataLen = static_cast<quint8>(CurrentValueReads[i].Length);
    }
    if (!exchange(D.SerialNum, ErrMsg)) {
        JournalDeviceError(ErrMsg, D, SuffixExchange + serial5);
        if (NoReplyFlag)
            linkLost(Row);
        return false;
    }

    // One time stamp for every value of this reply.
    const TDateTime t = NowTDateTime();
    D.SignalAtPC = LastRssiPC;
    // Work on a copy: the windows reached below may run an exchange of their own
    // through the shared RequestArray.
    const std::vector<TNetRequest> items = RequestArray;

    const TNetRequest& fault = items[0];
    if (fault.Failed) {
        JournalDeviceError(ErrMsg, D, SuffixFaultItem + serial5);
    } else if (itemGood(fault)) {
        quint32 reg = 0;
        quint8 level = 0;
        DecodeFaultState(itemData(fault), reg, level);
        D.FaultRegister = reg;
        LogFaultChanges(D);
        D.SignalAtDevice = level;
    }

    // From the register as it stands now, also when its item failed.
    if (bitSet(D.FaultRegister, FaultBitEepromReadFailed)) {
        Hooks_.ShowStatusMessage(QStringLiteral("Устройство сер.№ ") + serial5 + QStringLiteral(": ") +
                                     FaultNames[FaultBitEepromReadFailed],
                                 false);
        EepromFaultPending = true;
    }
    D.ColdJunctionValid = !bitSet(D.FaultRegister, FaultBitNoColdJunctionData);
    D.Channel1->ValueValid = !bitSet(D.FaultRegister, FaultBitChannel1OutOfRange);
    D.Channel2->ValueValid = !bitSet(D.FaultRegister, FaultBitChannel2OutOfRange);
    for (int n = 1; n <= 2; ++n) {
        TMeasureChannel& ch = D.Channel(n);
        if (ch.SensorType == TSensorType::Thermocouple && ch.UseColdJunction && !D.ColdJunctionValid)
            ch.ValueValid = false;
    }

    for (int n = 1; n <= 2; ++n)
        readChannelValue(D, n, items[std::size_t(n)], t, ErrMsg);

    const TNetRequest& cj = items[3];
    if (cj.Failed) {
        JournalDeviceError(ErrMsg, D, SuffixColdJunction + serial5);
    } else if (itemGood(cj) && D.ColdJunctionValid) {
        float temp = 0;
        DecodeSingleRegister(itemData(cj), temp);
        D.ColdJunctionTemp = temp;
    }

    applyExtraRecords(D);
    return true;
}

void TDeviceReader::readChannelValue(TDevice& D, int ChannelNum, const TNetRequest& Item, TDateTime Time,
                                     QString& ErrMsg)
{
    const QString serial5 = SerialToStr(D.SerialNum);
    const QString channelSuffix = QStringLiteral(" при чтении значения канала ") +
                                  QString::number(ChannelNum) + QStringLiteral(" устройства сер.№ ") +
                                  serial5;
    TMeasureChannel& ch = D.Channel(ChannelNum);
    if (Item.Failed) {
        JournalDeviceError(ErrMsg, D, channelSuffix);
        return;
    }
    if (!itemGood(Item) || !ch.ValueValid || !ch.Enabled || !PollingActive)
        return;

    float raw = 0;
    DecodeSingleRegister(itemData(Item), raw);
    if (!std::isfinite(raw)) {
        AddJournalMessage(QStringLiteral("Получено нечисловое значение") + channelSuffix);
        return;
    }
    ch.Value = static_cast<float>(RoundToSignificant(ch.SignificantDigits(), raw));
    ClassifyChannelValue(ch);
    AddGraphPoint(*ch.GraphLine, ch.LimitState == 3, ch.LimitState == 4, ch.Value, Time);

    IArchiveWriter* archive = Hooks_.ArchiveWriter();
    if (PollingActive && archive) {
        if (!archive->AddMeasurement(D, ChannelNum, Time, ErrMsg)) {
            JournalDeviceError(ErrMsg, D, SuffixArchive + serial5);
            ErrMsg.clear();
        }
        // With the text empty this only rearms the rule: after a value went to
        // the archive, the device's next error is journalled again.
        JournalDeviceError(ErrMsg, D, SuffixArchive + serial5);
    }
}

void TDeviceReader::LogFaultChanges(TDevice& D)
{
    const QString prefix =
        QStringLiteral("Внимание!!! Устройство сер.№ ") + SerialToStr(D.SerialNum) + QStringLiteral(": ");
    const quint32 changed = D.FaultRegister ^ D.PrevFaultRegister;
    for (int b = 0; b < FaultNameCount; ++b) {
        if (!bitSet(changed, b))
            continue;
        const QString& name = FaultNames[std::size_t(b)];
        if (bitSet(D.FaultRegister, b))
            AddJournalMessage(prefix + name);
        else
            AddJournalMessage(prefix + QStringLiteral("неисправность \"") + name +
                              QStringLiteral("\" устранена"));
    }
    D.PrevFaultRegister = D.FaultRegister;
}

void TDeviceReader::ClassifyChannelValue(TMeasureChannel& Channel)
{
    if (!Channel.Enabled)
        return;
    // The range is a single; the comparisons take the widened singles.
    const float r = Channel.MaxAlert - Channel.MinAlert;
    const double tenth = double(r) / 10.0;
    const double v = Channel.Value;
    const double lo = Channel.MinAlert;
    const double hi = Channel.MaxAlert;
    if (v < lo)
        Channel.LimitState = 3;
    else if (v > hi)
        Channel.LimitState = 4;
    else if (v < lo + tenth)
        Channel.LimitState = 1;
    else if (v > hi - tenth)
        Channel.LimitState = 2;
    else
        Channel.LimitState = 0;
}

void TDeviceReader::AddGraphPoint(TGraphLine& Line, bool OverMin, bool OverMax, double Value, TDateTime Time)
{
    IChartSeries& series = *Line.Series;
    series.AddXY(Time, Value, series.Color());
    if (series.Count() == 1 && series.ParentChart()) {
        // The first point of a line in a chart must be in view: the axes keep
        // their span and move onto it, time a tenth from the left, value centred.
        double min = 0;
        double max = 0;
        if (Hooks_.GetChartAxisRange(Line, TChartAxis::Bottom, min, max) && (Time <= min || Time >= max)) {
            const double s = max - min;
            Hooks_.SetChartAxisRange(Line, TChartAxis::Bottom, Time - s / 10, Time - s / 10 + s);
        }
        if (Hooks_.GetChartAxisRange(Line, TChartAxis::Left, min, max) && (Value <= min || Value >= max)) {
            const double s = max - min;
            Hooks_.SetChartAxisRange(Line, TChartAxis::Left, Value - s / 2, Value - s / 2 + s);
        }
    }
    if (OverMin || OverMax)
        Hooks_.MarkChartOverflow(Line, OverMin, OverMax);
}

void TDeviceReader::CheckAlarmCondition(TTableDevice& Row)
{
    TDevice& D = *Row.Device;
    quint8 status = dsOk;
    const TMeasureChannel& ch1 = *D.Channel1;
    const TMeasureChannel& ch2 = *D.Channel2;
    if (ch1.Enabled && ch1.ValueValid) {
        if (inAlarm(ch1))
            status = dsAlarm;
        else if (nearLimit(ch1))
            status = dsWarning;
    }
    if (ch2.Enabled && ch2.ValueValid) {
        if (inAlarm(ch2))
            status = dsAlarm;
        else if (nearLimit(ch2) && status != dsAlarm)
            status = dsWarning;
    }
    Row.Status = status;

    for (int n = 1; n <= 2; ++n) {
        TMeasureChannel& ch = D.Channel(n);
        if (!ch.Enabled)
            continue;
        if (inAlarm(ch)) {
            if (ch.AlarmSounded)
                continue;
            AlarmKind = 1;
            ch.AlarmSounded = true;
            PlayAlarmSound(false, AlarmKind, SoundMode);
            if (SoundRepeatMode == TSoundRepeatMode::Repeat)
                Hooks_.EnableSoundRepeatTimer();
        } else if (ch.AlarmSounded) {
            ch.AlarmSounded = false;
            const bool another = std::any_of(DevArray.begin(), DevArray.end(), [&ch](const auto& row) {
                if (!row || row->Status == dsNoLink || row->Hidden)
                    return false;
                for (int m = 1; m <= 2; ++m) {
                    const TMeasureChannel& other = row->Device->Channel(m);
                    if (&other != &ch && other.Enabled && other.AlarmSounded)
                        return true;
                }
                return false;
            });
            if (!another)
                AlarmKind = 0;
        }
    }
}

void TDeviceReader::ProcessExtraRecords(TDevice& D, std::span<const TNetRequest> Extra, int Count)
{
    const int n = std::clamp(Count, 0, static_cast<int>(Extra.size()));
    for (int i = 0; i < n; ++i) {
        const TNetRequest& rec = Extra[std::size_t(i)];
        if (rec.RegAddr != ExtraFaultRecord.Address || rec.ReplyLen != ExtraFaultRecord.Length)
            continue;
        D.FaultRegister = GetLongBE(rec.Data, 0);
        LogFaultChanges(D);
        Hooks_.ReloadStringgrid();
        if (Hooks_.ConfigShows(D))
            Hooks_.ConfigUpdateCurrentValues();
    }
}

bool TDeviceReader::configExchangeFailed(TTableDevice& Row, const QString& ErrMsg)
{
    TDevice& D = *Row.Device;
    JournalDeviceError(ErrMsg, D, SuffixExchange + SerialToStr(D.SerialNum));
    if (!NoReplyFlag)
        return false;
    Row.Status = dsNoLink;
    if (Hooks_.ConfigShows(D))
        Hooks_.ConfigUpdateAllValues();
    if (LinkLost_)
        LinkLost_();
    return true;
}

bool TDeviceReader::ReadDeviceConfig(TTableDevice& Row, QString& ErrMsg)
{
    TDevice& D = *Row.Device;
    const QString serial5 = SerialToStr(D.SerialNum);

    // Identification.
    setSingleRead(IdentificationBlock.Address, static_cast<quint8>(IdentificationBlock.Length));
    if (!exchange(D.SerialNum, ErrMsg)) {
        JournalDeviceError(ErrMsg, D, SuffixExchange + serial5);
        if (NoReplyFlag) {
            linkLost(Row);
            return false;
        }
    } else {
        D.SignalAtPC = LastRssiPC;
        const TNetRequest& item = RequestArray[0];
        if (item.Failed) {
            JournalDeviceError(ErrMsg, D, SuffixDeviceType + serial5);
        } else {
            if (itemGood(item)) {
                TIdentification id;
                DecodeIdentification(itemData(item), id);
                // Nothing is writable until the new type's block and names are read.
                if (D.SetDeviceType(id.DeviceType()))
                    Row.Status = dsNoLink;
                if (id.SerialNum != D.SerialNum) {
                    ErrMsg = QStringLiteral("Неверный серийный номер ") + SerialToStr(id.SerialNum) +
                             QStringLiteral(" для устройства с серийным номером ") + serial5;
                    return false;
                }
                ApplyIdentification(id, D);
                // The device record keeps the modem's channel in one byte; a
                // channel that does not fit leaves the record as it was.
                if (RFChannel >= 0 && RFChannel <= 255)
                    D.RfChannel = static_cast<quint8>(RFChannel);
            }
            applyExtraRecords(D);
        }
    }

    if (D.DeviceType == TDeviceType::Unknown)
        return false;

    // Current values, with the limits, digits and switches known so far.
    if (ReadCurrentValues(Row, ErrMsg)) {
        if (Hooks_.ConfigShows(D))
            Hooks_.ConfigUpdateCurrentValues();
    } else {
        if (Row.Status == dsNoLink && Hooks_.ConfigShows(D))
            Hooks_.ConfigUpdateAllValues();
        if (EepromFaultPending)
            Hooks_.ShowWarning(QStringLiteral("Устройство серийный № ") + serial5 + QStringLiteral(": ") +
                               FaultNames[FaultBitEepromReadFailed]);
    }

    // Channel configuration.
    bool complete = false;
    // The text of the last step that failed, handed back when an earlier step is
    // what keeps the read from counting (the caller journals the text it gets).
    QString failure;
    const TRegister config = ConfigBlock(D.DeviceType);
    setSingleRead(config.Address, static_cast<quint8>(config.Length));
    if (!exchange(D.SerialNum, ErrMsg)) {
        if (configExchangeFailed(Row, ErrMsg))
            return false;
        failure = ErrMsg;
    } else {
        D.SignalAtPC = LastRssiPC;
        const TNetRequest& item = RequestArray[0];
        if (item.Failed) {
            JournalDeviceError(ErrMsg, D, SuffixConfig + serial5);
            failure = ErrMsg;
        } else {
            if (itemGood(item) && DecodeConfigBlock(itemData(item), D.DeviceType, D)) {
                complete = true;
                D.ConfigRead = true;
            }
            applyExtraRecords(D);
        }
    }

    if (D.DeviceType == TDeviceType::ThermoInputs) {
        for (int n = 1; n <= 2; ++n) {
            TMeasureChannel& ch = D.Channel(n);
            ch.QuantityName = GetQuantityName(ch.SensorType);
            ch.MeasUnitName = GetUnitName(ch.SensorType);
        }
        return complete;
    }

    // Quantity names and units; the second read decides the result, once the block
    // and both names have each been read good: before that the record holds
    // defaults the window would show and write back as the device's.
    for (int n = 1; n <= 2; ++n) {
        complete = false;
        const TRegister names = RegQuantityName(n);
        setSingleRead(names.Address, static_cast<quint8>(names.Length));
        if (!exchange(D.SerialNum, ErrMsg)) {
            if (configExchangeFailed(Row, ErrMsg))
                return false;
            failure = ErrMsg;
            continue;
        }
        D.SignalAtPC = LastRssiPC;
        const TNetRequest& item = RequestArray[0];
        if (item.Failed) {
            JournalDeviceError(ErrMsg, D, SuffixConfig + serial5);
            failure = ErrMsg;
            continue;
        }
        if (itemGood(item)) {
            TMeasureChannel& ch = D.Channel(n);
            complete = DecodeQuantityNames(itemData(item), ch.QuantityName, ch.MeasUnitName);
            ch.NamesRead = ch.NamesRead || complete;
        }
        applyExtraRecords(D);
    }
    if (complete && !(D.ConfigRead && D.Channel1->NamesRead && D.Channel2->NamesRead)) {
        ErrMsg = failure;
        return false;
    }
    return complete;
}
