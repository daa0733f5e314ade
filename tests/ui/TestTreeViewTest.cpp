#include "ui/TestTreeView.h"
#include "ui/StateImages.h"

#include "execution/Job.h"
#include "execution/TestTree.h"

#include "core/MsgClasses.h"

#include <QCoreApplication>
#include <QImage>
#include <QSet>

#include <gtest/gtest.h>

namespace {

class TestTreeViewTest : public ::testing::Test
{
protected:
    void TearDown() override { TMsgClass::ReleaseSingleton(); }

    TTreeNode* Case(TTreeNode* aParent, const QString& sLabel, bool bExpanded)
    {
        return TJob::CreateNewJob(sLabel, fTree, aParent, nullptr, ecNormalCase, bExpanded);
    }

    TTestTree fTree;
};

} // namespace

TEST(StateImagesTest, FourteenDistinctLegibleImages)
{
    QSet<QByteArray> seen;
    for (int i = 1; i <= 14; ++i) {
        const QIcon icon = StateImage(i);
        ASSERT_FALSE(icon.isNull()) << i;
        const QImage image = icon.pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(16, 16)) << i;
        int iOpaque = 0;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 16; ++x)
                iOpaque += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
        }
        EXPECT_GT(iOpaque, 40) << "image " << i << " is drawn";
        seen.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()), int(image.sizeInBytes())));
    }
    EXPECT_EQ(seen.size(), 14) << "every state looks different";
    EXPECT_TRUE(StateImage(0).isNull());
    EXPECT_TRUE(StateImage(15).isNull());
    for (const char* sName : {"open", "reload", "reset", "start", "step", "pause", "continue", "stop",
                              "break", "toggle", "expand", "expanddefault", "collapse"})
        EXPECT_FALSE(UiIcon(QString::fromLatin1(sName)).pixmap(16, 16).isNull()) << sName;
}

TEST_F(TestTreeViewTest, MirrorsTheTreeAndItsChanges)
{
    TTestTreeView view;
    TTreeNode* c1 = Case(nullptr, QStringLiteral("Supply"), true);
    view.SetTree(&fTree);
    TTreeNode* w1 = Case(c1, QStringLiteral("Volt"), false);
    TTreeNode* c2 = Case(nullptr, QStringLiteral("Final"), false);
    Case(c2, QStringLiteral("Off"), false);

    ASSERT_EQ(view.topLevelItemCount(), 2);
    EXPECT_EQ(view.topLevelItem(0)->text(0), c1->Text());
    ASSERT_EQ(view.topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(view.Node(view.topLevelItem(0)->child(0)), w1);
    EXPECT_EQ(view.Item(c2), view.topLevelItem(1));

    w1->Job()->SetBreakPoint(true);
    EXPECT_EQ(view.Item(w1)->icon(0).cacheKey(), StateImage(w1->ImageIndex()).cacheKey());
    EXPECT_EQ(w1->ImageIndex() % 2, 0) << "the break-point form";

    view.ExpandDefault();
    EXPECT_TRUE(view.Item(c1)->isExpanded());
    EXPECT_FALSE(view.Item(c2)->isExpanded());

    view.SelectNode(c2);
    EXPECT_EQ(view.SelectedNode(), c2);
    view.SetRunning(true);
    w1->Job()->SetBreakPoint(false);
    EXPECT_EQ(view.SelectedNode(), nullptr) << "a run in progress removes the selection";

    fTree.Clear();
    EXPECT_EQ(view.topLevelItemCount(), 0);
    EXPECT_EQ(view.SelectedNode(), nullptr);
}

namespace {

// During a run the items follow their nodes at the event loop's pace, never falling behind for
// longer than one pass, and exactly at the run's end; the selection still goes at once.
TEST_F(TestTreeViewTest, DuringARunItemsCatchUpOncePerPass)
{
    TTestTreeView view;
    TTreeNode* c1 = Case(nullptr, QStringLiteral("Supply"), true);
    TTreeNode* w1 = Case(c1, QStringLiteral("Volt"), false);
    TTreeNode* w2 = Case(c1, QStringLiteral("Amp"), false);
    view.SetTree(&fTree);
    const auto Shows = [&view](TTreeNode* aNode) {
        return view.Item(aNode)->icon(0).cacheKey() == StateImage(aNode->ImageIndex()).cacheKey();
    };

    view.SelectNode(w2);
    view.SetRunning(true);
    w1->Job()->Execute(w1->Text()); // running, then done: two changes of one node
    w1->Job()->SetBreakPoint(true);
    EXPECT_EQ(view.SelectedNode(), nullptr);
    EXPECT_FALSE(Shows(w1)) << "not yet: the change waits for the event loop";
    QCoreApplication::processEvents();
    EXPECT_TRUE(Shows(w1));

    w2->Job()->SetEnabled(false);
    view.SetRunning(false);
    EXPECT_TRUE(Shows(w2)) << "the end of the run brings every item up to date";
    w1->Job()->SetBreakPoint(false);
    EXPECT_TRUE(Shows(w1)) << "outside a run every change shows at once";

    view.SetRunning(true);
    w2->Job()->SetEnabled(true);
    fTree.Clear();
    QCoreApplication::processEvents();
    EXPECT_EQ(view.topLevelItemCount(), 0) << "changes of a cleared tree are dropped";
}

} // namespace
