#include "archive/ArchiveStore.h"

#include "core/Logging.h"
#include "platform/SystemError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <cstring>
#include <sqlite3.h>

namespace {

// "KLOV": marks a file as one of ours whatever its name.
constexpr int ArchiveApplicationId = 0x4B4C4F56;
constexpr int ArchiveSchemaVersion = 1;
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

QString systemErrorText(sqlite3* Db)
{
    const int err = Db ? sqlite3_system_errno(Db) : 0;
    if (err != 0)
        return SystemError::Text(err);
    return Db ? QString::fromUtf8(sqlite3_errmsg(Db)) : QString();
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
}

TArchiveStore::TCreateResult TArchiveStore::Create(QString& SysErr)
{
    SysErr.clear();
    if (FileName_.isEmpty())
        return TCreateResult::NotStarted; // nowhere to write
    const QString tmpName = FileName_ + QStringLiteral(".tmp");
    // Leftovers of a creation that a crash interrupted.
    QFile::remove(tmpName);
    QFile::remove(tmpName + QStringLiteral("-journal"));

    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(tmpName).constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (!db) {
        SysErr = QString::fromUtf8(sqlite3_errstr(rc));
        return TCreateResult::NotStarted;
    }
    const TKindDef& def = kindDef(Kind_);
    const QByteArray ids =
        QByteArrayLiteral("PRAGMA application_id = ") + QByteArray::number(ArchiveApplicationId) +
        QByteArrayLiteral("; PRAGMA user_version = ") + QByteArray::number(ArchiveSchemaVersion) + ';';
    // Synced once, when closing checkpoints the log into the file.
    QByteArray script = QByteArrayLiteral("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; BEGIN; ") +
                        def.CreateTable + "; ";
    for (const TIndexDef& index : def.Indexes)
        script += QByteArray(index.Sql) + "; ";
    script += ids + QByteArrayLiteral(" COMMIT;");

    bool ok = rc == SQLITE_OK && sqlite3_exec(db, script.constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!ok)
        SysErr = systemErrorText(db);
    // Closing the only connection checkpoints and removes the WAL: the file is whole.
    if (sqlite3_close(db) != SQLITE_OK && ok) {
        ok = false;
        SysErr = QString::fromUtf8(sqlite3_errstr(SQLITE_IOERR));
    }
    if (ok && !QFile::exists(FileName_)) {
        QFile tmp(tmpName);
        if (!tmp.rename(FileName_) && !QFile::exists(FileName_)) {
            ok = false;
            SysErr = SystemError::Russian(tmp.errorString());
        }
    }
    QFile::remove(tmpName);
    QFile::remove(tmpName + QStringLiteral("-journal"));
    QFile::remove(tmpName + QStringLiteral("-wal"));
    QFile::remove(tmpName + QStringLiteral("-shm"));
    if (!ok)
        logFailure(QStringLiteral("create: ") + SysErr);
    return ok ? TCreateResult::Created : TCreateResult::NotWritten;
}

bool TArchiveStore::Open(QString& ErrMsg)
{
    ErrMsg.clear();
    if (Db_)
        return true;
    // Without a name SQLite would open a temporary database.
    if (FileName_.isEmpty() || !QFileInfo(FileName_).isFile()) {
        ErrMsg = OpenErrorText();
        return false;
    }
    const int rc = sqlite3_open_v2(QFile::encodeName(FileName_).constData(), &Db_,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK || !checkFile()) {
        logFailure(QStringLiteral("open: ") + (Db_ ? QString::fromUtf8(sqlite3_errmsg(Db_)) : QString()));
        Close();
        ErrMsg = OpenErrorText();
        return false;
    }
    return true;
}

bool TArchiveStore::checkFile()
{
    sqlite3_extended_result_codes(Db_, 1);
    sqlite3_busy_timeout(Db_, BusyTimeoutMs);
    int appId = 0;
    int version = 0;
    // A file that is no database fails here (SQLITE_NOTADB), one of another
    // program by its id, a later schema by its version.
    if (!queryInt(Db_, "PRAGMA application_id", appId) || appId != ArchiveApplicationId)
        return false;
    if (!queryInt(Db_, "PRAGMA user_version", version) || version != ArchiveSchemaVersion)
        return false;
    const TKindDef& def = kindDef(Kind_);
    bool exists = false;
    if (!objectExists(Db_, "table", def.Table, exists) || !exists)
        return false;
    if (!exec("PRAGMA journal_mode = WAL") || !exec("PRAGMA synchronous = NORMAL") ||
        !exec("PRAGMA journal_size_limit = 4194304"))
        return false;
    for (const TIndexDef& index : def.Indexes) {
        if (!objectExists(Db_, "index", index.Name, exists))
            return false;
        if (!exists && !exec(index.Sql))
            return false;
    }
    // Compiling the insert checks the table's columns.
    return statement(StInsert) != nullptr;
}

void TArchiveStore::Close()
{
    for (sqlite3_stmt*& stmt : Statements_) {
        sqlite3_finalize(stmt);
        stmt = nullptr;
    }
    if (Db_) {
        // The last connection to close checkpoints the WAL into the file and removes it.
        sqlite3_close_v2(Db_);
        Db_ = nullptr;
    }
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
    logFailure(QStringLiteral("write: ") + QString::fromUtf8(sqlite3_errstr(rc)));
    ErrMsg = WriteErrorText();
    return false;
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
    ErrMsg.clear();
    sqlite3_stmt* stmt = statement(StInsert);
    if (!stmt) {
        ErrMsg = Db_ ? WriteErrorText() : OpenErrorText();
        return false;
    }
    sqlite3_bind_int(stmt, 1, Rec.SerialNum);
    sqlite3_bind_double(stmt, 2, Rec.MeasDateTime);
    sqlite3_bind_int(stmt, 3, Rec.ChannelNum);
    sqlite3_bind_double(stmt, 4, Rec.MeasValue);
    return step(stmt, ErrMsg);
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

bool TArchiveStore::ReadMeasures(TDateTime From, TDateTime To,
                                 const std::function<void(const TMeasureRecord&)>& Row, QString& ErrMsg)
{
    sqlite3_stmt* stmt = statement(StRange);
    if (stmt) {
        sqlite3_bind_double(stmt, 1, From);
        sqlite3_bind_double(stmt, 2, To);
    }
    return readRows(
        stmt, [&](sqlite3_stmt* S) { Row(measureRow(S)); }, ErrMsg);
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
    return readRows(
        stmt, [&](sqlite3_stmt* S) { Row(measureRow(S)); }, ErrMsg);
}
