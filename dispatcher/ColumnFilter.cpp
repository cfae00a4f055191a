#include "dispatcher/ColumnFilter.h"

#include "core/StringFunc.h"
#include "dispatcher/DeviceTable.h"

QString ColumnRowText(const TTableDevice& Row, int Column)
{
    QString text;
    const TDevice& device = *Row.Device;
    switch (Column) {
    case 1:
        StatusToText(Row.Status, text);
        break;
    case 2:
        text = device.FaultRegister != 0 ? QStringLiteral("Есть") : QStringLiteral("Нет");
        break;
    case 3:
        text = SerialToStr(device.SerialNum);
        break;
    case 4:
        GetDeviceTypeName(device.DeviceType, text);
        break;
    default:
        break;
    }
    return text;
}

QStringList ColumnFilterItems(const TDevArray& Rows, int Column)
{
    QStringList items{QString()};
    for (const auto& row : Rows) {
        const QString text = ColumnRowText(*row, Column);
        if (!items.contains(text, Qt::CaseSensitive))
            items.append(text);
    }
    return items;
}

void ApplyColumnFilter(TDevArray& Rows, int Column, const QString& Text)
{
    FilterText = Text;
    if (Text.isEmpty()) {
        FilterColumn = -1;
        for (auto& row : Rows)
            row->Hidden = false;
        return;
    }
    FilterColumn = Column;
    for (auto& row : Rows)
        row->Hidden = ColumnRowText(*row, Column) != Text;
}
