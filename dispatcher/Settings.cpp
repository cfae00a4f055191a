#include "dispatcher/Settings.h"

#include "ui_Settings.h"

TFormSettings* FormSettings = nullptr;

TFormSettings::TFormSettings(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TFormSettings>())
{
    ui->setupUi(this);
}

TFormSettings::~TFormSettings()
{
    if (FormSettings == this)
        FormSettings = nullptr;
}
