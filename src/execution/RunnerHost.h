#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class TJob;
class TTreeNode;

// What the runner needs of the error report: hold a failure, show it, and tell whether the
// operator asked to stop.
class IFailureReport
{
public:
    virtual ~IFailureReport() = default;
    virtual void SetFailedJob(const TJob& aJob) = 0;
    virtual void ShowQueuedError(const QString& aOperatorName) = 0;
    virtual bool ExitAfterFailure() const = 0;
};

// Everything of the runner that the operator sees or answers: the desktop program implements it
// with its window and dialogs, the headless runner with the console.
class IRunnerHost
{
public:
    virtual ~IRunnerHost() = default;

    // The operator's name; an empty text asks again, no value means nobody can answer.
    virtual std::optional<QString> AskOperatorName() = 0;
    // An information box ("Select an active test step!").
    virtual void ShowInformation(const QString& sText) = 0;
    // The final dialog, modal; true when the operator pressed "Next ".
    virtual bool ShowFinalDialog(bool bPassed, const QString& sLabel, const QStringList& aFailedJobs) = 0;

    // Tree view state.
    virtual TTreeNode* SelectedNode() const = 0;
    virtual void SelectNode(TTreeNode* aNode) = 0; // selects it and focuses the tree
    virtual void ClearSelection() = 0;             // and focuses the file-label panel
    virtual void MakeVisible(TTreeNode* aNode) = 0;
    virtual void SetTestCaseHeader(const QString& sText) = 0;
    // A separator line in the message log at every start.
    virtual void AddLogSeparator() = 0;
};
