#pragma once

#include "dispatcher/SettingsFile.h"

#include <QDialog>
#include <memory>
#include <optional>

namespace Ui {
class TFormSettings;
}
class QButtonGroup;
class QSpinBox;

// The settings dialog: archive folder and daily change time of the archive file,
// modem port, radio channel and power, polling mode and interval, alarm sound.
// Created once at start-up and reused. It only collects and checks values; the
// main window applies them (SettingsApply.h). "Сохранить в файл ..." writes them
// to another settings file without applying anything.
class TFormSettings : public QDialog
{
    Q_OBJECT

public:
    explicit TFormSettings(QWidget* Parent = nullptr);
    ~TFormSettings() override;

    // Fills the controls from the running settings, shows the dialog modally and
    // hands back the values to apply after "Применить"; none when it was closed.
    std::optional<TSettingsValues> Execute();

    // Fills the controls from Values and a fresh port list, selecting "COM" +
    // PortNum when the list has it (else the first port). Values.RFMainPort is not used.
    void FillFrom(const TSettingsValues& Values, int PortNum);
    // The controls' values; false with a Russian text when a field holds no valid
    // number, no port or a port the link cannot take, or an interval too long for
    // the poll timer.
    bool ReadValues(TSettingsValues& Values, QString& Error) const;

    void ButtonSaveSettingsClick();
    void ButtonSaveSettingsAsIniFileClick();
    void BitBtnPlaySampleClick();

private:
    void FormCreate();
    // The checks both buttons start with; each failure is shown in a message box.
    // Applying also checks the typed archive folder.
    bool validate(bool Applying);
    void browseArchiveFolder();

    std::unique_ptr<Ui::TFormSettings> ui;
    QButtonGroup* PollingModeGroup_ = nullptr;
    QButtonGroup* SoundSourceGroup_ = nullptr;
    QButtonGroup* SoundRepeatingGroup_ = nullptr;
};

extern TFormSettings* FormSettings;
