#include "dispatcher/ColumnFilter.h"
#include "dispatcher/ColumnFilterDelegate.h"
#include "dispatcher/DeviceIcons.h"
#include "dispatcher/DeviceTable.h"
#include "dispatcher/DeviceTableController.h"
#include "dispatcher/DeviceTableDelegate.h"
#include "dispatcher/DeviceTableHeader.h"
#include "dispatcher/DeviceTableModel.h"
#include "dispatcher/DispatcherState.h"
#include "support/QStringPrinter.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>
#include <gtest/gtest.h>

namespace {

struct TRowFacts
{
    quint16 Serial;
    quint8 Status;
    TDeviceType Type = TDeviceType::ThermoInputs;
    quint32 Faults = 0;
    quint8 SignalAtDevice = 0;
    quint8 SignalAtPC = 0;
    const char* Comment = "";
};

class DeviceTableViewTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FilterText.clear();
        panel.resize(1100, 300);
        auto* layout = new QVBoxLayout(&panel);
        layout->setContentsMargins(0, 0, 0, 0);
        view = new QTableView(&panel);
        combo = new QComboBox(&panel);
        layout->addWidget(view);
        layout->addWidget(combo);
        view->setSelectionMode(QAbstractItemView::SingleSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setModel(&model);
        controller = new TDeviceTableController(view, combo, &model);
    }

    void add(const TRowFacts& Facts)
    {
        auto row = std::make_unique<TTableDevice>(Facts.Serial);
        row->Status = Facts.Status;
        row->Device->DeviceType = Facts.Type;
        row->Device->FaultRegister = Facts.Faults;
        row->Device->SignalAtDevice = Facts.SignalAtDevice;
        row->Device->SignalAtPC = Facts.SignalAtPC;
        row->Device->Comment = QString::fromUtf8(Facts.Comment);
        rows.push_back(std::move(row));
    }

    // Where a cell of model row Row is drawn, in viewport coordinates.
    QRect cell(int Row, int Column) const { return view->visualRect(model.index(Row, Column)); }
    QPoint sectionPoint(int Column) const
    {
        return QPoint(header()->sectionViewportPosition(Column) + 5, header()->height() / 2);
    }
    TDeviceTableHeader* header() const { return controller->Header(); }
    void clickHeader(int Column, Qt::MouseButton Button = Qt::LeftButton)
    {
        QTest::mouseClick(header()->viewport(), Button, {}, sectionPoint(Column));
    }
    QList<quint16> order() const
    {
        QList<quint16> serials;
        for (const auto& row : rows)
            serials << row->Device->SerialNum;
        return serials;
    }
    // The serial numbers of the rows the model shows, in its order.
    QList<quint16> shown() const
    {
        QList<quint16> serials;
        for (int r = 0; r < model.rowCount(); ++r)
            serials << model.TableDevice(r)->Device->SerialNum;
        return serials;
    }
    void hover(const QPoint& Pos)
    {
        QMouseEvent move(QEvent::MouseMove, Pos, view->viewport()->mapToGlobal(Pos), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &move);
    }
    // Picks an item of the open filter list as the operator does, in its drop-down.
    void choose(const QString& Item)
    {
        ASSERT_TRUE(combo->isVisible());
        const int index = combo->findText(Item);
        ASSERT_GE(index, 0) << Item.toStdString();
        combo->showPopup();
        QAbstractItemView* list = combo->view();
        list->setCurrentIndex(list->model()->index(index, 0));
        QTest::keyClick(list, Qt::Key_Return);
    }

    void show()
    {
        model.ReloadStringgrid();
        panel.show();
        panel.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    }

    TDevArray rows;
    TDeviceTableModel model{rows};
    QWidget panel;
    QTableView* view = nullptr;
    QComboBox* combo = nullptr;
    TDeviceTableController* controller = nullptr;
};

TEST_F(DeviceTableViewTest, ColumnWidthsAndRowHeightsFollowTheCaptions)
{
    show();
    const QFont font = view->font();
    const int sortWidth = TDeviceIcons::SortPicture(0).deviceIndependentSize().toSize().width();
    EXPECT_EQ(sortWidth, 16);
    auto captionWidth = [&](int Column) { return MeasureText(ColumnCaptions[Column], font).width(); };
    EXPECT_EQ(header()->sectionSize(0), captionWidth(0) + 12);
    for (int c = 1; c <= 6; ++c)
        EXPECT_EQ(header()->sectionSize(c), captionWidth(c) + sortWidth + 18) << c;
    EXPECT_EQ(header()->sectionSize(7), (captionWidth(7) + 18) * 3);
    EXPECT_FALSE(header()->stretchLastSection());

    add({1, dsOk});
    add({2, dsOk});
    model.ReloadStringgrid();
    const int d = controller->DefaultRowHeight();
    ASSERT_GT(d, 0);
    EXPECT_EQ(view->rowHeight(0), d);
    EXPECT_EQ(view->rowHeight(1), d);
    EXPECT_EQ(header()->height(), d + d / 8);
    EXPECT_EQ(controller->HeaderRowHeight(), d + d / 8);
}

TEST_F(DeviceTableViewTest, PicturesArePlacedWithHalvesToEven)
{
    // (21 - 16) / 2 = 2.5 goes to 2, (23 - 16) / 2 = 3.5 goes to 4.
    EXPECT_EQ(TDeviceTableDelegate::PictureRect(QRect(100, 50, 21, 23), QSize(16, 16)),
              QRect(102, 54, 16, 16));
    EXPECT_EQ(TDeviceTableDelegate::PictureRect(QRect(0, 0, 20, 30), QSize(16, 16)), QRect(2, 7, 16, 16));
    // The signal bars fill a square of the cell height: (40 - 29) / 2 = 5.5 goes to 6.
    EXPECT_EQ(TDeviceTableDelegate::SignalRect(QRect(10, 5, 40, 29)), QRect(16, 5, 29, 29));
    EXPECT_EQ(TDeviceTableDelegate::SignalRect(QRect(10, 5, 38, 29)), QRect(14, 5, 29, 29));
}

TEST_F(DeviceTableViewTest, CaptionClicksSortAscendingDescendingAscending)
{
    add({10, dsOk, TDeviceType::UnifiedInputs});
    add({20, dsAlarm, TDeviceType::ThermoInputs});
    add({30, dsNoLink, TDeviceType::Unknown});
    add({40, dsWarning, TDeviceType::UnifiedInputs});
    show();
    const QList<quint16> byStatus = {30, 10, 40, 20};

    clickHeader(1);
    EXPECT_EQ(order(), byStatus);
    EXPECT_EQ(shown(), byStatus);
    EXPECT_EQ(model.index(0, 3).data().toString(), QStringLiteral("00030"));
    EXPECT_EQ(SortColumn, 1);
    EXPECT_EQ(SortDirection, 1);

    clickHeader(1);
    EXPECT_EQ(order(), QList<quint16>({20, 40, 10, 30}));
    EXPECT_EQ(shown(), QList<quint16>({20, 40, 10, 30}));
    EXPECT_EQ(SortDirection, 2);

    clickHeader(1);
    EXPECT_EQ(order(), byStatus);
    EXPECT_EQ(SortDirection, 1);

    // Another column after a descending sort starts ascending and takes the mark.
    clickHeader(1);
    clickHeader(4);
    EXPECT_EQ(SortColumn, 4);
    EXPECT_EQ(SortDirection, 1);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0]->Device->SerialNum, 30);
    EXPECT_EQ(rows[1]->Device->SerialNum, 20);
    EXPECT_EQ(rows[2]->Device->DeviceType, TDeviceType::UnifiedInputs);
    EXPECT_EQ(rows[3]->Device->DeviceType, TDeviceType::UnifiedInputs);

    // The number column and the comment column do not sort; nor do other buttons.
    const QList<quint16> before = order();
    for (const int column : {0, 7})
        clickHeader(column);
    clickHeader(3, Qt::MiddleButton);
    EXPECT_EQ(order(), before);
    EXPECT_EQ(SortColumn, 4);
    EXPECT_EQ(SortDirection, 1);
}

TEST_F(DeviceTableViewTest, SortingKeepsTheViewItsScrollPositionAndSelection)
{
    for (quint16 serial = 1; serial <= 60; ++serial)
        add({serial, quint8(serial % 4), TDeviceType::ThermoInputs, 0, quint8(serial * 3)});
    show();
    view->selectRow(7);
    view->verticalScrollBar()->setValue(10);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QSignalSpy layout(&model, &QAbstractItemModel::layoutChanged);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);

    clickHeader(5);
    clickHeader(5);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(layout.count(), 0);
    EXPECT_EQ(removed.count(), 0);
    EXPECT_EQ(view->verticalScrollBar()->value(), 10);
    ASSERT_EQ(view->selectionModel()->selectedRows().size(), 1);
    EXPECT_EQ(view->selectionModel()->selectedRows().first().row(), 7);
    // Descending by the raw signal byte, as the model now shows it.
    for (int r = 1; r < model.rowCount(); ++r)
        EXPECT_GE(model.TableDevice(r - 1)->Device->SignalAtDevice,
                  model.TableDevice(r)->Device->SignalAtDevice);
}

TEST_F(DeviceTableViewTest, NumberCellClicksToggleTheSelectionBox)
{
    add({1, dsOk});
    add({2, dsNoLink});
    add({3, dsAlarm});
    show();

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell(1, 0).center());
    EXPECT_FALSE(rows[0]->Selected);
    EXPECT_TRUE(rows[1]->Selected);
    EXPECT_EQ(model.index(1, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    // Any button toggles; other columns do not.
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, cell(1, 0).topLeft() + QPoint(2, 2));
    EXPECT_FALSE(rows[1]->Selected);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell(2, 3).center());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell(2, 1).center());
    EXPECT_FALSE(rows[2]->Selected);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell(2, 0).center());
    EXPECT_TRUE(rows[2]->Selected);
    // Below the last row there is no record.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      QPoint(cell(2, 0).center().x(), cell(2, 0).bottom() + 40));
    EXPECT_FALSE(rows[0]->Selected);
    EXPECT_FALSE(rows[1]->Selected);
    EXPECT_TRUE(rows[2]->Selected);
}

TEST_F(DeviceTableViewTest, DoubleClickHandsOverTheRowRecord)
{
    add({1, dsOk});
    add({2, dsNoLink});
    show();
    QSignalSpy opened(controller, &TDeviceTableController::DeviceDoubleClicked);
    // Through the window, so the double click comes as the platform delivers it:
    // press, release, double click, release.
    auto doubleClick = [&](QWidget* Widget, const QPoint& Pos) {
        QTest::mouseDClick(panel.windowHandle(), Qt::LeftButton, {}, Widget->mapTo(&panel, Pos));
    };

    doubleClick(view->viewport(), cell(1, 4).center());
    ASSERT_EQ(opened.count(), 1);
    EXPECT_EQ(opened.at(0).at(0).value<TTableDevice*>(), rows[1].get());
    EXPECT_FALSE(rows[1]->Selected);

    // On the number cell both presses toggle the box, so it ends as it was.
    doubleClick(view->viewport(), cell(0, 0).center());
    ASSERT_EQ(opened.count(), 2);
    EXPECT_EQ(opened.at(1).at(0).value<TTableDevice*>(), rows[0].get());
    EXPECT_FALSE(rows[0]->Selected);

    // Below the rows and on the caption row nothing opens; on a caption both
    // presses sort, so a double click sorts ascending and then descending.
    doubleClick(view->viewport(), QPoint(20, cell(1, 0).bottom() + 40));
    doubleClick(header()->viewport(), sectionPoint(3));
    EXPECT_EQ(opened.count(), 2);
    EXPECT_EQ(SortColumn, 3);
    EXPECT_EQ(SortDirection, 2);
    EXPECT_EQ(order(), QList<quint16>({2, 1}));
}

TEST_F(DeviceTableViewTest, StatusFilterListShowsEachTextOnceInTableOrder)
{
    add({1, dsNoLink});
    add({2, dsOk});
    add({3, dsOk, TDeviceType::UnifiedInputs});
    add({4, dsAlarm});
    show();

    // Right clicks on the number, signal and comment captions open nothing.
    for (const int column : {0, 5, 6, 7}) {
        clickHeader(column, Qt::RightButton);
        EXPECT_FALSE(combo->isVisible()) << column;
    }

    clickHeader(1, Qt::RightButton);
    ASSERT_TRUE(combo->isVisible());
    EXPECT_TRUE(combo->hasFocus());
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    EXPECT_EQ(items, QStringList({QString(), QStringLiteral("Нет связи"), QStringLiteral("Ок"),
                                  QStringLiteral("Тревога!")}));
    EXPECT_EQ(combo->currentText(), QString());

    // Over the caption cell, in the panel's coordinates.
    const QPoint cellTopLeft = panel.mapFromGlobal(
        header()->viewport()->mapToGlobal(QPoint(header()->sectionViewportPosition(1), 0)));
    const int d = controller->DefaultRowHeight();
    const int m = (header()->height() - d) / 2;
    EXPECT_EQ(combo->geometry(),
              QRect(cellTopLeft.x() + m, cellTopLeft.y() + m + 2, header()->sectionSize(1) - 2 * m + 2, d));

    // Each item drawn on its status colour with the contrasting text colour.
    auto* delegate = qobject_cast<TColumnFilterDelegate*>(combo->itemDelegate());
    ASSERT_NE(delegate, nullptr);
    const QList<QColor> backgrounds = {QColor(255, 255, 255), QColor(0, 0, 0), QColor(0, 128, 0),
                                       QColor(255, 0, 0)};
    for (int i = 0; i < combo->count(); ++i) {
        QImage image(120, TColumnFilterDelegate::ItemHeight, QImage::Format_RGB32);
        image.fill(Qt::magenta);
        QPainter painter(&image);
        QStyleOptionViewItem option;
        option.rect = image.rect();
        option.font = combo->font();
        option.state = QStyle::State_Selected | QStyle::State_HasFocus;
        delegate->paint(&painter, option, combo->model()->index(i, 0));
        painter.end();
        EXPECT_EQ(QColor(image.pixel(118, 1)), backgrounds[i]) << i;
        // The texts on these dark colours are white.
        if (i > 0) {
            int white = 0;
            for (int x = 0; x < 60; ++x)
                for (int y = 0; y < image.height(); ++y)
                    white += qGray(image.pixel(x, y)) > 200;
            EXPECT_GT(white, 5) << i;
        }
        EXPECT_EQ(delegate->sizeHint(option, combo->model()->index(i, 0)).height(), 16);
    }
    EXPECT_EQ(delegate->ItemColor(QStringLiteral("Внимание!")), QColor(255, 255, 0));
    EXPECT_EQ(ContrastTextColor(QColor(255, 255, 0)), QColor(0, 0, 0));
}

TEST_F(DeviceTableViewTest, ChosenFilterHidesRowsUntilTheEmptyItem)
{
    add({1, dsNoLink});
    add({2, dsOk});
    add({3, dsAlarm, TDeviceType::ThermoInputs, 0x1});
    add({4, dsOk, TDeviceType::UnifiedInputs});
    show();
    rows[3]->Selected = true;

    clickHeader(1, Qt::RightButton);
    choose(QStringLiteral("Ок"));
    EXPECT_FALSE(combo->isVisible());
    EXPECT_EQ(FilterColumn, 1);
    EXPECT_EQ(FilterText, QStringLiteral("Ок"));
    EXPECT_EQ(shown(), QList<quint16>({2, 4}));
    EXPECT_TRUE(rows[0]->Hidden);
    EXPECT_FALSE(rows[1]->Hidden);
    EXPECT_TRUE(rows[2]->Hidden);
    EXPECT_EQ(model.index(1, 0).data().toString(), QStringLiteral("2"));

    // A row changing later keeps its place until a filter is chosen again.
    rows[1]->Status = dsAlarm;
    model.ReloadStringgrid();
    EXPECT_EQ(shown(), QList<quint16>({2, 4}));

    // Reopened on the same column, the list shows the filter in force.
    clickHeader(1, Qt::RightButton);
    EXPECT_EQ(combo->currentText(), QStringLiteral("Ок"));
    // Another column replaces the filter.
    clickHeader(2, Qt::RightButton);
    EXPECT_EQ(combo->currentText(), QString());
    choose(QStringLiteral("Есть"));
    EXPECT_EQ(FilterColumn, 2);
    EXPECT_EQ(shown(), QList<quint16>({3}));

    clickHeader(2, Qt::RightButton);
    choose(QString());
    EXPECT_EQ(FilterColumn, -1);
    EXPECT_EQ(FilterText, QString());
    EXPECT_EQ(shown(), QList<quint16>({1, 2, 3, 4}));
    for (const auto& row : rows)
        EXPECT_FALSE(row->Hidden);
    // Hidden rows kept their selection box.
    EXPECT_TRUE(rows[3]->Selected);
}

TEST_F(DeviceTableViewTest, FilterByTypeAndSerialUsesTheRowTexts)
{
    add({7, dsOk, TDeviceType::UnifiedInputs});
    add({65535, dsNoLink, TDeviceType::UnifiedInputs});
    add({12, dsWarning, TDeviceType::ThermoInputs});
    show();
    EXPECT_EQ(ColumnFilterItems(rows, 3), QStringList({QString(), QStringLiteral("00007"),
                                                       QStringLiteral("65535"), QStringLiteral("00012")}));
    EXPECT_EQ(ColumnFilterItems(rows, 4),
              QStringList({QString(), QStringLiteral("ЛО РВ-Т/Н"), QStringLiteral("ЛО РВ-ТС/ТП")}));
    EXPECT_EQ(ColumnFilterItems(rows, 2), QStringList({QString(), QStringLiteral("Нет")}));

    clickHeader(4, Qt::RightButton);
    choose(QStringLiteral("ЛО РВ-Т/Н"));
    EXPECT_EQ(shown(), QList<quint16>({7, 65535}));
    clickHeader(3, Qt::RightButton);
    choose(QStringLiteral("00012"));
    EXPECT_EQ(shown(), QList<quint16>({12}));
    EXPECT_EQ(FilterColumn, 3);
}

TEST_F(DeviceTableViewTest, LeavingTheFilterListHidesItAndClearsTheSelection)
{
    add({1, dsOk});
    add({2, dsOk});
    show();
    view->selectRow(1);
    clickHeader(1, Qt::RightButton);
    ASSERT_TRUE(combo->isVisible());
    // Its own drop-down is no exit.
    combo->showPopup();
    EXPECT_TRUE(combo->isVisible());
    combo->hidePopup();
    EXPECT_TRUE(combo->isVisible());

    view->setFocus(Qt::MouseFocusReason);
    EXPECT_FALSE(combo->isVisible());
    EXPECT_FALSE(view->selectionModel()->hasSelection());
    EXPECT_FALSE(view->currentIndex().isValid());
    EXPECT_EQ(FilterColumn, -1);
    EXPECT_EQ(shown(), QList<quint16>({1, 2}));
}

TEST_F(DeviceTableViewTest, HintsNameStatusFaultsAndSignalLevels)
{
    add({1, dsOk, TDeviceType::ThermoInputs, (1u << 0) | (1u << 5), 0x7F, 0x00});
    add({2, dsNoLink, TDeviceType::ThermoInputs, 0, 0x68, 0x80});
    add({3, 7}); // a status without a text
    show();

    hover(cell(0, 1).center());
    EXPECT_EQ(controller->HintText(), QStringLiteral("Ок"));
    EXPECT_EQ(controller->HintCol(), 1);
    EXPECT_EQ(controller->HintRow(), 1);
    hover(cell(0, 2).center());
    EXPECT_EQ(controller->HintText(), FaultNames[0] + QLatin1Char('\n') + FaultNames[5] + QLatin1Char('\n'));
    hover(cell(0, 5).center());
    EXPECT_EQ(controller->HintText(), QStringLiteral("-10,5"));
    hover(cell(0, 6).center());
    EXPECT_EQ(controller->HintText(), QStringLiteral("-74"));

    // Without link the last received levels are shown all the same.
    hover(cell(1, 5).center());
    EXPECT_EQ(controller->HintText(), QStringLiteral("-22"));
    hover(cell(1, 6).center());
    EXPECT_EQ(controller->HintText(), QStringLiteral("-138"));
    hover(cell(1, 2).center());
    EXPECT_EQ(controller->HintText(), QString());
    hover(cell(1, 1).center());
    EXPECT_EQ(controller->HintText(), QStringLiteral("Нет связи"));
    // A status without a text leaves the previous hint text.
    hover(cell(2, 1).center());
    EXPECT_EQ(controller->HintText(), QStringLiteral("Нет связи"));
    EXPECT_EQ(controller->HintRow(), 3);

    // Columns without hints and the caption row clear it.
    hover(cell(0, 3).center());
    EXPECT_EQ(controller->HintText(), QString());
    EXPECT_EQ(controller->HintCol(), 3);
    hover(cell(0, 5).center());
    EXPECT_EQ(controller->HintText(), QStringLiteral("-10,5"));
    QMouseEvent move(QEvent::MouseMove, QPointF(sectionPoint(5)),
                     header()->viewport()->mapToGlobal(QPointF(sectionPoint(5))), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(header()->viewport(), &move);
    EXPECT_EQ(controller->HintText(), QString());
    EXPECT_EQ(controller->HintRow(), 0);

    // The hint shows as the cell's tool tip, without the last line break.
    const QPoint at = cell(0, 2).center();
    QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), FaultNames[0] + QLatin1Char('\n') + FaultNames[5]);
    QToolTip::hideText();
}

TEST_F(DeviceTableViewTest, FormatDbmKeepsAtMostTwoDecimals)
{
    EXPECT_EQ(TDeviceTableController::FormatDbm(-74), QStringLiteral("-74"));
    EXPECT_EQ(TDeviceTableController::FormatDbm(-10.5), QStringLiteral("-10,5"));
    EXPECT_EQ(TDeviceTableController::FormatDbm(-12.25), QStringLiteral("-12,25"));
    EXPECT_EQ(TDeviceTableController::FormatDbm(-12.2), QStringLiteral("-12,2"));
    EXPECT_EQ(TDeviceTableController::FormatDbm(0), QStringLiteral("0"));
}

// Share of the pixels of Rect in Image that are close to Colour.
double share(const QImage& Image, const QRect& Rect, const QColor& Colour)
{
    int near = 0;
    for (int y = Rect.top(); y <= Rect.bottom(); ++y)
        for (int x = Rect.left(); x <= Rect.right(); ++x) {
            const QColor c = Image.pixelColor(x, y);
            near += std::abs(c.red() - Colour.red()) + std::abs(c.green() - Colour.green()) +
                        std::abs(c.blue() - Colour.blue()) <
                    90;
        }
    return double(near) / (Rect.width() * Rect.height());
}

TEST_F(DeviceTableViewTest, DrawnCellsShowBoxesAndPictures)
{
    add({1, dsOk, TDeviceType::ThermoInputs, 0, 0x6C, 0x6C});
    add({2, dsAlarm, TDeviceType::ThermoInputs, 0x4});
    add({3, dsNoLink});
    add({4, 7}); // a status without a picture
    show();
    // The row is selected first, so that only the box can change below.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell(1, 3).center());
    ASSERT_FALSE(rows[1]->Selected);
    QApplication::processEvents();
    const QImage before = view->viewport()->grab().toImage();

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, cell(1, 0).center());
    ASSERT_TRUE(rows[1]->Selected);
    QApplication::processEvents();
    const QImage after = view->viewport()->grab().toImage();
    ASSERT_EQ(before.size(), after.size());

    // Only the box changed, right-aligned 4 pixels inside the number cell.
    const QRect box = TDeviceTableDelegate::CheckBoxRect(cell(1, 0), view->style(), view);
    EXPECT_EQ(box.right(), cell(1, 0).left() + cell(1, 0).width() - 5);
    QRect changed;
    for (int y = 0; y < before.height(); ++y)
        for (int x = 0; x < before.width(); ++x)
            if (before.pixel(x, y) != after.pixel(x, y))
                changed |= QRect(x, y, 1, 1);
    ASSERT_FALSE(changed.isEmpty());
    EXPECT_TRUE(box.contains(changed))
        << changed.x() << "," << changed.y() << " " << changed.width() << "x" << changed.height();
    // The number cell is white left of the box, whatever the row selection.
    EXPECT_EQ(QColor(after.pixel(cell(1, 0).left() + 1, cell(1, 0).top() + 1)), QColor(Qt::white));

    const QSize picture(16, 16);
    const QRect ok = TDeviceTableDelegate::PictureRect(cell(0, 1), picture);
    const QRect alarm = TDeviceTableDelegate::PictureRect(cell(1, 1), picture);
    const QRect noLink = TDeviceTableDelegate::PictureRect(cell(2, 1), picture);
    EXPECT_GT(share(after, ok, QColor(40, 160, 45)), 0.3);
    EXPECT_GT(share(after, alarm, QColor(220, 30, 30)), 0.3);
    EXPECT_LT(share(after, alarm, QColor(40, 160, 45)), 0.05);
    EXPECT_GT(share(after, noLink, QColor(150, 150, 150)), 0.3);
    EXPECT_EQ(share(after, TDeviceTableDelegate::PictureRect(cell(3, 1), picture), QColor(Qt::white)), 1.0);
    // Faults: the OK picture without faults, the alarm picture with them.
    EXPECT_GT(share(after, TDeviceTableDelegate::PictureRect(cell(0, 2), picture), QColor(40, 160, 45)), 0.3);
    EXPECT_GT(share(after, TDeviceTableDelegate::PictureRect(cell(1, 2), picture), QColor(220, 30, 30)), 0.3);
    // Four green bars for -20 dBm; the unlinked row shows only its "--".
    EXPECT_GT(share(after, TDeviceTableDelegate::SignalRect(cell(0, 5)), QColor(40, 165, 45)), 0.15);
    EXPECT_LT(share(after, TDeviceTableDelegate::SignalRect(cell(2, 5)), QColor(40, 165, 45)), 0.01);
    EXPECT_EQ(model.index(2, 5).data().toString(), QStringLiteral("--"));
}

TEST_F(DeviceTableViewTest, CaptionRowCarriesSortAndFilterMarks)
{
    add({1, dsOk});
    add({2, dsAlarm});
    show();
    auto markArea = [&](int Column) {
        const int left = header()->sectionViewportPosition(Column) +
                         MeasureText(ColumnCaptions[Column], header()->font()).width() + 2 * ColumnPadding;
        return QRect(left, 0, 16, header()->height());
    };
    auto dark = [&](const QImage& Image, const QRect& Rect) {
        return share(Image, Rect, QColor(70, 70, 70));
    };
    auto blue = [&](const QImage& Image, const QRect& Rect) {
        return share(Image, Rect, QColor(50, 110, 220));
    };

    QImage image = header()->viewport()->grab().toImage();
    EXPECT_LT(dark(image, markArea(3)), 0.01);
    EXPECT_LT(blue(image, markArea(1)), 0.01);

    clickHeader(3);
    image = header()->viewport()->grab().toImage();
    EXPECT_GT(dark(image, markArea(3)), 0.05);
    EXPECT_LT(dark(image, markArea(2)), 0.01);
    // The sort mark sits at the top of the cell.
    const QRect top = markArea(3).adjusted(0, 0, 0, -(header()->height() - 16));
    EXPECT_GT(dark(image, top), dark(image, markArea(3)));

    clickHeader(1, Qt::RightButton);
    choose(QStringLiteral("Ок"));
    image = header()->viewport()->grab().toImage();
    EXPECT_GT(blue(image, markArea(1)), 0.05);
    clickHeader(1, Qt::RightButton);
    choose(QString());
    image = header()->viewport()->grab().toImage();
    EXPECT_LT(blue(image, markArea(1)), 0.01);
}

TEST(DeviceIconsTest, PicturesExistForTheirIndicesOnly)
{
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(TDeviceIcons::StatusPicture(i).deviceIndependentSize().toSize(), QSize(16, 16)) << i;
    EXPECT_TRUE(TDeviceIcons::StatusPicture(4).isNull());
    EXPECT_TRUE(TDeviceIcons::StatusPicture(-1).isNull());
    EXPECT_TRUE(TDeviceIcons::SignalLevelPicture(5).isNull());
    EXPECT_TRUE(TDeviceIcons::SortPicture(2).isNull());
    EXPECT_FALSE(TDeviceIcons::FilterPicture().isNull());
    EXPECT_EQ(TDeviceIcons::SignalLevelPicture(3, 29).deviceIndependentSize().toSize(), QSize(29, 29));

    // Each level lights one bar more: more coloured (not grey) pixels, none at 0.
    for (const int side : {16, 29}) {
        int previous = -1;
        for (int level = 0; level < 5; ++level) {
            const QImage image = TDeviceIcons::SignalLevelPicture(level, side).toImage();
            int coloured = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x) {
                    const QColor c = image.pixelColor(x, y);
                    coloured += c.alpha() > 0 && c.saturation() > 100;
                }
            if (level == 0) {
                EXPECT_EQ(coloured, 0) << side;
            }
            EXPECT_GT(coloured, previous) << side << " " << level;
            previous = coloured;
        }
    }
    // Ascending and descending marks differ: one points up, the other down.
    const QImage up = TDeviceIcons::SortPicture(0).toImage();
    const QImage down = TDeviceIcons::SortPicture(1).toImage();
    auto rowInk = [](const QImage& Image, int Y) {
        int ink = 0;
        for (int x = 0; x < Image.width(); ++x)
            ink += qAlpha(Image.pixel(x, Y)) > 128;
        return ink;
    };
    EXPECT_LT(rowInk(up, 5), rowInk(up, 10));
    EXPECT_GT(rowInk(down, 5), rowInk(down, 10));
}

} // namespace
