#pragma once

#include <QString>
#include <QStringList>

// Parameters look like "-ini=/path/file.ini" or "/PWD:code": one leading character,
// the key in any case, one separator character, the value. The first parameter
// that matches gives the value; "" when none does. Args[0] is the program path,
// which on Linux is a path that could look like a parameter, so it is skipped.
QString GetParamValue(const QStringList& Args, const QString& Key);
