#pragma once

#include <QString>
#include <QtGlobal>

class TConfigHost;
class TDevice;
class TDeviceWork;

// The input calibration of the shown device: the operator applies a reference
// signal, the device gets the step's command code, echoes it, and reports the
// step done by clearing the command register. One step machine for the window;
// the proceed buttons of the four input kinds drive it.
//
// While a step is being worked on (write, echo, wait) window messages run, but
// clicks on the calibration buttons are ignored, and an abort (window closed,
// row deleted) ends the calibration without touching the device again. While a
// calibration runs, the other kinds' buttons are refused. A button of inputs the
// shown device no longer has shows the panel of its present type instead.
class TCalibration
{
public:
    static constexpr int EchoPauseMs = 200;
    static constexpr int WaitRounds = 41;
    static constexpr int WaitPauseMs = 500;

    // Input kinds, in the order of their proceed buttons.
    static constexpr int KindThermocouple = 0;
    static constexpr int KindResistance = 1;
    static constexpr int KindCurrent = 2;
    static constexpr int KindVoltage = 3;

    // Number of steps of a kind and the command code of step 1..3.
    static int StepCount(int Kind);
    static quint8 StepCode(int Kind, int Step);
    // The instruction before step 1..3, and the closing text (Step 0).
    static QString Instruction(int Kind, int Step);

    static const QString ResetQuestion;
    // Another kind's button while a calibration runs.
    static const QString OtherKindRunningMessage;

    TCalibration(TConfigHost& Host, TDeviceWork& Work);

    int CalibrKind() const { return CalibrKind_; }
    int CalibrStep() const { return CalibrStep_; }
    bool CalibrBusy() const { return CalibrBusy_; }
    // A step is being worked on right now.
    bool Working() const { return Working_; }

    void TabSheetCalibrShow();
    void ReadCalibrStatusRegister();
    void ButtonResetCalibrStatusClick();
    void BitBtnCalibrProceedClick(int Kind);
    void CalibrError(const QString& Text);
    // The window closes or the shown row goes: a running calibration ends at once.
    void Abort();

private:
    enum class TRegResult
    {
        Ok,
        RequestFailed,
        WrongLength,
        ExchangeFailed,
        Aborted,
    };
    // One single-byte read or write of the command register, epilogue included.
    TRegResult commandExchange(bool Write, quint8 Value, quint8& Read, QString& Err);
    void runStep(int Step);
    // Kind's inputs are not the shown device's (its type changed since the panel was
    // shown): a calibration under way ends, the present type's page is shown, and
    // true. Also true without a device.
    bool showPresentType(int Kind);
    void setInstruction(const QString& Text);

    TConfigHost& Host_;
    TDeviceWork& Work_;
    int CalibrKind_ = 0;
    int CalibrStep_ = 0;
    bool CalibrBusy_ = false;
    bool Working_ = false;
    bool Aborted_ = false;
};
