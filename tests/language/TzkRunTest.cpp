#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <QProcess>

namespace {

struct TRunResult
{
    int iExitCode = -1;
    QString sOut;
    QString sErr;
};

TRunResult RunTzk(const QStringList& slArgs)
{
    QProcess process;
    process.start(QStringLiteral(TZK_RUN_PATH), slArgs);
    TRunResult result;
    if (!process.waitForFinished(30000)) {
        ADD_FAILURE() << "tzk-run did not finish: " << process.errorString().toStdString();
        process.kill();
        return result;
    }
    result.iExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.sOut = QString::fromUtf8(process.readAllStandardOutput());
    result.sErr = QString::fromUtf8(process.readAllStandardError());
    return result;
}

TEST(TzkRunTest, PreprocessListsTheLines)
{
    TTestDir dir;
    const QString sMain =
        dir.Write(QStringLiteral("main.TZD"), "/* head */\r\nSys.Delay(\"x\";5) // wait\r\n");
    const TRunResult result = RunTzk({QStringLiteral("--preprocess"), sMain});
    EXPECT_EQ(result.iExitCode, 0) << result.sErr.toStdString();
    EXPECT_EQ(result.sOut, QStringLiteral("%1, 2: Sys.Delay(\"x\";5)\n").arg(sMain));
}

TEST(TzkRunTest, LoadErrorExitsWithTwo)
{
    TTestDir dir;
    const QString sMain = dir.Write(QStringLiteral("main.TZD"), "Inc\n#include \"inc.txt\"\n");
    dir.Write(QStringLiteral("inc.txt"), "#include \"main.TZD\"\n");
    const TRunResult result = RunTzk({QStringLiteral("--preprocess"), sMain});
    EXPECT_EQ(result.iExitCode, 2);
    EXPECT_TRUE(result.sOut.isEmpty());
    EXPECT_TRUE(result.sErr.contains(QStringLiteral("To much include file recursions!")))
        << result.sErr.toStdString();
}

TEST(TzkRunTest, UsageAndVersion)
{
    for (const QStringList& slArgs :
         {QStringList(), QStringList({QStringLiteral("--bogus")}),
          QStringList({QStringLiteral("--preprocess")}),
          QStringList({QStringLiteral("--preprocess"), QStringLiteral("a"), QStringLiteral("b")})}) {
        const TRunResult result = RunTzk(slArgs);
        EXPECT_EQ(result.iExitCode, 4) << slArgs.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(result.sErr.contains(QStringLiteral("--preprocess <file>"))) << result.sErr.toStdString();
    }
    const TRunResult version = RunTzk({QStringLiteral("--version")});
    EXPECT_EQ(version.iExitCode, 0);
    EXPECT_EQ(version.sOut, QStringLiteral("tzk-run %1\n").arg(QStringLiteral(TZK_VERSION)));
    const TRunResult help = RunTzk({QStringLiteral("--help")});
    EXPECT_EQ(help.iExitCode, 0);
    EXPECT_TRUE(help.sOut.contains(QStringLiteral("--preprocess <file>")));
}

TEST(TzkRunTest, RunOptionsBeforeLoadingIsAvailable)
{
    TTestDir dir;
    const QString sMain = dir.Write(QStringLiteral("main.TZD"), "Sys.Delay(\"x\";5)\r\n");
    // Until definitions can be loaded, a run says so and ends as a load error.
    for (const QStringList& slArgs : {QStringList{sMain}, QStringList{QStringLiteral("--check"), sMain}}) {
        const TRunResult result = RunTzk(slArgs);
        EXPECT_EQ(result.iExitCode, 2) << slArgs.join(QLatin1Char(' ')).toStdString();
        EXPECT_TRUE(result.sErr.contains(QStringLiteral("loading definitions is not available")))
            << result.sErr.toStdString();
    }
    // An answers file that cannot be used is a wrong usage, reported before anything is loaded.
    const QString sAnswers = dir.Write(QStringLiteral("answers.txt"), "Anna\nkey:Nothing\n");
    const TRunResult bad = RunTzk({QStringLiteral("--answers"), sAnswers, sMain});
    EXPECT_EQ(bad.iExitCode, 4);
    EXPECT_TRUE(bad.sErr.contains(QStringLiteral("line 2: Unknown key name \"Nothing\"")))
        << bad.sErr.toStdString();
    const TRunResult missing =
        RunTzk({QStringLiteral("--answers"), dir.FilePath(QStringLiteral("none.txt")), sMain});
    EXPECT_EQ(missing.iExitCode, 4);
    EXPECT_TRUE(missing.sErr.contains(QStringLiteral("Cannot read the answers file")))
        << missing.sErr.toStdString();
}

} // namespace
