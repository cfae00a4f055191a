#pragma once

// The device table's row texts and order, and the small drawing utilities of the
// main window that the chart and configuration windows use too.

#include "dispatcher/DispatcherState.h"

#include <QColor>
#include <QFont>
#include <QSize>
#include <QString>
#include <QStringList>
#include <array>

constexpr int DeviceTableColumnCount = 8;
// "№ п.п.", "Статус", ... "Комментарий".
extern const QStringList ColumnCaptions;

// "Нет связи", "Ок", "Внимание!", "Тревога!" for 0..3; another status leaves
// Text as it was.
void StatusToText(quint8 Status, QString& Text);
// The inverse; any text but the first three (case-sensitive) gives 3.
quint8 TextToStatus(const QString& Text);

// The key of a row for a table column: 1 status, 2 fault register, 3 serial
// number, 4 device type, 5 and 6 the raw signal bytes at the device and at the
// PC; -1 for any other column. The fault register is taken as the unsigned 32-bit
// value it is, so a register with bit 31 set sorts after every smaller register
// instead of wrapping below zero; the key is therefore 64-bit.
qint64 GetSortKey(const TTableDevice& Row, int Column);

// Ascending quicksort of Rows[Lo..Hi] by the column's key. Rows with equal keys
// end where this procedure puts them (not in their previous order), as the
// operator has always seen them, so no library sort replaces it.
void QuickSortDevices(TDevArray& Rows, int Column, int Lo, int Hi);
// Direction 0 (or an empty table) does nothing; 1 sorts ascending; 2 sorts
// ascending and then reverses the whole table.
void SortDeviceList(TDevArray& Rows, int Column, int Direction);
// The same on DevArray.
void SortDeviceList(int Column, int Direction);

// The default chart line colours.
extern const std::array<QColor, 16> LineColorTable;
// LineColorTable[Index and 15].
QColor GetLineColor(int Index);

// Halves away from zero (2.5 gives 3, -2.5 gives -3). A result outside the 32-bit
// range, or NaN, throws std::range_error: chart geometry that large is a fault
// and goes to the application's exception message.
int RoundToInt(double Value);

// White on a colour whose red + green + blue is below 385, else black.
QColor ContrastTextColor(const QColor& Color);

// Width and height in pixels of one line of Text in Font, measured on an
// off-screen image so that no window needs to exist.
QSize MeasureText(const QString& Text, const QFont& Font);
