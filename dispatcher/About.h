#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TFormAbout;
}

// Created once at start-up and reused for the whole run; its contents arrive
// with the features that use it.
class TFormAbout : public QDialog
{
    Q_OBJECT

public:
    explicit TFormAbout(QWidget* Parent = nullptr);
    ~TFormAbout() override;

private:
    std::unique_ptr<Ui::TFormAbout> ui;
};

extern TFormAbout* FormAbout;
