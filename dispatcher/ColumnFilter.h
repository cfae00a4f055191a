#pragma once

// The column filter of the device table: one column at a time, chosen from the
// distinct row texts of that column, evaluated once when chosen.

#include "dispatcher/DispatcherState.h"

#include <QString>
#include <QStringList>

// The text a row shows to the filter: 1 the status text, 2 "Есть"/"Нет" (faults
// present or not), 3 the five-digit serial number, 4 the device type name; empty
// for any other column.
QString ColumnRowText(const TTableDevice& Row, int Column);

// The items of the filter list of a column: the empty item first, then every
// row's text in table order (hidden rows included), each text once.
QStringList ColumnFilterItems(const TDevArray& Rows, int Column);

// Sets FilterText and FilterColumn and every row's Hidden flag: a non-empty Text
// hides the rows whose text in Column differs; the empty text shows every row
// and leaves no filter column.
void ApplyColumnFilter(TDevArray& Rows, int Column, const QString& Text);
