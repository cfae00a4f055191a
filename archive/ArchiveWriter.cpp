#include "archive/ArchiveWriter.h"

#include "archive/ArchiveDay.h"
#include "archive/ArchiveReader.h"
#include "core/Device.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/JournalMessage.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace {

// "Measures" + DateStr + "_" + N + ".cds": where a day goes on after its file
// was found damaged (N from 2).
QString continuationFileName(const QString& DateStr, int N)
{
    return QStringLiteral("Measures") + DateStr + QLatin1Char('_') + QString::number(N) +
           QStringLiteral(".cds");
}

// The largest N of the day's continuation files in the archive folder, 1 when
// there is none.
int lastContinuation(const QString& DateStr)
{
    int last = 1;
    const QStringList names =
        QDir(ArchiveDir)
            .entryList({QStringLiteral("Measures") + DateStr + QStringLiteral("_*.cds")},
                       QDir::Files | QDir::Hidden);
    for (const QString& name : names) {
        TDayFileName file;
        if (TArchiveReader::ParseDayFileName(name, file))
            last = std::max(last, file.Part);
    }
    return last;
}

} // namespace

bool TArchiveWriter::openStore(TArchiveStore& Store, QString& ErrMsg, bool CheckPages)
{
    // An open file whose folder vanished would take the rows into an unlinked
    // inode; drop it and look for the file again.
    if (Store.Active() && Store.FileMoved())
        Store.Close();
    if (!Store.Active() && !Store.FileName().isEmpty()) {
        const QFileInfo file(Store.FileName());
        if (!file.exists() && file.dir().exists()) {
            QString sysErr;
            Store.Create(sysErr); // a failure shows as the open failure below
        }
    }
    return Store.Open(ErrMsg, CheckPages);
}

bool TArchiveWriter::UpdateDeviceRecord(const TDevice& Device, QString& ErrMsg)
{
    ErrMsg.clear();
    if (!openStore(cdsDevices, ErrMsg))
        return false;
    TDeviceRecord newest;
    if (!cdsDevices.NewestDevice(Device.SerialNum, newest, ErrMsg)) {
        cdsDevices.Close();
        return false;
    }
    TDeviceRecord rec;
    rec.SerialNum = Device.SerialNum;
    rec.DeviceType = DeviceTypeToWord(Device.DeviceType);
    // Compared as stored, so a text longer than its field does not count as a
    // change at every call.
    rec.Comment = Device.Comment.left(CommentSize);
    if (newest.DeviceType == rec.DeviceType && newest.Comment == rec.Comment)
        return true;
    rec.UpdateDateTime = NowTDateTime();
    const bool ok = cdsDevices.AppendDevice(rec, ErrMsg);
    cdsDevices.Close();
    return ok;
}

bool TArchiveWriter::UpdateChannelRecords(const TDevice& Device, QString& ErrMsg)
{
    ErrMsg.clear();
    if (!openStore(cdsChannels, ErrMsg))
        return false;
    bool ok = true;
    for (int num = 1; num <= 2 && ok; ++num) {
        const TMeasureChannel& ch = Device.Channel(num);
        TChannelRecord rec;
        rec.SerialNum = Device.SerialNum;
        rec.ChannelNum = num;
        rec.SensorType = qint32(quint16(SensorTypeToByte(ch.SensorType) * 256 + ch.SensorModel));
        rec.MinAlert = ch.MinAlert;
        rec.MaxAlert = ch.MaxAlert;
        rec.MinBound = ch.MinBound;
        rec.MaxBound = ch.MaxBound;
        rec.QuantityName = ch.QuantityName.left(QuantityNameSize);
        rec.MeasUnitName = ch.MeasUnitName.left(MeasUnitNameSize);

        TChannelRecord newest;
        ok = cdsChannels.NewestChannel(Device.SerialNum, num, newest, ErrMsg);
        if (!ok)
            break;
        const bool changed = newest.SensorType != rec.SensorType || newest.MinAlert != rec.MinAlert ||
                             newest.MaxAlert != rec.MaxAlert || newest.MinBound != rec.MinBound ||
                             newest.MaxBound != rec.MaxBound || newest.QuantityName != rec.QuantityName ||
                             newest.MeasUnitName != rec.MeasUnitName;
        if (changed) {
            rec.UpdateDateTime = NowTDateTime();
            ok = cdsChannels.AppendChannel(rec, ErrMsg);
        }
    }
    cdsChannels.Close();
    return ok;
}

bool TArchiveWriter::AddMeasurement(const TDevice& Device, int ChannelNum, TDateTime MeasTime,
                                    QString& ErrMsg)
{
    ErrMsg.clear();
    const TMeasureChannel& ch = Device.Channel(ChannelNum);
    const QDate day = ArchiveDayOf(MeasTime, FileRebuildHour, FileRebuildMin);
    if (CurrentMeasuresDate_.isEmpty()) {
        OpenMeasuresFile(ArchiveDateStr(day));
    } else {
        const qint64 start =
            ArchiveDayStartMs(ArchiveDateFromStr(CurrentMeasuresDate_), FileRebuildHour, FileRebuildMin);
        const qint64 t = TimeStampToMs(MeasTime);
        if (t < start || t >= start + MsPerDay) {
            cdsMeasures.Close();
            OpenMeasuresFile(ArchiveDateStr(day));
        }
    }
    TMeasureRecord rec;
    rec.SerialNum = Device.SerialNum;
    rec.MeasDateTime = MeasTime;
    rec.ChannelNum = ChannelNum;
    rec.MeasValue = ch.Value;
    // A damaged day file is left as it is and the day goes on in a new file, this
    // value included.
    for (int attempt = 0;; ++attempt) {
        // Appends touch only the last pages: damage inside would go unseen and
        // take the new values with it when the file is read.
        if (!openStore(cdsMeasures, ErrMsg, true)) {
            if (attempt == 0 && continueDamagedDay())
                continue;
            return false;
        }
        if (cdsMeasures.AppendMeasure(rec, ErrMsg))
            return true;
        if (attempt == 0 && continueDamagedDay())
            continue;
        // Reopened by the next value, which may find the fault gone.
        cdsMeasures.Close();
        return false;
    }
}

bool TArchiveWriter::continueDamagedDay()
{
    if (!cdsMeasures.Damaged() || CurrentMeasuresDate_.isEmpty())
        return false;
    const QString damaged = cdsMeasures.FileName();
    int n = lastContinuation(CurrentMeasuresDate_) + 1;
    while (QFileInfo::exists(ArchiveDir + continuationFileName(CurrentMeasuresDate_, n)))
        ++n;
    const QString next = ArchiveDir + continuationFileName(CurrentMeasuresDate_, n);
    cdsMeasures.SetFileName(next);
    QString sysErr;
    cdsMeasures.Create(sysErr); // a failure shows when the file is opened
    AddJournalMessage(QStringLiteral("Файл архива \"") + QDir::toNativeSeparators(damaged) +
                      QStringLiteral("\" повреждён и оставлен без изменений; измерения за эти сутки "
                                     "записываются в файл \"") +
                      QDir::toNativeSeparators(next) + QStringLiteral("\""));
    return true;
}

void TArchiveWriter::CloseMeasures()
{
    cdsMeasures.Close();
}

void TArchiveWriter::OpenMeasuresFile(const QString& DateStr)
{
    // A day that went on in continuation files goes on in the newest of them.
    const int last = lastContinuation(DateStr);
    cdsMeasures.SetFileName(ArchiveDir +
                            (last > 1 ? continuationFileName(DateStr, last) : MeasuresFileName(DateStr)));
    if (!QFileInfo::exists(cdsMeasures.FileName())) {
        QString sysErr;
        cdsMeasures.Create(sysErr); // a failure shows when the file is opened
    }
    CurrentMeasuresDate_ = DateStr;
}

void TArchiveWriter::CloseAll()
{
    cdsDevices.Close();
    cdsMeasures.Close();
    cdsChannels.Close();
}
