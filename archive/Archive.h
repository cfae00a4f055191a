#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TFormArchive;
}

// Created once at start-up and reused for the whole run; its contents arrive
// with the features that use it.
class TFormArchive : public QDialog
{
    Q_OBJECT

public:
    explicit TFormArchive(QWidget* Parent = nullptr);
    ~TFormArchive() override;

private:
    std::unique_ptr<Ui::TFormArchive> ui;
};

extern TFormArchive* FormArchive;
