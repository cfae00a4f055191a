#include "config/DeviceConfigWrites.h"

#include "charts/Graphic.h"
#include "config/DeviceWork.h"
#include "core/Device.h"
#include "core/DeviceFunc.h"
#include "core/RS232Comm.h"
#include "core/StringFunc.h"
#include "dispatcher/ArchiveWriter.h"
#include "dispatcher/DeviceReader.h"
#include "dispatcher/DispatcherHooks.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/GraphicWindows.h"
#include "dispatcher/JournalMessage.h"
#include "dispatcher/SettingsFile.h"
#include "dispatcher/TableDevice.h"
#include "platform/CodePage.h"
#include "platform/Prompts.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString CaptionAttention = QStringLiteral("Внимание");
const QString SuffixExchange = QStringLiteral(" при обмене с устройством сер.№ ");
const QString SuffixArchive = QStringLiteral(" для устройства сер.№ ");

bool acknowledged(const TNetRequest& Item)
{
    return !Item.Failed && Item.ReplyLen == Item.DataLen;
}

// A number of the channel: what the operator typed, or the stored value for an
// edit left as the window filled it.
struct TChannelNumber
{
    float Value = 0;
    bool Typed = false;
};

// Only a typed number is compared. A stored value that is not a number can never
// equal what is typed, so it is rewritten then.
bool differs(float Stored, const TChannelNumber& New)
{
    return New.Typed && (std::isnan(Stored) || Stored != New.Value);
}

QString ordinal(int Channel)
{
    return Channel == 1 ? QStringLiteral("первого") : QStringLiteral("второго");
}

} // namespace

TDeviceConfigWrites::TDeviceConfigWrites(TDispatcherHooks& Hooks, TDeviceReader& Reader, TTableDevice& Row)
    : Hooks_(Hooks), Reader_(Reader), Row_(Row), Device_(*Row.Device)
{
}

std::optional<float> TDeviceConfigWrites::ParseSingle(const QString& Text)
{
    const std::optional<double> v = StrToFloatFixed(Text);
    if (!v || std::fabs(*v) > double(std::numeric_limits<float>::max()))
        return std::nullopt;
    const float f = float(*v);
    // Zero only when the digits typed are: a number beyond even a double's reach
    // reads as 0 as well.
    const qsizetype e = std::max(Text.lastIndexOf(QLatin1Char('E')), Text.lastIndexOf(QLatin1Char('e')));
    const QStringView mantissa = e >= 0 ? QStringView(Text).left(e) : QStringView(Text);
    const bool zero =
        std::none_of(mantissa.begin(), mantissa.end(), [](QChar C) { return C >= u'1' && C <= u'9'; });
    // A number that would reach the device as zero or as a denormal is not the one typed.
    if (!zero && !std::isnormal(f))
        return std::nullopt;
    return f;
}

TNetRequest TDeviceConfigWrites::writeItem(TRegister Reg, std::span<const quint8> Data)
{
    TNetRequest r;
    r.NetFunc = NetFunction::Write;
    r.RegAddr = Reg.Address;
    r.DataLen = quint8(Reg.Length);
    std::copy(Data.begin(), Data.begin() + Reg.Length, r.Data.begin());
    return r;
}

bool TDeviceConfigWrites::send(TExchange& X, quint16 Addr)
{
    TConnection* link = Hooks_.Link();
    if (link) {
        X.Ok = NetExchange(*link, Addr, X.Items, X.Error, X.Extra, X.ExtraCount, X.Rssi, X.NoReply);
    } else {
        X.Ok = false;
        X.Error = NetNotInitializedMessage;
    }
    if (X.Ok) {
        Device_.SignalAtPC = X.Rssi;
        return true;
    }
    JournalDeviceError(X.Error, Device_, SuffixExchange + SerialToStr(Device_.SerialNum));
    if (X.NoReply) {
        Row_.Status = dsNoLink;
        Hooks_.ReloadStringgrid();
        if (RefillWindow)
            RefillWindow();
        return false;
    }
    return true;
}

TWriteResult TDeviceConfigWrites::oneItem(quint16 Addr, const TNetRequest& Item, const QString& ErrorText,
                                          const std::function<void(const TNetRequest&)>& Taken)
{
    TExchange x;
    x.Items.push_back(Item);
    if (!send(x, Addr))
        return TWriteResult::LinkLost;
    if (!x.Ok)
        return TWriteResult::Failed;
    const TNetRequest& r = x.Items[0];
    if (r.Failed)
        journalItem(ErrorText, x);
    const bool taken = acknowledged(r);
    if (taken)
        Taken(r);
    applyExtraRecords(x);
    return taken ? TWriteResult::Done : TWriteResult::Failed;
}

TWriteResult TDeviceConfigWrites::writeOne(quint16 Addr, TRegister Reg, std::span<const quint8> Data,
                                           const QString& ErrorText, const std::function<void()>& Store)
{
    return oneItem(Addr, writeItem(Reg, Data), ErrorText, [&](const TNetRequest&) {
        if (Store)
            Store();
    });
}

TWriteResult TDeviceConfigWrites::readOne(TRegister Reg, const QString& ErrorText, std::span<quint8> Data)
{
    return oneItem(Device_.SerialNum, TDeviceWork::ReadRequest(Reg.Address, quint8(Reg.Length)), ErrorText,
                   [&](const TNetRequest& R) { std::copy_n(R.Data.begin(), Reg.Length, Data.begin()); });
}

bool TDeviceConfigWrites::rowInTable() const
{
    // Only the address is compared: the row may be freed already.
    const TTableDevice* const row = &Row_;
    return std::any_of(DevArray.begin(), DevArray.end(), [row](const auto& R) { return R.get() == row; });
}

void TDeviceConfigWrites::applyExtraRecords(const TExchange& X)
{
    if (X.ExtraCount > 0)
        Reader_.ProcessExtraRecords(Device_, X.Extra, X.ExtraCount);
}

void TDeviceConfigWrites::journalItem(const QString& Text, const TExchange& X)
{
    AddJournalMessage(Text + X.Error);
}

void TDeviceConfigWrites::reportDevice()
{
    IArchiveWriter* writer = Hooks_.ArchiveWriter();
    if (!PollingActive || !writer)
        return;
    QString err;
    if (!writer->UpdateDeviceRecord(Device_, err))
        JournalDeviceError(err, Device_, SuffixArchive + SerialToStr(Device_.SerialNum));
}

void TDeviceConfigWrites::reportChannels()
{
    IArchiveWriter* writer = Hooks_.ArchiveWriter();
    if (!PollingActive || !writer)
        return;
    QString err;
    if (!writer->UpdateChannelRecords(Device_, err))
        JournalDeviceError(err, Device_, SuffixArchive + SerialToStr(Device_.SerialNum));
}

void TDeviceConfigWrites::message(const QString& Text)
{
    Prompts::Current().Message(Parent, Text, CaptionAttention);
}

bool TDeviceConfigWrites::fitsDevice(const QString& Text, const QString& Where)
{
    const QStringList missing = CodePage::MissingFromWindows1251(Text);
    if (missing.isEmpty())
        return true;
    message(QStringLiteral("Недопустимые символы %1: «%2». Устройство хранит текст в кодировке Windows-1251, "
                           "в которой их нет.")
                .arg(Where, missing.join(QStringLiteral("», «"))));
    return false;
}

void TDeviceConfigWrites::attachLine(TMeasureChannel& Channel)
{
    if (!Graphics || !Channel.GraphLine)
        return;
    TFormGraphic* form = Graphics->FindOrCreateGraphicForm(Channel.QuantityName, Channel.MeasUnitName);
    if (!form)
        return;
    Channel.GraphLine->Series->SetParentChart(Graphics->GraphicChart(form));
    Channel.GraphLine->GraphForm = form;
    if (form->isVisible()) {
        // Closing and showing again rebuilds the window's line controls.
        form->close();
        form->show();
        form->SetDefaultLineColors();
    }
}

void TDeviceConfigWrites::followQuantity(TMeasureChannel& Channel)
{
    TGraphLine* line = Channel.GraphLine.get();
    if (!line || !line->GraphForm || !Graphics)
        return;
    TFormGraphic* old = line->GraphForm;
    attachLine(Channel);
    if (old == line->GraphForm || !old->isVisible())
        return;
    old->close();
    old->show();
    // The operator was watching the line: its new window shows too, or the curve would vanish.
    TFormGraphic* now = line->GraphForm;
    if (!now->isVisible()) {
        now->show();
        now->SetDefaultLineColors();
    }
}

TWriteResult TDeviceConfigWrites::WriteRfParams(int PowerIndex, int RfChannel)
{
    // No level in the list: the device holds a code the list does not know, and
    // only a level the operator chose may replace it; a new channel still goes out.
    // Without a link, or with nothing else to write, there is nothing to apply.
    if (PowerIndex < 0 && (RfChannel == Device_.RfChannel || Row_.Status == dsNoLink)) {
        message(QStringLiteral("Не выбран уровень мощности радио передатчика!"));
        return TWriteResult::Refused;
    }
    bool failed = false;
    if (const quint8 code = RfPowerLevelToCode(PowerIndex); PowerIndex >= 0 && code != Device_.RfPowerCode) {
        const TWriteResult r =
            writeOne(Device_.SerialNum, RegTxPower, {&code, 1},
                     QStringLiteral("Ошибка при установке уровня мощности радио передатчика: "),
                     [&] { Device_.RfPowerCode = code; });
        if (r == TWriteResult::LinkLost)
            return r;
        failed = r != TWriteResult::Done;
    }
    if (RfChannel != Device_.RfChannel &&
        Prompts::Current().YesNo(Parent,
                                 QStringLiteral("После изменения номера радиоканала данное устройство будет "
                                                "недоступно на текущем канале радиомодема. Измененить номер "
                                                "радиоканала устройства?"),
                                 CaptionAttention)) {
        if (!rowInTable())
            return TWriteResult::RowGone;
        const quint8 b = quint8(RfChannel);
        const TWriteResult r = writeOne(Device_.SerialNum, RegRfChannel, {&b, 1},
                                        QStringLiteral("Ошибка при установке номера радиоканала: "),
                                        [&] { Device_.RfChannel = b; });
        if (r == TWriteResult::LinkLost)
            return r;
        failed = failed || r != TWriteResult::Done;
    }
    return failed ? TWriteResult::Failed : TWriteResult::Done;
}

TWriteResult TDeviceConfigWrites::WriteChannelParams(int Channel, const TChannelInputs& In)
{
    const QString nth = ordinal(Channel);
    const bool type1 = Device_.DeviceType == TDeviceType::ThermoInputs;
    if (!In.SensorType) {
        message(QStringLiteral("Не указан вид датчика %1 канала!").arg(nth));
        return TWriteResult::Refused;
    }
    if (!In.SensorModel) {
        message(QStringLiteral("Не указан тип датчика %1 канала!").arg(nth));
        return TWriteResult::Refused;
    }
    TMeasureChannel& ch = Device_.Channel(Channel);
    // An untouched edit is not checked: it stands for the stored value.
    const auto number = [](const std::optional<QString>& Text,
                           float Stored) -> std::optional<TChannelNumber> {
        if (!Text)
            return TChannelNumber{Stored, false};
        const std::optional<float> v = ParseSingle(*Text);
        if (!v)
            return std::nullopt;
        return TChannelNumber{*v, true};
    };
    const std::optional<TChannelNumber> alertMin = number(In.AlertMin, ch.MinAlert);
    if (!alertMin) {
        message(QStringLiteral("Недопустимое минимальное предельное значение для сигнализации %1 канала!")
                    .arg(nth));
        return TWriteResult::Refused;
    }
    const std::optional<TChannelNumber> alertMax = number(In.AlertMax, ch.MaxAlert);
    if (!alertMax) {
        message(QStringLiteral("Недопустимое максимальное предельное значение для сигнализации %1 канала!")
                    .arg(nth));
        return TWriteResult::Refused;
    }
    std::optional<TChannelNumber> rangeMin;
    std::optional<TChannelNumber> rangeMax;
    if (!type1) {
        rangeMin = number(In.RangeMin, ch.MinBound);
        if (!rangeMin) {
            message(QStringLiteral("Недопустимое минимальная граница диапазона %1 канала!").arg(nth));
            return TWriteResult::Refused;
        }
        rangeMax = number(In.RangeMax, ch.MaxBound);
        if (!rangeMax) {
            message(QStringLiteral("Недопустимое максимальная граница диапазона %1 канала!").arg(nth));
            return TWriteResult::Refused;
        }
    }
    const TSensorType sensor = ByteToSensorType(*In.SensorType);
    const quint8 model = *In.SensorModel;
    const std::optional<int> d = In.Digits;
    if (d && (*d < GetMinSignificantDigits(sensor) || *d > GetMaxSignificantDigits(sensor))) {
        message(QStringLiteral("Недопустимое количество значащих разрядов для %1 канала!").arg(nth));
        return TWriteResult::Refused;
    }

    TExchange x;
    if (In.Enabled != ch.Enabled) {
        const quint8 b = In.Enabled ? 1 : 0;
        x.Items.push_back(writeItem(RegChannelEnable(Channel), {&b, 1}));
    }
    // On type 1 the other kind's nibble goes out as the record holds it, which is the byte read.
    if (d && *d != DigitsTarget(Device_.DeviceType, sensor, ch)) {
        const quint8 b = EncodeDigitsByte(Device_.DeviceType, sensor, ch, *d);
        x.Items.push_back(writeItem(RegDecimals(Channel), {&b, 1}));
    }
    if (sensor != ch.SensorType || model != ch.SensorModel) {
        const std::array<quint8, 2> b = {SensorTypeToByte(sensor), model};
        x.Items.push_back(writeItem(RegSensorType(Channel), b));
    }
    if (differs(ch.MinAlert, *alertMin) || differs(ch.MaxAlert, *alertMax))
        x.Items.push_back(
            writeItem(RegAlarmLimits(Channel), EncodeAlarmLimits(alertMin->Value, alertMax->Value)));
    if (type1) {
        if (In.ColdJunction != ch.UseColdJunction) {
            const quint8 b = EncodeColdJunctionByte(Device_, Channel, In.ColdJunction);
            x.Items.push_back(writeItem(RegColdJunction, {&b, 1}));
        }
    } else if (differs(ch.MinBound, *rangeMin) || differs(ch.MaxBound, *rangeMax)) {
        x.Items.push_back(
            writeItem(RegMeasRange(Channel), EncodeMeasRange(rangeMin->Value, rangeMax->Value)));
    }
    if (x.Items.empty())
        return TWriteResult::Done;

    if (!send(x, Device_.SerialNum))
        return TWriteResult::LinkLost;
    if (!x.Ok)
        return TWriteResult::Failed;

    const QString num = QString::number(Channel);
    bool failed = false;
    bool archiveRelevant = false;
    for (const TNetRequest& r : x.Items) {
        const quint16 a = r.RegAddr;
        if (r.Failed) {
            failed = true;
            QString text;
            if (a == RegAlarmLimits(Channel).Address)
                text =
                    QStringLiteral("Ошибка при установке пороговых значений измерительного канала №") + num;
            else if (a == RegChannelEnable(Channel).Address)
                text = QStringLiteral("Ошибка при установке разрешения измерительного канала №") + num;
            else if (a == RegSensorType(Channel).Address)
                text = QStringLiteral("Ошибка при установке типа датчика измерительного канала №") + num;
            else if (a == RegDecimals(Channel).Address)
                text = QStringLiteral("Ошибка при установке количества знаков после запятой для "
                                      "измерительного канала №") +
                       num;
            else if (type1)
                text =
                    QStringLiteral("Ошибка при установке разрешения компенсации ХК встроенным датчиком для "
                                   "измерительного канала №") +
                    num;
            else
                text = QStringLiteral("Ошибка при установке границ диапазона измерительного канала №") + num;
            journalItem(text + QStringLiteral(": "), x);
            continue;
        }
        if (!acknowledged(r)) {
            failed = true;
            continue;
        }
        if (a == RegAlarmLimits(Channel).Address) {
            ch.MinAlert = alertMin->Value;
            ch.MaxAlert = alertMax->Value;
            archiveRelevant = true;
        } else if (a == RegChannelEnable(Channel).Address) {
            ch.Enabled = In.Enabled;
            if (Row_.Selected && !Row_.Hidden && ch.Enabled)
                attachLine(ch);
        } else if (a == RegSensorType(Channel).Address) {
            ch.SensorType = sensor;
            ch.SensorModel = model;
            archiveRelevant = true;
            if (type1) {
                // Type 1 takes its quantity and unit from the sensor type.
                ch.QuantityName = GetQuantityName(sensor);
                ch.MeasUnitName = GetUnitName(sensor);
                followQuantity(ch);
            }
        } else if (a == RegDecimals(Channel).Address) {
            DigitsTarget(Device_.DeviceType, sensor, ch) = *d;
        } else if (type1) {
            ch.UseColdJunction = In.ColdJunction;
        } else {
            ch.MinBound = rangeMin->Value;
            ch.MaxBound = rangeMax->Value;
            archiveRelevant = true;
        }
        if (archiveRelevant)
            reportChannels();
    }
    applyExtraRecords(x);
    return failed ? TWriteResult::Failed : TWriteResult::Done;
}

TWriteResult TDeviceConfigWrites::WriteQuantityName(int Channel, const QString& Name, const QString& Unit)
{
    if (!QuantityNameFits(Channel, Name, Unit))
        return TWriteResult::Refused;
    TMeasureChannel& ch = Device_.Channel(Channel);
    const QString name = NormalizeQuantityName(Name);
    const QString unit = NormalizeMeasUnitName(Unit);
    const bool newName = name != ch.QuantityName;
    const bool newUnit = unit != ch.MeasUnitName;
    if (!newName && !newUnit)
        return TWriteResult::Done;
    const TRegister reg = RegQuantityName(Channel);
    const QString errorText = QStringLiteral(
        "Ошибка при изменении наименования измеряемой величины и единиц измерения устройства: ");
    std::array<quint8, 40> bytes = EncodeQuantityNames(name, unit);
    if (!newName || !newUnit) {
        // The record holds the texts trimmed, without the device's blanks and zero
        // bytes: the part left alone goes out as the device holds it, read afresh.
        std::array<quint8, 40> held{};
        const TWriteResult r = readOne(reg, errorText, held);
        if (r != TWriteResult::Done)
            return r;
        const std::size_t from = newName ? QuantityNameLength : 0;
        const std::size_t count = newName ? MeasUnitNameLength : QuantityNameLength;
        std::copy_n(held.begin() + from, count, bytes.begin() + from);
    }
    return writeOne(Device_.SerialNum, reg, bytes, errorText, [&] {
        DecodeQuantityNames(bytes, ch.QuantityName, ch.MeasUnitName);
        reportChannels();
        followQuantity(ch);
    });
}

bool TDeviceConfigWrites::QuantityNameFits(int Channel, const QString& Name, const QString& Unit)
{
    const QString nth = ordinal(Channel);
    return fitsDevice(NormalizeQuantityName(Name),
                      QStringLiteral("в названии измеряемой величины %1 канала").arg(nth)) &&
           fitsDevice(NormalizeMeasUnitName(Unit), QStringLiteral("в единицах измерения %1 канала").arg(nth));
}

TWriteResult TDeviceConfigWrites::RestartDevice()
{
    const quint8 b = CommandRestart;
    return writeOne(Device_.SerialNum, RegCommand, {&b, 1},
                    QStringLiteral("Ошибка при перезагрузке устройства: "), {});
}

void TDeviceConfigWrites::serialChanged(quint16 OldSerial)
{
    Q_UNUSED(OldSerial);
    for (int n = 1; n <= 2; ++n) {
        TGraphLine* line = Device_.Channel(n).GraphLine.get();
        if (!line)
            continue;
        line->Title = ChannelLineTitle(Device_.SerialNum, n);
        if (line->Series)
            line->Series->SetTitle(line->Title);
    }
    Hooks_.ReloadStringgrid();
    // The next start loads the device under its new number.
    QString err;
    if (!IniFileName.isEmpty() && !WriteDevicesList(IniFileName, err))
        AddJournalMessage(err);
    reportDevice();
    reportChannels();
}

TWriteResult TDeviceConfigWrites::WriteSerialAndHwVersion(int SerialNum, const QString& HwVersionText)
{
    const std::optional<qint64> hw = StrToInt64Fixed(HwVersionText);
    if (!hw || *hw < 0 || *hw > 255) {
        message(QStringLiteral("Недопустимая аппаратная версия устройства!"));
        return TWriteResult::Refused;
    }
    const quint16 serial = quint16(SerialNum);
    bool failed = false;
    if (serial != Device_.SerialNum) {
        for (const auto& other : DevArray) {
            if (other.get() != &Row_ && other->Device && other->Device->SerialNum == serial) {
                message(QStringLiteral("Устройство с серийным номером %1 уже есть в списке устройств!")
                            .arg(SerialToStr(serial)));
                return TWriteResult::Refused;
            }
        }
    }
    const bool asked = serial != Device_.SerialNum;
    const bool agreed =
        asked && Prompts::Current().YesNo(Parent,
                                          QStringLiteral("После изменения серийного номера данное устройство "
                                                         "будет недоступно, если такого номера нет в писке "
                                                         "устройств. Измененить серийный номер устройства?"),
                                          CaptionAttention);
    if (asked && !rowInTable())
        return TWriteResult::RowGone;
    if (agreed) {
        std::array<quint8, 2> b{};
        PutWordBE(b, 0, serial);
        const quint16 old = Device_.SerialNum;
        const TWriteResult r =
            writeOne(old, RegSerialNumber, b,
                     QStringLiteral("Ошибка при изменении серийного номера устройства: "), [&] {
                         Device_.SerialNum = serial;
                         serialChanged(old);
                     });
        if (r == TWriteResult::LinkLost)
            return r;
        failed = r != TWriteResult::Done;
    }
    if (*hw != Device_.HwVersion) {
        const quint8 b = quint8(*hw);
        const TWriteResult r = writeOne(Device_.SerialNum, RegHwVersion, {&b, 1},
                                        QStringLiteral("Ошибка при изменении аппаратной версии устройства: "),
                                        [&] { Device_.HwVersion = b; });
        if (r == TWriteResult::LinkLost)
            return r;
        failed = failed || r != TWriteResult::Done;
    }
    return failed ? TWriteResult::Failed : TWriteResult::Done;
}

TWriteResult TDeviceConfigWrites::WriteComment(const QString& Text)
{
    const QString padded = PadComment(Text);
    if (!fitsDevice(padded, QStringLiteral("в комментарии")))
        return TWriteResult::Refused;
    if (padded == Device_.Comment)
        return TWriteResult::Done;
    return writeOne(Device_.SerialNum, RegComment, EncodeComment(padded),
                    QStringLiteral("Ошибка при изменении комментария устройства: "), [&] {
                        Device_.Comment = padded;
                        // Stopped polling would leave the table on the old text.
                        Hooks_.ReloadStringgrid();
                        reportDevice();
                    });
}

bool TDeviceConfigWrites::ReadFirmwareCrc(QString& CrcText)
{
    TExchange x;
    x.Items.push_back(TDeviceWork::ReadRequest(RegFwInfo.Address, quint8(RegFwInfo.Length)));
    TConnection* link = Hooks_.Link();
    if (link) {
        x.Ok =
            NetExchange(*link, Device_.SerialNum, x.Items, x.Error, x.Extra, x.ExtraCount, x.Rssi, x.NoReply);
    } else {
        x.Error = NetNotInitializedMessage;
    }
    const QString serial5 = SerialToStr(Device_.SerialNum);
    if (!x.Ok) {
        JournalDeviceError(x.Error, Device_, SuffixExchange + serial5);
        if (x.NoReply) {
            Row_.Status = dsNoLink;
            Hooks_.ReloadStringgrid();
            if (StopPollingIfLinkLost)
                StopPollingIfLinkLost();
        }
        return false;
    }
    Device_.SignalAtPC = x.Rssi;
    const TNetRequest& item = x.Items[0];
    if (item.Failed) {
        JournalDeviceError(x.Error, Device_,
                           QStringLiteral(" при чтении параметров прошивки устройства сер.№ ") + serial5);
        return false;
    }
    bool ok = false;
    quint16 crc = 0;
    if (acknowledged(item) && DecodeFwInfoCrc(std::span<const quint8>(item.Data).first(item.DataLen), crc)) {
        CrcText = QStringLiteral("CRC: ") + QStringLiteral("%1").arg(crc, 4, 16, QLatin1Char('0')).toUpper();
        ok = true;
    }
    applyExtraRecords(x);
    return ok;
}
