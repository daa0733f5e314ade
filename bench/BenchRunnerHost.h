#pragma once

#include "execution/Command.h"
#include "execution/Device.h"
#include "execution/DeviceList.h"
#include "execution/RunnerHost.h"

#include <QEventLoop>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The operator's side of a benchmarked run: answers the name question and, at the final dialog,
// ends the run's event loop, or calls fOnDone when one is set (several runs that share a loop).
class TBenchRunnerHost : public IRunnerHost
{
public:
    std::optional<QString> AskOperatorName() override { return QStringLiteral("bench"); }
    void ShowInformation(const QString&) override {}
    bool ShowFinalDialog(bool bPassed, const QString&, const QStringList&) override
    {
        fbPassed = bPassed;
        fbDone = true;
        if (fOnDone)
            fOnDone();
        else
            fLoop.quit();
        return false;
    }
    TTreeNode* SelectedNode() const override { return nullptr; }
    void SelectNode(TTreeNode*) override {}
    void ClearSelection() override {}
    void MakeVisible(TTreeNode*) override {}
    void SetTestCaseHeader(const QString&) override {}
    void AddLogSeparator() override {}

    QEventLoop fLoop;
    bool fbPassed = false;
    bool fbDone = false;
    std::function<void()> fOnDone;
};

// A command that concludes at once, and the device that owns the benchmarks' commands.
class TInstantCmd : public TCommand
{
public:
    using TCommand::TCommand;
    void Execute(const QString&) override { Conclude(crDone); }
};

// The context of the benchmarks' devices and runners: one per program.
inline TDeviceContext& BenchContext()
{
    static TDeviceContext context;
    return context;
}

class TBenchDevice : public TDevice
{
public:
    TBenchDevice() : TDevice(BenchContext()) {}
    void Init(const QString&) override {}
};
