#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TFormAddNewDevice;
}

// Created once at start-up and reused for the whole run; its contents arrive
// with the features that use it.
class TFormAddNewDevice : public QDialog
{
    Q_OBJECT

public:
    explicit TFormAddNewDevice(QWidget* Parent = nullptr);
    ~TFormAddNewDevice() override;

private:
    std::unique_ptr<Ui::TFormAddNewDevice> ui;
};

extern TFormAddNewDevice* FormAddNewDevice;
