#include "ResultTestSupport.h"

#include "reporting/results/ResultSpool.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>

#include <memory>

namespace {

// One station: tzk-run with its own settings folder, answers and a copy of the value-log example
// (whose value log is written beside the definition).
struct TStation
{
    QString sFolder;
    QString sName;

    QString Config() const { return sFolder + QStringLiteral("/config"); }
    QString SettingsFile() const { return Config() + QStringLiteral("/Norbeck Software Design/TZK2.ini"); }
    QString SpoolFolder() const
    {
        return Config() + QStringLiteral("/Norbeck Software Design/TZK2-results-spool");
    }
    QString Definition() const { return sFolder + QStringLiteral("/valuelog.TZD"); }
    QString ValueLog() const { return sFolder + QStringLiteral("/valuelog.csv"); }
};

TStation MakeStation(const TTestDir& aDir, const QString& sName, const QString& sConnection = QString())
{
    TStation station{aDir.FilePath(sName), sName};
    QDir().mkpath(station.sFolder);
    QFile::copy(QStringLiteral(TZK_EXAMPLES_DIR "/valuelog.TZD"), station.Definition());
    QSettings settings(station.SettingsFile(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("ResultDatabase/StationName"), sName);
    if (!sConnection.isEmpty())
        settings.setValue(QStringLiteral("ResultDatabase/Connection"), sConnection);
    settings.sync();
    return station;
}

std::unique_ptr<QProcess> StartStation(const TStation& aStation, int iRuns, const QStringList& slOptions,
                                       const QProcessEnvironment& aExtra = QProcessEnvironment())
{
    QFile answers(aStation.sFolder + QStringLiteral("/answers.txt"));
    EXPECT_TRUE(answers.open(QIODevice::WriteOnly | QIODevice::Truncate));
    for (int i = 1; i < iRuns; ++i)
        answers.write("next\n");
    answers.write("cancel\n");
    answers.close();

    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), aStation.sFolder);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), aStation.Config());
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    for (const QString& sKey : aExtra.keys())
        environment.insert(sKey, aExtra.value(sKey));
    process->setProcessEnvironment(environment);
    EndWithTestProgram(*process);
    process->start(QStringLiteral(TZK_RUN_PATH),
                   QStringList{QStringLiteral("--operator"), QStringLiteral("ci"),
                               QStringLiteral("--answers"), answers.fileName()} +
                       slOptions + QStringList{aStation.Definition()});
    return process;
}

// Waits for the station's end; its standard output, or empty after a failure.
QString Finish(QProcess& aProcess)
{
    if (!aProcess.waitForFinished(60000)) {
        ADD_FAILURE() << "tzk-run did not finish";
        aProcess.kill();
        aProcess.waitForFinished(2000);
        return QString();
    }
    const QString sOut = QString::fromUtf8(aProcess.readAllStandardOutput());
    EXPECT_EQ(aProcess.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(aProcess.exitCode(), 0) << sOut.toStdString() << aProcess.readAllStandardError().toStdString();
    return sOut;
}

int Lines(const QString& sText, const QString& sPart)
{
    int iLines = 0;
    for (const QString& sLine : sText.split(QLatin1Char('\n')))
        iLines += sLine.contains(sPart) ? 1 : 0;
    return iLines;
}

int SpooledRuns(const TStation& aStation)
{
    TResultSpool spool(aStation.SpoolFolder());
    EXPECT_TRUE(spool.Open()) << spool.Error().toStdString();
    return spool.PendingCount();
}

using ResultStationsTest = ResultServerTest;

TEST_F(ResultStationsTest, TwoStationsWriteAtOnceAndTheirValuesAreTheirValueLogLines)
{
    const TStation a = MakeStation(fDir, QStringLiteral("A"));
    const TStation b = MakeStation(fDir, QStringLiteral("B"));
    const QStringList slDatabase{QStringLiteral("--results-db"), Server().Url(fsDatabase)};
    std::unique_ptr<QProcess> first = StartStation(a, 3, slDatabase);
    std::unique_ptr<QProcess> second = StartStation(b, 3, slDatabase);
    const QString sOutA = Finish(*first);
    const QString sOutB = Finish(*second);
    for (const QString& sOut : {sOutA, sOutB}) {
        EXPECT_EQ(Lines(sOut, QStringLiteral("Result database ") + fsDatabase), 1) << sOut.toStdString();
        EXPECT_EQ(Lines(sOut, QStringLiteral("left in the spool")), 0) << sOut.toStdString();
    }

    EXPECT_EQ(Server().Query(QStringLiteral("SELECT station_name, count(*), sum(failed_steps), min(result), "
                                            "max(file_label) FROM tzk_run GROUP BY 1 ORDER BY 1"),
                             fsDatabase),
              (std::vector<QStringList>{{"A", "3", "0", "passed", "Value log"},
                                        {"B", "3", "0", "passed", "Value log"}}));
    EXPECT_EQ(
        Value(QStringLiteral("SELECT string_agg(DISTINCT node_path || '=' || result, ', ') FROM tzk_step")),
        QStringLiteral("Run / Intermediate line=passed, Run / Second part=passed, Run / Settle=passed"));
    // The example's column is registered but nothing fills it: blank in every line, as in the file.
    EXPECT_EQ(
        Value(QStringLiteral("SELECT count(*) FROM tzk_value WHERE name = 'Settle_ms' AND value = ' '")),
        QStringLiteral("6"));

    for (const TStation& station : {a, b}) {
        const QStringList lines = QString::fromLatin1(ReadFileBytes(station.ValueLog()))
                                      .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 7) << "a header, then an intermediate and a final line per run";
        const QString sLast = Value(QStringLiteral("SELECT string_agg(v.value, ';' ORDER BY v.col_index) "
                                                   "FROM tzk_value v JOIN tzk_run r USING (run_id) "
                                                   "WHERE r.station_name = '%1' GROUP BY r.run_id "
                                                   "ORDER BY max(r.started_at) DESC LIMIT 1")
                                        .arg(station.sName));
        EXPECT_EQ(sLast, lines.last());
        EXPECT_EQ(SpooledRuns(station), 0);
    }
}

TEST_F(ResultStationsTest, AWrongPasswordKeepsTheRunsInTheSpoolForTheNextStart)
{
    const QString sRole = QStringLiteral("line_%1").arg(fsDatabase);
    ASSERT_TRUE(Server().Query(QStringLiteral("CREATE ROLE \"%1\" LOGIN PASSWORD 'right'").arg(sRole)));
    ASSERT_TRUE(
        Server().Query(QStringLiteral("GRANT ALL ON SCHEMA public TO \"%1\"").arg(sRole), fsDatabase));
    ASSERT_TRUE(Server().RequirePassword(sRole)) << Server().Error().toStdString();

    // The settings' connection carries the wrong password.
    const TStation station =
        MakeStation(fDir, QStringLiteral("C"),
                    Server().Connection(fsDatabase, sRole) + QStringLiteral(" password=wrong"));
    std::unique_ptr<QProcess> process = StartStation(station, 2, {});
    const QString sOut = Finish(*process);
    EXPECT_EQ(Lines(sOut, QStringLiteral("password authentication failed")), 1) << sOut.toStdString();
    EXPECT_EQ(Lines(sOut, QStringLiteral("Error: Result database refused the runs")), 1)
        << sOut.toStdString();
    EXPECT_EQ(Lines(sOut, QStringLiteral("Result database: 2 run(s) left in the spool for the next start")),
              1)
        << sOut.toStdString();
    EXPECT_EQ(SpooledRuns(station), 2);
    EXPECT_EQ(Count(QStringLiteral("tzk_run")), 0);

    // Started again with the right password (from the environment, as libpq reads it): the spool
    // goes first, then the new run.
    QProcessEnvironment password;
    password.insert(QStringLiteral("PGPASSWORD"), QStringLiteral("right"));
    process = StartStation(
        station, 1, {QStringLiteral("--results-db"), Server().Connection(fsDatabase, sRole)}, password);
    const QString sAgain = Finish(*process);
    EXPECT_EQ(Lines(sAgain, QStringLiteral("Result database: 2 run(s) from the spool to send")), 1)
        << sAgain.toStdString();
    EXPECT_EQ(Count(QStringLiteral("tzk_run")), 3);
    EXPECT_EQ(SpooledRuns(station), 0);
}

TEST_F(ResultStationsTest, WithoutADatabaseNothingChanges)
{
    const TStation station = MakeStation(fDir, QStringLiteral("D"));
    std::unique_ptr<QProcess> process = StartStation(station, 1, {});
    const QString sOut = Finish(*process);
    EXPECT_EQ(Lines(sOut, QStringLiteral("Result database")), 0) << sOut.toStdString();
    EXPECT_FALSE(QFileInfo::exists(station.SpoolFolder()));
    // Switched off, a configured database is not used either.
    QSettings settings(station.SettingsFile(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("ResultDatabase/Connection"), Server().Connection(fsDatabase));
    settings.setValue(QStringLiteral("ResultDatabase/Enabled"), 0);
    settings.sync();
    process = StartStation(station, 1, {});
    Finish(*process);
    EXPECT_FALSE(QFileInfo::exists(station.SpoolFolder()));
    EXPECT_EQ(Value(QStringLiteral("SELECT to_regclass('tzk_run') IS NULL")), QStringLiteral("t"));
}

} // namespace
