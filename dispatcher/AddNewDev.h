#pragma once

#include <QDialog>
#include <memory>
#include <optional>

namespace Ui {
class TFormAddNewDevice;
}
class TIntSpinEdit;

// Asks for the serial number of a device to add. Created once at start-up and
// reused, so the number entered last is offered again.
class TFormAddNewDevice : public QDialog
{
    Q_OBJECT

public:
    explicit TFormAddNewDevice(QWidget* Parent = nullptr);
    ~TFormAddNewDevice() override;

    // Shows the window modally: the number when it was accepted, nothing when it
    // was closed otherwise.
    std::optional<quint16> AskSerialNum();
    quint16 SerialNum() const;
    TIntSpinEdit* SpinEditNewSN() const;

    // Accepts the number typed when it is one of 1..65535; else says so and stays open.
    void Button1Click();
    void FormKeyPress(QChar Key);

protected:
    // The window sees its keys before its controls do.
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    std::unique_ptr<Ui::TFormAddNewDevice> ui;
};

extern TFormAddNewDevice* FormAddNewDevice;
