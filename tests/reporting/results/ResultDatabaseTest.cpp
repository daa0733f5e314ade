#include "ResultTestSupport.h"

#include "reporting/results/PgConnection.h"
#include "reporting/results/ResultSchema.h"
#include "reporting/results/ResultSpool.h"

#include "core/MsgClasses.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

QString IdText(const TResultRun& aRun)
{
    return RunIdText(aRun.RunId);
}

QString Joined(const std::optional<std::vector<QStringList>>& aRows)
{
    QStringList lines;
    if (aRows) {
        for (const QStringList& row : *aRows) {
            QStringList cells;
            for (const QString& s : row)
                cells.append(s.isNull() ? QStringLiteral("NULL") : s);
            lines.append(cells.join(QLatin1Char('|')));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

using ResultDatabaseTest = ResultServerTest;

TEST_F(ResultDatabaseTest, RunsArriveWithTheirStepsAndValuesExactlyOnce)
{
    auto station = Station();
    TResultRun first = MakeRun(4, QStringLiteral("SN-1"), QStringLiteral("failed"));
    // Texts as they come: other scripts, a character 0 from a device's answer.
    first.sOperator = QStringLiteral("Zoë Ångström");
    first.Steps[2].sErrorText = QStringLiteral("expected \"OK\" got \"E") + QChar(0) + QStringLiteral("R\"");
    TResultRun second = MakeRun(2, QStringLiteral("SN-2"));
    second.iSocket = 3;
    ASSERT_TRUE(station->Submit(first));
    ASSERT_TRUE(station->Submit(second));
    ASSERT_TRUE(RunEventsUntil([&] { return station->QueuedRuns() == 0; }, 20000)) << LogText().toStdString();
    EXPECT_EQ(station->State(), EResultDbState::Connected);
    EXPECT_EQ(LogLines(QStringLiteral("Result database ") + fsDatabase + QStringLiteral(" on ")), 1)
        << LogText().toStdString();

    EXPECT_EQ(Joined(Server().Query(
                  QStringLiteral("SELECT host_name, station_name, definition_file, file_label, "
                                 "file_version, operator, result, failed_steps, duration_ms, "
                                 "to_char(started_at AT TIME ZONE 'UTC', "
                                 "'YYYY-MM-DD\"T\"HH24:MI:SS.MS') FROM tzk_run WHERE run_id = '%1'")
                      .arg(IdText(first)),
                  fsDatabase)),
              QStringLiteral("host-1|Station 1|/defs/board.TZD|Board|1.2|Zoë Ångström|failed|1|1004|") +
                  first.dtStart.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")));
    EXPECT_EQ(
        Joined(Server().Query(QStringLiteral("SELECT seq, node_number, node_path, label, result, error_text, "
                                             "log_value, duration_ms FROM tzk_step WHERE run_id = '%1' "
                                             "ORDER BY seq")
                                  .arg(IdText(first)),
                              fsDatabase)),
        QStringLiteral("1|1.1.|Power / Measure U1|Measure U1|passed|NULL|4.91|9\n"
                       "2|1.2.|Power / Measure U2|Measure U2|passed|NULL|4.92|9\n"
                       "3|1.3.|Power / Measure U3|Measure U3|failed|expected \"OK\" got \"E?R\"|4.93|9\n"
                       "4|1.4.|Power / Measure U4|Measure U4|passed|NULL|NULL|9"));
    EXPECT_EQ(
        Joined(Server().Query(
            QStringLiteral(
                "SELECT col_index, name, value FROM tzk_value WHERE run_id = '%1' ORDER BY col_index")
                .arg(IdText(second)),
            fsDatabase)),
        QStringLiteral("1|Start|%1\n2|Duration|00:00:01\n3|SerialNr|SN-2\n4|Result|Passed\n5|Operator|Anna")
            .arg(second.Values[0].sValue));

    // Each run says its test socket; a run without one (a station of one socket) is socket 1.
    EXPECT_EQ(Joined(Server().Query(QStringLiteral("SELECT socket FROM tzk_run WHERE run_id IN ('%1', '%2') "
                                                   "ORDER BY run_id = '%1' DESC")
                                        .arg(IdText(first), IdText(second)),
                                    fsDatabase)),
              QStringLiteral("1\n3"));
    EXPECT_FALSE(first.ToJson().contains("\"socket\""));

    // A run sent again (its acknowledgement lost, say) is stored once.
    ASSERT_TRUE(station->Submit(first));
    ASSERT_TRUE(RunEventsUntil([&] { return station->QueuedRuns() == 0; }, 20000));
    EXPECT_EQ(Count(QStringLiteral("tzk_run")), 2);
    EXPECT_EQ(Count(QStringLiteral("tzk_step")), 6);
    EXPECT_EQ(Count(QStringLiteral("tzk_value")), 10);
}

TEST_F(ResultDatabaseTest, RunsGoOnWhileTheDatabaseIsDownAndEachArrivesOnce)
{
    auto station = Station();
    std::vector<TResultRun> runs;
    const auto SubmitRuns = [&](int iCount) {
        for (int i = 0; i < iCount; ++i) {
            runs.push_back(MakeRun(5, QStringLiteral("SN-%1").arg(runs.size())));
            ASSERT_TRUE(station->Submit(runs.back()));
        }
    };
    SubmitRuns(3);
    ASSERT_TRUE(RunEventsUntil([&] { return station->QueuedRuns() == 0; }, 20000)) << LogText().toStdString();

    ASSERT_TRUE(Server().Stop());
    // The runs do not wait: each is in the spool the moment Submit returns.
    SubmitRuns(4);
    EXPECT_EQ(station->QueuedRuns(), 4);
    ASSERT_TRUE(RunEventsUntil([&] { return station->State() == EResultDbState::Unreachable; }, 20000));
    SubmitRuns(2);
    // Some attempts fail meanwhile.
    RunEventsUntil([] { return false; }, 600);
    EXPECT_EQ(station->QueuedRuns(), 6);
    EXPECT_GE(LogLines(QStringLiteral("Result database not reachable")), 1);
    EXPECT_NE(station->StateText().indexOf(QStringLiteral("Not reachable; 6 run(s) queued")), -1)
        << station->StateText().toStdString();

    ASSERT_TRUE(Server().Start()) << Server().Error().toStdString();
    ASSERT_TRUE(RunEventsUntil([&] { return station->QueuedRuns() == 0; }, 20000)) << LogText().toStdString();
    EXPECT_EQ(Count(QStringLiteral("tzk_run")), 9);
    EXPECT_EQ(Value(QStringLiteral("SELECT count(DISTINCT run_id) FROM tzk_run")), QStringLiteral("9"));
    EXPECT_EQ(Count(QStringLiteral("tzk_step")), 45);
    EXPECT_TRUE(station->StateText().startsWith(QStringLiteral("Connected to")))
        << station->StateText().toStdString();
    EXPECT_GE(LogLines(QStringLiteral("connected, 0 run(s) queued")), 1) << LogText().toStdString();
}

TEST_F(ResultDatabaseTest, AConnectionTheServerDroppedMeanwhileIsRenewedQuietly)
{
    auto station = Station();
    ASSERT_TRUE(station->Submit(MakeRun(2, QStringLiteral("SN-1"))));
    ASSERT_TRUE(station->Drain(20000)) << LogText().toStdString();
    // The server restarts while the station has nothing to send.
    ASSERT_TRUE(Server().Stop());
    ASSERT_TRUE(Server().Start()) << Server().Error().toStdString();
    ASSERT_TRUE(station->Submit(MakeRun(2, QStringLiteral("SN-2"))));
    ASSERT_TRUE(station->Drain(20000)) << LogText().toStdString();
    EXPECT_EQ(Count(QStringLiteral("tzk_run")), 2);
    EXPECT_EQ(LogLines(QStringLiteral("not reachable")), 0) << LogText().toStdString();
    EXPECT_EQ(LogLines(QStringLiteral("connected, ")), 1) << LogText().toStdString();
}

TEST_F(ResultDatabaseTest, RestartedStationDrainsItsFullSpoolInOrder)
{
    ASSERT_TRUE(Server().Stop());
    std::vector<TResultRun> runs;
    {
        auto station = Station();
        for (int i = 0; i < 5; ++i) {
            runs.push_back(MakeRun(3, QStringLiteral("SN-%1").arg(i)));
            ASSERT_TRUE(station->Submit(runs.back()));
        }
        RunEventsUntil([&] { return station->State() == EResultDbState::Unreachable; }, 20000);
        EXPECT_EQ(station->QueuedRuns(), 5);
    }
    ASSERT_TRUE(Server().Start()) << Server().Error().toStdString();

    auto station = std::make_unique<TResultDatabase>(Settings());
    // One run per transaction, so that the order of arrival shows.
    station->SetBatchLimits(1, 1 << 20);
    ASSERT_TRUE(station->Start());
    EXPECT_EQ(station->QueuedRuns(), 5);
    EXPECT_GE(LogLines(QStringLiteral("Result database: 5 run(s) from the spool to send")), 1);
    ASSERT_TRUE(station->Drain(20000)) << LogText().toStdString();
    QStringList slExpected;
    for (const TResultRun& run : runs)
        slExpected.append(IdText(run));
    EXPECT_EQ(
        Joined(Server().Query(QStringLiteral("SELECT run_id FROM tzk_run ORDER BY received_at"), fsDatabase)),
        slExpected.join(QLatin1Char('\n')));
    EXPECT_TRUE(QDir(Settings().sSpoolFolder).entryList({QStringLiteral("*.spool")}, QDir::Files).size() <=
                1);
}

TEST_F(ResultDatabaseTest, ARefusingDatabaseKeepsTheRunsAndSaysSoOnce)
{
    // A table of the same name that is not ours: the schema cannot be made.
    ASSERT_TRUE(Server().Query(QStringLiteral("CREATE TABLE tzk_run (id integer)"), fsDatabase));
    auto station = Station();
    int iAttempts = 0;
    QObject::connect(station.get(), &TResultDatabase::StateChanged,
                     [&] { iAttempts += station->State() == EResultDbState::Refused ? 1 : 0; });
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(station->Submit(MakeRun(2, QStringLiteral("SN-%1").arg(i))));
    ASSERT_TRUE(RunEventsUntil([&] { return iAttempts >= 4; }, 20000)) << LogText().toStdString();
    EXPECT_EQ(station->QueuedRuns(), 3);
    EXPECT_EQ(LogLines(QStringLiteral("Result database refused the runs")), 1) << LogText().toStdString();
    EXPECT_EQ(LogLines(QStringLiteral("relation \"tzk_run\" already exists")), 1) << LogText().toStdString();
    EXPECT_TRUE(station->StateText().startsWith(QStringLiteral("Refused; 3 run(s) queued")))
        << station->StateText().toStdString();

    // Mended by the database's owner: the runs arrive.
    ASSERT_TRUE(Server().Query(QStringLiteral("DROP TABLE tzk_run"), fsDatabase));
    ASSERT_TRUE(station->Drain(20000)) << LogText().toStdString();
    EXPECT_EQ(Count(QStringLiteral("tzk_run")), 3);
}

TEST_F(ResultDatabaseTest, StationsThatMayOnlyInsertWorkOnceTheSchemaExists)
{
    const QString sRole = QStringLiteral("inserter_%1").arg(fsDatabase);
    ASSERT_TRUE(Server().Query(QStringLiteral("CREATE ROLE \"%1\" LOGIN").arg(sRole)));
    auto limited = Station(Settings(sRole));
    ASSERT_TRUE(limited->Submit(MakeRun(2, QStringLiteral("SN-1"))));
    ASSERT_TRUE(RunEventsUntil([&] { return limited->State() == EResultDbState::Refused; }, 20000));
    EXPECT_EQ(LogLines(QStringLiteral("permission denied for schema public")), 1) << LogText().toStdString();

    // The owner's station makes the schema; reading alone is not enough to store.
    {
        TResultDatabaseSettings owner = Settings();
        owner.sSpoolFolder = fDir.FilePath(QStringLiteral("owner-spool"));
        auto station = Station(owner);
        ASSERT_TRUE(station->Submit(MakeRun(2, QStringLiteral("SN-0"))));
        ASSERT_TRUE(station->Drain(20000)) << LogText().toStdString();
    }
    ASSERT_TRUE(Server().Query(
        QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO \"%1\"").arg(sRole), fsDatabase));
    ASSERT_TRUE(RunEventsUntil(
        [&] { return LogLines(QStringLiteral("permission denied for table tzk_run")) > 0; }, 20000))
        << LogText().toStdString();
    EXPECT_EQ(limited->QueuedRuns(), 1);

    ASSERT_TRUE(Server().Query(
        QStringLiteral("GRANT INSERT ON tzk_run, tzk_step, tzk_value TO \"%1\"").arg(sRole), fsDatabase));
    ASSERT_TRUE(limited->Drain(20000)) << LogText().toStdString();
    EXPECT_EQ(Count(QStringLiteral("tzk_run")), 2);
    EXPECT_EQ(LogLines(QStringLiteral("permission denied for table tzk_run")), 1) << LogText().toStdString();
}

TEST_F(ResultDatabaseTest, AWrongPasswordKeepsTheSpoolAndIsLoggedOnce)
{
    const QString sRole = QStringLiteral("station_%1").arg(fsDatabase);
    ASSERT_TRUE(Server().Query(QStringLiteral("CREATE ROLE \"%1\" LOGIN PASSWORD 'right'; "
                                              "GRANT ALL ON DATABASE \"%2\" TO \"%1\"")
                                   .arg(sRole, fsDatabase)));
    ASSERT_TRUE(
        Server().Query(QStringLiteral("GRANT ALL ON SCHEMA public TO \"%1\"").arg(sRole), fsDatabase));
    ASSERT_TRUE(Server().RequirePassword(sRole)) << Server().Error().toStdString();

    TResultDatabaseSettings settings = Settings(sRole);
    settings.sConnection += QStringLiteral(" password=wrong");
    {
        auto station = Station(settings);
        int iAttempts = 0;
        QObject::connect(station.get(), &TResultDatabase::StateChanged,
                         [&] { iAttempts += station->State() == EResultDbState::Refused ? 1 : 0; });
        for (int i = 0; i < 2; ++i)
            ASSERT_TRUE(station->Submit(MakeRun(2, QStringLiteral("SN-%1").arg(i))));
        ASSERT_TRUE(RunEventsUntil([&] { return iAttempts >= 4; }, 20000)) << LogText().toStdString();
        EXPECT_EQ(station->QueuedRuns(), 2);
        EXPECT_EQ(LogLines(QStringLiteral("password authentication failed")), 1) << LogText().toStdString();
        EXPECT_EQ(LogLines(QStringLiteral("Result database refused the runs, 2 run(s) kept in the spool")), 1)
            << LogText().toStdString();
    }
    // The right password, from the environment as libpq reads it: the spool drains.
    qputenv("PGPASSWORD", "right");
    auto station = Station(Settings(sRole));
    const bool bDrained = station->Drain(20000);
    qunsetenv("PGPASSWORD");
    ASSERT_TRUE(bDrained) << LogText().toStdString();
    EXPECT_EQ(Count(QStringLiteral("tzk_run")), 2);
}

TEST_F(ResultDatabaseTest, TheSchemaIsMadeOnceAndReportsItsVersion)
{
    std::atomic_bool bStop{false};
    // Two stations migrate the same fresh database at once: each migration is applied once.
    TPgConnection first(bStop);
    TPgConnection second(bStop);
    ASSERT_TRUE(first.Connect(Server().Connection(fsDatabase), 5000)) << first.Error().toStdString();
    ASSERT_TRUE(second.Connect(Server().Url(fsDatabase), 5000)) << second.Error().toStdString();
    int iVersion = 0;
    QString sError;
    bool bLost = false;
    ASSERT_TRUE(first.Exec("BEGIN; SELECT pg_advisory_xact_lock(20020)").bOk);
    // The second waits for the lock the first holds, on its own thread.
    std::atomic_bool bSecondDone{false};
    bool bSecondOk = false;
    int iSecondVersion = 0;
    std::thread other([&] {
        QString sOtherError;
        bool bOtherLost = false;
        bSecondOk = TResultSchema::Migrate(second, iSecondVersion, sOtherError, bOtherLost);
        bSecondDone = true;
    });
    QThread::msleep(200);
    EXPECT_FALSE(bSecondDone.load()) << "the second migration waits for the lock";
    ASSERT_TRUE(first.Exec("COMMIT").bOk);
    other.join();
    ASSERT_TRUE(bSecondOk);
    EXPECT_EQ(iSecondVersion, TResultSchema::LatestVersion());
    ASSERT_TRUE(TResultSchema::Migrate(first, iVersion, sError, bLost)) << sError.toStdString();
    EXPECT_EQ(iVersion, TResultSchema::LatestVersion());
    EXPECT_EQ(
        Joined(Server().Query(
            QStringLiteral("SELECT version, description FROM tzk_schema_version ORDER BY 1"), fsDatabase)),
        QStringLiteral("1|runs, steps and value-log columns\n2|yield, failing steps and unit history\n"
                       "3|measured values and their limits\n4|the test socket of each run"));

    // A database at an earlier version is brought up to date.
    const QString sOld = fsDatabase + QStringLiteral("_v1");
    ASSERT_TRUE(Server().CreateDatabase(sOld));
    ASSERT_TRUE(Server().Query(
        QStringLiteral("CREATE TABLE tzk_schema_version (version integer PRIMARY KEY, "
                       "description text NOT NULL, applied_at timestamptz NOT NULL "
                       "DEFAULT now()); ") +
            QString::fromUtf8(TResultSchema::Migrations().front().sSql) +
            QStringLiteral("; INSERT INTO tzk_schema_version VALUES (1, 'first', now()); "
                           "INSERT INTO tzk_run (run_id, host_name, definition_file, started_at, "
                           "duration_ms, result, failed_steps) VALUES "
                           "('00000000-0000-0000-0000-000000000001', 'h', '/old.TZD', now(), 1, "
                           "'passed', 0)"),
        sOld))
        << Server().Error().toStdString();
    TPgConnection old(bStop);
    ASSERT_TRUE(old.Connect(Server().Connection(sOld), 5000));
    ASSERT_TRUE(TResultSchema::Migrate(old, iVersion, sError, bLost)) << sError.toStdString();
    EXPECT_EQ(iVersion, TResultSchema::LatestVersion());
    EXPECT_EQ(Server().Value(QStringLiteral("SELECT string_agg(version::text, ',' ORDER BY version) "
                                            "FROM tzk_schema_version"),
                             sOld),
              QStringLiteral("1,2,3,4"));
    EXPECT_EQ(Server().Value(QStringLiteral("SELECT count(*) FROM tzk_first_pass_yield('SerialNr')"), sOld),
              QStringLiteral("0"));
    // A run stored before sockets were known reads as socket 1.
    EXPECT_EQ(Server().Value(QStringLiteral("SELECT socket FROM tzk_run"), sOld), QStringLiteral("1"));

    // A database a later program migrated further is left as it is.
    ASSERT_TRUE(Server().Query(QStringLiteral("INSERT INTO tzk_schema_version VALUES (99, 'later', now())"),
                               fsDatabase));
    ASSERT_TRUE(TResultSchema::Migrate(first, iVersion, sError, bLost)) << sError.toStdString();
    EXPECT_EQ(iVersion, 99);
}

// A server that takes the connection and never answers: the runs go on, and neither the station's
// end nor a drain waits for it.
TEST(ResultDatabaseHangTest, AServerThatNeverAnswersHoldsNothingUp)
{
    const int iListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(iListener, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(iListener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(iListener, 8), 0);
    socklen_t iLength = sizeof address;
    ASSERT_EQ(::getsockname(iListener, reinterpret_cast<sockaddr*>(&address), &iLength), 0);

    TTestDir dir;
    TResultDatabaseSettings settings;
    settings.sConnection =
        QStringLiteral("host=127.0.0.1 port=%1 dbname=results").arg(ntohs(address.sin_port));
    settings.sSpoolFolder = dir.FilePath(QStringLiteral("spool"));
    auto station = std::make_unique<TResultDatabase>(settings);
    ASSERT_TRUE(station->Start());
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(station->Submit(MakeRun(3, QStringLiteral("SN-1"))));
    // Both well within the connection's own time limit (10 s), which nothing here waits for.
    EXPECT_LT(timer.elapsed(), 5000) << "the run is spooled, not sent, before Submit returns";
    EXPECT_EQ(station->QueuedRuns(), 1);
    EXPECT_FALSE(station->Drain(300));
    EXPECT_EQ(station->State(), EResultDbState::Connecting);
    timer.restart();
    station.reset();
    EXPECT_LT(timer.elapsed(), 5000) << "the waiting connection gives up with the station";
    ::close(iListener);
    TMsgClass::ReleaseSingleton();
}

TEST_F(ResultDatabaseTest, TheDocumentedViewsAnswer)
{
    auto station = Station();
    const QDateTime dtDay1(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC);
    const QDateTime dtDay2(QDate(2026, 3, 3), QTime(9, 0), Qt::UTC);
    // SN-1 passes at once; SN-2 fails, then passes; SN-3 fails on both days; a stopped run.
    const std::vector<TResultRun> runs = {
        MakeRun(3, QStringLiteral("SN-1"), QStringLiteral("passed"), dtDay1),
        MakeRun(3, QStringLiteral("SN-2"), QStringLiteral("failed"), dtDay1.addSecs(60)),
        MakeRun(3, QStringLiteral("SN-2"), QStringLiteral("passed"), dtDay1.addSecs(120)),
        MakeRun(6, QStringLiteral("SN-3"), QStringLiteral("failed"), dtDay1.addSecs(180)),
        MakeRun(3, QStringLiteral("SN-3"), QStringLiteral("failed"), dtDay2),
        MakeRun(3, QStringLiteral("SN-4"), QStringLiteral("stopped"), dtDay2.addSecs(60)),
    };
    for (const TResultRun& run : runs)
        ASSERT_TRUE(station->Submit(run));
    ASSERT_TRUE(station->Drain(20000)) << LogText().toStdString();
    ASSERT_TRUE(Server().Query(QStringLiteral("SET TIME ZONE 'UTC'"), fsDatabase));

    const auto Rows = [&](const char* sSql) {
        return Joined(
            Server().Query(QStringLiteral("SET TIME ZONE 'UTC'; ") + QString::fromUtf8(sSql), fsDatabase));
    };
    EXPECT_EQ(Rows("SELECT day, runs, passed, failed, stopped, yield_percent FROM tzk_yield_per_day "
                   "WHERE definition_file = '/defs/board.TZD' ORDER BY day"),
              QStringLiteral("2026-03-02|4|2|2|0|50.00\n2026-03-03|2|0|1|1|0.00"));
    EXPECT_EQ(Rows("SELECT * FROM tzk_first_pass_yield('serialnr')"),
              QStringLiteral("/defs/board.TZD|4|1|25.00"));
    // Each failing run of MakeRun fails its every third step: U3 four times, U6 once.
    EXPECT_EQ(Rows("SELECT node_path, failures, runs, last_error FROM tzk_failing_steps "
                   "ORDER BY failures DESC, node_path LIMIT 10"),
              QStringLiteral("Power / Measure U3|4|4|U3 out of range: 5.4 > 5.1\n"
                             "Power / Measure U6|1|1|U6 out of range: 5.4 > 5.1"));
    EXPECT_EQ(
        Rows("SELECT started_at, station, result, failed_steps FROM tzk_unit_history('SerialNr', 'SN-3')"),
        QStringLiteral(
            "2026-03-02 09:03:00+00|Station 1|failed|2\n2026-03-03 09:00:00+00|Station 1|failed|1"));
}

} // namespace
