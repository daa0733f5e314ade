#include "ResultSchema.h"

#include "PgConnection.h"

namespace {

// Any number both stations and tools agree on serialises concurrent migrations.
const QByteArray caLockKey = QByteArrayLiteral("20020");

const char* const csTables = R"SQL(
CREATE TABLE tzk_run (
    run_id          uuid PRIMARY KEY,
    host_name       text NOT NULL,
    station_name    text NOT NULL DEFAULT '',
    definition_file text NOT NULL,
    file_label      text NOT NULL DEFAULT '',
    file_version    text NOT NULL DEFAULT '',
    operator        text NOT NULL DEFAULT '',
    started_at      timestamptz NOT NULL,
    duration_ms     bigint NOT NULL,
    result          text NOT NULL CHECK (result IN ('passed', 'failed', 'stopped')),
    failed_steps    integer NOT NULL,
    received_at     timestamptz NOT NULL DEFAULT now()
);
CREATE INDEX tzk_run_started_at ON tzk_run (started_at);
CREATE INDEX tzk_run_definition ON tzk_run (definition_file, started_at);

CREATE TABLE tzk_step (
    run_id      uuid NOT NULL REFERENCES tzk_run (run_id) ON DELETE CASCADE,
    seq         integer NOT NULL,
    node_number text NOT NULL,
    node_path   text NOT NULL,
    label       text NOT NULL,
    result      text NOT NULL CHECK (result IN ('passed', 'failed', 'stopped', 'paused')),
    error_text  text,
    log_value   text,
    started_at  timestamptz NOT NULL,
    duration_ms bigint NOT NULL,
    PRIMARY KEY (run_id, seq)
);
CREATE INDEX tzk_step_failed ON tzk_step (label) WHERE result = 'failed';

CREATE TABLE tzk_value (
    run_id    uuid NOT NULL REFERENCES tzk_run (run_id) ON DELETE CASCADE,
    col_index integer NOT NULL,
    name      text NOT NULL,
    value     text NOT NULL,
    PRIMARY KEY (run_id, col_index)
);
CREATE INDEX tzk_value_name_value ON tzk_value (lower(name), value);
)SQL";

const char* const csViews = R"SQL(
CREATE VIEW tzk_yield_per_day AS
SELECT r.definition_file,
       max(r.file_label) AS file_label,
       r.started_at::date AS day,
       count(*) AS runs,
       count(*) FILTER (WHERE r.result = 'passed') AS passed,
       count(*) FILTER (WHERE r.result = 'failed') AS failed,
       count(*) FILTER (WHERE r.result = 'stopped') AS stopped,
       round(100.0 * count(*) FILTER (WHERE r.result = 'passed') / count(*), 2) AS yield_percent
FROM tzk_run r
GROUP BY r.definition_file, r.started_at::date;

CREATE VIEW tzk_failing_steps AS
SELECT r.definition_file,
       s.node_path,
       count(*) AS failures,
       count(DISTINCT s.run_id) AS runs,
       max(s.started_at) AS last_failure,
       (array_agg(s.error_text ORDER BY s.started_at DESC))[1] AS last_error
FROM tzk_step s
JOIN tzk_run r USING (run_id)
WHERE s.result = 'failed'
GROUP BY r.definition_file, s.node_path;

CREATE VIEW tzk_station_runs AS
SELECT r.*,
       CASE WHEN r.station_name = '' THEN r.host_name ELSE r.station_name END AS station
FROM tzk_run r;

CREATE FUNCTION tzk_first_pass_yield(p_column text)
RETURNS TABLE (definition_file text, units bigint, passed_first bigint, first_pass_yield numeric)
LANGUAGE sql STABLE AS $$
    WITH unit_runs AS (
        SELECT r.definition_file, r.result,
               row_number() OVER (PARTITION BY r.definition_file, v.value
                                  ORDER BY r.started_at, r.run_id) AS attempt
        FROM tzk_value v
        JOIN tzk_run r USING (run_id)
        WHERE lower(v.name) = lower(p_column) AND btrim(v.value) <> '' AND v.value <> 'Empty String'
    )
    SELECT u.definition_file,
           count(*),
           count(*) FILTER (WHERE u.result = 'passed'),
           round(100.0 * count(*) FILTER (WHERE u.result = 'passed') / count(*), 2)
    FROM unit_runs u
    WHERE u.attempt = 1
    GROUP BY u.definition_file
$$;

CREATE FUNCTION tzk_unit_history(p_column text, p_unit text)
RETURNS TABLE (started_at timestamptz, station text, definition_file text, file_version text,
               result text, failed_steps integer, operator text, run_id uuid)
LANGUAGE sql STABLE AS $$
    SELECT r.started_at,
           CASE WHEN r.station_name = '' THEN r.host_name ELSE r.station_name END,
           r.definition_file, r.file_version, r.result, r.failed_steps, r.operator, r.run_id
    FROM tzk_value v
    JOIN tzk_run r USING (run_id)
    WHERE lower(v.name) = lower(p_column) AND v.value = p_unit
    ORDER BY r.started_at, r.run_id
$$;
)SQL";

// The number a step judged and its limits; older rows have none.
const char* const csMeasurements = R"SQL(
ALTER TABLE tzk_step
    ADD COLUMN meas_value double precision,
    ADD COLUMN meas_low   double precision,
    ADD COLUMN meas_high  double precision;
)SQL";

// The test socket of a station with several units side by side; older rows read as socket 1.
const char* const csSockets = R"SQL(
ALTER TABLE tzk_run
    ADD COLUMN socket integer NOT NULL DEFAULT 1;
)SQL";

} // namespace

const QList<TResultSchema::TMigration>& TResultSchema::Migrations()
{
    static const QList<TMigration> migrations = {
        {1, "runs, steps and value-log columns", csTables},
        {2, "yield, failing steps and unit history", csViews},
        {3, "measured values and their limits", csMeasurements},
        {4, "the test socket of each run", csSockets},
    };
    return migrations;
}

int TResultSchema::LatestVersion()
{
    return Migrations().back().iVersion;
}

bool TResultSchema::Migrate(TPgConnection& aConnection, int& iVersion, QString& sError, bool& bConnectionLost)
{
    bConnectionLost = false;
    const auto Failed = [&](const TPgResult& aResult) {
        sError = aResult.sError;
        bConnectionLost = aResult.bConnectionLost;
        if (!aResult.bConnectionLost)
            aConnection.Exec("ROLLBACK");
        return false;
    };
    // Reading needs no rights beyond SELECT: a station that may only insert never asks for more.
    TPgResult result = aConnection.Exec("SELECT to_regclass('tzk_schema_version') IS NOT NULL");
    if (!result.bOk)
        return Failed(result);
    if (result.Value() == QLatin1String("t")) {
        result = aConnection.Exec("SELECT coalesce(max(version), 0) FROM tzk_schema_version");
        if (!result.bOk)
            return Failed(result);
        iVersion = result.Value().toInt();
        if (iVersion >= LatestVersion())
            return true;
    }

    result = aConnection.Exec("BEGIN");
    if (!result.bOk)
        return Failed(result);
    result = aConnection.Exec("SELECT pg_advisory_xact_lock($1::bigint)", {caLockKey});
    if (!result.bOk)
        return Failed(result);
    result = aConnection.Exec("CREATE TABLE IF NOT EXISTS tzk_schema_version ("
                              " version integer PRIMARY KEY,"
                              " description text NOT NULL,"
                              " applied_at timestamptz NOT NULL DEFAULT now())");
    if (!result.bOk)
        return Failed(result);
    // Another station may have migrated while we waited for the lock.
    result = aConnection.Exec("SELECT coalesce(max(version), 0) FROM tzk_schema_version");
    if (!result.bOk)
        return Failed(result);
    iVersion = result.Value().toInt();
    for (const TMigration& migration : Migrations()) {
        if (migration.iVersion <= iVersion)
            continue;
        result = aConnection.Exec(migration.sSql);
        if (!result.bOk) {
            result.sError = QStringLiteral("migration %1 (%2): %3")
                                .arg(migration.iVersion)
                                .arg(QString::fromUtf8(migration.sDescription), result.sError);
            return Failed(result);
        }
        result =
            aConnection.Exec("INSERT INTO tzk_schema_version (version, description) VALUES ($1, $2)",
                             {QByteArray::number(migration.iVersion), QByteArray(migration.sDescription)});
        if (!result.bOk)
            return Failed(result);
    }
    result = aConnection.Exec("COMMIT");
    if (!result.bOk)
        return Failed(result);
    iVersion = std::max(iVersion, LatestVersion());
    return true;
}

const QByteArray& TResultSchema::InsertRuns()
{
    static const QByteArray sql = QByteArrayLiteral(R"SQL(
WITH batch AS (
    SELECT e AS run FROM jsonb_array_elements($1::jsonb) AS e
),
new_runs AS (
    INSERT INTO tzk_run (run_id, host_name, station_name, definition_file, file_label, file_version,
                         operator, started_at, duration_ms, result, failed_steps, socket)
    SELECT (run->>'run_id')::uuid, run->>'host_name', run->>'station_name', run->>'definition_file',
           run->>'file_label', run->>'file_version', run->>'operator',
           (run->>'started_at')::timestamptz, (run->>'duration_ms')::bigint, run->>'result',
           (run->>'failed_steps')::integer, coalesce((run->>'socket')::integer, 1)
    FROM batch
    ON CONFLICT (run_id) DO NOTHING
    RETURNING run_id
),
new_steps AS (
    INSERT INTO tzk_step (run_id, seq, node_number, node_path, label, result, error_text, log_value,
                          started_at, duration_ms, meas_value, meas_low, meas_high)
    SELECT n.run_id, s.seq, s.node_number, s.node_path, s.label, s.result, s.error_text, s.log_value,
           s.started_at, s.duration_ms, s.meas_value, s.meas_low, s.meas_high
    FROM batch b
    JOIN new_runs n ON n.run_id = (b.run->>'run_id')::uuid
    CROSS JOIN LATERAL jsonb_to_recordset(b.run->'steps') AS s (seq integer, node_number text,
        node_path text, label text, result text, error_text text, log_value text,
        started_at timestamptz, duration_ms bigint, meas_value double precision,
        meas_low double precision, meas_high double precision)
),
new_values AS (
    INSERT INTO tzk_value (run_id, col_index, name, value)
    SELECT n.run_id, v.col_index, v.name, v.value
    FROM batch b
    JOIN new_runs n ON n.run_id = (b.run->>'run_id')::uuid
    CROSS JOIN LATERAL jsonb_to_recordset(b.run->'values') AS v (col_index integer, name text, value text)
)
SELECT count(*) FROM new_runs
)SQL");
    return sql;
}
