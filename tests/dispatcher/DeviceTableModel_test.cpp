#include "dispatcher/DeviceTable.h"
#include "dispatcher/DeviceTableModel.h"
#include "support/QStringPrinter.h"

#include <QItemSelectionModel>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

class DeviceTableModelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (const quint16 serial : {11, 22, 33, 44, 55})
            rows.push_back(std::make_unique<TTableDevice>(serial));
    }

    QString text(int Row, int Column) const { return model.index(Row, Column).data().toString(); }
    TTableDevice* record(int Row) const
    {
        return model.index(Row, 0).data(TDeviceTableModel::TableDeviceRole).value<TTableDevice*>();
    }

    TDevArray rows;
    TDeviceTableModel model{rows};
};

// Every signal that would lose the view's selection or scroll position.
struct StructureSpies
{
    explicit StructureSpies(QAbstractItemModel* M)
        : Reset(M, &QAbstractItemModel::modelReset), Inserted(M, &QAbstractItemModel::rowsInserted),
          Removed(M, &QAbstractItemModel::rowsRemoved), Layout(M, &QAbstractItemModel::layoutChanged)
    {
    }
    QSignalSpy Reset;
    QSignalSpy Inserted;
    QSignalSpy Removed;
    QSignalSpy Layout;
};

TEST_F(DeviceTableModelTest, HiddenRowsAreLeftOutAndVisibleRowsNumbered)
{
    rows[1]->Hidden = true;
    rows[3]->Hidden = true;
    model.ReloadStringgrid();

    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.columnCount(), 8);
    const std::vector<std::pair<QString, TTableDevice*>> expected = {
        {QStringLiteral("00011"), rows[0].get()},
        {QStringLiteral("00033"), rows[2].get()},
        {QStringLiteral("00055"), rows[4].get()},
    };
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(text(r, 0), QString::number(r + 1));
        EXPECT_EQ(text(r, 3), expected[static_cast<std::size_t>(r)].first);
        EXPECT_EQ(model.TableDevice(r), expected[static_cast<std::size_t>(r)].second);
        // The record is reachable from every column of its row.
        for (int c = 0; c < 8; ++c)
            EXPECT_EQ(model.index(r, c).data(TDeviceTableModel::TableDeviceRole).value<TTableDevice*>(),
                      expected[static_cast<std::size_t>(r)].second);
    }
    EXPECT_EQ(model.TableDevice(3), nullptr);
    EXPECT_EQ(model.TableDevice(-1), nullptr);
    for (int c = 0; c < 8; ++c)
        EXPECT_EQ(model.headerData(c, Qt::Horizontal).toString(), ColumnCaptions[c]);
}

TEST_F(DeviceTableModelTest, RowTextsFollowTheLinkState)
{
    TDevice& device = *rows[1]->Device;
    device.DeviceType = TDeviceType::ThermoInputs;
    device.Comment = QStringLiteral("Котельная");
    model.ReloadStringgrid();
    // A new row has no link yet.
    for (int c = 4; c < 8; ++c)
        EXPECT_EQ(text(1, c), QStringLiteral("--"));
    EXPECT_EQ(text(1, 1), QString());
    EXPECT_EQ(text(1, 2), QString());

    rows[1]->Status = dsAlarm;
    model.ReloadStringgrid();
    EXPECT_EQ(text(1, 4), QStringLiteral("ЛО РВ-ТС/ТП"));
    EXPECT_EQ(text(1, 5), QString());
    EXPECT_EQ(text(1, 6), QString());
    EXPECT_EQ(text(1, 7), QStringLiteral("Котельная"));
    EXPECT_EQ(text(1, 1), QString());
    EXPECT_EQ(text(1, 3), QStringLiteral("00022"));
}

TEST_F(DeviceTableModelTest, ReloadWithTheSameRowsKeepsStructureAndSelection)
{
    model.ReloadStringgrid();
    QItemSelectionModel selection(&model);
    selection.select(model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection.setCurrentIndex(model.index(2, 3), QItemSelectionModel::NoUpdate);

    StructureSpies spies(&model);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    model.ReloadStringgrid();
    EXPECT_EQ(changed.count(), 0);

    // One device answered: only its row is reported, over the columns that change.
    rows[2]->Status = dsOk;
    model.ReloadStringgrid();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex(), model.index(2, 1));
    EXPECT_EQ(changed[0][1].toModelIndex(), model.index(2, 7));

    // Pictures change without any text: the signal bars of column 5 only.
    changed.clear();
    rows[2]->Device->SignalAtDevice = 80;
    model.ReloadStringgrid();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex(), model.index(2, 5));
    EXPECT_EQ(changed[0][1].toModelIndex(), model.index(2, 5));

    // The fault picture, and the selection box of column 0.
    changed.clear();
    rows[0]->Device->FaultRegister = 1;
    rows[4]->Selected = true;
    model.ReloadStringgrid();
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed[0][0].toModelIndex(), model.index(0, 2));
    EXPECT_EQ(changed[0][1].toModelIndex(), model.index(0, 2));
    EXPECT_EQ(changed[1][0].toModelIndex(), model.index(4, 0));
    EXPECT_EQ(changed[1][1].toModelIndex(), model.index(4, 0));
    EXPECT_EQ(model.index(4, 0).data(Qt::CheckStateRole).value<Qt::CheckState>(), Qt::Checked);

    EXPECT_EQ(spies.Reset.count(), 0);
    EXPECT_EQ(spies.Inserted.count(), 0);
    EXPECT_EQ(spies.Removed.count(), 0);
    EXPECT_EQ(spies.Layout.count(), 0);
    EXPECT_TRUE(selection.isRowSelected(2, QModelIndex()));
    EXPECT_EQ(selection.currentIndex(), model.index(2, 3));
}

TEST_F(DeviceTableModelTest, ChangedRowCountInsertsOrRemovesAtTheEndOnly)
{
    model.ReloadStringgrid();
    StructureSpies spies(&model);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    // Hiding the second row: the tail row goes, the rows after it move up a place.
    rows[1]->Hidden = true;
    model.ReloadStringgrid();
    ASSERT_EQ(spies.Removed.count(), 1);
    EXPECT_EQ(spies.Removed[0][1].toInt(), 4);
    EXPECT_EQ(spies.Removed[0][2].toInt(), 4);
    EXPECT_EQ(model.rowCount(), 4);
    EXPECT_EQ(record(1), rows[2].get());
    EXPECT_EQ(text(1, 3), QStringLiteral("00033"));
    EXPECT_EQ(text(3, 0), QStringLiteral("4"));
    EXPECT_EQ(changed.count(), 3); // rows 1..3 now show other devices

    // A device appended to the list.
    rows.push_back(std::make_unique<TTableDevice>(66));
    rows[1]->Hidden = false;
    model.ReloadStringgrid();
    ASSERT_EQ(spies.Inserted.count(), 1);
    EXPECT_EQ(spies.Inserted[0][1].toInt(), 4);
    EXPECT_EQ(spies.Inserted[0][2].toInt(), 5);
    EXPECT_EQ(model.rowCount(), 6);
    EXPECT_EQ(record(5), rows[5].get());
    EXPECT_EQ(text(5, 0), QStringLiteral("6"));
    EXPECT_EQ(spies.Reset.count(), 0);

    rows.clear();
    model.ReloadStringgrid();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(spies.Removed.count(), 2);
}

TEST_F(DeviceTableModelTest, AFreedOrMovedRowIsNotHandedOutBeforeTheReload)
{
    model.ReloadStringgrid();
    rows.erase(rows.begin() + 1);
    EXPECT_EQ(model.TableDevice(0), rows[0].get());
    EXPECT_EQ(model.TableDevice(1), nullptr);
    EXPECT_EQ(model.TableDevice(4), nullptr);
    // The shown texts stay until the reload.
    EXPECT_EQ(text(1, 3), QStringLiteral("00022"));

    model.ReloadStringgrid();
    EXPECT_EQ(model.TableDevice(1), rows[1].get());
    EXPECT_EQ(text(1, 3), QStringLiteral("00033"));

    // A sort moves the rows: the records follow after the reload.
    rows[0]->Status = dsAlarm;
    SortDeviceList(rows, 1, 2);
    model.ReloadStringgrid();
    EXPECT_EQ(model.TableDevice(0)->Device->SerialNum, 11);
    EXPECT_EQ(text(0, 0), QStringLiteral("1"));
    EXPECT_EQ(text(0, 3), QStringLiteral("00011"));
}

TEST(DeviceTableModelGlobal, DefaultsToTheDeviceList)
{
    DevArray.push_back(std::make_unique<TTableDevice>(7));
    TDeviceTableModel model;
    model.ReloadStringgrid();
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.TableDevice(0), DevArray[0].get());
    ClearDevArray();
}

} // namespace
