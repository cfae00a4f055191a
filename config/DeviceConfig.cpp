#include "config/DeviceConfig.h"

#include "ui_DeviceConfig.h"

TFormDeviceConfig* FormDeviceConfig = nullptr;

TFormDeviceConfig::TFormDeviceConfig(QWidget* Parent)
    : QWidget(Parent, Qt::Window), ui(std::make_unique<Ui::TFormDeviceConfig>())
{
    ui->setupUi(this);
}

TFormDeviceConfig::~TFormDeviceConfig()
{
    if (FormDeviceConfig == this)
        FormDeviceConfig = nullptr;
}
