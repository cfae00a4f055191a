#include "charts/Graphic.h"

#include "charts/ColorValue.h"
#include "charts/PlotWidget.h"
#include "dispatcher/DeviceTable.h"
#include "dispatcher/DispatcherState.h"
#include "ui_Graphic.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollBar>

namespace {

constexpr int RowHeight = 14;

void SetSwatchColor(QFrame* Swatch, const QColor& Color)
{
    QPalette pal = Swatch->palette();
    pal.setColor(QPalette::Window, Color);
    Swatch->setPalette(pal);
    Swatch->update();
}

QColor SwatchColor(const QFrame* Swatch)
{
    return Swatch->palette().color(QPalette::Window);
}

} // namespace

TFormGraphic::TFormGraphic(QWidget* Owner) : QWidget(Owner, Qt::Window), ui(std::make_unique<Ui::TFormGraphic>())
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
}

void TFormGraphic::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    if (!Event->spontaneous())
        PrepareToShow();
}

void TFormGraphic::closeEvent(QCloseEvent* Event)
{
    // Hidden, never freed: its lines keep receiving points.
    Event->accept();
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

    // Steps below set check boxes from the stored state; their handlers run where a user change would.
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
    TrackingYSet = false;
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
    return QWidget::eventFilter(Watched, Event);
}
