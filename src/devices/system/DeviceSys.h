#pragma once

#include "ExitInfo.h"

#include "execution/AsyncCommand.h"
#include "execution/CmdCreateCmd.h"
#include "execution/CommandOf.h"
#include "execution/Device.h"
#include "execution/DeviceWorker.h"
#include "execution/ProcessRunner.h"

#include <QTimer>

#include <memory>

namespace sys {

class IToneOutput;

// The built-in System Control device: flow control of the test process itself.
class TDeviceSys : public TDevice
{
public:
    explicit TDeviceSys(TDeviceContext& aContext);

    // The device's functions, read by its registration and its constructor.
    static const TCmdCreateCmd::TTable& FunctionTable();

    static QString KeyName() { return QStringLiteral("SystemControl"); }
    void Init(const QString& sDefinition) override;
    void Released() override;

    // The exit-code files read for this definition; a new load reads them again.
    TCmdLineExitInfo& ExitInfos() { return fExitInfos; }
    // Where the commands' blocking work runs (the tones, the ID files): one step at a time.
    TWorkerThread& Worker() { return fWorker; }

private:
    TCmdLineExitInfo fExitInfos;
    TDeviceWorker fWorker;
};

// Registers the family's device types with the device list: "SystemControl".
void RegisterDevices(TDeviceTypes& aTypes);

// Two short tones (800 Hz for 40 ms, 500 Hz for 20 ms); never fails the step. The tones play on the
// device's worker, so the window stays responsive while they sound.
class TCmdBeep : public TCommandOf<TDeviceSys, TAsyncCommand>
{
public:
    using TCommandOf::TCommandOf;

protected:
    TCommand* CommandFor(const QString& sFunctionName, const QString& sParameter) override;
    void Start(const QString& sParameter) override;
};

class TCmdShowErrorReport : public TCommand
{
public:
    using TCommand::TCommand;
    void Execute(const QString& sParameter) override;

protected:
    TCommand* CommandFor(const QString& sFunctionName, const QString& sParameter) override;
};

class TCmdWriteValueLog : public TCommand
{
public:
    using TCommand::TCommand;
    void Execute(const QString& sParameter) override;

protected:
    TCommand* CommandFor(const QString& sFunctionName, const QString& sParameter) override;
};

class TCmdProcess : public TCommand
{
public:
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;
    EProcessMode Mode() const { return feMode; }

private:
    EProcessMode feMode = pmUnknown;
};

class TCmdSetTestCaseStatus : public TCommand
{
public:
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

private:
    QString fsCaseName;
    bool fbTestEnabled = true;
};

class TCmdGoto : public TCommand
{
public:
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;

private:
    QString fsCaseName;
    QString fsTerm;
};

class TCmdDelay : public TAsyncCommand
{
public:
    explicit TCmdDelay(TDevice* aOwner);
    TCommand* Init(const QString& sParameter) override;
    int Interval() const { return fiInterval; }

protected:
    void Start(const QString& sParameter) override;
    void StopPendingWork() override;

private:
    std::unique_ptr<QTimer> fTimer;
    int fiInterval = 0;
};

class TCmdPause : public TAsyncCommand
{
public:
    using TAsyncCommand::TAsyncCommand;
    ~TCmdPause() override;
    TCommand* Init(const QString& sParameter) override;

protected:
    void Start(const QString& sParameter) override;
    void StopPendingWork() override;

private:
    bool KeyPressed(int iKey);
    void Unhook();

    IRunnerControl* fHookedRunner = nullptr;
};

class TCmdBreak : public TCommand
{
public:
    using TCommand::TCommand;
    TCommand* Init(const QString& sParameter) override;
    void Execute(const QString& sParameter) override;
};

} // namespace sys
