#include "charts/ChartPrinter.h"

#include "charts/PictureImage.h"
#include "platform/Prompts.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QPainter>
#include <QPicture>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QPushButton>

namespace {
const QString PdfPrinterName = QStringLiteral("Печать в файл PDF");
}

TChartPrinter::TChartPrinter()
{
    if (QPrinterInfo::availablePrinterNames().isEmpty())
        Printer_.setOutputFormat(QPrinter::PdfFormat);
}

bool TChartPrinter::Available() const
{
    return PrintsToFile() || Printer_.isValid();
}

bool TChartPrinter::Present() const
{
    return PrintsToFile() || !QPrinterInfo::printerInfo(Printer_.printerName()).isNull();
}

QString TChartPrinter::PrinterName() const
{
    return PrintsToFile() ? PdfPrinterName : Printer_.printerName();
}

bool TChartPrinter::PrintsToFile() const
{
    return Printer_.outputFormat() == QPrinter::PdfFormat;
}

QSize TChartPrinter::PageSize() const
{
    return Printer_.pageLayout().paintRectPixels(Printer_.resolution()).size();
}

bool TChartPrinter::Landscape() const
{
    return Printer_.pageLayout().orientation() == QPageLayout::Landscape;
}

void TChartPrinter::SetLandscape(bool Landscape)
{
    Printer_.setPageOrientation(Landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
}

bool TChartPrinter::Setup(QWidget* Parent)
{
    QPrintDialog dialog(&Printer_, Parent);
    dialog.setWindowTitle(QStringLiteral("Настройка принтера"));
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    // The dialog only sets the printer up, so it confirms with "OK" rather than
    // Qt's "Print"; "Отмена" also where Qt's translations are missing.
    if (auto* box = dialog.findChild<QDialogButtonBox*>()) {
        if (QPushButton* ok = box->button(QDialogButtonBox::Ok))
            ok->setText(QStringLiteral("OK"));
        if (QPushButton* cancel = box->button(QDialogButtonBox::Cancel))
            cancel->setText(QStringLiteral("Отмена"));
    }
    return dialog.exec() == QDialog::Accepted;
}

bool TChartPrinter::Print(const QPicture& Picture, const QRect& Target, QWidget* Parent, QString& ErrorText)
{
    if (PrintsToFile()) {
        const QString proposed = Printer_.outputFileName().isEmpty()
                                     ? QDir::home().filePath(QStringLiteral("График.pdf"))
                                     : Printer_.outputFileName();
        const QString file = Prompts::Current().SaveFileName(
            Parent, PdfPrinterName, proposed, QStringLiteral("Файлы PDF (*.pdf)"), QStringLiteral("pdf"),
            QStringLiteral("Сохранить"));
        if (file.isEmpty())
            return true;
        Printer_.setOutputFileName(file);
    }
    QPainter painter;
    if (!painter.begin(&Printer_)) {
        ErrorText = PrintsToFile()
                        ? QStringLiteral("Не удалось создать файл \"%1\".")
                              .arg(QDir::toNativeSeparators(Printer_.outputFileName()))
                        : QStringLiteral("Не удалось начать печать на принтере \"%1\".").arg(PrinterName());
        return false;
    }
    TPictureImage::DrawStretched(painter, Picture, Target);
    if (!painter.end()) {
        ErrorText = QStringLiteral("Ошибка печати на принтере \"%1\".").arg(PrinterName());
        return false;
    }
    return true;
}
