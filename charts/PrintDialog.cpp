#include "charts/PrintDialog.h"

#include "charts/ChartPrinter.h"
#include "charts/Mover.h"
#include "charts/PictureImage.h"
#include "charts/PlotWidget.h"
#include "charts/PrintGeometry.h"
#include "platform/Prompts.h"
#include "ui_PrintDialog.h"

#include <QScopeGuard>

TFormPrintDialog* FormPrintDialog = nullptr;

TFormPrintDialog::TFormPrintDialog(QWidget* Parent)
    : QDialog(Parent), ui(std::make_unique<Ui::TFormPrintDialog>()),
      Printer_(std::make_unique<TChartPrinter>())
{
    ui->setupUi(this);
    setFixedSize(size());
    Mover_ = std::make_unique<TMover>(ui->PlotImage);
    ui->cbAspectSize->setCurrentIndex(0);
    connect(ui->cbAspectSize, &QComboBox::activated, this, &TFormPrintDialog::cbAspectSizeChange);
    connect(ui->btSetPrinter, &QAbstractButton::clicked, this, &TFormPrintDialog::btSetPrinter1Click);
    connect(ui->btPrint, &QAbstractButton::clicked, this, &QDialog::accept);
    connect(ui->btClose, &QAbstractButton::clicked, this, &QDialog::reject);
}

TFormPrintDialog::~TFormPrintDialog()
{
    if (FormPrintDialog == this)
        FormPrintDialog = nullptr;
}

void TFormPrintDialog::SetPrinter(std::unique_ptr<TChartPrinter> Printer)
{
    Printer_ = std::move(Printer);
}

TPrintRect TFormPrintDialog::PageRect() const
{
    return TPrintRect::FromQRect(ui->PageShape->geometry());
}

TPrintRect TFormPrintDialog::ImageRect() const
{
    return TPrintRect::FromQRect(ui->PlotImage->geometry());
}

TPictureImage& TFormPrintDialog::PlotImage() const
{
    return *ui->PlotImage;
}

bool TFormPrintDialog::PageSizeUsable(QString& ErrorText) const
{
    const QSize page = Printer_->PageSize();
    if (page.width() <= 0 || page.height() <= 0) {
        // A driver without a paper size would make every proportion of the page a division by zero.
        ErrorText = QStringLiteral("Принтер \"%1\" сообщил нулевой размер страницы. "
                                   "Выберите другой принтер или другой размер бумаги.")
                        .arg(Printer_->PrinterName());
        return false;
    }
    // A strip of paper shrinks to a line on the preview: no image fits on it and the
    // page's proportions would again divide by nothing.
    const PrintGeometry::TPageLayout layout =
        PrintGeometry::LayoutPage(TPrintRect::FromQRect(ui->PageOuter->geometry()), page);
    if (layout.PrintArea.Width() > 0 && layout.PrintArea.Height() > 0)
        return true;
    ErrorText = QStringLiteral("Принтер \"%1\" сообщил размер страницы %2 × %3 точек, на котором "
                               "не помещается график. Выберите другой принтер или другой размер бумаги.")
                    .arg(Printer_->PrinterName())
                    .arg(page.width())
                    .arg(page.height());
    return false;
}

void TFormPrintDialog::LayoutPage()
{
    const PrintGeometry::TPageLayout layout =
        PrintGeometry::LayoutPage(TPrintRect::FromQRect(ui->PageOuter->geometry()), Printer_->PageSize());
    Mover_->SetBounds(layout.Page);
    ui->PageShape->setGeometry(layout.Page.ToQRect());
    PrintArea = layout.PrintArea;
}

void TFormPrintDialog::PlacePlotImage()
{
    ui->PlotImage->setGeometry(
        PrintGeometry::PlacePlotImage(PrintArea, FitToPage, ChartWidth, ChartHeight).ToQRect());
}

void TFormPrintDialog::UpdatePlotImage()
{
    if (!PrintChartRef)
        return;
    int w = ChartWidth;
    int h = ChartHeight;
    if (FitToPage)
        PrintGeometry::ScaleByAspect(w, h, static_cast<double>(PrintArea.Width()) / PrintArea.Height());
    TPlotWidget& chart = *PrintChartRef;
    // The paper is white; the operator's own colour comes back afterwards, also on failure.
    const QColor own = chart.BackColor();
    const auto restore = qScopeGuard([&chart, own] { chart.SetBackColor(own); });
    chart.SetBackColor(Qt::white);
    ui->PlotImage->SetPicture(chart.RenderToPicture(QSize(w, h)));
}

void TFormPrintDialog::cbAspectSizeChange(int Index)
{
    FitToPage = Index == 1;
    PlacePlotImage();
    UpdatePlotImage();
}

void TFormPrintDialog::btSetPrinter1Click()
{
    const QSize before = Printer_->PageSize();
    if (!Printer_->Setup(this))
        return;
    setWindowTitle(Printer_->PrinterName());
    QString error;
    if (!PageSizeUsable(error)) {
        Prompts::Current().Message(this, error, QStringLiteral("Кловарис"));
        return;
    }
    LayoutPage();
    const QSize after = Printer_->PageSize();
    // An orientation change alters both sides; a new paper of one equal side keeps the image.
    if (after.width() != before.width() && after.height() != before.height()) {
        PlacePlotImage();
        if (FitToPage)
            UpdatePlotImage();
    }
}

bool TFormPrintDialog::Prepare(TPlotWidget& Chart, QString& ErrorText)
{
    if (!Printer_->Available()) {
        ErrorText = QStringLiteral("There is no any printer");
        return false;
    }
    setWindowTitle(Printer_->PrinterName());
    PrintChartRef = &Chart;
    const int previousWidth = ChartWidth;
    const int previousHeight = ChartHeight;
    ChartWidth = Chart.width();
    ChartHeight = Chart.height();
    PrintGeometry::EnsureMinPreviewSize(ChartWidth, ChartHeight);
    if (FirstShow)
        Printer_->SetLandscape(ChartWidth > ChartHeight);
    if (!PageSizeUsable(ErrorText))
        return false;
    if (FirstShow || (!FitToPage &&
                      PrintGeometry::AspectChanged(ChartWidth, ChartHeight, previousWidth, previousHeight))) {
        LayoutPage();
        PlacePlotImage();
        FirstShow = false;
    }
    UpdatePlotImage();
    return true;
}

bool TFormPrintDialog::PrintPage(QString& ErrorText)
{
    if (!Printer_->Present()) {
        ErrorText = QStringLiteral("Принтер \"%1\" недоступен. Выберите другой принтер кнопкой \"Принтер\" "
                                   "в окне печати.")
                        .arg(Printer_->PrinterName());
        return false;
    }
    if (!PageSizeUsable(ErrorText))
        return false;
    const QSize page = Printer_->PageSize();
    const TPrintRect target = PrintGeometry::PrintTarget(page, PageRect(), ImageRect());
    return Printer_->Print(ui->PlotImage->Picture(), target.ToQRect(), this, ErrorText);
}

bool TFormPrintDialog::Execute(TPlotWidget& Chart, QString& ErrorText)
{
    if (!Prepare(Chart, ErrorText))
        return false;
    if (exec() != QDialog::Accepted)
        return true;
    return PrintPage(ErrorText);
}

bool PrintChart(TPlotWidget& Chart, QString& ErrorText)
{
    if (!FormPrintDialog) {
        ErrorText = QStringLiteral("There is no any printer");
        return false;
    }
    return FormPrintDialog->Execute(Chart, ErrorText);
}
