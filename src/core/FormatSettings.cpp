#include "FormatSettings.h"

#include <QLocale>

namespace {

// Turns a Qt date/time pattern into the application's pattern letters.
QString FromQtPattern(const QString& sQt)
{
    QString sResult;
    bool bQuoted = false;
    for (int i = 0; i < sQt.size(); ++i) {
        const QChar c = sQt.at(i);
        if (c == QLatin1Char('\'')) {
            bQuoted = !bQuoted;
            sResult += QLatin1Char('"');
            continue;
        }
        if (bQuoted) {
            sResult += c;
            continue;
        }
        if (c == QLatin1Char('M'))
            sResult += QLatin1Char('m');
        else if (c == QLatin1Char('m'))
            sResult += QLatin1Char('n');
        else if (c == QLatin1Char('H'))
            sResult += QLatin1Char('h');
        else if (c == QLatin1Char('A') || c == QLatin1Char('a')) {
            sResult += QStringLiteral("am/pm");
            if (i + 1 < sQt.size() && sQt.at(i + 1).toLower() == QLatin1Char('p'))
                ++i;
        } else if (c == QLatin1Char('t'))
            continue; // time zone: the application's forms have none
        else
            sResult += c;
    }
    return sResult.trimmed();
}

QChar FirstSeparator(const QString& sPattern, const QString& sLetters, QChar cDefault)
{
    bool bQuoted = false;
    for (const QChar c : sPattern) {
        if (c == QLatin1Char('\''))
            bQuoted = !bQuoted;
        if (!bQuoted && !c.isLetter() && c != QLatin1Char('\'') && !sLetters.contains(c))
            return c;
    }
    return cDefault;
}

} // namespace

TFormatSettings TFormatSettings::FromSystem()
{
    const QLocale locale = QLocale::system();
    TFormatSettings settings;
    const QString sDecimal = locale.decimalPoint();
    const QString sGroup = locale.groupSeparator();
    settings.cDecimalSeparator = sDecimal.size() == 1 ? sDecimal.at(0) : QLatin1Char('.');
    settings.cThousandSeparator = sGroup.size() == 1 ? sGroup.at(0) : QLatin1Char(',');
    const QString sQtDate = locale.dateFormat(QLocale::ShortFormat);
    const QString sQtTime = locale.timeFormat(QLocale::LongFormat);
    settings.cDateSeparator = FirstSeparator(sQtDate, QString(), QLatin1Char('/'));
    settings.cTimeSeparator = FirstSeparator(sQtTime, QString(), QLatin1Char(':'));
    settings.sShortDateFormat = FromQtPattern(sQtDate);
    settings.sLongTimeFormat = FromQtPattern(sQtTime);
    return settings;
}

TFormatSettings& TFormatSettings::App()
{
    static TFormatSettings settings = FromSystem();
    return settings;
}

void TFormatSettings::ResetApp()
{
    App() = FromSystem();
}
