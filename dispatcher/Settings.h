#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TFormSettings;
}

// Created once at start-up and reused for the whole run; its contents arrive
// with the features that use it.
class TFormSettings : public QDialog
{
    Q_OBJECT

public:
    explicit TFormSettings(QWidget* Parent = nullptr);
    ~TFormSettings() override;

private:
    std::unique_ptr<Ui::TFormSettings> ui;
};

extern TFormSettings* FormSettings;
