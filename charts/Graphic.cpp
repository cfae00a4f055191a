#include "charts/Graphic.h"

#include "charts/ChartScales.h"
#include "charts/ColorValue.h"
#include "charts/PlotWidget.h"
#include "core/DateTime.h"
#include "core/StringFunc.h"
#include "dispatcher/DeviceTable.h"
#include "dispatcher/DispatcherState.h"
#include "platform/EventPump.h"
#include "platform/IniFile.h"
#include "platform/Prompts.h"
#include "ui_Graphic.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QScrollBar>
#include <cmath>
#include <optional>

bool ArchiveGraphMode = false;

namespace {
std::function<void(TPlotWidget&)> PrintChartHandler;
}

void SetPrintChartHandler(std::function<void(TPlotWidget&)> Handler)
{
    PrintChartHandler = std::move(Handler);
}

namespace {

constexpr int RowHeight = 14;

void SetTimerEnabled(QTimer& Timer, bool Enabled)
{
    // Enabling a running timer must not push its next tick back.
    if (!Enabled)
        Timer.stop();
    else if (!Timer.isActive())
        Timer.start();
}

void SetSwatchColor(QFrame* Swatch, const QColor& Color)
{
    QPalette pal = Swatch->palette();
    pal.setColor(QPalette::Window, Color);
    Swatch->setPalette(pal);
    Swatch->update();
}

} // namespace

TFormGraphic::TFormGraphic(QWidget* Owner)
    : QWidget(Owner, Qt::Window), ui(std::make_unique<Ui::TFormGraphic>()), BackColor_(clBtnFace),
      GridColor_(0x808080)
{
    ui->setupUi(this);
    FormCreate();
}

TFormGraphic::~TFormGraphic() = default;

TPlotWidget& TFormGraphic::Chart() const
{
    return *ui->Chart1;
}

void TFormGraphic::FormCreate()
{
    TPlotWidget& chart = *ui->Chart1;
    chart.SetTitleVisible(false);
    chart.SetLegendVisible(false);
    chart.SetBackWallColor(Qt::white);
    chart.BottomAxis().SetDateTime(true);
    chart.BottomAxis().SetDateTimeFormat(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    chart.TopAxis().SetDateTime(true);
    chart.TopAxis().SetDateTimeFormat(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    // Values as the rest of the program writes them: a decimal comma, no group
    // separator (a grouped "1,400" reads as 1.4 here), at most three decimals.
    chart.LeftAxis().SetLabelFormatter(FormatFloat3);

    TimerGraphAutoDrag.setParent(this);
    TimerGraphAutoDrag.setInterval(1000);
    TimerAutoZoom.setParent(this);
    TimerAutoZoom.setInterval(1000);
    TimerGraphAutoDrag.start();
    TimerAutoZoom.start();

    // A range text wraps onto a second line rather than cut its unit; the room
    // for it is kept, so the rows below never slide over the line list.
    for (QLabel* label : {ui->LabelMaxLimit, ui->LabelMinLimit})
        label->setMinimumHeight(2 * label->fontMetrics().lineSpacing());

    ui->StaticTextOverflowMin->setAutoFillBackground(false);
    ui->StaticTextOverflowMax->setAutoFillBackground(false);
    ui->StatusBarGraphic->setSizeGripEnabled(true);

    connect(ui->cbLineAll, &QCheckBox::clicked, this, &TFormGraphic::cbLineAllClick);
    connect(ui->CheckBoxPoints, &QCheckBox::clicked, this, &TFormGraphic::CheckBoxPointsClick);
    connect(ui->RxSpGraphPSize, &QSpinBox::valueChanged, this, &TFormGraphic::RxSpGraphPSizeChange);
    connect(ui->RxSpAutoDrag, &QSpinBox::valueChanged, this, &TFormGraphic::RxSpAutoDragChange);
    connect(ui->JvGroupBoxLimitLines, &QGroupBox::toggled, ui->Chart1, qOverload<>(&QWidget::update));
    for (QFrame* swatch : {ui->ShapeFon, ui->ShapeGrid, ui->ShapeMaxLimitColor, ui->ShapeMinLimitColor})
        swatch->installEventFilter(this);
    SetBackColor(BackColor_);
    SetGridColor(GridColor_);

    StatusValue_ = new QLabel(ui->StatusBarGraphic);
    StatusValue_->setFixedWidth(120);
    StatusTime_ = new QLabel(ui->StatusBarGraphic);
    StatusTime_->setFixedWidth(200);
    ui->StatusBarGraphic->addWidget(StatusValue_);
    ui->StatusBarGraphic->addWidget(StatusTime_);

    connect(&TimerAutoZoom, &QTimer::timeout, this, &TFormGraphic::TimerAutoZoomTimer);
    connect(&TimerGraphAutoDrag, &QTimer::timeout, this, &TFormGraphic::TimerGraphAutoDragTimer);
    connect(ui->CBAutoZoom, &QCheckBox::clicked, this, &TFormGraphic::CBAutoZoomClick);
    connect(ui->cbAutoDrag, &QCheckBox::clicked, this, &TFormGraphic::cbAutoDragClick);
    connect(ui->btnZoomInX, &QAbstractButton::clicked, this, &TFormGraphic::btnZoomInXClick);
    connect(ui->btnZoomOutX, &QAbstractButton::clicked, this, &TFormGraphic::btnZoomOutXClick);
    connect(ui->btnZoomInY, &QAbstractButton::clicked, this, &TFormGraphic::btnZoomInYClick);
    connect(ui->btnZoomOutY, &QAbstractButton::clicked, this, &TFormGraphic::btnZoomOutYClick);
    connect(ui->UpButton, &QAbstractButton::clicked, this, &TFormGraphic::UpButtonClick);
    connect(ui->DownButton, &QAbstractButton::clicked, this, &TFormGraphic::DownButtonClick);
    connect(ui->LeftButton, &QAbstractButton::clicked, this, &TFormGraphic::LeftButtonClick);
    connect(ui->RightButton, &QAbstractButton::clicked, this, &TFormGraphic::RightButtonClick);
    connect(ui->btnShowAll, &QAbstractButton::clicked, this, &TFormGraphic::ViewAll);
    connect(ui->BtnClearGraph, &QAbstractButton::clicked, this, &TFormGraphic::BtnClearGraphClick);
    connect(ui->BtnColorDefault, &QAbstractButton::clicked, this, &TFormGraphic::BtnColorDefaultClick);
    connect(ui->BtnPrintGraph, &QAbstractButton::clicked, this, [this] {
        if (PrintChartHandler)
            PrintChartHandler(*ui->Chart1);
    });
    // At most one of the two range buttons is down; both may be up.
    connect(ui->SpeedButtonMaxLimit, &QAbstractButton::toggled, this, [this](bool Down) {
        if (Down)
            ui->SpeedButtonMinLimit->setChecked(false);
    });
    connect(ui->SpeedButtonMinLimit, &QAbstractButton::toggled, this, [this](bool Down) {
        if (Down)
            ui->SpeedButtonMaxLimit->setChecked(false);
    });
    connect(ui->Chart1, &TPlotWidget::Zoomed, this, [this] {
        AdjustXScaleIndex();
        AdjustYScaleIndex();
    });
    connect(ui->Chart1, &TPlotWidget::ZoomUndone, this, [this] {
        AdjustXScaleIndex();
        AdjustYScaleIndex();
    });
    connect(ui->Chart1, &TPlotWidget::ChartMouseMove, this, &TFormGraphic::Chart1MouseMove);
    connect(ui->Chart1, &TPlotWidget::ChartMouseUp, this,
            [this](Qt::MouseButton, const QPoint& Pos) { Chart1MouseUp(Pos); });
    ui->Chart1->SetGetAxisLabel(
        [this](const TPlotAxis& Axis, double, QString& Text) { Chart1GetAxisLabel(Axis, Text); });
    ui->Chart1->SetAfterDraw([this](QPainter& Painter) { Chart1AfterDraw(Painter); });
}

void TFormGraphic::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    if (!Event->spontaneous())
        PrepareToShow();
}

void TFormGraphic::FormClose()
{
    WriteSettings();
}

void TFormGraphic::closeEvent(QCloseEvent* Event)
{
    FormClose();
    // Hidden, never freed: its lines keep receiving points.
    Event->accept();
}

void TFormGraphic::SetBackColor(int Color)
{
    BackColor_ = Color;
    ui->Chart1->SetBackColor(ColorFromValue(Color));
    SetSwatchColor(ui->ShapeFon, ColorFromValue(Color));
}

void TFormGraphic::SetGridColor(int Color)
{
    GridColor_ = Color;
    ui->Chart1->LeftAxis().SetGridColor(ColorFromValue(Color));
    ui->Chart1->BottomAxis().SetGridColor(ColorFromValue(Color));
    SetSwatchColor(ui->ShapeGrid, ColorFromValue(Color));
}

QString TFormGraphic::settingsSection() const
{
    return QStringLiteral("Graphic ") + QuantityName;
}

void TFormGraphic::ReadSettings(double& YAxisMin, double& YAxisMax, QSize& Size,
                                std::optional<QPoint>& Position)
{
    const IniFile ini(IniFileName);
    const QString section = settingsSection();
    const auto readFloat = [&](const QString& Key, double Default) {
        return StrToFloatFixed(ini.ReadString(section, Key, QString())).value_or(Default);
    };
    // Byte fields: a hand-edited value that does not fit gives the default.
    const auto readByte = [&](const QString& Key, int Default, int Max) {
        const int v = ini.ReadInteger(section, Key, Default);
        return v >= 0 && v <= Max ? v : Default;
    };

    if (ArchiveGraphMode)
        ui->CBAutoZoom->setChecked(false);
    else
        ui->CBAutoZoom->setChecked(ini.ReadBool(section, QStringLiteral("Autozoom"), true));
    SetBackColor(ini.ReadInteger(section, QStringLiteral("BackColor"), clBtnFace));
    SetGridColor(ini.ReadInteger(section, QStringLiteral("GridColor"), 0x808080));
    ui->cbAutoDrag->setChecked(ini.ReadBool(section, QStringLiteral("Tracking"), true));
    TrackingLine = static_cast<quint8>(readByte(QStringLiteral("TrackingLine"), 1, 255));
    ui->CheckBoxPoints->setChecked(ini.ReadBool(section, QStringLiteral("Dots"), true));
    ui->RxSpGraphPSize->setValue(ini.ReadInteger(section, QStringLiteral("DotSize"), 2));
    ui->JvGroupBoxLimitLines->setChecked(ini.ReadBool(section, QStringLiteral("SetRange"), false));
    RangeMin = readFloat(QStringLiteral("RangeMin"), 0);
    RangeMax = readFloat(QStringLiteral("RangeMax"), 0);
    RangeMinColor = ini.ReadInteger(section, QStringLiteral("RangeMinColor"), clBlack);
    RangeMaxColor = ini.ReadInteger(section, QStringLiteral("RangeMaxColor"), clBlack);
    // The index picks a table entry: beyond the table counts as not stored.
    XScaleIndex = static_cast<quint8>(
        readByte(QStringLiteral("xAxisScaleIndex"), ChartScales::XScaleLast, ChartScales::XScaleLast));
    YAxisMin = readFloat(QStringLiteral("yAxisMin"), 0);
    YAxisMax = readFloat(QStringLiteral("yAxisMax"), 10);
    Size.setHeight(ini.ReadInteger(section, QStringLiteral("WindowHeight"), height()));
    Size.setWidth(ini.ReadInteger(section, QStringLiteral("WindowWidth"), width()));
    // No stored position: the window system places the window, rather than at the
    // corner of a window never shown, on top of the others.
    const QString xKey = QStringLiteral("WindowXPos");
    const QString yKey = QStringLiteral("WindowYPos");
    if (ini.ValueExists(section, xKey) || ini.ValueExists(section, yKey))
        Position = QPoint(ini.ReadInteger(section, xKey, x()), ini.ReadInteger(section, yKey, y()));
}

void TFormGraphic::WriteSettings()
{
    const QString section = settingsSection();
    const TPlotAxis& left = ui->Chart1->LeftAxis();
    const auto entry = [&section](const char* Key, const QString& Value) {
        return IniFile::TEntry{section, QString::fromLatin1(Key), Value};
    };
    const auto flag = [](bool On) { return On ? QStringLiteral("1") : QStringLiteral("0"); };
    const auto number = [](int Value) { return QString::number(Value); };
    // One save for the section (the file is written and synced once, and a
    // failure leaves it as it was); the window closes all the same.
    QString err;
    (void)IniFile(IniFileName)
        .WriteStrings(
            {entry("Autozoom", flag(ui->CBAutoZoom->isChecked())), entry("BackColor", number(BackColor_)),
             entry("GridColor", number(GridColor_)), entry("Tracking", flag(ui->cbAutoDrag->isChecked())),
             entry("TrackingLine", number(ui->RxSpAutoDrag->value())),
             entry("Dots", flag(ui->CheckBoxPoints->isChecked())),
             entry("DotSize", number(ui->RxSpGraphPSize->value())),
             entry("SetRange", flag(ui->JvGroupBoxLimitLines->isChecked())),
             entry("RangeMin", FloatToStr(RangeMin)), entry("RangeMax", FloatToStr(RangeMax)),
             entry("RangeMinColor", number(RangeMinColor)), entry("RangeMaxColor", number(RangeMaxColor)),
             entry("xAxisScaleIndex", number(XScaleIndex)), entry("yAxisMin", FloatToStr(left.Minimum())),
             entry("yAxisMax", FloatToStr(left.Maximum())), entry("WindowHeight", number(height())),
             entry("WindowWidth", number(width())), entry("WindowXPos", number(x())),
             entry("WindowYPos", number(y()))},
            err);
}

QString TFormGraphic::unitText() const
{
    const QString title = ui->Chart1->LeftAxis().Title();
    const int comma = title.indexOf(QLatin1Char(','));
    return comma < 0 ? title : title.mid(comma);
}

QString TFormGraphic::limitText(double Value) const
{
    // Four decimals, the ten-thousandth rounded half away from zero first.
    const double scaled = Value * 10000;
    const double r = (scaled < 0 ? -std::floor(-scaled + 0.5) : std::floor(scaled + 0.5)) / 10000;
    return QString::number(r, 'f', 4).replace(QLatin1Char('.'), QLatin1Char(',')) + unitText();
}

void TFormGraphic::setLimitLabel(QLabel* Label, double Value)
{
    // A long unit may not fit the two lines kept for the text; the hint shows it whole.
    const QString text = limitText(Value);
    Label->setText(text);
    Label->setToolTip(text);
}

void TFormGraphic::setSeriesMarker(int Number, bool Tracked)
{
    if (Number < 1 || Number > ui->Chart1->SeriesCount())
        return;
    IChartSeries& series = ui->Chart1->Series(Number - 1);
    TSeriesPointer pointer = series.Pointer();
    pointer.Style = Tracked ? TPointerStyle::Circle : TPointerStyle::Rectangle;
    pointer.PenColor = Tracked ? QColor(Qt::white) : QColor(Qt::black);
    series.SetPointer(pointer);
}

void TFormGraphic::RxSpAutoDragChange()
{
    setSeriesMarker(TrackingLine, false);
    TrackingLine = static_cast<quint8>(std::clamp(ui->RxSpAutoDrag->value(), 0, 255));
    setSeriesMarker(TrackingLine, true);
}

void TFormGraphic::PrepareToShow()
{
    EverShown_ = true;
    TPlotWidget& chart = *ui->Chart1;
    // The mouse is somewhere else by now.
    StatusValue_->clear();
    StatusTime_->clear();
    const int n = chart.SeriesCount();

    setOverflowMark(ui->StaticTextOverflowMin, false);
    setOverflowMark(ui->StaticTextOverflowMax, false);

    for (QCheckBox* box : CheckBoxArr)
        delete box;
    for (QLabel* label : LabelsArr)
        delete label;
    for (QFrame* swatch : ShapeArr)
        delete swatch;
    CheckBoxArr.assign(n, nullptr);
    LabelsArr.assign(n, nullptr);
    ShapeArr.assign(n, nullptr);
    LineColors.assign(n, QColor());

    ui->RxSpAutoDrag->setRange(1, std::max(1, n));

    QWidget* rows = ui->ScrollBoxContents;
    int widest = 0;
    for (int i = 0; i < n; ++i) {
        IChartSeries& series = chart.Series(i);
        auto* box = new QCheckBox(rows);
        box->setChecked(series.Active());
        box->setGeometry(16, RowHeight * i + 2, 14, 14);
        connect(box, &QCheckBox::clicked, this, [this, i] { CheckBoxArrClick(i); });
        box->show();
        CheckBoxArr[i] = box;

        auto* label = new QLabel(
            series.Title() + QStringLiteral(" (") + QString::number(i + 1) + QLatin1Char(')'), rows);
        label->setTextFormat(Qt::PlainText);
        // The text starts clear of the check box's frame.
        label->setContentsMargins(3, 0, 0, 0);
        label->adjustSize();
        label->setGeometry(30, RowHeight * i + 2, label->width(), 14);
        label->installEventFilter(this);
        label->show();
        LabelsArr[i] = label;
        widest = std::max(widest, label->width());

        LineColors[i] = GetLineColor(i);
        auto* swatch = new QFrame(rows);
        swatch->setGeometry(2, RowHeight * i + 3, 11, 11);
        swatch->setFrameShape(QFrame::Box);
        swatch->setAutoFillBackground(true);
        SetSwatchColor(swatch, LineColors[i]);
        swatch->installEventFilter(this);
        swatch->show();
        ShapeArr[i] = swatch;

        series.SetColor(LineColors[i]);
        lineOverflowAtShow(i);
    }

    ui->JvGroupBoxLimitLines->setChecked(false);
    ui->LabelMaxLimit->clear();
    ui->LabelMinLimit->clear();

    double yMin = 0;
    double yMax = 10;
    QSize size = this->size();
    std::optional<QPoint> position;
    ReadSettings(yMin, yMax, size, position);

    SetXAxisParameter();

    // The value axis on whole steps around the stored range: 10 steps.
    YScaleIndex = static_cast<quint8>(ChartScales::YScaleIndexNotBelow((yMax - yMin) / 10));
    const double ys = ChartScales::YScaleSteps[YScaleIndex];
    const double c = ChartScales::Round(((yMin + yMax) / 2) / ys) * ys;
    chart.LeftAxis().SetMinMax(c - 5 * ys, c + 5 * ys);

    CheckBoxPointsClick();
    RxSpGraphPSizeChange();

    bool allShown = true;
    for (int i = 0; i < n; ++i)
        allShown = allShown && chart.Series(i).Active();
    setLineAllChecked(allShown);

    rows->resize(widest + 34, RowHeight * n + 4);
    ui->ScrollBox1->horizontalScrollBar()->setValue(0);
    ui->ScrollBox1->verticalScrollBar()->setValue(0);

    if (TrackingLine > n)
        TrackingLine = 1;
    {
        // The spin edit keeps its value within 1..N; its change handler moves the tracking mark.
        const quint8 wanted = TrackingLine;
        ui->RxSpAutoDrag->setValue(wanted);
        if (ui->RxSpAutoDrag->value() == wanted)
            setSeriesMarker(TrackingLine, true);
        else
            RxSpAutoDragChange();
    }
    ui->ScrollBox1->update();

    SetSwatchColor(ui->ShapeMaxLimitColor, ColorFromValue(RangeMaxColor));
    SetSwatchColor(ui->ShapeMinLimitColor, ColorFromValue(RangeMinColor));
    SetSwatchColor(ui->ShapeFon, ColorFromValue(BackColor_));
    SetSwatchColor(ui->ShapeGrid, ColorFromValue(GridColor_));

    setLimitLabel(ui->LabelMaxLimit, RangeMax);
    setLimitLabel(ui->LabelMinLimit, RangeMin);
    CheckBoxPointsClick();
    RxSpGraphPSizeChange();
    SetTimerEnabled(TimerGraphAutoDrag, ui->cbAutoDrag->isChecked());
    TrackingYSet = false;
    SetTimerEnabled(TimerAutoZoom, ui->CBAutoZoom->isChecked());

    resize(size);
    if (position)
        move(*position);
}

void TFormGraphic::lineOverflowAtShow(int Index)
{
    IChartSeries& series = ui->Chart1->Series(Index);
    if (series.Count() == 0)
        return;
    for (const auto& row : DevArray) {
        if (!row->Selected || row->Hidden || !row->Device)
            continue;
        for (const TMeasureChannel* ch : {row->Device->Channel1.get(), row->Device->Channel2.get()}) {
            if (!ch || !ch->Enabled || !ch->GraphLine || ch->GraphLine->GraphForm != this ||
                ch->GraphLine->Series.get() != &series || series.ParentChart() != ui->Chart1)
                continue;
            if (series.MinYValue() <= ch->MinAlert)
                setOverflowMark(ui->StaticTextOverflowMin, true);
            if (series.MaxYValue() >= ch->MaxAlert)
                setOverflowMark(ui->StaticTextOverflowMax, true);
        }
    }
}

void TFormGraphic::setOverflowMark(QLabel* Mark, bool Marked)
{
    QPalette pal = Mark->palette();
    pal.setColor(QPalette::Window, Marked ? QColor(Qt::red) : ColorFromValue(clBtnFace));
    Mark->setPalette(pal);
    Mark->setAutoFillBackground(Marked);
    Mark->update();
}

void TFormGraphic::MarkOverflow(bool OverMin, bool OverMax)
{
    if (OverMin)
        setOverflowMark(ui->StaticTextOverflowMin, true);
    if (OverMax)
        setOverflowMark(ui->StaticTextOverflowMax, true);
    if (OverMin || OverMax)
        update();
}

bool TFormGraphic::OverflowMinMarked() const
{
    return ui->StaticTextOverflowMin->autoFillBackground() &&
           ui->StaticTextOverflowMin->palette().color(QPalette::Window) == QColor(Qt::red);
}

bool TFormGraphic::OverflowMaxMarked() const
{
    return ui->StaticTextOverflowMax->autoFillBackground() &&
           ui->StaticTextOverflowMax->palette().color(QPalette::Window) == QColor(Qt::red);
}

void TFormGraphic::setLineColor(int Index, const QColor& Color)
{
    if (!hasLine(Index))
        return;
    IChartSeries& series = ui->Chart1->Series(Index);
    LineColors[Index] = Color;
    SetSwatchColor(ShapeArr[Index], Color);
    for (int p = 0; p < series.Count(); ++p)
        series.SetPointColor(p, Color);
    series.SetColor(Color);
}

void TFormGraphic::SetDefaultLineColors()
{
    const int n = std::min<int>(ui->Chart1->SeriesCount(), static_cast<int>(ShapeArr.size()));
    for (int i = 0; i < n; ++i)
        setLineColor(i, GetLineColor(i));
}

bool TFormGraphic::hasLine(int Index) const
{
    // A row whose series left the chart since the last show (a deleted device)
    // has nothing behind it until the window is shown again.
    return Index >= 0 && Index < ui->Chart1->SeriesCount() && Index < static_cast<int>(CheckBoxArr.size());
}

void TFormGraphic::CheckBoxArrClick(int Index)
{
    if (!hasLine(Index))
        return;
    ui->Chart1->Series(Index).SetActive(CheckBoxArr[Index]->isChecked());
    if (InLineAllUpdate)
        return;
    bool all = true;
    for (const QCheckBox* box : CheckBoxArr)
        all = all && box->isChecked();
    setLineAllChecked(all);
}

void TFormGraphic::LabelsArrClick(int Index)
{
    if (!hasLine(Index))
        return;
    CheckBoxArr[Index]->setChecked(!CheckBoxArr[Index]->isChecked());
    CheckBoxArrClick(Index);
}

void TFormGraphic::setLineAllChecked(bool Checked)
{
    // clicked() is not emitted for programmatic changes, so no line follows.
    ui->cbLineAll->setChecked(Checked);
}

void TFormGraphic::cbLineAllClick()
{
    InLineAllUpdate = true;
    const auto done = qScopeGuard([this] { InLineAllUpdate = false; });
    const bool checked = ui->cbLineAll->isChecked();
    for (std::size_t i = 0; i < CheckBoxArr.size(); ++i) {
        CheckBoxArr[i]->setChecked(checked);
        CheckBoxArrClick(static_cast<int>(i));
    }
}

void TFormGraphic::CheckBoxPointsClick()
{
    TPlotWidget& chart = *ui->Chart1;
    for (int i = 0; i < chart.SeriesCount(); ++i) {
        TSeriesPointer pointer = chart.Series(i).Pointer();
        pointer.Visible = ui->CheckBoxPoints->isChecked();
        chart.Series(i).SetPointer(pointer);
    }
}

void TFormGraphic::RxSpGraphPSizeChange()
{
    TPlotWidget& chart = *ui->Chart1;
    const int size = ui->RxSpGraphPSize->value();
    for (int i = 0; i < chart.SeriesCount(); ++i) {
        TSeriesPointer pointer = chart.Series(i).Pointer();
        pointer.Width = size;
        pointer.Height = size;
        chart.Series(i).SetPointer(pointer);
    }
}

bool TFormGraphic::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Event->type() == QEvent::MouseButtonRelease) {
        for (std::size_t i = 0; i < LabelsArr.size(); ++i) {
            if (Watched == LabelsArr[i]) {
                // A caption is clicked with the left button; the swatches take any.
                if (static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton)
                    LabelsArrClick(static_cast<int>(i));
                return true;
            }
            if (Watched == ShapeArr[i]) {
                const QColor color = QColorDialog::getColor(LineColors[i], this);
                if (color.isValid())
                    setLineColor(static_cast<int>(i), color);
                return true;
            }
        }
    }
    if (Event->type() == QEvent::MouseButtonRelease) {
        const auto choose = [this](int Current, auto Apply) {
            const QColor color = QColorDialog::getColor(ColorFromValue(Current), this);
            if (color.isValid())
                Apply(ColorToValue(color));
            return true;
        };
        if (Watched == ui->ShapeFon)
            return choose(BackColor_, [this](int C) { SetBackColor(C); });
        if (Watched == ui->ShapeGrid)
            return choose(GridColor_, [this](int C) { SetGridColor(C); });
        if (Watched == ui->ShapeMaxLimitColor)
            return choose(RangeMaxColor, [this](int C) {
                RangeMaxColor = C;
                SetSwatchColor(ui->ShapeMaxLimitColor, ColorFromValue(C));
                ui->Chart1->update();
            });
        if (Watched == ui->ShapeMinLimitColor)
            return choose(RangeMinColor, [this](int C) {
                RangeMinColor = C;
                SetSwatchColor(ui->ShapeMinLimitColor, ColorFromValue(C));
                ui->Chart1->update();
            });
    }
    return QWidget::eventFilter(Watched, Event);
}

void TFormGraphic::setBottomRange(double Min, double Max)
{
    TPlotWidget& chart = *ui->Chart1;
    chart.BottomAxis().SetMinMax(Min, Max);
    chart.TopAxis().SetMinMax(chart.BottomAxis().Minimum(), chart.BottomAxis().Maximum());
    applyXStep();
}

void TFormGraphic::applyXStep()
{
    // The grid on the table's step, not on one the plot picks for its labels:
    // six steps after every step-based change.
    const double xs = ChartScales::XStep(XScaleIndex);
    ui->Chart1->BottomAxis().SetIncrement(xs);
    ui->Chart1->TopAxis().SetIncrement(xs);
}

void TFormGraphic::AdjustXScaleIndex()
{
    const TPlotAxis& bottom = ui->Chart1->BottomAxis();
    XScaleIndex = static_cast<quint8>(ChartScales::FitXScaleIndex(bottom.Maximum() - bottom.Minimum()));
    applyXStep();
    ui->btnZoomInX->setEnabled(XScaleIndex < ChartScales::XScaleLast);
    ui->btnZoomOutX->setEnabled(XScaleIndex > 0);
}

void TFormGraphic::AdjustYScaleIndex()
{
    const TPlotAxis& left = ui->Chart1->LeftAxis();
    YScaleIndex = static_cast<quint8>(ChartScales::FitYScaleIndex(left.Maximum() - left.Minimum()));
    ui->btnZoomInY->setEnabled(YScaleIndex < ChartScales::YScaleLast);
    ui->btnZoomOutY->setEnabled(YScaleIndex > 0);
}

void TFormGraphic::SetXScale(bool Recalc)
{
    const TPlotAxis& bottom = ui->Chart1->BottomAxis();
    if (Recalc) {
        AdjustXScaleIndex();
        if (6.001 * ChartScales::XStep(XScaleIndex) < bottom.Maximum() - bottom.Minimum()) {
            // Wider than 6 steps of the coarsest: the axis keeps its range.
            ui->btnZoomOutX->setEnabled(false);
            ui->btnZoomInX->setEnabled(true);
            return;
        }
    }
    ui->btnZoomInX->setEnabled(XScaleIndex < ChartScales::XScaleLast);
    ui->btnZoomOutX->setEnabled(XScaleIndex > 0);
    const double xs = ChartScales::XStep(XScaleIndex);
    const double c = ChartScales::Round(((bottom.Maximum() + bottom.Minimum()) / 2) / xs) * xs;
    setBottomRange(c - 3 * xs, c + 3 * xs);
}

void TFormGraphic::SetYScale(bool Recalc)
{
    TPlotAxis& left = ui->Chart1->LeftAxis();
    if (Recalc) {
        YScaleIndex = static_cast<quint8>(ChartScales::FitYScaleIndex(left.Maximum() - left.Minimum()));
        ui->btnZoomInY->setEnabled(YScaleIndex < ChartScales::YScaleLast);
        ui->btnZoomOutY->setEnabled(true);
        if (10.001 * ChartScales::YScaleSteps[YScaleIndex] < left.Maximum() - left.Minimum()) {
            ui->btnZoomOutY->setEnabled(false);
            return;
        }
    }
    const double ys = ChartScales::YScaleSteps[YScaleIndex];
    const double c = ChartScales::Round(((left.Maximum() + left.Minimum()) / 2) / ys) * ys;
    left.SetMinMax(c - 5 * ys, c + 5 * ys);
}

void TFormGraphic::btnZoomInXClick()
{
    AdjustXScaleIndex();
    if (XScaleIndex == ChartScales::XScaleLast) {
        ui->btnZoomInX->setEnabled(false);
        return;
    }
    ++XScaleIndex;
    SetXScale(false);
}

void TFormGraphic::btnZoomOutXClick()
{
    AdjustXScaleIndex();
    if (XScaleIndex == 0) {
        ui->btnZoomOutX->setEnabled(false);
        return;
    }
    --XScaleIndex;
    SetXScale(false);
}

void TFormGraphic::btnZoomInYClick()
{
    AdjustYScaleIndex();
    if (YScaleIndex == ChartScales::YScaleLast) {
        ui->btnZoomInY->setEnabled(false);
        return;
    }
    ++YScaleIndex;
    ui->btnZoomInY->setEnabled(YScaleIndex < ChartScales::YScaleLast);
    ui->btnZoomOutY->setEnabled(true);
    SetYScale(false);
}

void TFormGraphic::btnZoomOutYClick()
{
    AdjustYScaleIndex();
    if (YScaleIndex == 0) {
        ui->btnZoomOutY->setEnabled(false);
        return;
    }
    --YScaleIndex;
    ui->btnZoomOutY->setEnabled(YScaleIndex > 0);
    ui->btnZoomInY->setEnabled(true);
    SetYScale(false);
}

void TFormGraphic::UpButtonClick()
{
    TPlotAxis& left = ui->Chart1->LeftAxis();
    const double d = 0.1 * ChartScales::YScaleSteps[YScaleIndex];
    left.SetMinMax(left.Minimum() - d, left.Maximum() - d);
}

void TFormGraphic::DownButtonClick()
{
    TPlotAxis& left = ui->Chart1->LeftAxis();
    const double d = 0.1 * ChartScales::YScaleSteps[YScaleIndex];
    left.SetMinMax(left.Minimum() + d, left.Maximum() + d);
}

void TFormGraphic::RightButtonClick()
{
    const TPlotAxis& bottom = ui->Chart1->BottomAxis();
    const double d = 0.1 * ChartScales::XStep(XScaleIndex);
    setBottomRange(bottom.Minimum() - d, bottom.Maximum() - d);
}

void TFormGraphic::LeftButtonClick()
{
    const TPlotAxis& bottom = ui->Chart1->BottomAxis();
    const double d = 0.1 * ChartScales::XStep(XScaleIndex);
    setBottomRange(bottom.Minimum() + d, bottom.Maximum() + d);
}

void TFormGraphic::ViewAll()
{
    TPlotWidget& chart = *ui->Chart1;
    bool any = false;
    double minX = 0;
    double maxX = 0;
    double minY = 0;
    double maxY = 0;
    for (int i = 0; i < chart.SeriesCount(); ++i) {
        const IChartSeries& series = chart.Series(i);
        if (!series.Active() || series.Count() == 0)
            continue;
        minX = any ? std::min(minX, series.MinXValue()) : series.MinXValue();
        maxX = any ? std::max(maxX, series.MaxXValue()) : series.MaxXValue();
        minY = any ? std::min(minY, series.MinYValue()) : series.MinYValue();
        maxY = any ? std::max(maxY, series.MaxYValue()) : series.MaxYValue();
        any = true;
    }
    if (!any) {
        DefaultGraphicScale();
        return;
    }
    const double dx = std::max(maxX - minX, 20 * ChartScales::OneSecond);
    setBottomRange(minX - dx / 10, maxX + dx / 10);
    const double dy = std::max(maxY - minY, 0.005);
    chart.LeftAxis().SetMinMax(minY - dy / 10, maxY + dy / 10);
    SetXScale(true);
    SetYScale(true);
}

void TFormGraphic::DefaultGraphicScale()
{
    YScaleIndex = 6;
    XScaleIndex = 22;
    SetXAxisParameter();
    ui->Chart1->LeftAxis().SetMinMax(-1, 1);
    SetXScale(false);
    SetYScale(false);
    SetXScale(true);
    SetYScale(true);
    TrackingYSet = false;
}

void TFormGraphic::SetXAxisParameter()
{
    TPlotWidget& chart = *ui->Chart1;
    bool shownPoints = false;
    for (int i = 0; i < chart.SeriesCount(); ++i)
        shownPoints = shownPoints || (chart.Series(i).Active() && chart.Series(i).Count() > 0);
    // ViewAll falls back here only when no shown line has points, so this never loops.
    if (chart.SeriesCount() > 0 && chart.Series(0).Count() > 0 && shownPoints) {
        ViewAll();
        return;
    }
    XScaleIndex = 23;
    const double xs = ChartScales::XStep(XScaleIndex);
    const double r = ChartScales::Round(NowTDateTime() / xs) * xs;
    setBottomRange(r - 5 * xs, r + xs);
}

void TFormGraphic::CBAutoZoomClick()
{
    SetTimerEnabled(TimerAutoZoom, ui->CBAutoZoom->isChecked());
    if (ui->CBAutoZoom->isChecked())
        ViewAll();
}

void TFormGraphic::TimerAutoZoomTimer()
{
    EventPump::ProcessMessages();
    if (ui->CBAutoZoom->isChecked() && isVisible() && windowTitle() != QStringLiteral("Default"))
        ViewAll();
}

void TFormGraphic::cbAutoDragClick()
{
    SetTimerEnabled(TimerGraphAutoDrag, ui->cbAutoDrag->isChecked());
    TrackingYSet = false;
}

void TFormGraphic::TimerGraphAutoDragTimer()
{
    EventPump::ProcessMessages();
    TPlotWidget& chart = *ui->Chart1;
    if (TrackingLine < 1 || TrackingLine > chart.SeriesCount())
        return;
    const IChartSeries& series = chart.Series(TrackingLine - 1);
    if (series.Count() == 0)
        return;
    const double x = series.XValue(series.Count() - 1);
    const double y = series.YValue(series.Count() - 1);
    const double xs = ChartScales::XStep(XScaleIndex);
    const double ys = ChartScales::YScaleSteps[YScaleIndex];
    const double xr = ChartScales::Round(x / xs) * xs;
    const double yr = ChartScales::Round(y / ys) * ys;

    const TPlotAxis& bottom = chart.BottomAxis();
    if (x >= bottom.Maximum())
        setBottomRange(xr - 5 * xs, xr + xs);
    else if (x <= bottom.Minimum())
        setBottomRange(xr - xs, xr + 5 * xs);

    TPlotAxis& left = chart.LeftAxis();
    if (!TrackingYSet) {
        left.SetMinMax(yr - 5 * ys, yr + 5 * ys);
        TrackingYSet = true;
    } else if (y >= left.Maximum()) {
        left.SetMinMax(yr - 9 * ys, yr + ys);
    } else if (y <= left.Minimum()) {
        left.SetMinMax(yr - ys, yr + 9 * ys);
    }
}

void TFormGraphic::Chart1GetAxisLabel(const TPlotAxis& Axis, QString& Text) const
{
    if (&Axis != &ui->Chart1->BottomAxis())
        return;
    const QDateTime when = QDateTime::fromString(Text, QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    if (!when.isValid())
        return;
    const double s = ChartScales::XScaleSteps[XScaleIndex];
    const QString format = s <= 60      ? QStringLiteral("hh:mm:ss")
                           : s <= 21600 ? QStringLiteral("hh:mm")
                           : s <= 86400 ? QStringLiteral("dd.MM hh:mm")
                                        : QStringLiteral("dd.MM.yyyy");
    Text = when.toString(format);
}

void TFormGraphic::Chart1MouseMove(const QPoint& Pos)
{
    const TPlotWidget& chart = *ui->Chart1;
    if (!chart.PlotRect().contains(Pos)) {
        StatusValue_->clear();
        StatusTime_->clear();
        return;
    }
    const TPlotAxis& left = chart.LeftAxis();
    StatusValue_->setText(left.FormatLabel(left.CalcPosPoint(Pos.y())) + unitText());
    StatusTime_->setText(TDateTimeToDateTime(chart.BottomAxis().CalcPosPoint(Pos.x()))
                             .toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")));
}

QString TFormGraphic::StatusText(int Panel) const
{
    return Panel == 0 ? StatusValue_->text() : StatusTime_->text();
}

void TFormGraphic::Chart1MouseUp(const QPoint& Pos)
{
    if (!ui->JvGroupBoxLimitLines->isChecked() || !ui->Chart1->PlotRect().contains(Pos))
        return;
    const double value = ui->Chart1->LeftAxis().CalcPosPoint(Pos.y());
    if (ui->SpeedButtonMaxLimit->isChecked()) {
        RangeMax = value;
        if (!ui->LabelMinLimit->text().isEmpty() && RangeMax < RangeMin) {
            std::swap(RangeMax, RangeMin);
            setLimitLabel(ui->LabelMinLimit, RangeMin);
        }
        setLimitLabel(ui->LabelMaxLimit, RangeMax);
        ui->SpeedButtonMaxLimit->setChecked(false);
        ui->Chart1->update();
    } else if (ui->SpeedButtonMinLimit->isChecked()) {
        RangeMin = value;
        if (!ui->LabelMaxLimit->text().isEmpty() && RangeMax < RangeMin) {
            std::swap(RangeMax, RangeMin);
            setLimitLabel(ui->LabelMaxLimit, RangeMax);
        }
        setLimitLabel(ui->LabelMinLimit, RangeMin);
        ui->SpeedButtonMinLimit->setChecked(false);
        ui->Chart1->update();
    }
}

void TFormGraphic::Chart1AfterDraw(QPainter& Painter)
{
    if (!ui->JvGroupBoxLimitLines->isChecked())
        return;
    const QRect plot = ui->Chart1->PlotRect();
    const TPlotAxis& left = ui->Chart1->LeftAxis();
    const auto line = [&](double Value, int Color) {
        Painter.setPen(QPen(ColorFromValue(Color), 1, Qt::DashDotLine));
        const int y = left.CalcPosValue(Value);
        Painter.drawLine(plot.left(), y, plot.right(), y);
    };
    if (!ui->LabelMinLimit->text().isEmpty())
        line(RangeMin, RangeMinColor);
    if (!ui->LabelMaxLimit->text().isEmpty())
        line(RangeMax, RangeMaxColor);
}

void TFormGraphic::BtnClearGraphClick()
{
    if (!Prompts::Current().YesNo(this, QStringLiteral("Убрать все накопленные данные с графика?"),
                                  QStringLiteral("Внимание!")))
        return;
    for (int i = 0; i < ui->Chart1->SeriesCount(); ++i)
        ui->Chart1->Series(i).Clear();
}

void TFormGraphic::BtnColorDefaultClick()
{
    if (Prompts::Current().YesNo(this, QStringLiteral("Установить цвета линий графика по умолчанию?"),
                                 QStringLiteral("Кловарис: график")))
        SetDefaultLineColors();
}
