#include "StrUtilsEx.h"

#include "FormatSettings.h"

namespace {

const char cHexDigits[] = "0123456789ABCDEF";

bool IsTrimmed(QChar c)
{
    return c.unicode() < 33;
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
