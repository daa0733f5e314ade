#pragma once

#include "ResultReport.h"

#include <QString>
#include <QStringList>

// Text for HTML and SVG: & < > " and ' as character references, so that a label, an error text or
// a serial number from a device under test is always shown as text, never read as markup.
QString HtmlEscaped(const QString& sText);

// A number for people: at most four significant digits, no exponent for everyday sizes.
QString ShortNumber(double rValue);

// The report's charts as inline SVG: no script, no fonts or pictures to fetch, sharp on paper.
// Every mark carries a <title> with its numbers, and every colour a word in the legend.
class TSvgChart
{
public:
    // Runs per day as stacked bars (passed, failed, stopped), one bar per day of slDays.
    static QString DayBars(const std::vector<TReportCounts>& aCounts, const QStringList& slDays, int iWidth,
                           int iHeight);
    // Failures per step as horizontal bars with their share of all failures.
    static QString Pareto(const std::vector<TReportFailure>& aFailures, qint64 iAllFailures);
    // The values' histogram with the limits and the mean drawn in.
    static QString Histogram(const TReportMeasure& aMeasure);
    // The values over time: mean per time bucket, the band of minimum and maximum, the limits.
    static QString Trend(const TReportMeasure& aMeasure);
};
