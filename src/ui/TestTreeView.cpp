#include "TestTreeView.h"

#include "StateImages.h"
#include "execution/Job.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QTimer>

namespace {
constexpr int ciNodeRole = Qt::UserRole + 1;
}

TTestTreeView::TTestTreeView(QWidget* aParent) : QTreeWidget(aParent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    // Every row is one line with a 16-pixel image: with uniform heights an item's place is found
    // without measuring all rows above it, which every image change of a long run would do.
    setUniformRowHeights(true);
    setToolTip(QStringLiteral("Loaded test cases"));
    setStatusTip(toolTip());
    QPalette palette = this->palette();
    palette.setColor(QPalette::Inactive, QPalette::Highlight,
                     palette.color(QPalette::Active, QPalette::Highlight));
    palette.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     palette.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(palette);
}

TTestTreeView::~TTestTreeView()
{
    SetTree(nullptr);
}

void TTestTreeView::SetTree(TTestTree* aTree)
{
    if (fTree && fTree->Observer() == this)
        fTree->SetObserver(nullptr);
    fTree = aTree;
    ForgetPending();
    clear();
    fItems.clear();
    if (!fTree)
        return;
    fTree->SetObserver(this);
    for (int i = 0; i < fTree->Count(); ++i)
        NodeAppended(fTree->Node(i));
}

void TTestTreeView::NodeAppended(TTreeNode* aNode)
{
    auto* item = new QTreeWidgetItem();
    item->setData(0, ciNodeRole, QVariant::fromValue<void*>(aNode));
    item->setText(0, aNode->Text());
    item->setIcon(0, StateImage(aNode->ImageIndex()));
    if (aNode->Parent() && Item(aNode->Parent()))
        Item(aNode->Parent())->addChild(item);
    else
        addTopLevelItem(item);
    const auto iIndex = std::size_t(aNode->AbsoluteIndex());
    if (fItems.size() <= iIndex)
        fItems.resize(iIndex + 1, nullptr);
    fItems[iIndex] = item;
}

void TTestTreeView::NodeChanged(TTreeNode* aNode)
{
    if (!fbRunning) {
        ShowNode(aNode);
        return;
    }
    if (selectionModel()->hasSelection())
        clearSelection();
    const auto iIndex = std::size_t(aNode->AbsoluteIndex());
    if (iIndex >= fItems.size())
        return;
    if (fbPending.size() < fItems.size())
        fbPending.resize(fItems.size(), false);
    if (!fbPending[iIndex]) {
        fbPending[iIndex] = true;
        fPending.push_back(int(iIndex));
    }
    if (!fbCatchUpQueued) {
        fbCatchUpQueued = true;
        QTimer::singleShot(0, this, &TTestTreeView::CatchUp);
    }
}

void TTestTreeView::ShowNode(TTreeNode* aNode)
{
    QTreeWidgetItem* item = Item(aNode);
    if (!item)
        return;
    item->setText(0, aNode->Text());
    item->setIcon(0, StateImage(aNode->ImageIndex()));
}

void TTestTreeView::CatchUp()
{
    fbCatchUpQueued = false;
    if (!fTree) {
        ForgetPending();
        return;
    }
    std::vector<int> pending;
    pending.swap(fPending);
    // Each item change would make the view look up the item's row among all rows and queue a
    // repaint of it, most of them far outside the viewport. The model stays quiet during the batch
    // and the viewport is repainted once; row heights and widths do not depend on the image.
    const bool bQuiet = pending.size() > 1;
    QSignalBlocker blocker(bQuiet ? model() : nullptr);
    for (const int iIndex : pending) {
        fbPending[std::size_t(iIndex)] = false;
        if (iIndex < fTree->Count()) {
            TTreeNode* pNode = fTree->Node(iIndex);
            QTreeWidgetItem* item = Item(pNode);
            if (!item)
                continue;
            // A run changes images; texts only change on a reload.
            if (item->text(0) != pNode->Text()) {
                // A new text may change the column's width: the view must hear of it.
                const bool bWasBlocked = model()->blockSignals(false);
                item->setText(0, pNode->Text());
                model()->blockSignals(bWasBlocked);
            }
            item->setIcon(0, StateImage(pNode->ImageIndex()));
        }
    }
    if (bQuiet) {
        blocker.unblock();
        viewport()->update();
    }
}

void TTestTreeView::ForgetPending()
{
    fPending.clear();
    fbPending.clear();
}

void TTestTreeView::SetRunning(bool bRunning)
{
    fbRunning = bRunning;
    if (!bRunning)
        CatchUp();
}

void TTestTreeView::TreeCleared()
{
    ForgetPending();
    clear();
    fItems.clear();
}

QTreeWidgetItem* TTestTreeView::Item(const TTreeNode* aNode) const
{
    if (!aNode)
        return nullptr;
    const auto iIndex = std::size_t(aNode->AbsoluteIndex());
    return iIndex < fItems.size() ? fItems[iIndex] : nullptr;
}

TTreeNode* TTestTreeView::Node(const QTreeWidgetItem* aItem) const
{
    return aItem ? static_cast<TTreeNode*>(aItem->data(0, ciNodeRole).value<void*>()) : nullptr;
}

TTreeNode* TTestTreeView::SelectedNode() const
{
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? nullptr : Node(selected.front());
}

void TTestTreeView::SelectNode(TTreeNode* aNode)
{
    CatchUp();
    QTreeWidgetItem* item = Item(aNode);
    if (!item) {
        clearSelection();
        return;
    }
    setCurrentItem(item);
    item->setSelected(true);
    scrollToItem(item);
}

void TTestTreeView::ExpandDefault()
{
    if (!fTree)
        return;
    for (int i = 0; i < fTree->Count(); ++i) {
        TTreeNode* node = fTree->Node(i);
        if (QTreeWidgetItem* item = Item(node))
            item->setExpanded(node->Job() && node->Job()->Expanded());
    }
}

void TTestTreeView::mousePressEvent(QMouseEvent* aEvent)
{
    const Qt::KeyboardModifiers modifiers = aEvent->modifiers();
    if (aEvent->button() == Qt::LeftButton && (modifiers & (Qt::ShiftModifier | Qt::ControlModifier))) {
        QTreeWidgetItem* item = itemAt(aEvent->position().toPoint());
        if (TTreeNode* node = Node(item)) {
            // The click selects the node in every case; the runner acts on it afterwards.
            setCurrentItem(item);
            item->setSelected(true);
            if (modifiers & Qt::ShiftModifier)
                Q_EMIT NodeShiftClicked(node);
            else
                Q_EMIT NodeCtrlClicked(node);
            aEvent->accept();
            return;
        }
    }
    QTreeWidget::mousePressEvent(aEvent);
}

void TTestTreeView::mouseReleaseEvent(QMouseEvent* aEvent)
{
    QTreeWidget::mouseReleaseEvent(aEvent);
    Q_EMIT MouseReleased();
}
