#pragma once

// Archives for the benchmarks, made by the program's own writer code so that
// they have the layout the writer makes: each day file comes from the writer's
// day switch and gets its values through the store's append, many values to a
// transaction. And the baseline: the same values straight from SQLite.

#include "BenchUtil.h"
#include "archive/ArchiveDay.h"
#include "archive/ArchiveStore.h"
#include "archive/ArchiveWriter.h"
#include "dispatcher/DispatcherState.h"

#include <QDir>
#include <QFile>
#include <atomic>
#include <cstdio>
#include <sqlite3.h>
#include <thread>
#include <vector>

namespace BenchArchive {

// First, First + 1, ...: Count serial numbers or day numbers.
inline std::vector<int> Sequence(int First, int Count)
{
    std::vector<int> all;
    for (int d = 0; d < Count; ++d)
        all.push_back(First + d);
    return all;
}

// The devices of a second answer 50 ms apart, both channels at once.
inline TDateTime ValueStamp(const QDate& Day, int Second, int Device)
{
    return DayStamp(Day, qint64(Second) * 1000 + Device * 50);
}

// Devices.cds and Channels.cds with one row per device (channel), in force
// before Day1.
inline bool History(const QString& Dir, const std::vector<int>& Serials, const QDate& Day1)
{
    QString err;
    TArchiveStore devices(TArchiveKind::Devices), channels(TArchiveKind::Channels);
    devices.SetFileName(Dir + QStringLiteral("Devices.cds"));
    channels.SetFileName(Dir + QStringLiteral("Channels.cds"));
    if (devices.Create(err) != TArchiveStore::TCreateResult::Created ||
        channels.Create(err) != TArchiveStore::TCreateResult::Created || !devices.Open(err) ||
        !channels.Open(err))
        return false;
    const TDateTime before = DayStamp(Day1, 0) - 1;
    bool ok = true;
    for (const int serial : Serials) {
        ok = ok && devices.AppendDevice({0, before, serial, 1, QStringLiteral("Котельная")}, err);
        for (int ch = 1; ch <= 2; ++ch)
            ok = ok && channels.AppendChannel({0, before, serial, ch, 0, 0, 90, 0, 100,
                                               QStringLiteral("Температура"), QStringLiteral("°C")},
                                              err);
    }
    return ok;
}

// The day file of Day with a value a second on both channels of each device
// (Device is the position in AllSerials, which sets its 50 ms offset). ArchiveDir
// names the folder.
inline bool Day(const QDate& Day, const std::vector<int>& AllSerials, const std::vector<int>& Serials)
{
    TArchiveWriter writer;
    writer.OpenMeasuresFile(ArchiveDateStr(Day));
    QString err;
    if (!writer.cdsMeasures.Open(err))
        return false;
    std::vector<TMeasureRecord> batch;
    constexpr std::size_t BatchSize = 1 << 18;
    batch.reserve(BatchSize);
    for (int s = 0; s < 86400; ++s) {
        for (std::size_t d = 0; d < AllSerials.size(); ++d) {
            if (std::find(Serials.begin(), Serials.end(), AllSerials[d]) == Serials.end())
                continue;
            const TDateTime t = ValueStamp(Day, s, int(d));
            for (int ch = 1; ch <= 2; ++ch)
                batch.push_back({0, AllSerials[d], t, ch, double(float((s + int(d)) % 1000) / 10)});
        }
        if (batch.size() >= BatchSize || s == 86399) {
            if (!writer.cdsMeasures.AppendMeasures(batch, err)) {
                std::printf("%s: %s\n", qPrintable(writer.cdsMeasures.FileName()), qPrintable(err));
                return false;
            }
            batch.clear();
        }
    }
    writer.CloseAll();
    return true;
}

// The day files of Days (offsets from Day1), each with the values of Serials,
// made on a few threads.
struct TDays
{
    std::vector<int> Days;
    std::vector<int> Serials;
};
inline bool Build(const QDate& Day1, const std::vector<int>& AllSerials, const std::vector<TDays>& Plan)
{
    std::vector<std::pair<int, const std::vector<int>*>> work;
    for (const TDays& p : Plan) {
        for (const int d : p.Days)
            work.emplace_back(d, &p.Serials);
    }
    const auto start = BenchClock::now();
    std::atomic<std::size_t> next = 0;
    std::atomic<bool> ok = true;
    std::vector<std::thread> workers;
    for (unsigned w = 0; w < std::max(1u, std::min(6u, std::thread::hardware_concurrency())); ++w) {
        workers.emplace_back([&] {
            for (std::size_t i; (i = next++) < work.size();) {
                if (!Day(Day1.addDays(work[i].first), AllSerials, *work[i].second))
                    ok = false;
            }
        });
    }
    for (auto& t : workers)
        t.join();
    std::printf("%zu day files made through the writer's code in %.1f s\n", work.size(),
                MsSince(start) / 1000);
    return ok;
}

// The baseline: the values of Serials stamped From to To in the day files of
// Days, straight from SQLite: a range scan of each device's table, nothing
// done per value. Rows counts them, to be checked against the program's count.
inline double PlainScanMs(const QString& Dir, const QDate& Day1, const std::vector<int>& Days,
                          const std::vector<int>& Serials, TDateTime From, TDateTime To, qint64& Rows)
{
    const auto start = BenchClock::now();
    Rows = 0;
    double sum = 0;
    for (const int d : Days) {
        sqlite3* db = nullptr;
        sqlite3_open_v2(
            QFile::encodeName(Dir + MeasuresFileName(ArchiveDateStr(Day1.addDays(d)))).constData(), &db,
            SQLITE_OPEN_READONLY, nullptr);
        for (const int serial : Serials) {
            const QByteArray sql = "SELECT MeasDateTime, ChannelNum, MeasValue FROM \"Measures_" +
                                   QByteArray::number(serial) + "\" WHERE MeasDateTime BETWEEN ?1 AND ?2";
            sqlite3_stmt* stmt = nullptr;
            if (sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
                continue; // no values of the device that day
            sqlite3_bind_double(stmt, 1, From);
            sqlite3_bind_double(stmt, 2, To);
            while (sqlite3_step(stmt) == SQLITE_ROW) {
                ++Rows;
                sum += sqlite3_column_double(stmt, 0) + sqlite3_column_int(stmt, 1) +
                       sqlite3_column_double(stmt, 2);
            }
            sqlite3_finalize(stmt);
        }
        sqlite3_close(db);
    }
    const double ms = MsSince(start);
    return sum < 0 ? -ms : ms;
}

// A baseline that did not read what the program read measures nothing.
inline void CheckBaseline(qint64 BaseRows, qint64 Rows)
{
    if (BaseRows != Rows || Rows == 0)
        std::printf("  WARNING: the baseline read %lld values, the program %lld: the writer's layout has "
                    "changed, the baseline must follow it\n",
                    BaseRows, Rows);
}

} // namespace BenchArchive
