#include "StrUtilsEx.h"

#include "DateTimeFormat.h"
#include "FormatSettings.h"

#include <QLocale>

#include "MsgExceptions.h"
#include "RegIO.h"
#include <cmath>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <cstddef>

namespace {

const char cHexDigits[] = "0123456789ABCDEF";

bool IsTrimmed(QChar c)
{
    return c.unicode() < 33;
}

// "*" and "?" matching that backtracks only to the most recent "*": the position after it in the
// pattern and the text position it has absorbed up to. This is complete for these two wildcards
// and needs no stack.
template <typename TChar>
bool MatchWildcardSpan(const TChar* pText, std::size_t nText, const TChar* pPattern, std::size_t nPattern)
{
    const TChar cStar = TChar('*');
    const TChar cAny = TChar('?');
    std::size_t iText = 0;
    std::size_t iPattern = 0;
    bool bStar = false;
    std::size_t iAfterStar = 0; // pattern position after the most recent "*"
    std::size_t iStarText = 0;  // text position where that "*" stops absorbing
    while (iText < nText) {
        if (iPattern < nPattern && pPattern[iPattern] == cStar) {
            bStar = true;
            iAfterStar = ++iPattern;
            iStarText = iText;
        } else if (iPattern < nPattern &&
                   (pPattern[iPattern] == cAny || pPattern[iPattern] == pText[iText])) {
            ++iPattern;
            ++iText;
        } else if (bStar) {
            iPattern = iAfterStar;
            iText = ++iStarText;
        } else {
            return false;
        }
    }
    while (iPattern < nPattern && pPattern[iPattern] == cStar)
        ++iPattern;
    return iPattern == nPattern;
}

} // namespace

QString EscapeText(const QString& sText)
{
    QString sResult;
    sResult.reserve(sText.size());
    for (const QChar c : sText) {
        const unsigned char b = static_cast<unsigned char>(c.unicode() & 0xFF);
        if (b < 0x20 || b == 0x5C || (b >= 0x80 && b <= 0x9F)) {
            sResult += QLatin1Char('\\');
            sResult += QLatin1Char(cHexDigits[b >> 4]);
            sResult += QLatin1Char(cHexDigits[b & 0x0F]);
        } else {
            sResult += QChar(b);
        }
    }
    return sResult;
}

QString HexDump(const QString& sText)
{
    QString sResult;
    for (const QChar c : sText) {
        if (!sResult.isEmpty())
            sResult += QLatin1Char(' ');
        sResult += QString::number(c.unicode(), 16).toUpper().rightJustified(2, QLatin1Char('0'));
    }
    return sResult;
}

QString BytesToText(const QByteArray& sBytes)
{
    return QString::fromLatin1(sBytes);
}

int TextToBytes(const QString& sText, QByteArray& aBytes)
{
    aBytes.clear();
    aBytes.reserve(sText.size());
    for (int i = 0; i < sText.size(); ++i) {
        const ushort code = sText.at(i).unicode();
        if (code > 0xFF)
            return -(i + 1);
        aBytes.append(static_cast<char>(code));
    }
    return int(aBytes.size());
}

bool RemoveThousandSeparators(QString& s)
{
    const QChar cSeparator = TFormatSettings::App().cThousandSeparator;
    if (!s.contains(cSeparator))
        return false;
    s.remove(cSeparator);
    return true;
}

QString FillPattern(const QString& sSource, const QString& sPattern)
{
    QString sResult = sPattern;
    int iFrom = 0;
    for (const QChar c : sSource) {
        const int iHash = sResult.indexOf(QLatin1Char('#'), iFrom);
        if (iHash < 0) {
            sResult += c;
            iFrom = sResult.size();
        } else {
            sResult[iHash] = c;
            iFrom = iHash + 1;
        }
    }
    return sResult;
}

QString ExtractBracketed(const QString& sText, QChar cOpen, QChar cClose)
{
    const int iOpen = sText.indexOf(cOpen);
    if (iOpen < 0)
        return QString();
    int iDepth = 0;
    for (int i = iOpen; i < sText.size(); ++i) {
        if (sText.at(i) == cOpen)
            ++iDepth;
        else if (sText.at(i) == cClose && --iDepth == 0)
            return sText.mid(iOpen + 1, i - iOpen - 1);
    }
    return QString();
}

QString ExtractBetween(const QString& sText, QChar c)
{
    const int iFirst = sText.indexOf(c);
    if (iFirst < 0)
        return QString();
    const int iSecond = sText.indexOf(c, iFirst + 1);
    if (iSecond < 0)
        return QString();
    return sText.mid(iFirst + 1, iSecond - iFirst - 1);
}

QString Unquote(const QString& sText, QChar c)
{
    const int iFirst = sText.indexOf(c);
    if (iFirst < 0)
        return sText;
    const int iSecond = sText.indexOf(c, iFirst + 1);
    if (iSecond < 0)
        return sText.mid(iFirst + 1);
    return sText.mid(iFirst + 1, iSecond - iFirst - 1);
}

QString TextBefore(const QString& sText, const QString& sSub)
{
    const int i = sText.indexOf(sSub);
    return i < 0 ? sText : sText.left(i);
}

QString TextAfter(const QString& sText, const QString& sSub)
{
    const int i = sText.indexOf(sSub);
    return TrimControl(i < 0 ? sText : sText.mid(i + 1));
}

int FirstBlank(const QString& sText)
{
    for (int i = 0; i < sText.size(); ++i) {
        if (sText.at(i) == QLatin1Char(' ') || sText.at(i) == QLatin1Char('\t'))
            return i + 1;
    }
    return 0;
}

bool SplitDirective(const QString& sLine, const QString& sKeyword, QString& sFirst, QString& sRest)
{
    const QString sText = TrimControl(sLine.mid(sKeyword.size()));
    const int iBlank = FirstBlank(sText);
    if (iBlank == 0) {
        sFirst = sText;
        sRest.clear();
        return false;
    }
    sFirst = TrimControl(sText.left(iBlank - 1));
    sRest = TrimControl(sText.mid(iBlank));
    return true;
}

QString TrimControl(const QString& sText)
{
    int iStart = 0;
    int iEnd = sText.size();
    while (iStart < iEnd && IsTrimmed(sText.at(iStart)))
        ++iStart;
    while (iEnd > iStart && IsTrimmed(sText.at(iEnd - 1)))
        --iEnd;
    return sText.mid(iStart, iEnd - iStart);
}

QString ResolveFileName(const QString& sName, bool bMustExist)
{
    QString sFile = Unquote(sName, QLatin1Char('"'));
    QString sBase;
    const QString sDefinitionPrefix = QStringLiteral("TZD:");
    const QString sProgramPrefix = QStringLiteral("TZK:");
    if (sFile.startsWith(sDefinitionPrefix)) {
        sFile.remove(0, sDefinitionPrefix.size());
        const QString sLastFile = TRegIO::Instance().LastFile();
        // Without a loaded definition the name is taken relative to the working directory.
        sBase = sLastFile.isEmpty() ? QDir::currentPath() : QFileInfo(sLastFile).absolutePath();
    } else {
        if (sFile.startsWith(sProgramPrefix))
            sFile.remove(0, sProgramPrefix.size());
        sBase = QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
    }

    // Definitions written for Windows carry drive paths; they name no file here, but their text is
    // kept so that messages show what the definition says.
    const bool bDrivePath = sFile.size() >= 3 && sFile.at(0).isLetter() && sFile.at(0).unicode() < 128 &&
                            sFile.at(1) == QLatin1Char(':') &&
                            (sFile.at(2) == QLatin1Char('\\') || sFile.at(2) == QLatin1Char('/'));
    QString sPath;
    if (bDrivePath) {
        sPath = sFile;
    } else {
        sFile.replace(QLatin1Char('\\'), QLatin1Char('/'));
        sPath = QDir::cleanPath(QDir(sBase).filePath(sFile));
    }

    // PATH_MAX counts bytes including the terminating zero.
    const bool bTooLong = QFile::encodeName(sPath).size() >= PATH_MAX;
    if (bMustExist) {
        const QFileInfo info(sPath);
        if (bTooLong || !info.exists() || info.isDir())
            throw EMsg(QStringLiteral("File not found: \"%s\""), {sPath}, TMsgId(0x02010A), 0);
    }
    return bTooLong ? QString() : sPath;
}

QString InsertDateTimeTags(const QString& sText, const QDateTime& dtWhen)
{
    const QDate date = dtWhen.date();
    const int iWeek = date.weekNumber();
    const TFormatSettings& settings = TFormatSettings::App();
    const auto twoDigits = [](int iValue) {
        return QString::number(iValue).rightJustified(2, QLatin1Char('0'));
    };

    // Longer tags first, so that "%DATE" is never read as "%D" and "%WW" never as "%W".
    QString sResult = sText;
    sResult.replace(QStringLiteral("%DATE"), FormatDateTime(settings.sShortDateFormat, dtWhen));
    sResult.replace(QStringLiteral("%TIME"), FormatDateTime(settings.sLongTimeFormat, dtWhen));
    sResult.replace(QStringLiteral("%WW"), twoDigits(iWeek));
    sResult.replace(QStringLiteral("%W"), QString::number(iWeek));
    sResult.replace(QStringLiteral("%DD"), twoDigits(date.day()));
    sResult.replace(QStringLiteral("%D"), QString::number(date.day()));
    sResult.replace(QStringLiteral("%MM"), twoDigits(date.month()));
    sResult.replace(QStringLiteral("%M"), QString::number(date.month()));
    sResult.replace(QStringLiteral("%YYYY"), twoDigits(date.year()));
    sResult.replace(QStringLiteral("%YY"), QString::number(date.year() % 1000));
    return sResult;
}

bool MatchWildcard(const QString& sText, const QString& sPattern)
{
    // Matched by code point, so that "?" takes a character outside the basic plane as one.
    const QList<uint> text = sText.toUcs4();
    const QList<uint> pattern = sPattern.toUcs4();
    return MatchWildcardSpan(text.constData(), std::size_t(text.size()), pattern.constData(),
                             std::size_t(pattern.size()));
}

bool MatchWildcardBytes(const QString& sText, const QString& sPattern)
{
    return MatchWildcardBytes(sText.toLatin1(), sPattern.toLatin1());
}

bool MatchWildcardBytes(const QByteArray& aText, const QByteArray& aPattern)
{
    return MatchWildcardSpan(
        reinterpret_cast<const unsigned char*>(aText.constData()), std::size_t(aText.size()),
        reinterpret_cast<const unsigned char*>(aPattern.constData()), std::size_t(aPattern.size()));
}

namespace {

int DigitValue(QChar c, bool bHex)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (!bHex)
        return -1;
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

bool TextToInteger(const QString& sText, int iBits, std::int64_t& iValue)
{
    const int n = int(sText.size());
    int i = 0;
    while (i < n && sText.at(i) == QLatin1Char(' '))
        ++i;
    bool bNegative = false;
    if (i < n && (sText.at(i) == QLatin1Char('-') || sText.at(i) == QLatin1Char('+'))) {
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
        return false;

    const bool bWide = iBits >= 64;
    const std::uint64_t uHexMax = bWide ? UINT64_MAX : 0xFFFFFFFFu;
    const std::uint64_t uDecMax = (bWide ? std::uint64_t(INT64_MAX) : 0x7FFFFFFFu) + (bNegative ? 1 : 0);
    const std::uint64_t uMax = bHex ? uHexMax : uDecMax;
    const std::uint64_t uBase = bHex ? 16 : 10;
    std::uint64_t uValue = 0;
    for (; i < n; ++i) {
        const int iDigit = DigitValue(sText.at(i), bHex);
        if (iDigit < 0 || uValue > (uMax - std::uint64_t(iDigit)) / uBase)
            return false;
        uValue = uValue * uBase + std::uint64_t(iDigit);
    }
    // Hexadecimal digits are a bit pattern of the given width; the sign applies to its value.
    if (bHex && !bWide)
        uValue = std::uint64_t(std::int64_t(std::int32_t(std::uint32_t(uValue))));
    iValue = std::int64_t(bNegative ? 0 - uValue : uValue);
    return true;
}

bool TextToFloat(const QString& sText, QChar cDecimalSeparator, double& rValue)
{
    // Checked here rather than left to a locale parser, so that only this one form is accepted
    // and the other separator never passes silently.
    QString sPlain;
    sPlain.reserve(sText.size());
    const int n = int(sText.size());
    int i = 0;
    auto digits = [&] {
        int iCount = 0;
        while (i < n && DigitValue(sText.at(i), false) >= 0) {
            sPlain += sText.at(i++);
            ++iCount;
        }
        return iCount;
    };
    if (i < n && (sText.at(i) == QLatin1Char('+') || sText.at(i) == QLatin1Char('-')))
        sPlain += sText.at(i++);
    int iDigits = digits();
    if (i < n && sText.at(i) == cDecimalSeparator) {
        sPlain += QLatin1Char('.');
        ++i;
        iDigits += digits();
    }
    if (iDigits == 0)
        return false;
    if (i < n && (sText.at(i) == QLatin1Char('e') || sText.at(i) == QLatin1Char('E'))) {
        sPlain += QLatin1Char('e');
        ++i;
        if (i < n && (sText.at(i) == QLatin1Char('+') || sText.at(i) == QLatin1Char('-')))
            sPlain += sText.at(i++);
        if (digits() == 0)
            return false;
    }
    if (i != n)
        return false;

    bool bOk = false;
    const double rParsed = QLocale::c().toDouble(sPlain, &bOk);
    if (!std::isfinite(rParsed))
        return false;
    // Underflow is reported as a failure by the parser but is a valid, tiny value.
    if (!bOk && rParsed != 0.0)
        return false;
    rValue = bOk ? rParsed : 0.0;
    return true;
}

int ConvertPlainNumber(const QString& sText, double& rValue)
{
    const int n = sText.size();
    int i = 0;
    auto digits = [&] {
        const int iStart = i;
        while (i < n && sText.at(i).isDigit())
            ++i;
        return i > iStart;
    };
    if (i < n && (sText.at(i) == QLatin1Char('+') || sText.at(i) == QLatin1Char('-')))
        ++i;
    bool bAny = digits();
    if (i < n && sText.at(i) == QLatin1Char('.')) {
        ++i;
        bAny = digits() || bAny;
    }
    if (!bAny)
        return i + 1;
    if (i < n && sText.at(i).toLower() == QLatin1Char('e')) {
        ++i;
        if (i < n && (sText.at(i) == QLatin1Char('+') || sText.at(i) == QLatin1Char('-')))
            ++i;
        if (!digits())
            return i + 1;
    }
    if (i < n)
        return i + 1;
    rValue = sText.toDouble();
    return 0;
}
