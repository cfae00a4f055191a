// The measurement archive: the cost of storing one polled value (committed at
// once) in time and in bytes written to disk, and of reading one device's values
// for a day and for a month, each next to a baseline measured in the same run
// (a batched insert, the former day file layout, a plain scan of the day file).
//
// Usage: bench_archive [folder]  (default: a temporary folder, removed at the
// end; the month of day files takes several gigabytes there).

#include "BenchUtil.h"
#include "archive/ArchiveDay.h"
#include "archive/ArchiveStore.h"
#include "archive/ArchiveWriter.h"
#include "core/Device.h"
#include "dispatcher/DispatcherState.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <numeric>
#include <sqlite3.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int Devices = 10;
// About 1.7 million rows a day: every device's two channels once per cycle.
constexpr int CyclesPerDay = 85000;
constexpr int MonthDays = 30;
constexpr int FirstSerial = 1001;
const QDate Day1(2024, 3, 1);

// Bytes this process has caused to be written to disk so far (page cache
// pages dirtied, as the kernel counts them); -1 where the kernel does not say.
qint64 writeBytes()
{
    ::sync();
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n'))
        if (line.startsWith("write_bytes:"))
            return line.mid(12).trimmed().toLongLong();
    return -1;
}

// Count values through Insert (serial, stamp, channel, value), as the polling
// stores them on Day: the devices in turn, both channels, 100 ms apart.
void insertValues(sqlite3_stmt* Insert, const QDate& Day, int Count)
{
    for (int i = 0; i < Count; ++i) {
        sqlite3_bind_int(Insert, 1, FirstSerial + i / 2 % Devices);
        sqlite3_bind_double(Insert, 2, DayStamp(Day, qint64(i / 2) * 100));
        sqlite3_bind_int(Insert, 3, 1 + i % 2);
        sqlite3_bind_double(Insert, 4, double(float(i) / 8));
        sqlite3_step(Insert);
        sqlite3_reset(Insert);
    }
}

// The same values committed one by one into the day file layout before small
// pages and a table per device: one table of all devices with both indexes,
// pages of 4 KB, the log checkpointed every 1000 pages. Gives bytes per value.
double baselineWriteBytesPerValue(const QString& FileName, int Count)
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(FileName).constData(), &db);
    sqlite3_exec(db,
                 "PRAGMA page_size = 4096; PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; "
                 "CREATE TABLE Measures(ID INTEGER PRIMARY KEY, SerialNum INTEGER, MeasDateTime REAL, "
                 "ChannelNum INTEGER, MeasValue REAL) STRICT; "
                 "CREATE INDEX TSCIdx ON Measures(MeasDateTime, SerialNum, ChannelNum); "
                 "CREATE INDEX SerialIdx ON Measures(SerialNum, MeasDateTime, ChannelNum, MeasValue)",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO Measures(SerialNum, MeasDateTime, ChannelNum, MeasValue) VALUES(?,?,?,?)",
                       -1, &stmt, nullptr);
    const qint64 before = writeBytes();
    insertValues(stmt, Day1.addDays(-3), Count);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    const qint64 after = writeBytes();
    QFile::remove(FileName);
    return before < 0 || after < 0 ? -1 : double(after - before) / Count;
}

// Storing values as the polling does: one AddMeasurement per value, each its
// own committed transaction. Gives the per-value times in microseconds.
std::vector<double> benchAppend(int Count)
{
    TArchiveWriter writer;
    std::vector<std::unique_ptr<TDevice>> devices;
    for (int i = 0; i < Devices; ++i)
        devices.push_back(std::make_unique<TDevice>(quint16(FirstSerial + i)));
    std::vector<double> us;
    us.reserve(std::size_t(Count));
    QString err;
    for (int i = 0; i < Count; ++i) {
        TDevice& d = *devices[std::size_t(i / 2 % Devices)];
        const int ch = 1 + i % 2;
        d.Channel(ch).Value = float(i) / 8;
        const TDateTime t = DayStamp(Day1.addDays(-1), qint64(i / 2) * 100);
        const auto start = BenchClock::now();
        if (!writer.AddMeasurement(d, ch, t, err)) {
            std::printf("append failed: %s\n", qPrintable(err));
            return {};
        }
        us.push_back(MsSince(start) * 1000);
    }
    writer.CloseAll();
    return us;
}

// The same rows inserted in one transaction without syncing: what a value
// costs when nothing is committed per value.
double benchBatchedInsertUs(const QString& FileName, int Count)
{
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(FileName).constData(), &db);
    sqlite3_exec(db, "PRAGMA synchronous = OFF; BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO Measures(SerialNum, MeasDateTime, ChannelNum, MeasValue) VALUES(?,?,?,?)",
                       -1, &stmt, nullptr);
    const auto start = BenchClock::now();
    insertValues(stmt, Day1.addDays(-2), Count);
    const double ms = MsSince(start);
    sqlite3_finalize(stmt);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return ms * 1000 / Count;
}

// A full day file for Day1, built in one transaction: one value per device
// through the store makes the devices' tables, the rest goes in raw.
bool buildDayFile(const QString& FileName)
{
    {
        TArchiveStore store(TArchiveKind::Measures);
        store.SetFileName(FileName);
        QString err;
        if (store.Create(err) != TArchiveStore::TCreateResult::Created || !store.Open(err))
            return false;
        for (int d = 0; d < Devices; ++d)
            if (!store.AppendMeasure({0, FirstSerial + d, DayStamp(Day1, d * 50), 1, 0}, err))
                return false;
    }
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(FileName).constData(), &db);
    sqlite3_exec(db, "PRAGMA synchronous = OFF; PRAGMA cache_size = -262144; BEGIN", nullptr, nullptr,
                 nullptr);
    std::vector<sqlite3_stmt*> inserts;
    for (int d = 0; d < Devices; ++d) {
        sqlite3_stmt* stmt = nullptr;
        const QByteArray sql = "INSERT INTO \"Measures_" + QByteArray::number(FirstSerial + d) +
                               "\"(ID, MeasDateTime, ChannelNum, MeasValue) VALUES(?,?,?,?)";
        sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr);
        inserts.push_back(stmt);
    }
    qint64 id = Devices + 1;
    for (int c = 0; c < CyclesPerDay; ++c) {
        for (int d = 0; d < Devices; ++d) {
            // The devices of a cycle answer 50 ms apart.
            const qint64 ms = qint64(c) * MsPerDay / CyclesPerDay + d * 50;
            for (int ch = 1; ch <= 2; ++ch) {
                if (c == 0 && ch == 1)
                    continue; // stored through the store above
                sqlite3_stmt* stmt = inserts[std::size_t(d)];
                sqlite3_bind_int64(stmt, 1, id++);
                sqlite3_bind_double(stmt, 2, DayStamp(Day1, ms));
                sqlite3_bind_int(stmt, 3, ch);
                sqlite3_bind_double(stmt, 4, double(float(c % 1000) / 10));
                sqlite3_step(stmt);
                sqlite3_reset(stmt);
            }
        }
    }
    for (sqlite3_stmt* stmt : inserts)
        sqlite3_finalize(stmt);
    const bool ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

// Every row of the file read straight from the devices' tables, keeping one
// device's.
double tableScanMs(const QString& FileName, int Serial, qint64& Rows, qint64& Kept)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(QFile::encodeName(FileName).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    const auto start = BenchClock::now();
    Rows = Kept = 0;
    double sum = 0;
    for (int d = 0; d < Devices; ++d) {
        sqlite3_stmt* stmt = nullptr;
        const QByteArray sql = "SELECT ID, MeasDateTime, ChannelNum, MeasValue FROM \"Measures_" +
                               QByteArray::number(FirstSerial + d) + '"';
        sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr);
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            ++Rows;
            if (FirstSerial + d == Serial) {
                ++Kept;
                sum += sqlite3_column_double(stmt, 3) + sqlite3_column_double(stmt, 1);
            }
        }
        sqlite3_finalize(stmt);
    }
    const double ms = MsSince(start);
    sqlite3_close(db);
    return sum < 0 ? -ms : ms;
}

// One device's values from the day files, through the archive store, as the
// viewer reads them.
double deviceReadMs(const QStringList& Files, int Serial, TDateTime From, TDateTime To, qint64& Rows)
{
    const auto start = BenchClock::now();
    Rows = 0;
    double sum = 0;
    for (const QString& f : Files) {
        TArchiveStore store(TArchiveKind::Measures);
        store.SetFileName(f);
        QString err;
        if (!store.Open(err)) {
            std::printf("%s: %s\n", qPrintable(f), qPrintable(err));
            return -1;
        }
        store.ReadDeviceMeasures(
            Serial, From, To,
            [&](const TMeasureRecord& R) {
                ++Rows;
                sum += R.MeasValue + R.MeasDateTime;
            },
            err);
    }
    const double ms = MsSince(start);
    return sum < 0 ? -ms : ms;
}

// The same device's values out of every row of the period in time order,
// other devices passed over.
double timeIndexReadMs(const QString& FileName, int Serial, TDateTime From, TDateTime To, qint64& Rows)
{
    TArchiveStore store(TArchiveKind::Measures);
    store.SetFileName(FileName);
    QString err;
    store.Open(err);
    Rows = 0;
    const auto start = BenchClock::now();
    store.ReadMeasures(
        From, To, [&](const TMeasureRecord& R) { Rows += R.SerialNum == Serial; }, err);
    return MsSince(start);
}

double best(int Runs, const std::function<double()>& Run)
{
    double b = 1e300;
    for (int i = 0; i < Runs; ++i)
        b = std::min(b, Run());
    return b;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp;
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    QDir().mkpath(folder);
    ArchiveDir = QDir(folder).absolutePath() + QLatin1Char('/');
    const int serial = FirstSerial + 4;

    // Storing values.
    constexpr int Appends = 20000;
    const qint64 bytesBefore = writeBytes();
    std::vector<double> us = benchAppend(Appends);
    if (us.empty())
        return 1;
    const qint64 bytesAfter = writeBytes();
    const double mean = std::accumulate(us.begin(), us.end(), 0.0) / double(us.size());
    std::sort(us.begin(), us.end());
    const QString appendFile = ArchiveDir + MeasuresFileName(ArchiveDateStr(Day1.addDays(-1)));
    const double batchedUs = benchBatchedInsertUs(appendFile, Appends);
    std::printf("store one value, committed (WAL, synchronous NORMAL), %d values:\n", Appends);
    std::printf("  mean %.1f us, median %.1f us, p99 %.1f us, max %.1f us  (target: under 50 us)\n", mean,
                us[us.size() / 2], us[us.size() * 99 / 100], us.back());
    std::printf("  baseline: the same insert inside one transaction %.2f us; ratio %.1f\n", batchedUs,
                mean / batchedUs);
    const double bytesPerValue =
        bytesBefore < 0 || bytesAfter < 0 ? -1 : double(bytesAfter - bytesBefore) / Appends;
    const double baselineBytes =
        baselineWriteBytesPerValue(ArchiveDir + QStringLiteral("baseline-layout.db"), Appends);
    std::printf("  written to disk per value (write_bytes): %.0f bytes  (target: under 1024)\n",
                bytesPerValue);
    std::printf("  baseline: one table with both indexes, 4 KB pages: %.0f bytes; ratio %.3f\n\n",
                baselineBytes, bytesPerValue / baselineBytes);

    // A day file of 10 devices.
    const QString day1 = ArchiveDir + MeasuresFileName(ArchiveDateStr(Day1));
    auto start = BenchClock::now();
    if (!buildDayFile(day1)) {
        std::printf("could not build the day file\n");
        return 1;
    }
    std::printf("day file: %d rows, %.0f MB, built in %.1f s\n", CyclesPerDay * Devices * 2,
                double(QFileInfo(day1).size()) / 1e6, MsSince(start) / 1000);

    qint64 scanRows = 0, scanKept = 0, rows = 0;
    tableScanMs(day1, serial, scanRows, scanKept); // warms the page cache
    const double scanMs = best(3, [&] { return tableScanMs(day1, serial, scanRows, scanKept); });
    const TDateTime dayFrom = DayStamp(Day1, 0), dayTo = DayStamp(Day1.addDays(1), 0);
    ResetPeak();
    double before = StatusMb("VmHWM");
    const double dayMs = best(3, [&] { return deviceReadMs({day1}, serial, dayFrom, dayTo, rows); });
    const double dayMb = PeakAboveMb(before);
    qint64 tscRows = 0;
    ResetPeak();
    before = StatusMb("VmHWM");
    const double tscMs = best(3, [&] { return timeIndexReadMs(day1, serial, dayFrom, dayTo, tscRows); });
    const double tscMb = PeakAboveMb(before);
    std::printf("baseline: table scan of the day file, %lld rows (%lld of the device): %.1f ms\n", scanRows,
                scanKept, scanMs);
    std::printf("one device, 24 hours, from its own table: %lld rows, %.1f ms  (target: under 100 ms); "
                "ratio to the scan %.3f; peak %.0f MB above the start\n",
                rows, dayMs, dayMs / scanMs, dayMb);
    std::printf("every device, 24 hours, in time order, keeping one: %lld rows, %.1f ms; ratio to the scan "
                "%.3f; peak %.0f MB above the start\n",
                tscRows, tscMs, tscMs / scanMs, tscMb);
    if (rows != scanKept || tscRows != scanKept)
        std::printf("ROW COUNTS DIFFER\n");

    // A month of day files, copies of the first.
    start = BenchClock::now();
    QStringList month{day1};
    for (int d = 1; d < MonthDays; ++d) {
        const QString f = ArchiveDir + MeasuresFileName(ArchiveDateStr(Day1.addDays(d)));
        QFile::remove(f);
        if (!QFile::copy(day1, f)) {
            std::printf("could not copy %s\n", qPrintable(f));
            return 1;
        }
        month << f;
    }
    std::printf("\nmonth: %d day files copied in %.1f s\n", MonthDays, MsSince(start) / 1000);
    // The copies hold the first day's stamps; the period covers them all.
    const TDateTime monthTo = DayStamp(Day1.addDays(MonthDays), 0);
    ResetPeak();
    before = StatusMb("VmHWM");
    const double monthCold = deviceReadMs(month, serial, dayFrom, monthTo, rows);
    const double monthMs = best(3, [&] { return deviceReadMs(month, serial, dayFrom, monthTo, rows); });
    std::printf("one device, %d days: %lld rows, first run %.0f ms, best %.0f ms  (target: under 2 s); "
                "ratio to %d day-file scans %.3f; peak %.0f MB above the start\n",
                MonthDays, rows, monthCold, monthMs, MonthDays, monthMs / (scanMs * MonthDays),
                PeakAboveMb(before));

    for (const QString& f : month)
        QFile::remove(f);
    QFile::remove(appendFile);
    return 0;
}
