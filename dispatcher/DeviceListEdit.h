#pragma once

#include <QString>
#include <QtGlobal>
#include <functional>
#include <optional>

class QWidget;
class TDispatcherHooks;
class TTableDevice;

// The main window's add and delete actions. Each changes two things together: the
// device table (DevArray) and the stored list "DevicesList" of the settings file
// IniFileName, which the next start loads. Neither runs while polling does. The
// messages and the question go through Prompts with the caption "Внимание".
//
// The settings file is written first and the table changes only after the write
// succeeded, so a failed write leaves both as they were: the table never shows a
// device the next start would not load, nor misses one it would.
class TDeviceListEdit
{
public:
    TDeviceListEdit(TDispatcherHooks& Hooks, QWidget* Parent);

    // Shows the add dialog: the number entered, or nothing when it was not accepted.
    std::function<std::optional<quint16>()> AskSerialNum;
    // Told about a row just before it is freed, while it is still whole, so whoever
    // keeps it can let go.
    std::function<void(TTableDevice*)> RowDeleting;

    void ActionAddSerialNumExecute();
    // Deletes every selected row, hidden ones too, after the operator agreed.
    // True when at least one row went.
    bool ActionDeleteDevicesExecute();
    // Removes the first row holding SerialNum (none: nothing happens) and every
    // occurrence of the number in the stored list. A number missing from the list
    // is reported and the row goes all the same. False when the settings file could
    // not be written: that is reported and the row stays.
    bool DelDevFromArray(quint16 SerialNum);

private:
    void message(const QString& Text);

    TDispatcherHooks& Hooks_;
    QWidget* Parent_;
};
