#pragma once

#include <QWidget>
#include <memory>

class TTableDevice;

namespace Ui {
class TFormDeviceConfig;
}

// Created once at start-up and reused for the whole run; its contents arrive
// with the features that use it.
class TFormDeviceConfig : public QWidget
{
    Q_OBJECT

public:
    explicit TFormDeviceConfig(QWidget* Parent = nullptr);
    ~TFormDeviceConfig() override;

    // The row shown; set by the main window before each show, not owned.
    TTableDevice* TableDevice = nullptr;

private:
    std::unique_ptr<Ui::TFormDeviceConfig> ui;
};

extern TFormDeviceConfig* FormDeviceConfig;
