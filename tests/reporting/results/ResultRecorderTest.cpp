#include "DeviceFixture.h"

#include "execution/Job.h"
#include "execution/TestTree.h"
#include "reporting/results/ResultDatabase.h"
#include "reporting/results/ResultRecorder.h"
#include "reporting/results/ResultSpool.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

namespace {

// A station whose database is out of reach: every run stays in the spool, where the test reads it
// as the database would get it.
class ResultRecorderTest : public TDeviceFixture
{
protected:
    ResultRecorderTest()
    {
        fSettings.sConnection = QStringLiteral("host=") + fDir.FilePath(QStringLiteral("no-server")) +
                                QStringLiteral(" port=1 dbname=results");
        fSettings.sStationName = QStringLiteral("Line 3");
        fSettings.sSpoolFolder = fDir.FilePath(QStringLiteral("spool"));
        fDatabase = std::make_unique<TResultDatabase>(fSettings);
        fDatabase->SetRetryDelays(60000, 60000);
        EXPECT_TRUE(fDatabase->Start());
        fRecorder = std::make_unique<TResultRecorder>(*fSession.Runner(), *fDatabase, fSession.ErrorReport());
    }

    // The spooled runs, oldest first; the station ends first, so that its files can be read.
    std::vector<QJsonObject> SpooledRuns()
    {
        fRecorder.reset();
        fDatabase.reset();
        TResultSpool spool(fSettings.sSpoolFolder);
        EXPECT_TRUE(spool.Open()) << spool.Error().toStdString();
        std::vector<QJsonObject> runs;
        for (int i = 0; i < spool.PendingCount(); ++i) {
            runs.push_back(QJsonDocument::fromJson(spool.PendingPayload(i)).object());
            EXPECT_EQ(runs.back().value(QStringLiteral("run_id")).toString(),
                      RunIdText(spool.PendingRunId(i)));
        }
        return runs;
    }

    // "label result [log value] [error]" per step.
    static QStringList Steps(const QJsonObject& aRun)
    {
        QStringList steps;
        for (const QJsonValue& value : aRun.value(QStringLiteral("steps")).toArray()) {
            const QJsonObject step = value.toObject();
            QString s = step.value(QStringLiteral("node_number")).toString() + QLatin1Char(' ') +
                        step.value(QStringLiteral("node_path")).toString() + QLatin1Char(' ') +
                        step.value(QStringLiteral("result")).toString();
            if (!step.value(QStringLiteral("log_value")).isNull())
                s += QStringLiteral(" [") + step.value(QStringLiteral("log_value")).toString() +
                     QLatin1Char(']');
            if (!step.value(QStringLiteral("error_text")).isNull())
                s += QStringLiteral(" (") + step.value(QStringLiteral("error_text")).toString() +
                     QLatin1Char(')');
            steps.append(s);
        }
        return steps;
    }

    static QString Values(const QJsonObject& aRun, const QString& sField)
    {
        QStringList values;
        for (const QJsonValue& value : aRun.value(QStringLiteral("values")).toArray())
            values.append(value.toObject().value(sField).toString());
        return values.join(QLatin1Char(';'));
    }

    TResultDatabaseSettings fSettings;
    std::unique_ptr<TResultDatabase> fDatabase;
    std::unique_ptr<TResultRecorder> fRecorder;
};

TEST_F(ResultRecorderTest, EveryCompleteRunIsSpooledWithItsStepsAndItsValueLogLine)
{
    ASSERT_TRUE(
        LoadOk(QStringLiteral("Set(FileInfo; \"Board\"; \"2.0\")\n"
                              "Set(ValueLog; \"TZD:log.csv\")\n"
                              "Device.Create(SystemControl; Sys)\n"
                              "Test.Case(\"Power\")\n{\n"
                              "    Sys.AssignValueLog(\"Serial\"\u00A7SerialNr; SN-42)\n"
                              "    Sys.AssignValueLog(\"Supply\"\u00A7U1; 4.98)\n"
                              "    Sys.SetTestCaseStatus(\"Enable table\"; \"No such case\"; Enabled)\n"
                              "    Sys.Delay(\"Skipped\"; 1)\n"
                              "}\n"
                              "Test.Final(\"Off\")\n{\n"
                              "    Sys.Delay(\"Discharge\"; 1)\n"
                              "}\n")));
    // Two runs: the final dialog's "Next " starts the second at once.
    fHost.iNextRuns = 1;
    ASSERT_TRUE(Run());
    ASSERT_TRUE(RunEventsUntil([&] { return fHost.finals.size() == 2; }));

    const std::vector<QJsonObject> runs = SpooledRuns();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_NE(runs[0].value(QStringLiteral("run_id")), runs[1].value(QStringLiteral("run_id")));
    for (const QJsonObject& run : runs) {
        EXPECT_EQ(run.value(QStringLiteral("host_name")).toString(), QSysInfo::machineHostName());
        EXPECT_EQ(run.value(QStringLiteral("station_name")).toString(), QStringLiteral("Line 3"));
        EXPECT_EQ(run.value(QStringLiteral("definition_file")).toString(),
                  QFileInfo(fDir.FilePath(QStringLiteral("test.TZD"))).absoluteFilePath());
        EXPECT_EQ(run.value(QStringLiteral("file_label")).toString(), QStringLiteral("Board"));
        EXPECT_EQ(run.value(QStringLiteral("file_version")).toString(), QStringLiteral("2.0"));
        EXPECT_EQ(run.value(QStringLiteral("operator")).toString(), QStringLiteral("op1"));
        EXPECT_EQ(run.value(QStringLiteral("result")).toString(), QStringLiteral("failed"));
        EXPECT_EQ(run.value(QStringLiteral("failed_steps")).toInt(), 1);
        EXPECT_GE(run.value(QStringLiteral("duration_ms")).toInt(), 0);
        // Function steps only, in the order they ran: the failure skipped to the final case.
        EXPECT_EQ(Steps(run), (QStringList{QStringLiteral("1.1. Power / Serial passed [SN-42]"),
                                           QStringLiteral("1.2. Power / Supply passed [4.98]"),
                                           QStringLiteral("1.3. Power / Enable table failed (Test case \"No "
                                                          "such case\" not found!)"),
                                           QStringLiteral("2.1. Off / Discharge passed")}))
            << Steps(run).join('\n').toStdString();
    }

    // The columns as the value log wrote them, run for run.
    const QStringList lines = QString::fromLatin1(ReadFileBytes(fDir.FilePath(QStringLiteral("log.csv"))))
                                  .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << lines.join('\n').toStdString();
    EXPECT_EQ(Values(runs[0], QStringLiteral("name")), lines[0]);
    EXPECT_EQ(Values(runs[0], QStringLiteral("value")), lines[1]);
    EXPECT_EQ(Values(runs[1], QStringLiteral("value")), lines[2]);
}

TEST_F(ResultRecorderTest, StoppedRunsSaySoAndAbandonedRunsAreNotRuns)
{
    ASSERT_TRUE(LoadOk(QStringLiteral("Device.Create(SystemControl; Sys)\n"
                                      "Test.Case(\"Measure\")\n{\n"
                                      "    Sys.Delay(\"Quick\"; 1)\n"
                                      "    Sys.Delay(\"Slow\"; 400)\n"
                                      "}\n"
                                      "Test.Final(\"Off\")\n{\n"
                                      "    Sys.Delay(\"Discharge\"; 1)\n"
                                      "}\n")));
    TProcessRunner& runner = *fSession.Runner();
    const auto StartAndWaitForSlow = [&] {
        runner.SetProcessState(EProcessState::Ready);
        runner.Start();
        return RunEventsUntil([&] {
            return runner.CurrentNode() && runner.CurrentNode()->Text().endsWith(QStringLiteral("Slow"));
        });
    };

    // Paused in the slow step and left there: no run.
    ASSERT_TRUE(StartAndWaitForSlow());
    runner.Pause();
    ASSERT_TRUE(RunEventsUntil([&] { return runner.ProcessState() == EProcessState::Paused; }));
    runner.TreeMouseReleased();
    ASSERT_EQ(runner.ProcessState(), EProcessState::Ready);

    // Stopped in the slow step: the final case runs, the run ends as stopped.
    ASSERT_TRUE(StartAndWaitForSlow());
    runner.Stop();
    ASSERT_TRUE(RunEventsUntil([&] { return fHost.finals.size() == 1; }));

    const std::vector<QJsonObject> runs = SpooledRuns();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0].value(QStringLiteral("result")).toString(), QStringLiteral("stopped"));
    EXPECT_EQ(runs[0].value(QStringLiteral("failed_steps")).toInt(), 1);
    EXPECT_EQ(Steps(runs[0]), (QStringList{QStringLiteral("1.1. Measure / Quick passed"),
                                           QStringLiteral("1.2. Measure / Slow stopped"),
                                           QStringLiteral("2.1. Off / Discharge passed")}))
        << Steps(runs[0]).join('\n').toStdString();
    // Without a value log the run still has the columns its line would have.
    EXPECT_EQ(Values(runs[0], QStringLiteral("name")), QStringLiteral("Start;Duration;Result;Operator"));
    EXPECT_TRUE(Values(runs[0], QStringLiteral("value")).endsWith(QStringLiteral(";Failed;op1")))
        << Values(runs[0], QStringLiteral("value")).toStdString();
}

TEST_F(ResultRecorderTest, AStepThatJudgesANumberKeepsItWithItsLimits)
{
    ASSERT_TRUE(
        LoadOk(QStringLiteral("Device.Create(SystemControl; Sys)\n"
                              "Test.Case(\"Gauge\")\n{\n"
                              "    Sys.Dialog.Input.Value(\"Inside\"; Gauge; Value?; Again; 0; 4.5; 5.5)\n"
                              "    Sys.Delay(\"Wait\"; 1)\n"
                              "    Sys.Dialog.Input.Value(\"Above\"; Gauge; Value?; Again; 0; -1; 2.5)\n"
                              "}\n")));
    fOperator.AnswerText(QStringLiteral("5.25"));
    fOperator.AnswerText(QStringLiteral("3"));
    ASSERT_TRUE(Run());
    ASSERT_TRUE(RunEventsUntil([&] { return fHost.finals.size() == 1; }));

    const std::vector<QJsonObject> runs = SpooledRuns();
    ASSERT_EQ(runs.size(), 1u);
    QStringList measured;
    for (const QJsonValue& value : runs[0].value(QStringLiteral("steps")).toArray()) {
        const QJsonObject step = value.toObject();
        measured.append(step.contains(QStringLiteral("meas_value"))
                            ? QStringLiteral("%1 <= %2 <= %3")
                                  .arg(step.value(QStringLiteral("meas_low")).toDouble())
                                  .arg(step.value(QStringLiteral("meas_value")).toDouble())
                                  .arg(step.value(QStringLiteral("meas_high")).toDouble())
                            : QStringLiteral("none"));
    }
    EXPECT_EQ(measured, (QStringList{QStringLiteral("4.5 <= 5.25 <= 5.5"), QStringLiteral("none"),
                                     QStringLiteral("-1 <= 3 <= 2.5")}))
        << measured.join('\n').toStdString();
}

} // namespace
