#include "Job.h"

#include "TestTree.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

TTreeNode* TJob::CreateNewJob(const QString& sNodeLabel, TTestTree& tvTree, TTreeNode* tnCurrentNode,
                              TCommand* aCmd, ECaseType eType, bool bExpanded)
{
    // The parent's text begins with its number, which holds no blank: the new number extends it,
    // so a node costs the length of its own number, not a walk over all its ancestors.
    QString sNumber;
    if (tnCurrentNode) {
        const QString& sParent = tnCurrentNode->Text();
        sNumber = sParent.left(sParent.indexOf(QLatin1Char(' ')));
    }
    const int iPosition = int(tnCurrentNode ? tnCurrentNode->Children().size() : tvTree.Roots().size()) + 1;
    sNumber += QString::number(iPosition) + QLatin1Char('.');

    TTreeNode* pNode = tvTree.Append(tnCurrentNode, sNumber + QLatin1Char(' ') + sNodeLabel);
    pNode->SetJob(std::make_unique<TJob>(pNode, eType, aCmd, bExpanded));
    pNode->SetImageIndex(eType == ecDummy ? eiDummy : eiNotRun);
    TMsg::Hint(pNode->Text());
    return pNode;
}

int TJob::DummyNodes(const TTestTree& tvTree)
{
    int iDummies = 0;
    for (int i = 0; i < tvTree.Count(); ++i) {
        if (const TJob* pJob = tvTree.Node(i)->Job(); pJob && pJob->CaseType() == ecDummy)
            ++iDummies;
    }
    return iDummies;
}

TJob::TJob(TTreeNode* aTreeNode, ECaseType eType, TCommand* aCmd, bool bExpanded)
    : fTreeNode(aTreeNode), FeCaseType(eType), FCmd(aCmd), FbExpanded(bExpanded)
{}

TJob::~TJob()
{
    // The command outlives the job (its device owns it): never leave it calling back into us.
    if (FCmd)
        FCmd->SetOnResult(nullptr);
}

QString TJob::GetName() const
{
    return fTreeNode->Text();
}

void TJob::SetImage(int iBase)
{
    fTreeNode->SetImageIndex(iBase + (FbBreakPoint ? 1 : 0));
}

void TJob::Execute(const QString& sParameter)
{
    fsOwnError.clear();
    if (!FCmd) {
        if (FeCaseType != ecDummy)
            SetImage(eiRunning);
        FbPassed = true;
        Conclusion(nullptr);
        return;
    }
    SetImage(eiRunning);
    FbPassed = false;
    FCmd->SetOnResult([this](TCommand* aSender) { Conclusion(aSender); });
    try {
        FCmd->Execute(sParameter);
    } catch (const std::exception& e) {
        // A command that raises must not leave the run waiting for a conclusion that never comes.
        if (FCmd->OnResult())
            ConcludeWithError(ExceptionText(e));
    }
}

void TJob::ConcludeWithError(const QString& sError)
{
    FCmd->SetOnResult(nullptr);
    fsOwnError = sError;
    TMsg::Error(sError);
    FbPassed = false;
    SetImage(eiFailed);
    UpdateEnclosingCases();
    if (FOnFinished)
        FOnFinished(this);
}

void TJob::Conclusion(TCommand* /*aSender*/)
{
    TMsg::Debug(QStringLiteral("TJob.Conclusion: ") + GetName());
    if (FCmd) {
        FCmd->SetOnResult(nullptr);
        switch (FCmd->CmdResult()) {
        case crDone:
        case crBreak:
            FbPassed = true;
            SetImage(eiDone);
            break;
        case crFailed:
        case crCancelled:
            FbPassed = false;
            SetImage(eiFailed);
            break;
        case crOk:
            FbPassed = true;
            SetImage(eiOk);
            break;
        case crUnknown:
        default:
            // Concluding without a result is a command fault; the run goes on with a failure.
            fsOwnError = QStringLiteral("Command concluded without result");
            TMsg::Error(fsOwnError);
            FbPassed = false;
            SetImage(eiFailed);
            break;
        }
        UpdateEnclosingCases();
    } else if (FeCaseType == ecDummy) {
        UpdateEnclosingCases();
    }
    if (FOnFinished)
        FOnFinished(this);
}

void TJob::UpdateEnclosingCases()
{
    for (TTreeNode* pNode = fTreeNode; pNode->IsLastChild(); pNode = pNode->Parent()) {
        TTreeNode* pParent = pNode->Parent();
        int iResult = eiOk;
        for (const TTreeNode* pChild : pParent->Children()) {
            const int iImage = pChild->ImageIndex();
            if ((iImage >= 1 && iImage <= 4) || (iImage >= 11 && iImage <= 14))
                continue;
            if (iImage == 5 || iImage == 6)
                iResult = eiFailed;
            else if (iImage >= 7 && iImage <= 10) {
                if (iResult != eiFailed)
                    iResult = eiRunning;
            } else {
                throw EMsg(TMsgId(0x07020A), FCmd ? int(FCmd->CmdResult()) : 0);
            }
        }
        pParent->SetImageIndex(iResult + (pParent->Job() && pParent->Job()->BreakPoint() ? 1 : 0));
    }
}

void TJob::Cancel()
{
    if (FCmd) {
        FCmd->SetOnResult(nullptr);
        FCmd->Cancel();
    }
    Conclusion(FCmd);
}

void TJob::Reset()
{
    FbPassed = false;
    fsOwnError.clear();
    if (FeCaseType == ecDummy)
        SetImage(eiDummy);
    else
        SetImage(FbEnabled ? eiNotRun : eiDisabled);
}

void TJob::SetEnabled(bool bEnabled)
{
    if (FbEnabled == bEnabled)
        return;
    FbEnabled = bEnabled;
    SetImage(bEnabled ? eiNotRun : eiDisabled);
}

void TJob::SetBreakPoint(bool bBreakPoint)
{
    if (FbBreakPoint == bBreakPoint)
        return;
    FbBreakPoint = bBreakPoint;
    fTreeNode->SetImageIndex(fTreeNode->ImageIndex() + (bBreakPoint ? 1 : -1));
}

QString TJob::ErrorText() const
{
    if (!fsOwnError.isEmpty())
        return fsOwnError;
    return FCmd ? FCmd->ErrorText() : QString();
}
