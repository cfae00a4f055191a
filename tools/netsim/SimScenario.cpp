#include "tools/netsim/SimScenario.h"

#include "tools/netsim/SimWire.h"

#include <QFile>

namespace {

bool ParsePair(const QString& Text, float& A, float& B)
{
    const QStringList parts = Text.split(QLatin1Char('/'));
    bool okA = false;
    bool okB = false;
    if (parts.size() == 2) {
        A = parts[0].toFloat(&okA);
        B = parts[1].toFloat(&okB);
    }
    return okA && okB;
}

} // namespace

bool SimScenario::ParseNumber(const QString& Text, int Min, int Max, int& Value)
{
    bool ok = false;
    const qlonglong v = Text.trimmed().toLongLong(&ok, 0);
    if (!ok || v < Min || v > Max)
        return false;
    Value = int(v);
    return true;
}

QStringList SimScenario::Split(const QString& Line)
{
    QStringList words;
    QString word;
    bool quoted = false;
    bool any = false;
    for (const QChar c : Line) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            any = true;
        } else if (c.isSpace() && !quoted) {
            if (any)
                words.append(word);
            word.clear();
            any = false;
        } else {
            word.append(c);
            any = true;
        }
    }
    if (any)
        words.append(word);
    return words;
}

bool SimScenario::Configure(SimDevice& Device, const QStringList& Settings, QString& ErrMsg)
{
    for (const QString& setting : Settings) {
        const qsizetype eq = setting.indexOf(QLatin1Char('='));
        const QString key = setting.left(eq).toLower();
        const QString value = eq < 0 ? QString() : setting.mid(eq + 1);
        const int channel = key.endsWith(QLatin1Char('2')) ? 2 : 1;
        const QString stem =
            key.endsWith(QLatin1Char('1')) || key.endsWith(QLatin1Char('2')) ? key.chopped(1) : key;
        int n = 0;
        float a = 0;
        float b = 0;
        bool ok = eq > 0;
        if (!ok) {
        } else if (stem == QLatin1String("ch")) {
            SimWaveform wave;
            ok = SimWaveform::Parse(value, wave, ErrMsg);
            if (ok)
                Device.SetWaveform(channel, wave);
        } else if (key == QLatin1String("cj")) {
            SimWaveform wave;
            ok = SimWaveform::Parse(value, wave, ErrMsg);
            if (ok)
                Device.SetColdJunctionWaveform(wave);
        } else if (stem == QLatin1String("sensor")) {
            const QStringList parts = value.split(QLatin1Char('/'));
            int type = 0;
            ok = parts.size() == 2 && ParseNumber(parts[0], 0, 255, type) && ParseNumber(parts[1], 0, 255, n);
            if (ok)
                Device.SetSensor(channel, quint8(type), quint8(n));
        } else if (stem == QLatin1String("enable")) {
            ok = ParseNumber(value, 0, 1, n);
            if (ok)
                Device.SetChannelEnabled(channel, n == 1);
        } else if (stem == QLatin1String("limits")) {
            ok = ParsePair(value, a, b);
            if (ok)
                Device.SetAlarmLimits(channel, a, b);
        } else if (stem == QLatin1String("range")) {
            ok = Device.Type() == 2 && ParsePair(value, a, b);
            if (ok)
                Device.SetRange(channel, a, b);
        } else if (stem == QLatin1String("name")) {
            const qsizetype slash = value.indexOf(QLatin1Char('/'));
            ok = Device.Type() == 2 && slash >= 0;
            if (ok)
                Device.SetQuantityName(channel, value.left(slash), value.mid(slash + 1));
        } else if (key == QLatin1String("comment")) {
            Device.SetComment(value);
        } else if (key == QLatin1String("faults")) {
            // BITS alone is the steady register; BITS@SCHEDULE sets them on top now and then.
            const qsizetype at = value.indexOf(QLatin1Char('@'));
            const quint32 bits = value.left(at).trimmed().toUInt(&ok, 0);
            SimSchedule when;
            if (ok && at >= 0) {
                ok = SimSchedule::Parse(value.mid(at + 1), when, ErrMsg);
                if (ok)
                    Device.SetFaultPulse(bits, when);
            } else if (ok) {
                Device.SetFaultRegister(bits);
            }
        } else if (key == QLatin1String("level") || key == QLatin1String("pclevel")) {
            ok = ParseNumber(value, 0, 255, n);
            if (ok && key == QLatin1String("level"))
                Device.SetDeviceLevel(quint8(n));
            else if (ok)
                Device.SetPcLevel(quint8(n));
        } else if (key == QLatin1String("hw") || key == QLatin1String("power")) {
            ok = ParseNumber(value, 0, 255, n);
            if (ok)
                Device.SetRegisters(key == QLatin1String("hw") ? SimDevice::RegHwVersion
                                                               : SimDevice::RegTxPower,
                                    QByteArray(1, char(n)));
        } else if (key == QLatin1String("sw")) {
            ok = ParseNumber(value, 0, 0xFFFF, n);
            QByteArray bytes;
            SimWire::AppendBE16(bytes, quint16(n));
            if (ok)
                Device.SetRegisters(SimDevice::RegSwVersion, bytes);
        } else if (key == QLatin1String("busy")) {
            ok = ParseNumber(value, 0, 600000, n);
            if (ok)
                Device.SetCommandBusyMs(n);
        } else if (key == QLatin1String("report")) {
            ok = ParseNumber(value, 0, 1, n);
            if (ok)
                Device.SetReportFaultChanges(n == 1);
        } else if (key == QLatin1String("fault")) {
            SimFault fault;
            ok = SimFault::Parse(value, fault, ErrMsg);
            if (ok)
                Device.SetFault(fault);
        } else {
            ErrMsg = QStringLiteral("unknown setting \"%1\"").arg(key);
            return false;
        }
        if (!ok) {
            ErrMsg = QStringLiteral("bad setting \"%1\"").arg(setting);
            return false;
        }
    }
    return true;
}

bool SimScenario::AddDevice(const QStringList& Words, SimModem& Modem, QString& ErrMsg)
{
    int serial = 0;
    int type = 0;
    int channel = 0;
    if (Words.size() < 3 || !ParseNumber(Words[0], 1, 0xFFFF, serial) || !ParseNumber(Words[1], 1, 2, type) ||
        !ParseNumber(Words[2], 16, 23, channel)) {
        ErrMsg = QStringLiteral("a device needs SERIAL (1..65535) TYPE (1, 2) CHANNEL (16..23)");
        return false;
    }
    auto device = std::make_unique<SimDevice>(quint16(serial), type, channel);
    if (!Configure(*device, Words.mid(3), ErrMsg))
        return false;
    if (!Modem.AddDevice(std::move(device))) {
        ErrMsg = QStringLiteral("device %1 already works on channel %2").arg(serial).arg(channel);
        return false;
    }
    return true;
}

bool SimScenario::LoadText(const QString& Text, SimModem& Modem, QString& ErrMsg)
{
    const QStringList lines = Text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList words = Split(line);
        const QString what = words[0].toLower();
        QString err;
        bool ok = true;
        if (what == QLatin1String("device")) {
            ok = AddDevice(words.mid(1), Modem, err);
        } else if (what == QLatin1String("modem")) {
            for (const QString& setting : words.mid(1)) {
                const QString key = setting.section(QLatin1Char('='), 0, 0).toLower();
                int n = 0;
                if (key == QLatin1String("channel") &&
                    ParseNumber(setting.section(QLatin1Char('='), 1), 16, 23, n))
                    Modem.SetChannel(n);
                else if (key == QLatin1String("power") &&
                         ParseNumber(setting.section(QLatin1Char('='), 1), 0, 255, n))
                    Modem.SetPowerCode(quint8(n));
                else {
                    ok = false;
                    err = QStringLiteral("bad modem setting \"%1\"").arg(setting);
                }
            }
        } else {
            ok = false;
            err = QStringLiteral("unknown statement \"%1\"").arg(words[0]);
        }
        if (!ok) {
            ErrMsg = QStringLiteral("line %1: %2").arg(i + 1).arg(err);
            return false;
        }
    }
    return true;
}

bool SimScenario::LoadFile(const QString& FileName, SimModem& Modem, QString& ErrMsg)
{
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        ErrMsg = QStringLiteral("cannot read %1: %2").arg(FileName, file.errorString());
        return false;
    }
    if (!LoadText(QString::fromUtf8(file.readAll()), Modem, ErrMsg)) {
        ErrMsg = FileName + QStringLiteral(", ") + ErrMsg;
        return false;
    }
    return true;
}

bool SimScenario::LoadDemo(SimModem& Modem, QString& ErrMsg)
{
    return LoadFile(QStringLiteral(":/netsim/demo.scn"), Modem, ErrMsg);
}

QString SimScenario::DevicesList(const SimModem& Modem)
{
    QStringList serials;
    for (const quint16 s : Modem.SerialsOnChannel(Modem.Channel()))
        serials.append(QString::number(s));
    return serials.join(QLatin1Char(','));
}
