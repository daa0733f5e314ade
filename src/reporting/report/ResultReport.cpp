#include "ResultReport.h"

#include "reporting/results/PgConnection.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <atomic>
#include <cmath>
#include <map>

namespace {

constexpr int ciConnectMs = 10000;
constexpr int ciQueryMs = 120000;
constexpr int ciBins = 30;
constexpr int ciTrendBuckets = 60;
constexpr int ciRunsPerFailure = 3;

// The period's runs, made once per report: $1 from, $2 to, $3 station, $4 definition, $5 the
// serial-number column. Every section reads them, so the filters and the look-up of the serial
// numbers are done once. A run has at most one value per column name: the value log's
// names are unique without regard to case.
const char* const csMakeRuns = R"SQL(
CREATE TEMPORARY TABLE IF NOT EXISTS tzk_report_runs (
    run_id uuid, started_at timestamptz, definition_file text, definition text,
    result text, operator text, failed_steps integer, duration_ms bigint, station text,
    serial text, unit text
)
)SQL";

const char* const csFillRuns = R"SQL(
INSERT INTO pg_temp.tzk_report_runs
SELECT r.run_id, r.started_at, r.definition_file, coalesce(nullif(r.file_label, ''), r.definition_file),
       r.result, r.operator, r.failed_steps, r.duration_ms,
       CASE WHEN r.station_name = '' THEN r.host_name ELSE r.station_name END,
       s.value,
       CASE WHEN btrim(s.value) <> '' AND s.value <> 'Empty String' THEN s.value END
FROM tzk_run r
LEFT JOIN tzk_value s ON s.run_id = r.run_id AND lower(s.name) = lower($5::text)
WHERE r.started_at >= $1::timestamptz AND r.started_at < $2::timestamptz
  AND ($3::text = '' OR $3::text IN (r.station_name, r.host_name))
  AND ($4::text = '' OR $4::text IN (r.definition_file, r.file_label))
)SQL";

const char* const csRuns = "WITH runs AS (SELECT * FROM pg_temp.tzk_report_runs)\n";

// Per station and day; a unit's first run is its earliest in the period.
const char* const csCounts = R"SQL(
, first_runs AS (
    SELECT DISTINCT ON (definition_file, unit) run_id
    FROM runs
    WHERE unit IS NOT NULL
    ORDER BY definition_file, unit, started_at, run_id
)
SELECT to_char(ru.started_at, 'YYYY-MM-DD'), ru.station, count(*),
       count(*) FILTER (WHERE ru.result = 'passed'),
       count(*) FILTER (WHERE ru.result = 'failed'),
       count(*) FILTER (WHERE ru.result = 'stopped'),
       count(f.run_id),
       count(f.run_id) FILTER (WHERE ru.result = 'passed')
FROM runs ru
LEFT JOIN first_runs f ON f.run_id = ru.run_id
GROUP BY 1, 2
ORDER BY 1, 2
)SQL";

// The steps that fail most ($1 how many; $2 runs linked per step), with all failed steps as the
// whole.
const char* const csPareto = R"SQL(
, failed AS (
    SELECT ru.definition, s.node_path, s.run_id, s.error_text, s.started_at
    FROM runs ru
    JOIN tzk_step s ON s.run_id = ru.run_id
    WHERE s.result = 'failed'
)
SELECT definition, node_path, count(*), count(DISTINCT run_id),
       (array_agg(error_text ORDER BY started_at DESC))[1],
       to_char(max(started_at), 'YYYY-MM-DD HH24:MI:SS'),
       array_to_string((array_agg(run_id::text ORDER BY started_at DESC))[1:$2::integer], ','),
       sum(count(*)) OVER ()
FROM failed
GROUP BY 1, 2
ORDER BY 3 DESC, 1, 2
LIMIT $1::integer
)SQL";

// Mean, standard deviation and Cpk of every measured step; the lowest Cpk first ($1 how many).
// The limits are the latest ones (a relative limit may move): the largest [time, limit] pair,
// which needs no sort.
const char* const csMeasures = R"SQL(
, stats AS (
    SELECT ru.definition, s.node_path, count(*) AS n,
           count(*) FILTER (WHERE s.result = 'failed') AS nfailed,
           avg(s.meas_value) AS mean, stddev_samp(s.meas_value) AS sd,
           min(s.meas_value) AS vmin, max(s.meas_value) AS vmax,
           (max(ARRAY[extract(epoch FROM s.started_at)::float8, s.meas_low]))[2] AS lo,
           (max(ARRAY[extract(epoch FROM s.started_at)::float8, s.meas_high]))[2] AS hi,
           extract(epoch FROM min(s.started_at)) AS t0, extract(epoch FROM max(s.started_at)) AS t1
    FROM runs ru
    JOIN tzk_step s ON s.run_id = ru.run_id
    WHERE s.meas_value IS NOT NULL
    GROUP BY 1, 2
)
SELECT definition, node_path, n, nfailed, mean, sd, vmin, vmax, lo, hi,
       CASE WHEN sd > 0 AND (lo IS NOT NULL OR hi IS NOT NULL)
            THEN least(coalesce(hi - mean, 'Infinity'), coalesce(mean - lo, 'Infinity')) / (3 * sd) END
           AS cpk,
       t0, t1
FROM stats
ORDER BY cpk ASC NULLS LAST, n DESC, 1, 2
LIMIT $1::integer
)SQL";

// Histogram and trend of the chosen steps in one pass ($1: a JSON array of {i, d, p, a, b, t0,
// t1}; $2 bins, $3 time buckets).
const char* const csDistributions = R"SQL(
, chosen AS (
    SELECT * FROM jsonb_to_recordset($1::jsonb)
        AS k (i integer, d text, p text, a float8, b float8, t0 float8, t1 float8)
), vals AS (
    SELECT k.i, width_bucket(s.meas_value, k.a, k.b, $2::integer) AS bin,
           width_bucket(extract(epoch FROM s.started_at)::float8, k.t0, k.t1, $3::integer) AS bucket,
           s.meas_value AS v
    FROM runs ru
    JOIN tzk_step s ON s.run_id = ru.run_id
    JOIN chosen k ON k.p = s.node_path AND k.d = ru.definition
    WHERE s.meas_value IS NOT NULL
)
SELECT CASE WHEN bucket IS NULL THEN 'h' ELSE 't' END, i, coalesce(bucket, bin), count(*), avg(v), min(v),
       max(v)
FROM vals
GROUP BY GROUPING SETS ((i, bin), (i, bucket))
ORDER BY 1, 2, 3
)SQL";

// The latest runs ($1 how many) and the runs named in $2 (ids, comma-separated).
const char* const csLatestRuns = R"SQL(
SELECT ru.run_id, to_char(ru.started_at, 'YYYY-MM-DD HH24:MI:SS'), ru.station, ru.definition,
       ru.operator, ru.serial, ru.result, ru.failed_steps, ru.duration_ms
FROM runs ru
WHERE ru.run_id IN (SELECT run_id FROM runs ORDER BY started_at DESC, run_id LIMIT $1::integer)
   OR ru.run_id::text = ANY (string_to_array($2::text, ','))
ORDER BY ru.started_at DESC, ru.run_id
)SQL";

const char* const csRunSteps = R"SQL(
SELECT run_id, seq, node_number, node_path, result, error_text, log_value, meas_value, meas_low, meas_high
FROM tzk_step
WHERE run_id = ANY ($1::uuid[])
ORDER BY run_id, seq
)SQL";

// Units retested or failed in the period, the latest first ($1 how many, $2 a JSON array of
// units that are always shown).
const char* const csUnits = R"SQL(
, unit_runs AS (
    SELECT unit, run_id, started_at, station, result FROM runs WHERE unit IS NOT NULL
), chosen AS (
    SELECT unit, max(started_at) AS latest
    FROM unit_runs
    GROUP BY unit
    HAVING count(*) > 1 OR bool_or(result <> 'passed')
        OR unit = ANY (ARRAY(SELECT jsonb_array_elements_text($2::jsonb)))
    ORDER BY unit = ANY (ARRAY(SELECT jsonb_array_elements_text($2::jsonb))) DESC, max(started_at) DESC, unit
    LIMIT $1::integer
)
SELECT u.unit, u.run_id, to_char(u.started_at, 'YYYY-MM-DD HH24:MI:SS'), u.station, u.result,
       row_number() OVER (PARTITION BY u.unit ORDER BY u.started_at, u.run_id),
       (SELECT string_agg(s.node_path || ': ' || coalesce(s.error_text, ''), E'\n' ORDER BY s.seq)
        FROM tzk_step s WHERE s.run_id = u.run_id AND s.result <> 'passed')
FROM unit_runs u
JOIN chosen c USING (unit)
ORDER BY c.latest DESC, u.unit, u.started_at, u.run_id
)SQL";

QByteArray Utf8(const QString& s)
{
    return s.isEmpty() ? QByteArray("") : s.toUtf8();
}

QByteArray Number(qint64 i)
{
    return QByteArray::number(i);
}

std::optional<double> OptionalReal(const QString& s)
{
    if (s.isNull())
        return std::nullopt;
    bool bOk = false;
    const double r = s.toDouble(&bOk);
    return bOk && std::isfinite(r) ? std::optional<double>(r) : std::nullopt;
}

double Real(const QString& s)
{
    return OptionalReal(s).value_or(0.0);
}

QByteArray TimeParam(const QDateTime& dt)
{
    return dt.toUTC().toString(Qt::ISODateWithMs).toUtf8();
}

// The histogram's range: the values and the limits, a little wider so that nothing sits on the
// edge; never empty.
void BinRange(TReportMeasure& aMeasure)
{
    double rFrom = aMeasure.rMin;
    double rTo = aMeasure.rMax;
    if (aMeasure.rLow)
        rFrom = std::min(rFrom, *aMeasure.rLow);
    if (aMeasure.rHigh)
        rTo = std::max(rTo, *aMeasure.rHigh);
    double rSpan = rTo - rFrom;
    if (!(rSpan > 0))
        rSpan = std::max(std::abs(rFrom) * 0.1, 1.0);
    aMeasure.rBinFrom = rFrom - rSpan * 0.05;
    aMeasure.rBinTo = rTo + rSpan * 0.05;
}

} // namespace

std::optional<double> TReportCounts::Yield() const
{
    return iRuns > 0 ? std::optional<double>(100.0 * double(iPassed) / double(iRuns)) : std::nullopt;
}

std::optional<double> TReportCounts::FirstPassYield() const
{
    return iUnits > 0 ? std::optional<double>(100.0 * double(iFirstPassed) / double(iUnits)) : std::nullopt;
}

void TReportCounts::Add(const TReportCounts& aOther)
{
    iRuns += aOther.iRuns;
    iPassed += aOther.iPassed;
    iFailed += aOther.iFailed;
    iStopped += aOther.iStopped;
    iUnits += aOther.iUnits;
    iFirstPassed += aOther.iFirstPassed;
}

TReportOptions TReportOptions::LastWeek()
{
    TReportOptions options;
    const QDate today = QDate::currentDate();
    options.dtFrom = today.addDays(-6).startOfDay();
    options.dtTo = today.addDays(1).startOfDay();
    return options;
}

TReportOptions TReportOptions::Today()
{
    TReportOptions options;
    const QDate today = QDate::currentDate();
    options.dtFrom = today.startOfDay();
    options.dtTo = today.addDays(1).startOfDay();
    return options;
}

bool TResultReport::Collect(const TReportOptions& aOptions, TReportData& aData, QString& sError)
{
    const std::atomic_bool bStop{false};
    TPgConnection connection(bStop);
    if (!connection.Connect(aOptions.sConnection, ciConnectMs)) {
        sError = QStringLiteral("cannot reach the result database: %1").arg(connection.Error());
        return false;
    }
    return Collect(connection, aOptions, aData, sError);
}

bool TResultReport::Collect(TPgConnection& aConnection, const TReportOptions& aOptions, TReportData& aData,
                            QString& sError)
{
    aData = TReportData();
    aData.Options = aOptions;
    aData.sServer = aConnection.Description();
    aData.sMadeAt = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));

    const auto Run = [&](const QByteArray& sSql, const QList<QByteArray>& aParams, TPgResult& aResult) {
        aResult = aConnection.Exec(sSql, aParams, ciQueryMs);
        if (!aResult.bOk)
            sError = QStringLiteral("the result database answered: %1").arg(aResult.sError);
        return aResult.bOk;
    };
    TPgResult result;
    if (!Run("SELECT to_regclass('tzk_run') IS NOT NULL AND to_regclass('tzk_schema_version') IS NOT NULL",
             {}, result))
        return false;
    if (result.Value() != QLatin1String("t")) {
        sError = QStringLiteral("the database %1 holds no TZK results").arg(aData.sServer);
        return false;
    }
    const QString sZone =
        aOptions.sTimeZone.isEmpty() ? QString::fromUtf8(QTimeZone::systemTimeZoneId()) : aOptions.sTimeZone;
    // A zone the server does not know leaves the days in the server's zone.
    aConnection.Exec("SELECT set_config('TimeZone', $1, false)", {Utf8(sZone)}, ciQueryMs);
    // Measurements came with the schema's third version; an older database has none.
    if (!Run("SELECT count(*) FROM information_schema.columns "
             "WHERE table_name = 'tzk_step' AND column_name = 'meas_value' "
             "AND table_schema = current_schema()",
             {}, result))
        return false;
    const bool bMeasurements = result.Value() != QLatin1String("0");

    if (!Run(csMakeRuns, {}, result) || !Run("TRUNCATE pg_temp.tzk_report_runs", {}, result) ||
        !Run(csFillRuns,
             {TimeParam(aOptions.dtFrom), TimeParam(aOptions.dtTo), Utf8(aOptions.sStation),
              Utf8(aOptions.sDefinition), Utf8(aOptions.sSerialColumn)},
             result) ||
        !Run("ANALYZE pg_temp.tzk_report_runs", {}, result))
        return false;
    const QByteArray aRuns(csRuns);

    // Overview.
    if (!Run(aRuns + csCounts, {}, result))
        return false;
    std::map<QString, TReportCounts> dayTotals;
    std::map<QString, TReportCounts> stationTotals;
    for (const QStringList& row : result.Rows) {
        TReportCounts counts;
        counts.sDay = row[0];
        counts.sStation = row[1];
        counts.iRuns = row[2].toLongLong();
        counts.iPassed = row[3].toLongLong();
        counts.iFailed = row[4].toLongLong();
        counts.iStopped = row[5].toLongLong();
        counts.iUnits = row[6].toLongLong();
        counts.iFirstPassed = row[7].toLongLong();
        aData.Days.push_back(counts);
        TReportCounts& day = dayTotals[counts.sDay];
        day.sDay = counts.sDay;
        day.Add(counts);
        TReportCounts& station = stationTotals[counts.sStation];
        station.sStation = counts.sStation;
        station.Add(counts);
        aData.Total.Add(counts);
    }
    for (auto& [sDay, counts] : dayTotals)
        aData.DayTotals.push_back(counts);
    for (auto& [sStation, counts] : stationTotals) {
        aData.StationTotals.push_back(counts);
        aData.slStations.append(sStation);
    }
    if (aData.Total.iRuns == 0)
        return true;

    // Failure Pareto.
    if (!Run(aRuns + csPareto, {Number(aOptions.iParetoSteps), Number(ciRunsPerFailure)}, result))
        return false;
    QStringList slLinkedRuns;
    for (const QStringList& row : result.Rows) {
        TReportFailure failure;
        failure.sDefinition = row[0];
        failure.sNodePath = row[1];
        failure.iFailures = row[2].toLongLong();
        failure.iRuns = row[3].toLongLong();
        failure.sLastError = row[4];
        failure.sLastFailure = row[5];
        failure.slRunIds = row[6].split(QLatin1Char(','), Qt::SkipEmptyParts);
        aData.iFailedSteps = row[7].toLongLong();
        slLinkedRuns += failure.slRunIds;
        aData.Failures.push_back(failure);
    }

    // Measurements.
    if (bMeasurements) {
        if (!Run(aRuns + csMeasures, {Number(aOptions.iMeasuredSteps)}, result))
            return false;
        QJsonArray chosen;
        for (const QStringList& row : result.Rows) {
            TReportMeasure measure;
            measure.sDefinition = row[0];
            measure.sNodePath = row[1];
            measure.iCount = row[2].toLongLong();
            measure.iFailed = row[3].toLongLong();
            measure.rMean = Real(row[4]);
            measure.rStdDev = OptionalReal(row[5]);
            measure.rMin = Real(row[6]);
            measure.rMax = Real(row[7]);
            measure.rLow = OptionalReal(row[8]);
            measure.rHigh = OptionalReal(row[9]);
            measure.rCpk = OptionalReal(row[10]);
            BinRange(measure);
            const double rT0 = Real(row[11]);
            // The trend's buckets cover the first to the last value; one moment is one bucket.
            const double rT1 = std::max(Real(row[12]), rT0 + 1.0);
            measure.Bins.assign(ciBins, 0);
            chosen.append(QJsonObject{{QStringLiteral("i"), int(aData.Measures.size())},
                                      {QStringLiteral("d"), measure.sDefinition},
                                      {QStringLiteral("p"), measure.sNodePath},
                                      {QStringLiteral("a"), measure.rBinFrom},
                                      {QStringLiteral("b"), measure.rBinTo},
                                      {QStringLiteral("t0"), rT0},
                                      {QStringLiteral("t1"), rT1 + 0.001}});
            aData.Measures.push_back(measure);
        }
        if (!chosen.isEmpty()) {
            if (!Run(aRuns + csDistributions,
                     {QJsonDocument(chosen).toJson(QJsonDocument::Compact), Number(ciBins),
                      Number(ciTrendBuckets)},
                     result))
                return false;
            for (const QStringList& row : result.Rows) {
                const int iIndex = row[1].toInt();
                if (iIndex < 0 || iIndex >= int(aData.Measures.size()))
                    continue;
                TReportMeasure& measure = aData.Measures[std::size_t(iIndex)];
                const int iBucket = row[2].toInt();
                if (row[0] == QLatin1String("h")) {
                    if (iBucket >= 1 && iBucket <= ciBins)
                        measure.Bins[std::size_t(iBucket - 1)] = row[3].toLongLong();
                } else {
                    const QJsonObject key = chosen[iIndex].toObject();
                    const double rT0 = key.value(QStringLiteral("t0")).toDouble();
                    const double rT1 = key.value(QStringLiteral("t1")).toDouble();
                    TTrendPoint point;
                    point.rTime = rT0 + (rT1 - rT0) * (iBucket - 0.5) / ciTrendBuckets;
                    point.iCount = row[3].toLongLong();
                    point.rMean = Real(row[4]);
                    point.rMin = Real(row[5]);
                    point.rMax = Real(row[6]);
                    measure.Trend.push_back(point);
                }
            }
        }
    }

    // Latest runs and their steps.
    slLinkedRuns.removeDuplicates();
    if (!Run(aRuns + csLatestRuns, {Number(aOptions.iLatestRuns), Utf8(slLinkedRuns.join(QLatin1Char(',')))},
             result))
        return false;
    std::map<QString, std::size_t> runIndex;
    QStringList slRunIds;
    for (const QStringList& row : result.Rows) {
        TReportRun run;
        run.sRunId = row[0];
        run.sStarted = row[1];
        run.sStation = row[2];
        run.sDefinition = row[3];
        run.sOperator = row[4];
        run.sSerial = row[5];
        run.sResult = row[6];
        run.iFailedSteps = row[7].toInt();
        run.iDurationMs = row[8].toLongLong();
        runIndex[run.sRunId] = aData.Runs.size();
        slRunIds.append(run.sRunId);
        aData.Runs.push_back(run);
    }
    const QByteArray aStepsSql =
        bMeasurements ? QByteArray(csRunSteps)
                      : QByteArray(csRunSteps).replace("meas_value, meas_low, meas_high", "NULL, NULL, NULL");
    if (!Run(aStepsSql, {Utf8(QLatin1Char('{') + slRunIds.join(QLatin1Char(',')) + QLatin1Char('}'))},
             result))
        return false;
    for (const QStringList& row : result.Rows) {
        const auto it = runIndex.find(row[0]);
        if (it == runIndex.end())
            continue;
        TReportStep step;
        step.iSeq = row[1].toInt();
        step.sNodeNumber = row[2];
        step.sNodePath = row[3];
        step.sResult = row[4];
        step.sErrorText = row[5];
        step.sLogValue = row[6];
        step.rValue = OptionalReal(row[7]);
        step.rLow = OptionalReal(row[8]);
        step.rHigh = OptionalReal(row[9]);
        aData.Runs[it->second].Steps.push_back(step);
    }

    // Units.
    QJsonArray units;
    for (const QString& sUnit : aOptions.slUnits)
        units.append(sUnit);
    if (!Run(aRuns + csUnits, {Number(aOptions.iUnits), QJsonDocument(units).toJson(QJsonDocument::Compact)},
             result))
        return false;
    for (const QStringList& row : result.Rows) {
        if (aData.Units.empty() || aData.Units.back().sSerial != row[0])
            aData.Units.push_back(TReportUnit{row[0], {}});
        TUnitRun run;
        run.sRunId = row[1];
        run.sStarted = row[2];
        run.sStation = row[3];
        run.sResult = row[4];
        run.iAttempt = row[5].toInt();
        run.sFailures = row[6];
        aData.Units.back().Runs.push_back(run);
    }
    return true;
}
