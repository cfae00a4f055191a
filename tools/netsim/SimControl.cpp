#include "tools/netsim/SimControl.h"

#include "tools/netsim/SimScenario.h"

namespace {

const char* const HelpText =
    "commands: help, list, channel N, power CODE, status default|silent|HEX, "
    "fault SERIAL MODE [ARGS], firmware SERIAL none|crc|refuse N [CODE] [all]|silence N, "
    "echo SERIAL CODE|none, set SERIAL key=value..., "
    "add SERIAL TYPE CHANNEL [key=value...], remove SERIAL, portgone, portback, "
    "received, clear, quit";

} // namespace

SimControl::Result SimControl::Execute(const QString& Line, QString& Reply)
{
    const QStringList words = SimScenario::Split(Line);
    Reply.clear();
    if (words.isEmpty())
        return Result::Ok;
    const QString cmd = words[0].toLower();
    SimModem& modem = Server_.Modem();
    const auto fail = [&Reply](const QString& Text) {
        Reply = QStringLiteral("error: ") + Text;
        return Result::Error;
    };
    const auto serialOf = [&words](int& Serial) {
        return words.size() > 1 && SimScenario::ParseNumber(words[1], 0, 0xFFFF, Serial);
    };
    int n = 0;
    QString err;

    if (cmd == QLatin1String("quit") || cmd == QLatin1String("exit")) {
        Reply = QStringLiteral("bye");
        return Result::Quit;
    }
    if (cmd == QLatin1String("help")) {
        Reply = QString::fromLatin1(HelpText);
        return Result::Ok;
    }
    if (cmd == QLatin1String("list")) {
        QStringList lines;
        for (const quint16 serial : modem.Serials()) {
            modem.WithDevice(serial, [&lines](SimDevice& d) {
                QString line = QStringLiteral("%1 type %2 channel %3 fault %4")
                                   .arg(d.Serial())
                                   .arg(d.Type())
                                   .arg(d.Channel())
                                   .arg(d.Fault().ToText());
                if (d.FaultPulseBits() != 0)
                    line += QStringLiteral(" faults 0x%1@%2")
                                .arg(d.FaultPulseBits(), 0, 16)
                                .arg(d.FaultPulseWhen().ToText());
                lines.append(line);
            });
        }
        lines.append(QStringLiteral("modem channel %1 power 0x%2")
                         .arg(modem.Channel())
                         .arg(modem.PowerCode(), 2, 16, QLatin1Char('0')));
        Reply = lines.join(QLatin1Char('\n'));
        return Result::Ok;
    }
    if (cmd == QLatin1String("channel")) {
        if (words.size() != 2 || !SimScenario::ParseNumber(words[1], 16, 23, n))
            return fail(QStringLiteral("channel needs 16..23"));
        modem.SetChannel(n);
    } else if (cmd == QLatin1String("power")) {
        if (words.size() != 2 || !SimScenario::ParseNumber(words[1], 0, 255, n))
            return fail(QStringLiteral("power needs a code byte"));
        modem.SetPowerCode(quint8(n));
    } else if (cmd == QLatin1String("status")) {
        const QString arg = words.value(1).toLower();
        if (arg == QLatin1String("default"))
            modem.SetStatusOverride(std::nullopt);
        else if (arg == QLatin1String("silent"))
            modem.SetStatusOverride(QByteArray());
        else {
            const QByteArray bytes = QByteArray::fromHex(arg.toLatin1());
            if (bytes.isEmpty() || bytes.toHex() != arg.toLatin1())
                return fail(QStringLiteral("status needs default, silent or hex bytes"));
            modem.SetStatusOverride(bytes);
        }
    } else if (cmd == QLatin1String("fault")) {
        SimFault fault;
        if (!serialOf(n))
            return fail(QStringLiteral("fault needs a serial number"));
        if (!SimFault::Parse(words.mid(2).join(QLatin1Char(' ')), fault, err))
            return fail(err);
        if (!modem.SetFault(quint16(n), fault))
            return fail(QStringLiteral("no device %1").arg(n));
    } else if (cmd == QLatin1String("firmware")) {
        SimFwFault fault;
        if (!serialOf(n))
            return fail(QStringLiteral("firmware needs a serial number"));
        if (!SimFwFault::Parse(words.mid(2).join(QLatin1Char(' ')), fault, err))
            return fail(err);
        if (!modem.WithDevice(quint16(n), [&](SimDevice& d) { d.Firmware().SetFault(fault); }))
            return fail(QStringLiteral("no device %1").arg(n));
    } else if (cmd == QLatin1String("echo")) {
        if (!serialOf(n) || words.size() != 3)
            return fail(QStringLiteral("echo needs a serial number and a code or none"));
        std::optional<quint8> code;
        if (words[2] != QLatin1String("none")) {
            bool ok = false;
            const int c = words[2].toInt(&ok, 0);
            if (!ok || c < 0 || c > 255)
                return fail(QStringLiteral("echo code 0..255 or none"));
            code = quint8(c);
        }
        if (!modem.WithDevice(quint16(n), [&](SimDevice& d) { d.SetCommandEchoOverride(code); }))
            return fail(QStringLiteral("no device %1").arg(n));
    } else if (cmd == QLatin1String("set")) {
        if (!serialOf(n))
            return fail(QStringLiteral("set needs a serial number"));
        bool ok = false;
        if (!modem.WithDevice(quint16(n),
                              [&](SimDevice& d) { ok = SimScenario::Configure(d, words.mid(2), err); }))
            return fail(QStringLiteral("no device %1").arg(n));
        if (!ok)
            return fail(err);
    } else if (cmd == QLatin1String("add")) {
        if (!SimScenario::AddDevice(words.mid(1), modem, err))
            return fail(err);
    } else if (cmd == QLatin1String("remove")) {
        if (!serialOf(n) || !modem.RemoveDevice(quint16(n)))
            return fail(QStringLiteral("no such device"));
    } else if (cmd == QLatin1String("portgone")) {
        Server_.DropPort();
    } else if (cmd == QLatin1String("portback")) {
        if (!Server_.RestorePort(err))
            return fail(err);
    } else if (cmd == QLatin1String("received")) {
        const QByteArray bytes = Server_.Received();
        Reply = QStringLiteral("%1 bytes %2").arg(bytes.size()).arg(QString::fromLatin1(bytes.toHex(' ')));
        return Result::Ok;
    } else if (cmd == QLatin1String("clear")) {
        Server_.ClearRecords();
    } else {
        return fail(QStringLiteral("unknown command \"%1\"; try help").arg(words[0]));
    }
    Reply = QStringLiteral("ok");
    return Result::Ok;
}
