#include "TestTreeView.h"

#include "StateImages.h"
#include "execution/Job.h"

#include <QHeaderView>
#include <QMouseEvent>

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
    QTreeWidgetItem* item = Item(aNode);
    if (!item)
        return;
    item->setText(0, aNode->Text());
    item->setIcon(0, StateImage(aNode->ImageIndex()));
    if (fbRunning)
        clearSelection();
}

void TTestTreeView::TreeCleared()
{
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
