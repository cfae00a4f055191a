#pragma once

#include <QPrinter>
#include <QString>

class QPicture;
class QRect;
class QWidget;

// The current printer of the chart print dialog. Where the machine has no
// print queue the printer is a PDF file, asked for at each print, so printing
// works everywhere. Setup and the page size are virtual so tests can stand in
// for the platform's dialog and for a faulty printer driver.
class TChartPrinter
{
public:
    TChartPrinter();
    virtual ~TChartPrinter() = default;
    TChartPrinter(const TChartPrinter&) = delete;
    TChartPrinter& operator=(const TChartPrinter&) = delete;

    bool Available() const;
    QString PrinterName() const;
    bool PrintsToFile() const;
    // The printable area of a page in the current orientation, in device pixels.
    virtual QSize PageSize() const;
    bool Landscape() const;
    void SetLandscape(bool Landscape);
    // The printer setup: printer, paper, orientation. True when confirmed.
    virtual bool Setup(QWidget* Parent);
    // One page with Picture stretched into Target (device pixels). A declined
    // file question prints nothing and is no failure.
    bool Print(const QPicture& Picture, const QRect& Target, QWidget* Parent, QString& ErrorText);

    QPrinter& Printer() { return Printer_; }

private:
    // The chart's picture resolves its fonts at screen resolution; a printer at
    // another resolution would replay the texts scaled by the ratio of the two.
    QPrinter Printer_{QPrinter::ScreenResolution};
};
