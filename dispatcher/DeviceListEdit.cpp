#include "dispatcher/DeviceListEdit.h"

#include "core/StringFunc.h"
#include "dispatcher/DispatcherHooks.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/SettingsFile.h"
#include "platform/Prompts.h"

#include <QList>
#include <QStringList>
#include <algorithm>

namespace {
const QString Caution = QStringLiteral("Внимание");
}

TDeviceListEdit::TDeviceListEdit(TDispatcherHooks& Hooks, QWidget* Parent) : Hooks_(Hooks), Parent_(Parent) {}

void TDeviceListEdit::message(const QString& Text)
{
    Prompts::Current().Message(Parent_, Text, Caution);
}

void TDeviceListEdit::ActionAddSerialNumExecute()
{
    if (PollingActive) {
        message(QStringLiteral("Добавление нового устройства невозможно в режиме опроса!"));
        return;
    }
    const std::optional<quint16> serial = AskSerialNum ? AskSerialNum() : std::nullopt;
    if (!serial)
        return;

    // The stored list decides whether the number is new, not the table.
    QString error;
    switch (AddSerialToDevicesList(IniFileName, *serial, error)) {
    case TDevicesListEdit::Done:
        break;
    case TDevicesListEdit::AlreadyPresent:
        message(QStringLiteral("Устройство с таким номером уже есть в списке!"));
        return;
    case TDevicesListEdit::OutOfRange:
        message(QStringLiteral("Список устройств в файле настроек содержит номер вне диапазона 0..65535. "
                               "Исправьте параметр DevicesList (раздел Devices) файла \"%1\", "
                               "затем добавьте устройство.")
                    .arg(IniFileName));
        return;
    case TDevicesListEdit::WriteFailed:
    case TDevicesListEdit::NotFound:
        message(QStringLiteral("Устройство с номером %1 не добавлено: не удалось сохранить список устройств "
                               "в файле настроек.\n")
                    .arg(SerialToStr(*serial)) +
                error);
        return;
    }
    // At the end, whatever the sort and filter: they are not applied to it.
    DevArray.push_back(std::make_unique<TTableDevice>(*serial));
    Hooks_.ReloadStringgrid();
}

bool TDeviceListEdit::ActionDeleteDevicesExecute()
{
    if (PollingActive) {
        message(QStringLiteral("Удаление устройства невозможно в режиме опроса!"));
        return false;
    }
    QList<quint16> serials;
    QStringList texts;
    for (const auto& row : DevArray) {
        if (row->Selected) {
            serials << row->Device->SerialNum;
            texts << SerialToStr(row->Device->SerialNum);
        }
    }
    if (serials.isEmpty()) {
        message(QStringLiteral("Не выделены устройства для удаления!"));
        return false;
    }
    if (!Prompts::Current().YesNo(Parent_,
                                  QStringLiteral("Удалить из списка устройства с номерами ") +
                                      texts.join(QStringLiteral(", ")) + QLatin1Char('?'),
                                  Caution))
        return false;
    const std::size_t before = DevArray.size();
    for (const quint16 serial : serials) {
        // A file that cannot be written now will not take the next number either.
        if (!DelDevFromArray(serial))
            break;
    }
    return DevArray.size() < before;
}

bool TDeviceListEdit::DelDevFromArray(quint16 SerialNum)
{
    const auto holdsSerial = [SerialNum](const auto& Row) { return Row->Device->SerialNum == SerialNum; };
    const auto found = std::find_if(DevArray.begin(), DevArray.end(), holdsSerial);
    if (found == DevArray.end())
        return true;

    QString error;
    const TDevicesListEdit result = RemoveSerialFromDevicesList(IniFileName, SerialNum, error);
    if (result == TDevicesListEdit::WriteFailed) {
        message(QStringLiteral("Устройство с номером %1 не удалено: не удалось сохранить список устройств "
                               "в файле настроек.\n")
                    .arg(SerialToStr(SerialNum)) +
                error);
        return false;
    }

    TTableDevice* const row = found->get();
    if (RowDeleting)
        RowDeleting(row);
    // Whoever was told may have let window messages run: find the row again.
    const auto pos =
        std::find_if(DevArray.begin(), DevArray.end(), [row](const auto& Row) { return Row.get() == row; });
    if (pos != DevArray.end()) {
        // Out of the table first, then freed: its chart lines and channels (channel
        // 1 first), then the device, then the row.
        std::unique_ptr<TTableDevice> freed = std::move(*pos);
        DevArray.erase(pos);
        freed.reset();
    }
    Hooks_.ReloadStringgrid();

    if (result == TDevicesListEdit::NotFound)
        message(QStringLiteral("Устройство с номером ") + QString::number(SerialNum) +
                QStringLiteral(" не найдено в списке!"));
    return true;
}
