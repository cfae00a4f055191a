#pragma once

#include "archive/ArchiveStore.h"
#include "core/DateTime.h"
#include "dispatcher/DispatcherState.h"
#include "support/QStringPrinter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

inline TDateTime Stamp(int Y, int Mo, int D, int H, int Mi, int S = 0, int Ms = 0)
{
    return DateTimeToTDateTime(QDateTime(QDate(Y, Mo, D), QTime(H, Mi, S, Ms)));
}

// Runs Body in a child process and gives its exit code, or 128 + the signal
// that ended it. The child never returns into the test runner.
inline int RunInChild(const std::function<int()>& Body)
{
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit noCore{0, 0};
        setrlimit(RLIMIT_CORE, &noCore);
        _exit(Body());
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid)
        return -1;
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

// Looks into an archive file with the database engine itself, as a foreign
// program would.
class RawDb
{
public:
    explicit RawDb(const QString& FileName)
    {
        sqlite3_open_v2(QFile::encodeName(FileName).constData(), &Db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    }
    ~RawDb() { sqlite3_close(Db); }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    // The first column of every row, as text.
    QStringList Column(const char* Sql) const
    {
        QStringList out;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(Db, Sql, -1, &stmt, nullptr) != SQLITE_OK)
            return {QStringLiteral("error: ") + QString::fromUtf8(sqlite3_errmsg(Db))};
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
            out << (text ? QString::fromUtf8(text) : QStringLiteral("NULL"));
        }
        sqlite3_finalize(stmt);
        return out;
    }
    bool Exec(const char* Sql) const { return sqlite3_exec(Db, Sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

    sqlite3* Db = nullptr;
};

// A fresh archive folder and the archive settings of the main window's state,
// restored afterwards.
class ArchiveTest : public ::testing::Test
{
protected:
    ArchiveTest()
    {
        ArchiveDir = dir.path() + QLatin1Char('/');
        FileRebuildHour = 0;
        FileRebuildMin = 0;
    }
    ~ArchiveTest() override
    {
        ArchiveDir.clear();
        FileRebuildHour = 0;
        FileRebuildMin = 0;
    }

    QString path(const QString& Name) const { return ArchiveDir + Name; }

    // Every file of the folder, write-ahead logs and temporaries included.
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
    QStringList cdsFiles() const
    {
        return QDir(dir.path()).entryList({QStringLiteral("*.cds")}, QDir::Files, QDir::Name);
    }

    std::vector<TMeasureRecord> measures(const QString& Name) const
    {
        std::vector<TMeasureRecord> rows;
        TArchiveStore store(TArchiveKind::Measures);
        store.SetFileName(path(Name));
        QString err;
        EXPECT_TRUE(store.Open(err)) << Name.toStdString();
        EXPECT_TRUE(store.ReadMeasures(
            -1e9, 1e9, [&](const TMeasureRecord& R) { rows.push_back(R); }, err));
        return rows;
    }

    std::vector<TDeviceRecord> deviceRows() const
    {
        std::vector<TDeviceRecord> rows;
        TArchiveStore store(TArchiveKind::Devices);
        store.SetFileName(path(QStringLiteral("Devices.cds")));
        QString err;
        EXPECT_TRUE(store.Open(err));
        EXPECT_TRUE(store.ReadDevices([&](const TDeviceRecord& R) { rows.push_back(R); }, err));
        return rows;
    }

    std::vector<TChannelRecord> channelRows() const
    {
        std::vector<TChannelRecord> rows;
        TArchiveStore store(TArchiveKind::Channels);
        store.SetFileName(path(QStringLiteral("Channels.cds")));
        QString err;
        EXPECT_TRUE(store.Open(err));
        EXPECT_TRUE(store.ReadChannels([&](const TChannelRecord& R) { rows.push_back(R); }, err));
        return rows;
    }

    static void writeBytes(const QString& FileName, const QByteArray& Bytes)
    {
        QFile f(FileName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(Bytes);
    }

    // Random bytes over the middle third of the file, written in place (its
    // inode kept); the header and the last pages stay intact. Gives the result.
    static QByteArray damageMiddleThird(const QString& FileName, unsigned Seed)
    {
        QFile f(FileName);
        QByteArray bytes;
        if (!f.open(QIODevice::ReadWrite) || (bytes = f.readAll()).size() <= 64 * 1024)
            return {};
        std::mt19937 random(Seed);
        for (qsizetype i = bytes.size() / 3; i < 2 * bytes.size() / 3; ++i)
            bytes[i] = char(random());
        return f.seek(0) && f.write(bytes) == bytes.size() ? bytes : QByteArray();
    }

    QTemporaryDir dir;
};
