#pragma once

#include "DeviceSys.h"
#include "ExitInfo.h"

#include "execution/AsyncCommand.h"
#include "execution/CommandOf.h"

#include <QElapsedTimer>
#include <QString>

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>

class QObject;

namespace sys {

enum EWindowMode
{
    ewNormal,
    ewNotActivated,
    ewMinimized
};

// One run of an external program, watched from the main thread: it is started without blocking,
// looked at every 200 ms, and one of four events tells how the wait ended. A program that outlives
// its time limit, or whose watcher is stopped, keeps running; it is reaped when it ends, so no
// process entry stays behind.
class TCmdLineExe : public std::enable_shared_from_this<TCmdLineExe>
{
public:
    using TEvent = std::function<void()>;

    // iTimeout in seconds: 0 waits without limit, a negative limit does not wait.
    TCmdLineExe(QString sFileName, const QString& sParameter, EWindowMode aMode, int iTimeout);
    ~TCmdLineExe();
    TCmdLineExe(const TCmdLineExe&) = delete;
    TCmdLineExe& operator=(const TCmdLineExe&) = delete;

    // Starts the program from its own folder; the events come later, from aContext's thread, and
    // end with aContext.
    void Start(QObject* aContext, TMsgChannel& aMsg);
    // The watcher stops listening: no event follows, the program keeps running.
    void Stop();

    TEvent FOnAbandoned, FOnTimeout, FOnNotFound, FOnFinished;

    bool ExitCodeAvailable() const { return FbExitCodeAvailable; }
    std::uint32_t ExitCode() const { return FnExitCode; }
    EWindowMode WindowMode() const { return feWindowMode; }
    // The process that was started (0 if none), also after the watcher let go of it.
    pid_t StartedPid() const { return fStartedPid; }

    // Reaps the programs that were left running and have ended since.
    static void ReapAbandoned();

private:
    void Poll(QObject* aContext);
    void PollLater(QObject* aContext);
    void Deliver(const TEvent& aEvent);
    // Leaves the program to run on its own; it is reaped once it ended.
    void Abandon();

    QString fsFileName;
    QString fsParameter;
    int fiTimeout;
    EWindowMode feWindowMode;
    pid_t fPid = 0;
    pid_t fStartedPid = 0;
    QElapsedTimer fStarted; // the time limit counts from the start, whatever the polls' pace
    bool fbStopped = false;
    bool FbExitCodeAvailable = false;
    std::uint32_t FnExitCode = 0;
};

// "Execute": runs a program with parameters, waits for it within a time limit and judges its exit
// code with the program's exit-code file, if it has one.
class TCmdExecute : public TCommandOf<TDeviceSys, TAsyncCommand>
{
public:
    using TCommandOf::TCommandOf;
    ~TCmdExecute() override;
    TCommand* Init(const QString& sParameter) override;

    const QString& FileName() const { return fsFileName; }
    EWindowMode WindowMode() const { return feWindowMode; }
    int WaitTime() const { return fiWaitTime; }
    bool ErrorReport() const { return fbAdmitErrorText; }

protected:
    void Start(const QString& sParameter) override;
    void StopPendingWork() override;

private:
    QString CommandLine() const;
    // Forgets the worker and concludes with the error text and the logged message.
    void Failed(const QString& sErrorText, const QString& sMessage);
    void Finished();

    QString fsFileName;
    QString fsParameter;
    QString fsParameterSend;
    EWindowMode feWindowMode = ewNormal;
    int fiWaitTime = 0;
    std::shared_ptr<TCmdLineExe> fExeThread;
    const TExitInfoList* fExitInfos = nullptr;
};

} // namespace sys
