#include "archive/Archive.h"

#include "ui_Archive.h"

TFormArchive* FormArchive = nullptr;

TFormArchive::TFormArchive(QWidget* Parent) : QDialog(Parent), ui(std::make_unique<Ui::TFormArchive>())
{
    ui->setupUi(this);
}

TFormArchive::~TFormArchive()
{
    if (FormArchive == this)
        FormArchive = nullptr;
}
