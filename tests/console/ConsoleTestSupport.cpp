#include "ConsoleTestSupport.h"
#include "TestContext.h"

#include "execution/DeviceList.h"
#include "execution/RunnerControl.h"

#include "core/MsgExceptions.h"

void TKeyWaitCmd::Execute(const QString& /*sParameter*/)
{
    ++fiExecutions;
    fbExecuting = true;
    IRunnerControl* pRunner = TestContext().Runner();
    pRunner->SetOnKeyContinue([this, pRunner](int iKey) {
        fKeys.push_back(iKey);
        fbKeyInsideExecute = fbKeyInsideExecute || fbExecuting;
        if (iKey != ciKeyNoAnswer && iKey != Qt::Key_Return && iKey != Qt::Key_Escape)
            return false;
        pRunner->ClearOnKeyContinue();
        if (iKey == Qt::Key_Return)
            Finish(crOk);
        else
            Finish(crFailed, iKey == ciKeyNoAnswer ? QStringLiteral("No operator answer available")
                                                   : QStringLiteral("Cancelled with Escape"));
        return true;
    });
    fbExecuting = false;
}

void TKeyWaitCmd::Cancel()
{
    if (IRunnerControl* pRunner = TestContext().Runner())
        pRunner->ClearOnKeyContinue();
    TTestCmd::Cancel();
}

TTreeNode* TTreeBuilder::Case(TTreeNode* aParent, const QString& sLabel, ECaseType eType)
{
    return TJob::CreateNewJob(sLabel, fTree, aParent, nullptr, eType, true);
}

TTreeNode* TTreeBuilder::Add(TTreeNode* aParent, const QString& sLabel, std::unique_ptr<TTestCmd> aCmd)
{
    TCommand* pCmd = fDevice.AddCommand(QStringLiteral("C%1").arg(++fiCommands), std::move(aCmd));
    return TJob::CreateNewJob(sLabel, fTree, aParent, pCmd, ecWorkCase, false);
}

TTreeNode* TTreeBuilder::Work(TTreeNode* aParent, const QString& sLabel, ECmdResult eResult,
                              const QString& sError)
{
    auto cmd = std::make_unique<TTestCmd>(&fDevice);
    TTestCmd* pCmd = cmd.get();
    if (sError.isEmpty()) {
        cmd->feImmediate = eResult;
    } else {
        cmd->feImmediate = crUnknown;
        cmd->fOnExecute = [pCmd, eResult, sError] { pCmd->Finish(eResult, sError); };
    }
    return Add(aParent, sLabel, std::move(cmd));
}

TTreeNode* TTreeBuilder::Throwing(TTreeNode* aParent, const QString& sLabel, const QString& sError)
{
    auto cmd = std::make_unique<TTestAsyncCmd>(&fDevice);
    cmd->fOnTimer = [sError](TTestAsyncCmd&) { throw EError(sError); };
    TCommand* pCmd = fDevice.AddCommand(QStringLiteral("C%1").arg(++fiCommands), std::move(cmd));
    return TJob::CreateNewJob(sLabel, fTree, aParent, pCmd, ecWorkCase, false);
}

TTreeNode* TTreeBuilder::Waiting(TTreeNode* aParent, const QString& sLabel)
{
    auto cmd = std::make_unique<TTestCmd>(&fDevice);
    cmd->feImmediate = crUnknown;
    return Add(aParent, sLabel, std::move(cmd));
}

TTreeNode* TTreeBuilder::KeyWait(TTreeNode* aParent, const QString& sLabel)
{
    return Add(aParent, sLabel, std::make_unique<TKeyWaitCmd>(&fDevice));
}
