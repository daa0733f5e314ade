#pragma once

#include "execution/TestTree.h"

#include <QTreeWidget>

#include <vector>

// The test tree's view: mirrors a TTestTree node by node with its state images, keeps the
// selection visible without the focus, and reports the clicks the runner reacts to.
class TTestTreeView : public QTreeWidget, public ITestTreeObserver
{
    Q_OBJECT

public:
    explicit TTestTreeView(QWidget* aParent = nullptr);
    ~TTestTreeView() override;

    // Observes aTree from now on (null: none) and shows its current nodes.
    void SetTree(TTestTree* aTree);

    void NodeAppended(TTreeNode* aNode) override;
    void NodeChanged(TTreeNode* aNode) override;
    void TreeCleared() override;

    QTreeWidgetItem* Item(const TTreeNode* aNode) const;
    TTreeNode* Node(const QTreeWidgetItem* aItem) const;
    TTreeNode* SelectedNode() const;
    void SelectNode(TTreeNode* aNode);

    // Expands the nodes whose job asks for it and collapses the others.
    void ExpandDefault();
    // While a run is in progress, every change removes the selection, and the items catch up
    // with their nodes once per pass of the event loop instead of after every change.
    void SetRunning(bool bRunning);
    // Brings every item up to date with its node now.
    void CatchUp();

Q_SIGNALS:
    void NodeShiftClicked(TTreeNode* aNode);
    void NodeCtrlClicked(TTreeNode* aNode);
    void MouseReleased();

protected:
    void mousePressEvent(QMouseEvent* aEvent) override;
    void mouseReleaseEvent(QMouseEvent* aEvent) override;

private:
    void ShowNode(TTreeNode* aNode);
    void ForgetPending();

    TTestTree* fTree = nullptr;
    std::vector<QTreeWidgetItem*> fItems; // by the node's absolute index
    bool fbRunning = false;
    // Nodes changed since the items last caught up, by absolute index, each once.
    std::vector<int> fPending;
    std::vector<bool> fbPending;
    bool fbCatchUpQueued = false;
};
