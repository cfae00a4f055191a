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
    // A print queue can be removed while the program runs; the printer keeps
    // its name and a job sent to it would be lost without a word.
    virtual bool Present() const;
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
    // The chart's hairlines (zero-width pens) are one device pixel wide: at the
    // screen's resolution they keep on paper the weight they have on screen.
    QPrinter Printer_{QPrinter::ScreenResolution};
};
