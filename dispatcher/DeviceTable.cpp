#include "dispatcher/DeviceTable.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

const QStringList ColumnCaptions = {
    QStringLiteral("№ п.п."),
    QStringLiteral("Статус"),
    QStringLiteral("Неисправности"),
    QStringLiteral("Серийный №"),
    QStringLiteral("Тип устройства"),
    QStringLiteral("Ур. принятого сигнала ЛОРВ"),
    QStringLiteral("Ур. принятого сигнала ПК"),
    QStringLiteral("Комментарий"),
};

namespace {

const QString TextNoLink = QStringLiteral("Нет связи");
const QString TextOk = QStringLiteral("Ок");
const QString TextWarning = QStringLiteral("Внимание!");
const QString TextAlarm = QStringLiteral("Тревога!");

} // namespace

void StatusToText(quint8 Status, QString& Text)
{
    switch (Status) {
    case dsNoLink:
        Text = TextNoLink;
        break;
    case dsOk:
        Text = TextOk;
        break;
    case dsWarning:
        Text = TextWarning;
        break;
    case dsAlarm:
        Text = TextAlarm;
        break;
    default:
        break;
    }
}

quint8 TextToStatus(const QString& Text)
{
    if (Text == TextNoLink)
        return dsNoLink;
    if (Text == TextOk)
        return dsOk;
    if (Text == TextWarning)
        return dsWarning;
    return dsAlarm;
}

qint64 GetSortKey(const TTableDevice& Row, int Column)
{
    const TDevice& device = *Row.Device;
    switch (Column) {
    case 1:
        return Row.Status;
    case 2:
        return static_cast<qint64>(device.FaultRegister);
    case 3:
        return device.SerialNum;
    case 4:
        return static_cast<qint64>(device.DeviceType);
    case 5:
        return device.SignalAtDevice;
    case 6:
        return device.SignalAtPC;
    default:
        return -1;
    }
}

void QuickSortDevices(TDevArray& Rows, int Column, int Lo, int Hi)
{
    if (Lo < 0 || Hi >= static_cast<int>(Rows.size()))
        return;
    // The second half is sorted by looping rather than recursing; the first half
    // must still be sorted first, because the two ranges can share one row.
    while (Lo < Hi) {
        const qint64 pivot = GetSortKey(*Rows[Hi - (Hi - Lo) / 2], Column);
        int i = Lo;
        int j = Hi;
        do {
            while (GetSortKey(*Rows[i], Column) < pivot)
                ++i;
            while (GetSortKey(*Rows[j], Column) > pivot)
                --j;
            if (i <= j) {
                std::swap(Rows[i], Rows[j]);
                ++i;
                --j;
            }
        } while (i < j);
        if (Lo < j)
            QuickSortDevices(Rows, Column, Lo, j);
        if (i >= Hi)
            return;
        Lo = i;
    }
}

void SortDeviceList(TDevArray& Rows, int Column, int Direction)
{
    if (Direction == 0 || Rows.empty())
        return;
    QuickSortDevices(Rows, Column, 0, static_cast<int>(Rows.size()) - 1);
    if (Direction == 2)
        std::reverse(Rows.begin(), Rows.end());
}

void SortDeviceList(int Column, int Direction)
{
    SortDeviceList(DevArray, Column, Direction);
}

const std::array<QColor, 16> LineColorTable = {
    QColor(255, 0, 0),     QColor(166, 202, 240), QColor(255, 255, 0), QColor(0, 0, 255),
    QColor(255, 255, 255), QColor(128, 128, 128), QColor(255, 0, 255), QColor(0, 128, 128),
    QColor(0, 0, 128),     QColor(128, 0, 0),     QColor(0, 255, 0),   QColor(128, 128, 0),
    QColor(128, 0, 128),   QColor(192, 192, 192), QColor(0, 255, 255), QColor(0, 0, 0),
};

QColor GetLineColor(int Index)
{
    return LineColorTable[static_cast<std::size_t>(Index & 15)];
}

int RoundToInt(double Value)
{
    if (std::isnan(Value))
        throw std::range_error("RoundToInt: NaN");
    // Extended precision, so that adding the half cannot round the sum up
    // (0.49999999999999994 + 0.5 is exactly 1 in double).
    const long double v = Value;
    const long double r = v >= 0 ? std::trunc(v + 0.5L) : -std::trunc(-v + 0.5L);
    if (r < std::numeric_limits<int>::min() || r > std::numeric_limits<int>::max())
        throw std::range_error("RoundToInt: value out of the 32-bit range");
    return static_cast<int>(r);
}

QColor ContrastTextColor(const QColor& Color)
{
    return Color.red() + Color.green() + Color.blue() < 385 ? QColor(255, 255, 255) : QColor(0, 0, 0);
}

QSize MeasureText(const QString& Text, const QFont& Font)
{
    QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setFont(Font);
    const QFontMetrics metrics = painter.fontMetrics();
    return QSize(metrics.horizontalAdvance(Text), metrics.height());
}
