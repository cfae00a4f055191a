// The archive viewer on an archive as the writer makes it: 10 devices x 2
// channels, one value per second per channel (about 1.7 million values a day).
// Only what the sections read is made: the first days with all ten devices, the
// month of one device. Each figure is printed next to a plain SQLite scan of the
// same values in the same files, measured in the same run, and with the peak
// memory where the data grows.
//
// Usage: bench_viewer [folder]  (default: a temporary folder under /tmp,
// removed at the end). A folder that already holds the archive is reused and kept.

#include "BenchArchive.h"
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
#include <vector>

namespace {

constexpr int Devices = 10;
constexpr int FirstSerial = 1001;
constexpr int Days = 30;
const QDate Day1(2024, 3, 1);

std::vector<int> allSerials()
{
    return BenchArchive::Sequence(FirstSerial, Devices);
}

// What the sections read: all devices on the first days, the replayed device
// on the other days of the month.
constexpr int FullDays = 4;
constexpr int Serial = FirstSerial + 4;

bool buildArchive(const QString& Dir)
{
    const std::vector<int> all = allSerials();
    if (!BenchArchive::History(Dir, all, Day1))
        return false;
    std::vector<int> full, rest;
    for (int d = 0; d < Days; ++d)
        (d < FullDays ? full : rest).push_back(d);
    return BenchArchive::Build(Day1, all, {{full, all}, {rest, {Serial}}});
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

// The baseline: the same rows straight from SQLite.
// Up to To, or to the end of the last day.
double plainScanMs(const QString& Dir, const std::vector<int>& Serials, int FromDay, int DayCount,
                   qint64& Rows, TDateTime To = 0)
{
    std::vector<int> days;
    for (int d = FromDay; d < FromDay + DayCount; ++d)
        days.push_back(d);
    const TDateTime from = DayStamp(Day1.addDays(FromDay), 0);
    const TDateTime to = To != 0 ? To : DayStamp(Day1.addDays(FromDay + DayCount), 0) - 0.5 / 86400000;
    return BenchArchive::PlainScanMs(Dir, Day1, days, Serials, from, to, Rows);
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
    ArchiveDir = dir;
    if (!QFile::exists(dir + MeasuresFileName(ArchiveDateStr(Day1.addDays(Days - 1)))) &&
        !buildArchive(dir)) {
        std::printf("could not build the archive\n");
        return 1;
    }
    const int serial = Serial;
    qint64 rows = 0, baseRows = 0;

    // Warm the page cache for the first day.
    plainScanMs(dir, {serial}, 0, 1, baseRows);

    // BENCH_ONLY=n runs section n alone (for profiling).
    const int only = qEnvironmentVariableIntValue("BENCH_ONLY");
    const auto runs = [only](int Section) { return only == 0 || only == Section; };

    // 1. One device's day replayed onto the charts, through the window.
    if (runs(1)) {
        // The window's period ends at 23:59:59.
        const double base = plainScanMs(dir, {serial}, 0, 1, baseRows, DayStamp(Day1, MsPerDay - 1000));
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
        ResetPeak();
        const double before = StatusMb("VmHWM");
        const auto start = BenchClock::now();
        form.ButtonAcceptClick();
        const double ms = MsSince(start);
        const double peakMb = PeakAboveMb(before);
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
        std::printf("  memory: peak %.0f MB above the start while reading and drawing\n", peakMb);
        BenchArchive::CheckBaseline(baseRows, points);
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
        const double peak = PeakAboveMb(before);
        std::printf("\none device, %d days into export tables: %lld values, %zu rows in %.0f ms  (target: "
                    "under 3 s)\n",
                    Days, rows, tables.empty() ? size_t(0) : tables[0].RowCount(), ms);
        std::printf("  baseline: plain SQLite scan of the same %lld rows %.0f ms; ratio %.1f\n", baseRows,
                    base, ms / base);
        BenchArchive::CheckBaseline(baseRows, rows);
        std::printf("  memory: tables hold %.0f MB (%.1f bytes per value), peak %.0f MB above the start\n",
                    held, held * 1048576 / double(std::max<qint64>(rows, 1)), peak);
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
        const double readPeak = PeakAboveMb(before);
        const QString out = QDir(folder).filePath(QStringLiteral("csv"));
        QDir().mkpath(out);
        const auto start = BenchClock::now();
        QString err;
        if (!WriteCsvFiles(tables, out, QDateTime::currentDateTime(), err))
            std::printf("csv: %s\n", qPrintable(err));
        const double csvMs = MsSince(start);
        const double peak = PeakAboveMb(before);
        std::printf(
            "\nten devices, %d day(s) to CSV: %lld values; read into tables %.0f ms, files written %.0f ms, "
            "total %.0f ms  (target for one day: under 5 s)\n",
            dayCount, rows, readMs, csvMs, readMs + csvMs);
        std::printf("  baseline: plain SQLite scan of the same %lld rows %.0f ms; ratio %.1f\n", baseRows,
                    base, (readMs + csvMs) / base);
        BenchArchive::CheckBaseline(baseRows, rows);
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
