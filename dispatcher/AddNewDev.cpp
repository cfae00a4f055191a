#include "dispatcher/AddNewDev.h"

#include "ui_AddNewDev.h"

TFormAddNewDevice* FormAddNewDevice = nullptr;

TFormAddNewDevice::TFormAddNewDevice(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TFormAddNewDevice>())
{
    ui->setupUi(this);
}

TFormAddNewDevice::~TFormAddNewDevice()
{
    if (FormAddNewDevice == this)
        FormAddNewDevice = nullptr;
}
