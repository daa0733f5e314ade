#include "CommaSeparatedValue.h"

#include "FormatSettings.h"
#include "MsgExceptions.h"
#include "StrUtilsEx.h"

#include <cstdint>

namespace {

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
    fFields.clear();
    // A field is the text between two separators outside quotes, quotes included (every
    // definition line passes here while loading).
    bool bInQuotes = false;
    const QChar* pLine = aLine.constData();
    const qsizetype iSize = aLine.size();
    qsizetype iStart = 0;
    for (qsizetype i = 0; i < iSize; ++i) {
        const QChar c = pLine[i];
        if (c == FQuotationMarks)
            bInQuotes = !bInQuotes;
        if (c == FSeparator && !bInQuotes) {
            fFields.push_back({iStart, i - iStart});
            iStart = i + 1;
        }
    }
    // A trailing text without its separator is not a field.
}

const TCommaSeparatedValue::TField& TCommaSeparatedValue::Field(int iIndex) const
{
    if (iIndex < 0 || iIndex >= ValueCount())
        throw EError(
            Format(QStringLiteral("Invalid csv index %d to list count %d!"), {iIndex, ValueCount()}));
    return fFields[std::size_t(iIndex)];
}

QString TCommaSeparatedValue::GetValue(int iIndex) const
{
    const TField& field = Field(iIndex);
    // An empty field is a null text.
    return field.iLength > 0 ? QString(FStringLine.constData() + field.iStart, field.iLength) : QString();
}

QString TCommaSeparatedValue::GetValueTrimmed(int iIndex) const
{
    const TField& field = Field(iIndex);
    if (field.iLength == 0)
        return QString();
    // Trimmed before it is copied; a field of blanks only gives an empty, not a null, text.
    const QChar* pField = FStringLine.constData() + field.iStart;
    qsizetype iStart = 0;
    qsizetype iEnd = field.iLength;
    while (iStart < iEnd && pField[iStart].unicode() < 33)
        ++iStart;
    while (iEnd > iStart && pField[iEnd - 1].unicode() < 33)
        --iEnd;
    return QString(pField + iStart, iEnd - iStart);
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
    std::int64_t iValue = 0;
    if (!TextToInteger(sText, 32, iValue))
        InvalidInteger(sText);
    return int(std::int32_t(std::uint32_t(iValue)));
}

double ParseFloat(const QString& sText, QChar cDecimalSeparator)
{
    double rValue = 0.0;
    if (!TextToFloat(sText, cDecimalSeparator, rValue))
        InvalidFloat(sText);
    return rValue;
}
