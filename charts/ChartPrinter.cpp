#include "charts/ChartPrinter.h"

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
    // No Qt translations are installed: the buttons get their texts here.
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
    const QRect source = Picture.boundingRect();
    QPainter painter;
    if (!painter.begin(&Printer_)) {
        ErrorText = PrintsToFile()
                        ? QStringLiteral("Не удалось создать файл \"%1\".")
                              .arg(QDir::toNativeSeparators(Printer_.outputFileName()))
                        : QStringLiteral("Не удалось начать печать на принтере \"%1\".").arg(PrinterName());
        return false;
    }
    if (!source.isEmpty()) {
        painter.translate(Target.topLeft());
        painter.scale(static_cast<double>(Target.width()) / source.width(),
                      static_cast<double>(Target.height()) / source.height());
        painter.drawPicture(-source.topLeft(), Picture);
    }
    if (!painter.end()) {
        ErrorText = QStringLiteral("Ошибка печати на принтере \"%1\".").arg(PrinterName());
        return false;
    }
    return true;
}
