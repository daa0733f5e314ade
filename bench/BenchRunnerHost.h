#pragma once

#include "execution/RunnerHost.h"

#include <QEventLoop>
#include <QString>
#include <QStringList>

#include <optional>

// The operator's side of a benchmarked run: answers the name question and ends the run's event
// loop at the final dialog.
class TBenchRunnerHost : public IRunnerHost
{
public:
    std::optional<QString> AskOperatorName() override { return QStringLiteral("bench"); }
    void ShowInformation(const QString&) override {}
    bool ShowFinalDialog(bool bPassed, const QString&, const QStringList&) override
    {
        fbPassed = bPassed;
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
};
