#include "CupsTestServer.h"
#include "PdfTools.h"
#include "TestEnvironment.h"

#include <gtest/gtest.h>

#include <QDate>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <csignal>
#include <poll.h>
#include <pty.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct TRunResult
{
    int iExitCode = -1;
    QString sOut;
    QString sErr;
};

// aNoHardware: as on a machine that is not the station: no sound server answers (a socket
// that does not exist) and no session bus.
TRunResult RunTzk(const QStringList& slArgs, bool aNoHardware = false)
{
    QProcess process;
    // As on most CI machines: the platform would remark on the missing runtime folder.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    if (aNoHardware) {
        environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/tzk-no-sound"));
        environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
    }
    process.setProcessEnvironment(environment);
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

// Runs tzk-run with a pseudo terminal as its standard input and output; returns what it wrote.
// aTyping: what the operator types once the output shows each prompt, in turn.
QByteArray RunInTerminal(const QStringList& slArgs,
                         const std::vector<std::pair<QByteArray, QByteArray>>& aTyping = {})
{
    std::vector<std::string> args{TZK_RUN_PATH};
    for (const QString& sArg : slArgs)
        args.push_back(sArg.toStdString());
    std::vector<char*> argv;
    for (std::string& sArg : args)
        argv.push_back(sArg.data());
    argv.push_back(nullptr);

    int iTerminal = -1;
    const pid_t pid = ::forkpty(&iTerminal, nullptr, nullptr, nullptr);
    if (pid < 0) {
        ADD_FAILURE() << "forkpty failed";
        return QByteArray();
    }
    if (pid == 0) {
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    QByteArray aOut;
    std::size_t iTyped = 0;
    qsizetype iTypedUpTo = 0;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        pollfd fd = {iTerminal, POLLIN, 0};
        if (::poll(&fd, 1, 100) <= 0) {
            if (timer.elapsed() > 30000) {
                ADD_FAILURE() << "tzk-run did not finish";
                ::kill(pid, SIGKILL);
                break;
            }
            continue;
        }
        char aBuffer[4096];
        const ssize_t iRead = ::read(iTerminal, aBuffer, sizeof aBuffer);
        // The terminal reports an error once the program has ended.
        if (iRead <= 0)
            break;
        aOut.append(aBuffer, qsizetype(iRead));
        if (iTyped < aTyping.size() && aOut.indexOf(aTyping[iTyped].first, iTypedUpTo) >= 0) {
            iTypedUpTo = aOut.size();
            const QByteArray& aText = aTyping[iTyped++].second;
            if (::write(iTerminal, aText.constData(), size_t(aText.size())) != aText.size())
                ADD_FAILURE() << "typing failed";
        }
    }
    ::close(iTerminal);
    int iStatus = 0;
    ::waitpid(pid, &iStatus, 0);
    return aOut;
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
        EXPECT_TRUE(result.sErr.contains(QStringLiteral("  --preprocess "))) << result.sErr.toStdString();
    }
    const TRunResult version = RunTzk({QStringLiteral("--version")});
    EXPECT_EQ(version.iExitCode, 0);
    EXPECT_EQ(version.sOut, QStringLiteral("tzk-run %1\n").arg(QStringLiteral(TZK_VERSION)));
    const TRunResult help = RunTzk({QStringLiteral("--help")});
    EXPECT_EQ(help.iExitCode, 0);
    EXPECT_TRUE(help.sOut.contains(QStringLiteral("  --preprocess ")));
}

// Definitions run as the operator would run them, judged by the exit status and the output.
TEST(TzkRunTest, RunsDefinitionsAndReportsTheExitStatus)
{
    TTestDir dir;
    const QByteArray aHead = "Set(FileInfo; \"Board\"; \"1.0\")\r\nDevice.Create(SystemControl; Sys)\r\n";
    const QString sPass =
        dir.Write(QStringLiteral("pass.TZD"), aHead + "Test.Case(\"One\")\r\nSys.Delay(\"d\";1)\r\n");
    const QString sFail = dir.Write(QStringLiteral("fail.TZD"), aHead + "Sys.Goto(\"jump\"; Nowhere)\r\n");
    const QString sBad =
        dir.Write(QStringLiteral("bad.TZD"), aHead + "Port.Send(\"x\")\r\nSys.Delay(\"d\";1)\r\n");
    struct
    {
        QStringList args;
        int iExit;
        QString sOut;
        QString sErr;
    } const cases[] = {
        {{QStringLiteral("--operator"), QStringLiteral("op1"), sPass},
         0,
         QStringLiteral("Info: Test process successfully finished"),
         QString()},
        {{QStringLiteral("--operator"), QStringLiteral("op1"), sFail},
         1,
         QStringLiteral("Info: Test process ended with 1 Error(s)"),
         QString()},
        {{QStringLiteral("--operator"), QStringLiteral("op1"), sBad},
         2,
         QString(),
         sBad +
             QStringLiteral(":3: error: Device \"Port\" not declared, command \"Send\" skipped. (06040A:0)")},
        {{QStringLiteral("--operator"), QStringLiteral("op1"), QStringLiteral("--skip-errors"), sBad},
         0,
         QStringLiteral("Info: Test process successfully finished with 1 lines skipped at load"),
         QString()},
        {{QStringLiteral("--check"), sPass}, 0, sPass + QStringLiteral(": no errors"), QString()},
        {{QStringLiteral("--check"), sBad},
         2,
         QString(),
         sBad + QStringLiteral(":3: error: Device \"Port\"")},
        {{QStringLiteral("--operator"), QStringLiteral("op1"), dir.FilePath(QStringLiteral("none.TZD"))},
         2,
         QString(),
         QStringLiteral("definition file not found")},
    };
    for (const auto& c : cases) {
        const TRunResult result = RunTzk(c.args);
        const std::string sCall = c.args.join(QLatin1Char(' ')).toStdString();
        EXPECT_EQ(result.iExitCode, c.iExit) << sCall << "\n"
                                             << result.sOut.toStdString() << result.sErr.toStdString();
        EXPECT_TRUE(result.sOut.contains(c.sOut)) << sCall << "\n" << result.sOut.toStdString();
        EXPECT_TRUE(result.sErr.contains(c.sErr)) << sCall << "\n" << result.sErr.toStdString();
    }
}

// The definition check lists its warnings like compiler warnings; the definition still loads and
// runs, and only --werror turns the warnings into a load error.
TEST(TzkRunTest, EscapeTagsAreKnown)
{
    // An unknown escape tag fails AssignVariableEx: the run passes only with the default tags.
    TTestDir dir;
    const QString sMain =
        dir.Write(QStringLiteral("main.TZD"),
                  "Set(String; Frame)\r\nDevice.Create(SystemControl; Sys)\r\n"
                  "Test.Case(\"Tags\")\r\n{\r\n"
                  "    Sys.AssignVariableEx(\"Frame\"; \\STXdata\\ETX\\r\\n; Frame)\r\n}\r\n");
    const TRunResult result = RunTzk({QStringLiteral("--operator"), QStringLiteral("op1"), sMain});
    EXPECT_EQ(result.iExitCode, 0) << result.sOut.toStdString() << result.sErr.toStdString();
}

TEST(TzkRunTest, CheckListsWarningsAndWErrorFailsOnThem)
{
    TTestDir dir;
    const QString sMain = dir.Write(QStringLiteral("main.TZD"), "Device.Create(SystemControl; Sys)\n"
                                                                "Test.Case(\"Power\")\n{\n"
                                                                "    Sys.Delay(\"Settle\"; 1)\n}\n"
                                                                "Test.Case(\"power\")\n{\n"
                                                                "    Sys.Delay(\"Again\"; 1)\n}\n");
    const QString sWarning =
        sMain + QStringLiteral(":6: warning: Test case \"power\" has the same name as the "
                               "test case in line 2 of %1: jumps and status changes reach only "
                               "that one\n")
                    .arg(sMain);

    const TRunResult check = RunTzk({QStringLiteral("--check"), sMain});
    EXPECT_EQ(check.iExitCode, 0) << check.sErr.toStdString();
    EXPECT_TRUE(check.sErr.endsWith(sWarning)) << check.sErr.toStdString();
    EXPECT_TRUE(check.sOut.endsWith(sMain + QStringLiteral(": no errors, 1 warning(s)\n")))
        << check.sOut.toStdString();
    // Each warning is listed once: the log does not repeat it.
    EXPECT_FALSE(check.sOut.contains(QStringLiteral("same name"))) << check.sOut.toStdString();

    const TRunResult werror = RunTzk({QStringLiteral("--check"), sMain, QStringLiteral("--werror")});
    EXPECT_EQ(werror.iExitCode, 2);
    EXPECT_TRUE(werror.sErr.contains(sWarning + sMain + QStringLiteral(": 1 warning(s) treated as errors")))
        << werror.sErr.toStdString();
    EXPECT_FALSE(werror.sOut.contains(QStringLiteral("no errors"))) << werror.sOut.toStdString();

    // The preprocessor's warnings count as well.
    const QString sDefines = dir.Write(QStringLiteral("defines.TZD"), "#define LIMIT 1\n#define LIMIT 2\n"
                                                                      "Test.Case(\"A\")\n}\n");
    const TRunResult redefined = RunTzk({QStringLiteral("--check"), sDefines, QStringLiteral("--werror")});
    EXPECT_EQ(redefined.iExitCode, 2);
    EXPECT_TRUE(
        redefined.sErr.contains(sDefines + QStringLiteral(":2: warning: Redefinition of \"LIMIT\"\n")))
        << redefined.sErr.toStdString();
    EXPECT_FALSE(redefined.sOut.contains(QStringLiteral("Redefinition"))) << redefined.sOut.toStdString();

    // So is every load error.
    const QString sBad =
        dir.Write(QStringLiteral("bad.TZD"), "Device.Create(SystemControl; Sys)\n"
                                             "Test.Case(\"A\")\n{\n Sys.Delay(\"x\"; abc)\n}\n");
    const TRunResult bad = RunTzk({QStringLiteral("--check"), sBad});
    EXPECT_EQ(bad.iExitCode, 2);
    EXPECT_EQ(bad.sErr.count(QStringLiteral("'abc' is not a valid integer value")), 1)
        << bad.sErr.toStdString();
    EXPECT_FALSE(bad.sOut.contains(QStringLiteral("'abc'"))) << bad.sOut.toStdString();

    const TRunResult run = RunTzk({QStringLiteral("--operator"), QStringLiteral("op1"), sMain});
    EXPECT_EQ(run.iExitCode, 0) << run.sOut.toStdString() << run.sErr.toStdString();
    EXPECT_TRUE(run.sOut.contains(QStringLiteral("Warning: While checking definition file...")))
        << run.sOut.toStdString();
    EXPECT_TRUE(run.sOut.contains(QStringLiteral("Info: Test process successfully finished")));
}

// An unknown device type or function names the known ones on the line after the error.
TEST(TzkRunTest, UnknownDeviceTypeOrFunctionListsTheKnownOnes)
{
    TTestDir dir;
    const QString sMain = dir.Write(QStringLiteral("main.TZD"), "Device.Create(SystemCtrl; Sys)\n"
                                                                "Device.Create(SystemControl; S2)\n"
                                                                "Test.Case(\"A\")\n{\n"
                                                                "    S2.Wait(\"x\"; 1)\n}\n");
    const TRunResult result = RunTzk({QStringLiteral("--check"), sMain});
    EXPECT_EQ(result.iExitCode, 2);
    // Further device families follow the built-in one in the list.
    EXPECT_TRUE(result.sErr.contains(
        sMain + QStringLiteral(":1: error: Unknown device type \"SystemCtrl\"! (100163:0)\n"
                               "Known device types: SystemControl")))
        << result.sErr.toStdString();
    const QString sError =
        sMain + QStringLiteral(":5: error: Unkown command \"Wait\" in device \"S2\" skipped. (060414:0)\n");
    const int iError = int(result.sErr.indexOf(sError));
    ASSERT_GE(iError, 0) << result.sErr.toStdString();
    const QString sHint = result.sErr.mid(iError + sError.size()).section(QLatin1Char('\n'), 0, 0);
    EXPECT_TRUE(sHint.startsWith(QStringLiteral("Known functions of \"S2\": Beep, "))) << sHint.toStdString();
    for (const char* sFunction : {"Goto", "Delay", "Pause", "Print"})
        EXPECT_TRUE(sHint.contains(QLatin1String(sFunction))) << sHint.toStdString();
}

// A check validates a definition on any machine: every example passes without the station's sound
// server, ports, converters or automation server, while parameters the hardware plays no part in
// are still checked. "--devices" asks for the full load with the hardware.
TEST(TzkRunTest, CheckNeedsNoHardware)
{
    QDirIterator examples(QStringLiteral(TZK_EXAMPLES_DIR), {QStringLiteral("*.TZD")}, QDir::Files);
    int iExamples = 0;
    while (examples.hasNext()) {
        const QString sExample = examples.next();
        ++iExamples;
        const TRunResult result = RunTzk({QStringLiteral("--check"), sExample}, true);
        EXPECT_EQ(result.iExitCode, 0) << sExample.toStdString() << "\n" << result.sErr.toStdString();
        EXPECT_FALSE(result.sErr.contains(QStringLiteral(": error: "))) << result.sErr.toStdString();
        EXPECT_FALSE(result.sOut.contains(QStringLiteral("Sound server"))) << result.sOut.toStdString();
    }
    EXPECT_GT(iExamples, 0);

    const TRunResult withDevices = RunTzk({QStringLiteral("--check"), QStringLiteral("--devices"),
                                           QStringLiteral(TZK_EXAMPLES_DIR "/audio.TZD")},
                                          true);
    EXPECT_EQ(withDevices.iExitCode, 2) << withDevices.sErr.toStdString();
    EXPECT_TRUE(withDevices.sErr.contains(
        QStringLiteral("error: Audio output device \"TZK-Example-Speakers\" not found!")))
        << withDevices.sErr.toStdString();

    TTestDir dir;
    const struct
    {
        const char* sDevice;
        const char* sError;
    } bad[] = {
        {"AudioOutput; Out; ", "Audio output device \"\" not found!"},
        {"AudioInput; In", "Audio input device \"\" not found!"},
        {"AudioOutput; Out; Speakers)\nOut.SetVolume(\"V\"; Scalar; 0.5; 1.5",
         "Scalar value 1.5000 out of range! (min=0.0, max=1.0)"},
        {"AudioOutput; Out; Speakers)\nOut.SetVolume(\"V\"; Loud; 3", "Unknown volume value type \"Loud\"!"},
        {"FTDI; Dut; 1000; COM3; 115200", "Unknown port identification: COM3"},
        {"FTDI; Dut; 1000; SN:\"\"; 115200", "No FTDI device found with [SN:\"\"]"},
        {"FTDI; Dut; 1000; USBxyz; 115200", "No FTDI device found at USBxyz"},
        {"FTDI; Dut; one second; SN:FT12; 115200", "error: "},
        {"Instrument; DMM; MS8218; ACM0", "Unknown port identification: ACM0"},
        {"Instrument; DMM; MS9999; COM3", "Unknown instrument type \"MS9999\"!"},
        {"Instrument; DMM; MS8218; COM0", "Invalid RS232 port definition: COM0"},
        {"UDP; Dut; 2000; 127.0.0.1:47021; 70000", "Invalid UDP port 70000!"},
        {"RS232; Dut; 500; 0; 9600; 0", "COM0 is not valid!"},
    };
    for (const auto& b : bad) {
        const QString sFile = dir.WriteText(
            QStringLiteral("bad.TZD"),
            QStringLiteral("Device.Create(%1)\nTest.Case(\"T\")\n}\n").arg(QString::fromUtf8(b.sDevice)));
        const TRunResult result = RunTzk({QStringLiteral("--check"), sFile}, true);
        EXPECT_EQ(result.iExitCode, 2) << b.sDevice << "\n" << result.sErr.toStdString();
        EXPECT_TRUE(result.sErr.contains(sFile + QStringLiteral(":")) &&
                    result.sErr.contains(QStringLiteral(": error: ")) &&
                    result.sErr.contains(QString::fromUtf8(b.sError)))
            << b.sDevice << "\n"
            << result.sErr.toStdString();
    }
}

// Every definition example of the reference (the fenced blocks marked TZD) loads without errors
// and without warnings of the definition check.
TEST(TzkRunTest, ReferenceExamplesLoadCleanly)
{
    TTestDir dir;
    // The print example uses the printing example's template.
    QFile label(QStringLiteral(TZK_EXAMPLES_DIR "/printing/label.rtf"));
    ASSERT_TRUE(label.open(QIODevice::ReadOnly));
    dir.Write(QStringLiteral("printing/label.rtf"), label.readAll());

    int iBlocks = 0;
    QDirIterator pages(QStringLiteral(TZK_REFERENCE_DIR), {QStringLiteral("*.md")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (pages.hasNext()) {
        const QString sPage = pages.next();
        QFile page(sPage);
        ASSERT_TRUE(page.open(QIODevice::ReadOnly | QIODevice::Text)) << sPage.toStdString();
        const QStringList slLines = QString::fromUtf8(page.readAll()).split(QLatin1Char('\n'));
        for (int i = 0; i < slLines.size(); ++i) {
            if (slLines.at(i).trimmed() != QLatin1String("```TZD"))
                continue;
            QStringList slBlock;
            for (++i; i < slLines.size() && slLines.at(i).trimmed() != QLatin1String("```"); ++i)
                slBlock.append(slLines.at(i));
            const QString sWhere = QStringLiteral("%1, block ending in line %2").arg(sPage).arg(i + 1);
            const QString sFile = dir.Write(QStringLiteral("example%1.TZD").arg(++iBlocks),
                                            slBlock.join(QLatin1Char('\n')).toUtf8() + '\n');
            const TRunResult result = RunTzk({QStringLiteral("--check"), sFile});
            EXPECT_EQ(result.iExitCode, 0) << sWhere.toStdString() << "\n" << result.sErr.toStdString();
            for (const QString& sLine : result.sErr.split(QLatin1Char('\n'))) {
                // The example of the warning term warns on purpose.
                if (sLine.contains(QStringLiteral(": warning: Warning message")))
                    continue;
                EXPECT_FALSE(sLine.contains(QStringLiteral(": warning: ")) ||
                             sLine.contains(QStringLiteral(": error: ")))
                    << sWhere.toStdString() << "\n"
                    << sLine.toStdString();
            }
        }
    }
    EXPECT_GT(iBlocks, 0) << "no examples found in " TZK_REFERENCE_DIR;
}

TEST(TzkRunTest, AnswersDriveTheOperatorPartAndJUnitRecordsTheRun)
{
    TTestDir dir;
    const QString sMain = dir.Write(QStringLiteral("main.TZD"), "Device.Create(SystemControl; Sys)\r\n"
                                                                "Test.Case(\"Keys\")\r\n"
                                                                "Sys.Pause(\"Press Enter\")\r\n"
                                                                "Sys.Pause(\"Press Escape\")\r\n");
    const QString sAnswers =
        dir.Write(QStringLiteral("answers.txt"), "# operator, then two keys\nAnna\nkey:Enter\nkey:Escape\n");
    const QString sJUnit = dir.FilePath(QStringLiteral("run.xml"));
    const TRunResult result =
        RunTzk({QStringLiteral("--answers"), sAnswers, QStringLiteral("--junit"), sJUnit, sMain});
    EXPECT_EQ(result.iExitCode, 1) << result.sOut.toStdString() << result.sErr.toStdString();
    EXPECT_TRUE(result.sOut.contains(QStringLiteral("1x Failed"))) << result.sOut.toStdString();
    const QString sXml = QString::fromUtf8(ReadFileBytes(sJUnit));
    EXPECT_TRUE(sXml.contains(QStringLiteral("1.1. Press Enter"))) << sXml.toStdString();
    EXPECT_TRUE(sXml.contains(QStringLiteral("<failure"))) << sXml.toStdString();

    // Without answers nobody can press a key: the Pause fails instead of waiting forever.
    const TRunResult unattended = RunTzk({QStringLiteral("--operator"), QStringLiteral("op1"), sMain});
    EXPECT_EQ(unattended.iExitCode, 1);
    EXPECT_TRUE(unattended.sOut.contains(QStringLiteral("Test process ended with 1 Error(s)")))
        << unattended.sOut.toStdString();
}

// Ctrl+C stops like the Stop action: the final case runs and the value-log line is written; a
// second Ctrl+C ends the program at once.
TEST(TzkRunTest, InterruptStopsThroughTheFinalCases)
{
    TTestDir dir;
    // With a long final case the second interrupt arrives while the final case still runs.
    const auto Definition = [&](int iFinalMs) {
        return dir.Write(QStringLiteral("main%1.TZD").arg(iFinalMs),
                         "Set(ValueLog; \"TZD:log.csv\")\r\n"
                         "Device.Create(SystemControl; Sys)\r\n"
                         "Test.Case(\"Long\")\r\nSys.Delay(\"wait\"; 30000)\r\n}\r\n"
                         "Test.Final(\"Cleanup\")\r\nSys.Delay(\"tidy\"; " +
                             QByteArray::number(iFinalMs) + ")\r\n}\r\n");
    };
    for (const int iSignals : {1, 2}) {
        QProcess process;
        process.start(QStringLiteral(TZK_RUN_PATH),
                      {QStringLiteral("--operator"), QStringLiteral("op1"), QStringLiteral("--trace"),
                       Definition(iSignals == 1 ? 1 : 30000)});
        ASSERT_TRUE(process.waitForStarted(10000));
        // Wait until the long delay runs (or the final case's), then interrupt.
        QByteArray aOut;
        QElapsedTimer timer;
        timer.start();
        while (!aOut.contains("Delay for 30000 ms") && timer.elapsed() < 10000) {
            process.waitForReadyRead(100);
            aOut += process.readAllStandardOutput();
        }
        ASSERT_TRUE(aOut.contains("Info: 1. Long")) << aOut.toStdString();
        ::kill(pid_t(process.processId()), SIGINT);
        if (iSignals == 2) {
            while (!aOut.contains("Info: 2. Cleanup") && timer.elapsed() < 10000) {
                process.waitForReadyRead(100);
                aOut += process.readAllStandardOutput();
            }
            ::kill(pid_t(process.processId()), SIGINT);
        }
        ASSERT_TRUE(process.waitForFinished(10000));
        aOut += process.readAllStandardOutput();
        if (iSignals == 1) {
            EXPECT_EQ(process.exitCode(), 1) << aOut.toStdString();
            EXPECT_TRUE(aOut.contains("Process stopped by user at \"1.1. wait\"")) << aOut.toStdString();
            EXPECT_TRUE(aOut.contains("Info: 2. Cleanup")) << aOut.toStdString();
            EXPECT_TRUE(ReadFileBytes(dir.FilePath(QStringLiteral("log.csv"))).endsWith(";Failed;op1\r\n"));
        } else {
            EXPECT_EQ(process.exitCode(), 130) << aOut.toStdString();
        }
    }
}

// A failed step says why in the log and in the closing summary; steps that did not run are
// counted and reported as skipped; the output has no status line and no start-up noise when it is
// not a terminal.
TEST(TzkRunTest, HeadlessRunSaysWhyAndCountsTheSteps)
{
    TTestDir dir;
    const QString sMain = dir.Write(QStringLiteral("main.TZD"), "Set(FileInfo; \"Board\"; \"1.0\")\r\n"
                                                                "Device.Create(SystemControl; Sys)\r\n"
                                                                "Test.Case(\"Connect\")\r\n{\r\n"
                                                                "Sys.Pause(\"Connect the unit\")\r\n"
                                                                "Sys.Delay(\"Settle\"; 1)\r\n}\r\n"
                                                                "Test.Case(\"Measure\")\r\n{\r\n"
                                                                "Sys.Delay(\"Measure\"; 1)\r\n}\r\n"
                                                                "Test.Final(\"Off\")\r\n{\r\n"
                                                                "Sys.Delay(\"Power off\"; 1)\r\n}\r\n");
    const QString sJUnit = dir.FilePath(QStringLiteral("run.xml"));
    const TRunResult result = RunTzk(
        {QStringLiteral("--operator"), QStringLiteral("op1"), QStringLiteral("--junit"), sJUnit, sMain});
    EXPECT_EQ(result.iExitCode, 1) << result.sOut.toStdString() << result.sErr.toStdString();
    EXPECT_TRUE(result.sErr.isEmpty()) << result.sErr.toStdString();
    EXPECT_FALSE(result.sOut.startsWith(QLatin1Char('\n'))) << result.sOut.toStdString();
    EXPECT_FALSE(result.sOut.contains(QLatin1Char('\x1b'))) << "no status line without a terminal";
    EXPECT_FALSE(result.sOut.contains(QLatin1Char('\r')));
    EXPECT_TRUE(
        result.sOut.contains(QStringLiteral("Error: Failure occured in test case \"1.1. Connect the unit\"\n"
                                            "> No operator answer available\n")))
        << result.sOut.toStdString();
    EXPECT_TRUE(
        result.sOut.endsWith(QStringLiteral("Board: 1x Failed\n"
                                            "  Error: 1.1. Connect the unit: No operator answer available\n"
                                            "Steps: 1 passed, 1 failed, 2 skipped\n")))
        << result.sOut.toStdString();
    const QString sXml = QString::fromUtf8(ReadFileBytes(sJUnit));
    EXPECT_TRUE(sXml.contains(QStringLiteral("tests=\"4\" failures=\"1\" errors=\"0\" skipped=\"2\"")))
        << sXml.toStdString();
    EXPECT_EQ(sXml.count(QStringLiteral("<skipped/>")), 2) << sXml.toStdString();
}

// Out of step with the run's questions, an answers file makes even a passing run wrong usage.
TEST(TzkRunTest, AnswersOutOfStepAreWrongUsage)
{
    TTestDir dir;
    const QString sMain = dir.Write(QStringLiteral("main.TZD"), "Device.Create(SystemControl; Sys)\r\n"
                                                                "Sys.Delay(\"x\"; 1)\r\n");
    const struct
    {
        const char* sAnswers;
        int iExit;
        const char* sOut;
    } cases[] = {
        {"Anna\ncancel\n", 0, "Passed"},
        {"Anna\ncancel\nnext\n", 4, "Error: Answer line 3 \"next\" was never asked for"},
        {"key:Enter\n", 4, "Error: Answer line 1 \"key:Enter\" is no answer to \"Operator name\""},
    };
    for (const auto& c : cases) {
        const QString sAnswers = dir.Write(QStringLiteral("answers.txt"), c.sAnswers);
        const TRunResult result = RunTzk({QStringLiteral("--answers"), sAnswers, sMain});
        EXPECT_EQ(result.iExitCode, c.iExit) << c.sAnswers << result.sOut.toStdString();
        EXPECT_TRUE(result.sOut.contains(QString::fromUtf8(c.sOut)))
            << c.sAnswers << result.sOut.toStdString();
    }
}

// OpenTZD hands the station over as the window does: the first run leaves no trace (no final
// case, no final dialog, no value-log line), the operator and the answers go on into the second
// definition, and its runs decide the exit status.
TEST(TzkRunTest, OpenTzdHandsOverWithoutJudgingTheFirstRun)
{
    TTestDir dir;
    dir.Write(
        QStringLiteral("second.TZD"),
        "Set(ValueLog; \"TZD:second.csv\")\r\n"
        "Device.Create(SystemControl; Sys)\r\n"
        "Test.Case(\"Second\")\r\n{\r\n"
        "Sys.Dialog.Input.String(\"Serial\"§Serial; \"Label\"; \"Serial number\"; \"SN-\"; \"SN-1*\")\r\n"
        "}\r\n");
    const auto first = [&dir](const char* sAction) {
        return dir.Write(QStringLiteral("first.TZD"),
                         QByteArray("Set(ValueLog; \"TZD:first.csv\")\r\n"
                                    "Device.Create(SystemControl; Sys)\r\n"
                                    "Test.Case(\"First\")\r\n{\r\n"
                                    "Sys.Process(\"Go on\"; ContinueOnFailure)\r\n"
                                    "Sys.Evaluate(\"Fails before the hand-over\"; 1 > 2)\r\n"
                                    "Sys.OpenTZD(\"Hand over\"; \"TZD:second.TZD\"; ") +
                             sAction +
                             ")\r\n"
                             "Sys.Delay(\"Never runs\"; 1)\r\n"
                             "}\r\n"
                             "Test.Final(\"Clean up\")\r\n{\r\n"
                             "Sys.Delay(\"Never runs either\"; 1)\r\n"
                             "}\r\n");
    };
    const struct
    {
        const char* sAction;
        const char* sAnswers;
        int iExit;
        const char* sSecondLog; // the value-log line's serial and result
        int iRuns;              // of the second definition
    } cases[] = {
        {"AutoStart", "Anna\nSN-100\nnext\nSN-150\ncancel\n", 0, ";SN-150;Passed;Anna\r\n", 2},
        {"AutoStart", "Anna\nSN-300\ncancel\n", 1, ";SN-300;Failed;Anna\r\n", 1},
        {"OpenOnly", "Anna\n", 0, nullptr, 0},
        {"OpenOnly", "Anna\nSN-100\n", 4, nullptr, 0},
    };
    for (const auto& c : cases) {
        QFile::remove(dir.FilePath(QStringLiteral("first.csv")));
        QFile::remove(dir.FilePath(QStringLiteral("second.csv")));
        const QString sAnswers = dir.Write(QStringLiteral("answers.txt"), c.sAnswers);
        const TRunResult result = RunTzk({QStringLiteral("--answers"), sAnswers, first(c.sAction)});
        const std::string sCase = std::string(c.sAction) + " " + c.sAnswers + result.sOut.toStdString();
        EXPECT_EQ(result.iExitCode, c.iExit) << sCase;
        EXPECT_FALSE(QFile::exists(dir.FilePath(QStringLiteral("first.csv")))) << sCase;
        for (const char* sNever : {"Never runs", "Stopped", "Clean up"})
            EXPECT_FALSE(result.sOut.contains(QString::fromLatin1(sNever))) << sNever << "\n" << sCase;
        // One final dialog a run of the second definition, none for the first.
        EXPECT_EQ(result.sOut.count(QStringLiteral("Steps: ")), c.iRuns) << sCase;
        EXPECT_EQ(result.sOut.count(QStringLiteral("Operator: Anna")), 1) << sCase;
        if (c.sSecondLog) {
            const QString sLog =
                QString::fromLatin1(ReadFileBytes(dir.FilePath(QStringLiteral("second.csv"))));
            EXPECT_TRUE(sLog.contains(QString::fromLatin1(c.sSecondLog))) << sLog.toStdString() << sCase;
        } else {
            EXPECT_FALSE(QFile::exists(dir.FilePath(QStringLiteral("second.csv")))) << sCase;
        }
    }
}

// A failing board skips the questions behind its failure: answers naming their questions stay in
// step, --runs 1 asks no final question, and the run gives status 1 with one value-log line.
TEST(TzkRunTest, LabelledAnswersAndRunsKeepAFailingBoardInStep)
{
    TTestDir dir;
    const QString sMain = dir.Write(
        QStringLiteral("board.TZD"),
        "Set(ValueLog; \"TZD:board.csv\")\r\n"
        "Device.Create(SystemControl; Sys)\r\n"
        "Test.Case(\"Power\")\r\n{\r\n"
        "Sys.Process(\"Stop at the first failure\"; BreakOnFailure)\r\n"
        "Sys.Dialog(\"Ready\"; \"Unit\"; \"Place the unit\"; ButtonOkCancel)\r\n"
        "Sys.Evaluate(\"Supply\"; %s)\r\n"
        "Sys.Dialog.Input.String(\"Label\"§Label; \"Label\"; \"Type the label\"; \"SN-\"; \"SN-*\")\r\n"
        "Sys.Pause(\"Press Enter\")\r\n"
        "}\r\n"
        "Test.Final(\"Off\")\r\n{\r\n"
        "Sys.Dialog(\"Off\"; \"Power off\"; \"Switch the unit off\"; ButtonOk)\r\n"
        "}\r\n");
    const auto board = [&](bool bPasses) {
        QByteArray aText = ReadFileBytes(sMain);
        aText.replace("%s", bPasses ? "1 < 2" : "1 > 2");
        return dir.Write(QStringLiteral("run.TZD"), aText);
    };
    const struct
    {
        bool bPasses;
        const char* sAnswers;
        QStringList args;
        int iExit;
        const char* sOut;
    } cases[] = {
        // Labelled: the skipped label and key answers are dropped, the final case gets its own.
        {false,
         "Anna\n[Unit] ok\n[Label] SN-42\n[Press Enter] key:Enter\n[Power off] ok\n",
         {QStringLiteral("--runs"), QStringLiteral("1")},
         1,
         "Answer line 3 \"SN-42\" skipped: its question was not asked"},
        {true,
         "Anna\n[Unit] ok\n[Label] SN-42\n[Press Enter] key:Enter\n[Power off] ok\n",
         {QStringLiteral("--runs"), QStringLiteral("1")},
         0,
         "Passed"},
        // Positional answers after a failure: reported, and the status is the failure's.
        {false,
         "Anna\nok\nSN-42\nkey:Enter\nok\ncancel\n",
         {},
         1,
         "is no answer to \"Power off: Switch the unit off\""},
        // Two runs without a final question.
        {true,
         "Anna\nok\nSN-1\nkey:Enter\nok\nok\nSN-2\nkey:Enter\nok\n",
         {QStringLiteral("--runs"), QStringLiteral("2")},
         0,
         "Next run"},
    };
    for (const auto& c : cases) {
        QFile::remove(dir.FilePath(QStringLiteral("board.csv")));
        const QString sAnswers = dir.Write(QStringLiteral("answers.txt"), c.sAnswers);
        const TRunResult result =
            RunTzk(c.args + QStringList{QStringLiteral("--answers"), sAnswers, board(c.bPasses)});
        const std::string sCase = std::string(c.sAnswers) + result.sOut.toStdString();
        EXPECT_EQ(result.iExitCode, c.iExit) << sCase;
        EXPECT_TRUE(result.sOut.contains(QString::fromUtf8(c.sOut))) << sCase;
        if (c.sAnswers[5] == '[') {
            EXPECT_FALSE(result.sOut.contains(QStringLiteral("No operator answer available"))) << sCase;
        }
        const QList<QByteArray> lines = ReadFileBytes(dir.FilePath(QStringLiteral("board.csv"))).split('\n');
        // The header, one line a run and the empty rest after the last line break.
        const int iRuns = c.args.isEmpty() ? 1 : c.args.at(1).toInt();
        EXPECT_EQ(lines.size(), 2 + iRuns) << sCase;
        EXPECT_EQ(lines.count(QByteArray()), 1) << sCase;
    }
}

// A key may be assigned only to a caption of the desktop program's actions, headless too; the
// check of a run's command line takes the operator's options and ignores them.
TEST(TzkRunTest, KeyAssignmentsNeedAnActionCaption)
{
    TTestDir dir;
    const struct
    {
        const char* sCaption;
        int iExit;
        const char* sErr;
    } cases[] = {
        {"&Open...", 0, ""},
        {"Toggle disable/enable test case", 0, ""},
        {"Open", 2, ":1: error: Function \"Open\" not found in menu! (06021E:0)"},
        {"start", 2, ":1: error: Function \"start\" not found in menu! (06021E:0)"},
    };
    for (const auto& c : cases) {
        const QString sMain =
            dir.Write(QStringLiteral("main.TZD"), QByteArray("Set(KeyCodeToFunction; $74; \"") + c.sCaption +
                                                      "\")\r\n"
                                                      "Device.Create(SystemControl; Sys)\r\n"
                                                      "Sys.Delay(\"x\"; 1)\r\n");
        for (const QStringList& slArgs :
             {QStringList{QStringLiteral("--check"), sMain, QStringLiteral("--operator"),
                          QStringLiteral("op1"), QStringLiteral("--answers"),
                          dir.FilePath(QStringLiteral("none.txt"))},
              QStringList{QStringLiteral("--operator"), QStringLiteral("op1"), sMain}}) {
            const TRunResult result = RunTzk(slArgs);
            const std::string sCall = c.sCaption + (" " + slArgs.join(QLatin1Char(' ')).toStdString());
            EXPECT_EQ(result.iExitCode, c.iExit) << sCall << result.sErr.toStdString();
            EXPECT_TRUE(result.sErr.contains(QString::fromUtf8(c.sErr)))
                << sCall << result.sErr.toStdString();
        }
    }
}

// "Next" after a run that disabled every test: the next run finds nothing and says so.
TEST(TzkRunTest, NextRunWithoutActiveTestLogsTheError)
{
    TTestDir dir;
    const QString sMain =
        dir.Write(QStringLiteral("main.TZD"), "Device.Create(SystemControl; Sys)\r\n"
                                              "Test.Case(\"Unit\")\r\n{\r\n"
                                              "Sys.SetTestCaseStatus(\"Off\"; \"Unit\"; Disabled)\r\n"
                                              "}\r\n");
    const QString sAnswers = dir.Write(QStringLiteral("answers.txt"), "next\n");
    const TRunResult result = RunTzk(
        {QStringLiteral("--operator"), QStringLiteral("op1"), QStringLiteral("--answers"), sAnswers, sMain});
    EXPECT_EQ(result.iExitCode, 1) << result.sOut.toStdString();
    EXPECT_TRUE(result.sOut.contains(QStringLiteral("Passed\n")));
    EXPECT_TRUE(result.sOut.endsWith(QStringLiteral("Error: No active test item found!\n")))
        << result.sOut.toStdString();
}

// At a terminal the run shows a status line with the current case and step, and takes it away
// before every other line.
TEST(TzkRunTest, TerminalShowsALiveStatusLine)
{
    TTestDir dir;
    const QString sMain = dir.Write(QStringLiteral("main.TZD"), "Device.Create(SystemControl; Sys)\r\n"
                                                                "Test.Case(\"Supply\")\r\n{\r\n"
                                                                "Sys.Delay(\"Settle\"; 1500)\r\n}\r\n");
    const QString sAnswers = dir.Write(QStringLiteral("answers.txt"), "cancel\n");
    const QByteArray aOut = RunInTerminal(
        {QStringLiteral("--operator"), QStringLiteral("op1"), QStringLiteral("--answers"), sAnswers, sMain});
    EXPECT_TRUE(aOut.contains("\r\x1b[K[0:00] 1. Supply > 1.1. Settle (0 passed, 0 failed)"))
        << aOut.toStdString();
    // The elapsed time goes on while the step runs.
    EXPECT_TRUE(aOut.contains("\r\x1b[K[0:01] 1. Supply > 1.1. Settle (0 passed, 0 failed)"))
        << aOut.toStdString();
    // Whatever follows a status line first takes it away: no line ever ends behind it.
    for (const QByteArray& aPart : aOut.split('\x1b')) {
        EXPECT_FALSE(aPart.startsWith("[K[") && aPart.contains('\n')) << aOut.toStdString();
    }
    EXPECT_TRUE(aOut.contains("Steps: 1 passed, 0 failed, 0 skipped\r\n")) << aOut.toStdString();
}

// With several sockets the status line shows each socket: its step, the shared device it waits
// for, or its outcome.
TEST(TzkRunTest, TerminalShowsEverySocket)
{
    TTestDir dir;
    const QString sMain = dir.Write(QStringLiteral("main.TZD"), "Device.Shared(SystemControl; Meter)\r\n"
                                                                "Test.Case(\"Supply\")\r\n{\r\n"
                                                                "Meter.Delay(\"Measure\"; 1100)\r\n}\r\n");
    const QByteArray aOut = RunInTerminal({QStringLiteral("--operator"), QStringLiteral("op1"),
                                           QStringLiteral("--sockets"), QStringLiteral("3"), sMain});
    EXPECT_TRUE(aOut.contains("\r\x1b[K[0:01] 1:1.1. Measure 2:waits Meter 3:waits Meter"))
        << aOut.toStdString();
    EXPECT_TRUE(aOut.contains("1:Pass 2:Pass 3:1.1. Measure")) << aOut.toStdString();
    EXPECT_TRUE(aOut.contains("Sockets: 3 passed, 0 failed\r\n")) << aOut.toStdString();
}

// At a terminal an empty line takes a question's default: the final dialog ends the program.
TEST(TzkRunTest, EmptyLineAtTheTerminalTakesTheDefault)
{
    TTestDir dir;
    const QString sMain = dir.Write(QStringLiteral("main.TZD"), "Device.Create(SystemControl; Sys)\r\n"
                                                                "Test.Case(\"Supply\")\r\n{\r\n"
                                                                "Sys.Delay(\"Settle\"; 1)\r\n}\r\n");
    const QByteArray aOut = RunInTerminal({QStringLiteral("--operator"), QStringLiteral("op1"), sMain},
                                          {{"Next run or cancel", "\n"}});
    EXPECT_TRUE(aOut.contains("Next run or cancel")) << aOut.toStdString();
    EXPECT_FALSE(aOut.contains("Please answer")) << aOut.toStdString();
    EXPECT_FALSE(aOut.contains("Next run\r\n")) << aOut.toStdString();
}

TEST(TzkRunTest, UnusableAnswersFileIsWrongUsage)
{
    TTestDir dir;
    const QString sMain = dir.Write(QStringLiteral("main.TZD"), "Sys.Delay(\"x\";5)\r\n");
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

namespace {

QString PdfLines(const QString& sFile)
{
    return ReadPdfText(sFile).simplified();
}

} // namespace

// The printing example on a printing system that has its printer: the label step prints, the
// failed case's error report prints when the answers say so.
TEST(TzkRunTest, PrintingExamplePrintsLabelAndErrorReport)
{
    TCupsTestServer cups;
    ASSERT_TRUE(cups.Running()) << cups.Error().toStdString();
    const QString sExample = QStringLiteral(TZK_EXAMPLES_DIR "/printing.TZD");

    // Without the printer the definition runs and prints nothing.
    const TRunResult without = RunTzk({QStringLiteral("--operator"), QStringLiteral("ci"), sExample});
    EXPECT_EQ(without.iExitCode, 1) << without.sOut.toStdString() << without.sErr.toStdString();
    EXPECT_FALSE(without.sOut.contains(QStringLiteral("Error report printed")));

    const QString sQueue = QStringLiteral("TZK_Labels");
    ASSERT_TRUE(cups.AddQueue(sQueue));
    TTestDir dir;
    const QString sAnswers =
        dir.Write(QStringLiteral("answers.txt"), "# go on, print the report, no next run\n"
                                                 "nostop\nyes\ncancel\n");
    const TRunResult result = RunTzk({QStringLiteral("--operator"), QStringLiteral("Anna"),
                                      QStringLiteral("--answers"), sAnswers, sExample});
    EXPECT_EQ(result.iExitCode, 1) << result.sOut.toStdString() << result.sErr.toStdString();
    EXPECT_TRUE(result.sOut.contains(QStringLiteral("Error report printed on \"TZK_Labels\"")))
        << result.sOut.toStdString();
    ASSERT_TRUE(cups.WaitForCompletedJobs(sQueue, 2));
    EXPECT_EQ(cups.JobTitles(sQueue),
              (QStringList{QStringLiteral("Unit label"), QStringLiteral("TZK Error Report")}));

    // The queue's file holds the last job, the error report.
    const QString sReport = PdfLines(cups.OutputFile(sQueue));
    for (const QString& sExpected :
         {QStringLiteral("Definition: Printing 1.0"), QStringLiteral("File: ") + sExample,
          QStringLiteral("Test function: 2.1. Switch on the retest"),
          QStringLiteral("Error: Test case \"Retest\" not found!"), QStringLiteral("Operator: Anna")})
        EXPECT_TRUE(sReport.contains(sExpected)) << sExpected.toStdString() << "\n" << sReport.toStdString();
    EXPECT_EQ(ReadPdfInfo(cups.OutputFile(sQueue)).iPages, 1);
}

namespace {

// A run's output without its clock: time stamps and start dates differ from run to run.
QString WithoutClock(QString sText)
{
    static const QRegularExpression time(QStringLiteral("\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d"));
    static const QRegularExpression start(
        QStringLiteral("\\((START|STOP|CONTINUE)? ?\\d+ \\w+ \\d{4} [^)]*\\)"));
    return sText.replace(time, QStringLiteral("T")).replace(start, QStringLiteral("(D)"));
}

} // namespace

// Three sockets run one definition side by side, each answering from its own section of the
// answers file: the one the operator refuses fails alone, every line says its socket, the end
// lists each socket's outcome, the exit status is that of the station, and the JUnit file has a
// suite per socket.
TEST(TzkRunTest, SocketsRunSideBySideAndFailAlone)
{
    TTestDir dir;
    const QString sMain = dir.Write(QStringLiteral("station.TZD"),
                                    "Set(FileInfo; \"Station\"; \"1.0\")\r\n"
                                    "Device.Create(SystemControl; Sys)\r\n"
                                    "Test.Case(\"Display\")\r\n{\r\n"
                                    "    Sys.Delay(\"Settle\"; 50)\r\n"
                                    "    Sys.Pause(\"Press Enter when socket %_Socket shows 8888\")\r\n}\r\n"
                                    "Test.Final(\"Tidy\")\r\n{\r\n"
                                    "    Sys.Delay(\"Tidy up\"; 10)\r\n}\r\n");
    const QString sAnswers = dir.Write(QStringLiteral("answers.txt"), "# every socket's operator\n"
                                                                      "Anna\n"
                                                                      "socket: 1\n"
                                                                      "key:Enter\n"
                                                                      "SOCKET: 2\n"
                                                                      "key:Escape\n"
                                                                      "socket: 3\n"
                                                                      "key:Enter\n");
    const QString sJUnit = dir.FilePath(QStringLiteral("station.xml"));
    const TRunResult result =
        RunTzk({QStringLiteral("--sockets"), QStringLiteral("3"), QStringLiteral("--answers"), sAnswers,
                QStringLiteral("--junit"), sJUnit, sMain});
    const std::string sOut = result.sOut.toStdString() + result.sErr.toStdString();
    EXPECT_EQ(result.iExitCode, 1) << sOut;
    for (const char* sLine : {"[2] Station: 1x Failed", "[1] Station: Passed", "[3] Station: Passed",
                              "Socket 1: passed\n", "Socket 2: failed\n", "Socket 3: passed\n",
                              "Sockets: 2 passed, 1 failed\n", "[3] Operator: Anna", "Info: 2. Tidy"})
        EXPECT_TRUE(result.sOut.contains(QString::fromUtf8(sLine))) << sLine << "\n" << sOut;
    // Each socket's Tidy case ran: one line per socket.
    EXPECT_EQ(result.sOut.count(QStringLiteral("Info: 2. Tidy")), 3) << sOut;
    // Every line is a socket's, a separator, or the station's closing lines.
    static const QRegularExpression socketLine(
        QStringLiteral("^(\\[[123]\\] .*|Socket [123]: .*|Sockets: .*|)$"));
    for (const QString& sLine : result.sOut.split(QLatin1Char('\n')))
        EXPECT_TRUE(socketLine.match(sLine).hasMatch()) << sLine.toStdString();

    const QString sXml = QString::fromUtf8(ReadFileBytes(sJUnit));
    EXPECT_EQ(sXml.count(QStringLiteral("<testsuite ")), 3) << sXml.toStdString();
    for (int i = 1; i <= 3; ++i)
        EXPECT_TRUE(sXml.contains(QStringLiteral("name=\"Station [socket %1]\"").arg(i)))
            << sXml.toStdString();
    EXPECT_EQ(sXml.count(QStringLiteral("<failure")), 1) << sXml.toStdString();

    // All pass when every socket's section accepts.
    const QString sAllYes = dir.Write(QStringLiteral("yes.txt"), "Anna\nkey:Enter\n");
    const TRunResult passed = RunTzk(
        {QStringLiteral("--sockets"), QStringLiteral("2"), QStringLiteral("--answers"), sAllYes, sMain});
    EXPECT_EQ(passed.iExitCode, 0) << passed.sOut.toStdString();
    EXPECT_TRUE(passed.sOut.endsWith(QStringLiteral("Sockets: 2 passed, 0 failed\n")))
        << passed.sOut.toStdString();

    const TRunResult bad = RunTzk({QStringLiteral("--sockets"), QStringLiteral("0"), sMain});
    EXPECT_EQ(bad.iExitCode, 4);
    EXPECT_TRUE(bad.sErr.contains(QStringLiteral("--sockets needs a number of sockets from 1 to 64")))
        << bad.sErr.toStdString();
}

// One socket is today's program: the same output, line for line, with or without --sockets 1.
TEST(TzkRunTest, OneSocketIsTheRunAsBefore)
{
    TTestDir dir;
    const QString sMain = dir.Write(QStringLiteral("one.TZD"), "Set(FileInfo; \"One\"; \"1.0\")\r\n"
                                                               "Device.Create(SystemControl; Sys)\r\n"
                                                               "Test.Case(\"Check\")\r\n{\r\n"
                                                               "    Sys.Evaluate(\"Fails\"; 1 = 2)\r\n}\r\n");
    const TRunResult before = RunTzk({QStringLiteral("--operator"), QStringLiteral("op1"), sMain});
    const TRunResult one = RunTzk({QStringLiteral("--sockets"), QStringLiteral("1"),
                                   QStringLiteral("--operator"), QStringLiteral("op1"), sMain});
    EXPECT_EQ(before.iExitCode, 1);
    EXPECT_EQ(one.iExitCode, before.iExitCode);
    EXPECT_EQ(WithoutClock(one.sOut).toStdString(), WithoutClock(before.sOut).toStdString());
    EXPECT_FALSE(one.sOut.contains(QStringLiteral("Sockets:")));
    EXPECT_EQ(one.sErr, before.sErr);
}

// Ctrl+C stops every socket; each still runs its final case.
TEST(TzkRunTest, InterruptStopsEverySocket)
{
    TTestDir dir;
    const QString sMain =
        dir.Write(QStringLiteral("long.TZD"), "Device.Create(SystemControl; Sys)\r\n"
                                              "Test.Case(\"Long\")\r\nSys.Delay(\"wait\"; 30000)\r\n}\r\n"
                                              "Test.Final(\"Cleanup\")\r\nSys.Delay(\"tidy\"; 1)\r\n}\r\n");
    QProcess process;
    process.start(QStringLiteral(TZK_RUN_PATH), {QStringLiteral("--operator"), QStringLiteral("op1"),
                                                 QStringLiteral("--sockets"), QStringLiteral("3"), sMain});
    ASSERT_TRUE(process.waitForStarted(10000));
    QByteArray aOut;
    QElapsedTimer timer;
    timer.start();
    while (aOut.count("Info: 1. Long") < 3 && timer.elapsed() < 10000) {
        process.waitForReadyRead(100);
        aOut += process.readAllStandardOutput();
    }
    ASSERT_EQ(aOut.count("Info: 1. Long"), 3) << aOut.toStdString();
    ::kill(pid_t(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(10000));
    aOut += process.readAllStandardOutput();
    EXPECT_EQ(process.exitCode(), 1) << aOut.toStdString();
    for (int i = 1; i <= 3; ++i) {
        EXPECT_TRUE(aOut.contains(QStringLiteral("[%1] ").arg(i).toUtf8() + "Test Case: 2. Cleanup"))
            << i << aOut.toStdString();
        EXPECT_TRUE(aOut.contains(QStringLiteral("Socket %1: failed").arg(i).toUtf8())) << aOut.toStdString();
    }
    EXPECT_LT(timer.elapsed(), 20000);
}

// At a terminal the sockets' questions are asked there one after the other, each with its
// socket's number, and each socket takes its own answer; a socket without a question runs on
// while another waits for its answer.
TEST(TzkRunTest, SocketsAskAtTheTerminalInTurn)
{
    TTestDir dir;
    const QString sMain =
        dir.Write(QStringLiteral("station.TZD"),
                  "Set(FileInfo; \"Station\"; \"1.0\")\r\n"
                  "Set(String; Serial)\r\n"
                  "Device.Create(SystemControl; Sys)\r\n"
                  "Test.Case(\"Ask\")\r\n{\r\n"
                  "#if __Socket = 1\r\n"
                  "    Sys.Dialog.Input.String(\"Serial\"; \"Label\"; \"Type the serial number\"; \"SN-\"; "
                  "\"SN-????\"; Serial)\r\n"
                  "#endif\r\n"
                  "#if __Socket = 2\r\n"
                  "    Sys.Delay(\"Later\"; 200)\r\n"
                  "    Sys.Dialog(\"LED\"; \"Check\"; \"Is the LED on?\"; ButtonYesNo)\r\n"
                  "#endif\r\n"
                  "#if __Socket = 3\r\n"
                  "    Sys.Delay(\"Settle\"; 50)\r\n"
                  "#endif\r\n"
                  "}\r\n");
    const QByteArray aOut = RunInTerminal(
        {QStringLiteral("--operator"), QStringLiteral("op1"), QStringLiteral("--sockets"),
         QStringLiteral("3"), sMain},
        {{"[3] Steps: 1 passed, 0 failed, 0 skipped\r\n[1] Label: ", "SN-0001\n"}, {"[2] Check: ", "no\n"}});
    const std::string sOut = aOut.toStdString();
    const qsizetype iAsk1 = aOut.indexOf("[1] Label: Type the serial number [SN-]: ");
    const qsizetype iPassed3 = aOut.indexOf("[3] Station: Passed");
    const qsizetype iAnswer1 = aOut.indexOf("SN-0001\r\n");
    const qsizetype iAsk2 = aOut.indexOf("[2] Check: Is the LED on? [ok/yes/cancel/no]: ");
    ASSERT_GE(iAsk1, 0) << sOut;
    // Socket 3 ended while socket 1 waited; socket 2's question came only after socket 1's answer.
    EXPECT_GT(iPassed3, iAsk1) << sOut;
    EXPECT_GT(iAnswer1, iPassed3) << sOut;
    EXPECT_GT(iAsk2, iAnswer1) << sOut;
    // The waiting question stays in view: written again below the other sockets' lines.
    EXPECT_GT(aOut.lastIndexOf("[1] Label: Type the serial number [SN-]: ", iAnswer1), iPassed3) << sOut;
    EXPECT_TRUE(aOut.contains("Input Passed: Expected= \"SN-????\" Input= \"SN-0001\"")) << sOut;
    EXPECT_TRUE(aOut.contains("Closed with [No]")) << sOut;
    for (const char* sLine : {"Socket 1: passed\r\n", "Socket 2: failed\r\n", "Socket 3: passed\r\n"})
        EXPECT_TRUE(aOut.contains(sLine)) << sLine << "\n" << sOut;
}
