#pragma once

#include <QColor>
#include <QString>
#include <functional>
#include <vector>

// One axis of a TPlotWidget: its range (explicit or following the series),
// its look, its ticks and the conversion between values and pixels. The chart
// sets the pixel span at every layout; conversions use the last one.
class TPlotAxis
{
public:
    enum class TPlace : quint8
    {
        Bottom,
        Top,
        Left
    };

    explicit TPlotAxis(TPlace Place);

    TPlace Place() const { return Place_; }
    bool Horizontal() const { return Place_ != TPlace::Left; }

    double Minimum() const { return Min_; }
    double Maximum() const { return Max_; }
    // Sets both ends (a reversed pair is swapped) and ends automatic scaling.
    void SetMinMax(double Min, double Max);
    // Automatic: the range follows the extremes of the shown series.
    bool Automatic() const { return Automatic_; }
    void SetAutomatic(bool Automatic);
    // The chart hands over the series extremes; ignored unless automatic.
    void ApplyAutomaticRange(double Min, double Max);

    bool Visible() const { return Visible_; }
    void SetVisible(bool Visible);
    QString Title() const { return Title_; }
    void SetTitle(const QString& Title);
    QColor GridColor() const { return GridColor_; }
    void SetGridColor(const QColor& Color);
    bool GridVisible() const { return GridVisible_; }
    void SetGridVisible(bool Visible);

    // Values are date-times (days) labelled with DateTimeFormat (Qt's format
    // letters), otherwise numbers labelled "#,##0.###".
    bool DateTime() const { return DateTime_; }
    void SetDateTime(bool DateTime);
    QString DateTimeFormat() const { return DateTimeFormat_; }
    void SetDateTimeFormat(const QString& Format);
    // The wanted distance of grid lines in axis units; 0 chooses one. A step
    // too fine for the labels to fit is widened.
    double Increment() const { return Increment_; }
    void SetIncrement(double Increment);
    // Replaces the default label text of a value.
    void SetLabelFormatter(std::function<QString(double)> Formatter);
    QString FormatLabel(double Value) const;

    // Pixel span along the axis: left to right, or top to bottom for the
    // value axis (whose values grow upwards).
    void SetPixelSpan(int Start, int End);
    int PixelStart() const { return Start_; }
    int PixelEnd() const { return End_; }
    // Value to pixel, unrounded and rounded (halves to even).
    double CalcPosValueF(double Value) const;
    int CalcPosValue(double Value) const;
    double CalcPosPoint(int Pixel) const;
    double CalcPosPointF(double Pixel) const;

    // The grid step for labels needing LabelExtent pixels each along the axis.
    double TickStep(int LabelExtent) const;
    // The multiples of Step inside the range, at most a few thousand.
    std::vector<double> TickValues(double Step) const;

    // Called after every change of range or look (the chart repaints).
    void SetOnChange(std::function<void()> OnChange) { OnChange_ = std::move(OnChange); }

private:
    void changed();

    TPlace Place_;
    double Min_ = 0;
    double Max_ = 1;
    bool Automatic_ = true;
    bool Visible_ = true;
    QString Title_;
    QColor GridColor_ = QColor(0x80, 0x80, 0x80);
    bool GridVisible_ = true;
    bool DateTime_ = false;
    QString DateTimeFormat_ = QStringLiteral("dd.MM.yyyy hh:mm:ss");
    double Increment_ = 0;
    std::function<QString(double)> Formatter_;
    int Start_ = 0;
    int End_ = 1;
    std::function<void()> OnChange_;
};
