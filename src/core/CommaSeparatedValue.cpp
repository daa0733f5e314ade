#include "CommaSeparatedValue.h"

#include "FormatSettings.h"
#include "MsgExceptions.h"
#include "StrUtilsEx.h"

#include <QLocale>

#include <cmath>
#include <cstdint>

namespace {

bool IsDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

int HexValue(QChar c)
{
    if (IsDigit(c))
        return c.unicode() - '0';
    if (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        return c.unicode() - 'a' + 10;
    if (c >= QLatin1Char('A') && c <= QLatin1Char('F'))
        return c.unicode() - 'A' + 10;
    return -1;
}

[[noreturn]] void InvalidInteger(const QString& sText)
{
    throw EConvertError(Format(QStringLiteral("'%s' is not a valid integer value"), {sText}));
}

[[noreturn]] void InvalidFloat(const QString& sText)
{
    throw EConvertError(Format(QStringLiteral("'%s' is not a valid floating point value"), {sText}));
}

} // namespace

TCommaSeparatedValue::TCommaSeparatedValue() : FQuotationMarks(QLatin1Char('"')), FSeparator(QLatin1Char(';'))
{}

void TCommaSeparatedValue::SetStringLine(const QString& aLine)
{
    FStringLine = aLine;
    fValueList.clear();
    QString sField;
    bool bInQuotes = false;
    for (const QChar c : aLine) {
        if (c == FQuotationMarks)
            bInQuotes = !bInQuotes;
        if (c == FSeparator && !bInQuotes) {
            fValueList.append(sField);
            sField.clear();
        } else {
            sField += c;
        }
    }
    // A trailing text without its separator is not a field.
}

QString TCommaSeparatedValue::GetValue(int iIndex) const
{
    if (iIndex < 0 || iIndex >= ValueCount())
        throw EError(
            Format(QStringLiteral("Invalid csv index %d to list count %d!"), {iIndex, ValueCount()}));
    return fValueList.at(iIndex);
}

QString TCommaSeparatedValue::GetValueTrimmed(int iIndex) const
{
    return TrimControl(GetValue(iIndex));
}

QString TCommaSeparatedValue::GetString(int iIndex) const
{
    const QString sField = GetValueTrimmed(iIndex);
    if (!sField.contains(FQuotationMarks))
        return sField;
    return Unquote(sField, FQuotationMarks);
}

QString TCommaSeparatedValue::GetStringTrimmed(int iIndex) const
{
    return TrimControl(GetString(iIndex));
}

int TCommaSeparatedValue::GetInteger(int iIndex) const
{
    return ParseInteger(GetValueTrimmed(iIndex));
}

double TCommaSeparatedValue::GetFloat(int iIndex) const
{
    return ParseFloat(GetValueTrimmed(iIndex), TFormatSettings::App().cDecimalSeparator);
}

int ParseInteger(const QString& sText)
{
    int i = 0;
    const int n = int(sText.size());
    while (i < n && sText.at(i) == QLatin1Char(' '))
        ++i;
    bool bNegative = false;
    if (i < n && (sText.at(i) == QLatin1Char('+') || sText.at(i) == QLatin1Char('-'))) {
        bNegative = sText.at(i) == QLatin1Char('-');
        ++i;
    }
    bool bHex = false;
    if (i < n && (sText.at(i) == QLatin1Char('$') || sText.at(i) == QLatin1Char('x') ||
                  sText.at(i) == QLatin1Char('X'))) {
        bHex = true;
        ++i;
    } else if (i + 1 < n && sText.at(i) == QLatin1Char('0') &&
               (sText.at(i + 1) == QLatin1Char('x') || sText.at(i + 1) == QLatin1Char('X'))) {
        bHex = true;
        i += 2;
    }
    if (i >= n)
        InvalidInteger(sText);

    // Accumulated in 64 bits and checked per digit, so that no length of digits can overflow.
    std::uint64_t uValue = 0;
    const std::uint64_t uLimit = bHex ? 0xFFFFFFFFu : (bNegative ? 0x80000000u : 0x7FFFFFFFu);
    for (; i < n; ++i) {
        const int iDigit =
            bHex ? HexValue(sText.at(i)) : (IsDigit(sText.at(i)) ? sText.at(i).unicode() - '0' : -1);
        if (iDigit < 0)
            InvalidInteger(sText);
        uValue = uValue * (bHex ? 16 : 10) + std::uint64_t(iDigit);
        if (uValue > uLimit)
            InvalidInteger(sText);
    }
    // Hexadecimal digits give the 32-bit pattern; the sign applies to the resulting value.
    const std::int64_t iValue =
        bHex ? std::int64_t(std::int32_t(std::uint32_t(uValue))) : std::int64_t(uValue);
    return int(std::int32_t(std::uint32_t(bNegative ? -iValue : iValue)));
}

double ParseFloat(const QString& sText, QChar cDecimalSeparator)
{
    // Checked here rather than left to a locale parser, so that only this one form is accepted
    // and the other separator never passes silently.
    QString sPlain;
    sPlain.reserve(sText.size());
    int i = 0;
    const int n = int(sText.size());
    if (i < n && (sText.at(i) == QLatin1Char('+') || sText.at(i) == QLatin1Char('-')))
        sPlain += sText.at(i++);
    int iDigits = 0;
    while (i < n && IsDigit(sText.at(i))) {
        sPlain += sText.at(i++);
        ++iDigits;
    }
    if (i < n && sText.at(i) == cDecimalSeparator) {
        sPlain += QLatin1Char('.');
        ++i;
        while (i < n && IsDigit(sText.at(i))) {
            sPlain += sText.at(i++);
            ++iDigits;
        }
    }
    if (iDigits == 0)
        InvalidFloat(sText);
    if (i < n && (sText.at(i) == QLatin1Char('e') || sText.at(i) == QLatin1Char('E'))) {
        sPlain += QLatin1Char('e');
        ++i;
        if (i < n && (sText.at(i) == QLatin1Char('+') || sText.at(i) == QLatin1Char('-')))
            sPlain += sText.at(i++);
        int iExponentDigits = 0;
        while (i < n && IsDigit(sText.at(i))) {
            sPlain += sText.at(i++);
            ++iExponentDigits;
        }
        if (iExponentDigits == 0)
            InvalidFloat(sText);
    }
    if (i != n)
        InvalidFloat(sText);

    bool bOk = false;
    const double rValue = QLocale::c().toDouble(sPlain, &bOk);
    if (!std::isfinite(rValue))
        InvalidFloat(sText);
    if (!bOk) {
        // Underflow to zero is reported as a failure by the parser but is a valid, tiny value.
        if (rValue == 0.0)
            return 0.0;
        InvalidFloat(sText);
    }
    return rValue;
}
