// The archive viewer on a full archive: 10 devices x 2 channels, one value per
// second per channel (about 1.7 million rows a day), 30 day files. Each figure
// is printed next to a plain SQLite scan of the same rows measured in the same
// run, and with the peak memory where the data grows.
//
// Usage: bench_viewer [folder]  (default: a temporary folder under /tmp,
// removed at the end; the archive takes about 5 GB). A folder that already
// holds the archive is reused and kept.

#include "BenchUtil.h"
#include "archive/Archive.h"
#include "archive/ArchiveDay.h"
#include "archive/ArchiveReader.h"
#include "archive/ArchiveStore.h"
#include "archive/CsvExport.h"
#include "archive/Export.h"
#include "charts/GraphicForms.h"
#include "core/Device.h"
#include "dispatcher/DispatcherState.h"
#include "platform/Prompts.h"

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <chrono>
#include <cstdio>
#include <sqlite3.h>
#include <thread>
#include <vector>

namespace {

constexpr int Devices = 10;
constexpr int FirstSerial = 1001;
constexpr int Days = 30;
const QDate Day1(2024, 3, 1);

bool buildDay(const QString& FileName, const QDate& Day)
{
    TArchiveStore store(TArchiveKind::Measures);
    store.SetFileName(FileName);
    QString err;
    if (store.Create(err) != TArchiveStore::TCreateResult::Created)
        return false;
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(FileName).constData(), &db);
    sqlite3_exec(db, "PRAGMA synchronous = OFF; PRAGMA cache_size = -262144; BEGIN", nullptr, nullptr,
                 nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO Measures(SerialNum, MeasDateTime, ChannelNum, MeasValue) VALUES(?,?,?,?)",
                       -1, &stmt, nullptr);
    for (int s = 0; s < 86400; ++s) {
        for (int d = 0; d < Devices; ++d) {
            // The devices of a second answer 50 ms apart.
            const TDateTime t = DayStamp(Day, qint64(s) * 1000 + d * 50);
            for (int ch = 1; ch <= 2; ++ch) {
                sqlite3_bind_int(stmt, 1, FirstSerial + d);
                sqlite3_bind_double(stmt, 2, t);
                sqlite3_bind_int(stmt, 3, ch);
                sqlite3_bind_double(stmt, 4, double(float((s + d) % 1000) / 10));
                sqlite3_step(stmt);
                sqlite3_reset(stmt);
            }
        }
    }
    sqlite3_finalize(stmt);
    const bool ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

bool buildArchive(const QString& Dir)
{
    QString err;
    TArchiveStore devices(TArchiveKind::Devices), channels(TArchiveKind::Channels);
    devices.SetFileName(Dir + QStringLiteral("Devices.cds"));
    channels.SetFileName(Dir + QStringLiteral("Channels.cds"));
    if (devices.Create(err) != TArchiveStore::TCreateResult::Created ||
        channels.Create(err) != TArchiveStore::TCreateResult::Created || !devices.Open(err) ||
        !channels.Open(err))
        return false;
    for (int d = 0; d < Devices; ++d) {
        devices.AppendDevice({0, DayStamp(Day1, 0) - 1, FirstSerial + d, 1, QStringLiteral("Котельная")},
                             err);
        for (int ch = 1; ch <= 2; ++ch)
            channels.AppendChannel({0, DayStamp(Day1, 0) - 1, FirstSerial + d, ch, 0, 0, 90, 0, 100,
                                    QStringLiteral("Температура"), QStringLiteral("°C")},
                                   err);
    }
    const auto start = BenchClock::now();
    std::vector<std::thread> workers;
    std::atomic<bool> ok = true;
    for (int w = 0; w < 4; ++w) {
        workers.emplace_back([&, w] {
            for (int d = w; d < Days; d += 4) {
                const QDate day = Day1.addDays(d);
                if (!buildDay(Dir + MeasuresFileName(ArchiveDateStr(day)), day))
                    ok = false;
            }
        });
    }
    for (auto& t : workers)
        t.join();
    std::printf("archive of %d day files built in %.0f s\n", Days, MsSince(start) / 1000);
    return ok;
}

// A reader of the archive in Dir, the devices' and channels' history open.
struct THistoryReader
{
    explicit THistoryReader(const QString& Dir)
    {
        Devices.SetFileName(Dir + QStringLiteral("Devices.cds"));
        Channels.SetFileName(Dir + QStringLiteral("Channels.cds"));
        QString err;
        Devices.Open(err);
        Channels.Open(err);
    }

    TArchiveStore Devices{TArchiveKind::Devices};
    TArchiveStore Channels{TArchiveKind::Channels};
    TArchiveReader Reader{Devices, Channels};
};

// The baseline: the same rows straight from SQLite, one device (or all of
// them) through the covering per-device index, nothing done per row.
double plainScanMs(const QString& Dir, const std::vector<int>& Serials, int FromDay, int DayCount,
                   qint64& Rows)
{
    const auto start = BenchClock::now();
    Rows = 0;
    double sum = 0;
    const TDateTime from = DayStamp(Day1.addDays(FromDay), 0);
    const TDateTime to = DayStamp(Day1.addDays(FromDay + DayCount), 0) - 0.5 / 86400000;
    for (int d = FromDay; d < FromDay + DayCount; ++d) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(
            QFile::encodeName(Dir + MeasuresFileName(ArchiveDateStr(Day1.addDays(d)))).constData(), &db,
            SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* stmt = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT MeasDateTime, ChannelNum, MeasValue FROM Measures INDEXED BY SerialIdx "
                           "WHERE SerialNum = ?1 AND MeasDateTime BETWEEN ?2 AND ?3",
                           -1, &stmt, nullptr);
        for (const int serial : Serials) {
            sqlite3_bind_int(stmt, 1, serial);
            sqlite3_bind_double(stmt, 2, from);
            sqlite3_bind_double(stmt, 3, to);
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                ++Rows;
                sum += sqlite3_column_double(stmt, 2);
            }
            sqlite3_reset(stmt);
        }
        sqlite3_finalize(stmt);
        sqlite3_close(db);
    }
    const double ms = MsSince(start);
    return sum < 0 ? -ms : ms;
}

// The viewer's reading into export tables.
double collectMs(const QString& Dir, const std::vector<quint16>& Serials, int FromDay, int DayCount,
                 TExportTableArray& Tables, qint64& Rows)
{
    THistoryReader history(Dir);
    TArchiveReader& reader = history.Reader;
    QString err;
    Rows = 0;
    const auto start = BenchClock::now();
    const TDateTime from = DayStamp(Day1.addDays(FromDay), 0);
    const TDateTime to = DayStamp(Day1.addDays(FromDay + DayCount), 0) - 0.5 / 86400000;
    const bool ok = reader.Read(
        Dir, from, to, Serials, true,
        [&](const TArchiveValue& V) {
            ++Rows;
            AddExportRecord(Tables, quint16(V.SerialNum), WordToDeviceType(quint16(V.Device->DeviceType)),
                            V.Device->Comment, quint8(V.ChannelNum), V.MeasDateTime, V.Value,
                            float(V.Channel->MinAlert), float(V.Channel->MaxAlert), V.Channel->QuantityName,
                            V.Channel->MeasUnitName);
        },
        err);
    if (!ok)
        std::printf("read failed: %s\n", qPrintable(err));
    return MsSince(start);
}

class SilentPrompts : public Prompts
{
public:
    void Message(QWidget*, const QString& Text, const QString&, QMessageBox::Icon) override
    {
        std::printf("message: %s\n", qPrintable(Text));
    }
    bool YesNo(QWidget*, const QString&, const QString&) override { return true; }
};

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir tmp(QStringLiteral("/tmp/bench_viewer-XXXXXX"));
    const bool given = argc > 1;
    const QString folder = given ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    QDir().mkpath(folder);
    const QString dir = QDir(folder).absolutePath() + QLatin1Char('/');
    if (!QFile::exists(dir + MeasuresFileName(ArchiveDateStr(Day1.addDays(Days - 1)))) &&
        !buildArchive(dir)) {
        std::printf("could not build the archive\n");
        return 1;
    }
    ArchiveDir = dir;
    const int serial = FirstSerial + 4;
    qint64 rows = 0, baseRows = 0;

    // Warm the page cache for the first day.
    plainScanMs(dir, {serial}, 0, 1, baseRows);

    // BENCH_ONLY=n runs section n alone (for profiling).
    const int only = qEnvironmentVariableIntValue("BENCH_ONLY");
    const auto runs = [only](int Section) { return only == 0 || only == Section; };

    // 1. One device's day replayed onto the charts, through the window.
    if (runs(1)) {
        const double base = plainScanMs(dir, {serial}, 0, 1, baseRows);
        SilentPrompts prompts;
        Prompts::SetCurrent(&prompts);
        QWidget owner;
        TGraphicForms forms(&owner);
        IniFileName = QDir(folder).filePath(QStringLiteral("bench.ini"));
        TFormArchive form;
        form.SetGraphicForms(&forms);
        form.InitArchiveFiles();
        DevArray.push_back(std::make_unique<TTableDevice>(quint16(serial)));
        DevArray.back()->Selected = true;
        form.show();
        form.findChild<QDateEdit*>(QStringLiteral("DateTimePickerStartDate"))->setDate(Day1);
        form.findChild<QTimeEdit*>(QStringLiteral("DateTimePickerStartTime"))->setTime(QTime(0, 0));
        form.findChild<QDateEdit*>(QStringLiteral("DateTimePickerEndDate"))->setDate(Day1);
        form.findChild<QTimeEdit*>(QStringLiteral("DateTimePickerEndTime"))->setTime(QTime(23, 59, 59));
        form.findChild<QRadioButton*>(QStringLiteral("RadioDestinationGraph"))->setChecked(true);
        const auto start = BenchClock::now();
        form.ButtonAcceptClick();
        const double ms = MsSince(start);
        // The shown windows paint once the events run.
        const auto paintStart = BenchClock::now();
        QCoreApplication::processEvents();
        const double paintMs = MsSince(paintStart);
        qint64 points = 0;
        for (const auto& line : form.ArchiveGraphicLines())
            points += line->Series->Count();
        std::printf("\none device, one day onto the charts: %lld points in %.0f ms (+%.0f ms first paint)  "
                    "(target: under 1 s)\n",
                    points, ms, paintMs);
        std::printf("  baseline: plain SQLite scan of the same %lld rows %.0f ms; ratio %.1f\n", baseRows,
                    base, ms / base);
        ClearDevArray();
        form.CloseArchiveFiles();
        Prompts::SetCurrent(nullptr);
    }

    // 2. One device's 30 days into export tables.
    if (runs(2)) {
        qint64 ignored = 0;
        plainScanMs(dir, {serial}, 0, Days, ignored); // page cache
        const double base = plainScanMs(dir, {serial}, 0, Days, baseRows);
        ResetPeak();
        const double before = StatusMb("VmRSS");
        TExportTableArray tables;
        const double ms = collectMs(dir, {quint16(serial)}, 0, Days, tables, rows);
        const double held = StatusMb("VmRSS") - before;
        const double peak = StatusMb("VmHWM") - before;
        std::printf("\none device, %d days into export tables: %lld values, %zu rows in %.0f ms  (target: "
                    "under 3 s)\n",
                    Days, rows, tables.empty() ? size_t(0) : tables[0].MeasRecs.size(), ms);
        std::printf("  baseline: plain SQLite scan of the same %lld rows %.0f ms; ratio %.1f\n", baseRows,
                    base, ms / base);
        std::printf("  memory: tables hold %.0f MB, peak %.0f MB above the start\n", held, peak);
    }

    // 3. A day (and three days) of all ten devices into export tables and CSV files.
    std::vector<int> all;
    std::vector<quint16> all16;
    for (int d = 0; d < Devices; ++d) {
        all.push_back(FirstSerial + d);
        all16.push_back(quint16(FirstSerial + d));
    }
    for (const int dayCount : {1, 3}) {
        if (!runs(3))
            break;
        qint64 ignored = 0;
        plainScanMs(dir, all, 1, dayCount, ignored);
        const double base = plainScanMs(dir, all, 1, dayCount, baseRows);
        ResetPeak();
        const double before = StatusMb("VmRSS");
        TExportTableArray tables;
        const double readMs = collectMs(dir, all16, 1, dayCount, tables, rows);
        const double held = StatusMb("VmRSS") - before;
        const double readPeak = StatusMb("VmHWM") - before;
        const QString out = QDir(folder).filePath(QStringLiteral("csv"));
        QDir().mkpath(out);
        const auto start = BenchClock::now();
        QString err;
        if (!WriteCsvFiles(tables, out, QDateTime::currentDateTime(), err))
            std::printf("csv: %s\n", qPrintable(err));
        const double csvMs = MsSince(start);
        const double peak = StatusMb("VmHWM") - before;
        std::printf(
            "\nten devices, %d day(s) to CSV: %lld values; read into tables %.0f ms, files written %.0f ms, "
            "total %.0f ms  (target for one day: under 5 s)\n",
            dayCount, rows, readMs, csvMs, readMs + csvMs);
        std::printf("  baseline: plain SQLite scan of the same %lld rows %.0f ms; ratio %.1f\n", baseRows,
                    base, (readMs + csvMs) / base);
        std::printf(
            "  memory: tables hold %.0f MB; peak above the start %.0f MB while reading (%.0f MB beyond "
            "the tables), %.0f MB while writing the files (%.0f MB beyond)\n",
            held, readPeak, readPeak - held, peak, peak - held);
        QDir(out).removeRecursively();
    }

    // 4. Building the tables alone: one day of ten devices from values in memory.
    if (runs(4)) {
        struct TVal
        {
            qint32 Serial;
            qint32 Channel;
            TDateTime When;
            float Value;
        };
        std::vector<TVal> values;
        THistoryReader history(dir);
        TArchiveReader& reader = history.Reader;
        QString err;
        values.reserve(1800000);
        const auto readStart = BenchClock::now();
        reader.Read(
            dir, DayStamp(Day1.addDays(2), 0), DayStamp(Day1.addDays(3), 0) - 0.5 / 86400000, all16, true,
            [&](const TArchiveValue& V) {
                values.push_back({V.SerialNum, V.ChannelNum, V.MeasDateTime, V.Value});
            },
            err);
        const double readMs = MsSince(readStart);
        // The settings every value carries, as the history gives them.
        TChannelRecord ch;
        ch.QuantityName = QStringLiteral("Температура");
        ch.MeasUnitName = QStringLiteral("°C");
        ch.MaxAlert = 90;
        TExportTableArray tables;
        const auto start = BenchClock::now();
        for (const TVal& v : values)
            AddExportRecord(tables, quint16(v.Serial), TDeviceType::ThermoInputs, QStringLiteral("Котельная"),
                            quint8(v.Channel), v.When, v.Value, float(ch.MinAlert), float(ch.MaxAlert),
                            ch.QuantityName, ch.MeasUnitName);
        const double ms = MsSince(start);
        std::printf("\nten devices, one day, export tables built from %zu values in memory: %.0f ms  "
                    "(target: under 1 s); reading them took %.0f ms\n",
                    values.size(), ms, readMs);
    }

    if (!given)
        tmp.remove();
    return 0;
}
