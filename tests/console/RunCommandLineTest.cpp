#include "console/RunCommandLine.h"
#include "console/ConsoleLogPrinter.h"
#include "core/MsgClasses.h"
#include "core/MsgLog.h"

#include <QTextStream>
#include <QTime>

#include <gtest/gtest.h>

namespace {

TEST(RunCommandLineTest, ModesAndOptions)
{
    TRunCommandLine commandLine;
    ASSERT_TRUE(commandLine.Parse({"tzk-run", "--operator", "Anna", "--answers", "a.txt", "--skip-errors",
                                   "--trace", "--junit", "r.xml", "board.TZD"}))
        << commandLine.ErrorText().toStdString();
    const TRunOptions& o = commandLine.Options();
    EXPECT_EQ(o.eMode, TRunOptions::rmRun);
    EXPECT_EQ(o.sFile, QStringLiteral("board.TZD"));
    EXPECT_EQ(o.sOperator, std::optional<QString>(QStringLiteral("Anna")));
    EXPECT_EQ(o.sAnswersFile, QStringLiteral("a.txt"));
    EXPECT_EQ(o.sJUnitFile, QStringLiteral("r.xml"));
    EXPECT_TRUE(o.bSkipErrors);
    EXPECT_TRUE(o.bTrace);
    EXPECT_FALSE(o.bDebug);

    const struct
    {
        QStringList slArgs;
        TRunOptions::EMode eMode;
        const char* sFile;
    } modes[] = {
        {{"tzk-run", "board.TZD"}, TRunOptions::rmRun, "board.TZD"},
        {{"tzk-run", "--check", "board.TZD", "--skip-errors", "--debug"}, TRunOptions::rmCheck, "board.TZD"},
        {{"tzk-run", "--preprocess", "board.TZD"}, TRunOptions::rmPreprocess, "board.TZD"},
        {{"tzk-run", "--check", "--werror", "board.TZD"}, TRunOptions::rmCheck, "board.TZD"},
        {{"tzk-run", "board.TZD", "--check"}, TRunOptions::rmCheck, "board.TZD"},
        {{"tzk-run", "--help"}, TRunOptions::rmHelp, ""},
        {{"tzk-run", "--help-all"}, TRunOptions::rmHelp, ""},
        {{"tzk-run", "--version"}, TRunOptions::rmVersion, ""},
    };
    for (const auto& m : modes) {
        ASSERT_TRUE(commandLine.Parse(m.slArgs)) << m.slArgs.join(' ').toStdString();
        EXPECT_EQ(commandLine.Options().eMode, m.eMode) << m.slArgs.join(' ').toStdString();
        EXPECT_EQ(commandLine.Options().sFile, QString::fromUtf8(m.sFile));
        EXPECT_FALSE(commandLine.Options().sOperator.has_value()) << "no option from an earlier parse";
    }

    // The result database's connection, for a run; a check accepts it and ignores it.
    ASSERT_TRUE(commandLine.Parse({"tzk-run", "--results-db", "postgresql://line3@db/results", "board.TZD"}));
    EXPECT_EQ(commandLine.Options().sResultsDb,
              std::optional<QString>(QStringLiteral("postgresql://line3@db/results")));
    ASSERT_TRUE(commandLine.Parse({"tzk-run", "--check", "board.TZD", "--results-db", "dbname=results"}));
    EXPECT_EQ(commandLine.Options().eMode, TRunOptions::rmCheck);

    // A run's command line turned into a check keeps the operator's options, which the check ignores.
    ASSERT_TRUE(
        commandLine.Parse({"tzk-run", "--operator", "Anna", "--answers", "a.txt", "--check", "board.TZD"}))
        << commandLine.ErrorText().toStdString();
    EXPECT_EQ(commandLine.Options().eMode, TRunOptions::rmCheck);

    // A check leaves the hardware alone unless --devices asks for the full load.
    EXPECT_FALSE(commandLine.Options().bDevices);
    ASSERT_TRUE(commandLine.Parse({"tzk-run", "--check", "--devices", "board.TZD"}));
    EXPECT_TRUE(commandLine.Options().bDevices);
}

TEST(RunCommandLineTest, WrongUsage)
{
    const struct
    {
        QStringList slArgs;
        const char* sError;
    } cases[] = {
        {{"tzk-run"}, "Nothing to do: give FILE, --check FILE or --preprocess FILE."},
        {{"tzk-run", "--trace"}, "Nothing to do: give FILE, --check FILE or --preprocess FILE."},
        {{"tzk-run", "--check"}, "The definition file name is missing."},
        {{"tzk-run", "a.TZD", "b.TZD"}, "Unexpected argument: b.TZD"},
        {{"tzk-run", "--preprocess", "a", "b"}, "Give only one of FILE, --check FILE and --preprocess FILE."},
        {{"tzk-run", "--check", "a", "--preprocess", "b"},
         "Give only one of FILE, --check FILE and --preprocess FILE."},
        {{"tzk-run", "--check", "a", "--check", "b"},
         "Give only one of FILE, --check FILE and --preprocess FILE."},
        {{"tzk-run", "--check", "a", "--junit", "r.xml"}, "--junit only applies to a run (tzk-run FILE)."},
        {{"tzk-run", "--preprocess", "a", "--operator", "x"},
         "--operator only applies to a run (tzk-run FILE)."},
        {{"tzk-run", "a", "--answers", "x", "--answers", "y"}, "--answers is given more than once."},
        {{"tzk-run", "a", "--answers", ""}, "--answers needs a file name."},
        {{"tzk-run", ""}, "The definition file name is empty."},
        {{"tzk-run", "a", "--bogus"}, "Unknown option 'bogus'."},
        {{"tzk-run", "a", "--junit"}, "Missing value after '--junit'."},
        {{"tzk-run", "a", "--results-db", " "}, "--results-db needs a database URL or connection string."},
        {{"tzk-run", "--preprocess", "a", "--results-db", "postgresql:///r"},
         "--results-db only applies to a run (tzk-run FILE)."},
        {{"tzk-run", "a", "--results-db", "x", "--results-db", "y"}, "--results-db is given more than once."},
        {{"tzk-run", "a", "--devices"}, "--devices only applies to a check (tzk-run --check FILE)."},
        {{"tzk-run", "--preprocess", "a", "--devices"},
         "--devices only applies to a check (tzk-run --check FILE)."},
    };
    TRunCommandLine commandLine;
    for (const auto& c : cases) {
        EXPECT_FALSE(commandLine.Parse(c.slArgs)) << c.slArgs.join(' ').toStdString();
        EXPECT_EQ(commandLine.ErrorText(), QString::fromUtf8(c.sError)) << c.slArgs.join(' ').toStdString();
    }
    EXPECT_TRUE(commandLine.HelpText().contains(QStringLiteral("--answers <file>")));
    EXPECT_TRUE(commandLine.HelpText().contains(QStringLiteral("3 load cancelled")));
}

TEST(ConsoleLogPrinterTest, PrintsTheLinesAsTheLogShowsThem)
{
    QString sOut;
    QTextStream out(&sOut);
    TMsgLog log;
    log.SetClock([] { return QTime(9, 5, 7, 12); });
    TConsoleLogPrinter printer(log, out);
    log.Attach();
    TMsg::Trace(QStringLiteral("hidden"));
    TMsg::Error(QStringLiteral("first\r\nsecond"));
    printer.SetLevels(true, false);
    TMsg::Trace(QStringLiteral("shown"));
    TMsg::Debug(QStringLiteral("hidden"));
    printer.SetLevels(false, true);
    TMsg::Debug(QStringLiteral("detail"));
    log.AddSeparator();
    TMsg::Hint(QStringLiteral("status bar only"));
    log.Detach();
    TMsgClass::ReleaseSingleton();
    EXPECT_EQ(sOut, QStringLiteral("09:05:07.012 Error: first\n"
                                   "> second\n"
                                   "09:05:07.012 Trace: shown\n"
                                   "09:05:07.012 Debug: detail\n"
                                   "\n"));
}

} // namespace
