#pragma once

#include <QWidget>

#include <memory>

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

private:
    std::unique_ptr<Ui::TFormDeviceConfig> ui;
};

extern TFormDeviceConfig* FormDeviceConfig;
