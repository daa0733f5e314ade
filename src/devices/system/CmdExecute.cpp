#include "CmdExecute.h"

#include "DeviceSys.h"
#include "WindowModeWatch.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"
#include "core/StrUtilsEx.h"
#include "core/VariableManager.h"
#include "execution/CmdParameters.h"
#include "execution/DeviceContext.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <utility>
#include <vector>

extern char** environ;

namespace sys {

namespace {

constexpr int ciStepMs = 200;

// Programs left running after their wait ended; each is reaped once it has ended.
std::vector<pid_t>& AbandonedPrograms()
{
    static std::vector<pid_t> pids;
    return pids;
}

// Starts sFileName with its arguments in sDirectory; 0 when it could not be started. Its standard
// handles go to the null device: a program left running must not hold the caller's terminal or
// pipes open, and nothing else of this process is handed on.
pid_t SpawnProgram(const QString& sFileName, const QStringList& slArguments, const QString& sDirectory)
{
    std::vector<QByteArray> args;
    args.push_back(QFile::encodeName(sFileName));
    for (const QString& sArg : slArguments)
        args.push_back(sArg.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray dir = QFile::encodeName(sDirectory);
    posix_spawn_file_actions_addchdir_np(&actions, dir.constData());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);

    // The program starts with no blocked signals and the default handling of those that this
    // process (or its terminal) may ignore.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int iSignal : {SIGPIPE, SIGINT, SIGQUIT, SIGCHLD, SIGHUP})
        sigaddset(&defaults, iSignal);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    pid_t pid = 0;
    const int iError = posix_spawn(&pid, args.front().constData(), &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return iError == 0 ? pid : 0;
}

QString WindowModeName(EWindowMode eMode)
{
    switch (eMode) {
    case ewNotActivated:
        return QStringLiteral("NotActivated");
    case ewMinimized:
        return QStringLiteral("Minimized");
    case ewNormal:
        break;
    }
    return QStringLiteral("Normal");
}

} // namespace

// ---------------------------------------------------------------------------------------------
// TCmdLineExe

TCmdLineExe::TCmdLineExe(QString sFileName, const QString& sParameter, EWindowMode aMode, int iTimeout)
    : fsFileName(std::move(sFileName)), fsParameter(sParameter), fiTimeout(iTimeout), feWindowMode(aMode)
{}

TCmdLineExe::~TCmdLineExe()
{
    Abandon();
}

void TCmdLineExe::Start(QObject* aContext, TMsgChannel& aMsg)
{
    ReapAbandoned();
    fPid =
        SpawnProgram(fsFileName, QProcess::splitCommand(fsParameter), QFileInfo(fsFileName).absolutePath());
    if (fPid == 0)
        return Deliver(FOnNotFound);
    fStartedPid = fPid;
    fStarted.start();
    aMsg.Debug(QStringLiteral("Process %d started (window mode %s): %s"),
               {int(fPid), WindowModeName(feWindowMode), fsFileName});
    if (fiTimeout < 0) {
        Abandon();
        return Deliver(FOnFinished);
    }
    PollLater(aContext);
}

void TCmdLineExe::Stop()
{
    fbStopped = true;
    Abandon();
}

void TCmdLineExe::Poll(QObject* aContext)
{
    if (fbStopped || fPid == 0)
        return;
    int iStatus = 0;
    const pid_t done = waitpid(fPid, &iStatus, WNOHANG);
    if (done == fPid) {
        fPid = 0;
        if (WIFEXITED(iStatus)) {
            FbExitCodeAvailable = true;
            FnExitCode = std::uint32_t(WEXITSTATUS(iStatus));
            return Deliver(FOnFinished);
        }
        // Ended by a signal: the program did not finish its work.
        return Deliver(FOnAbandoned);
    }
    if (done < 0 && errno != EINTR) {
        fPid = 0;
        return Deliver(FOnNotFound);
    }
    if (fiTimeout > 0 && fStarted.elapsed() > qint64(fiTimeout) * 1000) {
        Abandon();
        return Deliver(FOnTimeout);
    }
    PollLater(aContext);
}

void TCmdLineExe::PollLater(QObject* aContext)
{
    // The watcher may be gone by then: the command forgot it.
    const std::weak_ptr<TCmdLineExe> self = weak_from_this();
    QTimer::singleShot(ciStepMs, aContext, [self, aContext] {
        if (const auto exe = self.lock())
            exe->Poll(aContext);
    });
}

void TCmdLineExe::Deliver(const TEvent& aEvent)
{
    // The handler may drop the last reference to this watcher.
    const auto keep = shared_from_this();
    fbStopped = true;
    if (aEvent)
        aEvent();
}

void TCmdLineExe::Abandon()
{
    if (fPid == 0)
        return;
    AbandonedPrograms().push_back(fPid);
    fPid = 0;
    ReapAbandoned();
}

void TCmdLineExe::ReapAbandoned()
{
    auto& pids = AbandonedPrograms();
    for (auto it = pids.begin(); it != pids.end();) {
        const pid_t done = waitpid(*it, nullptr, WNOHANG);
        if (done == *it || (done < 0 && errno == ECHILD))
            it = pids.erase(it);
        else
            ++it;
    }
}

// ---------------------------------------------------------------------------------------------
// TCmdExecute

TCmdExecute::~TCmdExecute()
{
    if (fExeThread)
        fExeThread->Stop();
}

TCommand* TCmdExecute::Init(const QString& sParameter)
{
    TCommand::Init(sParameter);
    const TCommaSeparatedValue csv = ParameterFields(sParameter);
    fsFileName = ResolveFileName(csv.GetStringTrimmed(1), true);
    fsParameter = csv.GetValueTrimmed(2);

    fbAdmitErrorText = false;
    feWindowMode = ewNormal;
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    for (const QString& sOption : csv.GetValueTrimmed(3).split(separators, Qt::SkipEmptyParts)) {
        if (sOption.compare(QLatin1String("Minimized"), Qt::CaseInsensitive) == 0)
            feWindowMode = ewMinimized;
        else if (sOption.compare(QLatin1String("NotActivated"), Qt::CaseInsensitive) == 0)
            feWindowMode = ewNotActivated;
        else if (sOption.compare(QLatin1String("Normal"), Qt::CaseInsensitive) == 0)
            feWindowMode = ewNormal;
        else if (sOption.compare(QLatin1String("ErrorReport"), Qt::CaseInsensitive) == 0)
            fbAdmitErrorText = true;
        else
            throw EMsg(QStringLiteral("Invalid execute option \"%s\"!"), {sOption}, TMsgId(0x116200), 0);
    }
    fiWaitTime = csv.GetInteger(4);

    fExitInfos = Device().ExitInfos().Init(TCmdLineExitInfo::ExitCodeFileName(fsFileName), Msg());
    return this;
}

QString TCmdExecute::CommandLine() const
{
    return fsParameterSend.isEmpty() ? fsFileName : fsFileName + QLatin1Char(' ') + fsParameterSend;
}

void TCmdExecute::Start(const QString& sParameter)
{
    Msg().Debug(QStringLiteral("TCmdExecute.Execute: ") + sParameter);
    if (fExeThread)
        std::exchange(fExeThread, nullptr)->Stop();
    // A text left from an earlier failed pass does not describe this one.
    SetErrorText(QString());
    fsParameterSend = Context().Variables().InsertValues(fsParameter);

    fExeThread = std::make_shared<TCmdLineExe>(fsFileName, fsParameterSend, feWindowMode, fiWaitTime);
    fExeThread->FOnNotFound = Guard([this] {
        Failed(QStringLiteral("Process not launched!"), QStringLiteral("Process not launched: %s!"));
    });
    fExeThread->FOnAbandoned = Guard([this] {
        Failed(QStringLiteral("Process launch failed!"), QStringLiteral("Process launch failed: %s!"));
    });
    fExeThread->FOnTimeout = Guard(
        [this] { Failed(QStringLiteral("Timeout!"), QStringLiteral("Timeout while waiting for %s!")); });
    fExeThread->FOnFinished = Guard([this] { Finished(); });
    const auto exe = fExeThread;
    exe->Start(Receiver(), Msg());
    TWindowModeWatch::Start(Owner()->Context().Part<IWindowSystem>(), exe->StartedPid(), feWindowMode,
                            Receiver(), Msg());
}

void TCmdExecute::StopPendingWork()
{
    if (fExeThread)
        std::exchange(fExeThread, nullptr)->Stop();
}

void TCmdExecute::Failed(const QString& sErrorText, const QString& sMessage)
{
    fExeThread.reset();
    Msg().Error(sMessage, {CommandLine()});
    Fail(sErrorText);
}

void TCmdExecute::Finished()
{
    const auto exe = std::exchange(fExeThread, nullptr);
    if (!exe->ExitCodeAvailable()) {
        Msg().Debug(QStringLiteral("Process finished: %s!"), {CommandLine()});
        return Finish(crOk);
    }
    const std::uint32_t nCode = exe->ExitCode();
    Msg().Debug(QStringLiteral("Process finished with 0x%x: %s!"), {nCode, CommandLine()});
    const TExitInfo* info = fExitInfos ? fExitInfos->GetInfo(nCode) : nullptr;
    if (!info)
        return Finish(crOk);
    if (info->Success()) {
        Msg().Info(QStringLiteral("Process finished with 0x%x: %s"), {nCode, info->Text()});
        return Finish(crOk);
    }
    Msg().Error(QStringLiteral("Process finished with 0x%x: %s"), {nCode, info->Text()});
    SetErrorText(QStringLiteral("%s (0x%x)"), {info->Text(), nCode});
    Finish(crFailed);
}

} // namespace sys
