#include "DateTimeFormat.h"

#include "FormatSettings.h"
#include "MsgExceptions.h"

#include <QLocale>

namespace {

QString Padded(int iValue, int iWidth)
{
    return QString::number(iValue).rightJustified(iWidth, QLatin1Char('0'));
}

bool StartsWithNoCase(const QString& sText, int iPos, const char* sWord)
{
    return sText.mid(iPos, int(qstrlen(sWord))).compare(QLatin1String(sWord), Qt::CaseInsensitive) == 0;
}

// Whether the pattern uses the 12-hour clock (an am/pm or a/p marker outside quotes).
bool UsesTwelveHours(const QString& sPattern)
{
    QChar cQuote;
    for (int i = 0; i < sPattern.size(); ++i) {
        const QChar c = sPattern.at(i);
        if (!cQuote.isNull()) {
            if (c == cQuote)
                cQuote = QChar();
            continue;
        }
        if (c == QLatin1Char('\'') || c == QLatin1Char('"'))
            cQuote = c;
        else if (StartsWithNoCase(sPattern, i, "am/pm") || StartsWithNoCase(sPattern, i, "a/p"))
            return true;
    }
    return false;
}

} // namespace

QString FormatDateTime(const QString& sPattern, const QDateTime& dtWhen)
{
    const TFormatSettings& settings = TFormatSettings::App();
    const QLocale locale = QLocale::system();
    const QDate date = dtWhen.date();
    const QTime time = dtWhen.time();
    const bool bTwelveHours = UsesTwelveHours(sPattern);

    QString sResult;
    bool bAfterHour = false;
    int i = 0;
    const int n = sPattern.size();
    while (i < n) {
        const QChar c = sPattern.at(i);
        const QChar cLower = c.toLower();
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            const int iClose = sPattern.indexOf(c, i + 1);
            if (iClose < 0)
                throw EConvertError(
                    QStringLiteral("Unterminated quote in date/time format \"%1\"").arg(sPattern));
            sResult += sPattern.mid(i + 1, iClose - i - 1);
            i = iClose + 1;
            continue;
        }
        if (cLower == QLatin1Char('a')) {
            if (StartsWithNoCase(sPattern, i, "am/pm")) {
                const QString sMarker = sPattern.mid(i + (time.hour() < 12 ? 0 : 3), 2);
                sResult += sMarker;
                i += 5;
                continue;
            }
            if (StartsWithNoCase(sPattern, i, "a/p")) {
                sResult += sPattern.at(i + (time.hour() < 12 ? 0 : 2));
                i += 3;
                continue;
            }
        }
        int iCount = 1;
        while (i + iCount < n && sPattern.at(i + iCount).toLower() == cLower)
            ++iCount;

        bool bLetter = true;
        switch (cLower.unicode()) {
        case 'd':
            if (iCount == 1)
                sResult += QString::number(date.day());
            else if (iCount == 2)
                sResult += Padded(date.day(), 2);
            else if (iCount == 3)
                sResult += locale.dayName(date.dayOfWeek(), QLocale::ShortFormat);
            else if (iCount == 4)
                sResult += locale.dayName(date.dayOfWeek(), QLocale::LongFormat);
            else
                sResult += FormatDateTime(settings.sShortDateFormat, dtWhen);
            break;
        case 'm':
            if (bAfterHour && iCount <= 2)
                sResult += iCount == 1 ? QString::number(time.minute()) : Padded(time.minute(), 2);
            else if (iCount == 1)
                sResult += QString::number(date.month());
            else if (iCount == 2)
                sResult += Padded(date.month(), 2);
            else if (iCount == 3)
                sResult += locale.monthName(date.month(), QLocale::ShortFormat);
            else
                sResult += locale.monthName(date.month(), QLocale::LongFormat);
            break;
        case 'y':
            sResult += iCount <= 2 ? Padded(date.year() % 100, 2) : Padded(date.year(), 4);
            break;
        case 'h': {
            int iHour = time.hour();
            if (bTwelveHours) {
                iHour %= 12;
                if (iHour == 0)
                    iHour = 12;
            }
            sResult += iCount == 1 ? QString::number(iHour) : Padded(iHour, 2);
            break;
        }
        case 'n':
            sResult += iCount == 1 ? QString::number(time.minute()) : Padded(time.minute(), 2);
            break;
        case 's':
            sResult += iCount == 1 ? QString::number(time.second()) : Padded(time.second(), 2);
            break;
        case 'z':
            sResult += iCount < 3 ? QString::number(time.msec()) : Padded(time.msec(), 3);
            break;
        default:
            bLetter = false;
        }
        if (bLetter) {
            bAfterHour = cLower == QLatin1Char('h');
            i += iCount;
            continue;
        }
        if (c == QLatin1Char('/'))
            sResult += settings.cDateSeparator;
        else if (c == QLatin1Char(':'))
            sResult += settings.cTimeSeparator;
        else
            sResult += c;
        ++i;
    }
    return sResult;
}
