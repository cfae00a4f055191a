#pragma once

#include "core/DateTime.h"

#include <QString>
#include <array>
#include <functional>
#include <map>
#include <set>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The three kinds of archive file: the device history "Devices.cds", the
// channel history "Channels.cds" and the day files "Measures" + yyyymmdd + ".cds".
enum class TArchiveKind
{
    Devices,
    Channels,
    Measures,
};

// Widths of the text fields, equal to the device registers they come from.
constexpr int CommentSize = 32;
constexpr int QuantityNameSize = 24;
constexpr int MeasUnitNameSize = 16;

// One row of "Devices.cds". A null field reads as 0 or the empty text.
struct TDeviceRecord
{
    qint64 ID = 0;
    TDateTime UpdateDateTime = 0;
    qint32 SerialNum = 0;
    qint32 DeviceType = 0;
    QString Comment;
};

// One row of "Channels.cds". SensorType is the sensor type × 256 + the model;
// limits and bounds are single-precision values widened.
struct TChannelRecord
{
    qint64 ID = 0;
    TDateTime UpdateDateTime = 0;
    qint32 SerialNum = 0;
    qint32 ChannelNum = 0;
    qint32 SensorType = 0;
    double MinAlert = 0;
    double MaxAlert = 0;
    double MinBound = 0;
    double MaxBound = 0;
    QString QuantityName;
    QString MeasUnitName;
};

// One row of a day file.
struct TMeasureRecord
{
    qint64 ID = 0;
    qint32 SerialNum = 0;
    TDateTime MeasDateTime = 0;
    qint32 ChannelNum = 0;
    double MeasValue = 0;
};

// One archive file: an SQLite database holding the one table of its kind, in
// WAL mode with synchronous NORMAL. Every append is its own transaction, so a
// row is in the file once the call returns and a crash of the program loses
// nothing stored. Opening checks the application id and schema version, so a
// foreign or damaged file is refused with the open-failure text. Closing
// checkpoints, leaving the complete archive in the one .cds file.
//
// Indexes: "TIdx" (UpdateDateTime descending) on the history files and
// "TSCIdx" (MeasDateTime, SerialNum, ChannelNum) on the day files' "Measures"
// table, plus "SerialIdx" on each, which makes one device's rows (newest
// history row, row in force, values over a period) a range seek.
//
// Day files made from schema version 2 on (512-byte pages) store each device's
// values in a table "Measures_<serial>" keyed by the ID, which the store assigns
// across all tables of the file: a committed value appends to the last page of
// one tree, so the log gets one small page per value instead of a 4 KB page of
// the table and of each index. One device's period is a scan of its own table
// only. "Measures" stays, with its indexes, for rows written by version 1 (the
// day a program update happens) and is read together with the device tables.
//
// A full disk: a failed write merges the log back into the file and cuts it
// (checkpoint TRUNCATE), and so does the next append before it adds anything
// while that merge failed; while checkpoints fail, the log stops growing past a
// bound and values are refused with the write text, so the room the merge needs
// stays free and storing resumes as soon as the disk has room again. From a
// write that failed for want of room until the disk has room for the log twice
// over, the log is merged back at a few pages, so the room freed goes to values.
class TArchiveStore
{
public:
    enum class TCreateResult
    {
        Created,
        NotStarted, // no file name, or the database engine could not start
        NotWritten, // the file could not be written; SysErr says why
    };

    explicit TArchiveStore(TArchiveKind Kind);
    ~TArchiveStore();
    TArchiveStore(const TArchiveStore&) = delete;
    TArchiveStore& operator=(const TArchiveStore&) = delete;

    TArchiveKind Kind() const { return Kind_; }
    // The genitive the messages use: "устройств", "каналов устройств", "измерений".
    static QString DatabaseWord(TArchiveKind Kind);
    QString DatabaseWord() const { return DatabaseWord(Kind_); }
    // "Не удалось открыть базу данных " + word + "!"
    QString OpenErrorText() const;
    // "Не удалось записать данные в базу данных " + word + "!"
    QString WriteErrorText() const;

    const QString& FileName() const { return FileName_; }
    // Closes the file in use when the name changes.
    void SetFileName(const QString& FileName);

    // Writes an empty file of this kind under FileName. It is built under a
    // temporary name of this process and renamed into place, so a crash or
    // another copy of the program never leaves a half-made file under the name.
    // An existing file is left alone, also one that appears meanwhile.
    TCreateResult Create(QString& SysErr);

    // Opens FileName; false with OpenErrorText() when the file is missing, not
    // ours, of another kind or unreadable. An open store stays as it is.
    // CheckPages, for a file about to be written: every page is checked first
    // (a whole read of the file, once while it stays the same file), and a file
    // damaged inside is refused as Damaged() and left untouched.
    bool Open(QString& ErrMsg, bool CheckPages = false);
    bool Active() const { return Db_ != nullptr; }
    void Close();
    // The last open, read or write found the file damaged (truncated, overwritten,
    // empty) or not one of ours; stays set after Close until the next Open.
    bool Damaged() const { return Damaged_; }
    // The open file was deleted, renamed or replaced since it was opened (its
    // folder vanished, for one); writes would go nowhere.
    bool FileMoved() const;

    // Appends one row; the ID is assigned by the store and texts longer than
    // their field are cut to its size. False with WriteErrorText().
    bool AppendDevice(const TDeviceRecord& Rec, QString& ErrMsg);
    bool AppendChannel(const TChannelRecord& Rec, QString& ErrMsg);
    bool AppendMeasure(const TMeasureRecord& Rec, QString& ErrMsg);
    // Appends the rows as AppendMeasure does, all in one transaction: all or
    // none. For building archives in bulk; the writer commits every value.
    bool AppendMeasures(const std::vector<TMeasureRecord>& Recs, QString& ErrMsg);

    // The newest row of a device (channel), and the row in force at At: the
    // newest one not written later than At. With no such row Rec is all 0 and
    // empty. False with OpenErrorText() when the file cannot be read.
    bool NewestDevice(qint32 SerialNum, TDeviceRecord& Rec, QString& ErrMsg);
    bool DeviceInForce(qint32 SerialNum, TDateTime At, TDeviceRecord& Rec, QString& ErrMsg);
    bool NewestChannel(qint32 SerialNum, qint32 ChannelNum, TChannelRecord& Rec, QString& ErrMsg);
    bool ChannelInForce(qint32 SerialNum, qint32 ChannelNum, TDateTime At, TChannelRecord& Rec,
                        QString& ErrMsg);

    // Every row in the order written.
    bool ReadDevices(const std::function<void(const TDeviceRecord&)>& Row, QString& ErrMsg);
    bool ReadChannels(const std::function<void(const TChannelRecord&)>& Row, QString& ErrMsg);
    // The values stamped from From to To, both included, in "TSCIdx" order.
    bool ReadMeasures(TDateTime From, TDateTime To, const std::function<void(const TMeasureRecord&)>& Row,
                      QString& ErrMsg);
    // One device's values stamped from From to To, both included, in time order
    // and channel 1 before channel 2 at the same time stamp.
    bool ReadDeviceMeasures(qint32 SerialNum, TDateTime From, TDateTime To,
                            const std::function<void(const TMeasureRecord&)>& Row, QString& ErrMsg);

private:
    enum TStatement
    {
        StInsert,
        StNewest,
        StInForce,
        StAll,
        StRange,
        StDeviceRange,
        StatementCount,
    };

    sqlite3_stmt* statement(TStatement Which);
    bool checkFile(bool CheckPages);
    bool checkPages();
    // What tells a file from another under the same name, or from itself
    // changed since (0 as the device: none).
    struct TFileStamp
    {
        quint64 Device = 0;
        quint64 Inode = 0;
        qint64 Size = 0;
        qint64 ChangeNs = 0;
        bool operator==(const TFileStamp&) const = default;
    };
    bool fileStamp(TFileStamp& Stamp) const;
    bool exec(const char* Sql);
    // The statements that every value's append runs besides its insert.
    enum TFixed
    {
        FixedBegin,
        FixedCommit,
        FixedDataVersion,
        FixedCount,
    };
    // Runs one of them, compiled once per open; Value takes a row's first column.
    bool runFixed(TFixed Which, int* Value = nullptr);
    void logFailure(const QString& What) const;
    bool readRows(sqlite3_stmt* Stmt, const std::function<void(sqlite3_stmt*)>& Row, QString& ErrMsg);
    bool step(sqlite3_stmt* Stmt, QString& ErrMsg);
    // After a failed write (Rc): for want of room the log is merged back now,
    // or, when that fails, before the next write.
    void noteWriteFailure(int Rc);
    bool loadDeviceTables();
    bool loadNextId();
    bool appendMeasure(const TMeasureRecord& Rec, QString& ErrMsg);
    void noteDamage(int Rc);
    bool collectMeasures(const std::vector<qint32>& Serials, TDateTime From, TDateTime To,
                         std::vector<TMeasureRecord>& Rows, QString& ErrMsg);
    // The rows of Stmt (the table "Measures") and of the device tables of
    // Serials, handed to Row in time order.
    bool readOrdered(sqlite3_stmt* Stmt, const std::vector<qint32>& Serials, TDateTime From, TDateTime To,
                     const std::function<void(const TMeasureRecord&)>& Row, QString& ErrMsg);
    bool mergeLog(int* Rc = nullptr);
    static int walHook(void* Self, sqlite3* Db, const char* DbName, int Pages);

    const TArchiveKind Kind_;
    QString FileName_;
    sqlite3* Db_ = nullptr;
    std::array<sqlite3_stmt*, StatementCount> Statements_{};
    std::array<sqlite3_stmt*, FixedCount> Fixed_{};
    // Day files of version 2: the devices that have a table, their inserts and
    // the next ID.
    bool PerDevice_ = false;
    std::set<qint32> DeviceTables_;
    std::map<qint32, sqlite3_stmt*> DeviceInserts_;
    qint64 NextId_ = 0;    // 0: not known yet
    int DataVersion_ = -1; // of the file when NextId_ was read
    // Log pages at the last failed checkpoint (0: none), and whether checkpoints
    // fail with the log past its bound.
    int FailedCheckpointAt_ = 0;
    bool Damaged_ = false;
    // The file that passed the page check last, as this store last left it:
    // a file put in its place, or changed by anyone else since, even under the
    // same inode (a copy over it), is checked again.
    TFileStamp Checked_;
    bool OpenChecked_ = false; // the open file is the one of Checked_
    // The last failed write was a full log that could be merged back.
    bool MergedAfterFailure_ = false;
    // A write failed for want of room and the log is not merged back since;
    // kept over Close, as the writer reopens the file after a failure.
    bool MergeDue_ = false;
    bool WalStuck_ = false;
    // A write failed for want of room and the disk has not had room for the log
    // twice over since: the log is merged back at a few pages. The disk's state,
    // so kept over Close and a new file name.
    bool ShortOfRoom_ = false;
    int PageSize_ = 0;
};
