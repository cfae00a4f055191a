#include "tools/netsim/SimFault.h"
#include "tools/netsim/SimSchedule.h"

#include <gtest/gtest.h>

TEST(SimSchedule, WindowOpensAtItsOffsetAndRepeatsEveryPeriod)
{
    SimSchedule s;
    QString err;
    ASSERT_TRUE(SimSchedule::Parse(QStringLiteral("20000/60000+40000"), s, err)) << err.toStdString();
    EXPECT_EQ(s.PeriodMs(), 60000);
    EXPECT_EQ(s.OnMs(), 20000);
    EXPECT_EQ(s.OffsetMs(), 40000);
    const struct
    {
        qint64 Ms;
        bool On;
    } moments[] = {
        {0, false},
        {39999, false},
        {40000, true},
        {59999, true},
        {60000, false},
        {99999, false},
        {100000, true},
        {119999, true},
        {120000, false},
        // Before scenario time 0 the same rhythm holds.
        {-1, true},
        {-20000, true},
        {-20001, false},
        {-60000, false},
    };
    for (const auto& m : moments)
        EXPECT_EQ(s.ActiveAt(m.Ms), m.On) << m.Ms;

    // Without an offset the window opens at the start of every period.
    ASSERT_TRUE(SimSchedule::Parse(QStringLiteral(" 500/2000 "), s, err));
    EXPECT_TRUE(s.ActiveAt(0));
    EXPECT_TRUE(s.ActiveAt(499));
    EXPECT_FALSE(s.ActiveAt(500));
    EXPECT_TRUE(s.ActiveAt(4000));

    // Zero length never opens; the full period never closes.
    ASSERT_TRUE(SimSchedule::Parse(QStringLiteral("0/1000"), s, err));
    EXPECT_FALSE(s.ActiveAt(0));
    ASSERT_TRUE(SimSchedule::Parse(QStringLiteral("1000/1000+999"), s, err));
    EXPECT_TRUE(s.ActiveAt(0) && s.ActiveAt(998) && s.ActiveAt(999) && s.ActiveAt(123456789));

    EXPECT_TRUE(SimSchedule::Always().IsAlways());
    EXPECT_TRUE(SimSchedule::Always().ActiveAt(-5));
    EXPECT_TRUE(SimSchedule::Always().ToText().isEmpty());
}

TEST(SimSchedule, ParseRejectsWindowsThatMakeNoSenseAndRoundTrips)
{
    for (const char* bad : {"", "20000", "20000/", "/60000", "70000/60000", "1/0", "10/60+60", "10/60+-1",
                            "-10/60", "a/60", "10/60 extra", "10/60+", "1/90000000"}) {
        SimSchedule s = SimSchedule::Always();
        QString err;
        EXPECT_FALSE(SimSchedule::Parse(QString::fromLatin1(bad), s, err)) << bad;
        EXPECT_TRUE(err.startsWith(QStringLiteral("bad schedule"))) << bad;
        EXPECT_TRUE(s.IsAlways()) << bad;
    }
    for (const char* good : {"20000/60000+40000", "5/10", "0/1", "86400000/86400000+1"}) {
        SimSchedule s;
        QString err;
        ASSERT_TRUE(SimSchedule::Parse(QString::fromLatin1(good), s, err)) << good;
        EXPECT_EQ(s.ToText(), QString::fromLatin1(good));
    }
}

TEST(SimFault, ScheduleAfterTheFaultMakesItComeAndGo)
{
    SimFault f;
    QString err;
    ASSERT_TRUE(SimFault::Parse(QStringLiteral("late 150 @1000/5000+10"), f, err)) << err.toStdString();
    EXPECT_EQ(f.Mode, SimFaultMode::Late);
    EXPECT_EQ(f.Value, 150);
    EXPECT_EQ(f.ToText(), QStringLiteral("late 150 @1000/5000+10"));
    EXPECT_EQ(f.At(10), f);
    EXPECT_EQ(f.At(1009), f);
    EXPECT_EQ(f.At(1010), SimFault::None());
    EXPECT_EQ(f.At(5010), f);

    ASSERT_TRUE(SimFault::Parse(QStringLiteral("silence@20000/60000"), f, err));
    EXPECT_EQ(f.Mode, SimFaultMode::Silence);
    EXPECT_EQ(f.ToText(), QStringLiteral("silence @20000/60000"));
    // The same fault with and without a window are different faults.
    EXPECT_NE(f, SimFault::Silence());

    ASSERT_TRUE(SimFault::Parse(QStringLiteral("error 1 all"), f, err));
    EXPECT_TRUE(f.When.IsAlways());
    EXPECT_EQ(f.At(-123), f);

    const SimFault before = f;
    for (const char* bad :
         {"silence @", "silence @20000", "silence @7/5", "none @1/2", "@1/2", "bogus @1/2"}) {
        EXPECT_FALSE(SimFault::Parse(QString::fromLatin1(bad), f, err)) << bad;
        EXPECT_EQ(f, before) << bad;
    }
}
