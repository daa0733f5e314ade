// External programs: the exit-code files, the Execute line's options, and real programs (small
// shell scripts) run, judged, timed out and cancelled.

#include "SysCommandFixture.h"

#include "devices/system/CmdExecute.h"
#include "devices/system/ExitInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>

namespace {

using namespace sys;

const QByteArray csFlashCodes = ": flash tool codes\r\n"
                                "0;Success;Programmed\r\n"
                                "1;Error;\"Device not found\"\r\n"
                                "-;Error;Unknown exit code\r\n";

class ExecuteTest : public SysCommandFixture
{
protected:
    // An executable shell script in the test folder.
    QString Script(const QString& sName, const QByteArray& aBody)
    {
        const QString sPath = fDir.Write(sName, "#!/bin/sh\n" + aBody + "\n");
        QFile::setPermissions(sPath, QFile::permissions(sPath) | QFileDevice::ExeOwner);
        return sPath;
    }
    // The line's parameter text with the program's full path.
    static QString Line(const QString& sProgram, const QString& sRest)
    {
        return QStringLiteral("\"x\";\"") + sProgram + QStringLiteral("\";") + sRest;
    }
    // The process number a script wrote to pid.txt, once it did.
    pid_t StartedPid()
    {
        const QString sFile = fDir.FilePath(QStringLiteral("pid.txt"));
        RunEventsUntil([&] { return ReadFileBytes(sFile).endsWith('\n'); });
        return pid_t(ReadFileBytes(sFile).trimmed().toInt());
    }
    static bool Alive(pid_t pid) { return pid > 0 && ::kill(pid, 0) == 0; }

    TTestDir fDir;
};

TEST(ExitInfoTest, ReadsCodesDefaultAndDescriptions)
{
    TTestDir dir;
    TMsgLog log;
    log.Attach();
    const QString sFile = dir.Write(QStringLiteral("flash.tec"),
                                    csFlashCodes + "\r\n  $1F ; success ; Spare \r\n-1;Error;All bits\n"
                                                   "-;Error;Later default\r\n2;Error;x\r\n");
    TExitInfoList list;
    ASSERT_TRUE(list.Init(sFile, TestContext().Msg()));
    struct
    {
        std::uint32_t nCode;
        bool bSuccess;
        const char* sText;
    } const cases[] = {
        {0, true, "Programmed"}, {1, false, "Device not found"},
        {0x1F, true, "Spare"},   {0xFFFFFFFF, false, "All bits"},
        {2, false, "x"},         {7, false, "Later default"},
    };
    for (const auto& c : cases) {
        const TExitInfo* info = list.GetInfo(c.nCode);
        ASSERT_NE(info, nullptr) << c.nCode;
        EXPECT_EQ(info->Success(), c.bSuccess) << c.nCode;
        EXPECT_EQ(info->Text(), QString::fromUtf8(c.sText)) << c.nCode;
    }
    EXPECT_TRUE(LogHas(log, QStringLiteral("Default exit code overritten at line 8 in file ") + sFile));

    TExitInfoList noDefault;
    ASSERT_TRUE(noDefault.Init(dir.Write(QStringLiteral("empty.tec"), ""), TestContext().Msg()));
    EXPECT_EQ(noDefault.GetInfo(0), nullptr);
    log.Detach();
    TMsgClass::ReleaseSingleton();
}

TEST(ExitInfoTest, BrokenFilesAreNotUsedAndNameTheLine)
{
    TTestDir dir;
    TMsgLog log;
    log.Attach();
    struct
    {
        const char* sContent;
        const char* sMessage;
    } const cases[] = {
        {": codes\r\n\r\n2;Error\r\n0;Success;Ok\r\n", "Invalid value count at line 3 in file "},
        {"0;Success;Ok;More\r\n", "Invalid value count at line 1 in file "},
        {":\r\n0;Success;Ok\r\nseven;Error;x\r\n", "Invalid exit code count at line 3 in file "},
    };
    for (const auto& c : cases) {
        const QString sFile = dir.Write(QStringLiteral("broken.tec"), c.sContent);
        TExitInfoList list;
        EXPECT_FALSE(list.Init(sFile, TestContext().Msg())) << c.sContent;
        EXPECT_TRUE(LogHas(log, QString::fromUtf8(c.sMessage) + sFile)) << c.sContent;
    }

    // The cache reports a broken file once and then leaves the program's codes unjudged.
    TCmdLineExitInfo cache;
    const QString sBroken = dir.Write(QStringLiteral("tool.tec"), "2;Error\r\n");
    EXPECT_EQ(cache.Init(sBroken, TestContext().Msg()), nullptr);
    EXPECT_TRUE(LogHas(log, QStringLiteral("Exit code definition ignored from ") + sBroken));
    const int iLines = int(log.Lines().size());
    EXPECT_EQ(cache.Init(sBroken, TestContext().Msg()), nullptr);
    EXPECT_EQ(int(log.Lines().size()), iLines);
    EXPECT_EQ(cache.Init(dir.FilePath(QStringLiteral("none.tec")), TestContext().Msg()), nullptr);

    const QString sGood = dir.Write(QStringLiteral("good.tec"), csFlashCodes);
    const TExitInfoList* good = cache.Init(sGood, TestContext().Msg());
    ASSERT_NE(good, nullptr);
    EXPECT_EQ(cache.Init(sGood, TestContext().Msg()), good);
    EXPECT_TRUE(LogHas(log, QStringLiteral("Exit code definition load from ") + sGood));
    log.Detach();
    TMsgClass::ReleaseSingleton();
}

TEST(ExitInfoTest, ExitCodeFileBelongsToTheProgram)
{
    EXPECT_EQ(TCmdLineExitInfo::ExitCodeFileName(QStringLiteral("/opt/tools/flash.exe")),
              QStringLiteral("/opt/tools/flash.tec"));
    EXPECT_EQ(TCmdLineExitInfo::ExitCodeFileName(QStringLiteral("/opt/tools.d/flash.tool.sh")),
              QStringLiteral("/opt/tools.d/flash.tool.tec"));
    EXPECT_EQ(TCmdLineExitInfo::ExitCodeFileName(QStringLiteral("/opt/tools.d/flash")),
              QStringLiteral("/opt/tools.d/flash.tec"));
}

TEST_F(ExecuteTest, LineErrorsAndOptions)
{
    const QString sTool = Script(QStringLiteral("tool.sh"), "exit 0");
    struct
    {
        QString sParameter;
        const char* sError;
    } const cases[] = {
        {Line(sTool, QStringLiteral("; Fast; 5")), "Invalid execute option \"Fast\"!"},
        {Line(sTool, QStringLiteral("; ; five")), "'five' is not a valid integer value"},
        {Line(sTool, QStringLiteral(";")), "Invalid csv index"},
        {Line(fDir.FilePath(QStringLiteral("missing.sh")), QStringLiteral("; ; 5")), "File not found: "},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(
            InitError(QStringLiteral("Execute"), c.sParameter).startsWith(QString::fromUtf8(c.sError)))
            << c.sError << " <> " << InitError(QStringLiteral("Execute"), c.sParameter).toStdString();

    struct
    {
        const char* sOptions;
        EWindowMode eMode;
        bool bErrorReport;
    } const options[] = {
        {"", ewNormal, false},
        {"Minimized Normal", ewNormal, false},
        {"minimized,ErrorReport", ewMinimized, true},
        {" errorreport , NOTACTIVATED ", ewNotActivated, true},
    };
    for (const auto& o : options) {
        auto* cmd = dynamic_cast<TCmdExecute*>(
            Make(QStringLiteral("Execute"),
                 Line(sTool, QStringLiteral("-p;") + o.sOptions + QStringLiteral(";30"))));
        ASSERT_NE(cmd, nullptr);
        EXPECT_EQ(cmd->WindowMode(), o.eMode) << o.sOptions;
        EXPECT_EQ(cmd->ErrorReport(), o.bErrorReport) << o.sOptions;
        EXPECT_EQ(cmd->WaitTime(), 30);
        EXPECT_EQ(cmd->FileName(), sTool);
    }
}

TEST_F(ExecuteTest, ExitCodesAreJudgedByTheExitCodeFile)
{
    const QString sFlash = Script(QStringLiteral("flash.sh"), "exit $1");
    fDir.Write(QStringLiteral("flash.tec"), csFlashCodes);
    const QString sPlain = Script(QStringLiteral("plain"), "exit $1");
    struct
    {
        QString sProgram;
        const char* sCode;
        const char* sOptions;
        ECmdResult eResult;
        const char* sErrorText;
    } const cases[] = {
        {sFlash, "0", "ErrorReport", crOk, ""},
        {sFlash, "1", "ErrorReport", crFailed, "Device not found (0x1)"},
        {sFlash, "7", "ErrorReport", crFailed, "Unknown exit code (0x7)"},
        {sFlash, "1", "", crFailed, ""},
        {sFlash, "7", "Minimized", crFailed, ""},
        {sPlain, "7", "ErrorReport", crOk, ""},
        {sPlain, "255", "", crOk, ""},
    };
    for (const auto& c : cases) {
        TCommand* cmd =
            Make(QStringLiteral("Execute"),
                 Line(c.sProgram, QString::fromUtf8(c.sCode) + QLatin1Char(';') + c.sOptions + ";10"));
        EXPECT_EQ(Run(cmd), c.eResult) << c.sCode << " " << c.sOptions;
        EXPECT_EQ(cmd->ErrorText(), QString::fromUtf8(c.sErrorText)) << c.sCode << " " << c.sOptions;
    }
    EXPECT_TRUE(Logged(QStringLiteral("Process finished with 0x1: Device not found")));
    EXPECT_TRUE(Logged(QStringLiteral("Process finished with 0x0: Programmed")));
    EXPECT_TRUE(Logged(QStringLiteral("Exit code definition load from ") +
                       fDir.FilePath(QStringLiteral("flash.tec"))));

    // A pass that succeeds after a failed one carries no error text of the earlier pass.
    TCommand* cmd = Make(QStringLiteral("Execute"), Line(sFlash, QStringLiteral("%Code;ErrorReport;10")));
    Variables().SetValue(QStringLiteral("Code"), 1);
    EXPECT_EQ(Run(cmd), crFailed);
    Variables().SetValue(QStringLiteral("Code"), 0);
    EXPECT_EQ(Run(cmd), crOk);
    EXPECT_EQ(cmd->ErrorText(), QString());
}

TEST_F(ExecuteTest, RunsFromItsFolderWithQuotedArgumentsAndVariables)
{
    const QString sTool = Script(QStringLiteral("tools/args.sh"),
                                 "printf '%s|%s|%s|%s\\n' \"$PWD\" \"$#\" \"$1\" \"$2\" > out.txt");
    Variables().SetValue(QStringLiteral("Port"), QStringLiteral("/dev/ttyUSB0"));
    EXPECT_EQ(Run(Make(QStringLiteral("Execute"), Line(sTool, QStringLiteral("\"-n a b\" %Port;;5")))), crOk);
    const QString sFolder = QFileInfo(sTool).absolutePath();
    EXPECT_EQ(ReadFileBytes(sFolder + QStringLiteral("/out.txt")),
              (sFolder + QStringLiteral("|2|-n a b|/dev/ttyUSB0\n")).toUtf8());
}

TEST_F(ExecuteTest, ProgramsThatDoNotStartOrDoNotEnd)
{
    // A program gone since the load, and one that is not executable, are not launched.
    const QString sGone = Script(QStringLiteral("gone.sh"), "exit 0");
    TCommand* gone = Make(QStringLiteral("Execute"), Line(sGone, QStringLiteral(";ErrorReport;5")));
    QFile::remove(sGone);
    EXPECT_EQ(Run(gone), crFailed);
    EXPECT_EQ(gone->ErrorText(), QStringLiteral("Process not launched!"));
    EXPECT_TRUE(Logged(QStringLiteral("Process not launched: ") + sGone + QStringLiteral("!")));
    const QString sText = fDir.Write(QStringLiteral("notes.txt"), "exit 0\n");
    EXPECT_EQ(Run(Make(QStringLiteral("Execute"), Line(sText, QStringLiteral(";;5")))), crFailed);

    // A program that is killed did not finish its work.
    TCommand* killed =
        Make(QStringLiteral("Execute"),
             Line(Script(QStringLiteral("crash.sh"), "kill -KILL $$"), QStringLiteral(";ErrorReport;5")));
    EXPECT_EQ(Run(killed), crFailed);
    EXPECT_EQ(killed->ErrorText(), QStringLiteral("Process launch failed!"));

    // Past its limit the step fails and the program keeps running.
    const QString sSlow = Script(QStringLiteral("slow.sh"), "echo $$ > pid.txt\nsleep 30");
    TCommand* slow = Make(QStringLiteral("Execute"), Line(sSlow, QStringLiteral("a;ErrorReport;1")));
    EXPECT_EQ(Run(slow, 10000), crFailed);
    EXPECT_EQ(slow->ErrorText(), QStringLiteral("Timeout!"));
    EXPECT_TRUE(Logged(QStringLiteral("Timeout while waiting for ") + sSlow + QStringLiteral(" a!")));
    const pid_t pid = StartedPid();
    EXPECT_TRUE(Alive(pid));
    ::kill(pid, SIGKILL);
    // Once it has ended nothing of it stays behind, not even a process entry.
    EXPECT_TRUE(RunEventsUntil([pid] {
        TCmdLineExe::ReapAbandoned();
        return !QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
    }));
}

TEST_F(ExecuteTest, WaitLimitsZeroAndNegative)
{
    // -1 does not wait: the step passes while the program still runs.
    const QString sSlow = Script(QStringLiteral("slow.sh"), "echo $$ > pid.txt\nsleep 30\nexit 3");
    fDir.Write(QStringLiteral("slow.tec"), "-;Error;Any code\r\n");
    EXPECT_EQ(Run(Make(QStringLiteral("Execute"), Line(sSlow, QStringLiteral(";;-1")))), crOk);
    const pid_t pid = StartedPid();
    EXPECT_TRUE(Alive(pid));
    ::kill(pid, SIGKILL);

    // 0 waits as long as the program runs, past a second here, and then judges its code.
    const QString sSecond = Script(QStringLiteral("second.sh"), "sleep 1.5\nexit 3");
    fDir.Write(QStringLiteral("second.tec"), "-;Error;Any code\r\n");
    TCommand* second = Make(QStringLiteral("Execute"), Line(sSecond, QStringLiteral(";ErrorReport;0")));
    EXPECT_EQ(Run(second, 10000), crFailed);
    EXPECT_EQ(second->ErrorText(), QStringLiteral("Any code (0x3)"));
}

TEST_F(ExecuteTest, CancelStopsWaitingAndLeavesNoHandles)
{
    const int iFilesBefore =
        int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
    const QString sSlow = Script(QStringLiteral("slow.sh"), "echo $$ > pid.txt\nsleep 30");
    TCommand* cmd = Make(QStringLiteral("Execute"), Line(sSlow, QStringLiteral(";;0")));
    int iConclusions = 0;
    cmd->SetOnResult([&iConclusions](TCommand*) { ++iConclusions; });
    cmd->Execute(QString());
    const pid_t pid = StartedPid();
    ASSERT_TRUE(Alive(pid));
    cmd->Cancel();
    EXPECT_EQ(cmd->CmdResult(), crCancelled);

    // The program ends; the cancelled step hears nothing of it and its entry is reaped.
    ::kill(pid, SIGTERM);
    EXPECT_TRUE(RunEventsUntil([pid] {
        TCmdLineExe::ReapAbandoned();
        return !QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
    }));
    RunEventsUntil([] { return false; }, 500);
    EXPECT_EQ(iConclusions, 0);
    EXPECT_EQ(int(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size()),
              iFilesBefore);

    // The next pass runs normally.
    Script(QStringLiteral("slow.sh"), "exit 0");
    cmd->SetOnResult(nullptr);
    EXPECT_EQ(Run(cmd), crOk);
}

} // namespace
