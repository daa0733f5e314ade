#include "TestTree.h"

#include "Job.h"

#include "core/MsgExceptions.h"

TTreeNode::TTreeNode(TTestTree* aTree, TTreeNode* aParent, int iIndex, int iAbsoluteIndex)
    : fTree(aTree), fParent(aParent), fiIndex(iIndex), fiAbsoluteIndex(iAbsoluteIndex)
{}

void TTreeNode::SetText(const QString& sText)
{
    fsText = sText;
    fTree->Changed(this);
}

void TTreeNode::SetImageIndex(int iIndex)
{
    if (fiImageIndex == iIndex)
        return;
    fiImageIndex = iIndex;
    fTree->Changed(this);
}

const std::vector<TTreeNode*>& TTreeNode::Children() const
{
    static const std::vector<TTreeNode*> cNone;
    return fChildren ? *fChildren : cNone;
}

bool TTreeNode::IsLastChild() const
{
    return fParent && fParent->fChildren->back() == this;
}

int TTreeNode::Level() const
{
    int iLevel = 0;
    for (const TTreeNode* p = fParent; p; p = p->fParent)
        ++iLevel;
    return iLevel;
}

void TTreeNode::SetJob(std::unique_ptr<TJob> aJob)
{
    fJob = std::move(aJob);
}

TTestTree::TTestTree() = default;

TTestTree::~TTestTree() = default;

TTreeNode* TTestTree::Append(TTreeNode* aParent, const QString& sText)
{
    // Appending to a node that is not on the last path would break the display order.
    if (aParent && !fNodes.empty()) {
        const TTreeNode* pLast = fNodes.back().get();
        bool bOnPath = false;
        for (const TTreeNode* p = pLast; p; p = p->Parent())
            bOnPath = bOnPath || p == aParent;
        if (!bOnPath)
            throw EError(QStringLiteral("Test tree nodes can only be appended to the current path"));
    }
    if (aParent && !aParent->fChildren)
        aParent->fChildren = std::make_unique<std::vector<TTreeNode*>>();
    std::vector<TTreeNode*>& siblings = aParent ? *aParent->fChildren : fRoots;
    std::unique_ptr<TTreeNode> node(new TTreeNode(this, aParent, int(siblings.size()), Count()));
    node->fsText = sText;
    TTreeNode* pNode = node.get();
    siblings.push_back(pNode);
    fNodes.push_back(std::move(node));
    if (fObserver)
        fObserver->NodeAppended(pNode);
    return pNode;
}

void TTestTree::Clear()
{
    fRoots.clear();
    fNodes.clear();
    if (fObserver)
        fObserver->TreeCleared();
}

TTreeNode* TTestTree::Next(const TTreeNode* aNode) const
{
    const int iNext = aNode->AbsoluteIndex() + 1;
    return iNext < Count() ? fNodes[std::size_t(iNext)].get() : nullptr;
}

void TTestTree::Changed(TTreeNode* aNode)
{
    if (fObserver)
        fObserver->NodeChanged(aNode);
}
