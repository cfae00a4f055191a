#include "charts/ChartPrinter.h"
#include "charts/Mover.h"
#include "charts/PictureImage.h"
#include "charts/PlotWidget.h"
#include "charts/PrintDialog.h"
#include "core/ChartSeries.h"
#include "support/ScriptedPrompts.h"

#include <QComboBox>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

namespace {

// Always a PDF file, so no test ever reaches a real print queue; the setup
// dialog and the driver's page size are scripted.
class ScriptedPrinter : public TChartPrinter
{
public:
    ScriptedPrinter() { Printer().setOutputFormat(QPrinter::PdfFormat); }
    QSize PageSize() const override { return ForcedPage ? *ForcedPage : TChartPrinter::PageSize(); }
    bool Present() const override { return !Gone; }
    bool Setup(QWidget*) override
    {
        ++SetupCalls;
        return OnSetup ? OnSetup(*this) : false;
    }

    std::optional<QSize> ForcedPage;
    bool Gone = false;
    std::function<bool(ScriptedPrinter&)> OnSetup;
    int SetupCalls = 0;
};

QString run(const QString& Program, const QStringList& Args)
{
    QProcess p;
    p.start(Program, Args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("<%1 failed: %2>")
            .arg(Program, QString::fromLocal8Bit(p.readAllStandardError()));
    return QString::fromUtf8(p.readAllStandardOutput());
}

struct TPdfInfo
{
    int Pages = 0;
    double Width = 0;
    double Height = 0;
};

TPdfInfo pdfInfo(const QString& File)
{
    TPdfInfo info;
    const QString text = run(QStringLiteral("pdfinfo"), {File});
    const auto pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(text);
    const auto size =
        QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+) pts")).match(text);
    info.Pages = pages.hasMatch() ? pages.captured(1).toInt() : -1;
    if (size.hasMatch()) {
        info.Width = size.captured(1).toDouble();
        info.Height = size.captured(2).toDouble();
    }
    return info;
}

class PrintDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        Prompts::SetCurrent(&prompts);
        auto p = std::make_unique<ScriptedPrinter>();
        printer = p.get();
        dialog.SetPrinter(std::move(p));
        series.SetTitle(QStringLiteral("К1"));
        series.SetParentChart(&chart);
        for (int i = 0; i < 200; ++i)
            series.AddXY(45000.5 + i / 86400.0, 20 + (i % 17), QColor(Qt::red));
        chart.SetTitle(QStringLiteral("Температура котла"));
        chart.LeftAxis().SetTitle(QStringLiteral("Значение"));
        chart.BottomAxis().SetTitle(QStringLiteral("Время"));
        chart.SetBackColor(QColor(12, 200, 34));
        chart.resize(600, 400);
    }
    void TearDown() override { Prompts::SetCurrent(nullptr); }

    QString pdf(const QString& Name) const { return dir.filePath(Name); }

    // Prepares and prints to a file; the file question is answered with Name.
    void printTo(const QString& Name)
    {
        QString error;
        ASSERT_TRUE(dialog.Prepare(chart, error)) << error.toStdString();
        prompts.SaveAnswer = pdf(Name);
        ASSERT_TRUE(dialog.PrintPage(error)) << error.toStdString();
        ASSERT_TRUE(QFileInfo::exists(pdf(Name)));
    }

    QTemporaryDir dir;
    ScriptedPrompts prompts;
    TMemoryChartSeries series;
    TPlotWidget chart;
    TFormPrintDialog dialog;
    ScriptedPrinter* printer = nullptr;
};

} // namespace

TEST_F(PrintDialogTest, ChartPrintsOnOnePageWithItsTexts)
{
    printTo(QStringLiteral("chart.pdf"));
    EXPECT_EQ(pdfInfo(pdf(QStringLiteral("chart.pdf"))).Pages, 1);
    const QString text =
        run(QStringLiteral("pdftotext"), {pdf(QStringLiteral("chart.pdf")), QStringLiteral("-")});
    EXPECT_TRUE(text.contains(QStringLiteral("Температура котла"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Значение"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Время"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("К1"))) << text.toStdString();
}

TEST_F(PrintDialogTest, PrintingKeepsTheChartsOwnBackground)
{
    printTo(QStringLiteral("chart.pdf"));
    EXPECT_EQ(chart.BackColor(), QColor(12, 200, 34));
    // The paper got white around the plot, not the operator's colour.
    const QPicture& picture = dialog.PlotImage().Picture();
    QImage image(picture.boundingRect().size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        painter.drawPicture(0, 0, picture);
    }
    EXPECT_EQ(image.pixelColor(1, 1), QColor(Qt::white));
}

TEST_F(PrintDialogTest, FirstPrintTakesTheChartsOrientation)
{
    printTo(QStringLiteral("wide.pdf"));
    const TPdfInfo wide = pdfInfo(pdf(QStringLiteral("wide.pdf")));
    EXPECT_GT(wide.Width, wide.Height);

    // A square chart on a fresh dialog prints portrait (landscape only when strictly wider).
    TFormPrintDialog other;
    auto p = std::make_unique<ScriptedPrinter>();
    other.SetPrinter(std::move(p));
    chart.resize(400, 400);
    QString error;
    ASSERT_TRUE(other.Prepare(chart, error));
    prompts.SaveAnswer = pdf(QStringLiteral("square.pdf"));
    ASSERT_TRUE(other.PrintPage(error));
    const TPdfInfo square = pdfInfo(pdf(QStringLiteral("square.pdf")));
    EXPECT_LT(square.Width, square.Height);
    EXPECT_NEAR(square.Width, wide.Height, 0.5);
    // The preview page follows the paper.
    EXPECT_LT(other.PageRect().Width(), other.PageRect().Height());
    EXPECT_GT(dialog.PageRect().Width(), dialog.PageRect().Height());
}

TEST_F(PrintDialogTest, OrientationChangeInTheSetupLaysThePageOutAnew)
{
    QString error;
    ASSERT_TRUE(dialog.Prepare(chart, error));
    const TPrintRect landscapeImage = dialog.ImageRect();
    printer->OnSetup = [](ScriptedPrinter& P) {
        P.SetLandscape(false);
        return true;
    };
    dialog.findChild<QPushButton*>(QStringLiteral("btSetPrinter"))->click();
    EXPECT_EQ(printer->SetupCalls, 1);
    EXPECT_LT(dialog.PageRect().Width(), dialog.PageRect().Height());
    EXPECT_NE(dialog.ImageRect(), landscapeImage);
    // The image sits in the new print area with the chart's shape.
    EXPECT_GE(dialog.ImageRect().Left, dialog.PrintArea.Left);
    EXPECT_LE(dialog.ImageRect().Right, dialog.PrintArea.Right);
    EXPECT_NEAR(double(dialog.ImageRect().Width()) / dialog.ImageRect().Height(), 1.5, 0.03);
    prompts.SaveAnswer = pdf(QStringLiteral("portrait.pdf"));
    ASSERT_TRUE(dialog.PrintPage(error));
    const TPdfInfo info = pdfInfo(pdf(QStringLiteral("portrait.pdf")));
    EXPECT_LT(info.Width, info.Height);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Печать в файл PDF"));
}

TEST_F(PrintDialogTest, SetupWithTheSamePaperKeepsTheUsersPlacement)
{
    QString error;
    ASSERT_TRUE(dialog.Prepare(chart, error));
    QWidget& image = dialog.PlotImage();
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::mousePress(&image, Qt::LeftButton, Qt::NoModifier, {20, 20});
    QTest::mouseMove(&image, {15, 12});
    QTest::mouseRelease(&image, Qt::LeftButton, Qt::NoModifier, {15, 12});
    const TPrintRect placed = dialog.ImageRect();
    printer->OnSetup = [](ScriptedPrinter&) { return true; };
    dialog.findChild<QPushButton*>(QStringLiteral("btSetPrinter"))->click();
    EXPECT_EQ(dialog.ImageRect(), placed);
    // A cancelled setup changes nothing at all.
    printer->OnSetup = [](ScriptedPrinter& P) {
        P.SetLandscape(false);
        return false;
    };
    dialog.findChild<QPushButton*>(QStringLiteral("btSetPrinter"))->click();
    EXPECT_EQ(dialog.ImageRect(), placed);
    dialog.hide();
}

TEST_F(PrintDialogTest, ImageDraggedToTheCornerPrintsInThePagesCorner)
{
    QString error;
    ASSERT_TRUE(dialog.Prepare(chart, error));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QWidget& image = dialog.PlotImage();
    // Drag to the page's top-left corner, into the margins.
    QTest::mousePress(&image, Qt::LeftButton, Qt::NoModifier, {20, 20});
    QTest::mouseMove(&image, {-200, -200});
    QTest::mouseRelease(&image, Qt::LeftButton, Qt::NoModifier, {-200, -200});
    ASSERT_EQ(dialog.ImageRect().Left, dialog.PageRect().Left);
    ASSERT_EQ(dialog.ImageRect().Top, dialog.PageRect().Top);
    prompts.SaveAnswer = pdf(QStringLiteral("corner.pdf"));
    ASSERT_TRUE(dialog.PrintPage(error));
    dialog.hide();

    // Every word of the chart lies inside the image's share of the printable area.
    const QRectF paint = printer->Printer().pageLayout().paintRect(QPageLayout::Point);
    const double right =
        paint.left() + paint.width() * dialog.ImageRect().Width() / dialog.PageRect().Width() + 1;
    const double bottom =
        paint.top() + paint.height() * dialog.ImageRect().Height() / dialog.PageRect().Height() + 1;
    const QString xml =
        run(QStringLiteral("pdftotext"),
            {QStringLiteral("-bbox"), pdf(QStringLiteral("corner.pdf")), QStringLiteral("-")});
    const QRegularExpression word(QStringLiteral(
        "<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
    int words = 0;
    for (auto it = word.globalMatch(xml); it.hasNext();) {
        const auto m = it.next();
        ++words;
        EXPECT_GE(m.captured(1).toDouble(), paint.left() - 1) << m.captured(5).toStdString();
        EXPECT_GE(m.captured(2).toDouble(), paint.top() - 1) << m.captured(5).toStdString();
        EXPECT_LE(m.captured(3).toDouble(), right) << m.captured(5).toStdString();
        EXPECT_LE(m.captured(4).toDouble(), bottom) << m.captured(5).toStdString();
    }
    EXPECT_GT(words, 5);
}

TEST_F(PrintDialogTest, SecondPrintKeepsThePlacementUnlessTheShapeChanged)
{
    printTo(QStringLiteral("first.pdf"));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QTest::mousePress(&dialog.PlotImage(), Qt::LeftButton, Qt::NoModifier, {20, 20});
    QTest::mouseMove(&dialog.PlotImage(), {10, 10});
    QTest::mouseRelease(&dialog.PlotImage(), Qt::LeftButton, Qt::NoModifier, {10, 10});
    dialog.hide();
    const TPrintRect placed = dialog.ImageRect();
    QString error;
    chart.resize(609, 400); // 1.5 %
    ASSERT_TRUE(dialog.Prepare(chart, error));
    EXPECT_EQ(dialog.ImageRect(), placed);
    EXPECT_EQ(dialog.PlotImage().PictureSize(), QSize(609, 400)) << "the rendering is always new";
    chart.resize(600, 400);
    ASSERT_TRUE(dialog.Prepare(chart, error));
    chart.resize(618, 400); // 3 %
    ASSERT_TRUE(dialog.Prepare(chart, error));
    EXPECT_NE(dialog.ImageRect(), placed);
    // Laid out anew: a wide image fills the print area's width.
    EXPECT_EQ(dialog.ImageRect().Left, dialog.PrintArea.Left);
    EXPECT_EQ(dialog.ImageRect().Right, dialog.PrintArea.Right);
}

TEST_F(PrintDialogTest, FitModeFromTheSizeBoxFillsThePrintArea)
{
    QString error;
    ASSERT_TRUE(dialog.Prepare(chart, error));
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    auto* box = dialog.findChild<QComboBox*>(QStringLiteral("cbAspectSize"));
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_TRUE(dialog.FitToPage);
    EXPECT_EQ(dialog.ImageRect(), dialog.PrintArea);
    const QSize rendered = dialog.PlotImage().PictureSize();
    // The longer side stays; the other follows the print area.
    EXPECT_EQ(rendered.width(), 600);
    EXPECT_NEAR(rendered.height(), 600.0 * dialog.PrintArea.Height() / dialog.PrintArea.Width(), 0.5);
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_FALSE(dialog.FitToPage);
    EXPECT_EQ(dialog.PlotImage().PictureSize(), QSize(600, 400));
    dialog.hide();
}

TEST_F(PrintDialogTest, PrintButtonPrintsAndCancelDoesNot)
{
    prompts.SaveAnswer = pdf(QStringLiteral("button.pdf"));
    QTimer::singleShot(0, &dialog, [this] {
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btPrint")), Qt::LeftButton);
    });
    QString error;
    ASSERT_TRUE(dialog.Execute(chart, error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo::exists(pdf(QStringLiteral("button.pdf"))));

    prompts.SaveAnswer = pdf(QStringLiteral("cancelled.pdf"));
    QTimer::singleShot(0, &dialog, [this] {
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("btClose")), Qt::LeftButton);
    });
    ASSERT_TRUE(dialog.Execute(chart, error));
    EXPECT_FALSE(QFileInfo::exists(pdf(QStringLiteral("cancelled.pdf"))));

    // Declining the file question prints nothing and reports nothing.
    prompts.SaveAnswer.clear();
    QTimer::singleShot(0, &dialog, [this] { QTest::keyClick(&dialog, Qt::Key_Return); });
    ASSERT_TRUE(dialog.Execute(chart, error));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1);
}

TEST_F(PrintDialogTest, EnterOnAFocusedButtonPressesThatButton)
{
    auto* close = dialog.findChild<QPushButton*>(QStringLiteral("btClose"));
    auto* setup = dialog.findChild<QPushButton*>(QStringLiteral("btSetPrinter"));
    prompts.SaveAnswer = pdf(QStringLiteral("enter.pdf"));
    QTimer::singleShot(0, &dialog, [close] {
        close->setFocus();
        QTest::keyClick(close, Qt::Key_Return);
    });
    QString error;
    ASSERT_TRUE(dialog.Execute(chart, error)) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(pdf(QStringLiteral("enter.pdf")))) << "Enter on \"Отмена\" printed";

    // Enter on "Принтер" opens the setup and leaves the dialog open.
    bool openAfterSetup = false;
    printer->OnSetup = [this, &openAfterSetup](ScriptedPrinter&) {
        openAfterSetup = dialog.isVisible();
        return false;
    };
    QTimer::singleShot(0, &dialog, [this, setup, &openAfterSetup] {
        setup->setFocus();
        QTest::keyClick(setup, Qt::Key_Return);
        openAfterSetup = openAfterSetup && dialog.isVisible();
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    ASSERT_TRUE(dialog.Execute(chart, error)) << error.toStdString();
    EXPECT_EQ(printer->SetupCalls, 1);
    EXPECT_TRUE(openAfterSetup);
    EXPECT_FALSE(QFileInfo::exists(pdf(QStringLiteral("enter.pdf"))));
}

TEST_F(PrintDialogTest, UnwritableFileIsAFailureWithAMessage)
{
    QString error;
    ASSERT_TRUE(dialog.Prepare(chart, error));
    prompts.SaveAnswer = dir.filePath(QStringLiteral("missing/folder/chart.pdf"));
    EXPECT_FALSE(dialog.PrintPage(error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Не удалось создать файл"))) << error.toStdString();
}

TEST_F(PrintDialogTest, PrinterRemovedWhileTheDialogIsOpenIsAFailureWithAMessage)
{
    QString error;
    ASSERT_TRUE(dialog.Prepare(chart, error));
    printer->Gone = true;
    prompts.SaveAnswer = pdf(QStringLiteral("gone.pdf"));
    EXPECT_FALSE(dialog.PrintPage(error));
    EXPECT_EQ(error,
              QStringLiteral("Принтер \"Печать в файл PDF\" недоступен. Выберите другой принтер кнопкой "
                             "\"Принтер\" в окне печати."));
    EXPECT_FALSE(QFileInfo::exists(pdf(QStringLiteral("gone.pdf"))));
    // Back again: the same dialog prints.
    printer->Gone = false;
    error.clear();
    EXPECT_TRUE(dialog.PrintPage(error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo::exists(pdf(QStringLiteral("gone.pdf"))));
}

TEST_F(PrintDialogTest, ZeroPageSizeIsRefusedWithAMessage)
{
    printer->ForcedPage = QSize(0, 0);
    QString error;
    EXPECT_FALSE(dialog.Prepare(chart, error));
    EXPECT_EQ(error, QStringLiteral("Принтер \"Печать в файл PDF\" сообщил нулевой размер страницы. "
                                    "Выберите другой принтер или другой размер бумаги."));
    EXPECT_TRUE(dialog.FirstShow) << "nothing was laid out";

    // A driver that loses its paper in the setup: told, and the preview stays as it was.
    printer->ForcedPage.reset();
    ASSERT_TRUE(dialog.Prepare(chart, error));
    const TPrintRect page = dialog.PageRect();
    const TPrintRect image = dialog.ImageRect();
    printer->OnSetup = [](ScriptedPrinter& P) {
        P.ForcedPage = QSize(2000, 0);
        return true;
    };
    dialog.findChild<QPushButton*>(QStringLiteral("btSetPrinter"))->click();
    ASSERT_EQ(prompts.Messages.size(), 1);
    EXPECT_TRUE(prompts.Messages[0].contains(QStringLiteral("нулевой размер страницы")));
    EXPECT_EQ(dialog.PageRect(), page);
    EXPECT_EQ(dialog.ImageRect(), image);
    prompts.SaveAnswer = pdf(QStringLiteral("zero.pdf"));
    EXPECT_FALSE(dialog.PrintPage(error));
    EXPECT_FALSE(QFileInfo::exists(pdf(QStringLiteral("zero.pdf"))));
}

TEST_F(PrintDialogTest, PaperTooNarrowForThePreviewIsRefusedWithAMessage)
{
    // 1 : 500 becomes a line one pixel wide on the preview, or none at all.
    for (const QSize page : {QSize(10, 5000), QSize(1, 1000), QSize(5000, 10)}) {
        printer->ForcedPage = page;
        QString error;
        EXPECT_FALSE(dialog.Prepare(chart, error));
        EXPECT_EQ(error,
                  QStringLiteral("Принтер \"Печать в файл PDF\" сообщил размер страницы %1 × %2 точек, "
                                 "на котором не помещается график. Выберите другой принтер или другой "
                                 "размер бумаги.")
                      .arg(page.width())
                      .arg(page.height()));
        prompts.SaveAnswer = pdf(QStringLiteral("strip.pdf"));
        EXPECT_FALSE(dialog.PrintPage(error));
        EXPECT_FALSE(QFileInfo::exists(pdf(QStringLiteral("strip.pdf"))));
    }
    // The narrowest paper that still leaves a print area works.
    printer->ForcedPage = QSize(30, 2000);
    QString error;
    ASSERT_TRUE(dialog.Prepare(chart, error)) << error.toStdString();
    EXPECT_GT(dialog.PrintArea.Width(), 0);
}

TEST(PrintChartFunction, WithoutTheDialogItFailsWithTheSystemsText)
{
    TFormPrintDialog* const saved = FormPrintDialog;
    FormPrintDialog = nullptr;
    TPlotWidget chart;
    QString error;
    EXPECT_FALSE(PrintChart(chart, error));
    EXPECT_EQ(error, QStringLiteral("There is no any printer"));
    FormPrintDialog = saved;
}

TEST_F(PrintDialogTest, PrinterResolutionDoesNotMoveOrScaleTheChart)
{
    // The words of the chart with their boxes on the page, in points.
    auto words = [this](const QString& Name) {
        const QString xml =
            run(QStringLiteral("pdftotext"), {QStringLiteral("-bbox"), pdf(Name), QStringLiteral("-")});
        const QRegularExpression word(QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" "
                                                     "xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>"));
        QMap<QString, QRectF> boxes;
        for (auto it = word.globalMatch(xml); it.hasNext();) {
            const auto m = it.next();
            boxes.insert(m.captured(5), QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                               QPointF(m.captured(3).toDouble(), m.captured(4).toDouble())));
        }
        return boxes;
    };
    printTo(QStringLiteral("screen.pdf"));
    const auto screen = words(QStringLiteral("screen.pdf"));
    ASSERT_TRUE(screen.contains(QStringLiteral("Температура"))) << screen.keys().join(' ').toStdString();
    ASSERT_TRUE(screen.contains(QStringLiteral("Время")));
    printer->Printer().setResolution(1200);
    printTo(QStringLiteral("fine.pdf"));
    const auto fine = words(QStringLiteral("fine.pdf"));
    for (const QString& w : {QStringLiteral("Температура"), QStringLiteral("Время"), QStringLiteral("К1")}) {
        ASSERT_TRUE(fine.contains(w)) << w.toStdString();
        EXPECT_NEAR(fine[w].left(), screen[w].left(), 1) << w.toStdString();
        EXPECT_NEAR(fine[w].top(), screen[w].top(), 1) << w.toStdString();
        EXPECT_NEAR(fine[w].width(), screen[w].width(), 1) << w.toStdString();
        EXPECT_NEAR(fine[w].height(), screen[w].height(), 1) << w.toStdString();
    }
}
