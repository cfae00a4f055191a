#include "dispatcher/About.h"

#include "ui_About.h"

TFormAbout* FormAbout = nullptr;

TFormAbout::TFormAbout(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TFormAbout>())
{
    ui->setupUi(this);
}

TFormAbout::~TFormAbout()
{
    if (FormAbout == this)
        FormAbout = nullptr;
}
