#include "platform/QtGapTranslator.h"

#include <cstring>

QString TQtGapTranslator::translate(const char* Context, const char* SourceText, const char*, int) const
{
    if (!Context || !SourceText || std::strcmp(Context, "QAbstractFileIconProvider") != 0)
        return {};
    static const struct
    {
        const char* Source;
        const char16_t* Russian;
    } texts[] = {{"Folder", u"Папка"}, {"Drive", u"Диск"}, {"Alias", u"Ярлык"}, {"Unknown", u"Неизвестно"}};
    for (const auto& t : texts) {
        if (std::strcmp(SourceText, t.Source) == 0)
            return QString::fromUtf16(t.Russian);
    }
    return {};
}
