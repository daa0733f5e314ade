// tzk-report: the line and station report from the result database, as one HTML page.

#include "core/RegIO.h"
#include "reporting/report/ReportPage.h"
#include "reporting/report/ResultReport.h"
#include "reporting/results/ResultDatabase.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSaveFile>
#include <QTextStream>

namespace {

constexpr int ciExitUsage = 1;
constexpr int ciExitDatabase = 2;
constexpr int ciExitOutput = 3;

// "2026-12-07" (the day's start) or "2026-12-07 14:30", local time.
std::optional<QDateTime> ParseTime(const QString& sText, bool bEndOfDay)
{
    const QString s = sText.trimmed();
    const QDate date = QDate::fromString(s, Qt::ISODate);
    if (date.isValid())
        return (bEndOfDay ? date.addDays(1) : date).startOfDay();
    for (const QString& sFormat :
         {QStringLiteral("yyyy-MM-dd HH:mm"), QStringLiteral("yyyy-MM-dd HH:mm:ss"),
          QStringLiteral("yyyy-MM-ddTHH:mm"), QStringLiteral("yyyy-MM-ddTHH:mm:ss")}) {
        const QDateTime dt = QDateTime::fromString(s, sFormat);
        if (dt.isValid())
            return dt;
    }
    return std::nullopt;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tzk-report"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TZK_VERSION));
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes the line and station report of the result database as one HTML page."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption dbOption(
        QStringLiteral("results-db"),
        QStringLiteral("The result database (a postgresql:// URL or a connection "
                       "string); by default the settings' connection."),
        QStringLiteral("URL"));
    const QCommandLineOption fromOption(
        QStringLiteral("from"),
        QStringLiteral("The period's first day (2026-12-07) or moment "
                       "(2026-12-07 06:00); by default six days before today."),
        QStringLiteral("TIME"));
    const QCommandLineOption toOption(
        QStringLiteral("to"),
        QStringLiteral("The period's last day (inclusive) or its end moment; by "
                       "default today."),
        QStringLiteral("TIME"));
    const QCommandLineOption todayOption(QStringLiteral("today"), QStringLiteral("Today only."));
    const QCommandLineOption stationOption(QStringLiteral("station"),
                                           QStringLiteral("One station (its station or host name)."),
                                           QStringLiteral("NAME"));
    const QCommandLineOption definitionOption(QStringLiteral("definition"),
                                              QStringLiteral("One definition (its path or label)."),
                                              QStringLiteral("FILE"));
    const QCommandLineOption serialOption(
        QStringLiteral("serial-column"),
        QStringLiteral("The value-log column of the serial numbers (SerialNr)."), QStringLiteral("NAME"),
        QStringLiteral("SerialNr"));
    const QCommandLineOption unitOption(
        QStringLiteral("unit"),
        QStringLiteral("A serial number whose runs the page shows in any case; "
                       "may be repeated."),
        QStringLiteral("SERIAL"));
    const QCommandLineOption runsOption(QStringLiteral("runs"),
                                        QStringLiteral("How many of the latest runs the page lists (50)."),
                                        QStringLiteral("N"), QStringLiteral("50"));
    const QCommandLineOption outputOption({QStringLiteral("o"), QStringLiteral("output")},
                                          QStringLiteral("The page to write (tzk-report.html)."),
                                          QStringLiteral("FILE"), QStringLiteral("tzk-report.html"));
    parser.addOptions({dbOption, fromOption, toOption, todayOption, stationOption, definitionOption,
                       serialOption, unitOption, runsOption, outputOption});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        err << "tzk-report: unexpected argument \"" << parser.positionalArguments().first()
            << "\"; see tzk-report --help" << Qt::endl;
        return ciExitUsage;
    }

    TReportOptions options = parser.isSet(todayOption) ? TReportOptions::Today() : TReportOptions::LastWeek();
    if (parser.isSet(fromOption)) {
        const auto dt = ParseTime(parser.value(fromOption), false);
        if (!dt) {
            err << "tzk-report: --from needs a day (2026-12-07) or a moment (2026-12-07 06:00)" << Qt::endl;
            return ciExitUsage;
        }
        options.dtFrom = *dt;
    }
    if (parser.isSet(toOption)) {
        const auto dt = ParseTime(parser.value(toOption), true);
        if (!dt) {
            err << "tzk-report: --to needs a day (2026-12-07) or a moment (2026-12-07 18:00)" << Qt::endl;
            return ciExitUsage;
        }
        options.dtTo = *dt;
    }
    if (options.dtTo <= options.dtFrom) {
        err << "tzk-report: the period ends before it begins" << Qt::endl;
        return ciExitUsage;
    }
    bool bRunsOk = false;
    options.iLatestRuns = parser.value(runsOption).toInt(&bRunsOk);
    if (!bRunsOk || options.iLatestRuns < 0) {
        err << "tzk-report: --runs needs a number" << Qt::endl;
        return ciExitUsage;
    }
    options.sStation = parser.value(stationOption).trimmed();
    options.sDefinition = parser.value(definitionOption).trimmed();
    options.sSerialColumn = parser.value(serialOption).trimmed();
    options.slUnits = parser.values(unitOption);
    options.sConnection = parser.isSet(dbOption)
                              ? parser.value(dbOption)
                              : TResultDatabaseSettings::Load(TRegIO::Instance().UserFileName()).sConnection;
    if (options.sConnection.trimmed().isEmpty()) {
        err << "tzk-report: no result database: give --results-db or set Connection in the group "
               "ResultDatabase of "
            << TRegIO::Instance().UserFileName() << Qt::endl;
        return ciExitUsage;
    }

    QElapsedTimer clock;
    clock.start();
    TReportData data;
    QString sError;
    if (!TResultReport::Collect(options, data, sError)) {
        err << "tzk-report: " << sError << Qt::endl;
        return ciExitDatabase;
    }
    const qint64 iQueryMs = clock.elapsed();
    const QByteArray aPage = TReportPage::Render(data);
    const QString sOutput = parser.value(outputOption);
    QSaveFile file(sOutput);
    if (!file.open(QIODevice::WriteOnly) || file.write(aPage) != aPage.size() || !file.commit()) {
        err << "tzk-report: cannot write " << sOutput << ": " << file.errorString() << Qt::endl;
        return ciExitOutput;
    }
    if (data.Total.iRuns == 0)
        err << "tzk-report: no runs in " << TReportPage::Filters(options) << Qt::endl;
    QTextStream(stdout) << sOutput << ": " << data.Total.iRuns << " runs, " << aPage.size() << " bytes, "
                        << iQueryMs << " ms in the database, " << clock.elapsed() << " ms in all" << Qt::endl;
    return 0;
}
