#pragma once

#include "TestContext.h"
#include "execution/AsyncCommand.h"
#include "execution/DeviceList.h"

#include <QString>
#include <QTimer>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

// A command whose conclusion the test controls: it concludes at once with a preset result, or
// waits until the test calls Finish().
class TTestCmd : public TCommand
{
public:
    explicit TTestCmd(TDevice* aOwner) : TCommand(aOwner) {}

    TCommand* Init(const QString& sDefinition) override;
    void Execute(const QString& sParameter) override;
    void Cancel() override;

    // Concludes a waiting execution.
    void Finish(ECmdResult aResult, const QString& sError = QString());

    ECmdResult feImmediate = crDone; // crUnknown: wait for Finish()
    bool fbThrow = false;
    bool fbStateless = false;
    std::function<void()> fOnExecute; // runs before the command concludes
    int fiExecutions = 0;
    int fiCancels = 0;
    QString fsLastParameter;
    QString fsDefinition;

protected:
    // A stateless command serves every line of its function itself.
    TCommand* CommandFor(const QString& sFunctionName, const QString& sParameter) override;
};

// An asynchronous command whose work the test scripts: Start arms a zero-time timer whose slot runs
// fOnTimer (which may conclude, throw or do nothing), or hands fOnThread to a worker thread whose
// hand-over concludes the step with fThreadResult.
class TTestAsyncCmd : public TAsyncCommand
{
public:
    explicit TTestAsyncCmd(TDevice* aOwner);
    ~TTestAsyncCmd() override;

    using TAsyncCommand::Finish;
    using TAsyncCommand::HandOver;

    std::function<void(TTestAsyncCmd&)> fOnTimer;
    bool fbUseThread = false;
    ECmdResult fThreadResult = crDone;
    // Set by the worker: whether its hand-over was taken.
    std::atomic<bool> fbPosted{false};
    int fiStops = 0;

protected:
    void Start(const QString& sParameter) override;
    void StopPendingWork() override;

private:
    QTimer fTimer;
    std::thread fWorker;
};

// A device with the functions "Run" (one new TTestCmd per line) and "Shared" (one object for all
// lines), registered under the type keyword "TestDevice".
class TTestDevice : public TDevice
{
public:
    explicit TTestDevice(TDeviceContext& aContext = TestContext());

    void Init(const QString& sDefinition) override;

    static void Register();
    static void Unregister();

    // Life-cycle hooks record "<hook> <device name>" here; "failrelease" in the definition makes
    // Released raise.
    void RunStarted() override;
    void RunEnded() override;
    void Released() override;
    static std::vector<QString> sHookCalls;
    // Runs in Released, before it raises.
    static inline std::function<void(TTestDevice&)> sOnReleased;

    QString fsDefinition;
    bool fbFailInit = false;
    static int siDestroyed;
    ~TTestDevice() override { ++siDestroyed; }
};
