// The line report over a week of a line: 50 stations, 50,000 runs of 20 steps (1,000,000 steps, 15
// of them measured per run), 250,000 value-log columns, against a private PostgreSQL server.
//
// The generator fills the tables on the server with generate_series: every 23rd run fails one
// step and its unit is tested again in the next run (of the same definition, often at another
// station), every 97th run is stopped. The benchmark
// makes the whole report (all queries and the page) as tzk-report does for the default week;
// TZK_REPORT_PAGE=<file> keeps the page to open in a browser; TZK_REPORT_RUNS and
// TZK_REPORT_STATIONS make a smaller line (the picture in docs/results-database.md).
#include "PostgresTestServer.h"

#include "reporting/report/ReportPage.h"
#include "reporting/report/ResultReport.h"
#include "reporting/results/PgConnection.h"
#include "reporting/results/ResultSchema.h"

#include <QFile>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <memory>

namespace {

const char* const csGenerate = R"SQL(
INSERT INTO tzk_run (run_id, host_name, station_name, definition_file, file_label, file_version,
                     operator, started_at, duration_ms, result, failed_steps)
SELECT md5('run' || g)::uuid, 'host-' || (g % STATIONS), 'Station ' || (g % STATIONS),
       '/defs/board' || (g / 23 % 3) || '.TZD', 'Board ' || (g / 23 % 3), '1.0', 'Operator ' || (g % 7),
       date_trunc('day', now()) - interval '6 days' + g * (interval '7 days' / (RUNS + 1)), 20000,
       CASE WHEN g % 23 = 0 THEN 'failed' WHEN g % 97 = 0 THEN 'stopped' ELSE 'passed' END,
       CASE WHEN g % 23 = 0 THEN 1 ELSE 0 END
FROM generate_series(1, RUNS) g;

INSERT INTO tzk_step (run_id, seq, node_number, node_path, label, result, error_text, log_value,
                      started_at, duration_ms, meas_value, meas_low, meas_high)
SELECT r.run_id, s, '1.' || s || '.', 'Power / Step ' || s, 'Step ' || s,
       CASE WHEN r.result = 'failed' AND s = 1 + (abs(hashtext(r.run_id::text)) % 7) * 2 THEN 'failed'
            ELSE 'passed' END,
       CASE WHEN r.result = 'failed' AND s = 1 + (abs(hashtext(r.run_id::text)) % 7) * 2
            THEN 'Step ' || s || ' out of range' END,
       NULL, r.started_at + s * interval '1 second', 900,
       CASE WHEN s <= 15 THEN 5 + s * 0.1 + (random() - 0.5) * 0.05 * (1 + s % 5) END,
       CASE WHEN s <= 15 THEN 4.8 + s * 0.1 END,
       CASE WHEN s <= 15 THEN 5.2 + s * 0.1 END
FROM tzk_run r CROSS JOIN generate_series(1, 20) s;

INSERT INTO tzk_value (run_id, col_index, name, value)
SELECT r.run_id, c, (ARRAY['Start', 'Duration', 'SerialNr', 'Result', 'Operator'])[c],
       CASE c WHEN 3 THEN 'SN-' || CASE WHEN (g - 1) % 23 = 0 THEN g - 1 ELSE g END
              WHEN 4 THEN r.result ELSE ' ' END
FROM (SELECT run_id, result, row_number() OVER (ORDER BY started_at) AS g FROM tzk_run) r
CROSS JOIN generate_series(1, 5) c;
ANALYZE;
)SQL";

struct TLine
{
    std::unique_ptr<TPostgresTestServer> Server;
    QString sConnection;
    QString sError;
};

TLine& Line()
{
    static TLine line = [] {
        TLine l;
        l.Server = std::make_unique<TPostgresTestServer>(true);
        if (!l.Server->Start() || !l.Server->CreateDatabase(QStringLiteral("line"))) {
            l.sError = l.Server->Error();
            return l;
        }
        l.sConnection = l.Server->Connection(QStringLiteral("line"));
        const std::atomic_bool bStop{false};
        TPgConnection connection(bStop);
        int iVersion = 0;
        bool bLost = false;
        if (!connection.Connect(l.sConnection, 10000) ||
            !TResultSchema::Migrate(connection, iVersion, l.sError, bLost)) {
            l.sError += connection.Error();
            return l;
        }
        const int iRuns = qEnvironmentVariableIsSet("TZK_REPORT_RUNS")
                              ? qEnvironmentVariableIntValue("TZK_REPORT_RUNS")
                              : 50000;
        const int iStations = qEnvironmentVariableIsSet("TZK_REPORT_STATIONS")
                                  ? qEnvironmentVariableIntValue("TZK_REPORT_STATIONS")
                                  : 50;
        QByteArray aSql(csGenerate);
        aSql.replace("STATIONS", QByteArray::number(std::max(1, iStations)));
        aSql.replace("RUNS", QByteArray::number(std::max(1, iRuns)));
        const TPgResult result = connection.Exec(aSql, {}, 600000);
        if (!result.bOk)
            l.sError = result.sError;
        return l;
    }();
    return line;
}

void BM_ReportOfAWeek(benchmark::State& state)
{
    TLine& line = Line();
    if (!line.sError.isEmpty()) {
        state.SkipWithError(line.sError.toStdString().c_str());
        return;
    }
    TReportOptions options = TReportOptions::LastWeek();
    options.sConnection = line.sConnection;
    QByteArray aPage;
    qint64 iRuns = 0;
    for (auto _ : state) {
        TReportData data;
        QString sError;
        if (!TResultReport::Collect(options, data, sError)) {
            state.SkipWithError(sError.toStdString().c_str());
            return;
        }
        aPage = TReportPage::Render(data);
        iRuns = data.Total.iRuns;
    }
    state.counters["runs"] = double(iRuns);
    state.counters["page_kB"] = double(aPage.size()) / 1024.0;
    const QByteArray aKeep = qgetenv("TZK_REPORT_PAGE");
    if (!aKeep.isEmpty()) {
        QFile file(QString::fromLocal8Bit(aKeep));
        if (file.open(QIODevice::WriteOnly))
            file.write(aPage);
    }
}
BENCHMARK(BM_ReportOfAWeek)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
