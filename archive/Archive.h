#pragma once

#include "archive/ArchiveWriter.h"
#include "dispatcher/ArchiveWindow.h"

#include <QDialog>
#include <QString>
#include <QStringList>
#include <memory>
#include <utility>
#include <vector>

namespace Ui {
class TFormArchive;
}
class QDate;
class TGraphLine;
class TGraphicForms;
struct TArchiveValue;

// The archive viewer, created once at start-up and reused for the whole run. It
// owns the archive files through its writer. Shown modally, it reads the stored
// values of the devices selected in the main window's table for a period and
// replays them onto chart lines of its own, or exports them to a spreadsheet or
// to CSV files.
class TFormArchive : public QDialog, public IArchiveWindow
{
    Q_OBJECT

public:
    explicit TFormArchive(QWidget* Parent = nullptr);
    ~TFormArchive() override;

    TArchiveWriter& Writer() { return Writer_; }
    // The chart windows the replay draws in; none means no replay.
    void SetGraphicForms(TGraphicForms* Forms) { GraphicForms_ = Forms; }

    // Once ArchiveDir is settled: names the two history files and creates each
    // that does not exist. An existing file is left for its first use.
    void InitArchiveFiles();
    // Writes Store as an empty file. False after the open-failure box; a file
    // that cannot be created shows its box, asks the run to end and gives true.
    bool InitArchiveFile(TArchiveStore& Store, const QString& Word);
    // Shutdown: the files are closed and the replay lines freed.
    void CloseArchiveFiles() override;

    IArchiveWriter& ArchiveWriter() override { return Writer_; }
    bool OpenArchiveFiles() override;
    void ShowArchiveViewer() override { exec(); }

    // The run behind "Продолжить"; the window closes afterwards whatever happened.
    void ButtonAcceptClick();
    void ButtonCancelClick();
    // Frees every replay line; its series leaves its chart.
    void DestroyArchiveGraphicLinesArray();
    const std::vector<std::unique_ptr<TGraphLine>>& ArchiveGraphicLines() const
    {
        return ArchiveGraphicLinesArray;
    }
    // True while a run reads the archive.
    bool Running() const { return Running_; }
    // The time stamps a device may have in a spreadsheet run: one more ends the
    // reading with the refusal. What a sheet holds; less in tests.
    void SetExcelRecordLimit(qsizetype Limit) { ExcelRecordLimit_ = Limit; }

    // The wait label's first line.
    static const QString WaitText;

Q_SIGNALS:
    // A history file could not be created: the run ends once control returns
    // to the message loop.
    void TerminateApplication();

public Q_SLOTS:
    void reject() override;

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    // 0 charts, 1 spreadsheet, 2 CSV files; -1 when none is chosen.
    int destination() const;
    void runViewer();
    // Steps 5 and 6 of a chart run: false when the operator keeps the live lines.
    bool clearChartsForReplay();
    bool openHistory(TArchiveStore& Store, const QString& ShortText);
    void showDay(const QDate& Day);
    void setWaiting(bool Waiting);
    void replayValue(const TArchiveValue& Value);
    void showReplay();
    // Names the day files the run had to pass over and the device tables it read
    // only in part ("file, прибор NNNNN"), with the values taken from each: its
    // result is incomplete.
    void reportUnreadable(const QStringList& Unread,
                          const std::vector<std::pair<QString, qint64>>& PartlyRead);

    std::unique_ptr<Ui::TFormArchive> ui;
    TArchiveWriter Writer_;
    bool TerminateRequested_ = false;
    TGraphicForms* GraphicForms_ = nullptr;
    std::vector<std::unique_ptr<TGraphLine>> ArchiveGraphicLinesArray;
    bool Running_ = false;
    // The application closes while a run reads: the run ends without output.
    bool Abandoned_ = false;
    qsizetype ExcelRecordLimit_;
    class TReplayLines;
    std::unique_ptr<TReplayLines> Replay_;
};

extern TFormArchive* FormArchive;
