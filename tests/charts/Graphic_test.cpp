#include "charts/Graphic.h"
#include "charts/GraphicForms.h"
#include "charts/PlotWidget.h"
#include "core/DateTime.h"
#include "core/Device.h"
#include "dispatcher/ChartHooks.h"
#include "dispatcher/DeviceReader.h"
#include "dispatcher/DeviceTable.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/GraphicAction.h"
#include "dispatcher/Journal.h"
#include "platform/IniFile.h"
#include "support/DeviceReplies.h"
#include "support/FakeConnection.h"
#include "support/QStringPrinter.h"
#include "support/RecordingHooks.h"
#include "support/ScriptedPrompts.h"
#include "support/SharedState.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace DeviceReplies;

namespace {

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
    // The main window's part of the polling hooks: chart work goes to the windows.
    TChartHooks<RecordingHooks> hooks{forms};
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

namespace {

QCheckBox* checkBox(const TFormGraphic& Form, const char* Name)
{
    return Form.findChild<QCheckBox*>(QString::fromLatin1(Name));
}

} // namespace

TEST_F(GraphicWindows, ClosingWritesTheSectionInOrderAndShowReadsItBack)
{
    TFormGraphic* form = forms.FindOrCreateGraphicForm(Temperature, Celsius);
    form->show();
    // No lines: no rows, all-lines checked, the value axis from the defaults 0..10.
    EXPECT_EQ(form->LineCount(), 0);
    EXPECT_TRUE(checkBox(*form, "cbLineAll")->isChecked());
    EXPECT_DOUBLE_EQ(form->Chart().LeftAxis().Minimum(), 0);
    EXPECT_DOUBLE_EQ(form->Chart().LeftAxis().Maximum(), 10);
    EXPECT_EQ(form->YScaleIndex, 15);
    EXPECT_TRUE(form->TimerAutoZoom.isActive());
    EXPECT_TRUE(form->TimerGraphAutoDrag.isActive());
    form->close();

    const IniFile ini(IniFileName);
    const QString section = QStringLiteral("Graphic Температура");
    EXPECT_EQ(
        ini.ReadSection(section),
        (QStringList{"Autozoom", "BackColor", "GridColor", "Tracking", "TrackingLine", "Dots", "DotSize",
                     "SetRange", "RangeMin", "RangeMax", "RangeMinColor", "RangeMaxColor", "xAxisScaleIndex",
                     "yAxisMin", "yAxisMax", "WindowHeight", "WindowWidth", "WindowXPos", "WindowYPos"}));
    const auto value = [&](const char* Key) {
        return ini.ReadString(section, QString::fromLatin1(Key), "?");
    };
    EXPECT_EQ(value("Autozoom"), "1");
    EXPECT_EQ(value("BackColor"), "-16777201");
    EXPECT_EQ(value("GridColor"), "8421504");
    EXPECT_EQ(value("TrackingLine"), "1");
    EXPECT_EQ(value("DotSize"), "2");
    EXPECT_EQ(value("SetRange"), "0");
    EXPECT_EQ(value("RangeMax"), "0");
    EXPECT_EQ(value("xAxisScaleIndex"), "23") << "the default time window of 10-second steps";
    EXPECT_EQ(value("yAxisMin"), "0");
    EXPECT_EQ(value("yAxisMax"), "10");
    EXPECT_EQ(value("WindowHeight"), QString::number(form->height()));
    EXPECT_EQ(value("WindowWidth"), QString::number(form->width()));

    // Stored values come back at the next show; the other unit's window shares the section.
    QString err;
    IniFile rw(IniFileName);
    ASSERT_TRUE(rw.WriteString(section, "Autozoom", "0", err));
    ASSERT_TRUE(rw.WriteString(section, "Dots", "0", err));
    ASSERT_TRUE(rw.WriteString(section, "DotSize", "7", err));
    ASSERT_TRUE(rw.WriteString(section, "SetRange", "1", err));
    ASSERT_TRUE(rw.WriteString(section, "RangeMin", "-1,5", err));
    ASSERT_TRUE(rw.WriteString(section, "RangeMax", "2,00005", err));
    ASSERT_TRUE(rw.WriteString(section, "GridColor", "255", err));
    ASSERT_TRUE(rw.WriteString(section, "yAxisMin", "-0,005", err));
    ASSERT_TRUE(rw.WriteString(section, "yAxisMax", "0,005", err));
    ASSERT_TRUE(rw.WriteString(section, "xAxisScaleIndex", "300", err));
    ASSERT_TRUE(rw.WriteString(section, "WindowWidth", "640", err));
    TFormGraphic* other = forms.FindOrCreateGraphicForm(Temperature, QStringLiteral("K"));
    other->show();
    EXPECT_FALSE(checkBox(*other, "CBAutoZoom")->isChecked());
    EXPECT_FALSE(other->TimerAutoZoom.isActive());
    EXPECT_FALSE(checkBox(*other, "CheckBoxPoints")->isChecked());
    EXPECT_EQ(other->findChild<QSpinBox*>("RxSpGraphPSize")->value(), 7);
    EXPECT_TRUE(other->findChild<QGroupBox*>("JvGroupBoxLimitLines")->isChecked());
    EXPECT_EQ(other->findChild<QLabel*>("LabelMinLimit")->text(), QStringLiteral("-1,5000, K"));
    EXPECT_EQ(other->findChild<QLabel*>("LabelMaxLimit")->text(), QStringLiteral("2,0001, K"));
    EXPECT_EQ(other->GridColor(), 255);
    EXPECT_EQ(other->Chart().LeftAxis().GridColor(), QColor(Qt::red));
    EXPECT_EQ(other->XScaleIndex, 23) << "the stored index is replaced when the time axis is set";
    EXPECT_EQ(other->YScaleIndex, 23);
    EXPECT_DOUBLE_EQ(other->Chart().LeftAxis().Minimum(), -0.01);
    EXPECT_DOUBLE_EQ(other->Chart().LeftAxis().Maximum(), 0.01);
    EXPECT_EQ(other->width(), 640);
    other->close();
    EXPECT_EQ(IniFile(IniFileName).ReadString(section, "RangeMax", "?"), QStringLiteral("2,00005"));
    EXPECT_EQ(IniFile(IniFileName).ReadString(section, "yAxisMin", "?"), QStringLiteral("-0,01"));
}

TEST_F(GraphicWindows, StoredTrackingLineBeyondTheLinesTracksLineOne)
{
    addRow(1, Temperature, Celsius);
    addRow(2, Temperature, Celsius);
    QString err;
    IniFile rw(IniFileName);
    ASSERT_TRUE(rw.WriteString(QStringLiteral("Graphic Температура"), "TrackingLine", "5", err));
    showCharts();
    TFormGraphic& form = *forms.GraphicForms()[0];
    EXPECT_EQ(form.TrackingLine, 1);
    EXPECT_EQ(form.Chart().Series(0).Pointer().Style, TPointerStyle::Circle);
    EXPECT_EQ(form.Chart().Series(0).Pointer().PenColor, QColor(Qt::white));
    EXPECT_EQ(form.Chart().Series(1).Pointer().Style, TPointerStyle::Rectangle);

    // Another tracked line: the mark moves.
    form.findChild<QSpinBox*>("RxSpAutoDrag")->setValue(3);
    EXPECT_EQ(form.TrackingLine, 3);
    EXPECT_EQ(form.Chart().Series(0).Pointer().Style, TPointerStyle::Rectangle);
    EXPECT_EQ(form.Chart().Series(0).Pointer().PenColor, QColor(Qt::black));
    EXPECT_EQ(form.Chart().Series(2).Pointer().Style, TPointerStyle::Circle);
}

TEST_F(GraphicWindows, DuringTheArchiveReplayAutozoomIsOffAndUnread)
{
    ArchiveGraphMode = true;
    TFormGraphic* form = forms.FindOrCreateGraphicForm(Temperature, Celsius);
    form->show();
    ArchiveGraphMode = false;
    EXPECT_FALSE(checkBox(*form, "CBAutoZoom")->isChecked());
    form->close();
    EXPECT_EQ(IniFile(IniFileName).ReadString(QStringLiteral("Graphic Температура"), "Autozoom", "?"), "0");
}

namespace {

class GraphicScales : public GraphicWindows
{
protected:
    void SetUp() override
    {
        Prompts::SetCurrent(&prompts);
        addRow(1234, Temperature, Celsius);
        showCharts();
        form = forms.GraphicForms()[0];
        form->resize(700, 500);
        QCoreApplication::processEvents();
    }
    void TearDown() override { Prompts::SetCurrent(nullptr); }

    IChartSeries& series(int I) const { return form->Chart().Series(I); }
    const TPlotAxis& bottom() const { return form->Chart().BottomAxis(); }
    const TPlotAxis& left() const { return form->Chart().LeftAxis(); }
    QAbstractButton* button(const char* Name) const
    {
        return form->findChild<QAbstractButton*>(QString::fromLatin1(Name));
    }

    ScriptedPrompts prompts;
    TFormGraphic* form = nullptr;
};

constexpr double Second = 1.0 / 86400;
constexpr double T = 46000.5 + 7.4 * Second;

} // namespace

TEST_F(GraphicScales, ViewAllSnapsToWholeStepsAroundTheShownPoints)
{
    series(0).AddXY(T, 3.0031, Qt::red);
    form->ViewAll();
    EXPECT_EQ(form->XScaleIndex, 24);
    EXPECT_NEAR(bottom().Minimum(), 46000.5 + 4 * Second, 1e-9);
    EXPECT_NEAR(bottom().Maximum(), 46000.5 + 10 * Second, 1e-9);
    EXPECT_EQ(bottom().Minimum(), form->Chart().TopAxis().Minimum());
    EXPECT_EQ(form->YScaleIndex, 23);
    EXPECT_NEAR(left().Minimum(), 3.004 - 0.01, 1e-9);
    EXPECT_NEAR(left().Maximum(), 3.004 + 0.01, 1e-9);
    // Zooming in further at 1 second does nothing.
    const double min = bottom().Minimum();
    button("btnZoomInX")->setEnabled(true);
    form->btnZoomInXClick();
    EXPECT_FALSE(button("btnZoomInX")->isEnabled());
    EXPECT_EQ(bottom().Minimum(), min);

    // Ten minutes: 2-minute steps, 12 minutes around the centre; a hidden line does not count.
    series(0).AddXY(T + 600 * Second, 3, Qt::red);
    series(1).AddXY(T - 86400 * Second, 1000, Qt::red);
    series(1).SetActive(false);
    form->ViewAll();
    EXPECT_EQ(form->XScaleIndex, 19);
    EXPECT_NEAR((bottom().Maximum() - bottom().Minimum()) / Second, 720, 1e-3);
    const double centre = std::nearbyint((T + 300 * Second) / (120 * Second)) * 120 * Second;
    EXPECT_NEAR(bottom().Minimum(), centre - 360 * Second, 1e-9);

    // Zoom out and in by one step each, re-derived from the present view.
    form->btnZoomOutXClick();
    EXPECT_EQ(form->XScaleIndex, 18);
    EXPECT_NEAR((bottom().Maximum() - bottom().Minimum()) / Second, 1800, 1e-3);
    form->btnZoomInYClick();
    EXPECT_EQ(form->YScaleIndex, 23);
}

TEST_F(GraphicScales, TheTimeGridShowsSixStepsOfTheTable)
{
    // Points over 10 minutes: 2-minute steps; zoomed in once, 1-minute steps
    // over 6 minutes. The grid follows the table, not the label widths.
    series(0).AddXY(T, 1, Qt::red);
    series(0).AddXY(T + 600 * Second, 2, Qt::red);
    form->ViewAll();
    ASSERT_EQ(form->XScaleIndex, 19);
    const auto steps = [&](double Step) { return (bottom().Maximum() - bottom().Minimum()) / Step; };
    EXPECT_NEAR(steps(form->Chart().GridStep(bottom())), 6, 1e-6);
    form->btnZoomInXClick();
    ASSERT_EQ(form->XScaleIndex, 20);
    EXPECT_NEAR(steps(form->Chart().GridStep(bottom())), 6, 1e-6);
    // At the designed size every grid line of these steps has its label.
    EXPECT_NEAR(steps(form->Chart().LabelStep(bottom())), 6, 1e-6);
    // Labels that need more room keep the six grid steps.
    form->XScaleIndex = 10;
    form->SetXScale(false);
    EXPECT_NEAR(steps(form->Chart().GridStep(bottom())), 6, 1e-6);
}

TEST_F(GraphicScales, WiderThanTwelveYearsKeepsTheFittedRange)
{
    series(0).AddXY(30000, 1, Qt::red);
    series(0).AddXY(35000, 2, Qt::red);
    form->ViewAll();
    EXPECT_EQ(form->XScaleIndex, 0);
    EXPECT_NEAR(bottom().Minimum(), 29500, 1e-6);
    EXPECT_NEAR(bottom().Maximum(), 35500, 1e-6);
    EXPECT_FALSE(button("btnZoomOutX")->isEnabled());
    form->btnZoomOutXClick();
    EXPECT_NEAR(bottom().Minimum(), 29500, 1e-6);
}

TEST_F(GraphicScales, NoShownPointsGiveTheDefaultScales)
{
    series(0).AddXY(T, 5, Qt::red);
    series(0).SetActive(false);
    const double before = NowTDateTime();
    form->ViewAll();
    EXPECT_EQ(form->YScaleIndex, 6);
    EXPECT_DOUBLE_EQ(left().Minimum(), -5000);
    EXPECT_DOUBLE_EQ(left().Maximum(), 5000);
    EXPECT_EQ(form->XScaleIndex, 23);
    EXPECT_NEAR(bottom().Maximum() - bottom().Minimum(), 60 * Second, 1e-9);
    EXPECT_NEAR(bottom().Maximum(), before + 10 * Second, 6 * Second);
}

TEST_F(GraphicScales, PanButtonsMoveATenthOfAStep)
{
    form->ViewAll();
    const double lmin = left().Minimum();
    const double bmin = bottom().Minimum();
    form->UpButtonClick();
    EXPECT_DOUBLE_EQ(left().Minimum(), lmin - 100);
    form->DownButtonClick();
    form->DownButtonClick();
    EXPECT_DOUBLE_EQ(left().Minimum(), lmin + 100);
    form->RightButtonClick();
    EXPECT_NEAR(bottom().Minimum(), bmin - Second, 1e-9);
    EXPECT_NEAR(form->Chart().TopAxis().Minimum(), bmin - Second, 1e-9);
    EXPECT_EQ(form->XScaleIndex, 23) << "panning keeps the step";
}

TEST_F(GraphicScales, TrackingFollowsTheNewestPointOfItsLine)
{
    form->TimerGraphAutoDragTimer();
    series(0).AddXY(T, 42.3, Qt::red);
    form->TrackingLine = 0;
    const double bmin = bottom().Minimum();
    form->TimerGraphAutoDragTimer();
    EXPECT_EQ(bottom().Minimum(), bmin) << "no tracked line";
    form->TrackingLine = 5;
    form->TimerGraphAutoDragTimer();
    EXPECT_EQ(bottom().Minimum(), bmin) << "beyond the lines";

    form->TrackingLine = 1;
    form->XScaleIndex = 23;
    form->YScaleIndex = 15;
    form->TrackingYSet = false;
    form->Chart().BottomAxis().SetMinMax(T - 60 * Second, T);
    form->TimerGraphAutoDragTimer();
    // On the edge (>=): the point one step inside the right edge.
    EXPECT_NEAR(bottom().Maximum(), T + 2.6 * Second + 10 * Second, 1e-9);
    EXPECT_NEAR(bottom().Minimum(), T + 2.6 * Second - 50 * Second, 1e-9);
    EXPECT_DOUBLE_EQ(left().Minimum(), 37);
    EXPECT_DOUBLE_EQ(left().Maximum(), 47);
    EXPECT_TRUE(form->TrackingYSet);

    series(0).AddXY(T + Second, 47.2, Qt::red);
    const double b = bottom().Minimum();
    form->TimerGraphAutoDragTimer();
    EXPECT_EQ(bottom().Minimum(), b) << "strictly inside";
    EXPECT_DOUBLE_EQ(left().Minimum(), 38);
    EXPECT_DOUBLE_EQ(left().Maximum(), 48);
}

TEST_F(GraphicScales, TimeLabelsFollowTheStep)
{
    const auto label = [&](const TPlotAxis& Axis, int Index, const QString& Made) {
        form->XScaleIndex = static_cast<quint8>(Index);
        QString text = Made;
        form->Chart1GetAxisLabel(Axis, text);
        return text;
    };
    const QString made = QStringLiteral("07.12.2026 06:05:04");
    EXPECT_EQ(label(bottom(), 20, made), QStringLiteral("06:05:04"));
    EXPECT_EQ(label(bottom(), 11, made), QStringLiteral("06:05")) << "6 hours";
    EXPECT_EQ(label(bottom(), 10, made), QStringLiteral("07.12 06:05")) << "12 hours";
    EXPECT_EQ(label(bottom(), 8, made), QStringLiteral("07.12.2026")) << "2 days";
    EXPECT_EQ(label(bottom(), 8, QStringLiteral("x")), QStringLiteral("x"));
    EXPECT_EQ(label(left(), 8, made), made) << "other axes keep theirs";
}

TEST_F(GraphicScales, ClearingAsksAndKeepsTheLines)
{
    series(0).AddXY(T, 1, Qt::red);
    form->MarkOverflow(true, false);
    prompts.YesAnswers = {false, true};
    button("BtnClearGraph")->click();
    EXPECT_EQ(series(0).Count(), 1);
    button("BtnClearGraph")->click();
    EXPECT_EQ(series(0).Count(), 0);
    EXPECT_EQ(form->Chart().SeriesCount(), 2);
    EXPECT_TRUE(form->OverflowMinMarked());
    EXPECT_EQ(prompts.Questions.value(0), QStringLiteral("Убрать все накопленные данные с графика?"));
    EXPECT_EQ(prompts.QuestionCaptions.value(0), QStringLiteral("Внимание!"));

    prompts.YesAnswers = {true};
    series(0).SetColor(Qt::magenta);
    button("BtnColorDefault")->click();
    EXPECT_EQ(prompts.QuestionCaptions.value(2), QStringLiteral("Кловарис: график"));
    EXPECT_EQ(series(0).Color(), GetLineColor(0));
}

TEST_F(GraphicScales, MouseReadOutOnlyInsideThePlot)
{
    const QRect plot = form->Chart().PlotRect();
    ASSERT_FALSE(plot.isEmpty());
    QTest::mouseMove(&form->Chart(), plot.center());
    EXPECT_TRUE(form->StatusText(0).endsWith(QStringLiteral(", °C")));
    EXPECT_FALSE(form->StatusText(1).isEmpty());
    QTest::mouseMove(&form->Chart(), QPoint(2, 2));
    EXPECT_TRUE(form->StatusText(0).isEmpty());
    EXPECT_TRUE(form->StatusText(1).isEmpty());

    // One number convention whatever the locale: decimal comma, no grouping, as
    // the range labels write them.
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(left().FormatLabel(1400), QStringLiteral("1400"));
    EXPECT_EQ(left().FormatLabel(-2.5), QStringLiteral("-2,5"));
    EXPECT_EQ(left().FormatLabel(-0.0001), QStringLiteral("0"));
    form->Chart().LeftAxis().SetMinMax(1000, 2000);
    QTest::mouseMove(&form->Chart(), form->Chart().PlotRect().center());
    QLocale::setDefault(saved);
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^1[45]\\d\\d(,\\d+)?, °C$")).match(form->StatusText(0)).hasMatch())
        << form->StatusText(0).toStdString();

    // A show starts with no read-out left from before.
    form->close();
    form->show();
    EXPECT_TRUE(form->StatusText(0).isEmpty());
    EXPECT_TRUE(form->StatusText(1).isEmpty());
}

TEST_F(GraphicScales, MouseZoomMovesTheStepIndices)
{
    form->ViewAll();
    ASSERT_EQ(form->XScaleIndex, 23);
    ASSERT_EQ(form->YScaleIndex, 6);
    const QRect plot = form->Chart().PlotRect();
    form->Chart().ZoomRect(QRect(plot.left(), plot.top(), plot.width() / 10, plot.height() / 10));
    EXPECT_EQ(form->XScaleIndex, 24);
    EXPECT_EQ(form->YScaleIndex, 9) << "a tenth of 10000 shown: steps of 100";
    form->Chart().UndoZoom();
    EXPECT_EQ(form->XScaleIndex, 23);
    EXPECT_EQ(form->YScaleIndex, 6);
}

TEST_F(GraphicScales, RangeLinesSetByAClickInThePlotAndSwapped)
{
    auto* group = form->findChild<QGroupBox*>(QStringLiteral("JvGroupBoxLimitLines"));
    auto* maxLabel = form->findChild<QLabel*>(QStringLiteral("LabelMaxLimit"));
    auto* minLabel = form->findChild<QLabel*>(QStringLiteral("LabelMinLimit"));
    form->Chart().LeftAxis().SetMinMax(0, 100);
    QCoreApplication::processEvents();
    const QRect plot = form->Chart().PlotRect();
    const QPoint low(plot.center().x(), plot.top() + plot.height() * 3 / 4);
    const double lowValue = form->Chart().LeftAxis().CalcPosPoint(low.y());

    // Armed, but the group box is off: nothing.
    EXPECT_FALSE(button("SpeedButtonMaxLimit")->isEnabled()) << "the contents follow the group box";
    group->setChecked(true);
    button("SpeedButtonMaxLimit")->click();
    group->setChecked(false);
    QTest::mouseClick(&form->Chart(), Qt::RightButton, {}, low);
    EXPECT_DOUBLE_EQ(form->RangeMax, 0);
    group->setChecked(true);
    // Max below the present Min (0 after the show, label filled): the two swap.
    form->RangeMin = 50;
    QTest::mouseClick(&form->Chart(), Qt::RightButton, {}, low);
    EXPECT_DOUBLE_EQ(form->RangeMin, lowValue);
    EXPECT_DOUBLE_EQ(form->RangeMax, 50);
    EXPECT_EQ(maxLabel->text(), QStringLiteral("50,0000, °C"));
    EXPECT_TRUE(minLabel->text().endsWith(QStringLiteral(", °C")));
    EXPECT_FALSE(button("SpeedButtonMaxLimit")->isChecked());
    // One armed button at a time.
    button("SpeedButtonMaxLimit")->click();
    button("SpeedButtonMinLimit")->click();
    EXPECT_FALSE(button("SpeedButtonMaxLimit")->isChecked());
    EXPECT_TRUE(button("SpeedButtonMinLimit")->isChecked());
}

TEST_F(GraphicWindows, DeletedDeviceLeavesNoStaleLineControls)
{
    addRow(1, Temperature, Celsius);
    addRow(2, Temperature, Celsius);
    addRow(3, QStringLiteral("Давление"), QStringLiteral("кПа"));
    showCharts();
    TFormGraphic& form = *forms.GraphicForms()[0];
    TFormGraphic& other = *forms.GraphicForms()[1];
    ASSERT_EQ(form.Chart().SeriesCount(), 4);
    auto* all = form.findChild<QCheckBox*>(QStringLiteral("cbLineAll"));
    ASSERT_TRUE(all);
    // Points drawn in each line's colour: line 3 (the second device's K1) in the third one.
    for (int i = 0; i < 4; ++i)
        form.Chart().Series(i).AddXY(45000 + i, i, GetLineColor(i));
    // The operator zoomed the window that loses nothing.
    other.Chart().LeftAxis().SetMinMax(-3.5, 7);

    // The first device goes: its lines leave the chart while the window is open.
    DevArray.erase(DevArray.begin());
    ASSERT_EQ(form.Chart().SeriesCount(), 2);

    // Rows left over from the last show do nothing, never touch another line.
    QTest::mouseClick(form.LineCheckBox(3), Qt::LeftButton);
    QTest::mouseClick(form.LineLabel(2), Qt::LeftButton);
    EXPECT_TRUE(form.Chart().Series(0).Active());
    EXPECT_TRUE(form.Chart().Series(1).Active());
    QTest::mouseClick(all, Qt::LeftButton);
    QTest::mouseClick(all, Qt::LeftButton);
    EXPECT_TRUE(form.Chart().Series(0).Active());

    // Shown again, the window has one row per remaining line, titled by them,
    // and the colour key names them: line and points in their new line's colour.
    forms.ReshowOpenGraphicForms();
    QCoreApplication::processEvents();
    EXPECT_TRUE(form.isVisible());
    ASSERT_EQ(form.LineCount(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(form.LineColor(i), GetLineColor(i));
        EXPECT_EQ(form.Chart().Series(i).Color(), GetLineColor(i));
        EXPECT_EQ(form.Chart().Series(i).PointColor(0), GetLineColor(i)) << i;
    }
    EXPECT_EQ(other.Chart().LeftAxis().Minimum(), -3.5);
    EXPECT_EQ(other.Chart().LeftAxis().Maximum(), 7);

    // Shutdown closes hidden windows too: the section holds the axis they end with.
    other.close();
    other.Chart().LeftAxis().SetMinMax(-8, 2);
    forms.CloseAllGraphicForms();
    EXPECT_EQ(
        IniFile(IniFileName).ReadString(QStringLiteral("Graphic Давление"), QStringLiteral("yAxisMin"), {}),
        QStringLiteral("-8"));
    QTest::mouseClick(form.LineCheckBox(0), Qt::LeftButton);
    EXPECT_FALSE(form.Chart().Series(0).Active());
    EXPECT_EQ(form.Chart().Series(0).Title(), QStringLiteral("№00002К1"));
    EXPECT_FALSE(all->isChecked());
    QTest::mouseClick(form.LineCheckBox(0), Qt::LeftButton);
    EXPECT_TRUE(all->isChecked());
}
