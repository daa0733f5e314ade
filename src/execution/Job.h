#pragma once

#include "DeviceList.h"

#include <QString>

#include <functional>
#include <optional>

class TTreeNode;
class TTestTree;

enum ECaseType : std::uint8_t
{
    ecNormalCase = 0, // Test.Case(...)
    ecFinalCase,      // Test.Final(...): still runs after a failure ends the process
    ecWorkCase,       // a device function line with its command
    ecDummy           // a function line of an undeclared device, kept under "Skip Errors"
};

// The state images of a node, by their base index in the image list; a break point shows the
// image after the base.
enum class EImage
{
    Dummy = 1,
    Disabled = 3,
    Failed = 5,
    NotRun = 7,
    Running = 9,
    Done = 11,
    Ok = 13
};

// The image-list index of eImage, in its break-point form when bBreakPoint.
int StateImageIndex(EImage eImage, bool bBreakPoint = false);
// The image an index shows, in either form; none for an index outside the image list.
std::optional<EImage> StateImageOf(int iIndex);

class TJob;
using TJobNotifyEvent = std::function<void(TJob* aSender)>;

// The job of one test-tree node: executes the node's command, records pass or fail, shows the
// state image and updates the enclosing test cases' images. The command belongs to its device,
// which must outlive the job: the tree is cleared before the device list is released.
class TJob
{
public:
    // Creates a job and appends its node as the last child of tnCurrentNode (a root node without
    // one), numbered after its position, and reports the node text as a hint.
    static TTreeNode* CreateNewJob(QStringView sNodeLabel, TTestTree& tvTree, TTreeNode* tnCurrentNode,
                                   TCommand* aCmd, ECaseType eType, bool bExpanded);
    // The placeholder nodes of lines whose device was not declared ("Skip Errors" on).
    static int DummyNodes(const TTestTree& tvTree);
    // Whether any node of the tree has an enabled job (a run has something to start).
    static bool AnyEnabled(const TTestTree& tvTree);
    // The first node after aNode, in display order, whose job is enabled; null at the end.
    static TTreeNode* NextEnabled(const TTestTree& tvTree, const TTreeNode* aNode);

    TJob(TTreeNode* aTreeNode, ECaseType eType, TCommand* aCmd, bool bExpanded);
    ~TJob();

    TJob(const TJob&) = delete;
    TJob& operator=(const TJob&) = delete;

    QString GetName() const;
    void Execute(const QString& sParameter);
    void Conclusion(TCommand* aSender);
    void Cancel();
    void Reset();

    ECaseType CaseType() const { return FeCaseType; }
    TCommand* Cmd() const { return FCmd; }
    TTreeNode* TreeNode() const { return fTreeNode; }
    const TJobNotifyEvent& OnFinished() const { return FOnFinished; }
    void SetOnFinished(TJobNotifyEvent aEvent) { FOnFinished = std::move(aEvent); }
    bool Expanded() const { return FbExpanded; }
    void SetExpanded(bool bExpanded) { FbExpanded = bExpanded; }
    bool Enabled() const { return FbEnabled; }
    void SetEnabled(bool bEnabled);
    bool BreakPoint() const { return FbBreakPoint; }
    void SetBreakPoint(bool bBreakPoint);
    bool Passed() const { return FbPassed; }

    // The error text of the last failure: the command's, or the job's own when the command
    // concluded without a result or raised while executing.
    QString ErrorText() const;

private:
    TMsgChannel& Msg() const;
    void SetImage(EImage eImage);
    void UpdateEnclosingCases();
    void ConcludeWithError(const QString& sError);
    void ExecuteCommand(const QString& sParameter);
    void ForgetSharedDeviceWait();

    // The small fields last, packed together: a definition has a job for every line.
    TTreeNode* fTreeNode;
    TCommand* FCmd;
    TJobNotifyEvent FOnFinished;
    QString fsOwnError;
    std::uint64_t fiSharedWait = 0; // the request of a step waiting for a shared device
    ECaseType FeCaseType;
    bool FbEnabled = true;
    bool FbBreakPoint = false;
    bool FbPassed = false;
    bool FbExpanded;
};
