#include "ReportPage.h"

#include "SvgChart.h"

#include <QDate>

#include <set>

namespace {

const char* const csStyle = R"CSS(
body{font:14px/1.4 "DejaVu Sans",Arial,sans-serif;margin:1em 2em;color:#111}
h1{font-size:22px;margin:.2em 0}h2{font-size:18px;margin-top:1.6em;border-bottom:1px solid #999}
h3{font-size:15px;margin:.8em 0 .3em}
nav a{margin-right:1em}
table{border-collapse:collapse;margin:.4em 0}
th,td{border:1px solid #bbb;padding:2px 6px;text-align:left;vertical-align:top}
td.n,th.n{text-align:right;font-variant-numeric:tabular-nums}
.filters{color:#333}
.passed{color:#0a5a8c}.failed{color:#b03c00;font-weight:bold}.stopped{color:#555;font-style:italic}
.paused{color:#555}
.charts{display:flex;flex-wrap:wrap;gap:12px}
figure{margin:0;border:1px solid #ddd;padding:4px}figcaption{font-size:12px}
svg text{font:11px "DejaVu Sans",Arial,sans-serif;fill:#111}svg text.small{font-size:10px}
svg text.axis{font-size:10px;fill:#333}
.measure{break-inside:avoid;margin-bottom:1em}
section{content-visibility:auto;contain-intrinsic-size:auto 1500px}
.err{white-space:pre-wrap;max-width:40em}
details{border-bottom:1px solid #ddd;padding:2px 0}
summary{cursor:pointer}
.steps td:nth-child(1),.steps td:nth-child(5),.steps td:nth-child(6),.steps td:nth-child(7){text-align:right}
.steps td:nth-child(9){white-space:pre-wrap;max-width:40em}
.retest{font-weight:bold}
.problem{border:2px solid #b03c00;padding:1em;max-width:50em}
@media print{nav,#unit-search{display:none}details{break-inside:avoid}}
)CSS";

const char* const csScript = R"JS(
(function(){
  function openTarget(){
    var id=decodeURIComponent(location.hash.slice(1));
    var el=id&&document.getElementById(id);
    if(el&&el.tagName==='DETAILS'){el.open=true;el.scrollIntoView();}
  }
  window.addEventListener('hashchange',openTarget);
  openTarget();
  var box=document.getElementById('unit-search');
  if(!box)return;
  box.hidden=false;
  box.addEventListener('input',function(){
    var q=box.value.trim().toLowerCase();
    var units=document.querySelectorAll('.unit');
    for(var i=0;i<units.length;i++){
      units[i].hidden=q!==''&&units[i].getAttribute('data-serial').toLowerCase().indexOf(q)<0;
    }
  });
})();
)JS";

QString E(const QString& s)
{
    return HtmlEscaped(s);
}

QString Percent(const std::optional<double>& r)
{
    return r ? QString::number(*r, 'f', 1) + QStringLiteral(" %") : QStringLiteral("–");
}

QString Opt(const std::optional<double>& r)
{
    return r ? ShortNumber(*r) : QStringLiteral("–");
}

// The state as a word, coloured by its class: colour is never the only sign.
QString State(const QString& sResult)
{
    return QStringLiteral("<span class=\"%1\">%2</span>").arg(E(sResult), E(sResult.toUpper()));
}

QString Cell(const QString& sHtml, bool bNumber = false)
{
    return (bNumber ? QStringLiteral("<td class=\"n\">") : QStringLiteral("<td>")) + sHtml +
           QStringLiteral("</td>");
}

QString Head(const QStringList& slColumns, int iFirstNumber = 99)
{
    QString s = QStringLiteral("<tr>");
    for (int i = 0; i < slColumns.size(); ++i)
        s += (i >= iFirstNumber ? QStringLiteral("<th class=\"n\">") : QStringLiteral("<th>")) +
             E(slColumns[i]) + QStringLiteral("</th>");
    return s + QStringLiteral("</tr>");
}

QString CountCells(const TReportCounts& c)
{
    return Cell(QString::number(c.iRuns), true) + Cell(QString::number(c.iPassed), true) +
           Cell(QString::number(c.iFailed), true) + Cell(QString::number(c.iStopped), true) +
           Cell(Percent(c.Yield()), true) + Cell(Percent(c.FirstPassYield()), true);
}

QString Duration(qint64 iMs)
{
    return QString::number(double(iMs) / 1000.0, 'f', 1) + QStringLiteral(" s");
}

QString Page(const QString& sTitle, const QString& sBody, bool bScript)
{
    QString s = QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                               "<meta name=\"viewport\" content=\"width=device-width\">"
                               "<title>") +
                E(sTitle) + QStringLiteral("</title><style>") + QLatin1String(csStyle) +
                QStringLiteral("</style></head>\n<body>\n") + sBody;
    if (bScript)
        s += QStringLiteral("<script>") + QLatin1String(csScript) + QStringLiteral("</script>\n");
    return s + QStringLiteral("</body></html>\n");
}

QString Heading(const TReportData& aData)
{
    return QStringLiteral("<header><h1>TZK line report</h1><p class=\"filters\">") +
           E(TReportPage::Filters(aData.Options)) + QStringLiteral("<br>Database ") + E(aData.sServer) +
           QStringLiteral(" · made ") + E(aData.sMadeAt) + QStringLiteral("</p>");
}

QString Overview(const TReportData& aData)
{
    QStringList slDays;
    for (QDate d = aData.Options.dtFrom.date();
         d.isValid() &&
         d < aData.Options.dtTo.date().addDays(aData.Options.dtTo.time() == QTime(0, 0) ? 0 : 1);
         d = d.addDays(1)) {
        slDays.append(d.toString(Qt::ISODate));
        if (slDays.size() > 400)
            break;
    }
    QString s = QStringLiteral("<section id=\"overview\"><h2>Overview</h2>\n<table>") +
                Head({QStringLiteral("Period"), QStringLiteral("Runs"), QStringLiteral("Passed"),
                      QStringLiteral("Failed"), QStringLiteral("Stopped"), QStringLiteral("Yield"),
                      QStringLiteral("First-pass yield")},
                     1) +
                QStringLiteral("<tr id=\"total\">") + Cell(QStringLiteral("all stations")) +
                CountCells(aData.Total) + QStringLiteral("</tr></table>\n");
    const int iChartWidth = std::max(260, std::min(900, 60 * int(slDays.size()) + 40));
    s += QStringLiteral("<div class=\"charts\"><figure><figcaption>All stations</figcaption>") +
         TSvgChart::DayBars(aData.DayTotals, slDays, iChartWidth, 180) +
         QStringLiteral("</figure></div>\n<h3>Per day</h3><table id=\"days\">") +
         Head({QStringLiteral("Day"), QStringLiteral("Runs"), QStringLiteral("Passed"),
               QStringLiteral("Failed"), QStringLiteral("Stopped"), QStringLiteral("Yield"),
               QStringLiteral("First-pass yield")},
              1);
    for (const TReportCounts& c : aData.DayTotals)
        s += QStringLiteral("<tr>") + Cell(E(c.sDay)) + CountCells(c) + QStringLiteral("</tr>");
    s += QStringLiteral("</table>\n<h3>Per station</h3><table id=\"stations\">") +
         Head({QStringLiteral("Station"), QStringLiteral("Runs"), QStringLiteral("Passed"),
               QStringLiteral("Failed"), QStringLiteral("Stopped"), QStringLiteral("Yield"),
               QStringLiteral("First-pass yield")},
              1);
    for (const TReportCounts& c : aData.StationTotals)
        s += QStringLiteral("<tr>") + Cell(E(c.sStation)) + CountCells(c) + QStringLiteral("</tr>");
    s += QStringLiteral("</table>\n");

    // The stations beside each other: small charts, and yield per day in one table.
    if (aData.slStations.size() > 1) {
        s += QStringLiteral("<div class=\"charts\">");
        for (const QString& sStation : aData.slStations) {
            std::vector<TReportCounts> days;
            TReportCounts total;
            for (const TReportCounts& c : aData.Days) {
                if (c.sStation == sStation) {
                    days.push_back(c);
                    total.Add(c);
                }
            }
            s += QStringLiteral("<figure><figcaption>") + E(sStation) + QStringLiteral(": yield ") +
                 Percent(total.Yield()) + QStringLiteral(", first-pass ") + Percent(total.FirstPassYield()) +
                 QStringLiteral("</figcaption>") + TSvgChart::DayBars(days, slDays, 260, 120) +
                 QStringLiteral("</figure>");
        }
        s += QStringLiteral("</div>\n");
    }
    s += QStringLiteral("<h3>Yield per station and day</h3><table id=\"station-days\"><tr><th>Station</th>");
    for (const QString& sDay : slDays)
        s += QStringLiteral("<th class=\"n\">") + E(sDay.mid(5)) + QStringLiteral("</th>");
    s += QStringLiteral("</tr>");
    for (const QString& sStation : aData.slStations) {
        s += QStringLiteral("<tr>") + Cell(E(sStation));
        for (const QString& sDay : slDays) {
            QString sCell;
            for (const TReportCounts& c : aData.Days) {
                if (c.sStation == sStation && c.sDay == sDay)
                    sCell = Percent(c.Yield()) + QStringLiteral(" (") + QString::number(c.iRuns) +
                            QStringLiteral(")");
            }
            s += Cell(sCell, true);
        }
        s += QStringLiteral("</tr>");
    }
    return s +
           QStringLiteral("</table><p>Yield: passed runs of all runs. First-pass yield: units whose first "
                          "run in the period passed, of all units (value-log column ") +
           E(aData.Options.sSerialColumn) +
           QStringLiteral("); a unit counts on the day and station of its first run.</p></section>\n");
}

QString ParetoSection(const TReportData& aData, const std::set<QString>& aShownRuns)
{
    QString s = QStringLiteral("<section id=\"pareto\"><h2>Failure Pareto</h2>\n");
    if (aData.Failures.empty())
        return s + QStringLiteral("<p>No step failed in this period.</p></section>\n");
    s += QStringLiteral("<p>%1 failed steps in all.</p><div class=\"charts\"><table id=\"pareto-table\">")
             .arg(aData.iFailedSteps) +
         Head({QStringLiteral("#"), QStringLiteral("Step"), QStringLiteral("Definition"),
               QStringLiteral("Failures"), QStringLiteral("Share"), QStringLiteral("Cumulative"),
               QStringLiteral("Runs"), QStringLiteral("Last error"), QStringLiteral("Last failure"),
               QStringLiteral("Latest runs")});
    qint64 iCumulative = 0;
    int iRank = 0;
    for (const TReportFailure& f : aData.Failures) {
        iCumulative += f.iFailures;
        const double rAll = double(std::max<qint64>(1, aData.iFailedSteps));
        QString sLinks;
        int iLink = 0;
        for (const QString& sRun : f.slRunIds) {
            ++iLink;
            if (aShownRuns.count(sRun))
                sLinks += QStringLiteral("<a href=\"#run-%1\">run %2</a> ").arg(E(sRun)).arg(iLink);
        }
        s += QStringLiteral("<tr>") + Cell(QString::number(++iRank), true) + Cell(E(f.sNodePath)) +
             Cell(E(f.sDefinition)) + Cell(QString::number(f.iFailures), true) +
             Cell(QString::number(100.0 * double(f.iFailures) / rAll, 'f', 1) + QStringLiteral(" %"), true) +
             Cell(QString::number(100.0 * double(iCumulative) / rAll, 'f', 1) + QStringLiteral(" %"), true) +
             Cell(QString::number(f.iRuns), true) + QStringLiteral("<td class=\"err\">") + E(f.sLastError) +
             QStringLiteral("</td>") + Cell(E(f.sLastFailure)) + Cell(sLinks) + QStringLiteral("</tr>\n");
    }
    return s + QStringLiteral("</table>") + TSvgChart::Pareto(aData.Failures, aData.iFailedSteps) +
           QStringLiteral("</div></section>\n");
}

QString MeasureSection(const TReportData& aData)
{
    QString s = QStringLiteral("<section id=\"measurements\"><h2>Measurements</h2>\n");
    if (aData.Measures.empty())
        return s + QStringLiteral("<p>No step measured a value in this period.</p></section>\n");
    s += QStringLiteral("<p>The measured steps, the lowest Cpk first. Cpk = min(high − mean, mean − low) / "
                        "(3 · standard deviation), with the latest limits.</p><table id=\"measure-table\">") +
         Head({QStringLiteral("Step"), QStringLiteral("Definition"), QStringLiteral("Values"),
               QStringLiteral("Failed"), QStringLiteral("Mean"), QStringLiteral("Std. dev."),
               QStringLiteral("Min"), QStringLiteral("Max"), QStringLiteral("Low"), QStringLiteral("High"),
               QStringLiteral("Cpk")},
              2);
    for (const TReportMeasure& m : aData.Measures) {
        s += QStringLiteral("<tr>") + Cell(E(m.sNodePath)) + Cell(E(m.sDefinition)) +
             Cell(QString::number(m.iCount), true) + Cell(QString::number(m.iFailed), true) +
             Cell(ShortNumber(m.rMean), true) + Cell(Opt(m.rStdDev), true) + Cell(ShortNumber(m.rMin), true) +
             Cell(ShortNumber(m.rMax), true) + Cell(Opt(m.rLow), true) + Cell(Opt(m.rHigh), true) +
             Cell(m.rCpk ? QString::number(*m.rCpk, 'f', 2) : QStringLiteral("–"), true) +
             QStringLiteral("</tr>\n");
    }
    s += QStringLiteral("</table>\n");
    for (const TReportMeasure& m : aData.Measures) {
        s += QStringLiteral("<div class=\"measure\"><h3>") + E(m.sNodePath) + QStringLiteral("</h3><p>") +
             E(m.sDefinition) +
             QStringLiteral(" · %1 values · mean %2 · std. dev. %3 · Cpk %4</p>")
                 .arg(m.iCount)
                 .arg(ShortNumber(m.rMean), Opt(m.rStdDev),
                      m.rCpk ? QString::number(*m.rCpk, 'f', 2) : QStringLiteral("–")) +
             QStringLiteral("<div class=\"charts\"><figure><figcaption>Trend: mean, minimum to maximum, "
                            "limits</figcaption>") +
             TSvgChart::Trend(m) +
             QStringLiteral(
                 "</figure><figure><figcaption>Histogram with the limits and the mean</figcaption>") +
             TSvgChart::Histogram(m) + QStringLiteral("</figure></div></div>\n");
    }
    return s + QStringLiteral("</section>\n");
}

QString UnitSection(const TReportData& aData, const std::set<QString>& aShownRuns)
{
    QString s =
        QStringLiteral("<section id=\"units\"><h2>Units</h2>\n<p>Units that were tested again or "
                       "failed, the latest first; a retest is marked. Serial numbers from the "
                       "value-log column ") +
        E(aData.Options.sSerialColumn) +
        QStringLiteral(".</p><p><input id=\"unit-search\" type=\"search\" placeholder=\"Serial number\" "
                       "aria-label=\"Search a serial number\" hidden></p>\n");
    if (aData.Units.empty())
        return s + QStringLiteral("<p>No unit was tested again or failed in this period.</p></section>\n");
    for (const TReportUnit& unit : aData.Units) {
        s += QStringLiteral("<div class=\"unit\" data-serial=\"") + E(unit.sSerial) +
             QStringLiteral("\"><h3>") + E(unit.sSerial) + QStringLiteral("</h3><table>") +
             Head({QStringLiteral("Attempt"), QStringLiteral("Started"), QStringLiteral("Station"),
                   QStringLiteral("Result"), QStringLiteral("Failed steps")});
        for (const TUnitRun& run : unit.Runs) {
            const QString sStarted =
                aShownRuns.count(run.sRunId)
                    ? QStringLiteral("<a href=\"#run-%1\">%2</a>").arg(E(run.sRunId), E(run.sStarted))
                    : E(run.sStarted);
            s += QStringLiteral("<tr>") +
                 Cell(run.iAttempt > 1
                          ? QStringLiteral("<span class=\"retest\">%1 (retest)</span>").arg(run.iAttempt)
                          : QStringLiteral("1")) +
                 Cell(sStarted) + Cell(E(run.sStation)) + Cell(State(run.sResult)) +
                 QStringLiteral("<td class=\"err\">") + E(run.sFailures) + QStringLiteral("</td></tr>");
        }
        s += QStringLiteral("</table></div>\n");
    }
    return s + QStringLiteral("</section>\n");
}

QString RunSection(const TReportData& aData)
{
    QString s = QStringLiteral("<section id=\"runs\"><h2>Runs</h2>\n<p>The latest %1 runs, and the runs the "
                               "Pareto links to; open a run for its steps.</p>\n")
                    .arg(aData.Options.iLatestRuns);
    for (const TReportRun& run : aData.Runs) {
        s += QStringLiteral("<details id=\"run-") + E(run.sRunId) + QStringLiteral("\"><summary>") +
             E(run.sStarted) + QStringLiteral(" · ") + E(run.sStation) + QStringLiteral(" · ") +
             E(run.sDefinition) + QStringLiteral(" · unit ") +
             (run.sSerial.isEmpty() ? QStringLiteral("–") : E(run.sSerial)) + QStringLiteral(" · ") +
             E(run.sOperator) + QStringLiteral(" · ") + State(run.sResult) +
             (run.iFailedSteps > 0 ? QStringLiteral(" · %1 failed step(s)").arg(run.iFailedSteps)
                                   : QString()) +
             QStringLiteral(" · ") + Duration(run.iDurationMs) +
             QStringLiteral("</summary><table class=\"steps\">") +
             Head({QStringLiteral("#"), QStringLiteral("Node"), QStringLiteral("Step"),
                   QStringLiteral("Result"), QStringLiteral("Value"), QStringLiteral("Low"),
                   QStringLiteral("High"), QStringLiteral("Logged"), QStringLiteral("Error")});
        // Thousands of rows: the columns are aligned by the table's style, not per cell.
        for (const TReportStep& step : run.Steps) {
            s += QStringLiteral("<tr><td>") + QString::number(step.iSeq) + QStringLiteral("</td><td>") +
                 E(step.sNodeNumber) + QStringLiteral("</td><td>") + E(step.sNodePath) +
                 QStringLiteral("</td><td>") + State(step.sResult) + QStringLiteral("</td><td>") +
                 Opt(step.rValue) + QStringLiteral("</td><td>") + Opt(step.rLow) +
                 QStringLiteral("</td><td>") + Opt(step.rHigh) + QStringLiteral("</td><td>") +
                 E(step.sLogValue) + QStringLiteral("</td><td>") + E(step.sErrorText) +
                 QStringLiteral("</td></tr>");
        }
        s += QStringLiteral("</table></details>\n");
    }
    return s + QStringLiteral("</section>\n");
}

} // namespace

QString TReportPage::Filters(const TReportOptions& aOptions)
{
    const QString sFormat = QStringLiteral("yyyy-MM-dd HH:mm");
    return QStringLiteral("%1 – %2 · %3 · %4 · serial numbers from %5")
        .arg(aOptions.dtFrom.toLocalTime().toString(sFormat), aOptions.dtTo.toLocalTime().toString(sFormat),
             aOptions.sStation.isEmpty() ? QStringLiteral("every station")
                                         : QStringLiteral("station ") + aOptions.sStation,
             aOptions.sDefinition.isEmpty() ? QStringLiteral("every definition")
                                            : QStringLiteral("definition ") + aOptions.sDefinition,
             aOptions.sSerialColumn);
}

QByteArray TReportPage::Render(const TReportData& aData)
{
    QString sBody = Heading(aData);
    if (aData.Total.iRuns == 0) {
        sBody += QStringLiteral(
            "</header>\n<p class=\"problem\" id=\"no-runs\">No runs in this period: the result "
            "database holds no run that matches the filters above.</p>\n");
        return Page(QStringLiteral("TZK line report"), sBody, false).toUtf8();
    }
    std::set<QString> shownRuns;
    for (const TReportRun& run : aData.Runs)
        shownRuns.insert(run.sRunId);
    sBody += QStringLiteral("<nav><a href=\"#overview\">Overview</a><a href=\"#pareto\">Failure Pareto</a>"
                            "<a href=\"#measurements\">Measurements</a><a href=\"#units\">Units</a>"
                            "<a href=\"#runs\">Runs</a></nav></header>\n");
    sBody += Overview(aData);
    sBody += ParetoSection(aData, shownRuns);
    sBody += MeasureSection(aData);
    sBody += UnitSection(aData, shownRuns);
    sBody += RunSection(aData);
    return Page(QStringLiteral("TZK line report ") + TReportPage::Filters(aData.Options), sBody, true)
        .toUtf8();
}

QByteArray TReportPage::Problem(const TReportOptions& aOptions, const QString& sText)
{
    const QString sBody = QStringLiteral("<header><h1>TZK line report</h1><p class=\"filters\">") +
                          E(Filters(aOptions)) +
                          QStringLiteral("</p></header>\n<p class=\"problem\" id=\"problem\">No report: ") +
                          E(sText) + QStringLiteral("</p>\n");
    return Page(QStringLiteral("TZK line report"), sBody, false).toUtf8();
}
