#pragma once

#include "execution/RunnerHost.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// The operator's side of a run for runner and device tests: answers the name question, records
// the information boxes and final dialogs, and keeps the tree selection.
class TFakeRunnerHost : public IRunnerHost
{
public:
    struct TFinalShown
    {
        bool bPassed;
        QString sLabel;
        QStringList failed;
    };

    std::optional<QString> AskOperatorName() override;
    void ShowInformation(const QString& sText) override { infos.push_back(sText); }
    // Answers "Next " while iNextRuns is above zero.
    bool ShowFinalDialog(bool bPassed, const QString& sLabel, const QStringList& aFailed) override;
    TTreeNode* SelectedNode() const override { return pSelected; }
    void SelectNode(TTreeNode* aNode) override { pSelected = aNode; }
    void ClearSelection() override { pSelected = nullptr; }
    void MakeVisible(TTreeNode*) override {}
    void SetTestCaseHeader(const QString& sText) override { sHeader = sText; }
    void AddLogSeparator() override { ++iSeparators; }

    std::optional<QString> sOperator = QStringLiteral("op1");
    int iNameQuestions = 0;
    std::vector<QString> infos;
    std::vector<TFinalShown> finals;
    int iNextRuns = 0;
    TTreeNode* pSelected = nullptr;
    QString sHeader;
    int iSeparators = 0;
};

// The error report of a run: holds the first failed step until it is shown, and records what was
// shown to whom.
class TFakeFailureReport : public IFailureReport
{
public:
    void SetFailedJob(const TJob& aJob) override;
    void ShowQueuedError(const QString& sOperator) override;
    bool ExitAfterFailure() const override { return bStop; }

    QString sPending;
    std::vector<QString> shown;   // the steps shown
    std::vector<QString> shownTo; // the operator each was shown to
    std::vector<QString> events;  // "report <step>", with the test's own entries in between
    bool bStop = false;           // the operator ticked "Stop Test Process"
};
