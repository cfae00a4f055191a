#include "charts/PrintDialog.h"

#include "ui_PrintDialog.h"

TFormPrintDialog* FormPrintDialog = nullptr;

TFormPrintDialog::TFormPrintDialog(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TFormPrintDialog>())
{
    ui->setupUi(this);
}

TFormPrintDialog::~TFormPrintDialog()
{
    if (FormPrintDialog == this)
        FormPrintDialog = nullptr;
}
