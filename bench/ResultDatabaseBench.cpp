// The result database under a production line's load: fifty stations, each finishing a run of 200
// steps every second, against a private PostgreSQL server for a minute; then the server stops for
// 20 s while the stations go on, and starts again.
//
// Each station is what a program has: its own spool folder, sender thread and connection. The
// stations' runs are made and spooled (flushed to disk) on the one main thread, as each program
// does on its own. A watcher on another connection polls the runs table every 20 ms; a run's delay
// is the time from the station handing it over (the run's end) to the watcher seeing its row.
#include "PostgresTestServer.h"

#include "reporting/results/ResultDatabase.h"
#include "reporting/results/ResultRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

constexpr int ciStations = 50;
constexpr int ciSteps = 200;

int Seconds(const char* sName, int iDefault)
{
    const int i = qEnvironmentVariableIntValue(sName);
    return i > 0 ? i : iDefault;
}

TResultRun MakeRun(int iStation, int iRun)
{
    const QDateTime dtStart = QDateTime::currentDateTimeUtc().addMSecs(-900);
    TResultRun run;
    run.RunId = QUuid::createUuid();
    run.sHostName = QStringLiteral("bench");
    run.sStationName = QStringLiteral("Station %1").arg(iStation);
    run.sDefinitionFile = QStringLiteral("/defs/board.TZD");
    run.sFileLabel = QStringLiteral("Board");
    run.sFileVersion = QStringLiteral("1.0");
    run.sOperator = QStringLiteral("Operator %1").arg(iStation);
    run.dtStart = dtStart;
    run.iDurationMs = 900;
    run.sResult = iRun % 10 == 0 ? QStringLiteral("failed") : QStringLiteral("passed");
    for (int i = 1; i <= ciSteps; ++i) {
        TResultStep step;
        step.iSeq = i;
        step.sNodeNumber = QStringLiteral("%1.%2.").arg(i / 20 + 1).arg(i % 20 + 1);
        step.sLabel = QStringLiteral("Measure channel %1").arg(i);
        step.sNodePath = QStringLiteral("Case %1 / ").arg(i / 20 + 1) + step.sLabel;
        step.sResult = run.sResult == QLatin1String("failed") && i == ciSteps ? QStringLiteral("failed")
                                                                              : QStringLiteral("passed");
        if (step.sResult == QLatin1String("failed"))
            step.sErrorText = QStringLiteral("Value 5.4 above the upper limit 5.1");
        step.sLogValue = QString::number(4.9 + (i % 7) / 100.0);
        step.dtStart = dtStart.addMSecs(4 * i);
        step.iDurationMs = 4;
        run.Steps.push_back(step);
    }
    run.iFailedSteps = run.sResult == QLatin1String("failed") ? 1 : 0;
    run.Values = {{QStringLiteral("Start"), dtStart.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))},
                  {QStringLiteral("Duration"), QStringLiteral("00:00:01")},
                  {QStringLiteral("SerialNr"), QStringLiteral("SN%1-%2").arg(iStation).arg(iRun)},
                  {QStringLiteral("Result"), run.sResult == QLatin1String("failed")
                                                 ? QStringLiteral("Failed")
                                                 : QStringLiteral("Passed")},
                  {QStringLiteral("Operator"), run.sOperator}};
    return run;
}

// Sees the rows arrive: when each run first showed, from its own connection.
class TWatcher
{
public:
    explicit TWatcher(const QString& sConnection) : fsConnection(sConnection.toUtf8()) {}
    ~TWatcher() { Stop(); }

    void Expect(const QString& sRunId, TClock::time_point tEnd)
    {
        const std::lock_guard<std::mutex> lock(fMutex);
        fEnds.emplace(sRunId, tEnd);
    }
    void Start()
    {
        fThread = std::thread([this] { Watch(); });
    }
    void Stop()
    {
        fbStop = true;
        if (fThread.joinable())
            fThread.join();
    }
    // Delays in ms of the runs seen, and how many of the expected ones are not seen yet.
    std::vector<double> Delays(int& iMissing)
    {
        const std::lock_guard<std::mutex> lock(fMutex);
        iMissing = int(fEnds.size());
        std::vector<double> delays;
        for (const auto& [sId, tEnd] : fEnds) {
            const auto it = fSeen.find(sId);
            if (it == fSeen.end())
                continue;
            --iMissing;
            delays.push_back(std::chrono::duration<double, std::milli>(it->second - tEnd).count());
        }
        return delays;
    }
    int Seen()
    {
        const std::lock_guard<std::mutex> lock(fMutex);
        return int(fSeen.size());
    }

private:
    void Watch()
    {
        PGconn* pConn = nullptr;
        QString sSince = QStringLiteral("-infinity");
        while (!fbStop) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (!pConn || PQstatus(pConn) != CONNECTION_OK) {
                PQfinish(pConn);
                pConn = PQconnectdb(fsConnection.constData());
                continue;
            }
            // A transaction that began earlier may commit later: look a little further back.
            const QByteArray aSince = sSince.toUtf8();
            const char* values[] = {aSince.constData()};
            PGresult* pResult = PQexecParams(pConn,
                                             "SELECT run_id::text, received_at::text FROM tzk_run "
                                             "WHERE received_at > $1::timestamptz - interval '3 seconds'",
                                             1, nullptr, values, nullptr, nullptr, 0);
            const TClock::time_point tNow = TClock::now();
            if (PQresultStatus(pResult) == PGRES_TUPLES_OK) {
                const std::lock_guard<std::mutex> lock(fMutex);
                for (int r = 0; r < PQntuples(pResult); ++r) {
                    fSeen.emplace(QString::fromLatin1(PQgetvalue(pResult, r, 0)), tNow);
                    const QString sReceived = QString::fromLatin1(PQgetvalue(pResult, r, 1));
                    if (sSince == QLatin1String("-infinity") || sReceived > sSince)
                        sSince = sReceived;
                }
            }
            PQclear(pResult);
        }
        PQfinish(pConn);
    }

    QByteArray fsConnection;
    std::atomic_bool fbStop{false};
    std::thread fThread;
    std::mutex fMutex;
    std::unordered_map<QString, TClock::time_point> fEnds;
    std::unordered_map<QString, TClock::time_point> fSeen;
};

double Percentile(std::vector<double> values, double rShare)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, std::size_t(rShare * double(values.size())))];
}

// Runs the event loop for iMs without spinning, so that the main thread's CPU time is the
// stations' own work.
void RunEventsFor(int iMs)
{
    QEventLoop loop;
    QTimer::singleShot(iMs, &loop, &QEventLoop::quit);
    loop.exec();
}

void BM_FiftyStations(benchmark::State& state)
{
    const int iLoadSeconds = Seconds("TZK_BENCH_LOAD_SECONDS", 60);
    const int iOutageSeconds = Seconds("TZK_BENCH_OUTAGE_SECONDS", 20);
    for (auto _ : state) {
        TPostgresTestServer server(true);
        if (!server.Start() || !server.CreateDatabase(QStringLiteral("results"))) {
            state.SkipWithError(server.Error().toStdString().c_str());
            return;
        }
        const QTemporaryDir spools;
        std::vector<std::unique_ptr<TResultDatabase>> stations;
        for (int i = 0; i < ciStations; ++i) {
            TResultDatabaseSettings settings;
            settings.sConnection = server.Connection(QStringLiteral("results"));
            settings.sStationName = QStringLiteral("Station %1").arg(i);
            settings.sSpoolFolder = spools.filePath(QStringLiteral("station-%1").arg(i));
            stations.push_back(std::make_unique<TResultDatabase>(settings));
            stations.back()->Start();
        }
        // Schema first, so that the minute measures the runs alone.
        stations.front()->Submit(MakeRun(0, 0));
        stations.front()->Drain(30000);

        TWatcher watcher(server.Connection(QStringLiteral("results")));
        watcher.Start();
        // Every station ends a run every second, the stations spread over the second.
        std::vector<int> runs(ciStations, 0);
        int iSubmitted = 0;
        QElapsedTimer sinceFirst;
        std::vector<std::unique_ptr<QTimer>> timers;
        for (int i = 0; i < ciStations; ++i) {
            auto timer = std::make_unique<QTimer>();
            timer->setTimerType(Qt::PreciseTimer);
            timer->setInterval(1000);
            QObject::connect(timer.get(), &QTimer::timeout, [&, i] {
                const TResultRun run = MakeRun(i, ++runs[std::size_t(i)]);
                const TClock::time_point tEnd = TClock::now();
                watcher.Expect(RunIdText(run.RunId), tEnd);
                stations[std::size_t(i)]->Submit(run);
                if (iSubmitted++ == 0)
                    sinceFirst.start();
            });
            QTimer::singleShot(i * 1000 / ciStations, timer.get(), [t = timer.get()] { t->start(); });
            timers.push_back(std::move(timer));
        }

        // The minute of load.
        RunEventsFor(iLoadSeconds * 1000);
        const int iLoadSubmitted = iSubmitted;
        const double rLoadSeconds = sinceFirst.elapsed() / 1000.0;
        RunEventsFor(2000); // the last ones land
        int iMissing = 0;
        const std::vector<double> delays = watcher.Delays(iMissing);
        // Runs handed over during the load and stored, per second of the load after the first.
        const double rStoredPerSecond = double(iLoadSubmitted - iMissing) / rLoadSeconds;

        // The outage: the stations go on, their spools grow.
        server.Stop();
        qint64 iSpoolMax = 0;
        qint64 iQueuedBytesMax = 0;
        int iQueuedMax = 0;
        QElapsedTimer outage;
        outage.start();
        while (outage.elapsed() < iOutageSeconds * 1000) {
            RunEventsFor(100);
            qint64 iBytes = 0;
            qint64 iQueuedBytes = 0;
            int iQueued = 0;
            for (const auto& station : stations) {
                iBytes += station->SpoolBytes();
                iQueuedBytes += station->QueuedBytes();
                iQueued += station->QueuedRuns();
            }
            iSpoolMax = std::max(iSpoolMax, iBytes);
            iQueuedBytesMax = std::max(iQueuedBytesMax, iQueuedBytes);
            iQueuedMax = std::max(iQueuedMax, iQueued);
        }
        server.Start();
        QElapsedTimer drain;
        drain.start();
        const auto Queued = [&] {
            int iQueued = 0;
            for (const auto& station : stations)
                iQueued += station->QueuedRuns();
            return iQueued;
        };
        while (Queued() > 0 && drain.elapsed() < 120000)
            RunEventsFor(20);
        const double rDrainSeconds = drain.elapsed() / 1000.0;
        for (auto& timer : timers)
            timer->stop();
        RunEventsFor(2000);
        int iLeft = 0;
        watcher.Delays(iLeft);
        watcher.Stop();

        state.counters["stations"] = ciStations;
        state.counters["steps_per_run"] = ciSteps;
        state.counters["runs_per_s"] = rStoredPerSecond;
        state.counters["runs_offered_per_s"] = iLoadSubmitted / rLoadSeconds;
        state.counters["delay_p50_ms"] = Percentile(delays, 0.5);
        state.counters["delay_p95_ms"] = Percentile(delays, 0.95);
        state.counters["delay_p99_ms"] = Percentile(delays, 0.99);
        state.counters["delay_max_ms"] = delays.empty() ? 0 : *std::max_element(delays.begin(), delays.end());
        state.counters["outage_queued_MB"] = double(iQueuedBytesMax) / (1024.0 * 1024.0);
        state.counters["outage_spool_files_MB"] = double(iSpoolMax) / (1024.0 * 1024.0);
        state.counters["outage_queued_runs"] = iQueuedMax;
        state.counters["drain_s"] = rDrainSeconds;
        state.counters["runs_missing"] = iLeft;
        state.counters["runs_total"] = iSubmitted + 1;
    }
}
BENCHMARK(BM_FiftyStations)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace
