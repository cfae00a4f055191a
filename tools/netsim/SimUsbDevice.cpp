#include "tools/netsim/SimUsbDevice.h"

#include "tools/netsim/SimWire.h"

SimUsbDevice::SimUsbDevice(quint16 Serial, int Type) : Device_(Serial, Type, 16) {}

void SimUsbDevice::WithDevice(const std::function<void(SimDevice&)>& Fn)
{
    const std::lock_guard lock(Mutex_);
    Fn(Device_);
}

void SimUsbDevice::DropFrames(const QSet<int>& Indices)
{
    const std::lock_guard lock(Mutex_);
    Drop_ = Indices;
}

void SimUsbDevice::SetBadCrc(bool On)
{
    const std::lock_guard lock(Mutex_);
    BadCrc_ = On;
}

void SimUsbDevice::SetWrongLength(bool On)
{
    const std::lock_guard lock(Mutex_);
    WrongLength_ = On;
}

void SimUsbDevice::SetTurnaroundMs(int Ms)
{
    const std::lock_guard lock(Mutex_);
    TurnaroundMs_ = Ms;
}

int SimUsbDevice::FramesReceived() const
{
    const std::lock_guard lock(Mutex_);
    return int(Frames_.size());
}

std::vector<QByteArray> SimUsbDevice::Frames() const
{
    const std::lock_guard lock(Mutex_);
    return Frames_;
}

void SimUsbDevice::SetClockOriginMs(qint64 Ms)
{
    const std::lock_guard lock(Mutex_);
    ClockOriginMs_ = Ms;
}

void SimUsbDevice::Feed(const QByteArray& Bytes, qint64 NowMs)
{
    const std::lock_guard lock(Mutex_);
    if (Bytes.isEmpty())
        return;
    if (NowMs - LastByteMs_ > GapMs)
        Input_.clear();
    LastByteMs_ = NowMs;
    Input_.append(Bytes);
    parse(NowMs);
}

void SimUsbDevice::parse(qint64 NowMs)
{
    while (Input_.size() >= 5) {
        const int total = quint8(Input_[4]) + 7;
        if (Input_.size() < total)
            return;
        const QByteArray frame = Input_.left(total);
        Input_.remove(0, total);
        const auto* p = reinterpret_cast<const quint8*>(frame.constData());
        if (!SimWire::CrcMatches(frame) || SimWire::ReadBE16(p) != Device_.Serial())
            continue;
        const int index = int(Frames_.size());
        Frames_.push_back(frame);
        const qint64 scenarioMs = NowMs - ClockOriginMs_;
        if (Drop_.contains(index) || !Device_.AdmitFrame(scenarioMs))
            continue;
        const QByteArray items = Device_.Answer(frame.mid(5, p[4]), scenarioMs);
        QByteArray reply;
        SimWire::AppendBE16(reply, 0x0000);
        SimWire::AppendBE16(reply, Device_.Serial());
        reply.append(char(items.size() + (WrongLength_ ? 1 : 0)));
        reply.append(items);
        SimWire::AppendCrc(reply);
        if (BadCrc_)
            reply[reply.size() - 1] = char(reply[reply.size() - 1] ^ 0x5A);
        Device_.CommitPending();
        Pending_.push_back({NowMs + TurnaroundMs_, reply, false, -1});
    }
}

QList<SimOutput> SimUsbDevice::TakeDue(qint64 NowMs)
{
    const std::lock_guard lock(Mutex_);
    QList<SimOutput> due;
    auto it = Pending_.begin();
    while (it != Pending_.end()) {
        if (it->DueMs <= NowMs) {
            due.append(*it);
            it = Pending_.erase(it);
        } else {
            ++it;
        }
    }
    return due;
}

std::optional<qint64> SimUsbDevice::NextDueMs() const
{
    const std::lock_guard lock(Mutex_);
    std::optional<qint64> next;
    for (const SimOutput& o : Pending_) {
        if (!next || o.DueMs < *next)
            next = o.DueMs;
    }
    return next;
}
