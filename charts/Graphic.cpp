#include "charts/Graphic.h"

#include "charts/ChartScales.h"
#include "charts/ColorValue.h"
#include "charts/PlotWidget.h"
#include "dispatcher/DeviceTable.h"
#include "core/StringFunc.h"
#include "dispatcher/DispatcherState.h"
#include "platform/IniFile.h"
#include "ui_Graphic.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>
#include <cmath>

bool ArchiveGraphMode = false;

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

    TimerGraphAutoDrag.setParent(this);
    TimerGraphAutoDrag.setInterval(1000);
    TimerAutoZoom.setParent(this);
    TimerAutoZoom.setInterval(1000);
    TimerGraphAutoDrag.start();
    TimerAutoZoom.start();

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
}

void TFormGraphic::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    if (!Event->spontaneous())
        PrepareToShow();
}

void TFormGraphic::closeEvent(QCloseEvent* Event)
{
    WriteSettings();
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

void TFormGraphic::ReadSettings(double& YAxisMin, double& YAxisMax, QRect& Geometry)
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
    XScaleIndex = static_cast<quint8>(readByte(QStringLiteral("xAxisScaleIndex"), ChartScales::XScaleLast,
                                               ChartScales::XScaleLast));
    YAxisMin = readFloat(QStringLiteral("yAxisMin"), 0);
    YAxisMax = readFloat(QStringLiteral("yAxisMax"), 10);
    Geometry.setHeight(ini.ReadInteger(section, QStringLiteral("WindowHeight"), height()));
    Geometry.setWidth(ini.ReadInteger(section, QStringLiteral("WindowWidth"), width()));
    Geometry.moveLeft(ini.ReadInteger(section, QStringLiteral("WindowXPos"), x()));
    Geometry.moveTop(ini.ReadInteger(section, QStringLiteral("WindowYPos"), y()));
}

void TFormGraphic::WriteSettings()
{
    IniFile ini(IniFileName);
    const QString section = settingsSection();
    const TPlotAxis& left = ui->Chart1->LeftAxis();
    QString err;
    // The first failure ends the writing; the window closes all the same.
    (void)(ini.WriteBool(section, QStringLiteral("Autozoom"), ui->CBAutoZoom->isChecked(), err)
           && ini.WriteInteger(section, QStringLiteral("BackColor"), BackColor_, err)
           && ini.WriteInteger(section, QStringLiteral("GridColor"), GridColor_, err)
           && ini.WriteBool(section, QStringLiteral("Tracking"), ui->cbAutoDrag->isChecked(), err)
           && ini.WriteInteger(section, QStringLiteral("TrackingLine"), ui->RxSpAutoDrag->value(), err)
           && ini.WriteBool(section, QStringLiteral("Dots"), ui->CheckBoxPoints->isChecked(), err)
           && ini.WriteInteger(section, QStringLiteral("DotSize"), ui->RxSpGraphPSize->value(), err)
           && ini.WriteBool(section, QStringLiteral("SetRange"), ui->JvGroupBoxLimitLines->isChecked(), err)
           && ini.WriteString(section, QStringLiteral("RangeMin"), FloatToStr(RangeMin), err)
           && ini.WriteString(section, QStringLiteral("RangeMax"), FloatToStr(RangeMax), err)
           && ini.WriteInteger(section, QStringLiteral("RangeMinColor"), RangeMinColor, err)
           && ini.WriteInteger(section, QStringLiteral("RangeMaxColor"), RangeMaxColor, err)
           && ini.WriteInteger(section, QStringLiteral("xAxisScaleIndex"), XScaleIndex, err)
           && ini.WriteString(section, QStringLiteral("yAxisMin"), FloatToStr(left.Minimum()), err)
           && ini.WriteString(section, QStringLiteral("yAxisMax"), FloatToStr(left.Maximum()), err)
           && ini.WriteInteger(section, QStringLiteral("WindowHeight"), height(), err)
           && ini.WriteInteger(section, QStringLiteral("WindowWidth"), width(), err)
           && ini.WriteInteger(section, QStringLiteral("WindowXPos"), x(), err)
           && ini.WriteInteger(section, QStringLiteral("WindowYPos"), y(), err));
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
    TPlotWidget& chart = *ui->Chart1;
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

        auto* label = new QLabel(series.Title() + QStringLiteral(" (") + QString::number(i + 1) + QLatin1Char(')'),
                                 rows);
        label->setTextFormat(Qt::PlainText);
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
    QRect geometry = this->geometry();
    ReadSettings(yMin, yMax, geometry);

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

    ui->LabelMaxLimit->setText(limitText(RangeMax));
    ui->LabelMinLimit->setText(limitText(RangeMin));
    CheckBoxPointsClick();
    RxSpGraphPSizeChange();
    SetTimerEnabled(TimerGraphAutoDrag, ui->cbAutoDrag->isChecked());
    TrackingYSet = false;
    SetTimerEnabled(TimerAutoZoom, ui->CBAutoZoom->isChecked());

    resize(geometry.width(), geometry.height());
    move(geometry.topLeft());
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
            if (!ch || !ch->Enabled || !ch->GraphLine || ch->GraphLine->GraphForm != this
                || ch->GraphLine->Series.get() != &series || series.ParentChart() != ui->Chart1)
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
    return ui->StaticTextOverflowMin->autoFillBackground()
           && ui->StaticTextOverflowMin->palette().color(QPalette::Window) == QColor(Qt::red);
}

bool TFormGraphic::OverflowMaxMarked() const
{
    return ui->StaticTextOverflowMax->autoFillBackground()
           && ui->StaticTextOverflowMax->palette().color(QPalette::Window) == QColor(Qt::red);
}

void TFormGraphic::setLineColor(int Index, const QColor& Color)
{
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

void TFormGraphic::CheckBoxArrClick(int Index)
{
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
    const bool checked = ui->cbLineAll->isChecked();
    for (std::size_t i = 0; i < CheckBoxArr.size(); ++i) {
        CheckBoxArr[i]->setChecked(checked);
        CheckBoxArrClick(static_cast<int>(i));
    }
    InLineAllUpdate = false;
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
