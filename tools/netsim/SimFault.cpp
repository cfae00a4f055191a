#include "tools/netsim/SimFault.h"

#include <QStringList>

namespace {

bool ParseInt(const QString& Text, int Min, int Max, int& Value)
{
    bool ok = false;
    const int v = Text.toInt(&ok, 0);
    if (!ok || v < Min || v > Max)
        return false;
    Value = v;
    return true;
}

} // namespace

bool SimFault::Parse(const QString& Text, SimFault& Fault, QString& ErrMsg)
{
    const qsizetype at = Text.indexOf(QLatin1Char('@'));
    SimSchedule when;
    if (at >= 0 && !SimSchedule::Parse(Text.mid(at + 1), when, ErrMsg))
        return false;
    const QStringList words = Text.left(at).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty()) {
        ErrMsg = QStringLiteral("no fault given");
        return false;
    }
    const QString kind = words[0].toLower();
    const QString arg1 = words.size() > 1 ? words[1] : QString();
    const QString arg2 = words.size() > 2 ? words[2].toLower() : QString();
    SimFault f;
    bool ok = true;
    if (kind == QLatin1String("none")) {
        f = None();
    } else if (kind == QLatin1String("silence")) {
        f = Silence();
    } else if (kind == QLatin1String("attempt")) {
        ok = ParseInt(arg1, 1, 1000, f.Value) && (arg2.isEmpty() || arg2 == QLatin1String("repeat"));
        f.Mode = SimFaultMode::ReplyOnAttempt;
        f.Repeat = arg2 == QLatin1String("repeat");
    } else if (kind == QLatin1String("late")) {
        f = Late();
        ok = arg1.isEmpty() || ParseInt(arg1, 0, 60000, f.Value);
    } else if (kind == QLatin1String("truncated")) {
        f.Mode = SimFaultMode::Truncated;
        ok = ParseInt(arg1, 0, 4096, f.Value);
    } else if (kind == QLatin1String("length")) {
        f = WrongLength();
    } else if (kind == QLatin1String("crc")) {
        f = BadCrc();
    } else if (kind == QLatin1String("source")) {
        f.Mode = SimFaultMode::OtherSource;
        ok = ParseInt(arg1, 0, 0xFFFF, f.Value);
    } else if (kind == QLatin1String("error")) {
        f.Mode = SimFaultMode::ErrorItem;
        ok = ParseInt(arg1, 0, 255, f.Value);
        if (ok && arg2 == QLatin1String("all"))
            f.Item = -1;
        else if (ok && !arg2.isEmpty())
            ok = ParseInt(arg2, 0, 63, f.Item);
    } else if (kind == QLatin1String("short")) {
        f.Mode = SimFaultMode::ShortItem;
        if (arg1 == QLatin1String("all"))
            f.Item = -1;
        else if (!arg1.isEmpty())
            ok = ParseInt(arg1, 0, 63, f.Item);
    } else if (kind == QLatin1String("extra")) {
        f.Mode = SimFaultMode::ExtraRecords;
        ok = ParseInt(arg1, 0, 64, f.Value);
    } else if (kind == QLatin1String("portgone")) {
        f = PortGone();
    } else {
        ErrMsg = QStringLiteral("unknown fault \"%1\"").arg(kind);
        return false;
    }
    if (!ok) {
        ErrMsg = QStringLiteral("bad arguments for fault \"%1\"").arg(kind);
        return false;
    }
    if (f.Mode == SimFaultMode::None && at >= 0) {
        ErrMsg = QStringLiteral("\"none\" takes no schedule");
        return false;
    }
    f.When = when;
    Fault = f;
    return true;
}

QString SimFault::ToText() const
{
    const QString base = modeText();
    return When.IsAlways() ? base : base + QStringLiteral(" @") + When.ToText();
}

QString SimFault::modeText() const
{
    switch (Mode) {
    case SimFaultMode::None:
        return QStringLiteral("none");
    case SimFaultMode::Silence:
        return QStringLiteral("silence");
    case SimFaultMode::ReplyOnAttempt:
        return QStringLiteral("attempt %1%2").arg(Value).arg(Repeat ? QStringLiteral(" repeat") : QString());
    case SimFaultMode::Late:
        return QStringLiteral("late %1").arg(Value);
    case SimFaultMode::Truncated:
        return QStringLiteral("truncated %1").arg(Value);
    case SimFaultMode::WrongLength:
        return QStringLiteral("length");
    case SimFaultMode::BadCrc:
        return QStringLiteral("crc");
    case SimFaultMode::OtherSource:
        return QStringLiteral("source %1").arg(Value);
    case SimFaultMode::ErrorItem:
        return QStringLiteral("error %1 %2")
            .arg(Value)
            .arg(Item < 0 ? QStringLiteral("all") : QString::number(Item));
    case SimFaultMode::ShortItem:
        return QStringLiteral("short %1").arg(Item < 0 ? QStringLiteral("all") : QString::number(Item));
    case SimFaultMode::ExtraRecords:
        return QStringLiteral("extra %1").arg(Value);
    case SimFaultMode::PortGone:
        return QStringLiteral("portgone");
    }
    return {};
}
