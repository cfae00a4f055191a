#pragma once

#include "archive/ArchiveStore.h"
#include "dispatcher/ArchiveWriter.h"

#include <QString>

// The archive writer: stores every value the polling hands it in the day file
// of its archive day and keeps the history of device and channel settings. It
// reads ArchiveDir, FileRebuildHour and FileRebuildMin of the main window's
// state at each call, so a new daily change time takes effect at once.
//
// Each stored row is committed before the call returns. A file that vanished
// (its folder removed or unmounted) or cannot be written gives the short text
// and is closed; the next call opens it again, making a missing file anew as
// soon as its folder is back.
class TArchiveWriter : public IArchiveWriter
{
public:
    TArchiveWriter() = default;
    ~TArchiveWriter() override = default;
    TArchiveWriter(const TArchiveWriter&) = delete;
    TArchiveWriter& operator=(const TArchiveWriter&) = delete;

    // "yyyymmdd" of the archive day whose file the writer uses, or empty before
    // the first stored value of the run.
    const QString& CurrentMeasuresDate() const { return CurrentMeasuresDate_; }

    // A history row when the device's type or comment differs from its newest
    // row (texts compared case-sensitively). The device file stays open when
    // nothing was written.
    bool UpdateDeviceRecord(const TDevice& Device, QString& ErrMsg) override;
    // A history row for each channel whose sensor code, limits, bounds (as the
    // widened singles, compared exactly) or names differ from its newest row.
    // The channel file is closed afterwards.
    bool UpdateChannelRecords(const TDevice& Device, QString& ErrMsg) override;
    // The channel's value stamped MeasTime, into the day file of its archive day.
    // ChannelNum other than 1 or 2 throws std::out_of_range.
    bool AddMeasurement(const TDevice& Device, int ChannelNum, TDateTime MeasTime, QString& ErrMsg) override;
    void CloseMeasures() override;

    // The day switch: points the measurement store at the day file of DateStr
    // (the newest continuation file of the day when there is one), making the
    // file empty on disk when it does not exist.
    void OpenMeasuresFile(const QString& DateStr);
    // Shutdown: the device, measurement and channel files, in this order.
    void CloseAll();

    TArchiveStore cdsDevices{TArchiveKind::Devices};
    TArchiveStore cdsChannels{TArchiveKind::Channels};
    TArchiveStore cdsMeasures{TArchiveKind::Measures};

private:
    bool openStore(TArchiveStore& Store, QString& ErrMsg, bool CheckPages = false);
    // When the day file proved damaged: journals it and points the store at the
    // day's next free "Measures" + date + "_" + n + ".cds" (n from 2), made empty.
    bool continueDamagedDay();

    QString CurrentMeasuresDate_;
};
