#include "MsgUtils.h"

#include "FormatSettings.h"
#include "MsgExceptions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

[[noreturn]] void RaiseInvalid(const QString& sFormat)
{
    throw EConvertError(QStringLiteral("Format '%1' invalid or incompatible with argument").arg(sFormat));
}

[[noreturn]] void RaiseMissing(const QString& sFormat)
{
    throw EConvertError(QStringLiteral("No argument for format '%1'").arg(sFormat));
}

// Decimal digits of arValue rounded to aiDigits significant digits, and the exponent E for which
// the value is 0.d1d2... * 10^E. Trailing zeros are removed.
void SignificantDigits(double arValue, int aiDigits, QString& sDigits, int& iExponent)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*e", aiDigits - 1, std::fabs(arValue));
    const QString sText = QString::fromLatin1(buffer);
    const int iE = sText.indexOf(QLatin1Char('e'));
    sDigits = sText.left(iE);
    sDigits.remove(QLatin1Char('.'));
    iExponent = sText.mid(iE + 1).toInt() + 1;
    while (sDigits.size() > 1 && sDigits.endsWith(QLatin1Char('0')))
        sDigits.chop(1);
}

QString GroupThousands(const QString& sInteger, QChar cSeparator)
{
    QString sResult;
    const int n = sInteger.size();
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            sResult += cSeparator;
        sResult += sInteger.at(i);
    }
    return sResult;
}

QString FixedForm(double arValue, int aiDecimals, bool bThousands)
{
    const TFormatSettings& settings = TFormatSettings::App();
    if (std::isnan(arValue))
        return QStringLiteral("NAN");
    if (std::isinf(arValue))
        return arValue < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", aiDecimals, std::fabs(arValue));
    QString sText = QString::fromLatin1(buffer);
    QString sInteger = sText.section(QLatin1Char('.'), 0, 0);
    const QString sFraction = sText.section(QLatin1Char('.'), 1);
    if (bThousands)
        sInteger = GroupThousands(sInteger, settings.cThousandSeparator);
    QString sResult = sInteger;
    if (!sFraction.isEmpty())
        sResult += settings.cDecimalSeparator + sFraction;
    // "-0.00" is written without its sign.
    const bool bNonZero = std::any_of(sText.cbegin(), sText.cend(),
                                      [](QChar c) { return c.isDigit() && c != QLatin1Char('0'); });
    if (arValue < 0 && bNonZero)
        sResult.prepend(QLatin1Char('-'));
    return sResult;
}

QString ExponentForm(double arValue, int aiDigits)
{
    if (std::isnan(arValue))
        return QStringLiteral("NAN");
    if (std::isinf(arValue))
        return arValue < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%.*E", aiDigits - 1, arValue);
    QString sText = QString::fromLatin1(buffer);
    const int iE = sText.indexOf(QLatin1Char('E'));
    QString sMantissa = sText.left(iE);
    sMantissa.replace(QLatin1Char('.'), TFormatSettings::App().cDecimalSeparator);
    const int iExponent = sText.mid(iE + 1).toInt();
    return sMantissa + QLatin1Char('E') + (iExponent < 0 ? QLatin1Char('-') : QLatin1Char('+')) +
           QString::number(std::abs(iExponent)).rightJustified(3, QLatin1Char('0'));
}

QString HexDigits(std::uint64_t aValue)
{
    return QString::number(aValue, 16).toUpper();
}

} // namespace

QString FloatToStrG(double arValue, int aiPrecision, QChar aDecimalSeparator)
{
    if (std::isnan(arValue))
        return QStringLiteral("NAN");
    if (std::isinf(arValue))
        return arValue < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (arValue == 0.0)
        return QStringLiteral("0");
    if (aiPrecision < 1)
        aiPrecision = 15;
    if (aiPrecision > 18)
        aiPrecision = 18;

    QString sDigits;
    int iExponent = 0;
    SignificantDigits(arValue, aiPrecision, sDigits, iExponent);

    QString sResult;
    if (iExponent > aiPrecision || iExponent < -3) {
        sResult = sDigits.left(1);
        if (sDigits.size() > 1)
            sResult += aDecimalSeparator + sDigits.mid(1);
        const int iShown = iExponent - 1;
        sResult += QLatin1Char('E');
        if (iShown < 0)
            sResult += QLatin1Char('-');
        sResult += QString::number(std::abs(iShown)).rightJustified(3, QLatin1Char('0'));
    } else if (iExponent <= 0) {
        sResult = QStringLiteral("0") + aDecimalSeparator + QString(-iExponent, QLatin1Char('0')) + sDigits;
    } else {
        QString sInteger = sDigits.left(iExponent);
        if (sInteger.size() < iExponent)
            sInteger += QString(iExponent - sInteger.size(), QLatin1Char('0'));
        sResult = sInteger;
        if (sDigits.size() > iExponent)
            sResult += aDecimalSeparator + sDigits.mid(iExponent);
    }
    if (arValue < 0)
        sResult.prepend(QLatin1Char('-'));
    return sResult;
}

QString FloatToStrG(double arValue, int aiPrecision)
{
    return FloatToStrG(arValue, aiPrecision, TFormatSettings::App().cDecimalSeparator);
}

QString Format(const QString& aFormat, TFormatArgs aArgs)
{
    return Format(aFormat, std::vector<TFormatArg>(aArgs));
}

QString Format(const QString& aFormat, const std::vector<TFormatArg>& aArgs)
{
    QString sResult;
    std::size_t iNextArg = 0;
    const int n = aFormat.size();
    int i = 0;

    auto nextArg = [&]() -> const TFormatArg& {
        if (iNextArg >= aArgs.size())
            RaiseMissing(aFormat);
        return aArgs[iNextArg++];
    };
    auto readNumber = [&](int& iValue) -> bool {
        if (i < n && aFormat.at(i) == QLatin1Char('*')) {
            const TFormatArg& arg = nextArg();
            if (!arg.isIntegral())
                RaiseInvalid(aFormat);
            iValue = int(arg.asInt64());
            ++i;
            return true;
        }
        bool bAny = false;
        iValue = 0;
        while (i < n && aFormat.at(i).isDigit()) {
            iValue = iValue * 10 + aFormat.at(i).digitValue();
            if (iValue > 100000)
                RaiseInvalid(aFormat);
            ++i;
            bAny = true;
        }
        return bAny;
    };

    while (i < n) {
        const QChar c = aFormat.at(i);
        if (c != QLatin1Char('%')) {
            sResult += c;
            ++i;
            continue;
        }
        ++i;
        if (i >= n)
            RaiseInvalid(aFormat);
        if (aFormat.at(i) == QLatin1Char('%')) {
            sResult += QLatin1Char('%');
            ++i;
            continue;
        }

        // ["index:"] ["-"] [width] ["." precision] type
        int iNumber = 0;
        const int iStart = i;
        const bool bDigits = i < n && aFormat.at(i).isDigit();
        if (bDigits && readNumber(iNumber) && i < n && aFormat.at(i) == QLatin1Char(':')) {
            iNextArg = std::size_t(iNumber);
            ++i;
        } else {
            i = iStart;
        }
        bool bLeft = false;
        if (i < n && aFormat.at(i) == QLatin1Char('-')) {
            bLeft = true;
            ++i;
        }
        int iWidth = 0;
        readNumber(iWidth);
        int iPrecision = -1;
        if (i < n && aFormat.at(i) == QLatin1Char('.')) {
            ++i;
            if (!readNumber(iPrecision))
                iPrecision = 0;
        }
        if (i >= n)
            RaiseInvalid(aFormat);
        const QChar cType = aFormat.at(i).toLower();
        ++i;

        const TFormatArg& arg = nextArg();
        QString sField;
        switch (cType.unicode()) {
        case 'd':
        case 'u': {
            if (!arg.isIntegral())
                RaiseInvalid(aFormat);
            bool bNegative = false;
            QString sDigits;
            if (cType == QLatin1Char('u') || arg.kind() == TFormatArg::Kind::Unsigned) {
                std::uint64_t uValue = arg.asUInt64();
                if (cType == QLatin1Char('u') && arg.kind() == TFormatArg::Kind::Integer &&
                    arg.asInt64() < 0 && arg.asInt64() >= INT32_MIN)
                    uValue = std::uint32_t(arg.asInt64());
                sDigits = QString::number(uValue);
            } else {
                const std::int64_t iValue = arg.asInt64();
                bNegative = iValue < 0;
                sDigits = QString::number(iValue).remove(QLatin1Char('-'));
            }
            if (iPrecision > sDigits.size())
                sDigits = sDigits.rightJustified(iPrecision, QLatin1Char('0'));
            sField = bNegative ? QLatin1Char('-') + sDigits : sDigits;
            break;
        }
        case 'x': {
            if (!arg.isIntegral())
                RaiseInvalid(aFormat);
            std::uint64_t uValue = arg.asUInt64();
            if (arg.kind() == TFormatArg::Kind::Integer && arg.asInt64() < 0 && arg.asInt64() >= INT32_MIN)
                uValue = std::uint32_t(arg.asInt64());
            sField = HexDigits(uValue);
            if (iPrecision > sField.size())
                sField = sField.rightJustified(iPrecision, QLatin1Char('0'));
            break;
        }
        case 's':
            if (arg.kind() != TFormatArg::Kind::Text)
                RaiseInvalid(aFormat);
            sField = arg.asText();
            if (iPrecision >= 0 && iPrecision < sField.size())
                sField.truncate(iPrecision);
            break;
        case 'f':
        case 'n':
            if (arg.kind() != TFormatArg::Kind::Float)
                RaiseInvalid(aFormat);
            sField = FixedForm(arg.asDouble(), iPrecision < 0 ? 2 : std::min(iPrecision, 18),
                               cType == QLatin1Char('n'));
            break;
        case 'e':
            if (arg.kind() != TFormatArg::Kind::Float)
                RaiseInvalid(aFormat);
            sField = ExponentForm(arg.asDouble(), iPrecision < 1 ? 15 : std::min(iPrecision, 18));
            break;
        case 'g':
            if (arg.kind() != TFormatArg::Kind::Float)
                RaiseInvalid(aFormat);
            sField = FloatToStrG(arg.asDouble(), iPrecision < 1 ? 15 : iPrecision);
            break;
        default:
            RaiseInvalid(aFormat);
        }
        if (sField.size() < iWidth)
            sField = bLeft ? sField.leftJustified(iWidth) : sField.rightJustified(iWidth);
        sResult += sField;
    }
    return sResult;
}

QByteArray DumpHead(const QByteArray& aData, int iHead)
{
    return aData.size() > iHead ? aData.left(iHead) : aData;
}

QString DumpRest(const QByteArray& aData, int iHead)
{
    if (aData.size() <= iHead)
        return QString();
    return QStringLiteral(" ... (+%1 bytes)").arg(aData.size() - qsizetype(iHead));
}
