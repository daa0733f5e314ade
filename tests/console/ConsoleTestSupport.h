#pragma once

#include "TestDevices.h"

#include "execution/Job.h"
#include "execution/TestTree.h"

#include <QString>

// A command that waits for Enter (passed) or Escape (failed) through the runner's key hook, and
// fails with "No operator answer available" when nobody can answer.
class TKeyWaitCmd : public TTestCmd
{
public:
    using TTestCmd::TTestCmd;

    void Execute(const QString& sParameter) override;
    void Cancel() override;

    std::vector<int> fKeys;          // every key offered
    bool fbKeyInsideExecute = false; // a key came before Execute returned

private:
    bool fbExecuting = false;
};

// Test trees built in code; the device owns the commands and outlives the tree.
class TTreeBuilder
{
public:
    TTreeNode* Case(TTreeNode* aParent, const QString& sLabel, ECaseType eType = ecNormalCase);
    // A function that concludes at once with eResult (and sError when it fails).
    TTreeNode* Work(TTreeNode* aParent, const QString& sLabel, ECmdResult eResult = crDone,
                    const QString& sError = QString());
    // A function that waits until it is cancelled.
    TTreeNode* Waiting(TTreeNode* aParent, const QString& sLabel);
    TTreeNode* KeyWait(TTreeNode* aParent, const QString& sLabel);
    // A function whose timer slot raises EError(sError) instead of concluding.
    TTreeNode* Throwing(TTreeNode* aParent, const QString& sLabel, const QString& sError);

    static TTestCmd* CmdOf(const TTreeNode* aNode) { return static_cast<TTestCmd*>(aNode->Job()->Cmd()); }
    static TKeyWaitCmd* KeyCmdOf(const TTreeNode* aNode)
    {
        return static_cast<TKeyWaitCmd*>(aNode->Job()->Cmd());
    }

    TTestDevice fDevice;
    TTestTree fTree;

private:
    TTreeNode* Add(TTreeNode* aParent, const QString& sLabel, std::unique_ptr<TTestCmd> aCmd);
    int fiCommands = 0;
};
