#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TFormPrintDialog;
}

// Created once at start-up and reused for the whole run; its contents arrive
// with the features that use it.
class TFormPrintDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TFormPrintDialog(QWidget* Parent = nullptr);
    ~TFormPrintDialog() override;

private:
    std::unique_ptr<Ui::TFormPrintDialog> ui;
};

extern TFormPrintDialog* FormPrintDialog;
