// The exports on an archive as the writer makes it: 10 devices x 2 channels at
// one value a second. A week of it read into export tables and written as CSV
// files, and a day of it written as a workbook, each next to a plain SQLite
// scan of the same values in the same files, measured in the same run. Then the
// same values with each day's first half in a "_2" file, read after the second
// half, so that every device's rows come out of time order. Each phase runs in
// a forked child, so its peak memory is its own; the peak is given per
// exported value.
//
// Usage: bench_exports [folder]  (default: a temporary folder under /tmp,
// removed at the end). A folder that already holds the archive is reused and kept.

#include "BenchArchive.h"
#include "BenchUtil.h"
#include "archive/ArchiveReader.h"
#include "archive/CsvExport.h"
#include "archive/ExcelIO.h"
#include "archive/Export.h"
#include "archive/XlsxRowCount.h"
#include "core/Device.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr int Devices = 10;
constexpr int FirstSerial = 1001;
constexpr int Week = 7;
const QDate Day1(2025, 2, 3);

std::vector<int> allSerials()
{
    return BenchArchive::Sequence(FirstSerial, Devices);
}

std::vector<int> firstDays(int Count)
{
    return BenchArchive::Sequence(0, Count);
}

TDateTime periodEnd(int Days)
{
    return DayStamp(Day1.addDays(Days), 0) - 0.5 / 86400000;
}

// The viewer's reading of Days days of every device into Tables.
bool readTables(const QString& Dir, int Days, TExportTableArray& Tables, qint64& Values)
{
    TArchiveStore devices(TArchiveKind::Devices), channels(TArchiveKind::Channels);
    devices.SetFileName(Dir + QStringLiteral("Devices.cds"));
    channels.SetFileName(Dir + QStringLiteral("Channels.cds"));
    QString err;
    if (!devices.Open(err) || !channels.Open(err))
        return false;
    std::vector<quint16> serials;
    for (const int s : allSerials())
        serials.push_back(quint16(s));
    TArchiveReader reader(devices, channels);
    Values = 0;
    return reader.Read(
        Dir, DayStamp(Day1, 0), periodEnd(Days), serials, true,
        [&](const TArchiveValue& V) {
            ++Values;
            AddExportRecord(Tables, quint16(V.SerialNum), WordToDeviceType(quint16(V.Device->DeviceType)),
                            V.Device->Comment, quint8(V.ChannelNum), V.MeasDateTime, V.Value,
                            float(V.Channel->MinAlert), float(V.Channel->MaxAlert), V.Channel->QuantityName,
                            V.Channel->MeasUnitName);
        },
        err);
}

// The values of BenchArchive::Day for each day, its second half in the day's
// file and its first half in the day's "_2" file, which is read after it.
bool buildLateHalves(const QString& Dir)
{
    const std::vector<int> serials = allSerials();
    const auto half = [&](const QDate& Day, const QString& Name, int From, int To) {
        TArchiveStore store(TArchiveKind::Measures);
        store.SetFileName(Dir + Name);
        QString err;
        if (store.Create(err) != TArchiveStore::TCreateResult::Created || !store.Open(err))
            return false;
        std::vector<TMeasureRecord> batch;
        for (int s = From; s < To; ++s) {
            for (std::size_t d = 0; d < serials.size(); ++d) {
                const TDateTime t = BenchArchive::ValueStamp(Day, s, int(d));
                for (int ch = 1; ch <= 2; ++ch)
                    batch.push_back({0, serials[d], t, ch, double(float((s + int(d)) % 1000) / 10)});
            }
            if (batch.size() >= (1u << 18) || s + 1 == To) {
                if (!store.AppendMeasures(batch, err))
                    return false;
                batch.clear();
            }
        }
        return true;
    };
    std::atomic<bool> ok = true;
    std::vector<std::thread> workers;
    for (int d = 0; d < Week; ++d) {
        workers.emplace_back([&, d] {
            const QDate day = Day1.addDays(d);
            const QString name = MeasuresFileName(ArchiveDateStr(day));
            if (!half(day, name, 43200, 86400) ||
                !half(day, name.chopped(4) + QStringLiteral("_2.cds"), 0, 43200))
                ok = false;
        });
    }
    for (auto& t : workers)
        t.join();
    return ok && BenchArchive::History(Dir, serials, Day1);
}

// Rows of the tables whose stamp is not later than the row's before.
qint64 rowsOutOfOrder(const TExportTableArray& Tables)
{
    qint64 n = 0;
    for (const TExportTable& t : Tables) {
        for (std::size_t r = 1; r < t.RowCount(); ++r)
            n += t.RowStamp(r) > t.RowStamp(r - 1) ? 0 : 1;
    }
    return n;
}

struct Phase
{
    double Ms = 0;
    double ReadMs = 0;
    qint64 StartKb = 0; // resident at the start of the phase
    qint64 HeldKb = 0;  // resident once the tables are read, above the start
    qint64 PeakKb = 0;  // the phase's resident peak
    qint64 Values = 0;
    qint64 OutOfOrder = 0; // rows as written
    bool Ok = false;
};

// Runs Work in a forked child and brings back what it measured.
Phase inChild(const std::function<bool(Phase&)>& Work)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        Phase p;
        p.StartKb = StatusKb("VmRSS");
        const auto start = BenchClock::now();
        p.Ok = Work(p);
        p.Ms = MsSince(start);
        p.PeakKb = StatusKb("VmHWM");
        const ssize_t n = write(fds[1], &p, sizeof p);
        _exit(n == ssize_t(sizeof p) ? 0 : 1);
    }
    close(fds[1]);
    Phase p;
    const bool got = pid > 0 && read(fds[0], &p, sizeof p) == ssize_t(sizeof p);
    close(fds[0]);
    int status = 0;
    if (pid > 0)
        waitpid(pid, &status, 0);
    if (!got)
        p.Ok = false;
    return p;
}

double mb(qint64 Kb)
{
    return double(Kb) / 1024;
}

double perValue(qint64 Kb, qint64 Values)
{
    return double(Kb) * 1024 / double(std::max<qint64>(Values, 1));
}

// The baseline of Days days in a child: time and peak memory.
Phase baseline(const QString& Dir, int Days)
{
    return inChild([&](Phase& P) {
        BenchArchive::PlainScanMs(Dir, Day1, firstDays(Days), allSerials(), DayStamp(Day1, 0),
                                  periodEnd(Days), P.Values);
        return P.Values > 0;
    });
}

// Days days of the archive in Dir read into tables and written as CSV files into
// Folder, in a child: time, peak memory and rows written out of time order.
Phase csvRun(const QString& Dir, int Days, const QString& Folder, const QDateTime& When)
{
    return inChild([&](Phase& P) {
        TExportTableArray tables;
        const auto start = BenchClock::now();
        if (!readTables(Dir, Days, tables, P.Values))
            return false;
        P.ReadMs = MsSince(start);
        P.HeldKb = StatusKb("VmRSS") - P.StartKb;
        QString err;
        const bool ok = WriteCsvFiles(tables, Folder, When, err);
        if (!ok)
            std::printf("CSV: %s\n", qPrintable(err));
        P.OutOfOrder = rowsOutOfOrder(tables);
        return ok;
    });
}

// The same for a day into the workbook Book.
Phase workbookRun(const QString& Dir, const QString& Book)
{
    return inChild([&](Phase& P) {
        TExportTableArray tables;
        const auto start = BenchClock::now();
        if (!readTables(Dir, 1, tables, P.Values))
            return false;
        P.ReadMs = MsSince(start);
        QString err;
        const bool ok = WriteExcelWorkbook(tables, Book, err);
        if (!ok)
            std::printf("workbook: %s\n", qPrintable(err));
        P.OutOfOrder = rowsOutOfOrder(tables);
        return ok;
    });
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp(QStringLiteral("/tmp/bench_exports-XXXXXX"));
    const bool given = argc > 1;
    const QString folder = given ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    QDir().mkpath(folder);
    const QString dir = QDir(folder).absolutePath() + QLatin1Char('/');
    ArchiveDir = dir;
    const std::vector<BenchArchive::TDays> plan{{firstDays(Week), allSerials()}};
    if (!QFile::exists(dir + MeasuresFileName(ArchiveDateStr(Day1.addDays(Week - 1)))) &&
        (!BenchArchive::History(dir, allSerials(), Day1) || !BenchArchive::Build(Day1, allSerials(), plan))) {
        std::printf("could not build the archive\n");
        return 1;
    }

    // A week of ten devices to CSV.
    baseline(dir, Week); // warms the page cache
    const Phase base = baseline(dir, Week);
    std::printf("\nbaseline: plain SQLite scan of a week of ten devices, %lld values: %.0f ms; peak %.0f MB "
                "above the start, %.1f bytes per exported value\n",
                base.Values, base.Ms, mb(base.PeakKb - base.StartKb),
                perValue(base.PeakKb - base.StartKb, base.Values));
    const QString csvFolder = QDir(folder).filePath(QStringLiteral("csv"));
    QDir().mkpath(csvFolder);
    const QDateTime when(QDate(2026, 12, 7), QTime(6, 5, 9));
    const Phase csv = csvRun(dir, Week, csvFolder, when);
    qint64 csvBytes = 0;
    for (const QFileInfo& f : QDir(csvFolder).entryInfoList(QDir::Files))
        csvBytes += f.size();
    std::printf(
        "a week of ten devices to CSV: %lld values; read into tables %.0f ms, total %.0f ms, ratio to "
        "the scan %.2f; %.0f MB written%s\n",
        csv.Values, csv.ReadMs, csv.Ms, csv.Ms / base.Ms, double(csvBytes) / 1e6, csv.Ok ? "" : "  FAILED");
    std::printf("  peak memory %.0f MB above the start: %.1f bytes per exported value (baseline %.1f); the "
                "tables hold %.1f bytes per value\n",
                mb(csv.PeakKb - csv.StartKb), perValue(csv.PeakKb - csv.StartKb, csv.Values),
                perValue(base.PeakKb - base.StartKb, base.Values), perValue(csv.HeldKb, csv.Values));
    BenchArchive::CheckBaseline(base.Values, csv.Values);
    QDir(csvFolder).removeRecursively();

    // A day of ten devices to a workbook.
    const Phase dayBase = baseline(dir, 1);
    const QString book = QDir(folder).filePath(QStringLiteral("book.xlsx"));
    const Phase xlsx = workbookRun(dir, book);
    std::printf("\na day of ten devices to a workbook: %lld values; read into tables %.0f ms, total %.0f ms; "
                "baseline scan %.0f ms, ratio %.2f; %.0f MB written; peak %.1f bytes per exported value%s\n",
                xlsx.Values, xlsx.ReadMs, xlsx.Ms, dayBase.Ms, xlsx.Ms / dayBase.Ms,
                double(QFileInfo(book).size()) / 1e6, perValue(xlsx.PeakKb - xlsx.StartKb, xlsx.Values),
                xlsx.Ok ? "" : "  FAILED");
    BenchArchive::CheckBaseline(dayBase.Values, xlsx.Values);
    // The written workbook read back and its rows counted, as the write does last.
    const Phase readBack = inChild([&](Phase& P) {
        std::vector<qint64> rows;
        QString reason;
        const bool ok = CountXlsxSheetRows(book, rows, reason);
        for (const qint64 r : rows)
            P.Values += r;
        return ok;
    });
    std::printf("  of it the read-back: %lld sheet rows counted in %.0f ms; peak %.1f MB above the start%s\n",
                readBack.Values, readBack.Ms, mb(readBack.PeakKb - readBack.StartKb),
                readBack.Ok ? "" : "  FAILED");
    QFile::remove(book);

    // The same week with each day's halves in two files, the later half read first.
    const QString late = dir + QStringLiteral("late/");
    QDir().mkpath(late);
    if (!QFile::exists(late + MeasuresFileName(ArchiveDateStr(Day1.addDays(Week - 1))).chopped(4) +
                       QStringLiteral("_2.cds")) &&
        !buildLateHalves(late)) {
        std::printf("could not build the archive of halves\n");
        return 1;
    }
    QDir().mkpath(csvFolder);
    const Phase lateCsv = csvRun(late, Week, csvFolder, when);
    std::printf("\nthe same week to CSV, each day's first half in a \"_2\" file read after the second: %lld "
                "values; read into tables %.0f ms, total %.0f ms, ratio to the week in order %.2f; rows out "
                "of time order as written: %lld%s\n",
                lateCsv.Values, lateCsv.ReadMs, lateCsv.Ms, lateCsv.Ms / csv.Ms, lateCsv.OutOfOrder,
                lateCsv.Ok ? "" : "  FAILED");
    std::printf("  peak memory %.0f MB above the start: %.1f bytes per exported value (in order %.1f); the "
                "tables hold %.1f bytes per value\n",
                mb(lateCsv.PeakKb - lateCsv.StartKb),
                perValue(lateCsv.PeakKb - lateCsv.StartKb, lateCsv.Values),
                perValue(csv.PeakKb - csv.StartKb, csv.Values), perValue(lateCsv.HeldKb, lateCsv.Values));
    BenchArchive::CheckBaseline(csv.Values, lateCsv.Values);
    QDir(csvFolder).removeRecursively();
    const Phase lateXlsx = workbookRun(late, book);
    std::printf(
        "the same day of halves to a workbook: %lld values; read into tables %.0f ms, total %.0f ms, "
        "ratio to the day in order %.2f; peak %.1f bytes per exported value (in order %.1f); rows out "
        "of time order as written: %lld%s\n",
        lateXlsx.Values, lateXlsx.ReadMs, lateXlsx.Ms, lateXlsx.Ms / xlsx.Ms,
        perValue(lateXlsx.PeakKb - lateXlsx.StartKb, lateXlsx.Values),
        perValue(xlsx.PeakKb - xlsx.StartKb, xlsx.Values), lateXlsx.OutOfOrder,
        lateXlsx.Ok ? "" : "  FAILED");
    QFile::remove(book);
    if (!given)
        tmp.remove();
    return 0;
}
