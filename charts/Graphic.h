#pragma once

#include <QColor>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace Ui {
class TFormGraphic;
}
class QCheckBox;
class QFrame;
class QLabel;
class TPlotWidget;

// On while the archive replay reads and draws: a window shown meanwhile starts
// without automatic zoom and leaves its stored choice unread.
extern bool ArchiveGraphMode;

// What the print button runs with the window's chart (the chart print dialog).
void SetPrintChartHandler(std::function<void(TPlotWidget&)> Handler);

// The live chart window of one measured quantity and unit. Its lines belong to
// device channels (or the archive replay); the window owns only the per-line
// controls of its side panel. Closing writes its settings section and hides it.
class TFormGraphic : public QWidget
{
    Q_OBJECT

public:
    explicit TFormGraphic(QWidget* Owner = nullptr);
    ~TFormGraphic() override;

    TPlotWidget& Chart() const;

    // Line i: colour GetLineColor(i) for the swatch, every point and the series.
    void SetDefaultLineColors();
    // Red and opaque until the next show.
    void MarkOverflow(bool OverMin, bool OverMax);
    bool OverflowMinMarked() const;
    bool OverflowMaxMarked() const;

    // The per-line controls of the side panel, entry i for series i.
    int LineCount() const { return static_cast<int>(CheckBoxArr.size()); }
    QCheckBox* LineCheckBox(int Index) const { return CheckBoxArr.at(Index); }
    QLabel* LineLabel(int Index) const { return LabelsArr.at(Index); }
    QColor LineColor(int Index) const { return LineColors.at(Index); }
    // Shown at least once, so its settings section has been read.
    bool EverShown() const { return EverShown_; }
    // What closing does besides hiding: writes the settings section. Closing a
    // hidden window sends no close event, so shutdown calls this for those.
    void FormClose();

    quint8 YScaleIndex = 0;
    quint8 XScaleIndex = 0;
    QString QuantityName;
    QString MeasUnitName;
    quint8 TrackingLine = 0;
    bool TrackingYSet = false;
    double RangeMax = 0;
    double RangeMin = 0;
    int RangeMinColor = 0;
    int RangeMaxColor = 0;

    // Chart background and grid colours as the settings file holds them.
    int BackColor() const { return BackColor_; }
    void SetBackColor(int Color);
    int GridColor() const { return GridColor_; }
    void SetGridColor(int Color);

    QTimer TimerGraphAutoDrag;
    QTimer TimerAutoZoom;

    // Scales (6 time steps, 10 value steps), zoom, pan and tracking.
    void AdjustXScaleIndex();
    void AdjustYScaleIndex();
    void SetXScale(bool Recalc);
    void SetYScale(bool Recalc);
    void ViewAll();
    void DefaultGraphicScale();
    void SetXAxisParameter();
    void btnZoomInXClick();
    void btnZoomOutXClick();
    void btnZoomInYClick();
    void btnZoomOutYClick();
    void UpButtonClick();
    void DownButtonClick();
    void LeftButtonClick();
    void RightButtonClick();
    void TimerAutoZoomTimer();
    void TimerGraphAutoDragTimer();
    // Bottom-axis labels re-formatted by the time step.
    void Chart1GetAxisLabel(const class TPlotAxis& Axis, QString& Text) const;
    // The status bar read-out of the mouse position: value, time.
    QString StatusText(int Panel) const;

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    friend class TFormGraphicTestAccess;

    void FormCreate();
    void PrepareToShow();
    void setOverflowMark(QLabel* Mark, bool Marked);
    bool hasLine(int Index) const;
    void setLineColor(int Index, const QColor& Color);
    void CheckBoxArrClick(int Index);
    void LabelsArrClick(int Index);
    void cbLineAllClick();
    void setLineAllChecked(bool Checked);
    void CheckBoxPointsClick();
    void RxSpGraphPSizeChange();
    void lineOverflowAtShow(int Index);
    QString settingsSection() const;
    void ReadSettings(double& YAxisMin, double& YAxisMax, QSize& Size, std::optional<QPoint>& Position);
    void WriteSettings();
    QString unitText() const;
    QString limitText(double Value) const;
    void setLimitLabel(QLabel* Label, double Value);
    void RxSpAutoDragChange();
    void setSeriesMarker(int Number, bool Tracked);
    void setBottomRange(double Min, double Max);
    void applyXStep();
    void CBAutoZoomClick();
    void cbAutoDragClick();
    void Chart1MouseMove(const QPoint& Pos);
    void Chart1MouseUp(const QPoint& Pos);
    void Chart1AfterDraw(class QPainter& Painter);
    void BtnClearGraphClick();
    void BtnColorDefaultClick();

    std::unique_ptr<Ui::TFormGraphic> ui;
    std::vector<QCheckBox*> CheckBoxArr;
    std::vector<QLabel*> LabelsArr;
    std::vector<QFrame*> ShapeArr;
    std::vector<QColor> LineColors;
    bool InLineAllUpdate = false;
    QLabel* StatusValue_ = nullptr;
    QLabel* StatusTime_ = nullptr;
    int BackColor_;
    int GridColor_;
    bool EverShown_ = false;
};
