#include "config/DeviceWork.h"

#include "config/ConfigHost.h"
#include "core/Device.h"
#include "core/DeviceFunc.h"
#include "core/Logging.h"
#include "core/RS232Comm.h"
#include "core/StringFunc.h"
#include "platform/Prompts.h"

#include <QDateTime>
#include <algorithm>
#include <cmath>

namespace {

const QString Caption = QStringLiteral("Внимание");

} // namespace

TDeviceWork::TDeviceWork(TConfigHost& Host) : Host_(Host) {}

bool TDeviceWork::DisablePolling(int Purpose)
{
    if (!Host_.PollingActive())
        return true;
    const QString q =
        Purpose == ForFirmware
            ? QStringLiteral("Для обновления ПО устройства опрос должен быть остановлен. Прекратить опрос?")
            : QStringLiteral("Для настройки измерительных входов устройства опрос должен быть остановлен. "
                             "Прекратить опрос?");
    if (!Prompts::Current().YesNo(Host_.DialogParent(), q, Caption))
        return false;
    Host_.StopPolling();
    return !Host_.PollingActive();
}

double TDeviceWork::SignalLevel(const TDevice& Device)
{
    return std::max(std::fabs(RssiToDbm(Device.SignalAtDevice)), std::fabs(RssiToDbm(Device.SignalAtPC)));
}

bool TDeviceWork::RfSignalLevelSufficient(int Purpose)
{
    const TConnection* link = Host_.Link();
    if (!link || !link->Connected) {
        Prompts::Current().Message(Host_.DialogParent(),
                                   QStringLiteral("Соединение с радиомодулем не установлено!"), Caption);
        return false;
    }
    TDevice* device = Host_.Device();
    if (!device)
        return false;
    if (Host_.RowStatus() == 0) {
        const QString serial5 = SerialToStr(device->SerialNum);
        QString err;
        if (Host_.ReadDeviceConfig(err)) {
            Host_.CheckAlarmCondition();
        } else {
            // The read may have run window messages: the row may be gone by now.
            device = Host_.Device();
            if (device && DeviceErrorChanged(err, *device) && !err.isEmpty())
                Host_.AddJournalMessage(
                    err + QStringLiteral(" при чтении конфигурации устройства сер.№ ") +
                    SerialToStr(device->SerialNum) +
                    QStringLiteral("при настройке измерительных входов устройства (write 101)"));
            if (CalibrError_)
                CalibrError_(
                    err +
                    QStringLiteral(
                        " Процедура настройки прекращена. Устраните проблему и начните настройку заново."));
            // The calibration page is hidden outside service mode: the update says it on its own page.
            if (Purpose == ForFirmware)
                Host_.AddFwResultLine(QStringLiteral("Обновление ПО не начато: ") + err +
                                      QStringLiteral(" при чтении конфигурации устройства сер.№ ") + serial5 +
                                      QStringLiteral(": ") +
                                      FormatLogTimeStamp(QDateTime::currentDateTime()));
        }
        Host_.UpdateAllValues();
        Host_.ReloadStringgrid();
        device = Host_.Device();
    }
    link = Host_.Link();
    if (!device || !link || !link->Connected || Host_.RowStatus() == 0)
        return false;
    const double level = SignalLevel(*device);
    if (level > MaxSignalLevel) {
        const QString tail = Purpose == ForFirmware
                                 ? QStringLiteral(") не достаточен для обновления ПО устройства!")
                                 : QStringLiteral(") не достаточен для настройки входов устройства!");
        Prompts::Current().Message(Host_.DialogParent(),
                                   QStringLiteral("Уровень радиосигнала (") + FloatToStr(level) + tail,
                                   Caption);
        return false;
    }
    return true;
}

TDeviceExchange TDeviceWork::Exchange(TDevice& Device, std::span<TNetRequest> Requests)
{
    TDeviceExchange x;
    TConnection* link = Host_.Link();
    if (!link) {
        x.Error = NetNotInitializedMessage;
        return x;
    }
    x.Ok =
        NetExchange(*link, Device.SerialNum, Requests, x.Error, x.Extra, x.ExtraCount, x.RfLevel, x.NoReply);
    if (x.Ok)
        Device.SignalAtPC = x.RfLevel;
    return x;
}

void TDeviceWork::Epilogue(TDevice& Device, const TDeviceExchange& X)
{
    if (X.Ok) {
        if (X.ExtraCount > 0)
            Host_.ProcessExtraRecords(X.Extra, X.ExtraCount);
        return;
    }
    if (DeviceErrorChanged(X.Error, Device) && !X.Error.isEmpty())
        Host_.AddJournalMessage(X.Error + QStringLiteral(" при обмене с устройством сер.№ ") +
                                SerialToStr(Device.SerialNum));
    if (X.NoReply) {
        Host_.SetRowNoLink();
        Host_.UpdateAllValues();
    }
}

TNetRequest TDeviceWork::ReadRequest(quint16 Addr, quint8 Len)
{
    TNetRequest r;
    r.NetFunc = NetFunction::Read;
    r.RegAddr = Addr;
    r.DataLen = Len;
    return r;
}

TNetRequest TDeviceWork::WriteRequest(quint16 Addr, std::span<const quint8> Data)
{
    TNetRequest r;
    r.NetFunc = NetFunction::Write;
    r.RegAddr = Addr;
    r.DataLen = quint8(std::min<std::size_t>(Data.size(), TNetRequest::MaxData));
    std::copy_n(Data.begin(), r.DataLen, r.Data.begin());
    return r;
}
