#pragma once

#include <QDir>
#include <QFile>
#include <QString>

// A ports folder under Folder where COM1 is a dangling entry, published through
// KLOV_PORTS_DIR: the main window starts without a modem and without touching a
// real serial device. The caller unsets KLOV_PORTS_DIR when done.
inline void PublishNoModemPorts(const QString& Folder)
{
    const QString ports = Folder + QStringLiteral("/ports");
    QDir().mkpath(ports);
    QFile::link(Folder + QStringLiteral("/none"), ports + QStringLiteral("/COM1"));
    qputenv("KLOV_PORTS_DIR", QFile::encodeName(ports));
}
