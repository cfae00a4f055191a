// What polling costs the computer, as against the radio: 50 devices polled in
// continuous mode through a link that answers every frame at once, so all the
// time measured is the application's own CPU. A device step is the current-value
// read (exchange, decoding, rounding, limits, chart points), the status and alarm
// evaluation and the device table reload through its model with a view attached.
// Baseline in the same run: the bare NetExchange of the same four reads.
//
// The radio gives each device at least one 100 ms read time-out per cycle; the
// application's share should stay far below that, under 1 ms per device step.
//
// Instruction counts instead of times (steadier on a busy machine):
//   valgrind --tool=callgrind --callgrind-out-file=polling.cg ./build/bench/bench_polling --quick
//   callgrind_annotate polling.cg | head -40
// and, for one function's share, callgrind_annotate --inclusive=yes polling.cg.

#include "core/Device.h"
#include "core/Logging.h"
#include "core/NetComm.h"
#include "core/RS232Comm.h"
#include "core/RegisterMap.h"
#include "dispatcher/DeviceReader.h"
#include "dispatcher/DeviceTableModel.h"
#include "dispatcher/DispatcherHooks.h"
#include "dispatcher/DispatcherState.h"
#include "dispatcher/PollingCycle.h"

#include <QApplication>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <vector>

namespace {

constexpr int DeviceCount = 50;
constexpr quint16 FirstSerial = 1001;

// Process CPU time in microseconds: waiting would not count, work does.
double cpuMicros()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e6 + double(ts.tv_nsec) / 1e3;
}

std::vector<quint8> item(quint16 Reg, std::span<const quint8> Data)
{
    std::vector<quint8> i(4 + Data.size());
    i[0] = 0x01;
    i[1] = quint8(Reg >> 8);
    i[2] = quint8(Reg);
    i[3] = quint8(Data.size());
    std::copy(Data.begin(), Data.end(), i.begin() + 4);
    return i;
}

std::vector<quint8> single(float V)
{
    std::vector<quint8> b(4);
    PutSingleBE(b, 0, V);
    return b;
}

// A current-value reply from Source as the modem hands it over: lead byte, frame,
// level at the PC, trailer.
std::vector<quint8> currentValueReply(quint16 Source, float V1, float V2)
{
    std::vector<quint8> items;
    for (const auto& i : {item(0x0200, EncodeFaultState(0, 0x30)), item(0x0205, single(V1)),
                          item(0x0209, single(V2)), item(0x020D, single(21.5f))})
        items.insert(items.end(), i.begin(), i.end());
    std::vector<quint8> reply{0x00, 0x00, 0x00, quint8(Source >> 8), quint8(Source), quint8(items.size())};
    reply.insert(reply.end(), items.begin(), items.end());
    quint16 crc = 0xFFFF;
    CalcCRC16(std::span<const quint8>(reply).subspan(1), crc);
    reply.push_back(quint8(crc >> 8));
    reply.push_back(quint8(crc));
    reply.push_back(0x32);
    reply.push_back(0x00);
    return reply;
}

// Answers every frame at once with the canned reply of the device it is addressed to.
class FakeConnection : public TConnection
{
public:
    FakeConnection() { Connected = true; }

    void Add(quint16 Serial, std::vector<quint8> Reply) { Replies_[Serial] = std::move(Reply); }

    bool Send(std::span<const quint8> Buf, int Count, bool, QString& ErrMsg) override
    {
        ErrMsg.clear();
        if (Count < 2)
            return false;
        const auto it = Replies_.find(quint16(Buf[0] << 8 | Buf[1]));
        Current_ = it == Replies_.end() ? nullptr : &it->second;
        return true;
    }
    bool Receive(std::span<quint8> Buf, bool, QString& ErrMsg, int& Count, bool, bool) override
    {
        if (!Current_) {
            ErrMsg = ReceiveTimeoutMessage;
            Count = 0;
            return false;
        }
        ErrMsg.clear();
        Count = int(std::min(Current_->size(), Buf.size()));
        std::copy_n(Current_->begin(), Count, Buf.begin());
        return true;
    }

private:
    std::map<quint16, std::vector<quint8>> Replies_;
    const std::vector<quint8>* Current_ = nullptr;
};

// The main window as far as a device step reaches it: the link and the table.
class BenchHooks : public TDispatcherHooks
{
public:
    BenchHooks(TConnection& Link, TDeviceTableModel& Model) : Link_(Link), Model_(Model) {}
    TConnection* Link() override { return &Link_; }
    void ReloadStringgrid() override { Model_.ReloadStringgrid(); }

private:
    TConnection& Link_;
    TDeviceTableModel& Model_;
};

// Linked devices with both channels enabled, limits 0..100; a few sit near a limit.
void buildTable(FakeConnection& Link)
{
    DevArray.clear();
    for (int i = 0; i < DeviceCount; ++i) {
        const quint16 serial = quint16(FirstSerial + i);
        auto row = std::make_unique<TTableDevice>(serial);
        row->Status = dsOk;
        TDevice& d = *row->Device;
        d.DeviceType = TDeviceType::UnifiedInputs;
        for (int n = 1; n <= 2; ++n) {
            TMeasureChannel& ch = d.Channel(n);
            ch.Enabled = true;
            ch.ValueValid = true;
            ch.SensorType = TSensorType::Current;
            ch.MinAlert = 0;
            ch.MaxAlert = 100;
        }
        DevArray.push_back(std::move(row));
        Link.Add(serial, currentValueReply(serial, i % 10 == 0 ? 95.25f : 20.0f + float(i) * 1.37f, 50.125f));
    }
}

void fillCurrentValueReads()
{
    RequestArray.assign(CurrentValueReads.size(), TNetRequest{});
    for (std::size_t i = 0; i < CurrentValueReads.size(); ++i) {
        RequestArray[i].NetFunc = NetFunction::Read;
        RequestArray[i].RegAddr = CurrentValueReads[i].Address;
        RequestArray[i].DataLen = quint8(CurrentValueReads[i].Length);
    }
}

// Best of Rounds of Cycles cycles over the table; CPU microseconds per device.
template <typename F> double bestPerDevice(int Rounds, int Cycles, F&& Cycle)
{
    double best = 1e30;
    for (int r = 0; r < Rounds; ++r) {
        const double start = cpuMicros();
        for (int c = 0; c < Cycles; ++c)
            Cycle();
        best = std::min(best, (cpuMicros() - start) / (double(Cycles) * DeviceCount));
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Under valgrind a few cycles are enough.
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const int rounds = quick ? 1 : 5;
    const int cycles = quick ? 4 : 60;
    LogDebugInfo = false;

    FakeConnection link;
    buildTable(link);
    TDeviceTableModel model(DevArray);
    QTableView view; // receives the model's change notifications, as on screen
    view.setModel(&model);
    BenchHooks hooks(link, model);
    TPollingCycle polling(hooks);
    TDeviceReader& reader = polling.Reader();
    model.ReloadStringgrid();
    PollingActive = true;

    QString err;
    int failures = 0;

    // Baseline: the exchange alone.
    const auto bareCycle = [&] {
        for (const auto& row : DevArray) {
            fillCurrentValueReads();
            failures += !NetExchange(link, row->Device->SerialNum, RequestArray, err, ExtraRecords,
                                     ExtraRecordCount, LastRssiPC, NoReplyFlag);
        }
    };
    // One device step as the polling cycle runs it, called directly.
    const auto stepCycle = [&] {
        for (const auto& row : DevArray) {
            failures += !reader.ReadCurrentValues(*row, err);
            reader.CheckAlarmCondition(*row);
            hooks.ReloadStringgrid();
        }
    };
    // Whole cycles through the polling's step machine and the event loop.
    const auto loopCycle = [&] {
        polling.PollAllDevices();
        while (PollingBusy)
            QCoreApplication::processEvents();
    };

    bestPerDevice(1, 2, bareCycle); // warm-up
    bestPerDevice(1, 2, stepCycle);
    const double bare = bestPerDevice(rounds, cycles, bareCycle);
    const double step = bestPerDevice(rounds, cycles, stepCycle);
    const double loop = bestPerDevice(rounds, cycles, loopCycle);

    // The timings mean something only if every reply went through and was used.
    int linked = 0;
    int warnings = 0;
    for (const auto& row : DevArray) {
        linked += row->Status != dsNoLink;
        warnings += row->Status == dsWarning;
    }
    const int points = DevArray.front()->Device->Channel1->GraphLine->Series->Count();
    if (failures || linked != DeviceCount || warnings != DeviceCount / 10 || points == 0) {
        std::fprintf(stderr, "canned replies not taken: %d failures, %d linked, %d warnings, %d points\n",
                     failures, linked, warnings, points);
        return 1;
    }

    std::printf("%d devices, continuous polling, link answering at once (CPU time, best of %d x %d cycles)\n",
                DeviceCount, rounds, cycles);
    std::printf("  bare NetExchange (four reads)         %8.2f us per device\n", bare);
    std::printf("  device step (read, alarm, table)      %8.2f us per device   x%.1f of the exchange\n", step,
                step / bare);
    std::printf("  cycle through the event loop          %8.2f us per device   x%.1f of the exchange\n", loop,
                loop / bare);
    std::printf("  budget 1000 us per device step: %s (%.2f%% of it; the radio takes >= 100000 us)\n",
                std::max(step, loop) < 1000 ? "kept" : "EXCEEDED", std::max(step, loop) / 10.0);
    std::printf("  chart points per channel at the end: %d\n", points);
    ClearDevArray();
    return 0;
}
