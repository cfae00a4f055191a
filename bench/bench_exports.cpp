// The exports of one archive day: 10 devices x 2 channels at one value a second
// (86 400 rows per device table), written as CSV files and as a workbook, next
// to a plain SQLite scan of the same values measured in the same run. Each phase
// runs in a forked child, so its peak memory is its own: the tables are built
// before the fork and the peak is counted beyond them.
//
// Usage: bench_exports [folder]  (default: a temporary folder under /tmp).

#include "BenchUtil.h"
#include "archive/CsvExport.h"
#include "archive/ExcelIO.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int Devices = 10;
constexpr int Rows = 86400;
constexpr int FirstSerial = 1001;
constexpr TDateTime Day = 46000; // a day in 2025

TExportTableArray buildTables()
{
    const QString temp = QStringLiteral("Температура");
    const QString deg = QStringLiteral("°C");
    const QString pres = QStringLiteral("Давление");
    const QString kpa = QStringLiteral("кПа");
    TExportTableArray tables(Devices);
    for (int d = 0; d < Devices; ++d) {
        TExportTable& t = tables[size_t(d)];
        t.SerialNum = quint16(FirstSerial + d);
        t.Title = QStringLiteral("ЛО РВ-ТС/ТП, серийный № %1").arg(t.SerialNum, 5, 10, QLatin1Char('0'));
        t.LastComment = QStringLiteral("Печь %1").arg(d);
        t.MeasRecs.resize(Rows);
        for (int r = 0; r < Rows; ++r) {
            TExportMeasRec& rec = t.MeasRecs[size_t(r)];
            rec.MeasDateTime = Day + r * OneSecond;
            if (r == 0)
                rec.Comment = t.LastComment;
            rec.ChanRecs = {{1, float(r % 1000) / 10, -50, 1200, temp, deg},
                            {2, float(r % 777) / 7, 0, 0.5f, pres, kpa}};
        }
    }
    return tables;
}

bool buildSqlite(const QString& FileName, const TExportTableArray& Tables)
{
    sqlite3* db = nullptr;
    if (sqlite3_open(QFile::encodeName(FileName).constData(), &db) != SQLITE_OK)
        return false;
    sqlite3_exec(db,
                 "PRAGMA synchronous = OFF; CREATE TABLE Measures(ID INTEGER PRIMARY KEY, SerialNum INTEGER, "
                 "MeasDateTime REAL, ChannelNum INTEGER, MeasValue REAL, MinAlert REAL, MaxAlert REAL, "
                 "QuantityName TEXT, MeasUnitName TEXT, Comment TEXT); BEGIN",
                 nullptr, nullptr, nullptr);
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO Measures(SerialNum, MeasDateTime, ChannelNum, MeasValue, MinAlert, "
                       "MaxAlert, QuantityName, MeasUnitName, Comment) VALUES(?,?,?,?,?,?,?,?,?)",
                       -1, &stmt, nullptr);
    for (const TExportTable& t : Tables) {
        for (const TExportMeasRec& rec : t.MeasRecs) {
            const QByteArray comment = rec.Comment.toUtf8();
            for (const TChanExportRec& c : rec.ChanRecs) {
                const QByteArray q = c.QuantityName.toUtf8();
                const QByteArray u = c.MeasUnitName.toUtf8();
                sqlite3_bind_int(stmt, 1, t.SerialNum);
                sqlite3_bind_double(stmt, 2, rec.MeasDateTime);
                sqlite3_bind_int(stmt, 3, c.ChannelNum);
                sqlite3_bind_double(stmt, 4, double(c.Value));
                sqlite3_bind_double(stmt, 5, double(c.MinAlert));
                sqlite3_bind_double(stmt, 6, double(c.MaxAlert));
                sqlite3_bind_text(stmt, 7, q.constData(), int(q.size()), SQLITE_TRANSIENT);
                sqlite3_bind_text(stmt, 8, u.constData(), int(u.size()), SQLITE_TRANSIENT);
                sqlite3_bind_text(stmt, 9, comment.constData(), int(comment.size()), SQLITE_TRANSIENT);
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

// Every value read back with all its columns.
bool scanSqlite(const QString& FileName)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(FileName).constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK)
        return false;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db,
                       "SELECT SerialNum, MeasDateTime, ChannelNum, MeasValue, MinAlert, MaxAlert, "
                       "QuantityName, MeasUnitName, Comment FROM Measures",
                       -1, &stmt, nullptr);
    qint64 rows = 0;
    double sum = 0;
    qint64 chars = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        ++rows;
        sum +=
            sqlite3_column_double(stmt, 1) + sqlite3_column_double(stmt, 3) + sqlite3_column_double(stmt, 4);
        chars +=
            sqlite3_column_bytes(stmt, 6) + sqlite3_column_bytes(stmt, 7) + sqlite3_column_bytes(stmt, 8);
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return rows == qint64(Devices) * Rows * 2 && sum > 0 && chars > 0;
}

struct Phase
{
    double Ms = 0;
    qint64 StartKb = 0; // resident at the start of the phase (the tables included)
    qint64 PeakKb = 0;  // the phase's resident peak
    bool Ok = false;
};

// Runs Work in a forked child and brings back its time and memory.
Phase inChild(const std::function<bool()>& Work)
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
        p.Ok = Work();
        p.Ms = MsSince(start);
        p.PeakKb = StatusKb("VmHWM");
        const ssize_t n = write(fds[1], &p, sizeof p);
        _exit(n == ssize_t(sizeof p) ? 0 : 1);
    }
    close(fds[1]);
    Phase p;
    const bool read_ = pid > 0 && read(fds[0], &p, sizeof p) == ssize_t(sizeof p);
    close(fds[0]);
    int status = 0;
    if (pid > 0)
        waitpid(pid, &status, 0);
    if (!read_)
        p.Ok = false;
    return p;
}

// The best time of Runs children; the peak is the largest seen.
Phase best(int Runs, const std::function<bool()>& Work)
{
    Phase b;
    for (int i = 0; i < Runs; ++i) {
        const Phase p = inChild(Work);
        if (!p.Ok)
            return p;
        if (i == 0 || p.Ms < b.Ms)
            b.Ms = p.Ms;
        b.StartKb = p.StartKb;
        b.PeakKb = std::max(b.PeakKb, p.PeakKb);
        b.Ok = true;
    }
    return b;
}

double mb(qint64 Kb)
{
    return double(Kb) / 1024;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir tmp(QStringLiteral("/tmp/bench_exports-XXXXXX"));
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : tmp.path();
    QDir().mkpath(folder);
    const QDir dir(folder);

    const qint64 bareKb = StatusKb("VmRSS");
    auto start = BenchClock::now();
    const TExportTableArray tables = buildTables();
    const qint64 tablesKb = StatusKb("VmRSS") - bareKb;
    std::printf("export tables: %d devices x %d rows x 2 channels, built in %.1f s, %.0f MB resident\n",
                Devices, Rows, MsSince(start) / 1000, mb(tablesKb));

    const QString db = dir.filePath(QStringLiteral("baseline.sqlite"));
    QFile::remove(db);
    start = BenchClock::now();
    if (!buildSqlite(db, tables)) {
        std::printf("could not build %s\n", qPrintable(db));
        return 1;
    }
    std::printf("baseline file: %d values, %.0f MB, built in %.1f s\n", Devices * Rows * 2,
                double(QFileInfo(db).size()) / 1e6, MsSince(start) / 1000);
    scanSqlite(db); // warms the page cache
    const Phase scan = best(3, [&] { return scanSqlite(db); });
    if (!scan.Ok) {
        std::printf("baseline scan failed\n");
        return 1;
    }
    std::printf("\nbaseline: SQLite scan of the same values, every column: %.0f ms, peak %.0f MB beyond "
                "the tables\n",
                scan.Ms, mb(scan.PeakKb - scan.StartKb));

    const QString csvFolder = dir.filePath(QStringLiteral("csv"));
    QDir().mkpath(csvFolder);
    const QDateTime when(QDate(2026, 12, 7), QTime(6, 5, 9));
    const Phase csv = best(3, [&] {
        QString err;
        const bool ok = WriteCsvFiles(tables, csvFolder, when, err);
        if (!ok)
            std::printf("CSV: %s\n", qPrintable(err));
        return ok;
    });
    qint64 csvBytes = 0;
    for (const QFileInfo& f : QDir(csvFolder).entryInfoList(QDir::Files))
        csvBytes += f.size();
    std::printf("CSV files:  %.0f ms, ratio to the scan %.2f; %.0f MB written; peak %.0f MB beyond the "
                "tables%s\n",
                csv.Ms, csv.Ms / scan.Ms, double(csvBytes) / 1e6, mb(csv.PeakKb - csv.StartKb),
                csv.Ok ? "" : "  FAILED");

    const QString book = dir.filePath(QStringLiteral("book.xlsx"));
    const Phase xlsx = best(1, [&] {
        QString err;
        const bool ok = WriteExcelWorkbook(tables, book, err);
        if (!ok)
            std::printf("workbook: %s\n", qPrintable(err));
        return ok;
    });
    std::printf("workbook:   %.0f ms, ratio to the scan %.2f; %.0f MB written; peak %.0f MB beyond the "
                "tables%s\n",
                xlsx.Ms, xlsx.Ms / scan.Ms, double(QFileInfo(book).size()) / 1e6,
                mb(xlsx.PeakKb - xlsx.StartKb), xlsx.Ok ? "" : "  FAILED");

    QDir(csvFolder).removeRecursively();
    QFile::remove(book);
    QFile::remove(db);
    return 0;
}
