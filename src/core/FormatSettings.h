#pragma once

#include <QChar>
#include <QString>

// The application's number and date/time conventions. They start from the system locale and
// a definition file may change the separators for all later conversions. The date and time
// forms use the pattern letters of the value log (d, m, y, h, n, s, z; "/" and ":" stand for
// the date and time separators).
struct TFormatSettings
{
    QChar cDecimalSeparator;
    QChar cThousandSeparator;
    QChar cDateSeparator;
    QChar cTimeSeparator;
    QString sShortDateFormat;
    QString sLongTimeFormat;

    // The conventions of the system locale.
    static TFormatSettings FromSystem();

    // The process-wide settings every conversion reads (main thread only).
    static TFormatSettings& App();

    // Returns the process-wide settings to the system locale's.
    static void ResetApp();
};
