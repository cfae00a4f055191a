#include "core/Logging.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

bool LogDebugInfo = false;

namespace {

QString& overrideName()
{
    static QString name;
    return name;
}

QString defaultLogName()
{
    QString exe = QCoreApplication::applicationFilePath();
    if (exe.isEmpty())
        exe = QDir::current().absoluteFilePath(QStringLiteral("klov"));
    const QFileInfo info(exe);
    const QString name = info.completeBaseName() + QStringLiteral(".log");
    const QString beside = info.absolutePath() + QLatin1Char('/') + name;
    if (QFileInfo(info.absolutePath()).isWritable())
        return beside;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QDir().mkpath(data);
    return data + QLatin1Char('/') + name;
}

// The first punctuation character of a locale pattern, e.g. '.' in "dd.MM.yyyy".
QChar separatorOf(const QString& pattern, QChar fallback)
{
    for (const QChar c : pattern) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('\''))
            return c.isSpace() ? fallback : c;
    }
    return fallback;
}

} // namespace

QChar HexDigit(quint8 Value)
{
    static const char digits[] = "0123456789ABCDEF";
    return QLatin1Char(digits[Value & 0x0F]);
}

QString bin2char(std::span<const quint8> Data, int Count)
{
    const int n = qBound(0, Count, static_cast<int>(Data.size()));
    QString text;
    text.reserve(n * 3);
    for (int i = 0; i < n; ++i) {
        text += HexDigit(Data[i] >> 4);
        text += HexDigit(Data[i] & 0x0F);
        text += QLatin1Char(' ');
    }
    return text;
}

QChar SystemDateSeparator()
{
    return separatorOf(QLocale::system().dateFormat(QLocale::ShortFormat), QLatin1Char('/'));
}

QChar SystemTimeSeparator()
{
    return separatorOf(QLocale::system().timeFormat(QLocale::ShortFormat), QLatin1Char(':'));
}

QString FormatLogTimeStamp(const QDateTime& When, QChar DateSep, QChar TimeSep)
{
    const QDate d = When.date();
    const QTime t = When.time();
    auto two = [](int v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return two(d.day()) + DateSep + two(d.month()) + DateSep +
           QStringLiteral("%1").arg(d.year(), 4, 10, QLatin1Char('0')) + QLatin1Char(' ') + two(t.hour()) +
           TimeSep + two(t.minute()) + TimeSep + two(t.second()) + QLatin1Char('.') +
           QStringLiteral("%1").arg(t.msec(), 3, 10, QLatin1Char('0'));
}

QString FormatLogTimeStamp(const QDateTime& When)
{
    return FormatLogTimeStamp(When, SystemDateSeparator(), SystemTimeSeparator());
}

QString LogFileName()
{
    return overrideName().isEmpty() ? defaultLogName() : overrideName();
}

void SetLogFileName(const QString& FileName)
{
    overrideName() = FileName;
}

void WriteLog(const QString& Msg)
{
    QFile file(LogFileName());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    const QByteArray line =
        (FormatLogTimeStamp(QDateTime::currentDateTime()) + QStringLiteral(": ") + Msg + QLatin1Char('\n'))
            .toUtf8();
    file.write(line);
    file.close();
}
