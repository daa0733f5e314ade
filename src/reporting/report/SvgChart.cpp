#include "SvgChart.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace {

// Colours that colour-blind readers tell apart, and that stay apart in grey on paper.
const char* const csPassed = "#0072b2";
const char* const csFailed = "#d55e00";
const char* const csStopped = "#bbbbbb";
const char* const csLimit = "#cc79a7";
const char* const csMean = "#000000";

QString Num(double r)
{
    return QString::number(r, 'f', 1);
}

QString Title(const QString& sText)
{
    return QStringLiteral("<title>") + HtmlEscaped(sText) + QStringLiteral("</title>");
}

QString Open(int iWidth, int iHeight, const QString& sLabel)
{
    return QStringLiteral(
               "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"chart\" width=\"%1\" height=\"%2\" "
               "viewBox=\"0 0 %1 %2\" role=\"img\" aria-label=\"%3\">")
        .arg(iWidth)
        .arg(iHeight)
        .arg(HtmlEscaped(sLabel));
}

QString Text(double x, double y, const QString& sText, const char* sAnchor = "start", const char* sClass = "")
{
    return QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"%3\" class=\"%4\">%5</text>")
        .arg(Num(x), Num(y), QLatin1String(sAnchor), QLatin1String(sClass), HtmlEscaped(sText));
}

QString Rect(double x, double y, double w, double h, const char* sFill, const QString& sTitle)
{
    return QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\">%6</rect>")
        .arg(Num(x), Num(y), Num(std::max(w, 0.0)), Num(std::max(h, 0.0)), QLatin1String(sFill),
             Title(sTitle));
}

QString Line(double x1, double y1, double x2, double y2, const char* sStroke, const char* sDash = nullptr)
{
    return QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\" stroke=\"%5\"%6/>")
        .arg(Num(x1), Num(y1), Num(x2), Num(y2), QLatin1String(sStroke),
             sDash ? QStringLiteral(" stroke-dasharray=\"%1\"").arg(QLatin1String(sDash)) : QString());
}

// A legend entry: a swatch and its word.
QString Legend(double x, double y, const char* sFill, const QString& sWord)
{
    return Rect(x, y - 9, 10, 10, sFill, sWord) + Text(x + 14, y, sWord);
}

QString DayLabel(const QString& sDay)
{
    // "2026-12-07" -> "12-07": the year is in the page's heading.
    return sDay.size() == 10 ? sDay.mid(5) : sDay;
}

} // namespace

QString HtmlEscaped(const QString& sText)
{
    QString s;
    s.reserve(sText.size() + 16);
    for (const QChar c : sText) {
        switch (c.unicode()) {
        case '&':
            s += QLatin1String("&amp;");
            break;
        case '<':
            s += QLatin1String("&lt;");
            break;
        case '>':
            s += QLatin1String("&gt;");
            break;
        case '"':
            s += QLatin1String("&quot;");
            break;
        case '\'':
            s += QLatin1String("&#39;");
            break;
        default:
            // Control characters other than line breaks and tabs are no text for a browser.
            if (c.unicode() < 0x20 && c != QLatin1Char('\n') && c != QLatin1Char('\t'))
                s += QChar(0xFFFD);
            else
                s += c;
        }
    }
    return s;
}

QString ShortNumber(double rValue)
{
    if (!std::isfinite(rValue))
        return QStringLiteral("–");
    return QString::number(rValue, 'g', 4);
}

QString TSvgChart::DayBars(const std::vector<TReportCounts>& aCounts, const QStringList& slDays, int iWidth,
                           int iHeight)
{
    const double rLeft = 34;
    const double rTop = 32; // room for the legend and the top bar's yield
    const double rBottom = iHeight - 20.0;
    qint64 iMax = 1;
    for (const TReportCounts& c : aCounts)
        iMax = std::max(iMax, c.iRuns);
    const double rSlot = (iWidth - rLeft - 4) / std::max<qsizetype>(1, slDays.size());
    const double rScale = (rBottom - rTop) / double(iMax);
    QString s = Open(iWidth, iHeight, QStringLiteral("Runs per day"));
    s += Line(rLeft, rBottom, iWidth - 2.0, rBottom, "#000");
    s += Text(rLeft - 4, rTop + 4, QString::number(iMax), "end", "axis");
    s += Text(rLeft - 4, rBottom, QStringLiteral("0"), "end", "axis");
    for (int i = 0; i < slDays.size(); ++i) {
        const auto it = std::find_if(aCounts.begin(), aCounts.end(),
                                     [&](const TReportCounts& c) { return c.sDay == slDays[i]; });
        const double x = rLeft + rSlot * i + rSlot * 0.15;
        const double w = rSlot * 0.7;
        if (it != aCounts.end()) {
            const TReportCounts& c = *it;
            const QString sTitle = QStringLiteral("%1: %2 runs, %3 passed, %4 failed, %5 stopped")
                                       .arg(c.sDay)
                                       .arg(c.iRuns)
                                       .arg(c.iPassed)
                                       .arg(c.iFailed)
                                       .arg(c.iStopped);
            double y = rBottom;
            for (const auto& [iCount, sFill, sWord] :
                 {std::tuple{c.iPassed, csPassed, "passed"}, std::tuple{c.iFailed, csFailed, "failed"},
                  std::tuple{c.iStopped, csStopped, "stopped"}}) {
                const double h = double(iCount) * rScale;
                y -= h;
                if (iCount > 0)
                    s += Rect(x, y, w, h, sFill, sTitle);
                Q_UNUSED(sWord);
            }
            if (const auto yield = c.Yield())
                s += Text(x + w / 2, y - 3, QString::number(*yield, 'f', 0) + QLatin1Char('%'), "middle",
                          "small");
        }
        s += Text(x + w / 2, iHeight - 6.0, DayLabel(slDays[i]), "middle", "axis");
    }
    s += Legend(rLeft, 11, csPassed, QStringLiteral("passed")) +
         Legend(rLeft + 64, 11, csFailed, QStringLiteral("failed")) +
         Legend(rLeft + 122, 11, csStopped, QStringLiteral("stopped"));
    return s + QStringLiteral("</svg>");
}

QString TSvgChart::Pareto(const std::vector<TReportFailure>& aFailures, qint64 iAllFailures)
{
    const int iRow = 18;
    const int iWidth = 360;
    const int iHeight = int(aFailures.size()) * iRow + 8;
    qint64 iMax = 1;
    for (const TReportFailure& f : aFailures)
        iMax = std::max(iMax, f.iFailures);
    QString s = Open(iWidth, iHeight, QStringLiteral("Failures per step"));
    for (std::size_t i = 0; i < aFailures.size(); ++i) {
        const TReportFailure& f = aFailures[i];
        const double y = 4.0 + double(i) * iRow;
        const double w = (iWidth - 70.0) * double(f.iFailures) / double(iMax);
        const double rShare = iAllFailures > 0 ? 100.0 * double(f.iFailures) / double(iAllFailures) : 0.0;
        s += Rect(
            0, y, w, iRow - 4, csFailed,
            QStringLiteral("%1: %2 failures, %3 %").arg(f.sNodePath).arg(f.iFailures).arg(rShare, 0, 'f', 1));
        s += Text(w + 4, y + iRow - 7, QStringLiteral("%1 %").arg(rShare, 0, 'f', 1), "start", "small");
    }
    return s + QStringLiteral("</svg>");
}

QString TSvgChart::Histogram(const TReportMeasure& aMeasure)
{
    const int iWidth = 320;
    const int iHeight = 150;
    const double rLeft = 4;
    const double rRight = iWidth - 4.0;
    const double rTop = 22;
    const double rBottom = iHeight - 18.0;
    qint64 iMax = 1;
    for (const qint64 i : aMeasure.Bins)
        iMax = std::max(iMax, i);
    const double rSpan = aMeasure.rBinTo - aMeasure.rBinFrom;
    const auto X = [&](double r) { return rLeft + (rRight - rLeft) * (r - aMeasure.rBinFrom) / rSpan; };
    QString s = Open(iWidth, iHeight, QStringLiteral("Histogram of ") + aMeasure.sNodePath);
    const double rBinWidth = (rRight - rLeft) / std::max<std::size_t>(1, aMeasure.Bins.size());
    for (std::size_t i = 0; i < aMeasure.Bins.size(); ++i) {
        if (aMeasure.Bins[i] == 0)
            continue;
        const double h = (rBottom - rTop) * double(aMeasure.Bins[i]) / double(iMax);
        const double rFrom = aMeasure.rBinFrom + rSpan * double(i) / double(aMeasure.Bins.size());
        const double rTo = aMeasure.rBinFrom + rSpan * double(i + 1) / double(aMeasure.Bins.size());
        s += Rect(
            rLeft + rBinWidth * double(i), rBottom - h, rBinWidth - 1, h, csPassed,
            QStringLiteral("%1 … %2: %3").arg(ShortNumber(rFrom), ShortNumber(rTo)).arg(aMeasure.Bins[i]));
    }
    s += Line(rLeft, rBottom, rRight, rBottom, "#000");
    for (const auto& [limit, sWord] : {std::pair{aMeasure.rLow, "low"}, std::pair{aMeasure.rHigh, "high"}}) {
        if (!limit)
            continue;
        const double x = X(*limit);
        s += Line(x, rTop - 4, x, rBottom, csLimit, "4 2");
        s += Text(x, rTop - 8, QStringLiteral("%1 %2").arg(QLatin1String(sWord), ShortNumber(*limit)),
                  "middle", "small");
    }
    const double xMean = X(aMeasure.rMean);
    s += Line(xMean, rTop + 6, xMean, rBottom, csMean, "1 2");
    s += Text(rLeft, iHeight - 4.0, ShortNumber(aMeasure.rBinFrom), "start", "axis");
    s += Text(xMean, iHeight - 4.0, QStringLiteral("mean ") + ShortNumber(aMeasure.rMean), "middle", "axis");
    s += Text(rRight, iHeight - 4.0, ShortNumber(aMeasure.rBinTo), "end", "axis");
    return s + QStringLiteral("</svg>");
}

QString TSvgChart::Trend(const TReportMeasure& aMeasure)
{
    const int iWidth = 320;
    const int iHeight = 150;
    const double rLeft = 4;
    const double rRight = iWidth - 4.0;
    const double rTop = 10;
    const double rBottom = iHeight - 18.0;
    QString s = Open(iWidth, iHeight, QStringLiteral("Trend of ") + aMeasure.sNodePath);
    if (aMeasure.Trend.empty())
        return s + QStringLiteral("</svg>");
    const double t0 = aMeasure.Trend.front().rTime;
    const double t1 = std::max(aMeasure.Trend.back().rTime, t0 + 1);
    const double rSpan = aMeasure.rBinTo - aMeasure.rBinFrom;
    const auto X = [&](double t) { return rLeft + (rRight - rLeft) * (t - t0) / (t1 - t0); };
    const auto Y = [&](double r) { return rBottom - (rBottom - rTop) * (r - aMeasure.rBinFrom) / rSpan; };
    QString sBand;
    QString sBack;
    QString sMean;
    for (const TTrendPoint& p : aMeasure.Trend) {
        sBand += QStringLiteral("%1,%2 ").arg(Num(X(p.rTime)), Num(Y(p.rMax)));
        sBack.prepend(QStringLiteral("%1,%2 ").arg(Num(X(p.rTime)), Num(Y(p.rMin))));
        sMean += QStringLiteral("%1,%2 ").arg(Num(X(p.rTime)), Num(Y(p.rMean)));
    }
    s += QStringLiteral(
             "<polygon points=\"%1%2\" fill=\"#cfe3f1\"><title>minimum to maximum</title></polygon>")
             .arg(sBand, sBack);
    s += QStringLiteral("<polyline points=\"%1\" fill=\"none\" stroke=\"%2\" "
                        "stroke-width=\"1.5\"><title>mean</title></polyline>")
             .arg(sMean.trimmed(), QLatin1String(csPassed));
    for (const auto& [limit, sWord] : {std::pair{aMeasure.rLow, "low"}, std::pair{aMeasure.rHigh, "high"}}) {
        if (!limit)
            continue;
        const double y = Y(*limit);
        s += Line(rLeft, y, rRight, y, csLimit, "4 2");
        s += Text(rRight, y - 2, QStringLiteral("%1 %2").arg(QLatin1String(sWord), ShortNumber(*limit)),
                  "end", "small");
    }
    const auto When = [](double t) {
        return QDateTime::fromSecsSinceEpoch(qint64(t)).toString(QStringLiteral("MM-dd HH:mm"));
    };
    s += Text(rLeft, iHeight - 4.0, When(t0), "start", "axis");
    s += Text(rRight, iHeight - 4.0, When(t1), "end", "axis");
    return s + QStringLiteral("</svg>");
}
