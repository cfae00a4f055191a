#pragma once

#include <QString>

// Russian texts for the reasons the system gives (errno), for the messages the
// operator reads. The C library and Qt's file classes give them in English.
class SystemError
{
public:
    // The reason for an error number; the system's own text for one not known here.
    static QString Text(int ErrorNumber);
    // A reason as Qt's file classes give it (errorString()): every system text
    // of a known error number in it is replaced by the Russian one.
    static QString Russian(const QString& Reason);
};
