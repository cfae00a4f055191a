// klov-netsim: a radio modem with a network of simulated measuring devices, served
// on a pseudo-terminal published as COM<n> in a ports folder.
//
//   klov-netsim --ports DIR --port N [--scenario FILE] [--usb-port M [--usb-device SERIAL:TYPE]]
//   klov-netsim [--scenario FILE] --devices-list
//
// Without a scenario the demonstration network (demo.scn, built in) is served.
// --usb-port also serves one device on its own USB serial port, COM<M> in the
// same folder, for the firmware update over USB (default device 1234 of type 1).
// --devices-list prints the serial numbers on the modem's channel as the settings
// file's DevicesList wants them ("1234,1235") and exits.
// Runs until SIGINT or SIGTERM (or "quit"). Once the port is published it prints
// "ready COM<n> -> <pty>" on stdout.
//
// Control channel: one command per line on stdin, one reply per command on stdout
// ("ok", "error: ...", or the data asked for). End of input leaves the simulator
// running. Commands:
//   help | list | channel N | power CODE | status default|silent|HEX
//   fault SERIAL none|silence|attempt K [repeat]|late [MS]|truncated N|length|crc|
//                source ADDR|error CODE [ITEM|all]|extra N|portgone  [@ON/PERIOD[+OFFSET]]
//   set SERIAL key=value ...          (keys as in a scenario line)
//   add SERIAL TYPE CHANNEL [key=value ...] | remove SERIAL
//   portgone | portback | received | clear | quit
// Examples: "fault 1234 silence", "fault 1234 none", "channel 17",
// "set 1235 faults=0x8 ch1=const:42".

#include "tools/netsim/NetSimServer.h"
#include "tools/netsim/SimControl.h"
#include "tools/netsim/SimScenario.h"
#include "tools/netsim/SimUsbDevice.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <unistd.h>

namespace {

int SignalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char b = 1;
    [[maybe_unused]] const auto n = ::write(SignalPipe[1], &b, 1);
}

void Say(const QString& Text)
{
    std::fputs(Text.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("klov-netsim"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated radio modem and measuring devices on a pty"));
    parser.addHelpOption();
    const QCommandLineOption portsOpt(QStringLiteral("ports"), QStringLiteral("Ports folder."),
                                      QStringLiteral("DIR"));
    const QCommandLineOption portOpt(QStringLiteral("port"), QStringLiteral("Port number 1..255."),
                                     QStringLiteral("N"));
    const QCommandLineOption scenarioOpt(QStringLiteral("scenario"), QStringLiteral("Network description."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption listOpt(
        QStringLiteral("devices-list"),
        QStringLiteral("Print the serial numbers on the modem's channel and exit."));
    parser.addOption(portsOpt);
    parser.addOption(portOpt);
    parser.addOption(scenarioOpt);
    const QCommandLineOption usbPortOpt(QStringLiteral("usb-port"),
                                        QStringLiteral("Port number of a device on its own USB port."),
                                        QStringLiteral("M"));
    const QCommandLineOption usbDeviceOpt(QStringLiteral("usb-device"),
                                          QStringLiteral("That device's serial number and type."),
                                          QStringLiteral("SERIAL:TYPE"), QStringLiteral("1234:1"));
    parser.addOption(listOpt);
    parser.addOption(usbPortOpt);
    parser.addOption(usbDeviceOpt);
    parser.process(app);

    bool ok = false;
    const int port = parser.value(portOpt).toInt(&ok);
    if (!parser.isSet(listOpt) && (!parser.isSet(portsOpt) || !ok)) {
        std::fputs("usage: klov-netsim --ports DIR --port N [--scenario FILE]\n"
                   "       klov-netsim [--scenario FILE] --devices-list\n",
                   stderr);
        return 2;
    }

    NetSimServer server;
    QString err;
    const bool loaded = parser.isSet(scenarioOpt)
                            ? SimScenario::LoadFile(parser.value(scenarioOpt), server.Modem(), err)
                            : SimScenario::LoadDemo(server.Modem(), err);
    if (!loaded) {
        std::fprintf(stderr, "klov-netsim: %s\n", err.toLocal8Bit().constData());
        return 1;
    }
    if (parser.isSet(listOpt)) {
        Say(SimScenario::DevicesList(server.Modem()));
        return 0;
    }

    if (::pipe2(SignalPipe, O_CLOEXEC) != 0)
        return 1;
    struct sigaction sa = {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (!server.Start(parser.value(portsOpt), port, err)) {
        std::fprintf(stderr, "klov-netsim: %s\n", err.toLocal8Bit().constData());
        return 1;
    }
    Say(QStringLiteral("ready COM%1 -> %2").arg(port).arg(server.SlavePath()));

    std::unique_ptr<SimUsbDevice> usbDevice;
    std::unique_ptr<NetSimServer> usbServer;
    if (parser.isSet(usbPortOpt)) {
        const QStringList serialAndType = parser.value(usbDeviceOpt).split(QLatin1Char(':'));
        bool serialOk = false;
        bool typeOk = false;
        const int serial = serialAndType.value(0).toInt(&serialOk);
        const int type = serialAndType.value(1).toInt(&typeOk);
        if (!serialOk || !typeOk || serial < 0 || serial > 65535 || (type != 1 && type != 2)) {
            std::fputs("klov-netsim: --usb-device SERIAL:TYPE with TYPE 1 or 2\n", stderr);
            server.Stop();
            return 2;
        }
        usbDevice = std::make_unique<SimUsbDevice>(quint16(serial), type);
        usbServer = std::make_unique<NetSimServer>(*usbDevice);
        if (!usbServer->Start(parser.value(portsOpt), parser.value(usbPortOpt).toInt(), err)) {
            std::fprintf(stderr, "klov-netsim: %s\n", err.toLocal8Bit().constData());
            server.Stop();
            return 1;
        }
        Say(QStringLiteral("ready USB COM%1 -> %2").arg(parser.value(usbPortOpt), usbServer->SlavePath()));
    }

    SimControl control(server);
    bool stdinOpen = true;
    QByteArray pending;
    bool quit = false;
    while (!quit) {
        pollfd fds[2] = {{SignalPipe[0], POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, stdinOpen ? 2 : 1, -1) < 0)
            continue; // EINTR from our own signal: the pipe says the rest
        if (fds[0].revents & POLLIN)
            break;
        if (!stdinOpen || !(fds[1].revents & (POLLIN | POLLHUP)))
            continue;
        char buf[1024];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            stdinOpen = false;
            continue;
        }
        pending.append(buf, n);
        qsizetype eol;
        while (!quit && (eol = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(eol)).trimmed();
            pending.remove(0, eol + 1);
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            QString reply;
            quit = control.Execute(line, reply) == SimControl::Result::Quit;
            Say(reply);
        }
    }
    if (usbServer)
        usbServer->Stop();
    server.Stop();
    return 0;
}
