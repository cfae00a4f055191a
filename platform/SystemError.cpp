#include "platform/SystemError.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

namespace {

const std::array<std::pair<int, const char*>, 20> Known = {{
    {ENOSPC, "нет места на диске"},
    {EDQUOT, "превышена дисковая квота"},
    {EFBIG, "файл слишком велик"},
    {EACCES, "доступ запрещён"},
    {EPERM, "операция не разрешена"},
    {EROFS, "файловая система доступна только для чтения"},
    {ENOENT, "нет такого файла или каталога"},
    {ENOTDIR, "часть пути не является каталогом"},
    {EISDIR, "это каталог"},
    {EEXIST, "файл уже существует"},
    {ENAMETOOLONG, "слишком длинное имя файла"},
    {EIO, "ошибка ввода-вывода"},
    {EBUSY, "устройство или ресурс занят"},
    {ENODEV, "нет такого устройства"},
    {ENXIO, "нет такого устройства или адреса"},
    {EMFILE, "открыто слишком много файлов"},
    {ENFILE, "в системе открыто слишком много файлов"},
    {ENOMEM, "недостаточно памяти"},
    {EINVAL, "недопустимый аргумент"},
    {ETXTBSY, "файл занят"},
}};

QString systemText(int ErrorNumber)
{
    return QString::fromLocal8Bit(std::strerror(ErrorNumber));
}

} // namespace

QString SystemError::Text(int ErrorNumber)
{
    for (const auto& [number, text] : Known) {
        if (number == ErrorNumber)
            return QString::fromUtf8(text);
    }
    return systemText(ErrorNumber);
}

QString SystemError::Russian(const QString& Reason)
{
    QString text = Reason;
    for (const auto& [number, russian] : Known) {
        const QString english = systemText(number);
        if (!english.isEmpty() && text.contains(english))
            text.replace(english, QString::fromUtf8(russian));
    }
    return text;
}
