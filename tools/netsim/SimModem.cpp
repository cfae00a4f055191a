#include "tools/netsim/SimModem.h"

#include "tools/netsim/SimWire.h"

#include <algorithm>

SimModem::SimModem() = default;
SimModem::~SimModem() = default;

int SimModem::Channel() const
{
    const std::lock_guard lock(Mutex_);
    return Channel_;
}

void SimModem::SetChannel(int Channel)
{
    const std::lock_guard lock(Mutex_);
    Channel_ = Channel;
}

quint8 SimModem::PowerCode() const
{
    const std::lock_guard lock(Mutex_);
    return PowerCode_;
}

void SimModem::SetPowerCode(quint8 Code)
{
    const std::lock_guard lock(Mutex_);
    PowerCode_ = Code;
}

void SimModem::SetStatusOverride(std::optional<QByteArray> Reply)
{
    const std::lock_guard lock(Mutex_);
    StatusOverride_ = std::move(Reply);
}

int SimModem::TurnaroundMs() const
{
    const std::lock_guard lock(Mutex_);
    return TurnaroundMs_;
}

void SimModem::SetTurnaroundMs(int Ms)
{
    const std::lock_guard lock(Mutex_);
    TurnaroundMs_ = Ms;
}

qint64 SimModem::ClockOriginMs() const
{
    const std::lock_guard lock(Mutex_);
    return ClockOriginMs_;
}

void SimModem::SetClockOriginMs(qint64 Ms)
{
    const std::lock_guard lock(Mutex_);
    ClockOriginMs_ = Ms;
}

bool SimModem::AddDevice(std::unique_ptr<SimDevice> Device)
{
    const std::lock_guard lock(Mutex_);
    for (const auto& d : Devices_) {
        if (d->Serial() == Device->Serial() && d->Channel() == Device->Channel())
            return false;
    }
    Device->SetId(NextDeviceId_++);
    Devices_.push_back(std::move(Device));
    return true;
}

bool SimModem::AddDevice(quint16 Serial, int Type, int Channel)
{
    return AddDevice(std::make_unique<SimDevice>(Serial, Type, Channel));
}

bool SimModem::RemoveDevice(quint16 Serial)
{
    const std::lock_guard lock(Mutex_);
    const auto it = std::find_if(Devices_.begin(), Devices_.end(),
                                 [Serial](const auto& d) { return d->Serial() == Serial; });
    if (it == Devices_.end())
        return false;
    Devices_.erase(it);
    return true;
}

void SimModem::RemoveAllDevices()
{
    const std::lock_guard lock(Mutex_);
    Devices_.clear();
}

QList<quint16> SimModem::Serials() const
{
    const std::lock_guard lock(Mutex_);
    QList<quint16> serials;
    for (const auto& d : Devices_)
        serials.append(d->Serial());
    return serials;
}

QList<quint16> SimModem::SerialsOnChannel(int Channel) const
{
    const std::lock_guard lock(Mutex_);
    QList<quint16> serials;
    for (const auto& d : Devices_) {
        if (d->Channel() == Channel)
            serials.append(d->Serial());
    }
    return serials;
}

bool SimModem::WithDevice(quint16 Serial, const std::function<void(SimDevice&)>& Fn)
{
    const std::lock_guard lock(Mutex_);
    for (const auto& d : Devices_) {
        if (d->Serial() == Serial) {
            Fn(*d);
            return true;
        }
    }
    return false;
}

bool SimModem::SetFault(quint16 Serial, const SimFault& Fault)
{
    return WithDevice(Serial, [&Fault](SimDevice& d) { d.SetFault(Fault); });
}

int SimModem::FramesReceived() const
{
    const std::lock_guard lock(Mutex_);
    return FramesReceived_;
}

int SimModem::FramesDropped() const
{
    const std::lock_guard lock(Mutex_);
    return FramesDropped_;
}

void SimModem::Feed(const QByteArray& Bytes, qint64 NowMs)
{
    const std::lock_guard lock(Mutex_);
    if (Bytes.isEmpty())
        return;
    // The PC writes a command or a frame in one go; a pause inside one means the
    // rest was lost, so what came before the pause is dropped.
    if (NowMs - LastByteMs_ > GapMs) {
        Input_.clear();
        Discarding_ = false;
    }
    LastByteMs_ = NowMs;
    if (Discarding_)
        return;
    Input_.append(Bytes);
    parse(NowMs);
}

void SimModem::parse(qint64 NowMs)
{
    while (!Input_.isEmpty()) {
        const auto first = quint8(Input_[0]);
        // A frame to serial number 0x2343, 0x2350 or 0x2353 (9027, 9040, 9043: '#'
        // followed by 'C', 'P' or 'S') reads as a modem command: the modem cannot
        // tell them apart, and neither can we.
        if (first == '#') {
            if (Input_.size() < 2)
                return;
            const auto cmd = quint8(Input_[1]);
            if (cmd == 'S') {
                Input_.remove(0, 2);
                QByteArray status;
                if (StatusOverride_) {
                    status = *StatusOverride_;
                } else {
                    status.append('S');
                    status.append(char(Channel_));
                    status.append(char(PowerCode_));
                    status.append(char(0x01));
                    SimWire::AppendBE16(status, 0x0102);
                }
                if (!status.isEmpty())
                    schedule({NowMs + TurnaroundMs_, status});
                continue;
            }
            if (cmd == 'C' || cmd == 'P') {
                if (Input_.size() < 3)
                    return;
                const auto arg = quint8(Input_[2]);
                Input_.remove(0, 3);
                if (cmd == 'C' && arg >= 16 && arg <= 23)
                    Channel_ = arg;
                else if (cmd == 'P')
                    PowerCode_ = arg;
                continue;
            }
        }
        if (Input_.size() < 5)
            return;
        const int total = quint8(Input_[4]) + 7;
        if (total > MaxFrame) {
            // Not a frame the radio can carry; ignore everything up to the next pause.
            ++FramesDropped_;
            Input_.clear();
            Discarding_ = true;
            return;
        }
        if (Input_.size() < total)
            return;
        const QByteArray frame = Input_.left(total);
        Input_.remove(0, total);
        handleFrame(frame, NowMs);
    }
}

SimDevice* SimModem::findRoute(quint16 Serial)
{
    for (const auto& d : Devices_) {
        if (d->Serial() == Serial && d->Channel() == Channel_)
            return d.get();
    }
    return nullptr;
}

SimDevice* SimModem::findById(int Id)
{
    for (const auto& d : Devices_) {
        if (d->Id() == Id)
            return d.get();
    }
    return nullptr;
}

void SimModem::handleFrame(const QByteArray& Frame, qint64 NowMs)
{
    if (!SimWire::CrcMatches(Frame)) {
        ++FramesDropped_; // lost on the radio
        return;
    }
    ++FramesReceived_;
    const auto* p = reinterpret_cast<const quint8*>(Frame.constData());
    SimDevice* device = findRoute(SimWire::ReadBE16(p));
    const qint64 scenarioMs = NowMs - ClockOriginMs_;
    if (!device || !device->AdmitFrame(scenarioMs))
        return;
    const SimFault fault = device->FaultAt(scenarioMs);
    if (fault.Mode == SimFaultMode::PortGone) {
        SimOutput gone;
        gone.DueMs = NowMs + TurnaroundMs_;
        gone.ClosePort = true;
        schedule(gone);
        return;
    }
    const QByteArray items = device->Answer(Frame.mid(5, p[4]), scenarioMs);
    QByteArray reply;
    SimWire::AppendBE16(reply, 0x0000);
    SimWire::AppendBE16(reply,
                        fault.Mode == SimFaultMode::OtherSource ? quint16(fault.Value) : device->Serial());
    reply.append(char(items.size() + (fault.Mode == SimFaultMode::WrongLength ? 1 : 0)));
    reply.append(items);
    SimWire::AppendCrc(reply);
    if (fault.Mode == SimFaultMode::BadCrc)
        reply[reply.size() - 1] = char(reply[reply.size() - 1] ^ 0x5A);

    // What the PC reads: one byte ahead of the frame, the frame, the level at which
    // the PC's modem heard it and one byte more.
    QByteArray out;
    out.append(char(reply.size()));
    out.append(reply);
    out.append(char(device->PcLevel()));
    out.append(char(0x00));
    if (fault.Mode == SimFaultMode::Truncated)
        out.truncate(fault.Value);

    SimOutput output;
    output.DueMs = NowMs + TurnaroundMs_ + (fault.Mode == SimFaultMode::Late ? fault.Value : 0);
    output.Bytes = out;
    output.DeviceId = device->HasPendingChanges() ? device->Id() : -1;
    schedule(output);
}

void SimModem::schedule(SimOutput Output)
{
    // Stable by due time, so equal times keep their order.
    const auto at = std::upper_bound(Pending_.begin(), Pending_.end(), Output.DueMs,
                                     [](qint64 due, const SimOutput& o) { return due < o.DueMs; });
    Pending_.insert(at, std::move(Output));
}

QList<SimOutput> SimModem::TakeDue(qint64 NowMs)
{
    const std::lock_guard lock(Mutex_);
    QList<SimOutput> due;
    auto it = Pending_.begin();
    while (it != Pending_.end() && it->DueMs <= NowMs) {
        if (it->DeviceId >= 0) {
            if (SimDevice* d = findById(it->DeviceId))
                d->CommitPending();
        }
        due.append(std::move(*it));
        ++it;
    }
    Pending_.erase(Pending_.begin(), it);
    return due;
}

std::optional<qint64> SimModem::NextDueMs() const
{
    const std::lock_guard lock(Mutex_);
    if (Pending_.empty())
        return std::nullopt;
    return Pending_.front().DueMs;
}
