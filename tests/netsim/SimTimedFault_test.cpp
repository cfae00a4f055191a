#include "tests/netsim/SimFrames.h"
#include "tools/netsim/SimModem.h"
#include "tools/netsim/SimWire.h"

#include <gtest/gtest.h>

using namespace SimFrames;

namespace {

// The modem on a clock the test moves: every exchange happens at a chosen moment.
class TimedFaultTest : public ::testing::Test
{
protected:
    QByteArray ExchangeAt(qint64 Ms, const QByteArray& Bytes)
    {
        Modem.Feed(Bytes, Ms);
        QByteArray out;
        for (const SimOutput& o : Modem.TakeDue(Ms + 500))
            out += o.Bytes;
        return out;
    }

    // The polling read; the fault register from its first item and the extra
    // records that came after the four items.
    struct Poll
    {
        bool Answered = false;
        quint32 Faults = 0;
        QByteArray Extra;
    };
    Poll PollAt(qint64 Ms, quint16 Serial)
    {
        const QByteArray raw = ExchangeAt(
            Ms, Request(Serial, Read(0x0200, 5) + Read(0x0205, 4) + Read(0x0209, 4) + Read(0x020D, 4)));
        Poll p;
        if (raw.isEmpty())
            return p;
        const Reply r = Parse(raw);
        EXPECT_TRUE(r.Valid) << Ms;
        p.Answered = r.Valid;
        p.Faults = SimWire::ReadBE32(reinterpret_cast<const quint8*>(r.Items.constData()) + 4);
        p.Extra = r.Items.mid(33);
        return p;
    }

    static QByteArray FaultRecord(quint32 Bits)
    {
        QByteArray rec = QByteArray::fromHex("03020004");
        SimWire::AppendBE32(rec, Bits);
        return rec;
    }

    SimModem Modem;
};

} // namespace

TEST_F(TimedFaultTest, DeviceIsSilentOnlyInsideItsWindow)
{
    Modem.AddDevice(2001, 1, 16);
    Modem.AddDevice(2002, 2, 16);
    SimFault silence;
    QString err;
    ASSERT_TRUE(SimFault::Parse(QStringLiteral("silence @20000/60000+40000"), silence, err));
    ASSERT_TRUE(Modem.SetFault(2001, silence));

    const struct
    {
        qint64 Ms;
        bool Answers;
    } moments[] = {{1000, true},  {39900, true}, {40000, false},  {45000, false}, {59900, false},
                   {60000, true}, {99000, true}, {100500, false}, {121000, true}};
    for (const auto& m : moments) {
        EXPECT_EQ(PollAt(m.Ms, 2001).Answered, m.Answers) << m.Ms;
        // A neighbour on the same channel is not affected.
        EXPECT_TRUE(PollAt(m.Ms + 100, 2002).Answered) << m.Ms;
    }
    // The fault itself stays set all along; only its effect comes and goes.
    Modem.WithDevice(2001, [&](SimDevice& d) { EXPECT_EQ(d.Fault(), silence); });
}

TEST_F(TimedFaultTest, ScheduleCountsFromTheClockOrigin)
{
    // The pty server puts the origin at the moment its port comes up.
    Modem.AddDevice(2001, 1, 16);
    SimFault silence;
    QString err;
    ASSERT_TRUE(SimFault::Parse(QStringLiteral("silence @20000/60000+40000"), silence, err));
    Modem.SetFault(2001, silence);
    const qint64 origin = 7'654'321;
    Modem.SetClockOriginMs(origin);
    EXPECT_EQ(Modem.ClockOriginMs(), origin);
    EXPECT_TRUE(PollAt(origin + 39000, 2001).Answered);
    EXPECT_FALSE(PollAt(origin + 41000, 2001).Answered);
    EXPECT_TRUE(PollAt(origin + 61000, 2001).Answered);

    // Waveforms run on the same scenario time.
    Modem.WithDevice(2001, [](SimDevice& d) { d.SetWaveform(1, SimWaveform::Ramp(0, 60, 60000)); });
    const Reply r = Parse(ExchangeAt(origin + 90000, Request(2001, Read(0x0205, 4))));
    ASSERT_TRUE(r.Valid);
    EXPECT_FLOAT_EQ(SimWire::FloatFromBE(reinterpret_cast<const quint8*>(r.Items.constData()) + 4), 30.0f);
}

TEST_F(TimedFaultTest, OtherFaultsFollowTheirWindowToo)
{
    Modem.AddDevice(1234, 1, 16);
    SimFault late;
    QString err;
    ASSERT_TRUE(SimFault::Parse(QStringLiteral("late 300 @1000/10000"), late, err));
    Modem.SetFault(1234, late);
    const QByteArray request = Request(1234, Read(0x0000, 2));
    // Inside the window the reply is due 300 ms late, outside it after the usual turnaround.
    Modem.Feed(request, 500);
    EXPECT_EQ(Modem.NextDueMs(), 500 + SimModem::DefaultTurnaroundMs + 300);
    EXPECT_EQ(Modem.TakeDue(2000).size(), 1);
    Modem.Feed(request, 2500);
    EXPECT_EQ(Modem.NextDueMs(), 2500 + SimModem::DefaultTurnaroundMs);
    EXPECT_EQ(Modem.TakeDue(3000).size(), 1);

    SimFault errors;
    ASSERT_TRUE(SimFault::Parse(QStringLiteral("error 1 all @1000/10000"), errors, err));
    Modem.SetFault(1234, errors);
    EXPECT_EQ(Parse(ExchangeAt(20500, request)).Items, QByteArray::fromHex("8101"));
    EXPECT_EQ(Parse(ExchangeAt(21500, request)).Items, QByteArray::fromHex("010000020001"));
}

TEST_F(TimedFaultTest, PulsedFaultBitsAreReadAndReportedOnceWhenTheyChange)
{
    Modem.AddDevice(3002, 1, 16);
    SimSchedule when;
    ASSERT_TRUE(SimSchedule::Every(90000, 15000, 50000, when));
    Modem.WithDevice(3002, [&](SimDevice& d) {
        d.SetFaultRegister(0x4);
        d.SetFaultPulse(0x2, when);
        EXPECT_EQ(d.FaultRegisterAt(49999), 0x4u);
        EXPECT_EQ(d.FaultRegisterAt(50000), 0x6u);
        EXPECT_EQ(d.FaultRegisterAt(64999), 0x6u);
        EXPECT_EQ(d.FaultRegisterAt(65000), 0x4u);
        EXPECT_EQ(d.FaultRegisterAt(140000), 0x6u);
    });

    // The steady bit goes out as an extra record once, with the first reply.
    Poll p = PollAt(1000, 3002);
    ASSERT_TRUE(p.Answered);
    EXPECT_EQ(p.Faults, 0x4u);
    EXPECT_EQ(p.Extra, FaultRecord(0x4));
    p = PollAt(49000, 3002);
    EXPECT_EQ(p.Faults, 0x4u);
    EXPECT_TRUE(p.Extra.isEmpty());

    p = PollAt(50500, 3002);
    EXPECT_EQ(p.Faults, 0x6u);
    EXPECT_EQ(p.Extra, FaultRecord(0x6));
    p = PollAt(60000, 3002);
    EXPECT_EQ(p.Faults, 0x6u);
    EXPECT_TRUE(p.Extra.isEmpty());

    p = PollAt(66000, 3002);
    EXPECT_EQ(p.Faults, 0x4u);
    EXPECT_EQ(p.Extra, FaultRecord(0x4));

    // The next period sets the bit again.
    EXPECT_EQ(PollAt(141000, 3002).Faults, 0x6u);

    // A plain fault register ends the schedule.
    Modem.WithDevice(3002, [](SimDevice& d) { d.SetFaultRegister(0); });
    EXPECT_EQ(PollAt(142000, 3002).Faults, 0u);
    EXPECT_EQ(PollAt(231000, 3002).Faults, 0u);
}
