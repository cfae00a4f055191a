#include "support/SureWait.h"
#include "tests/netsim/PtyClient.h"
#include "tools/netsim/NetSimServer.h"
#include "tools/netsim/SimControl.h"
#include "tools/netsim/SimScenario.h"
#include "tools/netsim/SimWire.h"

#include <QSerialPort>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(SimScenario, LoadsModemAndDevicesWithTheirSettings)
{
    SimModem modem;
    QString err;
    ASSERT_TRUE(SimScenario::LoadText(QStringLiteral("# two devices\n"
                                                     "modem channel=18 power=0x6E\n"
                                                     "\n"
                                                     "device 100 1 18 ch1=const:12.5 faults=0x10 hw=7\n"
                                                     "device 0x65 2 19 name2=\"Уровень воды/м\" range2=-1/4 "
                                                     "comment=\"Бак 2\" fault=\"attempt 2\" pclevel=0x20\n"),
                                      modem, err))
        << err.toStdString();
    EXPECT_EQ(modem.Channel(), 18);
    EXPECT_EQ(modem.PowerCode(), 0x6E);
    EXPECT_EQ(modem.Serials(), (QList<quint16>{100, 101}));
    modem.WithDevice(100, [](SimDevice& d) {
        EXPECT_EQ(d.Type(), 1);
        EXPECT_EQ(d.Channel(), 18);
        EXPECT_FLOAT_EQ(d.ValueAt(1, 777), 12.5f);
        EXPECT_EQ(d.FaultRegister(), 0x10u);
        EXPECT_EQ(d.Register8(SimDevice::RegHwVersion), 7);
    });
    modem.WithDevice(101, [](SimDevice& d) {
        EXPECT_EQ(d.Fault(), SimFault::ReplyOnAttempt(2));
        EXPECT_EQ(d.PcLevel(), 0x20);
        EXPECT_EQ(d.Registers(SimDevice::RegQuantityName2, 40),
                  QByteArray("\xD3\xF0\xEE\xE2\xE5\xED\xFC \xE2\xEE\xE4\xFB").leftJustified(24, ' ') +
                      QByteArray("\xEC").leftJustified(16, ' '));
        EXPECT_EQ(d.Registers(SimDevice::RegMeasRange2, 8), SimWire::FloatBE(4) + SimWire::FloatBE(-1));
        EXPECT_EQ(d.Registers(SimDevice::RegComment, 32),
                  QByteArray("\xC1\xE0\xEA 2").leftJustified(32, ' '));
    });
}

TEST(SimScenario, ReportsTheFirstBadLine)
{
    const struct
    {
        const char* Text;
        const char* Error;
    } cases[] = {
        {"device 1 3 16", "line 1: "},
        {"device 1 1 24", "line 1: "},
        {"\ndevice 1 1 16 ch1=wobble", "line 2: "},
        {"device 1 1 16 range1=0/1", "line 1: bad setting"},
        {"device 1 1 16 colour=red", "line 1: unknown setting"},
        {"device 1 1 16\ndevice 1 2 16", "line 2: device 1 already"},
        {"modem channel=30", "line 1: bad modem setting"},
        {"router 1", "line 1: unknown statement"},
    };
    for (const auto& c : cases) {
        SimModem modem;
        QString err;
        EXPECT_FALSE(SimScenario::LoadText(QString::fromUtf8(c.Text), modem, err)) << c.Text;
        EXPECT_TRUE(err.startsWith(QString::fromUtf8(c.Error))) << c.Text << " -> " << err.toStdString();
    }
}

TEST(SimScenario, SchedulesMakeFaultsAndFaultBitsComeAndGo)
{
    SimModem modem;
    QString err;
    ASSERT_TRUE(
        SimScenario::LoadText(QStringLiteral("device 2001 1 16 fault=\"silence @20000/60000+40000\"\n"
                                             "device 3002 1 16 faults=0x4 faults=0x2@15000/90000+50000 "
                                             "cj=sine:30:2:4000\n"
                                             "device 3003 2 16 faults=0x2@15000/90000 faults=0x10\n"),
                              modem, err))
        << err.toStdString();
    modem.WithDevice(2001, [](SimDevice& d) {
        EXPECT_EQ(d.Fault().Mode, SimFaultMode::Silence);
        EXPECT_EQ(d.Fault().When.ToText(), QStringLiteral("20000/60000+40000"));
    });
    modem.WithDevice(3002, [](SimDevice& d) {
        EXPECT_EQ(d.FaultRegisterAt(0), 0x4u);
        EXPECT_EQ(d.FaultRegisterAt(50000), 0x6u);
        // The built-in sensor's temperature moves too: read it through the register.
        const QByteArray reply = d.Answer(QByteArray::fromHex("01020d04"), 1000);
        EXPECT_FLOAT_EQ(SimWire::FloatFromBE(reinterpret_cast<const quint8*>(reply.constData()) + 4), 32.0f);
    });
    // A plain value after a scheduled one ends the schedule.
    modem.WithDevice(3003, [](SimDevice& d) {
        EXPECT_EQ(d.FaultRegisterAt(0), 0x10u);
        EXPECT_EQ(d.FaultPulseBits(), 0u);
    });

    for (const char* bad :
         {"device 1 1 16 faults=0x2@", "device 1 1 16 faults=0x2@10/5", "device 1 1 16 faults=x@1/2",
          "device 1 1 16 fault=\"silence @20000\"", "device 1 1 16 cj=warm"}) {
        SimModem m;
        EXPECT_FALSE(SimScenario::LoadText(QString::fromLatin1(bad), m, err)) << bad;
        EXPECT_TRUE(err.startsWith(QStringLiteral("line 1: bad setting")))
            << bad << " -> " << err.toStdString();
    }
}

TEST(SimControl, CommandsChangeTheRunningSimulator)
{
    QTemporaryDir dir;
    NetSimServer server;
    QString err;
    ASSERT_TRUE(server.Start(dir.path(), 4, err));
    SimControl control(server);
    QString reply;
    EXPECT_EQ(control.Execute(QStringLiteral("add 1234 1 16 ch1=const:1"), reply), SimControl::Result::Ok);
    EXPECT_EQ(reply, QStringLiteral("ok"));
    EXPECT_EQ(control.Execute(QStringLiteral("fault 1234 late 300"), reply), SimControl::Result::Ok);
    EXPECT_EQ(control.Execute(QStringLiteral("set 1234 faults=0x8"), reply), SimControl::Result::Ok);
    EXPECT_EQ(control.Execute(QStringLiteral("channel 17"), reply), SimControl::Result::Ok);
    server.Modem().WithDevice(1234, [](SimDevice& d) {
        EXPECT_EQ(d.Fault(), SimFault::Late(300));
        EXPECT_EQ(d.FaultRegister(), 8u);
    });
    EXPECT_EQ(server.Modem().Channel(), 17);
    EXPECT_EQ(control.Execute(QStringLiteral("list"), reply), SimControl::Result::Ok);
    EXPECT_TRUE(reply.contains(QStringLiteral("1234 type 1 channel 16 fault late 300")))
        << reply.toStdString();

    EXPECT_EQ(control.Execute(QStringLiteral("fault 1234 silence @20000/60000"), reply),
              SimControl::Result::Ok);
    EXPECT_EQ(control.Execute(QStringLiteral("set 1234 faults=0x2@1000/9000+500"), reply),
              SimControl::Result::Ok);
    EXPECT_EQ(control.Execute(QStringLiteral("list"), reply), SimControl::Result::Ok);
    EXPECT_TRUE(reply.contains(QStringLiteral("1234 type 1 channel 16 fault silence @20000/60000 "
                                              "faults 0x2@1000/9000+500")))
        << reply.toStdString();
    EXPECT_EQ(control.Execute(QStringLiteral("fault 1234 none"), reply), SimControl::Result::Ok);
    EXPECT_EQ(control.Execute(QStringLiteral("fault 1234 silence @"), reply), SimControl::Result::Error);
    EXPECT_EQ(control.Execute(QStringLiteral("fault 999 silence"), reply), SimControl::Result::Error);
    EXPECT_EQ(control.Execute(QStringLiteral("fault 1234 sometimes"), reply), SimControl::Result::Error);
    EXPECT_EQ(control.Execute(QStringLiteral("channel 15"), reply), SimControl::Result::Error);
    EXPECT_EQ(control.Execute(QStringLiteral("status 53zz"), reply), SimControl::Result::Error);
    EXPECT_EQ(control.Execute(QStringLiteral("frobnicate"), reply), SimControl::Result::Error);
    EXPECT_TRUE(reply.startsWith(QStringLiteral("error: ")));

    EXPECT_EQ(control.Execute(QStringLiteral("status 532060010102"), reply), SimControl::Result::Ok);
    PtyClient pc;
    ASSERT_TRUE(pc.Open(server.LinkPath()));
    ASSERT_TRUE(pc.Write("#S"));
    EXPECT_EQ(pc.Read(6, SureWaitMs), QByteArray::fromHex("532060010102"));
    EXPECT_EQ(control.Execute(QStringLiteral("received"), reply), SimControl::Result::Ok);
    EXPECT_EQ(reply, QStringLiteral("2 bytes 23 53"));

    EXPECT_EQ(control.Execute(QStringLiteral("portgone"), reply), SimControl::Result::Ok);
    EXPECT_FALSE(server.PortOpen());
    EXPECT_EQ(control.Execute(QStringLiteral("portback"), reply), SimControl::Result::Ok);
    EXPECT_TRUE(server.PortOpen());
    EXPECT_EQ(control.Execute(QStringLiteral("remove 1234"), reply), SimControl::Result::Ok);
    EXPECT_TRUE(server.Modem().Serials().isEmpty());
    EXPECT_EQ(control.Execute(QStringLiteral("quit"), reply), SimControl::Result::Quit);
}

// The application's serial layer sits on QSerialPort; the pty must suit it too,
// including a close and reopen of the same port.
TEST(NetSimServer, ServesQSerialPortAcrossReopen)
{
    QTemporaryDir dir;
    NetSimServer server;
    QString err;
    ASSERT_TRUE(server.Start(dir.path(), 9, err));
    // Well after the purge behind the write, however busy the machine.
    server.Modem().SetTurnaroundMs(200);
    for (int round = 0; round < 2; ++round) {
        QSerialPort port;
        port.setPortName(server.LinkPath());
        ASSERT_TRUE(port.open(QIODevice::ReadWrite)) << port.errorString().toStdString();
        port.setBaudRate(57600);
        port.setDataBits(QSerialPort::Data8);
        port.setParity(QSerialPort::NoParity);
        port.setStopBits(QSerialPort::OneStop);
        port.setFlowControl(QSerialPort::NoFlowControl);
        ASSERT_EQ(port.write("#S"), 2);
        ASSERT_TRUE(port.waitForBytesWritten(SureWaitMs));
        port.clear(QSerialPort::Input);
        QByteArray reply;
        while (reply.size() < 6 && port.waitForReadyRead(SureWaitMs))
            reply += port.readAll();
        EXPECT_EQ(reply, QByteArray::fromHex("5310c0010102")) << round;
        port.close();
    }
}
