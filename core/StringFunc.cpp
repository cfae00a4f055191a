#include "core/StringFunc.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <string>

namespace {

bool isDigit(QChar C)
{
    return C >= QLatin1Char('0') && C <= QLatin1Char('9');
}

// Every character from From on is a digit or a comma.
bool digitsAndCommas(QStringView T, qsizetype From)
{
    for (qsizetype i = From; i < T.size(); ++i)
        if (!isDigit(T.at(i)) && T.at(i) != QLatin1Char(','))
            return false;
    return true;
}

bool signedDigitsAndCommas(QStringView T)
{
    return digitsAndCommas(T, T.startsWith(QLatin1Char('-')) ? 1 : 0);
}

// The number syntax of the platform's conversion: optional "-", digits with at
// most one decimal comma and at least one digit, optional exponent with sign and
// at least one digit. T holds no blanks.
bool convertibleSyntax(QStringView T)
{
    qsizetype i = 0;
    if (i < T.size() && T.at(i) == QLatin1Char('-'))
        ++i;
    int digits = 0;
    int commas = 0;
    for (; i < T.size(); ++i) {
        const QChar c = T.at(i);
        if (isDigit(c))
            ++digits;
        else if (c == QLatin1Char(',') && ++commas == 1)
            continue;
        else
            break;
    }
    if (digits == 0)
        return false;
    if (i == T.size())
        return true;
    if (T.at(i) != QLatin1Char('e') && T.at(i) != QLatin1Char('E'))
        return false;
    ++i;
    if (i < T.size() && (T.at(i) == QLatin1Char('+') || T.at(i) == QLatin1Char('-')))
        ++i;
    if (i == T.size())
        return false;
    for (; i < T.size(); ++i)
        if (!isDigit(T.at(i)))
            return false;
    return true;
}

// strtod in the C locale: Qt sets the user's locale at start-up, which may make
// the C library expect a comma.
double strtodC(const char* Text, bool& Overflow)
{
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t(nullptr));
    errno = 0;
    const double v = strtod_l(Text, nullptr, cLocale);
    Overflow = errno == ERANGE && std::isinf(v);
    return v;
}

// Up to 18 significant decimal digits of a finite value, as the system's
// conversions start from: Value = 0.Digits * 10^Exponent.
struct TDecimal
{
    bool Negative = false;
    std::string Digits; // no leading zero; empty for zero
    int Exponent = 0;
};

TDecimal toDecimal(double Value)
{
    TDecimal d;
    d.Negative = std::signbit(Value) && Value != 0;
    if (Value == 0)
        return d;
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17e", std::fabs(Value));
    const std::string s(buf);
    const std::size_t e = s.find('e');
    d.Digits = s.substr(0, 1) + s.substr(2, e - 2);
    d.Exponent = std::atoi(s.c_str() + e + 1) + 1;
    return d;
}

// Keeps Count leading digits, rounding an exact half and above up (away from
// zero), then drops trailing zeros.
void roundDigits(TDecimal& D, int Count)
{
    if (Count < 0) {
        D.Digits.clear();
        return;
    }
    if (static_cast<int>(D.Digits.size()) > Count) {
        const bool up = D.Digits[static_cast<std::size_t>(Count)] >= '5';
        D.Digits.resize(static_cast<std::size_t>(Count));
        if (up) {
            int i = Count - 1;
            while (i >= 0 && D.Digits[static_cast<std::size_t>(i)] == '9') {
                D.Digits[static_cast<std::size_t>(i)] = '0';
                --i;
            }
            if (i >= 0) {
                ++D.Digits[static_cast<std::size_t>(i)];
            } else {
                // All nines (or nothing kept): the value rounds up to the next power of ten.
                D.Digits.insert(D.Digits.begin(), '1');
                ++D.Exponent;
            }
        }
    }
    while (!D.Digits.empty() && D.Digits.back() == '0')
        D.Digits.pop_back();
}

// Fixed notation with Decimals digits after the separator (the "%.nf" of the
// system's Format, halves rounded away from zero).
QString formatFixed(double Value, int Decimals, QChar Sep)
{
    TDecimal d = toDecimal(Value);
    roundDigits(d, d.Exponent + Decimals);
    QString intPart;
    QString frac;
    for (int pos = 0; pos < d.Exponent; ++pos)
        intPart += pos < static_cast<int>(d.Digits.size()) ? QLatin1Char(d.Digits[std::size_t(pos)])
                                                           : QLatin1Char('0');
    if (intPart.isEmpty())
        intPart = QStringLiteral("0");
    for (int k = 0; k < Decimals; ++k) {
        const int pos = d.Exponent + k;
        frac += pos >= 0 && pos < static_cast<int>(d.Digits.size()) ? QLatin1Char(d.Digits[std::size_t(pos)])
                                                                    : QLatin1Char('0');
    }
    QString r = (d.Negative && !d.Digits.empty()) ? QStringLiteral("-") : QString();
    r += intPart;
    if (Decimals > 0)
        r += Sep + frac;
    return r;
}

} // namespace

QString DeleteSpaces(const QString& S)
{
    QString r = S;
    r.remove(QLatin1Char(' '));
    return r;
}

std::optional<qint64> StrToInt64Fixed(const QString& S)
{
    const QString t = DeleteSpaces(S);
    if (t.isEmpty())
        return std::nullopt;
    const bool negative = t.startsWith(QLatin1Char('-'));
    if (!digitsAndCommas(t, negative ? 1 : 0))
        return std::nullopt;
    // The conversion itself refuses commas, a lone "-" and values past 64 bits.
    const qsizetype first = negative ? 1 : 0;
    if (first == t.size())
        return std::nullopt;
    const quint64 limit = negative ? quint64(std::numeric_limits<qint64>::max()) + 1
                                   : quint64(std::numeric_limits<qint64>::max());
    quint64 v = 0;
    for (qsizetype i = first; i < t.size(); ++i) {
        if (!isDigit(t.at(i)))
            return std::nullopt;
        const quint64 digit = quint64(t.at(i).unicode() - '0');
        if (v > (limit - digit) / 10)
            return std::nullopt;
        v = v * 10 + digit;
    }
    if (negative)
        return v == quint64(std::numeric_limits<qint64>::max()) + 1 ? std::numeric_limits<qint64>::min()
                                                                    : -qint64(v);
    return qint64(v);
}

bool IsIntStr(const QString& S)
{
    return StrToInt64Fixed(S).has_value();
}

std::optional<double> StrToFloatFixed(const QString& S)
{
    const QString t = DeleteSpaces(S);
    const qsizetype p = std::max(t.lastIndexOf(QLatin1Char('E')), t.lastIndexOf(QLatin1Char('e')));
    if (p >= 0) {
        const QStringView mantissa = QStringView(t).left(p);
        QStringView exponent = QStringView(t).mid(p + 1);
        if (mantissa.isEmpty() || exponent.isEmpty())
            return std::nullopt;
        if (!signedDigitsAndCommas(mantissa))
            return std::nullopt;
        if (exponent.startsWith(QLatin1Char('+')) || exponent.startsWith(QLatin1Char('-')))
            exponent = exponent.mid(1);
        for (const QChar c : exponent)
            if (!isDigit(c))
                return std::nullopt;
    } else {
        if (t.isEmpty() || !signedDigitsAndCommas(t))
            return std::nullopt;
    }
    if (!convertibleSyntax(t))
        return std::nullopt;
    QByteArray c = t.toLatin1();
    c.replace(',', '.');
    bool overflow = false;
    const double v = strtodC(c.constData(), overflow);
    if (overflow || !std::isfinite(v))
        return std::nullopt;
    return v;
}

bool IsFloatStr(const QString& S)
{
    return StrToFloatFixed(S).has_value();
}

double RoundToSignificant(int Digits, double Value)
{
    if (Value == 0 || !std::isfinite(Value))
        return Value;
    if (Digits < 1)
        Digits = 1;
    const double l = std::log10(std::fabs(Value));
    const int e = static_cast<int>(std::floor(l));
    const int c = static_cast<int>(std::ceil(l));
    if (c == Digits)
        return Value;
    const double p = std::pow(10.0, e);
    const double q = std::pow(10.0, Digits - 1);
    // nearbyint follows the default rounding mode: halves go to the even neighbour.
    return std::nearbyint(Value / p * q) / q * p;
}

bool FormatSignificant(const QString& S, int Digits, QString& R)
{
    R.clear();
    // Digits come from a 4-bit field; the bound also keeps 10^Digits within 64 bits.
    Digits = std::clamp(Digits, 1, 15);
    const auto parsed = StrToFloatFixed(S);
    if (!parsed)
        return false;
    const double v = *parsed;
    if (v == 0) {
        R = QStringLiteral("0,") + QString(Digits - 1, QLatin1Char('0'));
        return true;
    }
    const int c = static_cast<int>(std::ceil(std::log10(std::fabs(v))));
    if (c >= Digits) {
        R = formatFixed(std::nearbyint(v), 0, QLatin1Char(','));
        return true;
    }
    const int k = Digits - c;
    // Long double keeps 10^k finite even for the smallest singles.
    const long double scale = std::pow(10.0L, k);
    const auto t = static_cast<qint64>(std::trunc(scale * static_cast<long double>(v)));
    const double w = static_cast<double>(static_cast<long double>(t) / scale);
    const QString x = formatFixed(w, Digits - 1, QLatin1Char(','));

    int digits = 0;
    QChar stoppedAt;
    for (const QChar ch : x) {
        if (isDigit(ch)) {
            if (digits == Digits) {
                stoppedAt = ch;
                break;
            }
            ++digits;
        }
        R += ch;
    }
    if (!stoppedAt.isNull() && stoppedAt >= QLatin1Char('5')) {
        const QString unit =
            QStringLiteral("0,") + QString(std::max(0, Digits - 2), QLatin1Char('0')) + QLatin1Char('1');
        const auto head = StrToFloatFixed(R);
        const auto inc = StrToFloatFixed(unit);
        if (head && inc)
            R = FloatToStr(*head + *inc);
    }
    return true;
}

QString PadStr(const QString& S, QChar PadChar, int Width, bool PadLeft)
{
    if (S.size() >= Width)
        return S;
    const QString pad(Width - S.size(), PadChar);
    return PadLeft ? pad + S : S + pad;
}

QString SerialToStr(quint32 SerialNum)
{
    return PadStr(QString::number(SerialNum), QLatin1Char('0'), 5, true);
}

float BytesToSingle(quint8 B1, quint8 B2, quint8 B3, quint8 B4)
{
    const quint32 bits = (quint32(B1) << 24) | (quint32(B2) << 16) | (quint32(B3) << 8) | quint32(B4);
    return std::bit_cast<float>(bits);
}

QString FloatToStr(double Value, QChar DecimalSeparator)
{
    if (std::isnan(Value))
        return QStringLiteral("NAN");
    if (std::isinf(Value))
        return Value > 0 ? QStringLiteral("INF") : QStringLiteral("-INF");
    constexpr int Precision = 15;
    TDecimal d = toDecimal(Value);
    roundDigits(d, Precision);
    if (d.Digits.empty())
        return QStringLiteral("0");

    QString r = d.Negative ? QStringLiteral("-") : QString();
    const int n = static_cast<int>(d.Digits.size());
    if (d.Exponent > Precision || d.Exponent < -3) {
        r += QLatin1Char(d.Digits[0]);
        if (n > 1) {
            r += DecimalSeparator;
            r += QString::fromLatin1(d.Digits.data() + 1, n - 1);
        }
        r += QLatin1Char('E') + QString::number(d.Exponent - 1);
        return r;
    }
    if (d.Exponent <= 0) {
        r += QLatin1Char('0');
        r += DecimalSeparator;
        r += QString(-d.Exponent, QLatin1Char('0'));
        r += QString::fromLatin1(d.Digits.data(), n);
        return r;
    }
    for (int i = 0; i < d.Exponent; ++i)
        r += i < n ? QLatin1Char(d.Digits[std::size_t(i)]) : QLatin1Char('0');
    if (n > d.Exponent) {
        r += DecimalSeparator;
        r += QString::fromLatin1(d.Digits.data() + d.Exponent, n - d.Exponent);
    }
    return r;
}

QString TrimBlanksAndControls(const QString& S)
{
    qsizetype b = 0;
    qsizetype e = S.size();
    while (b < e && S.at(b).unicode() <= 0x20)
        ++b;
    while (e > b && S.at(e - 1).unicode() <= 0x20)
        --e;
    return S.mid(b, e - b);
}

QString TrimRightBlanksAndControls(const QString& S)
{
    qsizetype e = S.size();
    while (e > 0 && S.at(e - 1).unicode() <= 0x20)
        --e;
    return S.left(e);
}

QString FormatFloat3(double Value)
{
    if (!std::isfinite(Value))
        return FloatToStr(Value);
    const double r = std::round(Value * 1000.0) / 1000.0;
    QString s = QString::number(r, 'f', 3);
    while (s.endsWith(QLatin1Char('0')))
        s.chop(1);
    if (s.endsWith(QLatin1Char('.')))
        s.chop(1);
    if (s == QLatin1String("-0"))
        s = QStringLiteral("0");
    return s.replace(QLatin1Char('.'), QLatin1Char(','));
}
