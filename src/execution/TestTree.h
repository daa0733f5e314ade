#pragma once

#include "core/MsgChannel.h"

#include <QString>

#include <memory>
#include <vector>

class TDeviceContext;
class TJob;
class TTestTree;

// One node of the test tree: its text (number and label), state image, default expansion and the
// job it owns. Nodes are only ever appended.
class TTreeNode
{
public:
    const QString& Text() const { return fsText; }
    void SetText(const QString& sText);
    int ImageIndex() const { return fiImageIndex; }
    void SetImageIndex(int iIndex);
    bool Expanded() const { return fbExpanded; }
    void SetExpanded(bool bExpanded) { fbExpanded = bExpanded; }

    TTreeNode* Parent() const { return fParent; }
    const std::vector<TTreeNode*>& Children() const;
    bool IsLastChild() const;
    // 0-based position among the node's siblings.
    int Index() const { return fiIndex; }
    // 0-based position in the whole tree in display order.
    int AbsoluteIndex() const { return fiAbsoluteIndex; }
    int Level() const;

    TJob* Job() const { return fJob.get(); }
    void SetJob(std::unique_ptr<TJob> aJob);
    TTestTree* Tree() const { return fTree; }

private:
    friend class TTestTree;
    TTreeNode(TTestTree* aTree, TTreeNode* aParent, int iIndex, int iAbsoluteIndex);

    TTestTree* fTree;
    TTreeNode* fParent;
    // Only test cases have children: a step's node does without the list (a definition has a
    // node for every line).
    std::unique_ptr<std::vector<TTreeNode*>> fChildren;
    std::unique_ptr<TJob> fJob;
    QString fsText;
    int fiIndex;
    int fiAbsoluteIndex;
    int fiImageIndex = 0;
    bool fbExpanded = false;
};

// Told about every change of the tree, for a view that shows it.
class ITestTreeObserver
{
public:
    virtual ~ITestTreeObserver() = default;
    virtual void NodeAppended(TTreeNode* aNode) = 0;
    virtual void NodeChanged(TTreeNode* aNode) = 0;
    virtual void TreeCleared() = 0;
};

// The test tree without its view: owns the nodes (and through them the jobs), appended only.
class TTestTree
{
public:
    TTestTree();
    ~TTestTree();

    TTestTree(const TTestTree&) = delete;
    TTestTree& operator=(const TTestTree&) = delete;

    // Appends a node as the last child of aParent, or as a root node without a parent. A parent
    // gains children only while it is on the path of the last appended node, so the order of
    // appending is the display order.
    TTreeNode* Append(TTreeNode* aParent, const QString& sText);
    void Clear();

    int Count() const { return int(fNodes.size()); }
    bool Empty() const { return fNodes.empty(); }
    TTreeNode* Node(int iAbsoluteIndex) const { return fNodes[std::size_t(iAbsoluteIndex)].get(); }
    TTreeNode* First() const { return fNodes.empty() ? nullptr : fNodes.front().get(); }
    // The node after aNode in display order, or none.
    TTreeNode* Next(const TTreeNode* aNode) const;
    const std::vector<TTreeNode*>& Roots() const { return fRoots; }

    void SetObserver(ITestTreeObserver* aObserver) { fObserver = aObserver; }
    ITestTreeObserver* Observer() const { return fObserver; }

    // Where the tree's jobs report: the session's channel once it is set, else the tree's own.
    TMsgChannel& Msg() const { return fpMsg ? *fpMsg : fOwnMsg; }
    void SetMsg(TMsgChannel* aMsg) { fpMsg = aMsg; }
    // The session the tree belongs to: the holder of the station's shared devices its steps use.
    TDeviceContext* OwnerContext() const { return fpOwnerContext; }
    void SetOwnerContext(TDeviceContext* aContext) { fpOwnerContext = aContext; }

private:
    friend class TTreeNode;
    void Changed(TTreeNode* aNode);

    std::vector<std::unique_ptr<TTreeNode>> fNodes;
    std::vector<TTreeNode*> fRoots;
    ITestTreeObserver* fObserver = nullptr;
    TDeviceContext* fpOwnerContext = nullptr;
    TMsgChannel* fpMsg = nullptr;
    mutable TMsgChannel fOwnMsg;
};
