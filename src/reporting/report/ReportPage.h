#pragma once

#include "ResultReport.h"

#include <QByteArray>
#include <QString>

// The report as one self-contained HTML page (UTF-8): styles and SVG charts inline, nothing to
// fetch. Runs open and close with <details>, so the page is complete without script; a few lines
// of script add the unit search and open a run that a link points at.
class TReportPage
{
public:
    static QByteArray Render(const TReportData& aData);
    // A page that says why there is no report (the database cannot be reached, holds no results).
    static QByteArray Problem(const TReportOptions& aOptions, const QString& sText);
    // "2026-12-07 00:00 – 2026-12-14 00:00 · station Line 3 · every definition"
    static QString Filters(const TReportOptions& aOptions);
};
