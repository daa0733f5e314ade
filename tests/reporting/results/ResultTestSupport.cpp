#include "ResultTestSupport.h"

#include "core/MsgClasses.h"

#include <unistd.h>

namespace {

int& DatabaseCounter()
{
    static int iCounter = 0;
    return iCounter;
}

std::unique_ptr<TPostgresTestServer>& ServerInstance()
{
    static std::unique_ptr<TPostgresTestServer> server;
    return server;
}

// Stops the server while the program's application object still exists.
class TServerEnvironment : public ::testing::Environment
{
public:
    void TearDown() override { ServerInstance().reset(); }
};

[[maybe_unused]] ::testing::Environment* const gServerEnvironment =
    ::testing::AddGlobalTestEnvironment(new TServerEnvironment);

} // namespace

TPostgresTestServer& TestServer()
{
    std::unique_ptr<TPostgresTestServer>& server = ServerInstance();
    if (!server) {
        server = std::make_unique<TPostgresTestServer>();
        server->Start();
    }
    return *server;
}

TResultRun MakeRun(int iSteps, const QString& sSerial, const QString& sResult, const QDateTime& dtStart)
{
    TResultRun run;
    run.RunId = QUuid::createUuid();
    run.sHostName = QStringLiteral("host-1");
    run.sStationName = QStringLiteral("Station 1");
    run.sDefinitionFile = QStringLiteral("/defs/board.TZD");
    run.sFileLabel = QStringLiteral("Board");
    run.sFileVersion = QStringLiteral("1.2");
    run.sOperator = QStringLiteral("Anna");
    run.dtStart = dtStart;
    run.iDurationMs = 1000 + iSteps;
    run.sResult = sResult;
    for (int i = 1; i <= iSteps; ++i) {
        TResultStep step;
        step.iSeq = i;
        step.sNodeNumber = QStringLiteral("1.%1.").arg(i);
        step.sLabel = QStringLiteral("Measure U%1").arg(i);
        step.sNodePath = QStringLiteral("Power / ") + step.sLabel;
        const bool bFails = sResult != QLatin1String("passed") && i % 3 == 0;
        step.sResult = bFails ? QStringLiteral("failed") : QStringLiteral("passed");
        if (bFails) {
            run.iFailedSteps++;
            step.sErrorText = QStringLiteral("U%1 out of range: 5.4 > 5.1").arg(i);
        }
        if (i < iSteps)
            step.sLogValue = QString::number(4.9 + i / 100.0);
        step.dtStart = dtStart.addMSecs(10 * i);
        step.iDurationMs = 9;
        run.Steps.push_back(step);
    }
    run.Values = {{QStringLiteral("Start"), dtStart.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"))},
                  {QStringLiteral("Duration"), QStringLiteral("00:00:01")},
                  {QStringLiteral("SerialNr"), sSerial},
                  {QStringLiteral("Result"),
                   sResult == QLatin1String("passed") ? QStringLiteral("Passed") : QStringLiteral("Failed")},
                  {QStringLiteral("Operator"), QStringLiteral("Anna")}};
    return run;
}

void ResultServerTest::SetUp()
{
    // A test that stopped the server and failed before starting it again leaves it stopped.
    if (!Server().Running())
        Server().Start();
    ASSERT_TRUE(Server().Running()) << "no PostgreSQL server: " << Server().Error().toStdString();
    fsDatabase = QStringLiteral("results_%1_%2").arg(::getpid()).arg(++DatabaseCounter());
    ASSERT_TRUE(Server().CreateDatabase(fsDatabase)) << Server().Error().toStdString();
    fLog.Attach();
}

void ResultServerTest::TearDown()
{
    fLog.Detach();
    TMsgClass::ReleaseSingleton();
}

TResultDatabaseSettings ResultServerTest::Settings(const QString& sUser) const
{
    TResultDatabaseSettings settings;
    settings.sConnection = TestServer().Connection(fsDatabase, sUser);
    settings.sStationName = QStringLiteral("Station 1");
    settings.sSpoolFolder = fDir.FilePath(QStringLiteral("spool"));
    return settings;
}

std::unique_ptr<TResultDatabase> ResultServerTest::Station(const TResultDatabaseSettings& aSettings)
{
    auto station = std::make_unique<TResultDatabase>(aSettings);
    station->SetRetryDelays(50, 200);
    EXPECT_TRUE(station->Start()) << LogText().toStdString();
    return station;
}

int ResultServerTest::LogLines(const QString& sText) const
{
    int iLines = 0;
    for (const TLogLine& line : fLog.Lines())
        iLines += line.sText.contains(sText) ? 1 : 0;
    return iLines;
}

QString ResultServerTest::LogText() const
{
    QStringList lines;
    for (const TLogLine& line : fLog.Lines())
        lines.append(line.sText);
    return lines.join(QLatin1Char('\n'));
}
