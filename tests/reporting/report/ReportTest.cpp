#include "ResultTestSupport.h"

#include "reporting/report/ReportPage.h"
#include "reporting/report/ResultReport.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimeZone>

#include <cmath>

namespace {

const QDate cDay1(2026, 3, 2);
const QDate cDay2(2026, 3, 3);

QDateTime At(const QDate& aDay, int iHour)
{
    return QDateTime(aDay, QTime(iHour, 0), Qt::UTC);
}

// A run of the board test: three steps, U1 and U2 measured against their limits, the steps named
// in slFailing failed.
TResultRun BoardRun(const QString& sStation, const QString& sSerial, const QDateTime& dtStart,
                    const QString& sResult, double rU1, double rU2, const QStringList& slFailing = {})
{
    TResultRun run = MakeRun(3, sSerial, sResult, dtStart);
    run.sStationName = sStation;
    run.iFailedSteps = 0;
    const double aValues[] = {rU1, rU2};
    const double aLow[] = {4.4, 2.5};
    const double aHigh[] = {5.9, 3.5};
    for (std::size_t i = 0; i < run.Steps.size(); ++i) {
        TResultStep& step = run.Steps[i];
        const bool bFails = slFailing.contains(step.sLabel);
        step.sResult = bFails ? QStringLiteral("failed") : QStringLiteral("passed");
        step.sErrorText = bFails ? step.sLabel + QStringLiteral(" out of range") : QString();
        run.iFailedSteps += bFails ? 1 : 0;
        if (i < 2)
            step.Measurement = TMeasurement{aValues[i], aLow[i], aHigh[i]};
    }
    return run;
}

// Runs Chromium headless on a page, bounded in time; its standard output and error.
struct TBrowserResult
{
    bool bFinished = false;
    int iExitCode = -1;
    QString sOut;
    QString sErr;
};

TBrowserResult OpenInBrowser(const QString& sPage, const QStringList& slMode)
{
    TBrowserResult result;
    const QString sChromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (sChromium.isEmpty()) {
        result.sErr = QStringLiteral("chromium not installed (scripts/setup installs it)");
        return result;
    }
    QTemporaryDir profile;
    QProcess browser;
    browser.start(sChromium,
                  QStringList{QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                              QStringLiteral("--disable-gpu"), QStringLiteral("--disable-quic"),
                              QStringLiteral("--no-first-run"),
                              QStringLiteral("--disable-background-networking"),
                              QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
                              QStringLiteral("--user-data-dir=") + profile.path(),
                              QStringLiteral("--enable-logging=stderr"), QStringLiteral("--v=0")} +
                      slMode + QStringList{QStringLiteral("file://") + sPage});
    result.bFinished = browser.waitForFinished(90000);
    if (!result.bFinished) {
        browser.kill();
        browser.waitForFinished(5000);
    }
    result.iExitCode = browser.exitCode();
    result.sOut = QString::fromUtf8(browser.readAllStandardOutput());
    result.sErr = QString::fromUtf8(browser.readAllStandardError());
    return result;
}

// The page's console messages (a script error among them) as Chromium logs them.
QStringList ConsoleLines(const QString& sErr)
{
    QStringList lines;
    for (const QString& sLine : sErr.split(QLatin1Char('\n')))
        if (sLine.contains(QLatin1String(":CONSOLE")))
            lines.append(sLine);
    return lines;
}

// The visible text of the page's HTML, markup removed and references resolved.
QString PlainText(QString sHtml)
{
    sHtml.remove(QRegularExpression(QStringLiteral("<script>.*?</script>"),
                                    QRegularExpression::DotMatchesEverythingOption));
    sHtml.replace(QRegularExpression(QStringLiteral("<[^>]*>")), QStringLiteral(" "));
    sHtml.replace(QLatin1String("&lt;"), QLatin1String("<"));
    sHtml.replace(QLatin1String("&gt;"), QLatin1String(">"));
    sHtml.replace(QLatin1String("&quot;"), QLatin1String("\""));
    sHtml.replace(QLatin1String("&#39;"), QLatin1String("'"));
    sHtml.replace(QLatin1String("&amp;"), QLatin1String("&"));
    return sHtml.simplified();
}

struct TToolResult
{
    int iExitCode = -1;
    QString sOut;
    QString sErr;
};

class ReportTest : public ResultServerTest
{
protected:
    void Store(const std::vector<TResultRun>& aRuns)
    {
        auto station = Station();
        for (const TResultRun& run : aRuns)
            ASSERT_TRUE(station->Submit(run));
        ASSERT_TRUE(RunEventsUntil([&] { return station->QueuedRuns() == 0; }, 30000))
            << LogText().toStdString();
    }

    // The known set: two stations, two days, one unit tested again on each, one run outside.
    void StoreKnownSet()
    {
        const QString a = QStringLiteral("Line A");
        const QString b = QStringLiteral("Line B");
        Store({BoardRun(a, QStringLiteral("SN-1"), At(cDay1, 10), QStringLiteral("failed"), 5.0, 3.0,
                        {QStringLiteral("Measure U1")}),
               BoardRun(a, QStringLiteral("SN-1"), At(cDay1, 11), QStringLiteral("passed"), 5.2, 3.3),
               BoardRun(a, QStringLiteral("SN-2"), At(cDay1, 12), QStringLiteral("passed"), 4.8, 2.7),
               BoardRun(a, QStringLiteral("SN-3"), At(cDay2, 9), QStringLiteral("stopped"), 5.0, 3.0),
               BoardRun(b, QStringLiteral("SN-4"), At(cDay2, 10), QStringLiteral("failed"), 5.2, 3.3,
                        {QStringLiteral("Measure U1"), QStringLiteral("Measure U2")}),
               BoardRun(b, QStringLiteral("SN-5"), At(cDay2, 11), QStringLiteral("passed"), 4.8, 2.7),
               BoardRun(b, QStringLiteral("SN-4"), At(cDay2, 12), QStringLiteral("passed"), 5.0, 3.0),
               // Beyond the period: counts nowhere.
               BoardRun(b, QStringLiteral("SN-9"), At(cDay2.addDays(3), 12), QStringLiteral("failed"), 9.0,
                        9.0, {QStringLiteral("Measure U3")})});
    }

    TReportOptions Options() const
    {
        TReportOptions options;
        options.sConnection = Settings().sConnection;
        options.dtFrom = cDay1.startOfDay(Qt::UTC);
        options.dtTo = cDay2.addDays(1).startOfDay(Qt::UTC);
        options.sTimeZone = QStringLiteral("UTC");
        return options;
    }

    TToolResult RunReport(const QStringList& slArgs)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TZK_REPORT_PATH), slArgs);
        TToolResult run;
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished(5000);
            run.sErr = QStringLiteral("tzk-report did not end");
            return run;
        }
        run.iExitCode = process.exitCode();
        run.sOut = QString::fromUtf8(process.readAllStandardOutput());
        run.sErr = QString::fromUtf8(process.readAllStandardError());
        return run;
    }
};

TEST_F(ReportTest, YieldFirstPassYieldParetoAndCpkMatchAComputationByHand)
{
    StoreKnownSet();
    TReportData data;
    QString sError;
    ASSERT_TRUE(TResultReport::Collect(Options(), data, sError)) << sError.toStdString();

    // 7 runs: 4 passed, 2 failed, 1 stopped. Units by their first run: SN-1 failed, SN-2 passed,
    // SN-3 stopped, SN-4 failed, SN-5 passed.
    EXPECT_EQ(data.Total.iRuns, 7);
    EXPECT_EQ(data.Total.iPassed, 4);
    EXPECT_EQ(data.Total.iFailed, 2);
    EXPECT_EQ(data.Total.iStopped, 1);
    EXPECT_NEAR(*data.Total.Yield(), 400.0 / 7.0, 1e-9);
    EXPECT_EQ(data.Total.iUnits, 5);
    EXPECT_NEAR(*data.Total.FirstPassYield(), 40.0, 1e-9);

    struct TExpectedDay
    {
        const char* sDay;
        qint64 iRuns, iPassed, iUnits, iFirstPassed;
    };
    const TExpectedDay expected[] = {{"2026-03-02", 3, 2, 2, 1}, {"2026-03-03", 4, 2, 3, 1}};
    ASSERT_EQ(data.DayTotals.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(expected[i].sDay);
        EXPECT_EQ(data.DayTotals[i].sDay, QLatin1String(expected[i].sDay));
        EXPECT_EQ(data.DayTotals[i].iRuns, expected[i].iRuns);
        EXPECT_EQ(data.DayTotals[i].iPassed, expected[i].iPassed);
        EXPECT_EQ(data.DayTotals[i].iUnits, expected[i].iUnits);
        EXPECT_EQ(data.DayTotals[i].iFirstPassed, expected[i].iFirstPassed);
    }
    ASSERT_EQ(data.StationTotals.size(), 2u);
    EXPECT_EQ(data.StationTotals[0].sStation, QStringLiteral("Line A"));
    EXPECT_EQ(data.StationTotals[0].iRuns, 4);
    EXPECT_NEAR(*data.StationTotals[0].FirstPassYield(), 100.0 / 3.0, 1e-9); // SN-2 of SN-1, SN-2, SN-3
    EXPECT_NEAR(*data.StationTotals[1].FirstPassYield(), 50.0, 1e-9);        // SN-5 of SN-4, SN-5

    // Pareto: U1 failed twice, U2 once; U3 only outside the period.
    ASSERT_EQ(data.Failures.size(), 2u);
    EXPECT_EQ(data.iFailedSteps, 3);
    EXPECT_EQ(data.Failures[0].sNodePath, QStringLiteral("Power / Measure U1"));
    EXPECT_EQ(data.Failures[0].iFailures, 2);
    EXPECT_EQ(data.Failures[0].sLastError, QStringLiteral("Measure U1 out of range"));
    EXPECT_EQ(data.Failures[0].slRunIds.size(), 2);
    EXPECT_EQ(data.Failures[1].sNodePath, QStringLiteral("Power / Measure U2"));

    // U1: 5.0 5.2 4.8 5.0 5.2 4.8 5.0 -> mean 5.0, s = sqrt(0.16 / 6), limits 4.4 .. 5.9:
    // Cpk = min(0.9, 0.6) / 3s = 1.2247. U2: 3.0 3.3 2.7 ... -> mean 3.0, s = sqrt(0.36 / 6),
    // limits 2.5 .. 3.5: Cpk = 0.5 / 3s = 0.6804, the lower one first.
    ASSERT_EQ(data.Measures.size(), 2u);
    const TReportMeasure& u2 = data.Measures[0];
    const TReportMeasure& u1 = data.Measures[1];
    EXPECT_EQ(u2.sNodePath, QStringLiteral("Power / Measure U2"));
    EXPECT_EQ(u1.iCount, 7);
    EXPECT_NEAR(u1.rMean, 5.0, 1e-9);
    EXPECT_NEAR(*u1.rStdDev, std::sqrt(0.16 / 6), 1e-9);
    EXPECT_NEAR(*u1.rCpk, 1.2247, 1e-4);
    EXPECT_NEAR(*u2.rCpk, 0.6804, 1e-4);
    EXPECT_EQ(*u1.rLow, 4.4);
    EXPECT_EQ(*u1.rHigh, 5.9);
    qint64 iBinned = 0;
    for (const qint64 i : u1.Bins)
        iBinned += i;
    EXPECT_EQ(iBinned, 7);
    EXPECT_FALSE(u1.Trend.empty());

    // Units tested again or failed: SN-4 (two runs, the second a retest), SN-3, SN-1.
    QStringList slUnits;
    for (const TReportUnit& unit : data.Units)
        slUnits.append(QStringLiteral("%1:%2").arg(unit.sSerial).arg(unit.Runs.size()));
    EXPECT_EQ(slUnits,
              (QStringList{QStringLiteral("SN-4:2"), QStringLiteral("SN-3:1"), QStringLiteral("SN-1:2")}));
    EXPECT_EQ(data.Units[0].Runs[1].iAttempt, 2);
    EXPECT_EQ(
        data.Units[0].Runs[0].sFailures,
        QStringLiteral(
            "Power / Measure U1: Measure U1 out of range\nPower / Measure U2: Measure U2 out of range"));

    // The latest runs, with their steps' values and limits.
    ASSERT_EQ(data.Runs.size(), 7u);
    EXPECT_EQ(data.Runs[0].sSerial, QStringLiteral("SN-4"));
    ASSERT_EQ(data.Runs[0].Steps.size(), 3u);
    EXPECT_EQ(*data.Runs[0].Steps[0].rValue, 5.0);
    EXPECT_EQ(*data.Runs[0].Steps[0].rHigh, 5.9);
    EXPECT_FALSE(data.Runs[0].Steps[2].rValue);

    // One station only.
    TReportOptions options = Options();
    options.sStation = QStringLiteral("Line B");
    ASSERT_TRUE(TResultReport::Collect(options, data, sError)) << sError.toStdString();
    EXPECT_EQ(data.Total.iRuns, 3);
    EXPECT_EQ(data.slStations, QStringList{QStringLiteral("Line B")});
}

TEST_F(ReportTest, ADatabaseWithoutMeasurementsGivesTheRestOfTheReport)
{
    StoreKnownSet();
    // As a database that a program before the measurements keeps using.
    ASSERT_TRUE(
        Server().Query(QStringLiteral("ALTER TABLE tzk_step DROP COLUMN meas_value, DROP COLUMN meas_low, "
                                      "DROP COLUMN meas_high"),
                       fsDatabase))
        << Server().Error().toStdString();
    TReportData data;
    QString sError;
    ASSERT_TRUE(TResultReport::Collect(Options(), data, sError)) << sError.toStdString();
    EXPECT_EQ(data.Total.iRuns, 7);
    EXPECT_EQ(data.Failures.size(), 2u);
    EXPECT_TRUE(data.Measures.empty());
    ASSERT_FALSE(data.Runs.empty());
    EXPECT_FALSE(data.Runs[0].Steps[0].rValue);
    EXPECT_TRUE(TReportPage::Render(data).contains("No step measured a value in this period."));
}

TEST_F(ReportTest, ThePageFromTzkReportOpensInChromiumWithTheNumbersAndNoErrors)
{
    StoreKnownSet();
    const QString sPage = QStringLiteral(TZK_ARTEFACT_DIR "/report.html");
    QFile::remove(sPage);
    const TToolResult report =
        RunReport({QStringLiteral("--results-db"), Server().Url(fsDatabase), QStringLiteral("--from"),
                   QStringLiteral("2026-03-02"), QStringLiteral("--to"), QStringLiteral("2026-03-03"),
                   QStringLiteral("--output"), sPage});
    ASSERT_EQ(report.iExitCode, 0) << report.sErr.toStdString();
    EXPECT_TRUE(report.sOut.contains(QStringLiteral("7 runs"))) << report.sOut.toStdString();

    const TBrowserResult dom = OpenInBrowser(sPage, {QStringLiteral("--dump-dom")});
    ASSERT_TRUE(dom.bFinished) << dom.sErr.toStdString();
    ASSERT_EQ(dom.iExitCode, 0) << dom.sErr.toStdString();
    EXPECT_EQ(ConsoleLines(dom.sErr), QStringList()) << "the page's console";
    const QString sText = PlainText(dom.sOut);
    for (const char* sExpected : {
             // Overview: runs, passed, failed, stopped, yield, first-pass yield.
             "all stations 7 4 2 1 57.1 % 40.0 %",
             "2026-03-02 3 2 1 0 66.7 % 50.0 %",
             "2026-03-03 4 2 1 1 50.0 % 33.3 %",
             "Line A 4 2 1 1 50.0 % 33.3 %",
             "Line B 3 2 1 0 66.7 % 50.0 %",
             // Pareto: rank, step, definition, failures, share, cumulative.
             "1 Power / Measure U1 Board 2 66.7 % 66.7 %",
             "2 Power / Measure U2 Board 1 33.3 % 100.0 %",
             // Measurements, the lowest Cpk first.
             "Power / Measure U2 Board 7 1 3 0.2449 2.7 3.3 2.5 3.5 0.68",
             "Power / Measure U1 Board 7 2 5 0.1633 4.8 5.2 4.4 5.9 1.22",
             "2 (retest)",
         })
        EXPECT_TRUE(sText.contains(QLatin1String(sExpected))) << sExpected << "\n" << sText.toStdString();
    // The stopped unit's run and the unit search, which the script shows.
    EXPECT_TRUE(dom.sOut.contains(QStringLiteral("<input id=\"unit-search\" type=\"search\"")));
    EXPECT_FALSE(dom.sOut.contains(QStringLiteral("aria-label=\"Search a serial number\" hidden")));

    const QString sPicture = QStringLiteral(TZK_ARTEFACT_DIR "/report.png");
    QFile::remove(sPicture);
    const TBrowserResult shot = OpenInBrowser(sPage, {QStringLiteral("--screenshot=") + sPicture,
                                                      QStringLiteral("--window-size=1280,2400"),
                                                      QStringLiteral("--hide-scrollbars")});
    ASSERT_TRUE(shot.bFinished) << shot.sErr.toStdString();
    EXPECT_GT(QFileInfo(sPicture).size(), 10000) << shot.sErr.toStdString();
}

TEST_F(ReportTest, TextsFromDevicesAndOperatorsAreShownAsTextAndRunNoScript)
{
    const QString sHostile = QStringLiteral("<script>document.title='owned'</script>\"'></svg><b>x</b>&amp;");
    TResultRun run = BoardRun(QStringLiteral("Line <A>"), sHostile, At(cDay1, 10), QStringLiteral("failed"),
                              5.0, 3.0, {QStringLiteral("Measure U1")});
    run.Steps[0].sErrorText = QStringLiteral("response: ") + sHostile;
    run.Steps[0].sNodePath = QStringLiteral("Power </svg><script>document.title='owned'</script> / U1");
    run.sOperator = sHostile;
    run.sFileLabel = QStringLiteral("Board \"<i>\"");
    Store({run});

    const QString sPage = QStringLiteral(TZK_ARTEFACT_DIR "/report-texts.html");
    const TToolResult report =
        RunReport({QStringLiteral("--results-db"), Server().Url(fsDatabase), QStringLiteral("--from"),
                   QStringLiteral("2026-03-02"), QStringLiteral("--to"), QStringLiteral("2026-03-02"),
                   QStringLiteral("--unit"), sHostile, QStringLiteral("--output"), sPage});
    ASSERT_EQ(report.iExitCode, 0) << report.sErr.toStdString();
    const TBrowserResult dom = OpenInBrowser(sPage, {QStringLiteral("--dump-dom")});
    ASSERT_TRUE(dom.bFinished) << dom.sErr.toStdString();
    EXPECT_EQ(ConsoleLines(dom.sErr), QStringList());
    // The page's own script is the only one, and nothing renamed the page.
    EXPECT_EQ(dom.sOut.count(QStringLiteral("<script")), 1) << dom.sOut.toStdString();
    EXPECT_FALSE(dom.sOut.contains(QStringLiteral("<title>owned")));
    EXPECT_FALSE(dom.sOut.contains(QStringLiteral("<b>x</b>")));
    EXPECT_FALSE(dom.sOut.contains(QStringLiteral("<i>")));
    const QString sText = PlainText(dom.sOut);
    EXPECT_GE(sText.count(sHostile), 4) << sText.toStdString(); // serial, operator, error, unit
    EXPECT_TRUE(sText.contains(QStringLiteral("response: ") + sHostile));
    EXPECT_TRUE(sText.contains(QStringLiteral("Power </svg><script>document.title='owned'</script> / U1")));
    EXPECT_TRUE(sText.contains(QStringLiteral("Line <A>")));
}

TEST_F(ReportTest, NoDatabaseNoResultsAndNoRunsGiveAClearMessage)
{
    const QString sPage = fDir.FilePath(QStringLiteral("report.html"));
    const auto Args = [&](const QString& sConnection) {
        return QStringList{QStringLiteral("--results-db"), sConnection, QStringLiteral("--output"), sPage};
    };

    const TToolResult unreachable =
        RunReport(Args(QStringLiteral("host=") + fDir.FilePath(QStringLiteral("no-server")) +
                       QStringLiteral(" port=1 dbname=x")));
    EXPECT_EQ(unreachable.iExitCode, 2);
    EXPECT_TRUE(unreachable.sErr.startsWith(QStringLiteral("tzk-report: cannot reach the result database: ")))
        << unreachable.sErr.toStdString();
    EXPECT_FALSE(QFile::exists(sPage));

    // A database that is not TZK's.
    const TToolResult foreign = RunReport(Args(Server().Url(fsDatabase)));
    EXPECT_EQ(foreign.iExitCode, 2);
    EXPECT_TRUE(foreign.sErr.contains(QStringLiteral("holds no TZK results"))) << foreign.sErr.toStdString();
    EXPECT_FALSE(QFile::exists(sPage));

    // TZK's tables without a run in the period: a page that says so.
    Store({BoardRun(QStringLiteral("Line A"), QStringLiteral("SN-1"), At(cDay1, 10), QStringLiteral("passed"),
                    5, 3)});
    const TToolResult empty = RunReport(Args(Server().Url(fsDatabase)));
    EXPECT_EQ(empty.iExitCode, 0) << empty.sErr.toStdString();
    EXPECT_TRUE(empty.sErr.contains(QStringLiteral("tzk-report: no runs in "))) << empty.sErr.toStdString();
    QFile page(sPage);
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_TRUE(QString::fromUtf8(page.readAll()).contains(QStringLiteral("No runs in this period")));

    // The window's page for a problem says it, escaped.
    const QString sProblem = QString::fromUtf8(TReportPage::Problem(Options(), QStringLiteral("<refused>")));
    EXPECT_TRUE(sProblem.contains(QStringLiteral("No report: &lt;refused&gt;")));
}

} // namespace
