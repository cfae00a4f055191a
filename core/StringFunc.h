#pragma once

#include <QChar>
#include <QString>
#include <QtGlobal>
#include <optional>

// Small text and number routines shared by the windows. Operator input uses a
// comma as the decimal separator whatever the system says; a text that does not
// convert is invalid, never zero.

// S without any blank (0x20); tabs and other characters stay.
QString DeleteSpaces(const QString& S);

// Blanks removed, an optional leading "-", then at least one digit 0..9, and the
// value fits a signed 64-bit integer.
bool IsIntStr(const QString& S);
// The value IsIntStr accepts, or nothing.
std::optional<qint64> StrToInt64Fixed(const QString& S);

// Blanks removed, an optional leading "-", digits with one comma as decimal
// separator, an optional exponent "E"/"e" with optional sign and digits; a
// point is never a decimal separator. The value must be a finite double.
bool IsFloatStr(const QString& S);
// The value IsFloatStr accepts, or nothing.
std::optional<double> StrToFloatFixed(const QString& S);

// Value rounded to Digits significant digits, an exact half to the even
// neighbour. A value whose integer part has exactly Digits digits keeps its
// fraction (4 digits: 1234.56 stays 1234.56). 0 and non-finite values come back
// unchanged; Digits below 1 counts as 1.
double RoundToSignificant(int Digits, double Value);

// The display of a channel value to Digits significant digits (4: "12,3456" gives
// "12,34", "0" gives "0,000"). S is a number text with a comma; Digits is taken
// within 1..15. False, with R empty, when S is not a number.
bool FormatSignificant(const QString& S, int Digits, QString& R);

// S padded with PadChar to Width characters, on the left or the right; S when it
// is not shorter than Width.
QString PadStr(const QString& S, QChar PadChar, int Width, bool PadLeft);
// A serial number as shown to the operator: five digits with leading zeros.
QString SerialToStr(quint32 SerialNum);

// The IEEE-754 single whose bytes, most significant first, are B1..B4.
float BytesToSingle(quint8 B1, quint8 B2, quint8 B3, quint8 B4);

// The general float-to-text of the system: 15 significant digits, trailing zeros
// dropped, fixed notation for 0.0001 <= |v| < 1E15, else "d,dddE[-]x"; a single
// widened to double shows its binary tail (0.1f gives "0,100000001490116").
// NaN and infinities give "NAN", "INF" and "-INF".
QString FloatToStr(double Value, QChar DecimalSeparator = QLatin1Char(','));

// S without blanks and control characters (codes up to 0x20) at both ends, as
// the system's trim does; QString::trimmed() keeps control characters.
QString TrimBlanksAndControls(const QString& S);

// S without blanks and control characters at its end.
QString TrimRightBlanksAndControls(const QString& S);

// Value as the "0.###" display format shows it: at most three decimals (a half
// away from zero), no trailing zeros, a comma as decimal separator; "NAN",
// "INF" and "-INF" for the non-finite values.
QString FormatFloat3(double Value);
