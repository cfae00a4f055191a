#include "platform/SystemError.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

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
    return Russian(systemText(ErrorNumber));
}

QString SystemError::Russian(const QString& Reason)
{
    // Longest first: one system text can hold another ("No such device" in
    // "No such device or address"), which must not be replaced inside it.
    std::vector<std::pair<QString, QString>> texts;
    for (const auto& [number, russian] : Known) {
        QString english = systemText(number);
        if (!english.isEmpty())
            texts.emplace_back(std::move(english), QString::fromUtf8(russian));
    }
    std::stable_sort(texts.begin(), texts.end(),
                     [](const auto& A, const auto& B) { return A.first.size() > B.first.size(); });
    QString text = Reason;
    for (const auto& [english, russian] : texts)
        text.replace(english, russian);
    // Qt's text when it knows no reason, and the C library's for a number it
    // does not know ("Unknown error 1234").
    text.replace(QStringLiteral("Unknown error"), QStringLiteral("неизвестная ошибка"));
    return text;
}
