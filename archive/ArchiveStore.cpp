#include "archive/ArchiveStore.h"

#include "core/Logging.h"
#include "platform/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <tuple>
#include <unistd.h>

namespace {

// "KLOV": marks a file as one of ours whatever its name.
constexpr int ArchiveApplicationId = 0x4B4C4F56;
constexpr int ArchiveSchemaVersion = 1;
// Day files from version 2 on keep each device's values in a table of its own
// (see AppendMeasure); version 1 files stay as they are.
constexpr int MeasuresSchemaVersion = 2;
// Small pages for the day files: a committed value rewrites one page of its
// device's table in the log, so the page size is what each value costs on disk.
constexpr int MeasuresPageSize = 512;
// The page cache of one file; the writer only ever touches the last pages.
constexpr int CacheSizeKiB = 512;
// Log pages after which a checkpoint merges the log back into the file.
constexpr int WalCheckpointPages = 1000;
// Past this many pages with checkpoints failing (a full disk), no value is
// added to the log: it would take the room the checkpoint needs.
constexpr int WalStuckPages = 3 * WalCheckpointPages;
// The bound while the disk is short of room after a write failed for want of it.
constexpr int WalShortOfRoomPages = 32;
// Another process (a backup, say) may hold a lock for a moment; the GUI thread
// waits no longer than this.
constexpr int BusyTimeoutMs = 500;

struct TIndexDef
{
    const char* Name;
    const char* Sql;
};

struct TKindDef
{
    const char* Table;
    const char* CreateTable;
    std::array<TIndexDef, 2> Indexes;
    std::array<const char*, 6> Statements; // by TStatement; nullptr where the kind has none
};

// clang-format off
// Every field may hold null; integers keep to 32 bits and texts to their sizes,
// as the table definitions of the archive say.
const TKindDef DevicesDef{
    "Devices",
    "CREATE TABLE Devices("
        "ID INTEGER PRIMARY KEY, "
        "UpdateDateTime REAL, "
        "SerialNum INTEGER CHECK (SerialNum BETWEEN -2147483648 AND 2147483647), "
        "DeviceType INTEGER CHECK (DeviceType BETWEEN -2147483648 AND 2147483647), "
        "Comment TEXT CHECK (length(Comment) <= 32)"
    ") STRICT",
    {{{"TIdx", "CREATE INDEX TIdx ON Devices(UpdateDateTime DESC)"},
      {"SerialIdx", "CREATE INDEX SerialIdx ON Devices(SerialNum, UpdateDateTime)"}}},
    {"INSERT INTO Devices(UpdateDateTime, SerialNum, DeviceType, Comment) VALUES(?1, ?2, ?3, ?4)",
     "SELECT ID, UpdateDateTime, SerialNum, DeviceType, Comment FROM Devices WHERE SerialNum = ?1 "
         "ORDER BY UpdateDateTime DESC, ID DESC LIMIT 1",
     "SELECT ID, UpdateDateTime, SerialNum, DeviceType, Comment FROM Devices WHERE SerialNum = ?1 "
         "AND UpdateDateTime <= ?2 ORDER BY UpdateDateTime DESC, ID DESC LIMIT 1",
     "SELECT ID, UpdateDateTime, SerialNum, DeviceType, Comment FROM Devices ORDER BY ID",
     nullptr,
     nullptr},
};

const TKindDef ChannelsDef{
    "Channels",
    "CREATE TABLE Channels("
        "ID INTEGER PRIMARY KEY, "
        "UpdateDateTime REAL, "
        "SerialNum INTEGER CHECK (SerialNum BETWEEN -2147483648 AND 2147483647), "
        "ChannelNum INTEGER CHECK (ChannelNum BETWEEN -2147483648 AND 2147483647), "
        "SensorType INTEGER CHECK (SensorType BETWEEN -2147483648 AND 2147483647), "
        "MinAlert REAL, "
        "MaxAlert REAL, "
        "MinBound REAL, "
        "MaxBound REAL, "
        "QuantityName TEXT CHECK (length(QuantityName) <= 24), "
        "MeasUnitName TEXT CHECK (length(MeasUnitName) <= 16)"
    ") STRICT",
    {{{"TIdx", "CREATE INDEX TIdx ON Channels(UpdateDateTime DESC)"},
      {"SerialIdx", "CREATE INDEX SerialIdx ON Channels(SerialNum, ChannelNum, UpdateDateTime)"}}},
    {"INSERT INTO Channels(UpdateDateTime, SerialNum, ChannelNum, SensorType, MinAlert, MaxAlert, MinBound, "
         "MaxBound, QuantityName, MeasUnitName) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)",
     "SELECT ID, UpdateDateTime, SerialNum, ChannelNum, SensorType, MinAlert, MaxAlert, MinBound, MaxBound, "
         "QuantityName, MeasUnitName FROM Channels WHERE SerialNum = ?1 AND ChannelNum = ?2 "
         "ORDER BY UpdateDateTime DESC, ID DESC LIMIT 1",
     "SELECT ID, UpdateDateTime, SerialNum, ChannelNum, SensorType, MinAlert, MaxAlert, MinBound, MaxBound, "
         "QuantityName, MeasUnitName FROM Channels WHERE SerialNum = ?1 AND ChannelNum = ?2 "
         "AND UpdateDateTime <= ?3 ORDER BY UpdateDateTime DESC, ID DESC LIMIT 1",
     "SELECT ID, UpdateDateTime, SerialNum, ChannelNum, SensorType, MinAlert, MaxAlert, MinBound, MaxBound, "
         "QuantityName, MeasUnitName FROM Channels ORDER BY ID",
     nullptr,
     nullptr},
};

const TKindDef MeasuresDef{
    "Measures",
    "CREATE TABLE Measures("
        "ID INTEGER PRIMARY KEY, "
        "SerialNum INTEGER CHECK (SerialNum BETWEEN -2147483648 AND 2147483647), "
        "MeasDateTime REAL, "
        "ChannelNum INTEGER CHECK (ChannelNum BETWEEN -2147483648 AND 2147483647), "
        "MeasValue REAL"
    ") STRICT",
    {{{"TSCIdx", "CREATE INDEX TSCIdx ON Measures(MeasDateTime, SerialNum, ChannelNum)"},
      {"SerialIdx", "CREATE INDEX SerialIdx ON Measures(SerialNum, MeasDateTime, ChannelNum, MeasValue)"}}},
    {"INSERT INTO Measures(SerialNum, MeasDateTime, ChannelNum, MeasValue) VALUES(?1, ?2, ?3, ?4)",
     nullptr,
     nullptr,
     nullptr,
     "SELECT ID, SerialNum, MeasDateTime, ChannelNum, MeasValue FROM Measures "
         "WHERE MeasDateTime BETWEEN ?1 AND ?2 ORDER BY MeasDateTime, SerialNum, ChannelNum, ID",
     // Ordered as SerialIdx runs, so the read is one covering range scan.
     "SELECT ID, SerialNum, MeasDateTime, ChannelNum, MeasValue FROM Measures INDEXED BY SerialIdx "
         "WHERE SerialNum = ?1 AND MeasDateTime BETWEEN ?2 AND ?3 ORDER BY MeasDateTime, ChannelNum"},
};
// clang-format on

int schemaVersion(TArchiveKind Kind)
{
    return Kind == TArchiveKind::Measures ? MeasuresSchemaVersion : ArchiveSchemaVersion;
}

// The table of one device's values in a version 2 day file.
QByteArray deviceTable(qint32 SerialNum)
{
    return QByteArrayLiteral("\"Measures_") + QByteArray::number(SerialNum) + '"';
}

const QByteArray DeviceTablePrefix = QByteArrayLiteral("Measures_");

QByteArray createDeviceTableSql(qint32 SerialNum)
{
    return QByteArrayLiteral("CREATE TABLE IF NOT EXISTS ") + deviceTable(SerialNum) +
           QByteArrayLiteral("(ID INTEGER PRIMARY KEY, MeasDateTime REAL, "
                             "ChannelNum INTEGER CHECK (ChannelNum BETWEEN -2147483648 AND 2147483647), "
                             "MeasValue REAL) STRICT");
}

const TKindDef& kindDef(TArchiveKind Kind)
{
    switch (Kind) {
    case TArchiveKind::Devices:
        return DevicesDef;
    case TArchiveKind::Channels:
        return ChannelsDef;
    case TArchiveKind::Measures:
        break;
    }
    return MeasuresDef;
}

QString columnText(sqlite3_stmt* Stmt, int Col)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(Stmt, Col));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(Stmt, Col)) : QString();
}

void bindText(sqlite3_stmt* Stmt, int Param, const QString& Text, int Size)
{
    const QByteArray utf8 = Text.left(Size).toUtf8();
    sqlite3_bind_text(Stmt, Param, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

TDeviceRecord deviceRow(sqlite3_stmt* Stmt)
{
    TDeviceRecord r;
    r.ID = sqlite3_column_int64(Stmt, 0);
    r.UpdateDateTime = sqlite3_column_double(Stmt, 1);
    r.SerialNum = sqlite3_column_int(Stmt, 2);
    r.DeviceType = sqlite3_column_int(Stmt, 3);
    r.Comment = columnText(Stmt, 4);
    return r;
}

TChannelRecord channelRow(sqlite3_stmt* Stmt)
{
    TChannelRecord r;
    r.ID = sqlite3_column_int64(Stmt, 0);
    r.UpdateDateTime = sqlite3_column_double(Stmt, 1);
    r.SerialNum = sqlite3_column_int(Stmt, 2);
    r.ChannelNum = sqlite3_column_int(Stmt, 3);
    r.SensorType = sqlite3_column_int(Stmt, 4);
    r.MinAlert = sqlite3_column_double(Stmt, 5);
    r.MaxAlert = sqlite3_column_double(Stmt, 6);
    r.MinBound = sqlite3_column_double(Stmt, 7);
    r.MaxBound = sqlite3_column_double(Stmt, 8);
    r.QuantityName = columnText(Stmt, 9);
    r.MeasUnitName = columnText(Stmt, 10);
    return r;
}

TMeasureRecord measureRow(sqlite3_stmt* Stmt)
{
    TMeasureRecord r;
    r.ID = sqlite3_column_int64(Stmt, 0);
    r.SerialNum = sqlite3_column_int(Stmt, 1);
    r.MeasDateTime = sqlite3_column_double(Stmt, 2);
    r.ChannelNum = sqlite3_column_int(Stmt, 3);
    r.MeasValue = sqlite3_column_double(Stmt, 4);
    return r;
}

// A single-row query of an integer, as PRAGMA application_id gives it.
bool queryInt(sqlite3* Db, const char* Sql, int& Value)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(Db, Sql, -1, &stmt, nullptr) != SQLITE_OK)
        return false;
    const bool ok = sqlite3_step(stmt) == SQLITE_ROW;
    if (ok)
        Value = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    return ok;
}

bool objectExists(sqlite3* Db, const char* Type, const char* Name, bool& Exists)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(Db, "SELECT 1 FROM sqlite_schema WHERE type = ?1 AND name = ?2", -1, &stmt,
                           nullptr) != SQLITE_OK)
        return false;
    sqlite3_bind_text(stmt, 1, Type, -1, SQLITE_STATIC);
    sqlite3_bind_text(stmt, 2, Name, -1, SQLITE_STATIC);
    const int rc = sqlite3_step(stmt);
    sqlite3_finalize(stmt);
    Exists = rc == SQLITE_ROW;
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

// A write or merge that failed for want of room (a full disk, a size limit).
bool lackOfRoom(int Rc)
{
    const int primary = Rc & 0xff;
    return primary == SQLITE_FULL || primary == SQLITE_IOERR;
}

// What the file Name may still grow by: the free room of its volume, less under
// a file size limit of this process; -1 when that cannot be told.
qint64 roomToGrow(const QByteArray& Name)
{
    struct statvfs vfs = {};
    struct stat st = {};
    if (::statvfs(Name.constData(), &vfs) != 0 || ::stat(Name.constData(), &st) != 0)
        return -1;
    // Root may fill the blocks kept for it too.
    qint64 room = qint64(::geteuid() == 0 ? vfs.f_bfree : vfs.f_bavail) * qint64(vfs.f_frsize);
    rlimit limit = {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        limit.rlim_cur < rlim_t(std::numeric_limits<qint64>::max()))
        room = std::min(room, qint64(limit.rlim_cur) - qint64(st.st_size));
    return room;
}

QString systemErrorText(sqlite3* Db)
{
    const int err = Db ? sqlite3_system_errno(Db) : 0;
    if (err != 0)
        return SystemError::Text(err);
    return Db ? QString::fromUtf8(sqlite3_errmsg(Db)) : QString();
}

// Gives the finished file From the name To unless a file of that name exists;
// true also when it does (the file there wins), false with errno set otherwise.
bool publishFile(const QByteArray& From, const QByteArray& To)
{
    if (::renameat2(AT_FDCWD, From.constData(), AT_FDCWD, To.constData(), RENAME_NOREPLACE) == 0 ||
        errno == EEXIST)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return false;
    // A file system without that rename: a second link is refused on an
    // existing name as well.
    if (::link(From.constData(), To.constData()) == 0 || errno == EEXIST)
        return true;
    if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS)
        return false;
    // Nor links (some network shares): the plain rename, checked just before.
    if (::access(To.constData(), F_OK) == 0)
        return true;
    return ::rename(From.constData(), To.constData()) == 0;
}

} // namespace

TArchiveStore::TArchiveStore(TArchiveKind Kind) : Kind_(Kind) {}

TArchiveStore::~TArchiveStore()
{
    Close();
}

QString TArchiveStore::DatabaseWord(TArchiveKind Kind)
{
    switch (Kind) {
    case TArchiveKind::Devices:
        return QStringLiteral("устройств");
    case TArchiveKind::Channels:
        return QStringLiteral("каналов устройств");
    case TArchiveKind::Measures:
        break;
    }
    return QStringLiteral("измерений");
}

QString TArchiveStore::OpenErrorText() const
{
    return QStringLiteral("Не удалось открыть базу данных ") + DatabaseWord() + QLatin1Char('!');
}

QString TArchiveStore::WriteErrorText() const
{
    return QStringLiteral("Не удалось записать данные в базу данных ") + DatabaseWord() + QLatin1Char('!');
}

void TArchiveStore::SetFileName(const QString& FileName)
{
    if (FileName == FileName_)
        return;
    Close();
    FileName_ = FileName;
    Damaged_ = false;
    MergeDue_ = false;
}

void TArchiveStore::noteDamage(int Rc)
{
    const int primary = Rc & 0xff;
    if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB)
        Damaged_ = true;
}

TArchiveStore::TCreateResult TArchiveStore::Create(QString& SysErr)
{
    SysErr.clear();
    if (FileName_.isEmpty())
        return TCreateResult::NotStarted; // nowhere to write
    // A name of this process alone: another copy of the program making the same
    // file at the same moment must not truncate or remove it. Leftovers of a crash
    // are left alone, as a name of another process looks the same.
    const QString tmpName = FileName_ + QLatin1Char('.') + QString::number(::getpid()) + QLatin1Char('-') +
                            QString::number(QRandomGenerator::global()->generate(), 16) +
                            QStringLiteral(".tmp");
    const QByteArray tmpPath = QFile::encodeName(tmpName);
    // Made here first, so a failure names its real cause: the database engine
    // falls back to other attempts whose error is the one it keeps.
    {
        const int fd = ::open(tmpPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            SysErr = SystemError::Text(errno);
            logFailure(QStringLiteral("create: ") + SysErr);
            return TCreateResult::NotWritten;
        }
        ::close(fd);
    }
    const auto removeTmp = qScopeGuard([&tmpName] {
        for (const char* suffix : {"", "-journal", "-wal", "-shm"})
            QFile::remove(tmpName + QLatin1String(suffix));
    });

    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(tmpPath.constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (!db) {
        SysErr = QString::fromUtf8(sqlite3_errstr(rc));
        return TCreateResult::NotStarted;
    }
    const TKindDef& def = kindDef(Kind_);
    const QByteArray ids =
        QByteArrayLiteral("PRAGMA application_id = ") + QByteArray::number(ArchiveApplicationId) +
        QByteArrayLiteral("; PRAGMA user_version = ") + QByteArray::number(schemaVersion(Kind_)) + ';';
    // The page size takes effect only before the first table is made.
    QByteArray script;
    if (Kind_ == TArchiveKind::Measures)
        script = QByteArrayLiteral("PRAGMA page_size = ") + QByteArray::number(MeasuresPageSize) + "; ";
    // Synced once, when closing checkpoints the log into the file.
    script += QByteArrayLiteral("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; BEGIN; ") +
              def.CreateTable + "; ";
    for (const TIndexDef& index : def.Indexes)
        script += QByteArray(index.Sql) + "; ";
    script += ids + QByteArrayLiteral(" COMMIT;");

    bool ok = rc == SQLITE_OK && sqlite3_exec(db, script.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    // The tables must be in the file itself before it takes its name: closing
    // would leave them in the log unseen when this merge fails.
    ok = ok &&
         sqlite3_wal_checkpoint_v2(db, "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) == SQLITE_OK;
    if (!ok)
        SysErr = systemErrorText(db);
    if (sqlite3_close(db) != SQLITE_OK && ok) {
        ok = false;
        SysErr = QString::fromUtf8(sqlite3_errstr(SQLITE_IOERR));
    }
    // Only a whole file takes the name, and never over a file that appeared
    // meanwhile (another copy made it first): that one is used as it is.
    if (ok && !publishFile(tmpPath, QFile::encodeName(FileName_))) {
        ok = false;
        SysErr = SystemError::Text(errno);
    }
    if (!ok)
        logFailure(QStringLiteral("create: ") + SysErr);
    return ok ? TCreateResult::Created : TCreateResult::NotWritten;
}

bool TArchiveStore::Open(QString& ErrMsg, bool CheckPages)
{
    ErrMsg.clear();
    if (Db_)
        return true;
    Damaged_ = false;
    OpenChecked_ = false;
    // Without a name SQLite would open a temporary database.
    if (FileName_.isEmpty() || !QFileInfo(FileName_).isFile()) {
        ErrMsg = OpenErrorText();
        return false;
    }
    const int rc = sqlite3_open_v2(QFile::encodeName(FileName_).constData(), &Db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK || !checkFile(CheckPages)) {
        if (Db_)
            noteDamage(sqlite3_errcode(Db_));
        logFailure(QStringLiteral("open: ") + (Db_ ? QString::fromUtf8(sqlite3_errmsg(Db_)) : QString()));
        Close();
        ErrMsg = OpenErrorText();
        return false;
    }
    return true;
}

bool TArchiveStore::checkFile(bool CheckPages)
{
    sqlite3_extended_result_codes(Db_, 1);
    sqlite3_busy_timeout(Db_, BusyTimeoutMs);
    int appId = 0;
    int version = 0;
    // A file that is no database fails here (SQLITE_NOTADB), one of another
    // program by its id, a later schema by its version.
    if (!queryInt(Db_, "PRAGMA application_id", appId))
        return false;
    if (appId != ArchiveApplicationId) {
        Damaged_ = true; // an empty file, or not one of ours
        return false;
    }
    if (!queryInt(Db_, "PRAGMA user_version", version) || version < ArchiveSchemaVersion ||
        version > schemaVersion(Kind_))
        return false;
    PerDevice_ = version >= MeasuresSchemaVersion;
    const TKindDef& def = kindDef(Kind_);
    bool exists = false;
    if (!objectExists(Db_, "table", def.Table, exists))
        return false;
    if (!exists) {
        Damaged_ = true;
        return false;
    }
    // Before anything is written to the file.
    if (CheckPages && !checkPages())
        return false;
    // After a checkpoint the log is cut back to what the checkpoint interval
    // needs, so it never keeps the room of a burst.
    const QByteArray pragmas =
        QByteArrayLiteral("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; "
                          "PRAGMA journal_size_limit = 1048576; PRAGMA cache_size = -") +
        QByteArray::number(CacheSizeKiB);
    if (!exec(pragmas.constData()))
        return false;
    sqlite3_wal_hook(Db_, &TArchiveStore::walHook, this);
    // A log left past its bound by a full disk is merged back before anything
    // is added to it.
    if (!queryInt(Db_, "PRAGMA page_size", PageSize_))
        return false;
    const qint64 walSize = QFileInfo(FileName_ + QStringLiteral("-wal")).size();
    if (walSize > qint64(WalStuckPages) * (PageSize_ + 24) && !mergeLog())
        WalStuck_ = true;
    for (const TIndexDef& index : def.Indexes) {
        if (!objectExists(Db_, "index", index.Name, exists))
            return false;
        if (!exists && !exec(index.Sql))
            return false;
    }
    // Compiling the insert checks the table's columns.
    if (!statement(StInsert))
        return false;
    return Kind_ != TArchiveKind::Measures || loadDeviceTables();
}

bool TArchiveStore::fileStamp(TFileStamp& Stamp) const
{
    struct stat st = {};
    if (::stat(QFile::encodeName(FileName_).constData(), &st) != 0)
        return false;
    // The change time moves with every write and cannot be set back.
    Stamp = {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
             qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
    return true;
}

bool TArchiveStore::checkPages()
{
    // Every page is read, so a file is checked once while it stays the same file.
    TFileStamp stamp;
    const bool known = fileStamp(stamp);
    if (known && stamp == Checked_) {
        OpenChecked_ = true;
        return true;
    }
    Checked_ = {};
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(Db_, "PRAGMA quick_check(1)", -1, &stmt, nullptr) != SQLITE_OK)
        return false;
    const int rc = sqlite3_step(stmt);
    const QString result = rc == SQLITE_ROW ? columnText(stmt, 0) : QString::fromUtf8(sqlite3_errstr(rc));
    sqlite3_finalize(stmt);
    if (rc == SQLITE_ROW && result == QLatin1String("ok")) {
        if (known) {
            Checked_ = stamp;
            OpenChecked_ = true;
        }
        return true;
    }
    if (rc == SQLITE_ROW)
        Damaged_ = true; // a page or a link between pages is wrong
    else
        noteDamage(rc);
    logFailure(QStringLiteral("check: ") + result);
    return false;
}

bool TArchiveStore::loadDeviceTables()
{
    DeviceTables_.clear();
    NextId_ = 0;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(Db_,
                           "SELECT name FROM sqlite_schema WHERE type = 'table' AND name GLOB 'Measures_*'",
                           -1, &stmt, nullptr) != SQLITE_OK)
        return false;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const QByteArray name(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
        bool ok = false;
        const qint32 serial = name.mid(DeviceTablePrefix.size()).toInt(&ok);
        if (ok && name == DeviceTablePrefix + QByteArray::number(serial))
            DeviceTables_.insert(serial);
    }
    return sqlite3_finalize(stmt) == SQLITE_OK;
}

bool TArchiveStore::loadNextId()
{
    // IDs go on from the largest in the file, whichever table holds it; the
    // largest key of a table is found without a scan. Only writing needs it, so
    // a reader of a file damaged inside gets the rows before the damage.
    qint64 next = 1;
    std::vector<QByteArray> tables{QByteArrayLiteral("Measures")};
    for (const qint32 serial : DeviceTables_)
        tables.push_back(deviceTable(serial));
    for (const QByteArray& table : tables) {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(Db_, ("SELECT max(ID) FROM " + table).constData(), -1, &stmt, nullptr) !=
            SQLITE_OK)
            return false;
        const int rc = sqlite3_step(stmt);
        if (rc == SQLITE_ROW)
            next = std::max<qint64>(next, sqlite3_column_int64(stmt, 0) + 1);
        sqlite3_finalize(stmt);
        if (rc != SQLITE_ROW) {
            noteDamage(rc);
            return false;
        }
    }
    NextId_ = next;
    return true;
}

int TArchiveStore::walHook(void* Self, sqlite3* Db, const char* DbName, int Pages)
{
    auto* store = static_cast<TArchiveStore*>(Self);
    // After a failed checkpoint the next try waits a while: each one copies the
    // whole log again. Short of room, a log of the usual bound would take the
    // room freed on the disk and leave none for the values.
    const int due = store->FailedCheckpointAt_ > 0 ? store->FailedCheckpointAt_ + WalCheckpointPages / 10
                    : store->ShortOfRoom_          ? WalShortOfRoomPages
                                                   : WalCheckpointPages;
    if (Pages < due)
        return SQLITE_OK;
    // What the automatic checkpoint would do, but its failure is seen: the log
    // must not take the disk while nothing can be merged back.
    int logPages = 0;
    int merged = 0;
    const int rc = sqlite3_wal_checkpoint_v2(Db, DbName, SQLITE_CHECKPOINT_PASSIVE, &logPages, &merged);
    store->FailedCheckpointAt_ = rc == SQLITE_OK ? 0 : Pages;
    store->WalStuck_ = rc != SQLITE_OK && Pages >= WalStuckPages;
    // The usual bound again once the disk has room for the log twice over, or
    // when its room cannot be told (the file renamed away, say).
    if (rc == SQLITE_OK && store->ShortOfRoom_) {
        const qint64 room = roomToGrow(QFile::encodeName(store->FileName_));
        store->ShortOfRoom_ = room >= 0 && room <= 2 * qint64(WalCheckpointPages) * (store->PageSize_ + 24);
    }
    return SQLITE_OK;
}

bool TArchiveStore::mergeLog(int* Rc)
{
    // Truncating needs no reader on the log; the writer is alone on its file.
    const int rc = sqlite3_wal_checkpoint_v2(Db_, "main", SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    if (Rc)
        *Rc = rc;
    if (rc == SQLITE_OK) {
        WalStuck_ = false;
        MergeDue_ = false;
        FailedCheckpointAt_ = 0;
        return true;
    }
    logFailure(QStringLiteral("checkpoint: ") + QString::fromUtf8(sqlite3_errstr(rc)));
    return false;
}

void TArchiveStore::Close()
{
    for (sqlite3_stmt*& stmt : Statements_) {
        sqlite3_finalize(stmt);
        stmt = nullptr;
    }
    for (sqlite3_stmt*& stmt : Fixed_) {
        sqlite3_finalize(stmt);
        stmt = nullptr;
    }
    for (const auto& [serial, stmt] : DeviceInserts_)
        sqlite3_finalize(stmt);
    DeviceInserts_.clear();
    DeviceTables_.clear();
    WalStuck_ = false;
    FailedCheckpointAt_ = 0;
    if (Db_) {
        // The last connection to close checkpoints the WAL into the file and removes it.
        sqlite3_close_v2(Db_);
        Db_ = nullptr;
    }
    // The checked file as our own writes left it; any later change is another's.
    TFileStamp stamp;
    if (OpenChecked_ && fileStamp(stamp) && stamp.Device == Checked_.Device && stamp.Inode == Checked_.Inode)
        Checked_ = stamp;
    else if (OpenChecked_)
        Checked_ = {};
    OpenChecked_ = false;
}

bool TArchiveStore::FileMoved() const
{
    if (!Db_)
        return false;
    int moved = 0;
    if (sqlite3_file_control(Db_, "main", SQLITE_FCNTL_HAS_MOVED, &moved) != SQLITE_OK)
        return !QFileInfo(FileName_).isFile();
    return moved != 0;
}

bool TArchiveStore::runFixed(TFixed Which, int* Value)
{
    static constexpr std::array<const char*, FixedCount> Sql{"BEGIN IMMEDIATE", "COMMIT",
                                                             "PRAGMA data_version"};
    sqlite3_stmt*& stmt = Fixed_[Which];
    if (!stmt &&
        sqlite3_prepare_v3(Db_, Sql[Which], -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        stmt = nullptr;
        return false;
    }
    const int rc = sqlite3_step(stmt);
    if (Value && rc == SQLITE_ROW)
        *Value = sqlite3_column_int(stmt, 0);
    sqlite3_reset(stmt);
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

bool TArchiveStore::exec(const char* Sql)
{
    return sqlite3_exec(Db_, Sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

sqlite3_stmt* TArchiveStore::statement(TStatement Which)
{
    if (!Db_)
        return nullptr;
    sqlite3_stmt*& stmt = Statements_[Which];
    if (!stmt) {
        const char* sql = kindDef(Kind_).Statements[Which];
        if (!sql ||
            sqlite3_prepare_v3(Db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
            logFailure(QStringLiteral("prepare: ") + QString::fromUtf8(sqlite3_errmsg(Db_)));
            stmt = nullptr;
        }
    }
    return stmt;
}

void TArchiveStore::logFailure(const QString& What) const
{
    if (LogDebugInfo)
        WriteLog(FileName_ + QStringLiteral(": ") + What);
}

bool TArchiveStore::step(sqlite3_stmt* Stmt, QString& ErrMsg)
{
    const int rc = sqlite3_step(Stmt);
    sqlite3_reset(Stmt);
    sqlite3_clear_bindings(Stmt);
    if (rc == SQLITE_DONE)
        return true;
    noteDamage(rc);
    logFailure(QStringLiteral("write: ") + QString::fromUtf8(sqlite3_errstr(rc)));
    ErrMsg = WriteErrorText();
    noteWriteFailure(rc);
    return false;
}

void TArchiveStore::noteWriteFailure(int Rc)
{
    // A full disk: merging the log back frees its room, maybe for this very row.
    MergedAfterFailure_ = lackOfRoom(Rc) && sqlite3_get_autocommit(Db_) && mergeLog();
    MergeDue_ = MergeDue_ || (lackOfRoom(Rc) && !MergedAfterFailure_);
    ShortOfRoom_ = ShortOfRoom_ || lackOfRoom(Rc);
}

bool TArchiveStore::AppendDevice(const TDeviceRecord& Rec, QString& ErrMsg)
{
    ErrMsg.clear();
    sqlite3_stmt* stmt = statement(StInsert);
    if (!stmt) {
        ErrMsg = Db_ ? WriteErrorText() : OpenErrorText();
        return false;
    }
    sqlite3_bind_double(stmt, 1, Rec.UpdateDateTime);
    sqlite3_bind_int(stmt, 2, Rec.SerialNum);
    sqlite3_bind_int(stmt, 3, Rec.DeviceType);
    bindText(stmt, 4, Rec.Comment, CommentSize);
    return step(stmt, ErrMsg);
}

bool TArchiveStore::AppendChannel(const TChannelRecord& Rec, QString& ErrMsg)
{
    ErrMsg.clear();
    sqlite3_stmt* stmt = statement(StInsert);
    if (!stmt) {
        ErrMsg = Db_ ? WriteErrorText() : OpenErrorText();
        return false;
    }
    sqlite3_bind_double(stmt, 1, Rec.UpdateDateTime);
    sqlite3_bind_int(stmt, 2, Rec.SerialNum);
    sqlite3_bind_int(stmt, 3, Rec.ChannelNum);
    sqlite3_bind_int(stmt, 4, Rec.SensorType);
    sqlite3_bind_double(stmt, 5, Rec.MinAlert);
    sqlite3_bind_double(stmt, 6, Rec.MaxAlert);
    sqlite3_bind_double(stmt, 7, Rec.MinBound);
    sqlite3_bind_double(stmt, 8, Rec.MaxBound);
    bindText(stmt, 9, Rec.QuantityName, QuantityNameSize);
    bindText(stmt, 10, Rec.MeasUnitName, MeasUnitNameSize);
    return step(stmt, ErrMsg);
}

bool TArchiveStore::AppendMeasure(const TMeasureRecord& Rec, QString& ErrMsg)
{
    if (appendMeasure(Rec, ErrMsg))
        return true;
    // The log was full and is merged back into the file now: the row may fit.
    return MergedAfterFailure_ && appendMeasure(Rec, ErrMsg);
}

bool TArchiveStore::AppendMeasures(const std::vector<TMeasureRecord>& Recs, QString& ErrMsg)
{
    ErrMsg.clear();
    if (!Db_) {
        ErrMsg = OpenErrorText();
        return false;
    }
    if (!exec("BEGIN IMMEDIATE")) {
        ErrMsg = WriteErrorText();
        return false;
    }
    bool ok = true;
    for (const TMeasureRecord& rec : Recs) {
        ok = appendMeasure(rec, ErrMsg);
        if (!ok)
            break;
    }
    if (ok && exec("COMMIT"))
        return true;
    exec("ROLLBACK");
    if (ErrMsg.isEmpty())
        ErrMsg = WriteErrorText();
    // The tables made and the IDs given out are taken back with the rows.
    for (const auto& [serial, stmt] : DeviceInserts_)
        sqlite3_finalize(stmt);
    DeviceInserts_.clear();
    loadDeviceTables();
    NextId_ = 0;
    return false;
}

bool TArchiveStore::appendMeasure(const TMeasureRecord& Rec, QString& ErrMsg)
{
    ErrMsg.clear();
    MergedAfterFailure_ = false;
    sqlite3_stmt* stmt = statement(StInsert);
    if (!stmt) {
        ErrMsg = Db_ ? WriteErrorText() : OpenErrorText();
        return false;
    }
    if (WalStuck_ && !mergeLog()) {
        ErrMsg = WriteErrorText();
        return false;
    }
    // After a write failed for want of room, the log is merged back before
    // anything is added to it, so room freed on the disk goes to the file first
    // and not to a log that would then need still more for its merge.
    if (MergeDue_) {
        int rc = SQLITE_OK;
        if (!mergeLog(&rc) && lackOfRoom(rc)) {
            ErrMsg = WriteErrorText();
            return false;
        }
        MergeDue_ = false; // merged, or held up by a reader of the log: no matter of room
    }
    if (!PerDevice_) {
        sqlite3_bind_int(stmt, 1, Rec.SerialNum);
        sqlite3_bind_double(stmt, 2, Rec.MeasDateTime);
        sqlite3_bind_int(stmt, 3, Rec.ChannelNum);
        sqlite3_bind_double(stmt, 4, Rec.MeasValue);
        return step(stmt, ErrMsg);
    }

    // One transaction holds the write lock from reading the IDs to the commit:
    // another copy of the program writing this file moves the IDs on and may add
    // device tables, which shows in the data version. Within AppendMeasures the
    // row goes with the transaction of the batch.
    const bool ownTransaction = sqlite3_get_autocommit(Db_);
    if (ownTransaction && !runFixed(FixedBegin)) {
        logFailure(QStringLiteral("begin: ") + QString::fromUtf8(sqlite3_errmsg(Db_)));
        ErrMsg = WriteErrorText();
        return false;
    }
    int failure = SQLITE_OK; // what ended the transaction
    auto rollback = qScopeGuard([this, ownTransaction, &failure] {
        if (!ownTransaction)
            return;
        exec("ROLLBACK");
        noteWriteFailure(failure);
    });
    int dataVersion = -1;
    if (!runFixed(FixedDataVersion, &dataVersion) || dataVersion != DataVersion_)
        NextId_ = 0;
    if (NextId_ == 0) {
        if (!loadDeviceTables() || !loadNextId()) {
            logFailure(QStringLiteral("next ID: ") + QString::fromUtf8(sqlite3_errmsg(Db_)));
            ErrMsg = WriteErrorText();
            return false;
        }
        DataVersion_ = dataVersion;
    }
    // Each device's values go to a table of its own keyed by the ID, so a value
    // appends to the last page of one tree and commits as that one page.
    const bool newTable = !DeviceTables_.contains(Rec.SerialNum);
    if (newTable && !exec(createDeviceTableSql(Rec.SerialNum).constData())) {
        failure = sqlite3_errcode(Db_);
        noteDamage(failure);
        logFailure(QStringLiteral("create table: ") + QString::fromUtf8(sqlite3_errmsg(Db_)));
        ErrMsg = WriteErrorText();
        return false;
    }
    sqlite3_stmt*& insert = DeviceInserts_[Rec.SerialNum];
    if (!insert) {
        const QByteArray sql =
            QByteArrayLiteral("INSERT INTO ") + deviceTable(Rec.SerialNum) +
            QByteArrayLiteral("(ID, MeasDateTime, ChannelNum, MeasValue) VALUES(?1, ?2, ?3, ?4)");
        if (sqlite3_prepare_v3(Db_, sql.constData(), -1, SQLITE_PREPARE_PERSISTENT, &insert, nullptr) !=
            SQLITE_OK) {
            logFailure(QStringLiteral("prepare: ") + QString::fromUtf8(sqlite3_errmsg(Db_)));
            sqlite3_finalize(insert);
            DeviceInserts_.erase(Rec.SerialNum);
            ErrMsg = WriteErrorText();
            return false;
        }
    }
    sqlite3_bind_int64(insert, 1, NextId_);
    sqlite3_bind_double(insert, 2, Rec.MeasDateTime);
    sqlite3_bind_int(insert, 3, Rec.ChannelNum);
    sqlite3_bind_double(insert, 4, Rec.MeasValue);
    const int rc = sqlite3_step(insert);
    sqlite3_reset(insert);
    sqlite3_clear_bindings(insert);
    if (rc != SQLITE_DONE || (ownTransaction && !runFixed(FixedCommit))) {
        failure = rc != SQLITE_DONE ? rc : sqlite3_errcode(Db_);
        noteDamage(failure);
        logFailure(QStringLiteral("write: ") + QString::fromUtf8(sqlite3_errstr(failure)));
        ErrMsg = WriteErrorText();
        if (newTable) {
            // The statement was compiled against a table the rollback removes.
            sqlite3_finalize(insert);
            DeviceInserts_.erase(Rec.SerialNum);
        }
        return false;
    }
    rollback.dismiss();
    if (newTable)
        DeviceTables_.insert(Rec.SerialNum);
    ++NextId_;
    return true;
}

bool TArchiveStore::collectMeasures(const std::vector<qint32>& Serials, TDateTime From, TDateTime To,
                                    std::vector<TMeasureRecord>& Rows, QString& ErrMsg)
{
    for (const qint32 serial : Serials) {
        if (!DeviceTables_.contains(serial))
            continue;
        const QByteArray sql = QByteArrayLiteral("SELECT ID, MeasDateTime, ChannelNum, MeasValue FROM ") +
                               deviceTable(serial) +
                               QByteArrayLiteral(" WHERE MeasDateTime BETWEEN ?1 AND ?2");
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(Db_, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK) {
            logFailure(QStringLiteral("prepare: ") + QString::fromUtf8(sqlite3_errmsg(Db_)));
            ErrMsg = OpenErrorText();
            return false;
        }
        sqlite3_bind_double(stmt, 1, From);
        sqlite3_bind_double(stmt, 2, To);
        const bool ok = readRows(
            stmt,
            [&](sqlite3_stmt* S) {
                Rows.push_back({sqlite3_column_int64(S, 0), serial, sqlite3_column_double(S, 1),
                                sqlite3_column_int(S, 2), sqlite3_column_double(S, 3)});
            },
            ErrMsg);
        sqlite3_finalize(stmt);
        if (!ok)
            return false;
    }
    return true;
}

bool TArchiveStore::readRows(sqlite3_stmt* Stmt, const std::function<void(sqlite3_stmt*)>& Row,
                             QString& ErrMsg)
{
    ErrMsg.clear();
    if (!Stmt) {
        ErrMsg = OpenErrorText();
        return false;
    }
    // The statement is reset however the loop ends, so no read stays open.
    const auto reset = qScopeGuard([Stmt] {
        sqlite3_reset(Stmt);
        sqlite3_clear_bindings(Stmt);
    });
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(Stmt)) == SQLITE_ROW)
        Row(Stmt);
    if (rc == SQLITE_DONE)
        return true;
    noteDamage(rc);
    logFailure(QStringLiteral("read: ") + QString::fromUtf8(sqlite3_errstr(rc)));
    ErrMsg = OpenErrorText();
    return false;
}

bool TArchiveStore::NewestDevice(qint32 SerialNum, TDeviceRecord& Rec, QString& ErrMsg)
{
    Rec = {};
    sqlite3_stmt* stmt = statement(StNewest);
    if (stmt)
        sqlite3_bind_int(stmt, 1, SerialNum);
    return readRows(
        stmt, [&](sqlite3_stmt* S) { Rec = deviceRow(S); }, ErrMsg);
}

bool TArchiveStore::DeviceInForce(qint32 SerialNum, TDateTime At, TDeviceRecord& Rec, QString& ErrMsg)
{
    Rec = {};
    sqlite3_stmt* stmt = statement(StInForce);
    if (stmt) {
        sqlite3_bind_int(stmt, 1, SerialNum);
        sqlite3_bind_double(stmt, 2, At);
    }
    return readRows(
        stmt, [&](sqlite3_stmt* S) { Rec = deviceRow(S); }, ErrMsg);
}

bool TArchiveStore::NewestChannel(qint32 SerialNum, qint32 ChannelNum, TChannelRecord& Rec, QString& ErrMsg)
{
    Rec = {};
    sqlite3_stmt* stmt = statement(StNewest);
    if (stmt) {
        sqlite3_bind_int(stmt, 1, SerialNum);
        sqlite3_bind_int(stmt, 2, ChannelNum);
    }
    return readRows(
        stmt, [&](sqlite3_stmt* S) { Rec = channelRow(S); }, ErrMsg);
}

bool TArchiveStore::ChannelInForce(qint32 SerialNum, qint32 ChannelNum, TDateTime At, TChannelRecord& Rec,
                                   QString& ErrMsg)
{
    Rec = {};
    sqlite3_stmt* stmt = statement(StInForce);
    if (stmt) {
        sqlite3_bind_int(stmt, 1, SerialNum);
        sqlite3_bind_int(stmt, 2, ChannelNum);
        sqlite3_bind_double(stmt, 3, At);
    }
    return readRows(
        stmt, [&](sqlite3_stmt* S) { Rec = channelRow(S); }, ErrMsg);
}

bool TArchiveStore::ReadDevices(const std::function<void(const TDeviceRecord&)>& Row, QString& ErrMsg)
{
    return readRows(
        statement(StAll), [&](sqlite3_stmt* S) { Row(deviceRow(S)); }, ErrMsg);
}

bool TArchiveStore::ReadChannels(const std::function<void(const TChannelRecord&)>& Row, QString& ErrMsg)
{
    return readRows(
        statement(StAll), [&](sqlite3_stmt* S) { Row(channelRow(S)); }, ErrMsg);
}

bool TArchiveStore::readOrdered(sqlite3_stmt* Stmt, const std::vector<qint32>& Serials, TDateTime From,
                                TDateTime To, const std::function<void(const TMeasureRecord&)>& Row,
                                QString& ErrMsg)
{
    std::vector<TMeasureRecord> rows;
    // What was read before a damaged page is handed on all the same.
    const bool ok = readRows(
                        Stmt, [&](sqlite3_stmt* S) { rows.push_back(measureRow(S)); }, ErrMsg) &&
                    collectMeasures(Serials, From, To, rows, ErrMsg);
    // A device's table is in the order written, which is time order unless the
    // clock was set back; the rows of several tables are merged here.
    const auto order = [](const TMeasureRecord& A, const TMeasureRecord& B) {
        return std::tie(A.MeasDateTime, A.SerialNum, A.ChannelNum, A.ID) <
               std::tie(B.MeasDateTime, B.SerialNum, B.ChannelNum, B.ID);
    };
    if (!std::is_sorted(rows.begin(), rows.end(), order))
        std::sort(rows.begin(), rows.end(), order);
    for (const TMeasureRecord& r : rows)
        Row(r);
    return ok;
}

bool TArchiveStore::ReadMeasures(TDateTime From, TDateTime To,
                                 const std::function<void(const TMeasureRecord&)>& Row, QString& ErrMsg)
{
    sqlite3_stmt* stmt = statement(StRange);
    if (stmt) {
        sqlite3_bind_double(stmt, 1, From);
        sqlite3_bind_double(stmt, 2, To);
    }
    return readOrdered(stmt, std::vector<qint32>(DeviceTables_.begin(), DeviceTables_.end()), From, To, Row,
                       ErrMsg);
}

bool TArchiveStore::ReadDeviceMeasures(qint32 SerialNum, TDateTime From, TDateTime To,
                                       const std::function<void(const TMeasureRecord&)>& Row, QString& ErrMsg)
{
    sqlite3_stmt* stmt = statement(StDeviceRange);
    if (stmt) {
        sqlite3_bind_int(stmt, 1, SerialNum);
        sqlite3_bind_double(stmt, 2, From);
        sqlite3_bind_double(stmt, 3, To);
    }
    return readOrdered(stmt, {SerialNum}, From, To, Row, ErrMsg);
}
