#pragma once

#include "archive/ArchiveWriter.h"
#include "dispatcher/ArchiveWindow.h"

#include <QDialog>
#include <memory>

namespace Ui {
class TFormArchive;
}

// Created once at start-up and reused for the whole run. It owns the archive
// files through its writer; the period viewer arrives with its own feature.
class TFormArchive : public QDialog, public IArchiveWindow
{
    Q_OBJECT

public:
    explicit TFormArchive(QWidget* Parent = nullptr);
    ~TFormArchive() override;

    TArchiveWriter& Writer() { return Writer_; }

    // Once ArchiveDir is settled: names the two history files and creates each
    // that does not exist. An existing file is left for its first use.
    void InitArchiveFiles();
    // Writes Store as an empty file. False after the open-failure box; a file
    // that cannot be created shows its box, asks the run to end and gives true.
    bool InitArchiveFile(TArchiveStore& Store, const QString& Word);
    // Shutdown.
    void CloseArchiveFiles() override;

    IArchiveWriter& ArchiveWriter() override { return Writer_; }
    bool OpenArchiveFiles() override;
    void ShowArchiveViewer() override { exec(); }

Q_SIGNALS:
    // A history file could not be created: the run ends once control returns
    // to the message loop.
    void TerminateApplication();

private:
    std::unique_ptr<Ui::TFormArchive> ui;
    TArchiveWriter Writer_;
    bool TerminateRequested_ = false;
};

extern TFormArchive* FormArchive;
