#include "charts/Graphic.h"
#include "charts/GraphicForms.h"
#include "charts/PlotWidget.h"
#include "core/Device.h"
#include "dispatcher/DeviceReader.h"
#include "dispatcher/DeviceTable.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/GraphicAction.h"
#include "dispatcher/Journal.h"
#include "support/DeviceReplies.h"
#include "support/FakeConnection.h"
#include "support/QStringPrinter.h"
#include "support/RecordingHooks.h"
#include "support/SharedState.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace DeviceReplies;

namespace {

// The main window's part of the polling hooks: chart work goes to the windows.
class ChartHooks : public RecordingHooks
{
public:
    explicit ChartHooks(TGraphicForms& Forms) : Forms_(Forms) {}
    bool GetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double& Min, double& Max) const override
    {
        return Forms_.GetChartAxisRange(Line, Axis, Min, Max);
    }
    void SetChartAxisRange(const TGraphLine& Line, TChartAxis Axis, double Min, double Max) override
    {
        Forms_.SetChartAxisRange(Line, Axis, Min, Max);
    }
    void MarkChartOverflow(const TGraphLine& Line, bool OverMin, bool OverMax) override
    {
        Forms_.MarkChartOverflow(Line, OverMin, OverMax);
    }

private:
    TGraphicForms& Forms_;
};

class GraphicWindows : public ::testing::Test
{
protected:
    GraphicWindows()
    {
        ResetDispatcherState();
        journal = std::make_unique<TFormJournal>();
        FormJournal = journal.get();
        JournalReady = true;
        hooks.link = &link;
        IniFileName = dir.filePath(QStringLiteral("klov.ini"));
    }
    ~GraphicWindows() override
    {
        ClearDevArray();
        ResetDispatcherState();
    }

    // A selected row whose two channels measure Quantity in Unit, limits 0..100.
    TTableDevice& addRow(quint16 Serial, const QString& Quantity, const QString& Unit)
    {
        DevArray.push_back(std::make_unique<TTableDevice>(Serial));
        TTableDevice& row = *DevArray.back();
        row.Status = dsOk;
        row.Selected = true;
        row.Device->DeviceType = TDeviceType::ThermoInputs;
        for (int n = 1; n <= 2; ++n) {
            TMeasureChannel& ch = row.Device->Channel(n);
            ch.Enabled = true;
            ch.ValueValid = true;
            ch.SensorType = TSensorType::Voltage;
            ch.MinAlert = 0;
            ch.MaxAlert = 100;
            ch.QuantityName = Quantity;
            ch.MeasUnitName = Unit;
        }
        return row;
    }

    void showCharts()
    {
        ASSERT_TRUE(AttachSelectedGraphLines(forms));
        forms.ShowAllGraphicForms();
        QCoreApplication::processEvents();
    }

    QTemporaryDir dir;
    QWidget owner;
    TGraphicForms forms{&owner};
    std::unique_ptr<TFormJournal> journal;
    FakeConnection link;
    ChartHooks hooks{forms};
    TDeviceReader reader{hooks};
};

const QString Temperature = QStringLiteral("Температура");
const QString Celsius = QStringLiteral("°C");

} // namespace

TEST_F(GraphicWindows, OneWindowPerQuantityAndUnit)
{
    TTableDevice& a = addRow(1234, Temperature, Celsius);
    addRow(77, Temperature, Celsius);
    addRow(500, QStringLiteral("Давление"), QStringLiteral("кПа"));
    // The same quantity in another unit, compared exactly.
    addRow(501, Temperature, QStringLiteral("°F"));
    TTableDevice& hidden = addRow(502, QStringLiteral("Ток"), QStringLiteral("мА"));
    hidden.Hidden = true;
    addRow(503, QStringLiteral("Напряжение"), QStringLiteral("В")).Selected = false;

    showCharts();
    ASSERT_EQ(forms.GraphicForms().size(), 3u);
    TFormGraphic& temp = *forms.GraphicForms()[0];
    EXPECT_EQ(temp.windowTitle(), QStringLiteral("График \"Температура\""));
    EXPECT_EQ(temp.Chart().LeftAxis().Title(), QStringLiteral("Температура, °C"));
    EXPECT_EQ(temp.Chart().BottomAxis().Title(), QStringLiteral("Время"));
    EXPECT_TRUE(temp.isVisible());
    EXPECT_EQ(temp.parentWidget(), &owner);
    ASSERT_EQ(temp.Chart().SeriesCount(), 4);
    ASSERT_EQ(temp.LineCount(), 4);
    // Table order, channel 1 before channel 2; the line number follows the title.
    EXPECT_EQ(temp.LineLabel(0)->text(), QStringLiteral("№01234К1 (1)"));
    EXPECT_EQ(temp.LineLabel(1)->text(), QStringLiteral("№01234К2 (2)"));
    EXPECT_EQ(temp.LineLabel(3)->text(), QStringLiteral("№00077К2 (4)"));
    EXPECT_EQ(a.Device->Channel1->GraphLine->GraphForm, &temp);
    EXPECT_EQ(forms.GraphicForms()[1]->windowTitle(), QStringLiteral("График \"Давление\""));
    EXPECT_EQ(forms.GraphicForms()[2]->MeasUnitName, QStringLiteral("°F"));
    EXPECT_EQ(forms.GraphicForms()[2]->windowTitle(), QStringLiteral("График \"Температура\""));

    // Again: no second window, no second line, default colours back.
    temp.Chart().Series(0).SetColor(Qt::magenta);
    showCharts();
    EXPECT_EQ(forms.GraphicForms().size(), 3u);
    EXPECT_EQ(temp.Chart().SeriesCount(), 4);
    EXPECT_EQ(temp.Chart().Series(0).Color(), GetLineColor(0));
    EXPECT_EQ(temp.Chart().Series(3).Color(), GetLineColor(3));

    // A channel now of another pair moves to that pair's window.
    a.Device->Channel1->QuantityName = QStringLiteral("Давление");
    a.Device->Channel1->MeasUnitName = QStringLiteral("кПа");
    showCharts();
    EXPECT_EQ(temp.Chart().SeriesCount(), 3);
    EXPECT_EQ(forms.GraphicForms()[1]->Chart().SeriesCount(), 3);
    EXPECT_EQ(a.Device->Channel1->GraphLine->GraphForm, forms.GraphicForms()[1]);

    // Closing only hides.
    temp.close();
    EXPECT_FALSE(temp.isVisible());
    EXPECT_EQ(forms.FindOrCreateGraphicForm(Temperature, Celsius), &temp);
}

TEST_F(GraphicWindows, NothingToShowLeavesEverythingAlone)
{
    TTableDevice& row = addRow(1, Temperature, Celsius);
    row.Device->Channel1->Enabled = false;
    row.Device->Channel2->Enabled = false;
    EXPECT_FALSE(AttachSelectedGraphLines(forms));
    row.Device->Channel1->Enabled = true;
    row.Selected = false;
    EXPECT_FALSE(AttachSelectedGraphLines(forms));
    EXPECT_TRUE(forms.GraphicForms().empty());
    EXPECT_EQ(row.Device->Channel1->GraphLine->Series->ParentChart(), nullptr);
}

TEST_F(GraphicWindows, EmptyQuantityGetsAWindowOfItsOwn)
{
    addRow(1, QString(), QString());
    showCharts();
    ASSERT_EQ(forms.GraphicForms().size(), 1u);
    EXPECT_EQ(forms.GraphicForms()[0]->windowTitle(), QStringLiteral("График \"\""));
}

TEST_F(GraphicWindows, PolledPointsAppearWithTheFirstPointAxisRuleAndOverflowMarks)
{
    PollingActive = true;
    TTableDevice& row = addRow(1234, Temperature, Celsius);
    showCharts();
    TFormGraphic& form = *forms.GraphicForms()[0];
    TPlotWidget& chart = form.Chart();
    EXPECT_FALSE(form.OverflowMinMarked());
    EXPECT_FALSE(form.OverflowMaxMarked());
    chart.BottomAxis().SetMinMax(1000, 1001);
    chart.LeftAxis().SetMinMax(0, 10);

    link.Reply(CurrentReply(1234, 0, 5, 150));
    QString err;
    ASSERT_TRUE(reader.ReadCurrentValues(row, err)) << err.toStdString();
    const IChartSeries& s1 = *row.Device->Channel1->GraphLine->Series;
    const IChartSeries& s2 = *row.Device->Channel2->GraphLine->Series;
    ASSERT_EQ(s1.Count(), 1);
    ASSERT_EQ(s2.Count(), 1);
    EXPECT_FLOAT_EQ(s1.YValue(0), 5);
    EXPECT_FLOAT_EQ(s2.YValue(0), 150);
    // The time axis jumps onto the first point keeping its span; the value axis
    // moved for 150 (outside [0, 10]) around it.
    const double t = s1.XValue(0);
    EXPECT_NEAR(chart.BottomAxis().Minimum(), t - 0.1, 1e-9);
    EXPECT_NEAR(chart.BottomAxis().Maximum(), t + 0.9, 1e-9);
    EXPECT_DOUBLE_EQ(chart.LeftAxis().Minimum(), 145);
    EXPECT_DOUBLE_EQ(chart.LeftAxis().Maximum(), 155);
    EXPECT_FALSE(form.OverflowMinMarked());
    EXPECT_TRUE(form.OverflowMaxMarked());

    link.Reply(CurrentReply(1234, 0, -3, 50));
    ASSERT_TRUE(reader.ReadCurrentValues(row, err));
    EXPECT_EQ(s1.Count(), 2);
    EXPECT_DOUBLE_EQ(chart.LeftAxis().Minimum(), 145) << "only the first point moves the axes";
    EXPECT_TRUE(form.OverflowMinMarked());

    // The next show clears the marks, then lights them from the stored values.
    form.close();
    row.Device->Channel1->MinAlert = -10;
    form.show();
    EXPECT_FALSE(form.OverflowMinMarked());
    EXPECT_TRUE(form.OverflowMaxMarked()) << "channel 2 reached 150";
    row.Device->Channel2->MaxAlert = 150;
    form.close();
    form.show();
    EXPECT_TRUE(form.OverflowMaxMarked()) << "a value equal to the limit counts";
}

TEST_F(GraphicWindows, LineCheckBoxesAndAllLines)
{
    addRow(1, Temperature, Celsius);
    addRow(2, Temperature, Celsius);
    showCharts();
    TFormGraphic& form = *forms.GraphicForms()[0];
    auto* all = form.findChild<QCheckBox*>(QStringLiteral("cbLineAll"));
    ASSERT_TRUE(all);
    EXPECT_TRUE(all->isChecked());

    QTest::mouseClick(form.LineCheckBox(1), Qt::LeftButton);
    EXPECT_FALSE(form.Chart().Series(1).Active());
    EXPECT_TRUE(form.Chart().Series(0).Active());
    EXPECT_FALSE(all->isChecked());
    EXPECT_TRUE(form.Chart().Series(2).Active()) << "unchecking all-lines moved no line";

    // A caption click toggles its line once.
    QTest::mouseClick(form.LineLabel(1), Qt::LeftButton);
    EXPECT_TRUE(form.Chart().Series(1).Active());
    EXPECT_TRUE(all->isChecked());

    QTest::mouseClick(all, Qt::LeftButton);
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(form.Chart().Series(i).Active());
        EXPECT_FALSE(form.LineCheckBox(i)->isChecked());
    }
}

TEST_F(GraphicWindows, SeventeenthLineRepeatsTheFirstColour)
{
    for (quint16 s = 1; s <= 9; ++s)
        addRow(s, Temperature, Celsius);
    showCharts();
    TFormGraphic& form = *forms.GraphicForms()[0];
    ASSERT_EQ(form.LineCount(), 18);
    EXPECT_EQ(form.LineColor(16), form.LineColor(0));
    EXPECT_NE(form.LineColor(15), form.LineColor(0));
}
