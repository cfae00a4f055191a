#pragma once

#include "charts/PrintRect.h"

#include <QDialog>
#include <QPointer>
#include <memory>

namespace Ui {
class TFormPrintDialog;
}
class TChartPrinter;
class TMover;
class TPictureImage;
class TPlotWidget;

// Prints one chart on one page: a preview of the page on which the chart's
// image can be moved and resized, a size mode and the printer setup. Created
// once at start-up; the page layout, the size mode and the image's place are
// kept between prints (not in the settings file).
class TFormPrintDialog : public QDialog
{
    Q_OBJECT

public:
    explicit TFormPrintDialog(QWidget* Parent = nullptr);
    ~TFormPrintDialog() override;

    // Prepares the dialog for Chart, shows it and prints on "Печать".
    bool Execute(TPlotWidget& Chart, QString& ErrorText);
    // The parts of Execute before and after the modal show.
    bool Prepare(TPlotWidget& Chart, QString& ErrorText);
    bool PrintPage(QString& ErrorText);

    void LayoutPage();
    void PlacePlotImage();
    void UpdatePlotImage();

    // Takes the printer over (tests put a scripted one in).
    void SetPrinter(std::unique_ptr<TChartPrinter> Printer);
    TChartPrinter& Printer() const { return *Printer_; }

    int ChartWidth = 0;
    int ChartHeight = 0;
    TPrintRect PrintArea;
    bool FitToPage = false;
    bool FirstShow = true;

    TPrintRect PageRect() const;
    TPrintRect ImageRect() const;
    TPictureImage& PlotImage() const;
    TMover& Mover() const { return *Mover_; }

private:
    void cbAspectSizeChange(int Index);
    void btSetPrinter1Click();
    bool PageSizeUsable(QString& ErrorText) const;

    std::unique_ptr<Ui::TFormPrintDialog> ui;
    std::unique_ptr<TMover> Mover_;
    std::unique_ptr<TChartPrinter> Printer_;
    QPointer<TPlotWidget> PrintChartRef;
};

extern TFormPrintDialog* FormPrintDialog;

// What the chart windows' print button runs.
bool PrintChart(TPlotWidget& Chart, QString& ErrorText);
