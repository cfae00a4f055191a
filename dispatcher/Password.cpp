#include "dispatcher/Password.h"

#include "ui_Password.h"

TFormPassword* FormPassword = nullptr;

TFormPassword::TFormPassword(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TFormPassword>())
{
    ui->setupUi(this);
}

TFormPassword::~TFormPassword()
{
    if (FormPassword == this)
        FormPassword = nullptr;
}
