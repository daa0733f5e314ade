#include "Job.h"

#include "SharedDeviceGate.h"

#include "TestTree.h"

#include "core/MsgClasses.h"
#include "core/MsgExceptions.h"

#include <cstdio>

int StateImageIndex(EImage eImage, bool bBreakPoint)
{
    return int(eImage) + (bBreakPoint ? 1 : 0);
}

std::optional<EImage> StateImageOf(int iIndex)
{
    if (iIndex < int(EImage::Dummy) || iIndex > int(EImage::Ok) + 1)
        return std::nullopt;
    // The bases are odd, their break-point forms even.
    return EImage(iIndex % 2 == 1 ? iIndex : iIndex - 1);
}

TTreeNode* TJob::CreateNewJob(QStringView sNodeLabel, TTestTree& tvTree, TTreeNode* tnCurrentNode,
                              TCommand* aCmd, ECaseType eType, bool bExpanded)
{
    // The parent's text begins with its number, which holds no blank: the new number extends it,
    // so a node costs the length of its own number, not a walk over all its ancestors. The text
    // is built in one allocation: every line of a definition passes here.
    QStringView parentNumber;
    if (tnCurrentNode) {
        const QString& sParent = tnCurrentNode->Text();
        parentNumber = QStringView(sParent).left(sParent.indexOf(QLatin1Char(' ')));
    }
    const int iPosition = int(tnCurrentNode ? tnCurrentNode->Children().size() : tvTree.Roots().size()) + 1;
    char aDigits[12];
    const int iDigits = std::snprintf(aDigits, sizeof aDigits, "%d", iPosition);
    QString sText;
    sText.reserve(parentNumber.size() + iDigits + 2 + sNodeLabel.size());
    sText.append(parentNumber);
    sText.append(QLatin1String(aDigits, iDigits));
    sText.append(QLatin1String(". "));
    sText.append(sNodeLabel);

    TTreeNode* pNode = tvTree.Append(tnCurrentNode, sText);
    pNode->SetJob(std::make_unique<TJob>(pNode, eType, aCmd, bExpanded));
    pNode->SetImageIndex(StateImageIndex(eType == ecDummy ? EImage::Dummy : EImage::NotRun));
    tvTree.Msg().Hint(pNode->Text());
    return pNode;
}

bool TJob::AnyEnabled(const TTestTree& tvTree)
{
    for (int i = 0; i < tvTree.Count(); ++i) {
        const TJob* pJob = tvTree.Node(i)->Job();
        if (pJob && pJob->Enabled())
            return true;
    }
    return false;
}

TTreeNode* TJob::NextEnabled(const TTestTree& tvTree, const TTreeNode* aNode)
{
    for (TTreeNode* p = tvTree.Next(aNode); p; p = tvTree.Next(p)) {
        if (p->Job() && p->Job()->Enabled())
            return p;
    }
    return nullptr;
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
    : fTreeNode(aTreeNode), FCmd(aCmd), FeCaseType(eType), FbExpanded(bExpanded)
{}

TMsgChannel& TJob::Msg() const
{
    return fTreeNode->Tree()->Msg();
}

TJob::~TJob()
{
    // The command outlives the job (its device owns it): never leave it calling back into us.
    if (FCmd)
        FCmd->SetOnResult(nullptr);
    ForgetSharedDeviceWait();
}

void TJob::ForgetSharedDeviceWait()
{
    if (fiSharedWait == 0)
        return;
    if (ISharedDeviceGate* pGate = FCmd && FCmd->Owner() ? FCmd->Owner()->SharedGate() : nullptr)
        pGate->CancelWait(fiSharedWait);
    fiSharedWait = 0;
}

QString TJob::GetName() const
{
    return fTreeNode->Text();
}

void TJob::SetImage(EImage eImage)
{
    fTreeNode->SetImageIndex(StateImageIndex(eImage, FbBreakPoint));
}

void TJob::Execute(const QString& sParameter)
{
    fsOwnError.clear();
    if (!FCmd) {
        if (FeCaseType != ecDummy)
            SetImage(EImage::Running);
        FbPassed = true;
        Conclusion(nullptr);
        return;
    }
    SetImage(EImage::Running);
    FbPassed = false;
    // A device shared by a station's sockets: the step waits until its session holds it.
    ISharedDeviceGate* pGate = FCmd->Owner() ? FCmd->Owner()->SharedGate() : nullptr;
    TDeviceContext* pHolder = fTreeNode->Tree() ? fTreeNode->Tree()->OwnerContext() : nullptr;
    if (pGate && pHolder) {
        ForgetSharedDeviceWait();
        const std::uint64_t iTicket = pGate->Acquire(*FCmd->Owner(), *pHolder, fTreeNode, [this, sParameter] {
            fiSharedWait = 0;
            ExecuteCommand(sParameter);
        });
        // Not granted yet: the grant runs later, unless the step is cancelled first.
        if (iTicket != 0)
            fiSharedWait = iTicket;
        return;
    }
    ExecuteCommand(sParameter);
}

void TJob::ExecuteCommand(const QString& sParameter)
{
    FCmd->SetOnResult([this](TCommand* aSender) { Conclusion(aSender); });
    FCmd->ClearMeasurement();
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
    Msg().Error(sError);
    FbPassed = false;
    SetImage(EImage::Failed);
    UpdateEnclosingCases();
    if (FOnFinished)
        FOnFinished(this);
}

void TJob::Conclusion(TCommand* /*aSender*/)
{
    Msg().DebugLazy([this] { return QStringLiteral("TJob.Conclusion: ") + GetName(); });
    if (FCmd) {
        FCmd->SetOnResult(nullptr);
        switch (FCmd->CmdResult()) {
        case crDone:
        case crBreak:
            FbPassed = true;
            SetImage(EImage::Done);
            break;
        case crFailed:
        case crCancelled:
            FbPassed = false;
            SetImage(EImage::Failed);
            break;
        case crOk:
            FbPassed = true;
            SetImage(EImage::Ok);
            break;
        case crUnknown:
        default:
            // Concluding without a result is a command fault; the run goes on with a failure.
            fsOwnError = QStringLiteral("Command concluded without result");
            Msg().Error(fsOwnError);
            FbPassed = false;
            SetImage(EImage::Failed);
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
        EImage eResult = EImage::Ok;
        for (const TTreeNode* pChild : pParent->Children()) {
            const std::optional<EImage> eImage = StateImageOf(pChild->ImageIndex());
            if (!eImage)
                throw EMsg(TMsgId(0x07020A), FCmd ? int(FCmd->CmdResult()) : 0);
            switch (*eImage) {
            case EImage::Failed:
                eResult = EImage::Failed;
                break;
            case EImage::NotRun:
            case EImage::Running:
                if (eResult != EImage::Failed)
                    eResult = EImage::Running;
                break;
            case EImage::Dummy:
            case EImage::Disabled:
            case EImage::Done:
            case EImage::Ok:
                break;
            }
        }
        pParent->SetImageIndex(StateImageIndex(eResult, pParent->Job() && pParent->Job()->BreakPoint()));
    }
}

void TJob::Cancel()
{
    if (fiSharedWait != 0) {
        // The command never started: another socket may be running it on the shared device, so
        // it is left alone and the step fails here.
        ForgetSharedDeviceWait();
        fsOwnError =
            QStringLiteral("Cancelled while waiting for the shared device \"%1\"").arg(FCmd->Owner()->Name());
        FbPassed = false;
        SetImage(EImage::Failed);
        UpdateEnclosingCases();
        if (FOnFinished)
            FOnFinished(this);
        return;
    }
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
        SetImage(EImage::Dummy);
    else
        SetImage(FbEnabled ? EImage::NotRun : EImage::Disabled);
}

void TJob::SetEnabled(bool bEnabled)
{
    if (FbEnabled == bEnabled)
        return;
    FbEnabled = bEnabled;
    SetImage(bEnabled ? EImage::NotRun : EImage::Disabled);
}

void TJob::SetBreakPoint(bool bBreakPoint)
{
    if (FbBreakPoint == bBreakPoint)
        return;
    FbBreakPoint = bBreakPoint;
    // The node keeps the image it shows, in the other form.
    if (const std::optional<EImage> eImage = StateImageOf(fTreeNode->ImageIndex()))
        fTreeNode->SetImageIndex(StateImageIndex(*eImage, bBreakPoint));
}

QString TJob::ErrorText() const
{
    if (!fsOwnError.isEmpty())
        return fsOwnError;
    return FCmd ? FCmd->ErrorText() : QString();
}
