#include "archive/ArchiveReader.h"

#include "archive/ArchiveDay.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <queue>
#include <unordered_map>
#include <unordered_set>

namespace {

// Lets window messages run once PumpIntervalMs have passed since they last
// ran; the clock is asked only every few rows.
class TPumpTimer
{
public:
    TPumpTimer(int IntervalMs, const std::function<bool()>& Cancelled)
        : IntervalMs_(IntervalMs), Cancelled_(Cancelled), Last_(Clock::Current().NowMs())
    {
    }

    void Tick()
    {
        if (++Rows_ % 64 != 0)
            return;
        if (Clock::Current().NowMs() - Last_ >= IntervalMs_)
            Now();
    }
    void Now()
    {
        EventPump::ProcessMessages();
        Last_ = Clock::Current().NowMs();
        Stopped_ = Stopped_ || (Cancelled_ && Cancelled_());
    }
    bool Stopped() const { return Stopped_; }

private:
    const int IntervalMs_;
    const std::function<bool()>& Cancelled_;
    bool Stopped_ = false;
    qint64 Last_;
    quint32 Rows_ = 0;
};

// The history rows of each device (channel) in the order they took force.
template <class TRec> class THistory
{
public:
    void Add(qint64 Key, const TRec& Rec) { Rows_[Key].push_back(Rec); }
    void Sort()
    {
        for (auto& [key, rows] : Rows_) {
            std::sort(rows.begin(), rows.end(), [](const TRec& A, const TRec& B) {
                return A.UpdateDateTime != B.UpdateDateTime ? A.UpdateDateTime < B.UpdateDateTime
                                                            : A.ID < B.ID;
            });
        }
    }
    // The newest row not written later than At (the latest written of equal
    // times), or the empty row.
    const TRec& InForce(qint64 Key, TDateTime At) const
    {
        const auto it = Rows_.find(Key);
        if (it == Rows_.end())
            return Empty_;
        const auto& rows = it->second;
        const auto after = std::upper_bound(rows.begin(), rows.end(), At,
                                            [](TDateTime T, const TRec& R) { return T < R.UpdateDateTime; });
        return after == rows.begin() ? Empty_ : *(after - 1);
    }

private:
    std::unordered_map<qint64, std::vector<TRec>> Rows_;
    const TRec Empty_{};
};

// Why a day file that the store refused could not be opened.
QString openFailureReason(const QString& Path)
{
    const QFileInfo info(Path);
    if (!info.exists())
        return QStringLiteral("файл не найден");
    // The store opens its files for writing (it adds missing indexes).
    if (!info.isReadable() || !info.isWritable())
        return QStringLiteral("нет доступа к файлу");
    return QStringLiteral("файл повреждён или не является файлом архива измерений");
}

qint64 channelKey(qint32 Serial, qint32 Channel)
{
    return qint64(Serial) << 32 | quint32(Channel);
}

// One value as read from a day file.
struct TRow
{
    TDateTime MeasDateTime;
    qint32 SerialNum;
    qint32 ChannelNum;
    double MeasValue;
};

} // namespace

TArchiveReader::TArchiveReader(TArchiveStore& Devices, TArchiveStore& Channels)
    : Devices_(Devices), Channels_(Channels)
{
}

bool TArchiveReader::ParseDayFileName(const QString& Name, TDayFileName& File)
{
    static const QRegularExpression pattern(QStringLiteral("^Measures(\\d{8})(?:_(\\d+))?\\.cds$"));
    const QRegularExpressionMatch m = pattern.match(Name);
    if (!m.hasMatch())
        return false;
    const QDate date = ArchiveDateFromStr(m.captured(1));
    if (!date.isValid())
        return false;
    int part = 1;
    if (m.hasCaptured(2)) {
        bool ok = false;
        part = m.captured(2).toInt(&ok);
        if (!ok)
            return false;
    }
    File = {Name, date, part};
    return true;
}

std::vector<TDayFileName> TArchiveReader::DayFilesOfPeriod(const QString& Folder, TDateTime Start,
                                                           TDateTime End, QStringList& Stray)
{
    std::vector<TDayFileName> kept;
    const qint64 startMs = TimeStampToMs(Start);
    const qint64 endMs = TimeStampToMs(End);
    const QStringList names =
        QDir(Folder).entryList({QStringLiteral("Measures*.cds")}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        TDayFileName file;
        if (!ParseDayFileName(name, file)) {
            Stray << name;
            continue;
        }
        // The values of date D lie from D 00:00 (the earliest day start) to the
        // end of the day after (the latest).
        if (startMs > endMs || ArchiveDayStartMs(file.Date, 0, 0) > endMs ||
            ArchiveDayStartMs(file.Date.addDays(2), 0, 0) <= startMs)
            continue;
        kept.push_back(file);
    }
    std::sort(kept.begin(), kept.end(), [](const TDayFileName& A, const TDayFileName& B) {
        return A.Date != B.Date ? A.Date < B.Date : A.Part < B.Part;
    });
    return kept;
}

bool TArchiveReader::Read(const QString& Folder, TDateTime Start, TDateTime End,
                          const std::vector<quint16>& Serials, bool WithDevices,
                          const std::function<void(const TArchiveValue&)>& Value, QString& ErrMsg)
{
    ErrMsg.clear();
    std::vector<qint32> serials(Serials.begin(), Serials.end());
    std::sort(serials.begin(), serials.end());
    serials.erase(std::unique(serials.begin(), serials.end()), serials.end());
    const std::unordered_set<qint32> selected(serials.begin(), serials.end());

    QStringList stray;
    const std::vector<TDayFileName> files = DayFilesOfPeriod(Folder, Start, End, stray);
    if (OnStrayFile) {
        for (const QString& name : stray)
            OnStrayFile(name);
    }
    if (serials.empty())
        return true;

    // The histories are small: held in memory, a row in force is a binary
    // search instead of a query per value.
    THistory<TChannelRecord> channels;
    if (!Channels_.ReadChannels(
            [&](const TChannelRecord& R) {
                if (selected.contains(R.SerialNum))
                    channels.Add(channelKey(R.SerialNum, R.ChannelNum), R);
            },
            ErrMsg))
        return false;
    channels.Sort();
    THistory<TDeviceRecord> devices;
    if (WithDevices) {
        if (!Devices_.ReadDevices(
                [&](const TDeviceRecord& R) {
                    if (selected.contains(R.SerialNum))
                        devices.Add(R.SerialNum, R);
                },
                ErrMsg))
            return false;
        devices.Sort();
    }

    TPumpTimer pump(PumpIntervalMs, Cancelled);
    // False once stopped: the value did not go out.
    const auto handOn = [&](const TRow& R) {
        if (pump.Stopped())
            return false;
        TArchiveValue v;
        v.SerialNum = R.SerialNum;
        v.ChannelNum = R.ChannelNum;
        v.MeasDateTime = R.MeasDateTime;
        v.Value = float(R.MeasValue);
        v.Channel = &channels.InForce(channelKey(R.SerialNum, R.ChannelNum), R.MeasDateTime);
        if (WithDevices)
            v.Device = &devices.InForce(R.SerialNum, R.MeasDateTime);
        Value(v);
        pump.Tick();
        return true;
    };

    const QString readFault = QStringLiteral("ошибка чтения файла");
    const auto tableFault = [&](const TDayFileName& File, qint32 Serial, qint64 Taken) {
        if (OnUnreadableTable)
            OnUnreadableTable(File.Name, quint16(Serial), readFault, Taken);
    };
    for (const TDayFileName& file : files) {
        if (OnDay)
            OnDay(file.Date);
        pump.Now();
        if (pump.Stopped())
            return true;
        TArchiveStore store(TArchiveKind::Measures);
        store.SetFileName(QDir(Folder).filePath(file.Name));
        QString fileErr;
        if (!store.Open(fileErr)) {
            if (OnUnreadableFile)
                OnUnreadableFile(file.Name, openFailureReason(store.FileName()));
            continue;
        }
        if (serials.size() == 1) {
            // One device: its values stream straight from its index in order.
            qint64 taken = 0;
            if (!store.ReadDeviceMeasures(
                    serials.front(), Start, End,
                    [&](const TMeasureRecord& R) {
                        if (handOn({R.MeasDateTime, R.SerialNum, R.ChannelNum, R.MeasValue}))
                            ++taken;
                    },
                    fileErr))
                tableFault(file, serials.front(), taken);
            continue;
        }
        // Several: each device's run read through its own index (a tenth of the
        // file when a tenth is selected), then merged by time stamp; equal
        // stamps go in serial order, as the time index holds them. Each table
        // stands on its own: one that fails keeps what was read before the
        // fault, and the tables after it are still read.
        std::vector<std::vector<TRow>> runs(serials.size());
        std::vector<std::pair<qint32, qint64>> faults; // serial, values taken
        for (std::size_t i = 0; i < serials.size() && !pump.Stopped(); ++i) {
            if (!store.ReadDeviceMeasures(
                    serials[i], Start, End,
                    [&](const TMeasureRecord& R) {
                        if (pump.Stopped())
                            return;
                        runs[i].push_back({R.MeasDateTime, R.SerialNum, R.ChannelNum, R.MeasValue});
                        pump.Tick();
                    },
                    fileErr))
                faults.emplace_back(serials[i], qint64(runs[i].size()));
        }
        store.Close();
        using THead = std::pair<TDateTime, std::size_t>; // stamp, run
        std::priority_queue<THead, std::vector<THead>, std::greater<THead>> heads;
        std::vector<std::size_t> pos(runs.size(), 0);
        for (std::size_t i = 0; i < runs.size(); ++i) {
            if (!runs[i].empty())
                heads.emplace(runs[i].front().MeasDateTime, i);
        }
        while (!heads.empty() && !pump.Stopped()) {
            const std::size_t i = heads.top().second;
            heads.pop();
            // Every value of this device at this stamp (both channels) at once.
            const TDateTime stamp = runs[i][pos[i]].MeasDateTime;
            do
                handOn(runs[i][pos[i]++]);
            while (pos[i] < runs[i].size() && runs[i][pos[i]].MeasDateTime == stamp);
            if (pos[i] < runs[i].size())
                heads.emplace(runs[i][pos[i]].MeasDateTime, i);
            else
                std::vector<TRow>().swap(runs[i]);
        }
        for (const auto& [serial, taken] : faults)
            tableFault(file, serial, taken);
    }
    return true;
}
