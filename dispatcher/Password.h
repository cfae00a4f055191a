#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TFormPassword;
}

// Created once at start-up and reused for the whole run; its contents arrive
// with the features that use it.
class TFormPassword : public QDialog
{
    Q_OBJECT

public:
    explicit TFormPassword(QWidget* Parent = nullptr);
    ~TFormPassword() override;

private:
    std::unique_ptr<Ui::TFormPassword> ui;
};

extern TFormPassword* FormPassword;
